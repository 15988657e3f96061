#pragma once
// WindowSurface: a window the player draws into (main client area, full-screen
// window, movie information window), seen through a 32-bit back buffer.
//
// Drawing (DrawContext primitives, GdiRenderer::present) writes into the back
// buffer from whichever thread holds the controller lock, then calls
// invalidate(); the window side copies the buffer to the screen later under the
// same buffer mutex. The buffer mutex is the only lock taken here, and it is
// never held while calling out, so it nests safely inside the controller lock.
//
// Threads: clientWidth/clientHeight, paint() and invalidate() may be called from
// any thread. Resizing happens on the thread that owns the window (the UI
// thread for SurfaceWidget, the caller for MemoryWindowSurface).
//
// Ownership: the surface owns its back buffer. Callers never keep the QImage
// reference beyond the BackBuffer scope that handed it out.
//
// Size: a back buffer is at most kMaxBackBufferBytes (1 GiB, 16384 x 16384
// pixels; 400 % of a 1080p picture takes an eighth of it), and sizes are
// worked out in 64 bits. A size past that bound, or one whose buffer cannot
// be allocated, leaves the surface with an empty (null) buffer and a client
// size of 0 x 0, so that nothing draws into it; drawing code clips to the
// client size or to the image's own rectangle. The next resize to a size
// that fits gives a buffer again.
#include <QImage>
#include <QRect>
#include <QSize>
#include <atomic>
#include <cstdint>
#include <mutex>

namespace strevana {

class VideoPlane;

class WindowSurface {
 public:
  static constexpr int64_t kMaxBackBufferBytes = int64_t{1} << 30;

  // Scoped write access to the back buffer: holds the buffer mutex for its
  // lifetime. The image is Format_RGB32 (B G R 0xff in memory) and has the
  // client size.
  class BackBuffer {
   public:
    BackBuffer(BackBuffer&&) noexcept = default;
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;
    BackBuffer& operator=(BackBuffer&&) = delete;
    QImage& image() { return *image_; }

   private:
    friend class WindowSurface;
    BackBuffer(std::mutex& mutex, QImage& image) : lock_(mutex), image_(&image) {}
    std::unique_lock<std::mutex> lock_;
    QImage* image_;
  };

  WindowSurface(const WindowSurface&) = delete;
  WindowSurface& operator=(const WindowSurface&) = delete;
  virtual ~WindowSurface() = default;

  int32_t clientWidth() const { return width_.load(std::memory_order_acquire); }
  int32_t clientHeight() const { return height_.load(std::memory_order_acquire); }
  QSize clientSize() const { return QSize(clientWidth(), clientHeight()); }

  // Locks the back buffer for drawing. Do not call invalidate() or anything
  // that takes other locks while holding it.
  BackBuffer paint() { return BackBuffer(mutex_, image_); }

  // Schedules a repaint of rect (client coordinates) on the window's own
  // thread; never blocks on painting. Callable from any thread.
  virtual void invalidate(const QRect& rect) = 0;

  // Where the display hardware can show pictures in this window, or null
  // when it cannot (memory surfaces, windows without an OpenGL context).
  // Owned by the surface.
  virtual VideoPlane* videoPlane() { return nullptr; }

 protected:
  // Starts with a black back buffer of the given size (negative sizes are 0;
  // a size that cannot be had gives 0 x 0, see above).
  WindowSurface(int32_t width, int32_t height);

  // Gives the back buffer a new size, keeping the overlapping top-left part
  // and filling new area black; a size that cannot be had gives an empty
  // buffer and a client size of 0 x 0. Takes the buffer mutex.
  void resizeBackBuffer(int32_t width, int32_t height);

  // For subclasses that copy the buffer to a screen: the mutex and the image
  // it guards.
  std::mutex& bufferMutex() { return mutex_; }
  const QImage& bufferImage() const { return image_; }

 private:
  std::mutex mutex_;
  QImage image_;
  std::atomic<int32_t> width_{0};
  std::atomic<int32_t> height_{0};
};

}  // namespace strevana
