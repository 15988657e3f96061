#pragma once
// MemoryWindowSurface: a WindowSurface without a window, for tests and
// headless tools (the snapshot tool renders through one and saves the back
// buffer). invalidate() only records what was asked for.
//
// Threads: like every WindowSurface, drawing and invalidate() may come from any
// thread; resize(), snapshot() and the invalidation queries take their own
// locks and may be called from any thread too.
#include <cstdint>
#include <mutex>

#include "video/window_surface.h"

namespace strevana {

class MemoryWindowSurface final : public WindowSurface {
 public:
  // A surface of 0 x 0 until resized, by default.
  explicit MemoryWindowSurface(int32_t width = 0, int32_t height = 0);

  // Changes the client size, as a window resize would.
  void resize(int32_t width, int32_t height);

  void invalidate(const QRect& rect) override;

  // A copy of the back buffer (Format_RGB32).
  QImage snapshot();
  // Union of every rectangle invalidated since the last takeInvalidated();
  // empty when none. Resets the record.
  QRect takeInvalidated();
  // Number of invalidate() calls since construction.
  int64_t invalidateCount() const;

 private:
  mutable std::mutex recordMutex_;
  QRect invalidated_;
  int64_t invalidateCount_ = 0;
};

}  // namespace strevana
