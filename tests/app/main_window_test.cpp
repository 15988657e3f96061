#include "app/main_window.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScreen>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "app/command_line.h"
#include "platform/common_dialogs.h"
#include "shell_test.h"

namespace strevana {
namespace {

using testing::fixture;
using testing::ShellTest;
using testing::writeYuvFile;

constexpr int32_t kPostfilterIds[] = {kCmdNoPostfilter, kCmdDeblocking, kCmdDeringing,
                                      kCmdDeblockingDeringing, kCmdAutomaticPostfilter};

std::vector<int32_t> checkedPostfilters() {
  std::vector<int32_t> on;
  for (int32_t id : kPostfilterIds) {
    if (app().mainWindow->menu()->isChecked(id)) on.push_back(id);
  }
  return on;
}

class MainWindowTest : public ShellTest {};

TEST_F(MainWindowTest, StartWithoutCommandLineShowsTheRefreshedMenus) {
  start("");
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(app().mainWindow->isVisible());
  EXPECT_FALSE(app().fullScreenWindow->isVisible());
  EXPECT_TRUE(app().mainWindow->timerActive(kMainTimerId));
  EXPECT_EQ(app().mainWindow->caption(), "strevana Player");
  // The two hidden entries are gone, the defaults carry their check marks.
  EXPECT_EQ(bar().findItem(kCmdSaveStream), nullptr);
  EXPECT_EQ(bar().findItem(kCmdLoadBackground), nullptr);
  EXPECT_NE(bar().findItem(kCmdNetworkOptions), nullptr);
  EXPECT_TRUE(bar().isChecked(kCmdDirectX));
  EXPECT_FALSE(bar().isChecked(kCmdRepeat));
  EXPECT_FALSE(bar().isChecked(kCmdFullscreen));
  EXPECT_EQ(checkedPostfilters(), std::vector<int32_t>{kCmdAutomaticPostfilter});
  // The playback thread was started (it enters its loop on its own time).
  QElapsedTimer waited;
  waited.start();
  while (controller().threadState() != PlayerController::kThreadRunning &&
         waited.elapsed() < 5000) {
    QThread::msleep(5);
  }
  EXPECT_EQ(controller().threadState(), PlayerController::kThreadRunning);
  ASSERT_NE(app().popupMenu, nullptr);
  EXPECT_NE(app().popupMenu->subMenu(0)->findItem(kCmdFullscreen), nullptr);
}

TEST_F(MainWindowTest, PostfilterAndDirectXOptionsReachTheEngineAndTheMenus) {
  const struct {
    const char* commandLine;
    int32_t postfilter, checked, directDraw;
  } cases[] = {{"-postfilter 2 -directx 0", 2, kCmdDeringing, 0},
               {"-postfilter 9", 9, kCmdAutomaticPostfilter, 1}};  // outside the menu: checks stay
  for (const auto& c : cases) {
    resetAppGlobals();
    start(c.commandLine);
    EXPECT_EQ(checkedPostfilters(), std::vector<int32_t>{c.checked});
    EXPECT_EQ(bar().isChecked(kCmdDirectX), c.directDraw == 1);
    EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.useDirectDraw(); }), c.directDraw);
    EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.postfilter(); }), c.postfilter);
  }
}

TEST_F(MainWindowTest, ZoomFromTheCommandLineSizesAfterOpening) {
  start("-zoom 50 " + fixture("demo.mp4"));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(controller().currentName().value_or(""), fixture("demo.mp4"));
  EXPECT_EQ(app().mainWindow->caption(), fixture("demo.mp4"));
  // 50 % of 320 x 240 inside the frame; never narrower than 350.
  EXPECT_EQ(clientWidth(), 350);
  EXPECT_EQ(clientHeight(), 13 + 120 + 72);
}

