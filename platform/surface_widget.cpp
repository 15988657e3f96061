#include "platform/surface_widget.h"

#include <QMetaObject>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include "video/video_plane.h"
#if STREVANA_OPENGL
#include "platform/opengl/gl_video_plane.h"
#endif

namespace strevana {

SurfaceWidget::SurfaceWidget(QWidget* parent) : QWidget(parent), WindowSurface(0, 0) {
  // The back buffer covers every pixel, so Qt need not clear first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  resizeBackBuffer(width(), height());
#if STREVANA_OPENGL
  plane_ = GlVideoPlane::create(this);
#endif
}

SurfaceWidget::~SurfaceWidget() = default;

VideoPlane* SurfaceWidget::videoPlane() {
#if STREVANA_OPENGL
  return plane_;
#else
  return nullptr;
#endif
}

void SurfaceWidget::invalidate(const QRect& rect) {
  const QRect r = rect.normalized();
  if (r.isEmpty()) {
    return;
  }
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(dirtyMutex_);
    post = dirty_.isEmpty();
    dirty_ |= r;
  }
  if (post) {
    // Queued even on the UI thread: the drawing call may come from inside a
    // window procedure that is not ready to repaint yet.
    QMetaObject::invokeMethod(
        this, [this] { flushInvalidated(); }, Qt::QueuedConnection);
  }
}

void SurfaceWidget::resizeClient(int width, int height) {
  resize(width, height);
  resizeBackBuffer(this->width(), this->height());
}

void SurfaceWidget::flushInvalidated() {
  QRect r;
  {
    std::lock_guard<std::mutex> lock(dirtyMutex_);
    r = dirty_;
    dirty_ = QRect();
  }
  if (!r.isEmpty()) {
    update(r);
  }
}

bool SurfaceWidget::event(QEvent* event) {
  if (event->type() == QEvent::Paint) {
    return QWidget::event(event);
  }
  if (event->type() == QEvent::Resize) {
    // The buffer first, so the sink may redraw at the new size right away.
    const auto* resize = static_cast<QResizeEvent*>(event);
    resizeBackBuffer(resize->size().width(), resize->size().height());
  }
  if (sink_ != nullptr && sink_->surfaceEvent(*this, event)) {
    return true;
  }
  return QWidget::event(event);
}

void SurfaceWidget::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  {
    std::lock_guard<std::mutex> lock(bufferMutex());
    const QRect r = event->rect();
    const QImage& image = bufferImage();
    // The widget is opaque: what the buffer does not cover (none could be
    // had for this size) is painted black rather than left undefined.
    if (!image.rect().contains(r)) painter.fillRect(r, Qt::black);
    if (!image.isNull()) painter.drawImage(r.topLeft(), image, r);
  }
  paintCount_.fetch_add(1);
}

void SurfaceWidget::resizeEvent(QResizeEvent* event) {
  resizeBackBuffer(event->size().width(), event->size().height());
  QWidget::resizeEvent(event);
}

}  // namespace strevana
