#include "protocols/rtsp/rtsp_credentials.h"

namespace strevana {
namespace {

constexpr std::string_view kScheme = "rtsp://";

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = hexValue(text[i + 1]);
      const int low = hexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

// RFC 3986 2.3 unreserved characters pass; everything else is escaped, so
// ':' '@' '/' in a password cannot end the userinfo early.
std::string percentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    }
  }
  return out;
}

// Position of the userinfo's '@' inside the authority, or npos.
std::size_t userinfoEnd(std::string_view url) {
  if (url.substr(0, kScheme.size()) != kScheme) return std::string_view::npos;
  const std::size_t authorityEnd = url.find_first_of("/?#", kScheme.size());
  const std::string_view authority = url.substr(
      kScheme.size(), authorityEnd == std::string_view::npos ? std::string_view::npos
                                                             : authorityEnd - kScheme.size());
  const std::size_t at = authority.rfind('@');
  return at == std::string_view::npos ? at : kScheme.size() + at;
}

}  // namespace

std::string splitUrlCredentials(std::string_view url, std::optional<RtspCredentials>& credentials) {
  credentials.reset();
  const std::size_t at = userinfoEnd(url);
  if (at == std::string_view::npos) return std::string(url);
  const std::string_view userinfo = url.substr(kScheme.size(), at - kScheme.size());
  const std::size_t colon = userinfo.find(':');
  RtspCredentials found;
  found.user = percentDecode(userinfo.substr(0, colon));
  if (colon != std::string_view::npos) found.password = percentDecode(userinfo.substr(colon + 1));
  credentials = std::move(found);
  return std::string(kScheme).append(url.substr(at + 1));
}

std::string urlWithoutPassword(std::string_view url) {
  const std::size_t at = userinfoEnd(url);
  if (at == std::string_view::npos) return std::string(url);
  const std::string_view userinfo = url.substr(kScheme.size(), at - kScheme.size());
  const std::string_view user = userinfo.substr(0, userinfo.find(':'));
  std::string out(kScheme);
  if (!user.empty()) out.append(user).push_back('@');
  return out.append(url.substr(at + 1));
}

std::string urlWithCredentials(std::string_view url, const RtspCredentials& credentials) {
  std::optional<RtspCredentials> old;
  const std::string bare = splitUrlCredentials(url, old);
  if (bare.compare(0, kScheme.size(), kScheme) != 0) return bare;
  std::string out(kScheme);
  out.append(percentEncode(credentials.user));
  if (!credentials.password.empty()) out.append(":").append(percentEncode(credentials.password));
  out.push_back('@');
  return out.append(std::string_view(bare).substr(kScheme.size()));
}

}  // namespace strevana
