#include "protocols/rtsp/ipv4_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "protocols/rtsp/rtsp_connection.h"

namespace strevana {

int lookUpIpv4(const std::string& host, uint32_t& address) {
  in_addr dotted{};
  if (!host.empty() && ::inet_pton(AF_INET, host.c_str(), &dotted) == 1) {
    address = ntohl(dotted.s_addr);
    return 0;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (lookup != 0 || found == nullptr) {
    if (found != nullptr) ::freeaddrinfo(found);
    if (lookup == EAI_NONAME) return kRtspHostNotFound;
    if (lookup == EAI_AGAIN) return kRtspHostTryAgain;
    return kRtspHostLookupFailed;
  }
  int rc = kRtspHostLookupFailed;
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr != nullptr) {
      address = ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
      rc = 0;
      break;
    }
  }
  ::freeaddrinfo(found);
  return rc;
}

}  // namespace strevana
