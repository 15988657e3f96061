#include "playback/player_controller.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "media/yuv_file_source.h"
#include "playback/panel/skin_resources.h"
#include "gui_application.h"
#include "null_audio_sink.h"
#include "playback_fakes.h"
#include "streaming/stream_test_support.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using testing::FakeMediaSource;
using testing::TempDir;
using testing::writeYuv420File;
using testing::yuvGrey;

using testing::ensureGuiApplication;

constexpr int kButtonY = 300 - 28 - 13;

class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() : surface(350, 300), host(&surface) {
    ensureGuiApplication();
    controller =
        std::make_unique<PlayerController>(std::make_unique<DrawContext>(&surface), &host, clock);
    controller->withEngine([this](PlaybackEngine& e) {
      e.setAudioSinkFactory(&sinks);
      return 0;
    });
    controller->loadSkin();
    // As the shell does: a size change makes the panel lay out again.
    host.onResized = [this] { controller->layoutPanel(); };
    controller->layoutPanel();
    yuvPath = writeYuv420File(dir.path() / "clip.yuv", 176, 144, 25);
  }

  std::unique_ptr<YuvFileSource> yuv(int32_t fps = 25) {
    return std::make_unique<YuvFileSource>(yuvPath.c_str(), 176, 144, fps, 1, 5);
  }

  // Makes the engine's next openFile/openUrl produce a fake; returns it.
  FakeMediaSource* fakeNext(const FakeMediaSource::Options& o) {
    return controller->withEngine([&](PlaybackEngine& e) { return factory.next(e, o); });
  }

  void press(const Widget& w, int dx = 5, int dy = 5) {
    controller->onPanelMouse(w.x() + dx, w.y() + dy, kMouseDown);
    controller->onPanelMouse(w.x() + dx, w.y() + dy, kMouseRelease);
  }
  int32_t position() {
    return controller->withEngine([](PlaybackEngine& e) { return e.positionMs(); });
  }
  int32_t clockMs() {
    return controller->withEngine([](PlaybackEngine& e) { return e.clockMs(); });
  }
  MediaSource* source() {
    return controller->withEngine([](PlaybackEngine& e) { return e.source(); });
  }
  QImage shot() { return surface.snapshot(); }

  TempDir dir;
  std::string yuvPath;
  ManualMillisecondClock clock;
  testing::NullAudioSinkFactory sinks{clock};
  MemoryWindowSurface surface;
  MemoryWindowHost host;
  std::unique_ptr<PlayerController> controller;
  testing::FakeSourceFactory factory;
};

// ------------------------------------------------------------ layout

TEST_F(ControllerTest, LayoutPutsFrameButtonsSliderAndTimeWhereTheSkinSays) {
  EXPECT_EQ(controller->marginLeft(), 15);
  EXPECT_EQ(controller->marginRight(), 17);
  EXPECT_EQ(controller->marginTop(), 13);
  EXPECT_EQ(controller->marginBottom(), 72);
  const SkinButton* row[] = {&controller->playButton(),         &controller->pauseButton(),
                             &controller->rewindButton(),       &controller->endButton(),
                             &controller->stepBackwardButton(), &controller->stepForwardButton()};
  const int xs[] = {15, 44, 79, 108, 143, 173};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(row[i]->x(), xs[i]) << "button " << i;
    EXPECT_EQ(row[i]->y(), kButtonY) << "button " << i;
    EXPECT_EQ(row[i]->width(), 28);
  }
  const SkinSlider& slider = controller->positionSlider();
  EXPECT_EQ(slider.x(), 19);
  EXPECT_EQ(slider.y(), 240);
  EXPECT_EQ(slider.width(), 244);
  EXPECT_EQ(slider.height(), 15);

  // The pictures are on screen where they were placed; the video area is black.
  const QImage img = shot();
  testing::expectPanel(img, 350, 300);
  EXPECT_EQ(img.pixel(19 + 2, 243), loadSkinBitmap(169)->image().pixel(2, 3));  // knob at 0
  EXPECT_EQ(img.pixel(150, 100) & 0xffffff, 0u);
  EXPECT_EQ(controller->timeText(), "00:00:00:00");
}

