#include "media/media_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace strevana {

namespace {

// Creates (truncates) a file and writes an optional first block; false when the
// file cannot be created.
bool createFile(const std::string& path, const uint8_t* data, size_t length) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  if (data && length > 0) std::fwrite(data, 1, length, f);
  std::fclose(f);
  return true;
}

// One block per open: every saved file is complete on disk between writes.
void appendBlock(const std::string& path, const uint8_t* data, size_t length) {
  if (path.empty() || !data || length == 0) return;
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return;
  std::fwrite(data, 1, length, f);
  std::fclose(f);
}

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

int32_t MediaSource::setVideoStreamFile(const char* path, const uint8_t* config,
                                        uint32_t configLength) {
  videoStreamFile.clear();
  if (!usablePath(path)) return 0;
  // The elementary stream starts at the configuration's eleventh byte.
  const bool withConfig = config && configLength > 10;
  if (createFile(path, withConfig ? config + 10 : nullptr, withConfig ? configLength - 10 : 0)) {
    videoStreamFile = path;
  }
  return 0;
}

int32_t MediaSource::setAudioStreamFile(const char* path, const uint8_t* config,
                                        uint32_t configLength) {
  audioStreamFile.clear();
  if (!usablePath(path)) return 0;
  if (createFile(path, config, config ? configLength : 0)) audioStreamFile = path;
  return 0;
}

int32_t MediaSource::setRawVideoFile(const char* path, int32_t onePerFrame) {
  rawVideoFile.clear();
  if (!usablePath(path)) return 0;
  if (!onePerFrame && !createFile(path, nullptr, 0)) return 0;
  rawVideoFile = path;
  rawVideoPerFrame = onePerFrame ? 1 : 0;
  return 0;
}

int32_t MediaSource::setRawAudioFile(const char* path) {
  rawAudioFile.clear();
  if (!usablePath(path)) return 0;
  if (createFile(path, nullptr, 0)) rawAudioFile = path;
  return 0;
}

void MediaSource::appendVideoStream(const uint8_t* data, size_t length) const {
  appendBlock(videoStreamFile, data, length);
}

void MediaSource::appendAudioStream(const uint8_t* data, size_t length) const {
  appendBlock(audioStreamFile, data, length);
}

void MediaSource::appendRawAudio(const uint8_t* data, size_t length) const {
  appendBlock(rawAudioFile, data, length);
}

std::string MediaSource::nextPerFrameName() {
  // The base ends at the first '.' of the file name itself: a dot in a folder
  // name must not send the pictures into another folder.
  const size_t slash = rawVideoFile.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string base = rawVideoFile.substr(0, rawVideoFile.find('.', nameStart));
  char number[8];
  std::snprintf(number, sizeof number, "%04d", static_cast<int>(rawVideoFileCounter));
  rawVideoFileCounter = (rawVideoFileCounter + 1) % 10000;
  std::string result = base + number + ".yuv";
  if (result.size() >= kSavePathCapacity) result.clear();  // would not fit: skip this picture
  return result;
}

void MediaSource::writeRawVideoPicture(const uint8_t* data, size_t length) {
  if (rawVideoFile.empty()) return;
  if (rawVideoPerFrame) {
    const std::string path = nextPerFrameName();
    if (!path.empty()) createFile(path, data, length);
  } else {
    appendBlock(rawVideoFile, data, length);
  }
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
    std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstStride, src + row * static_cast<size_t>(y), row);
  }
}

bool MediaSource::compositePicture(const uint8_t* picture, int32_t pictureWidth,
                                   int32_t pictureHeight, const uint8_t* backgroundBits,
                                   int32_t backgroundWidth, int32_t backgroundHeight,
                                   int32_t dstStride, uint8_t* dst) const {
  if (!picture || !dst || pictureWidth <= 0 || pictureHeight <= 0) return true;
  const size_t row = static_cast<size_t>(pictureWidth) * 4;
  // Rows closer together than one picture row would run past the buffer.
  if (dstStride < 0 || static_cast<size_t>(dstStride) < row) return false;

  // Background: black when there is none or it is too small to cover the
  // picture; otherwise its top-left width x height pixels.
  const bool useBackground = backgroundBits && backgroundWidth >= pictureWidth &&
                             backgroundHeight >= pictureHeight;
  const size_t backgroundRow = useBackground ? static_cast<size_t>(backgroundWidth) * 4 : 0;
  if (dstStride == static_cast<int32_t>(row) && (!useBackground || backgroundRow == row)) {
    if (useBackground) {
      std::memcpy(dst, backgroundBits, row * static_cast<size_t>(pictureHeight));
    } else {
      std::memset(dst, 0, row * static_cast<size_t>(pictureHeight));
    }
  } else {
    for (int32_t y = 0; y < pictureHeight; ++y) {
      uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstStride;
      if (useBackground) {
        std::memcpy(out, backgroundBits + backgroundRow * static_cast<size_t>(y), row);
      } else {
        std::memset(out, 0, row);
      }
    }
  }

  const int32_t halfHeight = pictureHeight / 2;
  const int32_t halfWidth = pictureWidth / 2;
  // Positions far outside the picture are clamped before the integer
  // conversion; they clip every pixel either way.
  // A position that is not a number (a pointer fraction of an empty video
  // area) clips everything too.
  const auto toIndex = [](double v, int32_t extent) {
    if (std::isnan(v)) return -2 * extent;
    return static_cast<int32_t>(std::clamp(v, -2.0 * extent, 2.0 * extent));
  };
  const int32_t tx0 = toIndex(static_cast<double>(pictureWidth) * objectPositionX - halfWidth, pictureWidth);
  // Columns of the picture that land inside the destination.
  const int32_t firstX = std::max(0, -tx0);
  const int32_t endX = std::min(pictureWidth, pictureWidth - tx0);
  for (int32_t y = 0; y < pictureHeight; ++y) {
    const int32_t ty = toIndex(static_cast<double>(pictureHeight) * objectPositionY + y - halfHeight, pictureHeight);
    if (ty < 0 || ty >= pictureHeight) continue;
    const uint8_t* src = picture + row * static_cast<size_t>(y);
    uint8_t* out = dst + static_cast<ptrdiff_t>(ty) * dstStride;
    for (int32_t x = firstX; x < endX; ++x) {
      const uint8_t* p = src + static_cast<size_t>(x) * 4;
      if (p[3] != 0) std::memcpy(out + static_cast<ptrdiff_t>(tx0 + x) * 4, p, 4);
    }
  }
  return true;
}

}  // namespace strevana
