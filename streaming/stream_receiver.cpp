#include "streaming/stream_receiver.h"

#include <cstring>

#include "streaming/payload_kind.h"

namespace strevana {

StreamReceiver::StreamReceiver(MediaEntry& e, std::mutex& sessionMutex)
    : entry(&e), mutex_(sessionMutex) {
  pending_.reserve(16);
}

StreamReceiver::~StreamReceiver() {
  // Unlink iteratively: a long list must not recurse through the destructors.
  std::unique_ptr<StreamReceiver> rest = std::move(next);
  while (rest) rest = std::move(rest->next);
}

uint64_t StreamReceiver::extend(uint64_t stored, uint32_t value) {
  // The 32-bit value wrapped when the stored one was in the upper half and
  // the new one is in the lower half.
  if ((stored & 0x80000000u) != 0 && (value & 0x80000000u) == 0) stored += uint64_t{1} << 32;
  return (stored & ~uint64_t{0xffffffffu}) | value;
}

uint64_t StreamReceiver::receivedCount() const {
  return last_.load(std::memory_order_relaxed) == kUnset
             ? 0
             : received_.load(std::memory_order_relaxed);
}

void StreamReceiver::resetSequence() {
  restartCandidate_ = kUnset;
  first_.store(kUnset, std::memory_order_relaxed);
  last_.store(kUnset, std::memory_order_relaxed);
  received_.store(0, std::memory_order_relaxed);
  seen_.reset();
}

void StreamReceiver::noteSenderReport(const RtpSenderReport& report, uint32_t clockRate) {
  if (!report.received || clockRate == 0) return;
  reportTimestamp = extend(reportTimestamp, report.rtpTimestamp);
  // Wall-clock milliseconds of the report (RFC 3550 4: NTP seconds and a
  // 32-bit fraction) minus the RTP time of the same instant in milliseconds.
  const uint64_t fractionMs = (static_cast<uint64_t>(report.ntpFraction) * 1000u) >> 32;
  const uint64_t wallMs = static_cast<uint64_t>(report.ntpSeconds) * 1000u + fractionMs;
  const uint64_t rtpMs = reportTimestamp * 1000u / clockRate;
  reportOffset = static_cast<int64_t>(wallMs - rtpMs);
}

void StreamReceiver::noteSourceStatistics(const RtpSource& source, uint32_t clockRate) {
  if (clockRate != 0)
    jitterMs_.store(source.jitter() * 1000.0 / clockRate, std::memory_order_relaxed);
  outOfOrder_.store(source.outOfOrderPackets(), std::memory_order_relaxed);
}

bool StreamReceiver::account(uint64_t s, uint32_t ssrc) {
  uint64_t last = last_.load(std::memory_order_relaxed);
  // A number far behind the window is a stray old packet, unless the next
  // one follows it: then the sender restarted its numbering (RFC 3550 A.1
  // takes two packets in sequence as a restart).
  bool restart = last != kUnset && ssrc != ssrc_;
  if (last != kUnset && !restart && s < last && last - s >= kHistory) {
    if (restartCandidate_ == kUnset || s != restartCandidate_ + 1) {
      restartCandidate_ = s;
      return false;
    }
    restart = true;
  }
  restartCandidate_ = kUnset;
  ssrc_ = ssrc;
  if (restart) {
    // Counting starts over; what was being assembled is dropped and the next
    // frame marked, as the new numbering may begin inside an access unit.
    discontinuity_ = 1;
    pending_.clear();
    last = kUnset;
  }
  if (last == kUnset) {
    first_.store(s, std::memory_order_relaxed);
    last_.store(s, std::memory_order_relaxed);
    seen_.reset();
    seen_.set(s % kHistory);
    received_.fetch_add(1, std::memory_order_relaxed);
    return true;
  }
  if (s > last) {
    const uint64_t missing = s - last - 1;
    if (missing >= kHistory) {
      seen_.reset();
    } else {
      for (uint64_t q = last + 1; q < s; ++q) seen_.reset(q % kHistory);
    }
    seen_.set(s % kHistory);
    last_.store(s, std::memory_order_relaxed);
    received_.fetch_add(1, std::memory_order_relaxed);
    if (missing == 0) return true;
    lost_.fetch_add(static_cast<int64_t>(missing), std::memory_order_relaxed);
    // The frame under assembly lost packets: drop it, and flag the next one
    // (it may begin in the middle of an access unit).
    discontinuity_ = 1;
    pending_.clear();
    return true;
  }
  // A packet older than the last one: a late arrival of one counted as lost
  // (its frame is gone already), an early one from before the first packet,
  // or a duplicate; none of them joins the frame under assembly.
  if (seen_.test(s % kHistory)) return false;
  seen_.set(s % kHistory);
  received_.fetch_add(1, std::memory_order_relaxed);
  if (s < first_.load(std::memory_order_relaxed)) {
    first_.store(s, std::memory_order_relaxed);
  } else {
    lost_.fetch_sub(1, std::memory_order_relaxed);
  }
  return false;
}

std::unique_ptr<RtpFrame> StreamReceiver::addPacket(std::unique_ptr<RtpPacket> packet,
                                                    const FrameAllocator& allocator) {
  if (!packet) return nullptr;
  if (!baseTimestampSet()) baseTimestamp = static_cast<int64_t>(packet->timestamp);
  const bool marker = packet->marker;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!account(packet->extendedSequenceNumber, packet->ssrc)) return nullptr;
  if (pending_.size() >= kMaxPendingPackets) {
    // No marker within the bound: not an access unit of any received format.
    pending_.clear();
    discontinuity_ = 1;
    oversized_.fetch_add(1, std::memory_order_relaxed);
  }
  pending_.push_back(std::move(packet));
  if (!marker) return nullptr;
  return buildFrame(allocator);
}

