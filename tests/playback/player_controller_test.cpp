#include "playback/player_controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "media/yuv_file_source.h"
#include "null_audio_sink.h"
#include "playback_fakes.h"
#include "streaming/stream_test_support.h"
#include "support/temp_folder.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using testing::FakeMediaSource;
using testing::rgbAt;
using testing::yuvGrey;
using Action = PlayerController::PanelAction;

// A controller on a 350 x 300 memory window with a manual clock, a silent
// sound output and a 25-frame 25 fps raw YUV file at hand.
class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() : surface(350, 300), host(&surface) {
    testing::ensureGuiApplication();
    controller =
        std::make_unique<PlayerController>(std::make_unique<DrawContext>(&surface), &host, clock);
    controller->withEngine([this](PlaybackEngine& e) { return e.setAudioSinkFactory(&sinks), 0; });
    controller->loadSkin();
    host.onResized = [this] { controller->layoutPanel(); };  // as the shell does
    controller->layoutPanel();
  }
  int openYuv() {
    const std::string path = testing::writeYuv420File(dir.file("clip.yuv"), 176, 144, 25);
    return controller->openYuvSource(
        std::make_unique<YuvFileSource>(path.c_str(), 176, 144, 25, 1, 5));
  }
  FakeMediaSource* fakeNext(const FakeMediaSource::Options& o) {
    return controller->withEngine([&](PlaybackEngine& e) { return factory.next(e, o); });
  }
  void press(const Widget& w) {
    controller->onPanelMouse(w.x() + 5, w.y() + 5, kMouseDown);
    controller->onPanelMouse(w.x() + 5, w.y() + 5, kMouseRelease);
  }
  int32_t position() {
    return controller->withEngine([](PlaybackEngine& e) { return e.positionMs(); });
  }
  MediaSource* source() {
    return controller->withEngine([](PlaybackEngine& e) { return e.source(); });
  }
  std::vector<const SkinButton*> seekButtons() {
    return {&controller->rewindButton(), &controller->endButton(), &controller->stepForwardButton(),
            &controller->stepBackwardButton()};
  }

  testing::ScratchFolder dir;
  ManualMillisecondClock clock;
  testing::NullAudioSinkFactory sinks{clock};
  MemoryWindowSurface surface;
  MemoryWindowHost host;
  std::unique_ptr<PlayerController> controller;
  testing::FakeSourceFactory factory;
};

TEST_F(ControllerTest, LayoutPutsFrameButtonsSliderAndTimeWhereTheSkinSays) {
  EXPECT_EQ(controller->marginLeft(), 15);
  EXPECT_EQ(controller->marginRight(), 17);
  EXPECT_EQ(controller->marginTop(), 13);
  EXPECT_EQ(controller->marginBottom(), 72);
  const SkinButton* row[] = {&controller->playButton(),         &controller->pauseButton(),
                             &controller->rewindButton(),       &controller->endButton(),
                             &controller->stepBackwardButton(), &controller->stepForwardButton()};
  const int xs[] = {15, 44, 79, 108, 143, 173};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(QRect(row[i]->x(), row[i]->y(), row[i]->width(), 28), QRect(xs[i], 259, 28, 28));
  const SkinSlider& slider = controller->positionSlider();
  EXPECT_EQ(QRect(slider.x(), slider.y(), slider.width(), slider.height()),
            QRect(19, 240, 244, 15));
  // The video area is painted black over whatever was there.
  surface.paint().image().fill(Qt::white);
  controller->layoutPanel();
  const QImage img = surface.snapshot();
  testing::expectPanel(img, 350, 300);
  EXPECT_EQ(img.pixel(19 + 2, 243), loadSkinBitmap(169)->image().pixel(2, 3));  // knob at 0
  EXPECT_EQ(rgbAt(img, 150, 100), 0u);
  EXPECT_EQ(controller->timeText(), "00:00:00:00");
}

TEST_F(ControllerTest, OpeningZoomsPlaysAndKeepsTheNameOnlyForFilesAndStreams) {
  ASSERT_EQ(openYuv(), 1);
  EXPECT_TRUE(controller->playing());
  EXPECT_EQ(controller->playButton().state(), SkinButton::kPressed);
  EXPECT_EQ(QSize(surface.clientWidth(), surface.clientHeight()), QSize(350, 13 + 72 + 144));
  EXPECT_FALSE(controller->currentName().has_value());
  fakeNext({.width = 320, .height = 240});
  ASSERT_EQ(controller->openFile("movie.mp4"), 1);
  EXPECT_EQ(controller->currentName().value_or(""), "movie.mp4");
  EXPECT_EQ(QSize(surface.clientWidth(), surface.clientHeight()),
            QSize(15 + 17 + 320, 13 + 72 + 240));
  EXPECT_EQ(controller->positionSlider().width(), 352 - 106);
  EXPECT_EQ(controller->playButton().y(), surface.clientHeight() - 28 - 13);
  // A failed open closes the medium, zooms nothing and forgets the name.
  const int resizes = host.resizeCount();
  EXPECT_EQ(controller->openFile("clip.avi"), 0);
  EXPECT_EQ(source(), nullptr);
  EXPECT_EQ(host.resizeCount(), resizes);
  EXPECT_FALSE(controller->currentName().has_value());
  EXPECT_EQ(controller->openYuvSource(
                std::make_unique<YuvFileSource>(dir.file("none").c_str(), 176, 144, 25, 1, 5)),
            0);
}

