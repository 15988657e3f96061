#include "streaming/media_entry.h"

#include <charconv>

namespace strevana {

const SdpFormat* firstFormat(const MediaEntry* entry) {
  if (!entry || !entry->media) return nullptr;
  return entry->media->formats.get();
}

std::string mediaEncodingName(const MediaEntry* entry) {
  const SdpFormat* format = firstFormat(entry);
  if (!format || !format->rtpMap) return {};
  return format->rtpMap->encodingName;
}

uint32_t mediaClockRate(const MediaEntry* entry) {
  const SdpFormat* format = firstFormat(entry);
  if (!format || !format->rtpMap) return 0;
  return format->rtpMap->clockRate;
}

double mediaRangeEnd(const MediaEntry* entry) {
  if (!entry || !entry->media || !entry->media->range.valid) return 0.0;
  return entry->media->range.end;
}

int mediaPayloadType(const MediaEntry* entry) {
  const SdpFormat* format = firstFormat(entry);
  if (!format || format->format.empty()) return -1;
  const std::string& text = format->format;
  int value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 127)
    return -1;
  return value;
}

void setDeliverCallback(MediaEntry* entry, RtpDeliverCallback deliver, void* context) {
  if (!entry) return;
  entry->deliver = deliver;
  entry->deliverContext = context;
}

}  // namespace strevana
