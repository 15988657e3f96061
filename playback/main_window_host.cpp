#include "playback/main_window_host.h"

#include "video/memory_window_surface.h"

namespace strevana {

void MemoryWindowHost::resizeClient(int32_t width, int32_t height) {
  ++resizeCount_;
  if (surface_) surface_->resize(width, height);
  if (onResized) onResized();
}

bool MemoryWindowHost::largestClient(int32_t& width, int32_t& height) const {
  if (limitWidth_ <= 0 || limitHeight_ <= 0) return false;
  width = limitWidth_;
  height = limitHeight_;
  return true;
}

}  // namespace strevana