TEST_F(ControllerTest, AButtonTakesClicksOnExactlyItsSquare) {
  ASSERT_EQ(controller->openYuvSource(yuv()), 1);
  const SkinButton& pause = controller->pauseButton();
  const struct {
    int dx, dy;
    bool hit;
  } points[] = {{0, 0, true},
                {-1, 5, false}};  // the edges themselves: WidgetTree.ContainsIncludesBothEdges
  for (const auto& p : points) {
    controller->perform(PlayerController::PanelAction::kPlay);
    controller->onPanelMouse(pause.x() + p.dx, pause.y() + p.dy, kMouseDown);
    EXPECT_EQ(controller->playing(), !p.hit) << "at " << p.dx << "," << p.dy;
    controller->onPanelMouse(pause.x() + p.dx, pause.y() + p.dy, kMouseRelease);
  }
  controller->onPanelMouse(pause.x() + 27, pause.y() + 27, kMouseDown);
  controller->onPanelMouse(pause.x() + 27, pause.y() + 28, kMouseRelease);
  EXPECT_EQ(pause.state(), SkinButton::kNormal);  // released outside: back to normal
}

TEST_F(ControllerTest, SliderClicksAtBothEndsSeekToZeroAndToTheDuration) {
  ASSERT_EQ(controller->openYuvSource(yuv()), 1);
  controller->pausePlayback();
  const SkinSlider& slider = controller->positionSlider();
  controller->onPanelMouse(slider.x() + slider.width() - 1, slider.y() + 2, kMouseDown);
  EXPECT_EQ(clockMs(), 1000);
  EXPECT_EQ(position(), 960);  // the last frame
  EXPECT_DOUBLE_EQ(slider.value(), 1.0);
  controller->onPanelMouse(slider.x() + 7, slider.y() + 2, kMouseDown);
  EXPECT_EQ(clockMs(), 0);
  EXPECT_EQ(position(), 0);
  EXPECT_DOUBLE_EQ(slider.value(), 0.0);
  // The middle of the slider seeks to the middle.
  controller->onPanelMouse(slider.x() + slider.width() / 2, slider.y() + 2, kMouseDown);
  EXPECT_NEAR(clockMs(), 500, 10);
  EXPECT_FALSE(controller->playing());  // seeking leaves playing alone
}

// ------------------------------------------------------------ opening

TEST_F(ControllerTest, OpenSequenceZoomsPlaysAndKeepsTheNameOnlyForFilesAndStreams) {
  ASSERT_EQ(controller->openYuvSource(yuv()), 1);
  EXPECT_TRUE(controller->playing());
  EXPECT_EQ(controller->playButton().state(), SkinButton::kPressed);
  EXPECT_EQ(controller->positionSlider().value(), 0.0);
  // Zoom 100: the video's own size plus the frame, at least 350 wide.
  EXPECT_EQ(surface.clientWidth(), 350);
  EXPECT_EQ(surface.clientHeight(), 13 + 72 + 144);
  EXPECT_FALSE(controller->currentName().has_value());

  fakeNext({.width = 320, .height = 240});
  ASSERT_EQ(controller->openFile("movie.mp4"), 1);
  ASSERT_TRUE(controller->currentName().has_value());
  EXPECT_EQ(*controller->currentName(), "movie.mp4");
  EXPECT_EQ(surface.clientWidth(), 15 + 17 + 320);
  EXPECT_EQ(surface.clientHeight(), 13 + 72 + 240);
  // The slider and the buttons moved with the new size.
  EXPECT_EQ(controller->positionSlider().width(), 352 - 106);
  EXPECT_EQ(controller->playButton().y(), surface.clientHeight() - 28 - 13);
}

