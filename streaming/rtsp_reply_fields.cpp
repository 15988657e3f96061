#include "streaming/rtsp_reply_fields.h"

#include <strings.h>

#include <charconv>
#include <string>

namespace strevana {

int32_t parseServerPort(const RtspResponse* reply) {
  if (!reply || !reply->transport) return -1;
  const std::string& transport = *reply->transport;
  constexpr std::string_view kName = "server_port=";
  const size_t at = transport.find(kName);
  if (at == std::string::npos) return -1;
  const char* begin = transport.data() + at + kName.size();
  const char* end = transport.data() + transport.size();
  int32_t port = 0;
  const auto [stop, error] = std::from_chars(begin, end, port);
  if (error != std::errc() || stop == begin || port < 0 || port > 65535) return -1;
  return port;
}

std::optional<uint32_t> sessionTimeoutSeconds(std::string_view session) {
  const size_t semicolon = session.find(';');
  if (semicolon == std::string_view::npos) return std::nullopt;
  std::string_view rest = session.substr(semicolon + 1);
  while (!rest.empty()) {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == ';')) rest.remove_prefix(1);
    constexpr std::string_view kName = "timeout=";
    if (rest.size() > kName.size() && ::strncasecmp(rest.data(), kName.data(), kName.size()) == 0) {
      rest.remove_prefix(kName.size());
      uint32_t seconds = 0;
      const auto [stop, error] = std::from_chars(rest.data(), rest.data() + rest.size(), seconds);
      if (error != std::errc() || stop == rest.data() || seconds == 0) return std::nullopt;
      return seconds;
    }
    const size_t next = rest.find(';');
    if (next == std::string_view::npos) break;
    rest.remove_prefix(next);
  }
  return std::nullopt;
}

}  // namespace strevana
