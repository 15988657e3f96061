#include "media/yuv_file_source.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

namespace strevana {

namespace {

int64_t frameBytesOf(int32_t layout, int32_t width, int32_t height) {
  const int64_t pixels = static_cast<int64_t>(width) * height;
  if (layout == YuvFileSource::kLayoutPlanar420) return pixels * 3 / 2;
  if (layout == YuvFileSource::kLayoutPacked422) return pixels * 2;
  return 0;
}

int32_t clampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

YuvFileSource::YuvFileSource(const char* path, int32_t frameWidth, int32_t frameHeight,
                             int32_t framesPerSecond, int32_t layout, OutputFormat format)
    : framesPerSecond_(std::max(framesPerSecond, 1)), layout_(layout) {
  width = displayWidth = frameWidth;
  height = displayHeight = frameHeight;
  outputFormat = format;
  hasAudio = 0;
  hasVideo = 0;
  setName(path);
  const bool sizeOk = frameWidth > 0 && frameHeight > 0 && frameWidth <= kMaxDimension &&
                      frameHeight <= kMaxDimension;
  frameBytes_ = sizeOk ? frameBytesOf(layout, frameWidth, frameHeight) : 0;
  if (!path || frameBytes_ <= 0) return;

  // The file first: a frame larger than the whole file (or a file that is not
  // there) must not cost a frame buffer of up to 2 GiB.
  file_.reset(std::fopen(path, "rb"));
  if (!file_) return;
  if (std::fseek(file_.get(), 0, SEEK_END) != 0) return;
  const long size = std::ftell(file_.get());
  if (size < 0) return;
  frameCount = clampToInt32(size / frameBytes_);
  if (frameCount <= 0) {
    frameCount = 0;
    file_.reset();
    return;
  }
  try {
    frame_.assign(static_cast<size_t>(frameBytes_), 0);
  } catch (const std::bad_alloc&) {
    file_.reset();
    return;
  }
  readFrame(0);

  converter_ = createYuvConverter(1);
  if (!converter_) return;
  durationMs = clampToInt32(static_cast<int64_t>(frameCount) * 1000 / framesPerSecond_);
  hasVideo = 1;
}

YuvFileSource::~YuvFileSource() = default;

void YuvFileSource::readFrame(int32_t index) {
  const int64_t offset = static_cast<int64_t>(index) * frameBytes_;
  if (offset != filePosition_ &&
      std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0) {
    filePosition_ = -1;
    return;
  }
  const size_t got = std::fread(frame_.data(), 1, frame_.size(), file_.get());
  // A short read leaves the rest of the buffer as it was; position unknown.
  filePosition_ = got == frame_.size() ? offset + frameBytes_ : -1;
}

bool YuvFileSource::canConvert(int32_t dstStride, const uint8_t* dst) const {
  if (!dst || !converter_) return false;
  const bool supported = outputFormat == kFormatYuy2 ||
                         ((outputFormat == kFormatBgr24 || outputFormat == kFormatBgrx32) &&
                          layout_ == kLayoutPlanar420);
  return supported && dstStride >= rowBytes(outputFormat, width);
}

void YuvFileSource::convert(int32_t dstStride, uint8_t* dst) const {
  const uint8_t* y = frame_.data();
  const int64_t lumaBytes = static_cast<int64_t>(width) * height;
  const uint8_t* u = y + lumaBytes;
  const uint8_t* v = y + lumaBytes * 5 / 4;
  const int32_t cw = width / 2, ch = height / 2;
  switch (outputFormat) {
    case kFormatYuy2:
      if (layout_ == kLayoutPacked422) {
        const size_t row = static_cast<size_t>(width) * 2;
        for (int32_t r = 0; r < height; ++r) {
          std::memcpy(dst + static_cast<ptrdiff_t>(r) * dstStride, y + row * static_cast<size_t>(r),
                      row);
        }
      } else {
        converter_->toYuy2(dst, dstStride / 2, y, width, height, width, u, v, cw, ch, cw);
      }
      break;
    case kFormatBgr24:
      converter_->toBgr24(dst, dstStride, y, width, height, width, u, v, cw, ch, cw, 0);
      break;
    case kFormatBgrx32:
      converter_->toRgbx32(dst, dstStride, y, width, height, width, u, v, cw, ch, cw, 1, 0);
      break;
    default: break;
  }
}

bool YuvFileSource::getVideoFrame(FrameRequest request, int32_t dstStride, const uint8_t*, int32_t,
                                  int32_t, uint8_t* dst, int32_t& positionMs) {
  if (!file_ || frameCount <= 0 || !canConvert(dstStride, dst)) return false;
  switch (request) {
    case kRequestFirst:
      currentFrame_ = 0;
      readFrame(currentFrame_);
      break;
    case kRequestLast:
      currentFrame_ = frameCount - 1;
      readFrame(currentFrame_);
      break;
    case kRequestNext:
    case kRequestNextCatchingUp:
      if (currentFrame_ + 1 >= frameCount) {
        currentFrame_ = frameCount - 1;
        return false;
      }
      ++currentFrame_;
      readFrame(currentFrame_);
      break;
    case kRequestPrevious:
    case kRequestPerSource:
      if (currentFrame_ == 0) return false;
      --currentFrame_;
      readFrame(currentFrame_);
      break;
    case kRequestAtPosition: {
      const double wanted = framesPerSecond_ * static_cast<double>(positionMs) * 0.001;
      currentFrame_ =
          static_cast<int32_t>(std::clamp(wanted, 0.0, static_cast<double>(frameCount - 1)));
      readFrame(currentFrame_);
      break;
    }
    default:  // current again: convert the buffered frame once more
      break;
  }
  convert(dstStride, dst);
  positionMs = static_cast<int32_t>(currentFrame_ * 1000.0 / framesPerSecond_);
  return true;
}

bool YuvFileSource::getAudio(FrameRequest, AudioChunk*&, int32_t&, uint8_t& timeChanged) {
  timeChanged = 0;
  return false;
}

}  // namespace strevana
