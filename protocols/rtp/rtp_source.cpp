#include "protocols/rtp/rtp_source.h"

#include <algorithm>
#include <cmath>

#include "protocols/rtp/rtp_result.h"

namespace strevana {
namespace {

constexpr uint32_t kSequenceModulo = 65536;

}  // namespace

bool RtpSource::extendSequence(RtpPacket& packet) {
  const uint16_t seq = packet.sequenceNumber;
  if (packetsReceived_ == 0) {
    // The base is one below the first packet. For a first sequence number of
    // 0 the base would be -1, so the count starts one cycle up instead; every
    // extended number then stays positive.
    if (seq == 0) {
      baseSequence_ = kSequenceModulo - 1;
      cycles_ = kSequenceModulo;
    } else {
      baseSequence_ = static_cast<uint32_t>(seq) - 1;
      cycles_ = 0;
    }
    highestSequence_ = seq;
    highestExtended_ = seq + cycles_;
    packet.extendedSequenceNumber = highestExtended_;
    return true;
  }
  // RFC 3550 A.1: compare modulo 2^16. A forward distance below half the
  // space is a newer packet (a wrap when it is numerically smaller); anything
  // else is a late one, which belongs to the previous cycle when it is
  // numerically above the highest (e.g. 65535 arriving after 2).
  const uint16_t forward = static_cast<uint16_t>(seq - highestSequence_);
  if (forward != 0 && forward < 0x8000) {
    if (seq < highestSequence_) cycles_ += kSequenceModulo;
    highestSequence_ = seq;
    highestExtended_ = seq + cycles_;
    packet.extendedSequenceNumber = highestExtended_;
    return true;
  }
  if (seq > highestSequence_) {
    if (cycles_ == 0) return false;
    packet.extendedSequenceNumber = seq + cycles_ - kSequenceModulo;
  } else {
    packet.extendedSequenceNumber = seq + cycles_;
  }
  return true;
}

void RtpSource::dropQueue() {
  queue_.clear();
  queuedBytes_ = 0;
}

void RtpSource::updateProbation(uint16_t seq, bool first) {
  if (probation_ == 0) return;
  if (!first && seq == static_cast<uint16_t>(probationLast_ + 1)) {
    --probation_;
  } else {
    // The first packet, or one that breaks the run: what was held belongs to
    // no valid start, and this packet begins a new run.
    if (!first) dropQueue();
    probation_ = kMinSequential - 1;
  }
  probationLast_ = seq;
}

RtpSource::AddResult RtpSource::addPacket(std::unique_ptr<RtpPacket> packet, double arrivalSeconds,
                                          double timestampUnit) {
  if (!packet || packet->ssrc != ssrc_) return AddResult::kOtherSource;
  const bool first = packetsReceived_ == 0;
  if (!extendSequence(*packet)) {
    ++outOfOrder_;
    return AddResult::kBeforeFirstCycle;
  }
  if (!first && packet->extendedSequenceNumber < highestExtended_) ++outOfOrder_;
  updateProbation(packet->sequenceNumber, first);

  // RFC 3550 A.8 interarrival jitter. The timestamp difference is taken as a
  // signed 32-bit value so a timestamp wrap is one small step, not 2^32.
  if (!first && timestampUnit > 0.0) {
    const double arrivalTicks = (arrivalSeconds - lastArrival_) / timestampUnit;
    const double timestampTicks =
        static_cast<double>(static_cast<int32_t>(packet->timestamp - lastTimestamp_));
    const double d = std::fabs(arrivalTicks - timestampTicks);
    if (std::isfinite(d)) jitter_ += (d - jitter_) / 16.0;
  }
  lastArrival_ = arrivalSeconds;
  lastTimestamp_ = packet->timestamp;
  ++packetsReceived_;

  const uint32_t key = packet->extendedSequenceNumber;
  if (queue_.count(key) != 0) return AddResult::kDuplicate;
  if (queue_.size() >= kMaxQueuedPackets) {
    auto oldest = queue_.begin();
    if (key < oldest->first) return AddResult::kTooOld;
    queuedBytes_ -= oldest->second->size();
    queue_.erase(oldest);
  }
  queuedBytes_ += packet->size();
  queue_.emplace(key, std::move(packet));
  return AddResult::kQueued;
}

int RtpSource::addPacketChecked(std::unique_ptr<RtpPacket> packet, double arrivalSeconds,
                                double timestampUnit) {
  return addPacket(std::move(packet), arrivalSeconds, timestampUnit) == AddResult::kOtherSource
             ? kRtpPacketOfOtherSource
             : kRtpOk;
}

std::unique_ptr<RtpPacket> RtpSource::takeNextPacket() {
  if (queue_.empty()) return nullptr;
  auto node = queue_.extract(queue_.begin());
  queuedBytes_ -= node.mapped()->size();
  return std::move(node.mapped());
}

bool RtpSource::acceptsSender(uint32_t address, uint16_t port, bool rtcp) {
  if (!hasAddress_) {
    hasAddress_ = true;
    address_ = address;
  } else if (address_ != address) {
    return false;
  }
  int& known = rtcp ? rtcpPort_ : rtpPort_;
  if (known < 0) {
    known = port;
    return true;
  }
  return known == port;
}

RtcpReportBlock RtpSource::makeReportBlock(int64_t nowMs) {
  // RFC 3550 A.3. With the base one below the first packet, the number
  // expected is simply highest - base.
  RtcpReportBlock block;
  block.ssrc = ssrc_;
  const uint32_t expected = highestExtended_ - baseSequence_;
  const int64_t lost = static_cast<int64_t>(expected) - static_cast<int64_t>(packetsReceived_);
  block.cumulativeLost = static_cast<int32_t>(std::clamp<int64_t>(lost, -0x800000, 0x7fffff));
  const uint32_t expectedInterval = expected - expectedPrior_;
  const uint32_t receivedInterval = packetsReceived_ - receivedPrior_;
  expectedPrior_ = expected;
  receivedPrior_ = packetsReceived_;
  const int64_t lostInterval =
      static_cast<int64_t>(expectedInterval) - static_cast<int64_t>(receivedInterval);
  if (expectedInterval != 0 && lostInterval > 0) {
    block.fractionLost =
        static_cast<uint8_t>(std::min<int64_t>(255, (lostInterval << 8) / expectedInterval));
  }
  block.highestSequence = highestExtended_;
  block.jitter = static_cast<uint32_t>(std::clamp(jitter_, 0.0, 4294967295.0));
  if (senderReport_.received) {
    // Middle 32 bits of the NTP timestamp, and the delay in 1/65536 s.
    block.lastSenderReport = (senderReport_.ntpSeconds << 16) | (senderReport_.ntpFraction >> 16);
    const int64_t delayMs = std::max<int64_t>(0, nowMs - senderReport_.arrivalMs);
    block.delaySinceLastSenderReport =
        static_cast<uint32_t>(std::min<int64_t>(0xffffffffLL, delayMs * 65536 / 1000));
  }
  return block;
}

void RtpSource::recordSenderReport(const RtcpSenderInfo& info, int64_t arrivalMs) {
  senderReport_.received = true;
  senderReport_.ntpSeconds = info.ntpSeconds;
  senderReport_.ntpFraction = info.ntpFraction;
  senderReport_.rtpTimestamp = info.rtpTimestamp;
  senderReport_.packetCount = info.packetCount;
  senderReport_.octetCount = info.octetCount;
  senderReport_.arrivalMs = arrivalMs;
}

void RtpSource::setSdesItem(uint8_t type, std::string_view text) {
  if (type == kSdesEnd || type > kSdesPriv) return;
  sdes_[type].assign(text.substr(0, 255));
}

const std::string& RtpSource::sdesItem(uint8_t type) const {
  static const std::string kEmpty;
  if (type == kSdesEnd || type > kSdesPriv) return kEmpty;
  return sdes_[type];
}

}  // namespace strevana