// A zoom past the View menu's largest gives the 400 % window (4 x 320 x 240
// inside the 32 x 85 frame, fitted to the screen), with a back buffer of
// that size.
class CommandLineZoomTest : public ShellTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CommandLineZoomTest, SizesTheWindowAsTheLargestMenuZoom) {
  start(std::string("-zoom ") + GetParam() + " " + fixture("demo.mp4"));
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(controller().isFullScreen());
  const QSize fromCommandLine(clientWidth(), clientHeight());
  {
    auto buffer = app().mainWindow->surface()->paint();
    EXPECT_EQ(buffer.image().size(), fromCommandLine);
  }
  const QSize available = app().mainWindow->screen()->availableGeometry().size();
  EXPECT_LE(app().mainWindow->frameGeometry().height(), available.height());
  command(kCmdZoom100);
  command(kCmdZoom400);
  EXPECT_EQ(QSize(clientWidth(), clientHeight()), fromCommandLine);
}

INSTANTIATE_TEST_SUITE_P(TooLarge, CommandLineZoomTest, ::testing::Values("400", "99999999999"));

TEST_F(MainWindowTest, ZoomZeroStartsInFullScreen) {
  start("-zoom " + fixture("demo.mp4"));  // no value: 0, and the name was its value
  EXPECT_TRUE(controller().isFullScreen());
  EXPECT_FALSE(controller().currentName().has_value());
  EXPECT_TRUE(bar().isChecked(kCmdFullscreen));
}

TEST_F(MainWindowTest, RawYuvOnTheCommandLineAsksForItsSettings) {
  std::string path = writeYuvFile("cmd.yuv", 176, 144, 10);
  answerDialog = [](Dialog& d) {
    d.click(1001);  // QCIF
    d.click(kIdOk);
  };
  start(path);
  ASSERT_EQ(dialogCaptions, std::vector<std::string>{"YUV Settings"});
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(app().mainWindow->caption(), path);
  EXPECT_FALSE(controller().currentName().has_value());  // raw YUV keeps no name
  EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.source() ? e.source()->width : 0; }), 176);
}

TEST_F(MainWindowTest, NamesLongerThan255CharactersAreRefusedNotCut) {
  std::string longName = "/tmp/" + std::string(300, 'n') + ".mp4";
  start(longName);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot open " + longName);
  boxes.clear();
  std::string longYuv = "/tmp/" + std::string(300, 'y') + ".yuv";
  DroppedFiles drop;
  drop.names = {longYuv};
  app().mainWindow->send(kWmDropFiles, reinterpret_cast<WParam>(&drop));
  EXPECT_TRUE(dialogCaptions.empty());  // refused before asking anything
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot open " + longYuv);
  // 255 characters still fit (and fail only because no such file exists).
  boxes.clear();
  std::string fits = "/tmp/" + std::string(246, 'f') + ".mp4";
  ASSERT_EQ(fits.size(), 255u);
  openLocalFile(app().mainWindow.get(), fits);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot open " + fits);
}

