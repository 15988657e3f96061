#pragma once
// The URL a media's SDP control attribute stands for (RFC 2326 C.1.1): an
// absolute URL ("rtsp://...", any case in the scheme) is used as it is, "*"
// means the base itself, and any other (relative) value is appended to the
// base unchanged, with no separator added. Pure function, any thread.
#include <string>
#include <string_view>

namespace strevana {

std::string resolveControlUrl(std::string_view base, std::string_view control);

}  // namespace strevana