TEST_F(ControllerTest, FailedOpenClosesThePreviousMediumAndTheNextTickStopsPlayback) {
  // A raw YUV file that cannot be read fails to open.
  EXPECT_EQ(controller->openYuvSource(std::make_unique<YuvFileSource>(
                (dir.path() / "none.yuv").c_str(), 176, 144, 25, 1, 5)),
            0);
  EXPECT_EQ(source(), nullptr);
  EXPECT_FALSE(controller->playing());
  ASSERT_EQ(controller->openYuvSource(yuv()), 1);
  const int resizes = host.resizeCount();
  EXPECT_EQ(controller->openFile("clip.avi"), 0);
  EXPECT_EQ(source(), nullptr);
  EXPECT_EQ(host.resizeCount(), resizes);  // no zoom
  EXPECT_TRUE(controller->playing());      // left alone ...
  EXPECT_FALSE(controller->currentName().has_value());
  controller->startPlaybackThread();
  const auto start = std::chrono::steady_clock::now();
  while (controller->playing() &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(2)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_FALSE(controller->playing());  // ... until the next tick finds no source
  controller->stopPlaybackLoop();
  EXPECT_EQ(controller->playButton().state(), SkinButton::kNormal);
}

// ------------------------------------------------------------ buttons

TEST_F(ControllerTest, ButtonsActOnTheEngineAccordingToTheState) {
  ASSERT_EQ(controller->openYuvSource(yuv()), 1);
  // Play while playing does nothing; the button stays on.
  press(controller->playButton());
  EXPECT_TRUE(controller->playing());
  EXPECT_EQ(controller->playButton().state(), SkinButton::kPressed);

  press(controller->stepForwardButton());
  EXPECT_FALSE(controller->playing());
  EXPECT_EQ(controller->playButton().state(), SkinButton::kNormal);
  EXPECT_EQ(position(), 40);
  press(controller->stepForwardButton());
  EXPECT_EQ(position(), 80);
  press(controller->stepBackwardButton());
  EXPECT_EQ(position(), 40);
  EXPECT_NEAR(static_cast<int>(shot().pixel(100, 80) & 0xff), yuvGrey(1), 3);

  press(controller->endButton());
  EXPECT_FALSE(controller->playing());
  EXPECT_EQ(position(), 960);
  EXPECT_EQ(clockMs(), 1000);
  EXPECT_EQ(controller->timeText(), "00:00:01:00");

  press(controller->playButton());
  EXPECT_TRUE(controller->playing());
  EXPECT_EQ(controller->playButton().state(), SkinButton::kPressed);

  press(controller->rewindButton());
  EXPECT_TRUE(controller->playing());  // rewind leaves playing alone
  EXPECT_EQ(position(), 0);

  press(controller->pauseButton());
  EXPECT_FALSE(controller->playing());
  EXPECT_EQ(controller->pauseButton().state(), SkinButton::kHover);  // released over it
  controller->onPanelMouse(5, 5, kMouseMove);
  EXPECT_EQ(controller->pauseButton().state(), SkinButton::kNormal);
  press(controller->rewindButton());
  EXPECT_FALSE(controller->playing());
}

TEST_F(ControllerTest, LiveMediaDisableSeekingAndPlayReopensTheStreamByItsUrl) {
  fakeNext({.live = true});
  ASSERT_EQ(controller->openStream("rtsp://host/app/live"), 1);
  EXPECT_EQ(factory.base, "rtsp://host/app");
  EXPECT_EQ(factory.name, "live");
  for (const SkinButton* b :
       {&controller->rewindButton(), &controller->endButton(), &controller->stepForwardButton(),
        &controller->stepBackwardButton()}) {
    EXPECT_EQ(b->state(), SkinButton::kDisabled);
  }
  EXPECT_TRUE(controller->positionSlider().disabled());
  EXPECT_EQ(controller->pauseButton().state(), SkinButton::kNormal);

  // Disabled buttons and slider ignore presses, and the keys for them too.
  const int32_t before = position();
  press(controller->stepForwardButton());
  press(controller->endButton());
  using Action = PlayerController::PanelAction;
  for (Action a : {Action::kStepForward, Action::kStepBackward, Action::kRewind, Action::kToEnd}) {
    controller->perform(a);
  }
  controller->onPanelMouse(controller->positionSlider().x() + 100,
                           controller->positionSlider().y() + 2, kMouseDown);
  EXPECT_TRUE(controller->playing());
  EXPECT_EQ(position(), before);

  // Pause closes a live medium; play opens a new session by the stored URL.
  press(controller->pauseButton());
  EXPECT_EQ(source(), nullptr);
  fakeNext({.live = true});
  press(controller->playButton());
  EXPECT_EQ(factory.opens, 2);
  EXPECT_EQ(factory.name, "live");
  EXPECT_NE(source(), nullptr);
  EXPECT_TRUE(controller->playing());
  ASSERT_TRUE(controller->currentName().has_value());
  EXPECT_EQ(*controller->currentName(), "rtsp://host/app/live");

  // A paused session description is reopened as a file.
  fakeNext({.live = true});
  ASSERT_EQ(controller->openFile("/tmp/session.sdp"), 1);
  EXPECT_EQ(factory.base, "");
  press(controller->pauseButton());
  fakeNext({.live = true});
  press(controller->playButton());
  EXPECT_EQ(factory.opens, 4);
  EXPECT_EQ(factory.name, "/tmp/session.sdp");
}

TEST_F(ControllerTest, AudioOnlyMediaDisableStepAndEndButtons) {
  FakeMediaSource* src = fakeNext({.width = 16, .height = 8, .video = false, .audio = true});
  ASSERT_EQ(controller->openFile("song.mp4"), 1);
  // Opening plays: the sound is asked for from the position first.
  ASSERT_FALSE(src->audioRequests.empty());
  EXPECT_EQ(src->audioRequests.front(), kRequestAtPosition);
  EXPECT_EQ(controller->endButton().state(), SkinButton::kDisabled);
  EXPECT_EQ(controller->stepForwardButton().state(), SkinButton::kDisabled);
  EXPECT_EQ(controller->stepBackwardButton().state(), SkinButton::kDisabled);
  EXPECT_EQ(controller->rewindButton().state(), SkinButton::kNormal);
  EXPECT_FALSE(controller->positionSlider().disabled());
  // A disabled button shows its disabled picture.
  const SkinButton& end = controller->endButton();
  EXPECT_EQ(shot().pixel(end.x() + 14, end.y() + 14), loadSkinBitmap(165)->image().pixel(14, 14));
}

// ------------------------------------------------------------ zoom, video point, full screen

TEST_F(ControllerTest, ZoomKeepsTheClientAtLeast350Wide) {
  controller->setZoom(50);  // no medium: video area 318 x 215 -> 159 x 107
  EXPECT_EQ(surface.clientWidth(), 350);
  EXPECT_EQ(surface.clientHeight(), 85 + 107);
  ASSERT_EQ(controller->openYuvSource(yuv()), 1);
  controller->setZoom(25);  // 15 + 17 + 44 = 76 would be too narrow
  EXPECT_EQ(surface.clientWidth(), 350);
  EXPECT_EQ(surface.clientHeight(), 13 + 72 + 36);
  controller->setZoom(200);
  EXPECT_EQ(surface.clientWidth(), 15 + 17 + 352);
  EXPECT_EQ(surface.clientHeight(), 13 + 72 + 288);
  controller->setZoom(-50);
  EXPECT_EQ(surface.clientWidth(), 350);
  EXPECT_EQ(surface.clientHeight(), 13 + 72);
  // On a 500 x 400 screen 704 x 576 shrinks to the 315 rows left: 385 x 315.
  host.setLargestClient(500, 400);
  controller->setZoom(400);
  EXPECT_EQ(surface.clientWidth(), 15 + 17 + 385);
  EXPECT_EQ(surface.clientHeight(), 400);
}

TEST_F(ControllerTest, FullScreenTakesTheVideoReleaseTogglesPlaybackAndPointsAreFractions) {
  controller->setVideoPoint(100, 100);  // no source: nothing happens
  ASSERT_EQ(controller->openYuvSource(yuv()), 1);
  controller->pausePlayback();
  controller->seekTo(400);   // frame 10
  controller->setZoom(200);  // client 384 x 373: video area 352 x 288
  controller->setVideoPoint(15 + 88, 13 + 216);
  EXPECT_FLOAT_EQ(source()->objectPositionX, 0.25f);
  EXPECT_FLOAT_EQ(source()->objectPositionY, 0.75f);
  MemoryWindowSurface full(640, 480);
  controller->setFullScreenWindow(std::make_unique<DrawContext>(&full));
  EXPECT_TRUE(controller->isFullScreen());
  controller->layoutPanel();
  // 176 x 144 fills the height of 640 x 480: 586 wide, centred.
  const QImage img = full.snapshot();
  EXPECT_EQ(img.pixel(20, 240) & 0xffffff, 0u);
  EXPECT_NEAR(static_cast<int>(img.pixel(320, 240) & 0xff), yuvGrey(10), 3);
  controller->setVideoPoint(320, 120);
  EXPECT_FLOAT_EQ(source()->objectPositionX, 0.5f);
  EXPECT_FLOAT_EQ(source()->objectPositionY, 0.25f);
  // In full screen only the release counts, anywhere.
  controller->onPanelMouse(5, 5, kMouseDown);
  EXPECT_FALSE(controller->playing());
  controller->onPanelMouse(5, 5, kMouseRelease);
  EXPECT_TRUE(controller->playing());
  controller->onPanelMouse(5, 5, kMouseRelease);
  EXPECT_FALSE(controller->playing());
  controller->setFullScreenWindow(nullptr);
  EXPECT_FALSE(controller->isFullScreen());
  const WindowSurface* target =
      controller->withEngine([](PlaybackEngine& e) { return e.targetWindow(); });
  EXPECT_EQ(target, &surface);
}

// The video area of the 350 x 300 window lies inside the frame: x 15..332,
// y 13..227; in full screen it is the whole window.
TEST_F(ControllerTest, TheVideoAreaIsInsideTheFrameOrTheWholeFullScreenWindow) {
  const struct {
    int32_t x, y;
    bool inside;
  } points[] = {{15, 13, true},   {332, 227, true},  {14, 100, false},
                {100, 12, false}, {333, 100, false}, {100, 228, false}};
  for (const auto& p : points)
    EXPECT_EQ(controller->inVideoArea(p.x, p.y), p.inside) << p.x << "," << p.y;
  MemoryWindowSurface full(640, 480);
  controller->setFullScreenWindow(std::make_unique<DrawContext>(&full));
  EXPECT_TRUE(controller->inVideoArea(0, 479));
  controller->setFullScreenWindow(nullptr);
}

// ------------------------------------------------------------ time text

TEST_F(ControllerTest, TimeTextFollowsTheClockAndStaysAfterClosing) {
  EXPECT_EQ(controller->timeText(), "00:00:00:00");
  fakeNext({.frames = 100000, .frameMs = 40});
  ASSERT_EQ(controller->openFile("long.mp4"), 1);
  controller->seekTo(3725000);
  EXPECT_EQ(controller->timeText(), "01:02:05:00");
  EXPECT_NEAR(controller->positionSlider().value(), 3725000.0 / 4000000.0, 1e-9);
  // Where the playback thread moved the engine shows on the next update.
  controller->withEngine([](PlaybackEngine& e) { return e.seekTo(7000); });
  controller->updateDisplay();
  EXPECT_EQ(controller->timeText(), "00:00:07:00");
  EXPECT_EQ(controller->openFile("nothing.avi"), 0);
  controller->updateDisplay();
  EXPECT_EQ(controller->timeText(), "00:00:07:00");
}

// ------------------------------------------------------------ playback thread

// A controller on the real clock with its playback thread running.
class ControllerThreadTest : public ::testing::Test {
 protected:
  ControllerThreadTest() {
    ensureGuiApplication();
    host.onResized = [this] { controller.layoutPanel(); };
    controller.loadSkin();
    controller.layoutPanel();
  }
  ~ControllerThreadTest() override { controller.stopPlaybackLoop(); }
  // Starts the thread and opens a 25-frame 25 fps raw YUV file.
  void startWithClip(bool repeat) {
    controller.withEngine([repeat](PlaybackEngine& e) {
      e.setRepeat(repeat ? 1 : 0);
      return 0;
    });
    controller.startPlaybackThread();
    ASSERT_EQ(controller.openYuvSource(std::make_unique<YuvFileSource>(
                  writeYuv420File(dir.path() / "a.yuv", 176, 144, 25).c_str(), 176, 144, 25, 1, 5)),
              1);
  }
  TempDir dir;
  MemoryWindowSurface surface{350, 300};
  MemoryWindowHost host{&surface};
  PlayerController controller{std::make_unique<DrawContext>(&surface), &host};
};

TEST_F(ControllerThreadTest, PlaysA25FrameFileAt25FpsFromStartToEndThenPauses) {
  const auto start = std::chrono::steady_clock::now();
  startWithClip(false);
  while (controller.playing() &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
  EXPECT_FALSE(controller.playing());
  // The last frame (960 ms) is due at 920 ms; the end is found at 960 ms.
  EXPECT_GE(elapsed, 900);
  EXPECT_LE(elapsed, 4000);
  controller.withEngine([](PlaybackEngine& e) {
    EXPECT_EQ(e.positionMs(), 960);
    EXPECT_NE(e.source(), nullptr);
    return 0;
  });
  EXPECT_EQ(controller.playButton().state(), SkinButton::kNormal);
  EXPECT_EQ(controller.timeText(), "00:00:00:00");  // 960 ms shows as 0 seconds
  EXPECT_NEAR(static_cast<int>(surface.snapshot().pixel(175, 100) & 0xff), yuvGrey(24), 3);
  controller.stopPlaybackLoop();
  EXPECT_EQ(controller.threadState(), PlayerController::kThreadEnded);
}

TEST_F(ControllerThreadTest, UserOperationsInterleaveWithThePlaybackThreadAndStopEndsIt) {
  startWithClip(true);
  const int buttonY = surface.clientHeight() - 28 - 13 + 10;
  const int xs[] = {15, 44, 79, 108, 143, 173};
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 300; ++i) {
    const int x = xs[i % 6] + 10;
    controller.onPanelMouse(x, buttonY, kMouseDown);
    controller.onPanelMouse(x, buttonY, kMouseRelease);
    if (i % 7 == 0) controller.seekTo((i * 37) % 1000);
    if (i % 11 == 0) controller.setZoom(i % 2 ? 100 : 150);
    if (i % 13 == 0) controller.layoutPanel();
    if (i % 5 == 0) controller.onPanelMouse(xs[0] + 10, buttonY, kMouseDown);  // play
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Every operation waited at most for a tick.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  // Stopping while playing returns within two seconds.
  controller.onPanelMouse(xs[0] + 10, buttonY, kMouseDown);  // play
  EXPECT_EQ(controller.threadState(), PlayerController::kThreadRunning);
  const auto stopStart = std::chrono::steady_clock::now();
  controller.stopPlaybackLoop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopStart, std::chrono::seconds(2));
  EXPECT_EQ(controller.threadState(), PlayerController::kThreadEnded);
  EXPECT_FALSE(controller.playing());
}

TEST_F(ControllerThreadTest, AStreamThatSendsNothingNeverHoldsUpTheWindow) {
  // A real streaming source on a loopback port nobody sends to: it buffers,
  // then stalls, for (2000 + 10000) / 100 rounds of 100 ms.
  const int port = testing::freePort(SOCK_DGRAM, true);
  ASSERT_NE(port, 0);
  const std::string sdp = (dir.path() / "silent.sdp").string();
  {
    std::ofstream out(sdp);
    out << "v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=silent\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
        << "m=video " << port << " RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n"
        << "a=fmtp:96 "
           "profile-level-id=1;config=000001B001000001B58913000001000000012000C48D8800CD05841214"
           "43000001B24C61766335392E33372E313030\r\n";
  }
  controller.startPlaybackThread();
  const auto elapsedMs = [](std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
  };
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(controller.openFile(sdp.c_str()), 1);
  EXPECT_LT(elapsedMs(start), 300);
  // While it waits, every operation gets the lock within a tick or two.
  int64_t longest = 0;
  for (int i = 0; i < 20; ++i) {
    start = std::chrono::steady_clock::now();
    controller.updateDisplay();
    longest = std::max<int64_t>(longest, elapsedMs(start));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_LT(longest, 300);
  EXPECT_TRUE(controller.playing());
  controller.withEngine([](PlaybackEngine& e) {
    EXPECT_NE(e.source(), nullptr);
    EXPECT_TRUE(e.source() && e.source()->awaitingData());
    return 0;
  });
  // Pausing a live stream closes it, at once.
  start = std::chrono::steady_clock::now();
  controller.pausePlayback();
  EXPECT_LT(elapsedMs(start), 300);
  controller.withEngine([](PlaybackEngine& e) {
    EXPECT_EQ(e.source(), nullptr);
    return 0;
  });
}

TEST_F(ControllerThreadTest, StoppingWithoutAThreadReturnsAtOnce) {
  const auto start = std::chrono::steady_clock::now();
  controller.stopPlaybackLoop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_EQ(controller.threadState(), PlayerController::kThreadEnded);
}

}  // namespace
}  // namespace strevana