TEST_F(MainWindowTest, EveryCommandReachesItsAction) {
  start("");
  // Open: the five filters, the first selected.
  command(kCmdOpen);
  ASSERT_EQ(openRequests.size(), 1u);
  ASSERT_EQ(openRequests[0].filters.size(), 5u);
  EXPECT_EQ(openRequests[0].filters[0].description, "All Files (*.mp4;*.3gp;*.sdp;*.yuv)");
  EXPECT_EQ(openRequests[0].filters[0].patterns, "*.mp4;*.sdp;*.yuv;*.3gp");
  EXPECT_EQ(openRequests[0].filters[3].patterns, "*.yuv;*.raw");
  // Shown with each pattern once; an open dialog wants existing files.
  EXPECT_EQ(qtNameFilter(openRequests[0].filters[0]), "All Files (*.mp4 *.sdp *.yuv *.3gp)");
  EXPECT_FALSE(openRequests[0].forSaving);
  EXPECT_EQ(openRequests[0].filterIndex, 1);
  EXPECT_EQ(openRequests[0].initialName, "");
  command(kCmdLoadBackground);
  ASSERT_EQ(openRequests.size(), 2u);
  EXPECT_EQ(openRequests[1].filters[0].description, "Windows Bitmap (*.bmp)");
  // Each dialog ends on its Cancel button, or on Escape.
  std::vector<bool> ended;
  answerDialog = [&](Dialog& d) {
    if (d.item(kIdCancel) != nullptr) {
      d.click(kIdCancel);
    } else {
      d.reject();
    }
    ended.push_back(d.ended());
  };
  command(kCmdOpenUrl);
  command(kCmdNetworkOptions);
  command(kCmdSaveStream);
  command(kCmdAbout);
  EXPECT_EQ(dialogCaptions, (std::vector<std::string>{"Open URL", "Network Options",
                                                      "Save RTP streams as", "Info"}));
  EXPECT_EQ(ended, std::vector<bool>(4, true));
  answerDialog = nullptr;
  command(kCmdMovieInfo);  // an open call for now; must not disturb anything

  command(kCmdRepeat);
  EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.repeat(); }), 1);
  EXPECT_TRUE(bar().isChecked(kCmdRepeat));
  command(kCmdRepeat);
  EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.repeat(); }), 0);
  EXPECT_FALSE(bar().isChecked(kCmdRepeat));

  command(kCmdDirectX);
  EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.useDirectDraw(); }), 0);
  EXPECT_FALSE(bar().isChecked(kCmdDirectX));
  command(kCmdDirectX);
  EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.useDirectDraw(); }), 1);
  EXPECT_TRUE(bar().isChecked(kCmdDirectX));

  for (int32_t mode = 0; mode <= 4; ++mode) {
    command(static_cast<uint32_t>(kPostfilterIds[mode]));
    EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.postfilter(); }), mode);
    EXPECT_EQ(checkedPostfilters(), std::vector<int32_t>{kPostfilterIds[mode]});
  }

  // Zoom without a medium scales the current video area (down here: up,
  // it would not fit the offscreen screen).
  command(kCmdZoom100);
  int32_t w100 = clientWidth() - 32;
  int32_t h100 = clientHeight() - 85;
  command(kCmdZoom50);
  EXPECT_EQ(clientWidth(), std::max(350, 32 + w100 / 2));
  EXPECT_EQ(clientHeight(), 85 + h100 / 2);

  command(kCmdFullscreen);
  EXPECT_TRUE(controller().isFullScreen());
  command(kCmdFullscreen);
  EXPECT_FALSE(controller().isFullScreen());

  // Every known command is handled; unknown ids go to the default handling.
  for (uint32_t id : {kCmdZoom25,
                      kCmdZoom50,
                      kCmdZoom100,
                      kCmdZoom200,
                      kCmdZoom400,
                      kCmdRepeat,
                      kCmdRepeat,
                      kCmdDirectX,
                      kCmdDirectX,
                      kCmdNoPostfilter,
                      kCmdDeblocking,
                      kCmdDeringing,
                      kCmdDeblockingDeringing,
                      kCmdAutomaticPostfilter,
                      kCmdOpen,
                      kCmdOpenUrl,
                      kCmdAbout,
                      kCmdNetworkOptions,
                      kCmdSaveStream,
                      kCmdLoadBackground}) {
    EXPECT_EQ(command(id), 0) << id;
  }
  EXPECT_NE(command(4242), 0);

  command(kCmdExit);
  EXPECT_TRUE(app().quitPosted);
  EXPECT_EQ(app().quitCode, 0);
  EXPECT_EQ(app().controller, nullptr);
  EXPECT_TRUE(app().mainWindow->destroyed());
}

TEST_F(MainWindowTest, AcceleratorsOpenAbout) {
  start("");
  QKeyEvent altQuestion(QEvent::KeyPress, Qt::Key_Question, Qt::AltModifier | Qt::ShiftModifier,
                        QStringLiteral("?"));
  QCoreApplication::sendEvent(app().mainWindow->surface(), &altQuestion);
  QKeyEvent altSlash(QEvent::KeyPress, Qt::Key_Slash, Qt::AltModifier, QStringLiteral("/"));
  QCoreApplication::sendEvent(app().mainWindow->surface(), &altSlash);
  EXPECT_EQ(dialogCaptions, (std::vector<std::string>{"Info", "Info"}));
}

