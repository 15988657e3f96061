#pragma once
// Canonical name for our RTCP source descriptions (RFC 3550 6.5.1):
// "user@host". The user name comes from the login name (getlogin_r), else
// the account of the effective user id (getpwuid_r), else "curuser"; the host
// from gethostname, else "unknown-host". The result is cut to 255 bytes, the
// most an SDES item can carry. Any thread.
#include <optional>
#include <string>

namespace strevana {

inline constexpr const char* kCnameFallbackUser = "curuser";
inline constexpr const char* kCnameFallbackHost = "unknown-host";

// Composes the CNAME from lookups that may have failed (nullopt or empty).
std::string composeCname(const std::optional<std::string>& user,
                         const std::optional<std::string>& host);
std::optional<std::string> lookUpUserName();
std::optional<std::string> lookUpHostName();
std::string localCname();

}  // namespace strevana
