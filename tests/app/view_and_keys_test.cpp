// The view as users expect it: the play button on every path through full
// screen, the main window back where it stood, hover ending when the pointer
// leaves, zooms that stay on the screen, and the keys people know, in both
// windows and never behind a dialog.
#include <QKeyEvent>
#include <QScreen>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "shell_test.h"

namespace strevana {
namespace {

using testing::fixture;
using testing::ShellTest;

using ButtonOf = const SkinButton& (PlayerController::*)() const;

class ViewTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    start(fixture("demo.mp4"));
    // Timer ticks come from the test alone.
    app().mainWindow->stopTimer(kMainTimerId);
  }
  static AppWindow& main() { return *app().mainWindow; }
  static AppWindow& full() { return *app().fullScreenWindow; }
  static void key(AppWindow& window, Qt::Key k, const char* text = "", bool repeat = false) {
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, QString::fromLatin1(text), repeat);
    QCoreApplication::sendEvent(window.surface(), &press);
    settle();
  }
  static void click(AppWindow& window, QPoint at) {
    window.send(kWmLButtonDown, kMkLButton, makeMouseLParam(at.x(), at.y()));
    window.send(kWmLButtonUp, 0, makeMouseLParam(at.x(), at.y()));
    settle();
  }
  static int32_t state(ButtonOf button) {
    return withEngine([button](PlaybackEngine&) { return (controller().*button)().state(); });
  }
  static QPoint centre(ButtonOf button) {
    return withEngine([button](PlaybackEngine&) {
      const SkinButton& b = (controller().*button)();
      return QPoint(b.x() + b.width() / 2, b.y() + b.height() / 2);
    });
  }
  // Whether the main window's back buffer shows the button's picture for state.
  static bool shows(ButtonOf button, int32_t pictureState) {
    return withEngine([&](PlaybackEngine&) {
      const SkinButton& b = (controller().*button)();
      const SkinBitmap* picture = b.picture(pictureState);
      if (picture == nullptr) return false;
      WindowSurface::BackBuffer buffer = main().surface()->paint();
      const QImage drawn = buffer.image().copy(b.x(), b.y(), b.width(), b.height());
      return drawn == picture->image().scaled(b.width(), b.height());
    });
  }
  static int32_t position() {
    return withEngine([](PlaybackEngine& e) { return e.positionMs(); });
  }
  static int32_t duration() {
    return withEngine([](PlaybackEngine& e) { return e.source() ? e.source()->durationMs : -1; });
  }
};

TEST_F(ViewTest, ThePlayButtonIsOnWheneverPlaybackRunsThroughFullScreen) {
  ASSERT_TRUE(controller().playing());
  EXPECT_EQ(state(&PlayerController::playButton), SkinButton::kPressed);
  command(kCmdFullscreen);
  ASSERT_TRUE(controller().isFullScreen());
  const QPoint anywhere(200, 150);
  click(full(), anywhere);  // pauses
  EXPECT_FALSE(controller().playing());
  EXPECT_EQ(state(&PlayerController::playButton), SkinButton::kNormal);
  click(full(), anywhere);  // resumes
  EXPECT_TRUE(controller().playing());
  EXPECT_EQ(state(&PlayerController::playButton), SkinButton::kPressed);
  key(full(), Qt::Key_Escape);
  ASSERT_FALSE(controller().isFullScreen());
  EXPECT_TRUE(controller().playing());
  EXPECT_EQ(state(&PlayerController::playButton), SkinButton::kPressed);
  EXPECT_TRUE(shows(&PlayerController::playButton, SkinButton::kPressed));
}

TEST_F(ViewTest, LeavingFullScreenPutsTheMainWindowBackWhereItStood) {
  main().move(123, 77);
  settle();
  const QPoint before = main().pos();
  command(kCmdFullscreen);
  ASSERT_TRUE(controller().isFullScreen());
  main().move(0, 0);  // as a window manager might place it meanwhile
  key(full(), Qt::Key_Escape);
  EXPECT_EQ(main().pos(), before);
  // The same after F and a menu command.
  key(main(), Qt::Key_F, "f");
  ASSERT_TRUE(controller().isFullScreen());
  key(full(), Qt::Key_F, "f");
  EXPECT_FALSE(controller().isFullScreen());
  EXPECT_EQ(main().pos(), before);
}

TEST_F(ViewTest, LeavingTheWindowEndsTheHover) {
  controller().pausePlayback();
  const QPoint pause = centre(&PlayerController::pauseButton);
  for (int i = 0; i < 2; ++i) main().send(kWmTimer, kMainTimerId);  // past the move thinning
  main().send(kWmMouseMove, 0, makeMouseLParam(pause.x(), pause.y()));
  ASSERT_EQ(state(&PlayerController::pauseButton), SkinButton::kHover);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(main().surface(), &leave);
  EXPECT_EQ(state(&PlayerController::pauseButton), SkinButton::kNormal);
  EXPECT_TRUE(shows(&PlayerController::pauseButton, SkinButton::kNormal));
  // The resting pointer's replays (after 500 ms) do not bring it back.
  for (int i = 0; i < 8; ++i) main().send(kWmTimer, kMainTimerId);
  EXPECT_EQ(state(&PlayerController::pauseButton), SkinButton::kNormal);
}