TEST_F(MainWindowTest, FullScreenInAndOut) {
  start(fixture("demo.mp4"));
  AppWindow* full = app().fullScreenWindow.get();
  Menu* popupFirst = app().popupMenu->subMenu(0);

  // Escape in windowed mode does nothing.
  app().mainWindow->send(kWmKeyDown, kVkEscape);
  EXPECT_FALSE(controller().isFullScreen());

  command(kCmdFullscreen);
  EXPECT_TRUE(controller().isFullScreen());
  EXPECT_TRUE(full->isVisible());
  EXPECT_FALSE(app().mainWindow->isVisible());
  EXPECT_TRUE(bar().isChecked(kCmdFullscreen));
  EXPECT_TRUE(popupFirst->isChecked(kCmdFullscreen));
  EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.targetWindow(); }), full->surface());

  // The full-screen window shares the procedure: Escape there leaves.
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(full->surface(), &escape);
  settle();
  EXPECT_FALSE(controller().isFullScreen());
  EXPECT_FALSE(full->isVisible());
  EXPECT_TRUE(app().mainWindow->isVisible());
  EXPECT_FALSE(bar().isChecked(kCmdFullscreen));
  EXPECT_FALSE(popupFirst->isChecked(kCmdFullscreen));
  EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.targetWindow(); }),
            app().mainWindow->surface());

  // 200 % chosen from the full-screen window's popup leaves and zooms.
  command(kCmdFullscreen);
  ASSERT_TRUE(controller().isFullScreen());
  app().hooks.popupMenu = [](const Menu&) { return static_cast<int32_t>(kCmdZoom200); };
  full->send(kWmRButtonUp, 0, makeMouseLParam(100, 100));
  settle();
  EXPECT_FALSE(controller().isFullScreen());
  EXPECT_FALSE(bar().isChecked(kCmdFullscreen));
  EXPECT_EQ(clientWidth(), 15 + 17 + 640);
  EXPECT_EQ(clientHeight(), 13 + 72 + 480);
}

TEST_F(MainWindowTest, RightClickOffersThePopupsFirstSubmenu) {
  start("");
  app().mainWindow->send(kWmRButtonUp, 0, makeMouseLParam(10, 10));
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_EQ(popups[0], app().popupMenu->subMenu(0));
}

TEST(MainWindowSizing, ClampsByTheDraggedEdge) {
  // At least 350 x 150 outside; the dragged edges move, the others stay.
  const struct {
    uint32_t edge;
    WindowRect proposed, clamped;
  } cases[] = {
      {kSizeLeft, {100, 100, 400, 500}, {51, 100, 400, 500}},
      {kSizeBottomLeft, {100, 100, 400, 500}, {51, 100, 400, 500}},
      {kSizeRight, {100, 100, 400, 500}, {100, 100, 449, 500}},
      {kSizeTop, {100, 100, 600, 200}, {100, 51, 600, 200}},
      {kSizeTopRight, {100, 100, 600, 200}, {100, 51, 600, 200}},
      {kSizeBottom, {100, 100, 600, 200}, {100, 100, 600, 249}},
      {kSizeTopLeft, {0, 0, 10, 10}, {-339, -139, 10, 10}},
      {kSizeBottomRight, {0, 0, 10, 10}, {0, 0, 349, 149}},
      {kSizeLeft, {0, 0, 350, 150}, {0, 0, 350, 150}},
  };
  for (const auto& c : cases) {
    WindowRect r = c.proposed;
    clampSizing(c.edge, r);
    EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom),
              std::tie(c.clamped.left, c.clamped.top, c.clamped.right, c.clamped.bottom))
        << "edge " << c.edge << ": " << r.left << " " << r.top << " " << r.right << " " << r.bottom;
  }
}

TEST_F(MainWindowTest, DroppingThreeFilesOpensTheFirst) {
  start("");
  DroppedFiles drop;
  drop.names = {fixture("demo.mp4"), fixture("mpeg4_aac.mp4"), fixture("h263_amrnb.3gp")};
  app().mainWindow->send(kWmDropFiles, reinterpret_cast<WParam>(&drop));
  EXPECT_TRUE(drop.finished);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(controller().currentName().value_or(""), fixture("demo.mp4"));
  EXPECT_EQ(app().mainWindow->caption(), fixture("demo.mp4"));
  DroppedFiles none;
  app().mainWindow->send(kWmDropFiles, reinterpret_cast<WParam>(&none));
  EXPECT_TRUE(none.finished);
}

