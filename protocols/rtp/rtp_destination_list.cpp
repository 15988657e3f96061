#include "protocols/rtp/rtp_destination_list.h"

#include "protocols/rtp/rtp_result.h"

namespace strevana {

int RtpDestinationList::add(uint32_t address, int rtpPort) {
  if (rtpPort < 1 || rtpPort > 65534) return kRtpBadListPort;
  auto& bucket = buckets_[address & 0xff];
  for (const Entry& e : bucket) {
    if (e.address == address && e.rtpPort == rtpPort) return kRtpOk;
  }
  bucket.push_back(
      Entry{address, static_cast<uint16_t>(rtpPort), static_cast<uint16_t>(rtpPort + 1)});
  ++count_;
  return kRtpOk;
}

void RtpDestinationList::clear() {
  for (auto& bucket : buckets_) bucket.clear();
  count_ = 0;
}

}  // namespace strevana
