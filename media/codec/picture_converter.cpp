#include "media/codec/picture_converter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace strevana {

namespace {

// Bytes per pixel of the packed output formats (0 for others). The rows the
// caller's buffer holds are this times the width, never rounded up.
int packedPixelBytes(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_BGRA: return 4;
    case AV_PIX_FMT_BGR24: return 3;
    case AV_PIX_FMT_YUYV422: return 2;
    default: return 0;
  }
}

}  // namespace

void copyPlanar(const AVFrame* picture, uint8_t* dst, int width, int height) {
  const int cw = width / 2;
  const int ch = height / 2;
  av_image_copy_plane(dst, width, picture->data[0], picture->linesize[0], width, height);
  uint8_t* u = dst + static_cast<size_t>(width) * height;
  av_image_copy_plane(u, cw, picture->data[1], picture->linesize[1], cw, ch);
  av_image_copy_plane(u + static_cast<size_t>(cw) * ch, cw, picture->data[2], picture->linesize[2],
                      cw, ch);
}

PictureConverter::~PictureConverter() {
  sws_freeContext(sws_);
  av_frame_free(&scratch_);
}

bool PictureConverter::convert(const AVFrame* picture, int width, int height, AVPixelFormat target,
                               uint8_t* dst, int32_t dstStride) {
  if (target == AV_PIX_FMT_YUV420P && picture->format == AV_PIX_FMT_YUV420P) {
    copyPlanar(picture, dst, width, height);
    return true;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  sws_ = sws_getCachedContext(sws_, width, height, static_cast<AVPixelFormat>(picture->format),
                              width, height, target, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!sws_) return false;
  const bool packed = target != AV_PIX_FMT_YUV420P;
  const int row = packedPixelBytes(target) * width;
  if (packed && row <= 0) return false;
  if (packed && row > 0 && row % 64 == 0 && dstStride >= row && dstStride % 16 == 0 &&
      reinterpret_cast<uintptr_t>(dst) % 16 == 0) {
    uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
    int strides[4] = {dstStride, 0, 0, 0};
    return sws_scale(sws_, picture->data, picture->linesize, 0, height, planes, strides) == height;
  }
  if (!scratch_) scratch_ = av_frame_alloc();
  if (!scratch_) return false;
  if (scratch_->width != width || scratch_->height != height || scratch_->format != target ||
      !scratch_->data[0]) {
    av_frame_unref(scratch_);
    scratch_->format = target;
    scratch_->width = width;
    scratch_->height = height;
    if (av_frame_get_buffer(scratch_, 0) < 0) return false;
  }
  if (sws_scale(sws_, picture->data, picture->linesize, 0, height, scratch_->data,
                scratch_->linesize) != height) {
    return false;
  }
  if (!packed) {
    copyPlanar(scratch_, dst, width, height);
  } else {
    av_image_copy_plane(dst, dstStride, scratch_->data[0], scratch_->linesize[0], row, height);
  }
  return true;
}

}  // namespace strevana
