#include "streaming/resolve_host.h"

#include <string>

#include "protocols/rtsp/ipv4_lookup.h"

namespace strevana {
namespace {

std::string_view hostPart(std::string_view text) {
  constexpr std::string_view kScheme = "rtsp://";
  const size_t scheme = text.find(kScheme);
  if (scheme == std::string_view::npos) return text;
  // RFC 2326 §3.2: rtsp_URL = "rtsp:" "//" host [ ":" port ] [ abs_path ].
  std::string_view rest = text.substr(scheme + kScheme.size());
  return rest.substr(0, rest.find_first_of(":/"));
}

}  // namespace

uint32_t resolveHost(std::string_view text) {
  const std::string host(hostPart(text));
  if (host.empty()) return 0;
  uint32_t address = 0;
  return lookUpIpv4(host, address) == 0 ? address : 0;
}

}  // namespace strevana
