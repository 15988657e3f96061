#include "playback/panel/skin_button.h"

namespace strevana {

void SkinButton::setPictures(std::unique_ptr<SkinBitmap> normal,
                             std::unique_ptr<SkinBitmap> pressed, std::unique_ptr<SkinBitmap> hover,
                             std::unique_ptr<SkinBitmap> disabled) {
  pictures_[kNormal] = std::move(normal);
  pictures_[kPressed] = std::move(pressed);
  pictures_[kHover] = std::move(hover);
  pictures_[kDisabled] = std::move(disabled);
  if (pictures_[kNormal]) {
    setSize(pictures_[kNormal]->width(), pictures_[kNormal]->height());
  }
}

const SkinBitmap* SkinButton::picture(int32_t state) const {
  if (state < 0 || state >= static_cast<int32_t>(pictures_.size())) {
    return nullptr;
  }
  return pictures_[static_cast<size_t>(state)].get();
}

void SkinButton::setToggle(bool toggle) {
  toggle_ = toggle;
  if (!toggle) {
    state_ = kNormal;
  }
}

void SkinButton::draw() {
  const SkinBitmap* p = picture(state_);
  if (p == nullptr) {
    p = picture(kNormal);
  }
  if (p != nullptr) {
    bitmap(0, 0, width(), height(), p);
  }
}

bool SkinButton::onMouse(int32_t x, int32_t y, int32_t event) {
  if (state_ == kDisabled) {
    return false;
  }
  if (contains(x, y)) {
    switch (event) {
      case kMouseDown:
        state_ = kPressed;
        draw();
        return true;
      case kMouseMove:
        if (state_ == kNormal) {
          state_ = kHover;
          draw();
        }
        return false;
      case kMouseRelease:
        state_ = toggle_ ? kPressed : kHover;
        draw();
        return false;
      default: return false;
    }
  }
  if (state_ == kHover || (!toggle_ && state_ == kPressed)) {
    state_ = kNormal;
    draw();
  }
  return false;
}

}  // namespace strevana
