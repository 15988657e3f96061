#include "app/movie_info.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>

#include "media/media_source.h"

namespace strevana {

namespace {

constexpr const char* kAbsent = "-";

template <typename... Args>
std::string format(const char* pattern, Args... values) {
  char text[160];
  int n = std::snprintf(text, sizeof text, pattern, values...);
  if (n < 0) return {};
  return std::string(text, std::min(static_cast<size_t>(n), sizeof text - 1));
}

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Cuts text to at most maxBytes without splitting a UTF-8 sequence.
void cutUtf8(std::string& text, size_t maxBytes) {
  if (text.size() <= maxBytes) return;
  size_t cut = maxBytes;
  while (cut > 0 && isContinuationByte(text[cut])) --cut;
  text.resize(cut);
}

// Rates are shown as 32-bit numbers; a giant byte count over a tiny
// duration must not wrap into a negative rate.
int64_t clampToInt32(double v) {
  if (!(v == v)) return 0;
  v = std::clamp(v, static_cast<double>(std::numeric_limits<int32_t>::min()),
                 static_cast<double>(std::numeric_limits<int32_t>::max()));
  return static_cast<int64_t>(v);  // truncates toward zero
}

struct TagRule {
  const char* tag;
  int32_t labelId;
  MetadataItem::Kind kind;
};

constexpr TagRule kTags[] = {
    {"Title:", info_text::kTitle, MetadataItem::Kind::kTagLine},
    {"Date:", info_text::kDate, MetadataItem::Kind::kTagLine},
    {"(c):", info_text::kCopyright, MetadataItem::Kind::kTagLine},
    {"Description:", info_text::kDescription, MetadataItem::Kind::kDescription},
};

// The value behind a tag: skip the tag and the one character after it (the
// blank behind the colon), skip any ";" there, and take the text up to the
// next ";". Empty when nothing is left.
std::string tagValue(const std::string& text, size_t tagEnd) {
  size_t start = tagEnd + 1;
  if (start > text.size()) return {};
  while (start < text.size() && text[start] == ';') ++start;
  if (start >= text.size()) return {};
  size_t end = text.find(';', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

MetadataItem createdWith() {
  return {MetadataItem::Kind::kCreatedWith, info_text::kCreatedWith, MovieInfo::kEncoderName};
}

}  // namespace

void MovieInfo::reset() {
  source = kAbsent;
  metadata.clear();
  for (std::string* value :
       {&duration, &fileSize, &bitrate, &videoCodec, &videoSize, &displaySize, &frameRate,
        &videoBitrate, &audioCodec, &channels, &sampleRate, &sampleDepth, &audioBitrate, &lostVideo,
        &receivedVideo, &lostAudio, &receivedAudio}) {
    *value = kAbsent;
  }
}

std::string MovieInfo::formatDuration(int64_t ms, const MovieInfoUnits& units) {
  if (ms < 0) return kAbsent;
  int64_t h = ms / 3600000;
  int64_t rest = ms % 3600000;
  int64_t m = rest / 60000;
  rest %= 60000;
  int64_t s = rest / 1000;
  int64_t remainingMs = rest % 1000;
  if (h > 0) return format("%" PRId64 ":%.2" PRId64 ":%.2" PRId64, h, m, s);
  if (m > 0) return format("%" PRId64 ":%.2" PRId64, m, s);
  return format("%.2lf %s", static_cast<double>(s) + static_cast<double>(remainingMs) * 0.001,
                units.seconds.c_str());
}

std::string MovieInfo::formatFileSize(int64_t bytes, const MovieInfoUnits& units) {
  if (bytes < 0) return kAbsent;
  return format("%" PRId64 " %s", bytes / 1024, units.kiloBytes.c_str());
}

std::string MovieInfo::formatBitrate(int64_t kbitPerSecond, const MovieInfoUnits& units) {
  if (kbitPerSecond < 0) return kAbsent;
  return format("%" PRId64 " %s", kbitPerSecond, units.kiloBits.c_str());
}

std::string MovieInfo::formatPictureSize(int32_t width, int32_t height,
                                         const MovieInfoUnits& units) {
  if (width <= 0 || height <= 0) return kAbsent;
  return format("%dx%d %s", width, height, units.pixels.c_str());
}

std::string MovieInfo::formatFrameRate(double rate, const MovieInfoUnits& units) {
  if (!(rate > 0)) return kAbsent;
  return format("%.2f %s", rate, units.framesPerSecond.c_str());
}

std::string MovieInfo::videoCodecName(int32_t code) {
  switch (code) {
    case kVideoCodecMpeg4: return "MPEG-4";
    case kVideoCodecH263: return "H.263";
    default: return kAbsent;
  }
}

std::string MovieInfo::audioCodecName(int32_t code) {
  switch (code) {
    case kAudioCodecAac: return "AAC";
    case kAudioCodecAmrWb: return "AMR-WB";
    case kAudioCodecAmrNb: return "AMR-NB";
    default: return kAbsent;
  }
}

std::string MovieInfo::formatCount(int32_t value) {
  if (value <= 0) return kAbsent;
  return format("%d", value);
}

std::string MovieInfo::formatWithUnit(int32_t value, const std::string& unit) {
  if (value <= 0) return kAbsent;
  return format("%d %s", value, unit.c_str());
}

std::string MovieInfo::formatPacketCount(uint64_t count) {
  // The low 32 bits, read as a signed number.
  auto low = static_cast<int32_t>(static_cast<uint32_t>(count & 0xFFFFFFFFu));
  if (low < 0) return kAbsent;
  return format("%d", low);
}

std::string MovieInfo::shortenSourceName(std::string_view name) {
  if (name.empty()) return kAbsent;
  size_t chars = 0;
  for (char c : name) {
    if (!isContinuationByte(c)) ++chars;
  }
  if (chars <= kMaxSourceChars) return std::string(name);
  // Start of the last 35 characters.
  size_t start = name.size();
  size_t taken = 0;
  while (start > 0 && taken < kShortenedTailChars) {
    --start;
    if (!isContinuationByte(name[start])) ++taken;
  }
  return "..." + std::string(name.substr(start));
}

int64_t MovieInfo::readFileSize(const char* name) {
  if (name == nullptr || name[0] == '\0') return -1;
  std::FILE* f = std::fopen(name, "rb");
  if (f == nullptr) return -1;
  int64_t size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = static_cast<int64_t>(std::ftell(f));
  std::fclose(f);
  return size;
}

void MovieInfo::fill(MediaSource* s, const MovieInfoUnits& units) {
  reset();
  if (s == nullptr) return;
  const size_t nameLength = strnlen(s->name, sizeof s->name);
  source = shortenSourceName(std::string_view(s->name, nameLength));
  const std::string fileName(s->name, nameLength);

  int64_t durationMs = -1;
  if (s->streaming) {
    lostVideo = formatPacketCount(s->videoPacketsLost());
    receivedVideo = formatPacketCount(s->videoPacketsReceived());
    lostAudio = formatPacketCount(s->audioPacketsLost());
    receivedAudio = formatPacketCount(s->audioPacketsReceived());
  } else {
    durationMs = s->durationMs;
    duration = formatDuration(durationMs, units);
    videoCodec = videoCodecName(s->videoCodec);
    if (s->metadataText && s->metadataLength > 0) {
      size_t length = std::min<size_t>(s->metadataLength, kMaxMetadataBytes);
      const char* text = reinterpret_cast<const char*>(s->metadataText.get());
      metadata.assign(text, strnlen(text, length));
      cutUtf8(metadata, kMaxMetadataBytes);
    }
    fileSize = formatFileSize(readFileSize(fileName.c_str()), units);
  }

  int64_t videoRate = -1;
  if (s->hasVideo || !s->hasAudio) {
    videoSize = formatPictureSize(s->width, s->height, units);
    displaySize = formatPictureSize(s->displayWidth, s->displayHeight, units);
    if (durationMs > 0) {
      frameRate = formatFrameRate(s->frameCount / (static_cast<double>(durationMs) * 0.001), units);
      int64_t bytes = s->videoByteCount();
      if (bytes >= 0) {
        videoRate =
            clampToInt32(static_cast<double>(bytes) * 8.0 / static_cast<double>(durationMs));
      }
      videoBitrate = formatBitrate(videoRate, units);
    }
  }

  int64_t audioRate = -1;
  if (s->hasAudio) {
    audioCodec = audioCodecName(s->audioCodec);
    channels = formatCount(s->decodedChannels);
    sampleRate = formatWithUnit(s->decodedRate, units.hertz);
    sampleDepth = formatWithUnit(s->decodedBits, units.bits);
    if (durationMs > 0) {
      int64_t bytes = s->audioByteCount();
      if (bytes >= 0 && bytes <= std::numeric_limits<int64_t>::max() / 8) {
        audioRate = std::min<int64_t>(bytes * 8 / durationMs, std::numeric_limits<int32_t>::max());
      }
      audioBitrate = formatBitrate(audioRate, units);
    }
  }

  if (videoRate > 0 || audioRate > 0) {
    bitrate =
        formatBitrate(std::max<int64_t>(videoRate, 0) + std::max<int64_t>(audioRate, 0), units);
  }
}

std::vector<MetadataItem> MovieInfo::metadataItems() const {
  std::vector<MetadataItem> items;
  if (metadata.empty()) return items;
  for (const TagRule& rule : kTags) {
    size_t at = metadata.find(rule.tag);
    if (at == std::string::npos) continue;
    std::string value = tagValue(metadata, at + std::strlen(rule.tag));
    if (value.empty()) continue;
    items.push_back({rule.kind, rule.labelId, std::move(value)});
  }
  if (items.empty()) {
    if (metadata == kEncoderMark) {
      items.push_back(createdWith());
    } else {
      items.push_back({MetadataItem::Kind::kWholeText, 0, metadata});
    }
    return items;
  }
  size_t last = metadata.rfind(';');
  if (last == std::string::npos) return items;
  // Skip the blank that follows the ";". Nothing behind the ";" means no
  // closing item (rather than reading past the end).
  size_t start = last + 2;
  if (start > metadata.size()) return items;
  std::string remainder = metadata.substr(start);
  if (remainder == kEncoderMark) {
    items.push_back(createdWith());
  } else if (!remainder.empty()) {
    items.push_back({MetadataItem::Kind::kClosingText, 0, std::move(remainder)});
  }
  return items;
}

}  // namespace strevana