std::unique_ptr<RtpFrame> StreamReceiver::buildFrame(const FrameAllocator& allocator) {
  auto frame = std::make_unique<RtpFrame>();
  uint64_t size = 0;
  frame->packetSizes.reserve(pending_.size());
  for (const auto& p : pending_) {
    size += p->payloadLength();
    frame->packetSizes.push_back(static_cast<uint32_t>(p->payloadLength()));
  }
  const RtpPacket& first = *pending_.front();
  frame->sequence = first.extendedSequenceNumber;
  frame->payloadType = first.payloadType;
  frame->discontinuity = discontinuity_;
  discontinuity_ = 0;
  lastTimestamp = extend(lastTimestamp, first.timestamp);
  frame->timestamp = static_cast<int64_t>(lastTimestamp) + syncOffset - baseTimestamp;
  frame->context = allocator.context;
  frame->size = static_cast<uint32_t>(size);

  bool ok = size <= UINT32_MAX && allocator.allocate && allocator.getData &&
            allocator.allocate(frame->element, frame->size) == 0 && frame->element &&
            allocator.getData(frame->element, frame->data) == 0 && (frame->data || size == 0);
  if (ok) {
    uint8_t* out = frame->data;
    for (const auto& p : pending_) {
      if (p->payloadLength() > 0) std::memcpy(out, p->payload(), p->payloadLength());
      out += p->payloadLength();
    }
  }
  pending_.clear();
  if (!ok) return nullptr;
  return frame;
}

void syncStreams(StreamReceiver* first) {
  StreamReceiver* video = nullptr;
  StreamReceiver* audio = nullptr;
  for (StreamReceiver* r = first; r; r = r->next.get()) {
    const int kind = classifyMedia(r->entry);
    if (kind == kMediaVideo) video = r;
    if (kind == kMediaAudio) audio = r;
  }
  if (!video || !audio || !video->baseTimestampSet() || !audio->baseTimestampSet()) return;
  if (video->reportOffset == 0 || audio->reportOffset == 0) return;
  const uint64_t audioRate = mediaClockRate(audio->entry);
  const int64_t videoRate = mediaClockRate(video->entry);
  if (audioRate == 0 || videoRate == 0) return;
  // The audio stream's first instant in ms of its RTP clock, moved onto the
  // video RTP clock through both streams' wall-clock offsets.
  const int64_t a =
      static_cast<int64_t>(static_cast<uint64_t>(audio->baseTimestamp) * 1000u / audioRate);
  const int64_t d = a + audio->reportOffset - video->reportOffset;
  video->syncOffset = video->baseTimestamp - (videoRate * d) / 1000;
}

}  // namespace strevana
