#include "video/direct_draw_renderer.h"

#include <algorithm>
#include <atomic>

#include "video/window_surface.h"

namespace strevana {

namespace {

bool acceptedFormat(OutputFormat format) {
  return format == kFormatIyuv || format == kFormatYv12 || format == kFormatYuy2 ||
         format == kFormatBgr24 || format == kFormatBgrx32;
}

bool planar(OutputFormat format) { return format == kFormatIyuv || format == kFormatYv12; }

}  // namespace

DirectDrawRenderer::~DirectDrawRenderer() { close(); }

bool DirectDrawRenderer::open(WindowSurface* window, int32_t x, int32_t y, int32_t width,
                              int32_t height, OutputFormat format) {
  if (!acceptedFormat(format) || window == nullptr) return false;
  if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) return false;
  VideoPlane* plane = window->videoPlane();
  if (plane == nullptr || !plane->usable()) return false;
  VideoRenderer::open(window, x, y, width, height, format);
  plane_ = plane;
  stride_ = planar(format) ? width : rowBytes(format, width);
  bits_.assign(static_cast<size_t>(bufferBytes(format, width, height)), 0);
  clear();  // zero bytes are green in YUV: start black
  return true;
}

bool DirectDrawRenderer::close() {
  if (plane_ != nullptr) plane_->withdraw();
  plane_ = nullptr;
  std::vector<uint8_t>().swap(bits_);
  frames_[0].reset();
  frames_[1].reset();
  stride_ = 0;
  return true;
}

bool DirectDrawRenderer::setOutputRect(int32_t x, int32_t y, int32_t width, int32_t height) {
  VideoRenderer::setOutputRect(x, y, width, height);
  return plane_ != nullptr && plane_->usable();
}

bool DirectDrawRenderer::lockBuffer(uint8_t*& bits, int32_t& size, int32_t& stride) {
  if (bits_.empty()) return false;
  bits = bits_.data();
  size = static_cast<int32_t>(bits_.size());
  stride = stride_;
  return true;
}

bool DirectDrawRenderer::unlockBuffer() { return true; }

std::shared_ptr<VideoPlaneFrame> DirectDrawRenderer::freeFrame() {
  for (auto& f : frames_) {
    // Only this renderer and the plane ever hold a frame; a count of one
    // means the plane has let go of it. The plane's release of its last
    // reference is a releasing decrement; the fence orders its reads of the
    // pixels before the writes that reuse them.
    if (!f || f.use_count() == 1) {
      std::atomic_thread_fence(std::memory_order_acquire);
      if (!f) f = std::make_shared<VideoPlaneFrame>();
      return f;
    }
  }
  // The plane still holds both (it has not painted yet): a fresh frame.
  return std::make_shared<VideoPlaneFrame>();
}

bool DirectDrawRenderer::present() {
  if (plane_ == nullptr || bits_.empty()) return false;
  if (displayWidth_ <= 0 || displayHeight_ <= 0) return plane_->usable();
  std::shared_ptr<VideoPlaneFrame> frame = freeFrame();
  frame->format = format_;
  frame->width = imageWidth_;
  frame->height = imageHeight_;
  frame->bits.assign(bits_.begin(), bits_.end());
  return plane_->showFrame(std::move(frame),
                           QRect(displayX_, displayY_, displayWidth_, displayHeight_));
}

}  // namespace strevana
