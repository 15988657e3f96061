#include "streaming/payload_kind.h"

#include <strings.h>

#include <string>

namespace strevana {
namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool beginsNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         ::strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

PayloadKind payloadKindOf(std::string_view name) {
  if (equalsNoCase(name, "MP4A-LATM")) return PayloadKind::kMp4aLatm;
  if (equalsNoCase(name, "MP4V-ES")) return PayloadKind::kMp4vEs;
  if (equalsNoCase(name, "mpeg4-generic")) return PayloadKind::kMpeg4Generic;
  return PayloadKind::kOther;
}

int classifyMedia(const MediaEntry* entry) {
  if (!entry || !entry->media) return kMediaOther;
  const std::string name = mediaEncodingName(entry);
  const SdpFormat* format = firstFormat(entry);
  const bool mapped = format && format->rtpMap;
  if (entry->media->mediaType == "video") {
    return mapped && beginsNoCase(name, "MP4V-ES") ? kMediaVideo : kMediaOther;
  }
  if (entry->media->mediaType == "audio") {
    return mapped && (beginsNoCase(name, "mpeg4") || beginsNoCase(name, "MP4A")) ? kMediaAudio
                                                                                 : kMediaOther;
  }
  return kMediaOther;
}

}  // namespace strevana
