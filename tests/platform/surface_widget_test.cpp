#include "platform/surface_widget.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <functional>
#include <thread>
#include <vector>

#include "support/qt_application.h"

namespace strevana {
namespace {

// Runs the event loop until done() or a generous bound passes.
bool processUntil(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > 5000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

class SurfaceWidgetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::application();
    widget = std::make_unique<SurfaceWidget>();
    widget->resize(200, 100);
    widget->show();
    ASSERT_TRUE(processUntil([&] { return widget->paintCount() > 0; }));
  }
  std::unique_ptr<SurfaceWidget> widget;
};

TEST_F(SurfaceWidgetTest, BackBufferFollowsTheWidgetSize) {
  EXPECT_EQ(widget->clientWidth(), 200);
  EXPECT_EQ(widget->clientHeight(), 100);
  {
    auto b = widget->paint();
    EXPECT_EQ(b.image().size(), QSize(200, 100));
    b.image().setPixel(5, 5, 0xff00ff00u);
  }
  widget->resize(300, 150);
  ASSERT_TRUE(processUntil([&] { return widget->clientWidth() == 300; }));
  EXPECT_EQ(widget->clientHeight(), 150);
  auto b = widget->paint();
  EXPECT_EQ(b.image().size(), QSize(300, 150));
  EXPECT_EQ(b.image().pixel(5, 5), 0xff00ff00u);  // kept across the resize
}

TEST_F(SurfaceWidgetTest, InvalidateFromAnotherThreadRepaintsOnTheUiThread) {
  for (int i = 0; i < 10; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);  // start-up repaints settle
  }
  const int64_t before = widget->paintCount();
  std::thread drawer([&] {
    for (int i = 0; i < 100; ++i) {
      {
        auto b = widget->paint();
        QPainter p(&b.image());
        p.fillRect(10, 10, 20, 20, QColor(255, 0, 0));
      }
      widget->invalidate(QRect(10, 10, 20, 20));
    }
  });
  drawer.join();
  ASSERT_TRUE(processUntil([&] { return widget->paintCount() > before; }));
  // A burst of invalidations collapses into a few repaints.
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_LT(widget->paintCount() - before, 10);
  const QImage shown = widget->grab().toImage();
  EXPECT_EQ(shown.pixel(15, 15) & 0xffffffu, 0xff0000u);
  EXPECT_EQ(shown.pixel(35, 15) & 0xffffffu, 0u);
}

TEST(SurfaceWidgetHidden, ResizeClientSizesTheBufferBeforeTheWidgetIsShown) {
  testing::application();
  SurfaceWidget hidden;
  hidden.resizeClient(320, 200);
  EXPECT_EQ(hidden.clientWidth(), 320);
  EXPECT_EQ(hidden.clientHeight(), 200);
  EXPECT_EQ(hidden.paint().image().size(), QSize(320, 200));
}

TEST(SurfaceWidgetHidden, ASizeWithoutABackBufferLeavesAnEmptySurface) {
  testing::application();
  SurfaceWidget hidden;
  const struct {
    int width, height;
  } absurd[] = {{100000, 100000}, {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX}, {QWIDGETSIZE_MAX, 100}};
  for (const auto& s : absurd) {
    hidden.resizeClient(320, 200);
    hidden.paint().image().setPixel(1, 1, 0xff00ff00u);
    hidden.resizeClient(s.width, s.height);
    EXPECT_EQ(hidden.clientSize(), QSize(0, 0)) << s.width << " x " << s.height;
    EXPECT_TRUE(hidden.paint().image().isNull());
  }
  hidden.resizeClient(320, 200);
  EXPECT_EQ(hidden.clientSize(), QSize(320, 200));
  EXPECT_EQ(hidden.paint().image().pixel(1, 1), 0xff000000u);  // a new, black buffer
}

class RecordingSink : public SurfaceEventSink {
 public:
  bool surfaceEvent(SurfaceWidget& w, QEvent* event) override {
    types.push_back(event->type());
    if (event->type() == QEvent::Resize) widthAtResize = w.clientWidth();
    return event->type() == QEvent::MouseButtonPress && consumePresses;
  }
  std::vector<QEvent::Type> types;
  int32_t widthAtResize = -1;
  bool consumePresses = true;
};

TEST_F(SurfaceWidgetTest, SinkSeesEventsButNotPaints) {
  RecordingSink sink;
  widget->setEventSink(&sink);
  widget->resize(240, 120);
  ASSERT_TRUE(processUntil([&] { return sink.widthAtResize == 240; }));

  QMouseEvent press(QEvent::MouseButtonPress, QPointF(12, 34), QPointF(12, 34),
                    widget->mapToGlobal(QPointF(12, 34)), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  EXPECT_TRUE(QCoreApplication::sendEvent(widget.get(), &press));
  EXPECT_NE(std::find(sink.types.begin(), sink.types.end(), QEvent::MouseButtonPress),
            sink.types.end());

  const int64_t before = widget->paintCount();
  widget->repaint();
  EXPECT_GT(widget->paintCount(), before);
  EXPECT_EQ(std::find(sink.types.begin(), sink.types.end(), QEvent::Paint), sink.types.end());
  widget->setEventSink(nullptr);
}

}  // namespace
}  // namespace strevana
