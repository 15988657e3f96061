#include "streaming/resolve_host.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

namespace strevana {
namespace {

std::string_view hostPart(std::string_view text) {
  constexpr std::string_view kScheme = "rtsp://";
  const size_t scheme = text.find(kScheme);
  if (scheme == std::string_view::npos) return text;
  std::string_view rest = text.substr(scheme + kScheme.size());
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return rest;
  const size_t colon = rest.find(':');
  return rest.substr(0, colon < slash ? colon : slash);
}

}  // namespace

uint32_t resolveHost(std::string_view text) {
  const std::string host(hostPart(text));
  if (host.empty()) return 0;
  in_addr dotted{};
  if (::inet_pton(AF_INET, host.c_str(), &dotted) == 1) return ntohl(dotted.s_addr);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return 0;
  uint32_t address = 0;
  for (const addrinfo* a = found; a; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr) {
      address = ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
      break;
    }
  }
  ::freeaddrinfo(found);
  return address;
}

}  // namespace strevana
