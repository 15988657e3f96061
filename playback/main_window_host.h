#pragma once
// MainWindowHost: what the player controller needs of the main window beyond
// its drawing surface: resizing it so that its client area gets a given size
// (zooming), the window frame keeping its own size and the top-left corner
// staying where it is. The shell implements it on its Qt window; tests and
// headless tools use MemoryWindowHost.
//
// Threads: called by the controller on the user-interface thread, never with
// the controller's lock held (a resize may lead straight back into
// PlayerController::layoutPanel).
// Ownership: the controller does not own the host; it must outlive it.
#include <cstdint>
#include <functional>

namespace strevana {

class MemoryWindowSurface;

class MainWindowHost {
 public:
  virtual ~MainWindowHost() = default;
  virtual void resizeClient(int32_t width, int32_t height) = 0;
  // The largest client area that keeps the window inside the screen's
  // available area (less its frame and menu bar); false when nothing limits it.
  virtual bool largestClient(int32_t& width, int32_t& height) const {
    (void)width;
    (void)height;
    return false;
  }
};

// A host over a MemoryWindowSurface: resizing resizes the surface and then
// calls the optional onResized hook (where a real window would get its size
// and erase messages).
class MemoryWindowHost final : public MainWindowHost {
 public:
  explicit MemoryWindowHost(MemoryWindowSurface* surface) : surface_(surface) {}
  void resizeClient(int32_t width, int32_t height) override;
  bool largestClient(int32_t& width, int32_t& height) const override;
  // A screen for the window: clients larger than this are refused by zooms.
  void setLargestClient(int32_t width, int32_t height) {
    limitWidth_ = width;
    limitHeight_ = height;
  }

  std::function<void()> onResized;
  int32_t resizeCount() const { return resizeCount_; }

 private:
  MemoryWindowSurface* surface_;
  int32_t resizeCount_ = 0;
  int32_t limitWidth_ = 0;  // 0: no limit
  int32_t limitHeight_ = 0;
};

}  // namespace strevana
