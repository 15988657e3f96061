#include "protocols/rtp/rtp_address_list.h"

#include <algorithm>

#include "protocols/rtp/rtp_result.h"

namespace strevana {

int RtpAddressList::add(uint32_t address, bool allPorts, int port) {
  if (!allPorts && (port < 1 || port > 65535)) return kRtpBadListPort;
  const Entry entry{address, allPorts, allPorts ? uint16_t{0} : static_cast<uint16_t>(port)};
  auto& bucket = buckets_[address & 0xff];
  auto it = std::lower_bound(bucket.begin(), bucket.end(), entry);
  if (it != bucket.end() && *it == entry) return kRtpDuplicateListEntry;
  bucket.insert(it, entry);
  ++count_;
  return kRtpOk;
}

bool RtpAddressList::matches(uint32_t address, uint16_t port) const {
  for (const Entry& e : buckets_[address & 0xff]) {
    if (e.address > address) break;
    if (e.address == address && (e.allPorts || e.port == port)) return true;
  }
  return false;
}

void RtpAddressList::clear() {
  for (auto& bucket : buckets_) bucket.clear();
  count_ = 0;
}

}  // namespace strevana
