#include "streaming/rtsp_reply_fields.h"

#include <strings.h>

#include <charconv>
#include <string>

namespace strevana {

namespace {

// The number after `name` in the reply's Transport header, -1 when it is
// missing or above `limit`.
int32_t transportNumber(const RtspResponse* reply, std::string_view name, int32_t limit) {
  if (!reply || !reply->transport) return -1;
  const std::string& transport = *reply->transport;
  const size_t at = transport.find(name);
  if (at == std::string::npos) return -1;
  const char* begin = transport.data() + at + name.size();
  const char* end = transport.data() + transport.size();
  int32_t value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error != std::errc() || stop == begin || value < 0 || value > limit) return -1;
  return value;
}

}  // namespace

int32_t parseServerPort(const RtspResponse* reply) {
  return transportNumber(reply, "server_port=", 65535);
}

int32_t parseInterleavedChannel(const RtspResponse* reply) {
  // The pair's second channel must fit a byte too.
  return transportNumber(reply, "interleaved=", 254);
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
