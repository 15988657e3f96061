#include "playback/panel/skin_slider.h"

#include <cmath>

namespace strevana {

namespace {
constexpr size_t kLeftEnd = 0, kRightEnd = 1, kMiddle = 2, kKnob = 3;
}

void SkinSlider::setPictures(std::unique_ptr<SkinBitmap> leftEnd,
                             std::unique_ptr<SkinBitmap> rightEnd,
                             std::unique_ptr<SkinBitmap> middle, std::unique_ptr<SkinBitmap> knob) {
  pictures_[kLeftEnd] = std::move(leftEnd);
  pictures_[kRightEnd] = std::move(rightEnd);
  pictures_[kMiddle] = std::move(middle);
  pictures_[kKnob] = std::move(knob);
}

double SkinSlider::clampValue(double value) {
  if (std::isnan(value) || value < 0.0) {
    return 0.0;
  }
  return value > 1.0 ? 1.0 : value;
}

void SkinSlider::setValue(double value) {
  const double v = clampValue(value);
  const bool moved = knobX(v) != knobX(value_);
  value_ = v;
  if (moved) draw();
}

int32_t SkinSlider::knobX(double value) const {
  const int32_t knobWidth = pictures_[kKnob] ? pictures_[kKnob]->width() : 0;
  return static_cast<int32_t>((width() - knobWidth) * clampValue(value));
}

void SkinSlider::draw() {
  for (const auto& p : pictures_) {
    if (!p) {
      return;
    }
  }
  const SkinBitmap& left = *pictures_[kLeftEnd];
  const SkinBitmap& right = *pictures_[kRightEnd];
  const SkinBitmap& middle = *pictures_[kMiddle];
  const SkinBitmap& knob = *pictures_[kKnob];
  bitmap(0, 0, left.width(), left.height(), &left);
  bitmap(width() - right.width(), 0, right.width(), right.height(), &right);
  const int32_t middleWidth = width() - right.width() - left.width();
  if (middleWidth > 0) {
    bitmap(left.width(), 0, middleWidth, middle.height(), &middle);
  }
  bitmap(knobX(value_), 0, knob.width(), knob.height(), &knob);
}

bool SkinSlider::onMouse(int32_t x, int32_t y, int32_t event) {
  if (disabled_ || event != kMouseDown || !contains(x, y)) {
    return false;
  }
  const int32_t knobWidth = pictures_[kKnob] ? pictures_[kKnob]->width() : 0;
  const int32_t travel = width() - knobWidth;
  // A slider no wider than its knob has nowhere to move: treat it as the start.
  const double v = travel > 0 ? static_cast<double>(x - knobWidth / 2 - this->x()) / travel : 0.0;
  setValue(v);
  return true;
}

}  // namespace strevana
