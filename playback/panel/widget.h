#pragma once
// Widget: base of the skinned panel's parts, and a drawing canvas of its own
// (the movie information window draws its text through a plain Widget). A
// widget has an absolute rectangle in its window's client coordinates, a
// position relative to its parent, colours, and drawing primitives that are
// clipped to its rectangle, drawn in its colours, and take coordinates
// relative to its absolute position (textBox excepted: client coordinates).
// Drawing without a DrawContext does nothing.
//
// Threads: none of its own; used under the controller lock (panel) or on the
// UI thread (information window).
// Ownership: the DrawContext is not owned. Children are not owned either (the
// controller owns every widget); a widget removes itself from its parent and
// detaches its children when it is destroyed.
#include <cstdint>
#include <string_view>
#include <vector>

#include "playback/panel/draw_context.h"

namespace strevana {

class SkinBitmap;

// Mouse event kinds handed to the widgets.
constexpr int32_t kMouseMove = 0;     // moved, left button up
constexpr int32_t kMouseDown = 1;     // left button down, or moved while held
constexpr int32_t kMouseRelease = 2;  // left button released

class Widget {
 public:
  explicit Widget(DrawContext* context = nullptr) : context_(context) {}
  Widget(const Widget&) = delete;
  Widget& operator=(const Widget&) = delete;

  // Slots, in this order.
  virtual ~Widget();
  virtual void draw() {}

  DrawContext* context() const { return context_; }
  void setContext(DrawContext* context) { context_ = context; }

  // Appends child and makes this its parent (moving it from a former parent).
  void addChild(Widget* child);
  Widget* parent() const { return parent_; }
  const std::vector<Widget*>& children() const { return children_; }

  // Relative position; the absolute position becomes the parent's absolute
  // position plus it, and every child is moved along.
  void setPosition(int32_t relX, int32_t relY);
  void setSize(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
  }
  int32_t x() const { return x_; }
  int32_t y() const { return y_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  int32_t relX() const { return relX_; }
  int32_t relY() const { return relY_; }
  // Inside the rectangle, edges included (x .. x + width - 1).
  bool contains(int32_t px, int32_t py) const;

  void setForeground(Colour c) { foreground_ = c; }
  void setBackground(Colour c) { background_ = c; }
  Colour foreground() const { return foreground_; }
  Colour background() const { return background_; }

  // Primitives (see DrawContext for their exact effect).
  void line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void rectangle(int32_t x, int32_t y, int32_t width, int32_t height);
  void text(int32_t x, int32_t y, std::string_view text, bool rightAligned = false);
  // Client coordinates; returns the bottom used (top when nothing could be
  // drawn).
  int32_t textBox(int32_t left, int32_t top, int32_t right, int32_t bottom, std::string_view text);
  void bitmap(int32_t x, int32_t y, int32_t width, int32_t height, const SkinBitmap* picture);

 protected:
  // Sets the context's clip to this widget's rectangle and its colours to the
  // widget's; null without a context.
  DrawContext* prepare() const;

 private:
  void moveChildren();

  DrawContext* context_;
  Widget* parent_ = nullptr;
  std::vector<Widget*> children_;
  Colour foreground_ = rgb(255, 255, 255);
  Colour background_ = rgb(0, 0, 0);
  int32_t x_ = 0, y_ = 0, width_ = 50, height_ = 50;
  int32_t relX_ = 0, relY_ = 0;
};

}  // namespace strevana
