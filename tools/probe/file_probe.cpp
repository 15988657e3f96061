// strevana-probe FILE: what the movie information window shows for a file,
// one "label: value" line per item, the values formatted as the window
// formats them (unit words in English).
#include <cstdio>
#include <cstring>
#include <string>

#include "info_lines.h"
#include "probe.h"
#include "streaming/media_source_factory.h"

namespace {

using namespace probe;
using strevana::MediaSource;

// The metadata lines: the tagged items of a ";"-separated list, then the
// encoder's mark (or, without any tag, the whole text).
void metadataLines(const std::string& text) {
  static constexpr struct {
    const char* tag;
    const char* label;
  } kTags[] = {{"Title:", "title"},
               {"Date:", "date"},
               {"(c):", "copyright"},
               {"Description:", "description"}};
  int shown = 0;
  for (const auto& t : kTags) {
    const size_t at = text.find(t.tag);
    if (at == std::string::npos) continue;
    size_t start = at + std::strlen(t.tag) + 1;
    if (start > text.size()) continue;
    while (start < text.size() && text[start] == ';') ++start;
    if (start >= text.size()) continue;
    const size_t end = text.find(';', start);
    line(t.label, text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    ++shown;
  }
  if (shown == 0) {
    if (text == "strevana encoded") {
      line("created with", "strevana");
    } else {
      line("metadata", text);
    }
    return;
  }
  const size_t last = text.rfind(';');
  if (last == std::string::npos || last + 1 >= text.size()) return;
  const std::string remainder = text.substr(last + 2 <= text.size() ? last + 2 : text.size());
  line(remainder == "strevana encoded" ? "created with" : "metadata",
       remainder == "strevana encoded" ? "strevana" : remainder);
}

}  // namespace

int runFileProbe(const char* path) {
  auto source = strevana::createMediaSource(nullptr, path, 0, strevana::kFormatYuy2, 0, 0, 0, 0,
                                            nullptr, nullptr, nullptr, nullptr, 0, 0, 0, nullptr);
  if (!source) {
    std::fprintf(stderr, "strevana-probe: cannot open %s\n", path);
    return 1;
  }
  MediaSource& s = *source;
  line("source", shortened(s.name));
  line("duration", duration(s.durationMs));
  int64_t fileSize = -1;
  if (FILE* f = std::fopen(s.name, "rb")) {
    if (std::fseek(f, 0, SEEK_END) == 0) fileSize = std::ftell(f);
    std::fclose(f);
  }
  line("file size",
       fileSize < 0 ? "-" : format("%d %s", static_cast<int>(fileSize / 1024), "kByte"));

  int32_t videoRate = -1;
  int32_t audioRate = -1;
  std::string frameRate = "-";
  if ((s.hasVideo || !s.hasAudio) && s.durationMs > 0) {
    const double rate = s.frameCount / (s.durationMs * 0.001);
    if (rate > 0) frameRate = format("%.2f %s", rate, "fps");
    videoRate = static_cast<int32_t>(static_cast<double>(s.videoByteCount()) * 8.0 / s.durationMs);
  }
  if (s.hasAudio && s.durationMs > 0)
    audioRate = static_cast<int32_t>(s.audioByteCount() * 8 / s.durationMs);
  const int32_t total = (videoRate > 0 ? videoRate : 0) + (audioRate > 0 ? audioRate : 0);
  line("bitrate", videoRate > 0 || audioRate > 0 ? format("%d %s", total, "kBit/s") : "-");
  if (s.metadataText && s.metadataLength > 0) {
    const auto* text = reinterpret_cast<const char*>(s.metadataText.get());
    metadataLines(std::string(text, strnlen(text, std::min<size_t>(s.metadataLength, 1024))));
  }

  const bool video = s.hasVideo || !s.hasAudio;
  line("video codec", videoCodecName(s.videoCodec));
  line("video size", video ? size(s.width, s.height) : "-");
  line("display size", video ? size(s.displayWidth, s.displayHeight) : "-");
  line("frame rate", video ? frameRate : "-");
  line("video bitrate", video && videoRate >= 0 ? format("%d %s", videoRate, "kBit/s") : "-");
  const bool audio = s.hasAudio != 0;
  line("audio codec", audio ? audioCodecName(s.audioCodec) : "-");
  line("channels", audio ? positive(s.decodedChannels, nullptr) : "-");
  line("sample rate", audio ? positive(s.decodedRate, "Hz") : "-");
  line("sample depth", audio ? positive(s.decodedBits, "bit") : "-");
  line("audio bitrate", audio && audioRate >= 0 ? format("%d %s", audioRate, "kBit/s") : "-");
  return 0;
}