TEST_F(ControllerTest, ButtonsActOnTheEngineAccordingToTheState) {
  ASSERT_EQ(openYuv(), 1);
  press(controller->playButton());  // play while playing: the button stays on
  EXPECT_EQ(controller->playButton().state(), SkinButton::kPressed);
  press(controller->stepForwardButton());
  EXPECT_FALSE(controller->playing());
  EXPECT_EQ(controller->playButton().state(), SkinButton::kNormal);
  press(controller->stepForwardButton());
  press(controller->stepBackwardButton());
  EXPECT_EQ(position(), 40);
  EXPECT_NEAR(static_cast<int>(surface.snapshot().pixel(100, 80) & 0xff), yuvGrey(1), 3);
  press(controller->endButton());
  EXPECT_EQ(position(), 960);
  EXPECT_EQ(controller->timeText(), "00:00:01:00");
  press(controller->playButton());
  EXPECT_TRUE(controller->playing());
  press(controller->rewindButton());
  EXPECT_TRUE(controller->playing());  // rewind leaves playing alone
  EXPECT_EQ(position(), 0);
  press(controller->pauseButton());
  EXPECT_FALSE(controller->playing());
  EXPECT_EQ(controller->pauseButton().state(), SkinButton::kHover);  // released over it
  controller->endHover();
  EXPECT_EQ(controller->pauseButton().state(), SkinButton::kNormal);
}

TEST_F(ControllerTest, LiveMediaDisableSeekingAndPlayReopensByTheStoredName) {
  fakeNext({.live = true});
  ASSERT_EQ(controller->openStream("rtsp://host/app/live"), 1);
  EXPECT_EQ(std::make_pair(factory.base, factory.name),
            std::make_pair(std::string("rtsp://host/app"), std::string("live")));
  for (const SkinButton* b : seekButtons()) EXPECT_EQ(b->state(), SkinButton::kDisabled);
  EXPECT_TRUE(controller->positionSlider().disabled());
  // Disabled buttons, the slider and the keys for them do nothing.
  const int32_t before = position();
  press(controller->stepForwardButton());
  for (Action a : {Action::kStepForward, Action::kStepBackward, Action::kRewind, Action::kToEnd})
    controller->perform(a);
  controller->onPanelMouse(controller->positionSlider().x() + 100,
                           controller->positionSlider().y() + 2, kMouseDown);
  EXPECT_TRUE(controller->playing());
  EXPECT_EQ(position(), before);
  // Pause closes a live medium; play opens a new session, a .sdp as a file.
  for (const char* name : {"rtsp://host/app/live", "/tmp/session.sdp"}) {
    fakeNext({.live = true});
    ASSERT_TRUE(name[0] != '/' || controller->openFile(name) == 1);
    press(controller->pauseButton());
    EXPECT_EQ(source(), nullptr);
    fakeNext({.live = true});
    press(controller->playButton());
    EXPECT_NE(source(), nullptr);
    EXPECT_EQ(controller->currentName().value_or(""), name);
    EXPECT_EQ(factory.name, name[0] == '/' ? name : "live");
  }
  EXPECT_EQ(factory.opens, 4);
}

TEST_F(ControllerTest, AudioOnlyMediaDisableStepAndEndButtons) {
  FakeMediaSource* src = fakeNext({.width = 16, .height = 8, .video = false, .audio = true});
  ASSERT_EQ(controller->openFile("song.mp4"), 1);
  EXPECT_EQ(src->audioRequests.at(0), kRequestAtPosition);  // opening plays
  for (const SkinButton* b : seekButtons()) {
    EXPECT_EQ(b->state(),
              b == &controller->rewindButton() ? SkinButton::kNormal : SkinButton::kDisabled);
  }
  EXPECT_FALSE(controller->positionSlider().disabled());
  const SkinButton& end = controller->endButton();
  EXPECT_EQ(surface.snapshot().pixel(end.x() + 14, end.y() + 14),
            loadSkinBitmap(165)->image().pixel(14, 14));
}