TEST_F(ViewTest, AZoomStaysInsideTheScreensAvailableArea) {
  const QRect available = main().screen()->availableGeometry();
  main().move(available.topLeft());
  settle();
  const double aspect = 320.0 / 240.0;  // the demo clip
  for (uint32_t zoom : {kCmdZoom100, kCmdZoom200, kCmdZoom400}) {
    command(zoom);
    const int32_t videoWidth =
        clientWidth() - controller().marginLeft() - controller().marginRight();
    const int32_t videoHeight =
        clientHeight() - controller().marginTop() - controller().marginBottom();
    EXPECT_LE(main().frameGeometry().width(), available.width()) << zoom;
    EXPECT_LE(main().frameGeometry().height(), available.height()) << zoom;
    ASSERT_GT(videoHeight, 0);
    EXPECT_NEAR(videoWidth, videoHeight * aspect, 2.0) << zoom;
  }
  // 25 % fits anyway: exactly a quarter.
  command(kCmdZoom25);
  EXPECT_EQ(clientHeight() - controller().marginTop() - controller().marginBottom(), 60);
  // Full screen is the whole screen, as before.
  command(kCmdFullscreen);
  EXPECT_EQ(full().geometry(), full().screen()->geometry());
}

TEST_F(ViewTest, PlayerKeysActInTheMainAndTheFullScreenWindow) {
  for (AppWindow* window : {&main(), &full()}) {
    if (window == &full()) command(kCmdFullscreen);
    ASSERT_EQ(controller().isFullScreen(), window == &full());
    key(*window, Qt::Key_Space, " ");
    EXPECT_FALSE(controller().playing());
    EXPECT_EQ(state(&PlayerController::playButton), SkinButton::kNormal);
    key(*window, Qt::Key_Space, " ", true);  // held: no flicker
    EXPECT_FALSE(controller().playing());
    key(*window, Qt::Key_Space, " ");
    EXPECT_TRUE(controller().playing());
    EXPECT_EQ(state(&PlayerController::playButton), SkinButton::kPressed);
    key(*window, Qt::Key_Space, " ");  // paused again: positions below are exact

    key(*window, Qt::Key_Home);
    EXPECT_EQ(position(), 0);
    key(*window, Qt::Key_Right);
    EXPECT_FALSE(controller().playing());
    EXPECT_EQ(position(), 40);
    key(*window, Qt::Key_Right, "", true);  // held: repeats
    key(*window, Qt::Key_Right, "", true);
    EXPECT_EQ(position(), 120);
    key(*window, Qt::Key_Left, "", true);
    EXPECT_EQ(position(), 80);
    key(*window, Qt::Key_End);
    EXPECT_GE(position(), duration() - 40);
    key(*window, Qt::Key_Home);
    EXPECT_EQ(position(), 0);
    key(*window, Qt::Key_Space, " ");
    ASSERT_TRUE(controller().playing());
  }
  key(full(), Qt::Key_F, "f");
  EXPECT_FALSE(controller().isFullScreen());
}

TEST_F(ViewTest, ADoubleClickOnTheVideoTogglesFullScreen) {
  const auto twice = [](AppWindow& window, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QMouseEvent second(QEvent::MouseButtonDblClick, at, at, Qt::LeftButton, Qt::LeftButton,
                       Qt::NoModifier);
    QMouseEvent release2(QEvent::MouseButtonRelease, at, at, Qt::LeftButton, Qt::NoButton,
                         Qt::NoModifier);
    for (QMouseEvent* e : {&press, &release, &second, &release2})
      QCoreApplication::sendEvent(window.surface(), e);
    settle();
  };
  // On the panel: the buttons' business, not the view's.
  twice(main(), centre(&PlayerController::rewindButton));
  EXPECT_FALSE(controller().isFullScreen());
  const QPoint video(controller().marginLeft() + 50, controller().marginTop() + 50);
  twice(main(), video);
  ASSERT_TRUE(controller().isFullScreen());
  EXPECT_TRUE(controller().playing());
  twice(full(), QPoint(300, 200));
  EXPECT_FALSE(controller().isFullScreen());
  EXPECT_TRUE(controller().playing());  // the pair of clicks left playback as it was
  EXPECT_EQ(state(&PlayerController::playButton), SkinButton::kPressed);
}

TEST_F(ViewTest, KeysInADialogStayThere) {
  bool playingInside = false;
  answerDialog = [&](Dialog& d) {
    for (Qt::Key k : {Qt::Key_Space, Qt::Key_End, Qt::Key_F}) {
      QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier,
                      k == Qt::Key_F ? QStringLiteral("f") : QString());
      QCoreApplication::sendEvent(&d, &press);
    }
    playingInside = controller().playing() && !controller().isFullScreen();
    d.click(kIdCancel);
  };
  command(kCmdAbout);
  ASSERT_EQ(dialogCaptions.size(), 1u);
  EXPECT_TRUE(playingInside);
  EXPECT_TRUE(controller().playing());
  EXPECT_FALSE(controller().isFullScreen());
}

}  // namespace
}  // namespace strevana
