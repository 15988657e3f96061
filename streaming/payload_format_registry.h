#pragma once
// The table of received payload formats, looked up by encoding name without
// regard to case (RFC 4566 section 6). Any thread.
#include <memory>
#include <string_view>

#include "streaming/payload_format.h"
#include "streaming/payload_kind.h"

namespace strevana {

// A new format object for the encoding name, or null for a name not in the
// table.
std::unique_ptr<PayloadFormat> createPayloadFormat(std::string_view encodingName,
                                                   const PayloadFormatParameters& parameters);

}  // namespace strevana
