#include "video/memory_window_surface.h"

namespace strevana {

MemoryWindowSurface::MemoryWindowSurface(int32_t width, int32_t height)
    : WindowSurface(width, height) {}

void MemoryWindowSurface::resize(int32_t width, int32_t height) { resizeBackBuffer(width, height); }

void MemoryWindowSurface::invalidate(const QRect& rect) {
  std::lock_guard<std::mutex> lock(recordMutex_);
  ++invalidateCount_;
  invalidated_ |= rect.normalized();
}

QImage MemoryWindowSurface::snapshot() {
  auto buffer = paint();
  return buffer.image().copy();
}

QRect MemoryWindowSurface::takeInvalidated() {
  std::lock_guard<std::mutex> lock(recordMutex_);
  QRect result = invalidated_;
  invalidated_ = QRect();
  return result;
}

int64_t MemoryWindowSurface::invalidateCount() const {
  std::lock_guard<std::mutex> lock(recordMutex_);
  return invalidateCount_;
}

}  // namespace strevana
