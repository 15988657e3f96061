#pragma once
// SurfaceWidget: the Qt widget behind every window the player draws into. It
// owns a WindowSurface back buffer of its own size, paints it in paintEvent
// under the buffer mutex, and turns invalidate() (from any thread) into one
// queued update() of the union of the rectangles asked for since the last
// repaint, so a burst of drawing calls costs a single repaint.
//
// A size whose back buffer cannot be had (see WindowSurface) leaves the widget
// its size but the surface 0 x 0: nothing draws, and the widget paints black.
//
// Events for the shell: an optional SurfaceEventSink sees every event the
// widget receives except paint events (the widget always paints its buffer
// itself). Resize events reach the sink after the back buffer already has the
// new size, so the sink may redraw at once. Returning true from the sink
// consumes the event; otherwise the widget's default handling runs.
//
// Pictures from the display hardware: where this process has an OpenGL
// fit for video (platform/opengl/opengl_probe.h), the widget carries a
// GlVideoPlane child, which videoPlane() hands to the hardware renderer;
// elsewhere (Qt's offscreen platform, no context, software OpenGL not asked
// for) videoPlane() is null and only the back buffer exists.
//
// Threads: created, shown, resized and destroyed on the UI thread. Drawing
// into paint() and invalidate() may come from any thread, but every such
// thread must have stopped drawing before the widget is destroyed.
// Ownership: the sink is not owned and must outlive its registration.
#include <QRect>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "video/window_surface.h"

namespace strevana {

class SurfaceWidget;
class GlVideoPlane;

class SurfaceEventSink {
 public:
  virtual ~SurfaceEventSink() = default;
  // Called on the UI thread; true consumes the event.
  virtual bool surfaceEvent(SurfaceWidget& widget, QEvent* event) = 0;
};

class SurfaceWidget : public QWidget, public WindowSurface {
 public:
  explicit SurfaceWidget(QWidget* parent = nullptr);
  ~SurfaceWidget() override;

  void setEventSink(SurfaceEventSink* sink) { sink_ = sink; }
  SurfaceEventSink* eventSink() const { return sink_; }

  void invalidate(const QRect& rect) override;
  VideoPlane* videoPlane() override;

  // QWidget::resize plus an immediate back-buffer resize. A hidden widget
  // gets its resize event only when shown, so code that sizes a hidden
  // window and then reads clientWidth()/clientHeight() (the full-screen
  // window before it is shown) must use this. UI thread only.
  void resizeClient(int width, int height);

  // Paint events handled so far (for tests and diagnostics).
  int64_t paintCount() const { return paintCount_.load(); }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void flushInvalidated();

  SurfaceEventSink* sink_ = nullptr;
  GlVideoPlane* plane_ = nullptr;  // a child widget, or null
  std::mutex dirtyMutex_;
  QRect dirty_;
  std::atomic<int64_t> paintCount_{0};
};

}  // namespace strevana
