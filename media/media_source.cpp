#include "media/media_source.h"

#include <cstring>

#include "media/stream_saving.h"

namespace strevana {

namespace {

bool usablePath(const char* path) {
  return path && path[0] != '\0' && std::strlen(path) < MediaSource::kSavePathCapacity;
}

}  // namespace

MediaSource::MediaSource() = default;
MediaSource::~MediaSource() = default;

void MediaSource::setPostfilter(PostfilterMode) {}
bool MediaSource::prefersRgbOutput() { return false; }

bool MediaSource::setOutputFormat(OutputFormat format) {
  outputFormat = format;
  return true;
}

int64_t MediaSource::videoByteCount() { return -1; }
int64_t MediaSource::audioByteCount() { return -1; }

bool MediaSource::getTimecode(int32_t&, int32_t&, int32_t&, int32_t&) { return false; }
bool MediaSource::setTimecode(int32_t, int32_t, int32_t, int32_t) { return false; }

uint64_t MediaSource::videoPacketsReceived() { return 0; }
uint64_t MediaSource::videoPacketsLost() { return 0; }
uint64_t MediaSource::audioPacketsReceived() { return 0; }
uint64_t MediaSource::audioPacketsLost() { return 0; }

bool MediaSource::awaitingData() const { return false; }
bool MediaSource::receptionFigures(ReceptionFigures&, ReceptionFigures&) { return false; }

int32_t MediaSource::setVideoStreamFile(const char* path, const uint8_t* config,
                                        uint32_t configLength) {
  videoStreamFile.clear();
  if (!usablePath(path)) return 0;
  // The configuration is the stream's own VOS/VOL headers (no private
  // header in front): a player needs all of it before the first sample.
  if (createSaveFile(path, config, config ? configLength : 0)) videoStreamFile = path;
  return 0;
}

int32_t MediaSource::setAudioStreamFile(const char* path, const uint8_t* config,
                                        uint32_t configLength) {
  audioStreamFile.clear();
  if (!usablePath(path)) return 0;
  if (createSaveFile(path, config, config ? configLength : 0)) audioStreamFile = path;
  return 0;
}

int32_t MediaSource::setRawVideoFile(const char* path, int32_t onePerFrame) {
  rawVideoFile.clear();
  if (!usablePath(path)) return 0;
  if (!onePerFrame && !createSaveFile(path, nullptr, 0)) return 0;
  rawVideoFile = path;
  rawVideoPerFrame = onePerFrame ? 1 : 0;
  return 0;
}

int32_t MediaSource::setRawAudioFile(const char* path) {
  rawAudioFile.clear();
  if (!usablePath(path)) return 0;
  if (createSaveFile(path, nullptr, 0)) rawAudioFile = path;
  return 0;
}

void MediaSource::setObjectPosition(float x, float y) {
  objectPositionX = x;
  objectPositionY = y;
}

bool MediaSource::setName(const char* newName) {
  if (!newName || std::strlen(newName) >= kNameCapacity) {
    name[0] = '\0';
    return false;
  }
  std::strcpy(name, newName);
  return true;
}

void MediaSource::drawStillPicture(int32_t dstStride, uint8_t* dst) const {
  if (bytesPerPixel(outputFormat) != 4.0 || !stillPicture || !dst || width <= 0 || height <= 0) {
    return;
  }
  const auto* src = reinterpret_cast<const uint8_t*>(stillPicture);
  const size_t row = static_cast<size_t>(width) * 4;
  // Rows closer together than one picture row would run past the buffer.
  if (dstStride < 0 || static_cast<size_t>(dstStride) < row) return;
  if (dstStride == static_cast<int32_t>(row)) {
    std::memcpy(dst, src, row * static_cast<size_t>(height));
    return;
  }
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstStride, src + row * static_cast<size_t>(y),
                row);
  }
}

}  // namespace strevana
