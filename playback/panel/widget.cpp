#include "playback/panel/widget.h"

#include <algorithm>

#include "playback/panel/skin_bitmap.h"

namespace strevana {

Widget::~Widget() {
  if (parent_ != nullptr) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  for (Widget* child : children_) {
    child->parent_ = nullptr;
  }
}

void Widget::addChild(Widget* child) {
  if (child == nullptr) {
    return;
  }
  // A widget cannot contain one of its own ancestors (or itself): positions
  // would recurse for ever.
  for (const Widget* w = this; w != nullptr; w = w->parent_) {
    if (w == child) {
      return;
    }
  }
  if (child->parent_ != nullptr) {
    auto& siblings = child->parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), child), siblings.end());
  }
  children_.push_back(child);
  child->parent_ = this;
}

void Widget::setPosition(int32_t relX, int32_t relY) {
  relX_ = relX;
  relY_ = relY;
  x_ = (parent_ ? parent_->x_ : 0) + relX;
  y_ = (parent_ ? parent_->y_ : 0) + relY;
  moveChildren();
}

void Widget::moveChildren() {
  for (Widget* child : children_) {
    child->x_ = x_ + child->relX_;
    child->y_ = y_ + child->relY_;
    child->moveChildren();
  }
}

bool Widget::contains(int32_t px, int32_t py) const {
  return px >= x_ && py >= y_ && static_cast<int64_t>(px) <= int64_t{x_} + width_ - 1 &&
         static_cast<int64_t>(py) <= int64_t{y_} + height_ - 1;
}

DrawContext* Widget::prepare() const {
  if (context_ == nullptr) {
    return nullptr;
  }
  context_->setClip(x_, y_, width_, height_);
  context_->setForeground(foreground_);
  context_->setBackground(background_);
  return context_;
}

void Widget::line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (DrawContext* c = prepare()) {
    c->line(x_ + x1, y_ + y1, x_ + x2, y_ + y2);
  }
}

void Widget::rectangle(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (DrawContext* c = prepare()) {
    c->rectangle(x_ + x, y_ + y, x_ + x + width, y_ + y + height);
  }
}

void Widget::text(int32_t x, int32_t y, std::string_view text, bool rightAligned) {
  if (DrawContext* c = prepare()) {
    c->text(x_ + x, y_ + y, text, rightAligned);
  }
}

int32_t Widget::textBox(int32_t left, int32_t top, int32_t right, int32_t bottom,
                        std::string_view text) {
  if (DrawContext* c = prepare()) {
    return c->textBox(left, top, right, bottom, text);
  }
  return top;
}

void Widget::bitmap(int32_t x, int32_t y, int32_t width, int32_t height,
                    const SkinBitmap* picture) {
  if (picture == nullptr) {
    return;
  }
  if (DrawContext* c = prepare()) {
    c->bitmap(x_ + x, y_ + y, width, height, *picture);
  }
}

}  // namespace strevana
