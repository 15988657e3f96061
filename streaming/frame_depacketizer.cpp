#include "streaming/frame_depacketizer.h"

#include <cstring>

#include "streaming/payload_format_registry.h"

namespace strevana {

std::unique_ptr<FrameDepacketizer> FrameDepacketizer::create(const MediaEntry& entry, Sink sink) {
  PayloadFormatParameters parameters;
  const SdpFormat* format = firstFormat(&entry);
  if (format && format->formatParameters) parameters.formatParameters = *format->formatParameters;
  if (format && format->rtpMap) {
    parameters.clockRate = format->rtpMap->clockRate;
    parameters.channels = format->rtpMap->encodingParameter;
  }
  const std::string name = mediaEncodingName(&entry);
  std::unique_ptr<PayloadFormat> payload = createPayloadFormat(name, parameters);
  if (!payload) return nullptr;
  uint32_t rate = parameters.clockRate;
  if (rate == 0) rate = classifyMedia(&entry) == kMediaVideo ? 25 : 44100;
  return std::make_unique<FrameDepacketizer>(std::move(payload), rate, std::move(sink));
}

FrameDepacketizer::FrameDepacketizer(std::unique_ptr<PayloadFormat> format, uint32_t clockRate,
                                     Sink sink)
    : format_(std::move(format)),
      kind_(payloadKindOf(format_->name())),
      clockRate_(clockRate ? clockRate : 1),
      sink_(std::move(sink)) {}

void FrameDepacketizer::deliver(std::unique_ptr<RtpFrame> frame, TimeUnit unit) {
  if (!frame) return;
  if (frame->discontinuity) {
    // Packets were lost before this frame: it may start inside an access
    // unit, and so may a unit being reassembled.
    format_->reset();
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  units_.clear();
  if (format_->depacketize(*frame, units_) != PayloadResult::kOk) {
    format_->reset();
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  if (units_.size() == 1 && frame->element && units_[0].data == frame->data &&
      units_[0].size == frame->size && frame->element->size() == frame->size) {
    // The whole frame is the access unit: pass its element on.
    CBufferElem* element = frame->element;
    frame->element = nullptr;
    hand(element, units_[0].timestamp, unit);
    return;
  }
  for (const AccessUnit& au : units_) {
    CBufferElem* element = nullptr;
    if (CIOStrmPin::allocateBufferElem(element, au.size) != kPinOk || !element) continue;
    if (au.size > 0) std::memcpy(element->data(), au.data, au.size);
    hand(element, au.timestamp, unit);
  }
}

void FrameDepacketizer::hand(CBufferElem* element, int64_t clockTime, TimeUnit unit) {
  const uint64_t t = clockTime < 0 ? 0 : static_cast<uint64_t>(clockTime);
  uint64_t time = t;
  if (unit == TimeUnit::kMilliseconds) {
    time = t / clockRate_ * 1000u + t % clockRate_ * 1000u / clockRate_;
    element->desc().setTime(static_cast<uint32_t>(time), 0);
  } else {
    element->desc().setTime(static_cast<uint32_t>(time), static_cast<uint32_t>(time >> 32));
  }
  if (sink_) {
    sink_(element, static_cast<int64_t>(time & 0x7fffffffffffffffu));
  } else {
    CIOStrmPin::freeBufferElem(element);
  }
}

void onVideoFrame(std::unique_ptr<RtpFrame> frame, void* context) {
  if (context)
    static_cast<FrameDepacketizer*>(context)->deliver(std::move(frame),
                                                      FrameDepacketizer::TimeUnit::kMilliseconds);
}

void onAudioFrame(std::unique_ptr<RtpFrame> frame, void* context) {
  if (context)
    static_cast<FrameDepacketizer*>(context)->deliver(std::move(frame),
                                                      FrameDepacketizer::TimeUnit::kClockTicks);
}

}  // namespace strevana
