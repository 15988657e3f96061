#pragma once
// SkinSlider: the position slider, drawn from four pictures (left end, right
// end, middle stretched between them, knob) at the top of its rectangle. Its
// value is a fraction 0..1 of the medium's duration.
//
// Threads: as Widget (controller lock; updateDisplay also redraws it from the
// playback thread). Ownership: owns its pictures; giving new ones deletes the
// old ones.
#include <array>
#include <cstdint>
#include <memory>

#include "playback/panel/skin_bitmap.h"
#include "playback/panel/widget.h"

namespace strevana {

class SkinSlider final : public Widget {
 public:
  explicit SkinSlider(DrawContext* context = nullptr) : Widget(context) {}

  void setPictures(std::unique_ptr<SkinBitmap> leftEnd, std::unique_ptr<SkinBitmap> rightEnd,
                   std::unique_ptr<SkinBitmap> middle, std::unique_ptr<SkinBitmap> knob);

  // Clamps into 0..1 (below 0 and NaN give 0, above 1 gives 1); redraws only
  // when the knob moves by a pixel (the position slider is set on every
  // playback step).
  void setValue(double value);
  double value() const { return value_; }
  void setDisabled(bool disabled) { disabled_ = disabled; }
  bool disabled() const { return disabled_; }

  // Draws only when all four pictures exist.
  void draw() override;

  // A press or drag (kMouseDown) inside the rectangle moves the knob's centre
  // to x, redraws and returns true (the controller then seeks). Nothing while
  // disabled.
  bool onMouse(int32_t x, int32_t y, int32_t event);

  // Where the knob's left edge sits for a value.
  int32_t knobX(double value) const;
  // The clamping rule of setValue.
  static double clampValue(double value);

 private:
  std::array<std::unique_ptr<SkinBitmap>, 4> pictures_;
  double value_ = 0.0;
  bool disabled_ = false;
};

}  // namespace strevana
