#pragma once
// The parameters of an SDP fmtp value ("a=fmtp:96 name=value; name=value",
// RFC 4566 section 6): names compared without regard to case, blanks around
// names and values ignored. Pure functions, any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace strevana {

// The value of parameter `name`, or none.
std::optional<std::string> fmtpValue(std::string_view fmtp, std::string_view name);
// A decimal value of at most `limit`; none when absent, not a number, or
// larger.
std::optional<uint32_t> fmtpNumber(std::string_view fmtp, std::string_view name, uint32_t limit);

}  // namespace strevana
