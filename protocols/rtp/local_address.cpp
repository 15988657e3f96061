#include "protocols/rtp/local_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <climits>

namespace strevana {
namespace {

bool usable(uint32_t address) { return address != 0 && !isLoopbackAddress(address); }

uint32_t fromHostName() {
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0) return 0;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &list) != 0) return 0;
  uint32_t found = 0;
  for (addrinfo* ai = list; ai != nullptr && found == 0; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET || ai->ai_addr == nullptr) continue;
    const uint32_t address =
        ntohl(reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr);
    if (usable(address)) found = address;
  }
  freeaddrinfo(list);
  return found;
}

uint32_t fromInterfaces() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return 0;
  uint32_t found = 0;
  for (ifaddrs* ifa = list; ifa != nullptr && found == 0; ifa = ifa->ifa_next) {
    if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET) continue;
    if ((ifa->ifa_flags & IFF_UP) == 0 || (ifa->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const uint32_t address =
        ntohl(reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr);
    if (usable(address)) found = address;
  }
  freeifaddrs(list);
  return found;
}

}  // namespace

uint32_t findLocalIpv4Address() {
  if (uint32_t address = fromHostName(); address != 0) return address;
  if (uint32_t address = fromInterfaces(); address != 0) return address;
  return kLoopbackAddress;
}

}  // namespace strevana