TEST_F(MainWindowTest, RawFileChosenWithTheYuvFilterCannotBeOpened) {
  start("");
  std::string raw = writeYuvFile("frames.raw", 176, 144, 2);
  answerOpenFile = [raw](OpenFileRequest& r) {
    r.fileName = raw;
    r.chosenFilter = 4;  // "YUV (*.yuv)"
    return true;
  };
  command(kCmdOpen);
  EXPECT_TRUE(dialogCaptions.empty());  // not taken for a raw YUV file
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot open " + raw);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(app().mainWindow->caption(), "strevana Player");
}

TEST_F(MainWindowTest, FileChosenInTheOpenDialogPlays) {
  start("");
  answerOpenFile = [](OpenFileRequest& r) {
    r.fileName = fixture("demo.mp4");
    return true;
  };
  command(kCmdOpen);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(controller().playing());
  EXPECT_EQ(app().mainWindow->caption(), fixture("demo.mp4"));
}

class MouseTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    std::string path = writeYuvFile("mouse.yuv", 176, 144, 200);
    answerDialog = [](Dialog& d) {
      d.click(1001);
      d.click(kIdOk);
    };
    start(path);
    // Timer ticks come from the test alone.
    app().mainWindow->stopTimer(kMainTimerId);
    controller().pausePlayback();
  }
  static void tick() { app().mainWindow->send(kWmTimer, kMainTimerId); }
  static void mouse(uint32_t message, uint32_t flags, int32_t x, int32_t y) {
    app().mainWindow->send(message, flags, makeMouseLParam(x, y));
  }
  static int32_t position() {
    return withEngine([](PlaybackEngine& e) { return e.positionMs(); });
  }
  static QPoint centre(const SkinButton& (PlayerController::*button)() const) {
    return withEngine([button](PlaybackEngine&) {
      const SkinButton& b = (controller().*button)();
      return QPoint(b.x() + b.width() / 2, b.y() + b.height() / 2);
    });
  }
  static int32_t state(const SkinButton& (PlayerController::*button)() const) {
    return withEngine([button](PlaybackEngine&) { return (controller().*button)().state(); });
  }
};

TEST_F(MouseTest, HeldButtonRepeatsEvery100MsAfter500Ms) {
  QPoint step = centre(&PlayerController::stepForwardButton);
  int32_t start = position();
  mouse(kWmLButtonDown, kMkLButton, step.x(), step.y());
  EXPECT_EQ(position(), start + 40);  // one frame at 25 Hz
  for (int i = 0; i < 4; ++i) tick();
  EXPECT_EQ(position(), start + 40);  // nothing before 500 ms
  tick();
  EXPECT_EQ(position(), start + 80);
  tick();
  tick();
  EXPECT_EQ(position(), start + 160);
  // Released: the repeats go on as plain moves and no longer step.
  mouse(kWmLButtonUp, 0, step.x(), step.y());
  for (int i = 0; i < 8; ++i) tick();
  EXPECT_EQ(position(), start + 160);
  EXPECT_EQ(state(&PlayerController::stepForwardButton), 2);  // hover
}

TEST_F(MouseTest, PlainMovesAreThinnedToOnePer100Ms) {
  QPoint pause = centre(&PlayerController::pauseButton);
  QPoint rewind = centre(&PlayerController::rewindButton);
  for (int i = 0; i < 6; ++i) tick();
  mouse(kWmMouseMove, 0, pause.x(), pause.y());
  EXPECT_EQ(state(&PlayerController::pauseButton), 2);
  mouse(kWmMouseMove, 0, rewind.x(), rewind.y());  // same flags, within 100 ms
  EXPECT_EQ(state(&PlayerController::rewindButton), 0);
  EXPECT_EQ(app().lastMouseX, rewind.x());  // the position is kept all the same
  tick();
  mouse(kWmMouseMove, 0, rewind.x(), rewind.y());
  EXPECT_EQ(state(&PlayerController::rewindButton), 2);
  EXPECT_EQ(state(&PlayerController::pauseButton), 0);
  // A change of button state always passes.
  int32_t before = position();
  QPoint step = centre(&PlayerController::stepForwardButton);
  mouse(kWmLButtonDown, kMkLButton, step.x(), step.y());
  EXPECT_EQ(position(), before + 40);
}

}  // namespace
}  // namespace strevana