TEST_F(ControllerTest, FullScreenTakesTheVideoAndPointsAreFractionsOfTheVideoArea) {
  // In the window the video area lies inside the frame: x 15..332, y 13..227.
  // clang-format off
  const struct { int32_t x, y; bool inside; } points[] = {
      {15, 13, true}, {332, 227, true}, {14, 100, false}, {100, 12, false}, {333, 100, false}, {100, 228, false}};
  // clang-format on
  for (const auto& p : points)
    EXPECT_EQ(controller->inVideoArea(p.x, p.y), p.inside) << p.x << "," << p.y;
  controller->setVideoPoint(100, 100);  // no source: nothing happens
  ASSERT_EQ(openYuv(), 1);
  controller->pausePlayback();
  controller->seekTo(400);
  controller->setZoom(200);  // video area 352 x 288
  controller->setVideoPoint(15 + 88, 13 + 216);
  EXPECT_EQ(std::make_pair(source()->objectPositionX, source()->objectPositionY),
            std::make_pair(0.25f, 0.75f));
  MemoryWindowSurface full(640, 480);
  controller->setFullScreenWindow(std::make_unique<DrawContext>(&full));
  controller->layoutPanel();
  EXPECT_TRUE(controller->inVideoArea(0, 479));
  const QImage img = full.snapshot();  // 176 x 144 fills the height, centred
  EXPECT_EQ(rgbAt(img, 20, 240), 0u);
  EXPECT_NEAR(static_cast<int>(img.pixel(320, 240) & 0xff), yuvGrey(10), 3);
  controller->setVideoPoint(320, 120);
  EXPECT_EQ(std::make_pair(source()->objectPositionX, source()->objectPositionY),
            std::make_pair(0.5f, 0.25f));
  // In full screen only the release counts, anywhere, and toggles playing.
  controller->onPanelMouse(5, 5, kMouseDown);
  EXPECT_FALSE(controller->playing());
  controller->onPanelMouse(5, 5, kMouseRelease);
  EXPECT_TRUE(controller->playing());
  controller->setFullScreenWindow(nullptr);
  EXPECT_EQ(controller->withEngine([](PlaybackEngine& e) { return e.targetWindow(); }), &surface);
}

TEST_F(ControllerTest, TimeTextFollowsTheClockAndStaysAfterClosing) {
  fakeNext({.frames = 100000});
  ASSERT_EQ(controller->openFile("long.mp4"), 1);
  controller->seekTo(3725000);
  EXPECT_EQ(controller->timeText(), "01:02:05:00");
  EXPECT_NEAR(controller->positionSlider().value(), 3725000.0 / 4000000.0, 1e-9);
  controller->withEngine([](PlaybackEngine& e) { return e.seekTo(7000); });  // as the thread does
  controller->updateDisplay();
  EXPECT_EQ(controller->timeText(), "00:00:07:00");
  EXPECT_EQ(controller->openFile("nothing.avi"), 0);
  controller->updateDisplay();
  EXPECT_EQ(controller->timeText(), "00:00:07:00");
}

// ------------------------------------------------------------ playback thread, real clock

TEST(ControllerThreadTest, PlaysA25FrameFileAt25FpsToItsEndThenPausesAndStops) {
  testing::ensureGuiApplication();
  testing::ScratchFolder dir;
  MemoryWindowSurface surface(350, 300);
  MemoryWindowHost host(&surface);
  PlayerController controller(std::make_unique<DrawContext>(&surface), &host);
  controller.loadSkin();
  controller.layoutPanel();
  controller.startPlaybackThread();
  const auto start = std::chrono::steady_clock::now();
  const std::string path = testing::writeYuv420File(dir.file("a.yuv"), 176, 144, 25);
  ASSERT_EQ(
      controller.openYuvSource(std::make_unique<YuvFileSource>(path.c_str(), 176, 144, 25, 1, 5)),
      1);
  EXPECT_TRUE(testing::waitFor([&] { return !controller.playing(); }, 10000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(controller.withEngine([](PlaybackEngine& e) { return e.positionMs(); }), 960);
  EXPECT_EQ(controller.playButton().state(), SkinButton::kNormal);
  EXPECT_NEAR(static_cast<int>(surface.snapshot().pixel(175, 100) & 0xff), yuvGrey(24), 3);
  // A failed open is found by the next tick, which stops playing.
  controller.perform(Action::kPlay);
  EXPECT_EQ(controller.openFile("clip.avi"), 0);
  EXPECT_TRUE(testing::waitFor([&] { return !controller.playing(); }, 2000));
  const auto stop = std::chrono::steady_clock::now();
  controller.stopPlaybackLoop();
  EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(2));
  EXPECT_EQ(controller.threadState(), PlayerController::kThreadEnded);
}

}  // namespace
}  // namespace strevana
