#pragma once
// Prints decoded session descriptions as stable, line-oriented text (used by
// `strevana-probe --sdp` and by tests that compare against reference files).
// Only fields that were given are printed; numbers with fractions always have
// three decimals and never depend on the locale. Pure function, any thread.
#include <string>

#include "protocols/sdp/sdp_types.h"

namespace strevana {

std::string printSdpSessions(const SdpSession* first);

}  // namespace strevana
