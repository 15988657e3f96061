#pragma once
// SkinButton: a panel button drawn from four pictures, one per state
// (0 normal, 1 pressed or on, 2 hover, 3 disabled). A toggle button (play)
// stays on after its press until the controller resets it; a plain button
// shows hover after release. Only the controller sets or leaves state 3.
//
// Mouse handling (onMouse) reports a click on the press, redraws on every
// state change and ignores everything while disabled.
//
// Threads: as Widget (controller lock). Ownership: owns its pictures; giving
// new pictures deletes the old ones.
#include <array>
#include <cstdint>
#include <memory>

#include "playback/panel/skin_bitmap.h"
#include "playback/panel/widget.h"

namespace strevana {

class SkinButton final : public Widget {
 public:
  static constexpr int32_t kNormal = 0;
  static constexpr int32_t kPressed = 1;  // pressed, or on for a toggle button
  static constexpr int32_t kHover = 2;
  static constexpr int32_t kDisabled = 3;

  explicit SkinButton(DrawContext* context = nullptr) : Widget(context) {}

  // The size becomes the normal picture's size (when there is one).
  void setPictures(std::unique_ptr<SkinBitmap> normal, std::unique_ptr<SkinBitmap> pressed,
                   std::unique_ptr<SkinBitmap> hover, std::unique_ptr<SkinBitmap> disabled);
  const SkinBitmap* picture(int32_t state) const;

  // Does not redraw; call draw() after.
  void setState(int32_t state) { state_ = state; }
  int32_t state() const { return state_; }
  // Turning toggle off also returns the button to state 0.
  void setToggle(bool toggle);
  bool isToggle() const { return toggle_; }

  // The current state's picture (the normal one when it is missing, nothing
  // when both are) stretched to the widget's rectangle.
  void draw() override;

  // Event kinds kMouseMove, kMouseDown, kMouseRelease at client (x, y); true
  // when the event completed a click.
  bool onMouse(int32_t x, int32_t y, int32_t event);

 private:
  std::array<std::unique_ptr<SkinBitmap>, 4> pictures_;
  int32_t state_ = kNormal;
  bool toggle_ = false;
};

}  // namespace strevana
