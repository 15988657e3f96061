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
};

// A host over a MemoryWindowSurface: resizing resizes the surface and then
// calls the optional onResized hook (where a real window would get its size
// and erase messages).
class MemoryWindowHost final : public MainWindowHost {
 public:
  explicit MemoryWindowHost(MemoryWindowSurface* surface) : surface_(surface) {}
  void resizeClient(int32_t width, int32_t height) override;

  std::function<void()> onResized;
  int32_t resizeCount() const { return resizeCount_; }

 private:
  MemoryWindowSurface* surface_;
  int32_t resizeCount_ = 0;
};

}  // namespace strevana
