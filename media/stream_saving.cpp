#include "media/stream_saving.h"

#include <cstdio>

#include "media/media_source.h"

namespace strevana {

bool createSaveFile(const std::string& path, const uint8_t* data, size_t length) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  if (data && length > 0) std::fwrite(data, 1, length, f);
  std::fclose(f);
  return true;
}

void appendSaveBlock(const std::string& path, const uint8_t* data, size_t length) {
  if (path.empty() || !data || length == 0) return;
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return;
  std::fwrite(data, 1, length, f);
  std::fclose(f);
}

void appendVideoStream(const MediaSource& source, const uint8_t* data, size_t length) {
  appendSaveBlock(source.videoStreamFile, data, length);
}

void appendAudioStream(const MediaSource& source, const uint8_t* data, size_t length) {
  appendSaveBlock(source.audioStreamFile, data, length);
}

void appendRawAudio(const MediaSource& source, const uint8_t* data, size_t length) {
  appendSaveBlock(source.rawAudioFile, data, length);
}

std::string nextPerFrameName(MediaSource& source) {
  const std::string& path = source.rawVideoFile;
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string base = path.substr(0, path.find('.', nameStart));
  char number[8];
  std::snprintf(number, sizeof number, "%04d", static_cast<int>(source.rawVideoFileCounter));
  source.rawVideoFileCounter = (source.rawVideoFileCounter + 1) % 10000;
  std::string result = base + number + ".yuv";
  if (result.size() >= MediaSource::kSavePathCapacity) result.clear();  // skip this picture
  return result;
}

void writeRawVideoPicture(MediaSource& source, const uint8_t* data, size_t length) {
  if (source.rawVideoFile.empty()) return;
  if (source.rawVideoPerFrame) {
    const std::string path = nextPerFrameName(source);
    if (!path.empty()) createSaveFile(path, data, length);
  } else {
    appendSaveBlock(source.rawVideoFile, data, length);
  }
}

}  // namespace strevana
