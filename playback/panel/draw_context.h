#pragma once
// DrawContext: the drawing state of one window that the player draws on (the
// main window's client area, the full-screen window, the movie information
// window): clip rectangle, fill rule, colours and font for the next drawing
// call. Each primitive is one complete drawing call: it takes the surface's
// back buffer, sets up a QPainter with that state, draws, releases the buffer
// and invalidates the drawn rectangle so the window repaints it.
//
// Text uses DejaVu Sans. With fontEnabled the font's pixel size is
// fontHeight, but never below kMinFontPixels so that small requests stay
// legible; without it a default of kDefaultFontPixels is used. Text and font
// metrics need a QGuiApplication; without one the text primitives draw
// nothing and textHeight() is 0 (the raster primitives still work).
//
// Threads: no lock of its own. Callers serialise use of one context (the
// controller lock for the main and full-screen windows, the UI thread for
// the information window). The surface's buffer mutex is taken per call.
// Ownership: the window surface is not owned and must outlive the context.
#include <QFont>
#include <QRect>
#include <cstdint>
#include <string_view>

namespace strevana {

class WindowSurface;
class SkinBitmap;

// A colour as 0x00RRGGBB.
using Colour = uint32_t;
constexpr Colour rgb(int r, int g, int b) {
  return (static_cast<Colour>(r & 0xff) << 16) | (static_cast<Colour>(g & 0xff) << 8) |
         static_cast<Colour>(b & 0xff);
}

class DrawContext {
 public:
  static constexpr int32_t kMinFontPixels = 11;
  static constexpr int32_t kDefaultFontPixels = 12;

  explicit DrawContext(WindowSurface* window) : window_(window) {}
  DrawContext(const DrawContext&) = delete;
  DrawContext& operator=(const DrawContext&) = delete;

  WindowSurface* window() const { return window_; }
  // Client size of the window (0 x 0 without one).
  int32_t clientWidth() const;
  int32_t clientHeight() const;

  // Clip rectangle for the next drawing calls; clipX -1 means none.
  void setClip(int32_t x, int32_t y, int32_t width, int32_t height);
  void clearClip() { setClip(-1, -1, -1, -1); }
  int32_t clipX() const { return clipX_; }
  int32_t clipY() const { return clipY_; }
  int32_t clipWidth() const { return clipWidth_; }
  int32_t clipHeight() const { return clipHeight_; }

  // false: shapes are filled with the background colour; true: foreground.
  void setFillWithForeground(bool on) { fillWithForeground_ = on; }
  bool fillWithForeground() const { return fillWithForeground_; }
  // fontEnabled > 0 selects DejaVu Sans of fontHeight pixels (normal weight).
  void setFont(int32_t fontEnabled, int32_t fontHeight) {
    fontEnabled_ = fontEnabled;
    fontHeight_ = fontHeight;
  }
  int32_t fontEnabled() const { return fontEnabled_; }
  int32_t fontHeight() const { return fontHeight_; }
  void setForeground(Colour c) { foreground_ = c; }
  void setBackground(Colour c) { background_ = c; }
  Colour foreground() const { return foreground_; }
  Colour background() const { return background_; }

  // Primitives, in client coordinates.
  // A one-pixel line in the foreground colour; the end point is not drawn.
  void line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // Outline of left..right-1 x top..bottom-1 in the foreground colour, the
  // inside filled per the fill rule.
  void rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
  // One line of UTF-8 text in the foreground colour on an opaque box of the
  // background colour; (x, y) is the top-left corner, or the top-right corner
  // when rightAligned.
  void text(int32_t x, int32_t y, std::string_view text, bool rightAligned);
  // Word-wrapped text in left..right from top: words too wide for a line end
  // in "...". The height used is the measured height limited to bottom; the
  // lines are drawn as text() draws them, clipped to that box, and the bottom
  // used is returned (top when there is nothing to draw).
  int32_t textBox(int32_t left, int32_t top, int32_t right, int32_t bottom, std::string_view text);
  // The whole picture into (x, y, width, height): copied when the sizes match,
  // else stretched nearest-neighbour.
  void bitmap(int32_t x, int32_t y, int32_t width, int32_t height, const SkinBitmap& picture);
  // Height of the current font (ascent + descent), 0 without a GUI application.
  int32_t textHeight() const;
  // Advance width of text in the current font (0 without a GUI application).
  int32_t textWidth(std::string_view text) const;

 private:
  QRect clipRect() const;  // client rect limited by the clip, empty when none left
  QFont font() const;
  // One drawing call: the back buffer locked and a painter clipped to the
  // clip rectangle; draw(painter, clip) returns the area it changed, which is
  // invalidated once the buffer is unlocked. Nothing is drawn when no clip
  // area is left.
  template <class Draw>
  void paintClipped(Draw&& draw);

  WindowSurface* window_;
  int32_t clipX_ = -1, clipY_ = -1, clipWidth_ = -1, clipHeight_ = -1;
  bool fillWithForeground_ = false;
  int32_t fontEnabled_ = 0;
  int32_t fontHeight_ = 0;
  Colour foreground_ = 0;
  Colour background_ = 0;
};

}  // namespace strevana
