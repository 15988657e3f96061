#include "playback/player_controller.h"

#include <gtest/gtest.h>

#include <chrono>

#include "media/yuv_file_source.h"
#include "playback/panel/skin_resources.h"
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
using B = SkinButton;

// A controller on a 350 x 300 memory window with a manual clock and a silent
// sound output; openYuv opens a 25-frame 25 fps raw YUV file.
class ControllerTest : public ::testing::Test {
 protected:
  ControllerTest() : surface(350, 300), host(&surface) {
    testing::application();
    c = std::make_unique<PlayerController>(std::make_unique<DrawContext>(&surface), &host, clock);
    c->withEngine([this](PlaybackEngine& e) { return e.setAudioSinkFactory(&sinks), 0; });
    c->loadSkin();
    host.onResized = [this] { c->layoutPanel(); };  // as the shell does
    c->layoutPanel();
  }
  int openYuv(const std::string& name = "clip.yuv") {
    const std::string path = testing::writeYuv420File(dir.file(name), 176, 144, 25);
    return c->openYuvSource(std::make_unique<YuvFileSource>(path.c_str(), 176, 144, 25, 1, 5));
  }
  FakeMediaSource* fakeNext(const FakeMediaSource::Options& o) {
    return c->withEngine([&](PlaybackEngine& e) { return factory.next(e, o); });
  }
  void press(const Widget& w) {
    c->onPanelMouse(w.x() + 5, w.y() + 5, kMouseDown);
    c->onPanelMouse(w.x() + 5, w.y() + 5, kMouseRelease);
  }
  int32_t position() {
    return c->withEngine([](PlaybackEngine& e) { return e.positionMs(); });
  }
  MediaSource* source() {
    return c->withEngine([](PlaybackEngine& e) { return e.source(); });
  }
  QSize client() const { return {surface.clientWidth(), surface.clientHeight()}; }
  std::vector<const SkinButton*> seekButtons() {
    return {&c->rewindButton(), &c->endButton(), &c->stepForwardButton(), &c->stepBackwardButton()};
  }

  testing::ScratchFolder dir;
  ManualMillisecondClock clock;
  testing::NullAudioSinkFactory sinks{clock};
  MemoryWindowSurface surface;
  MemoryWindowHost host;
  std::unique_ptr<PlayerController> c;
  testing::FakeSourceFactory factory;
};

TEST_F(ControllerTest, LayoutPutsFrameButtonsSliderAndTimeWhereTheSkinSays) {
  EXPECT_EQ(QMargins(c->marginLeft(), c->marginTop(), c->marginRight(), c->marginBottom()),
            QMargins(15, 13, 17, 72));
  surface.paint().image().fill(Qt::white);  // the video area is painted black over it
  c->layoutPanel();
  const QImage img = surface.snapshot();
  // Frame corners, the buttons play, pause, rewind, end, step back and forward,
  // the slider's end and knob (at 0): each skin picture where it belongs.
  // clang-format off
  const struct { int id, x, y, skinX, skinY; } pictures[] = {
      {133, 4, 4, 4, 4}, {134, 336, 4, 3, 4}, {135, 4, 288, 4, 60}, {136, 238, 233, 10, 5},
      {132, 29, 273, 14, 14}, {145, 58, 273, 14, 14}, {161, 93, 273, 14, 14},
      {162, 122, 273, 14, 14}, {156, 157, 273, 14, 14}, {151, 187, 273, 14, 14},
      {167, 261, 243, 2, 3}, {169, 21, 243, 2, 3}};
  // clang-format on
  for (const auto& p : pictures)
    EXPECT_EQ(img.pixel(p.x, p.y), loadSkinBitmap(p.id)->image().pixel(p.skinX, p.skinY)) << p.id;
  EXPECT_EQ(rgbAt(img, 150, 100), 0u);
  EXPECT_EQ(rgbAt(img, 250, 265), rgb(64, 80, 100));  // the time text's box
  EXPECT_EQ(c->timeText(), "00:00:00:00");
}

TEST_F(ControllerTest, OpeningZoomsPlaysAndKeepsTheNameOnlyForFilesAndStreams) {
  ASSERT_EQ(openYuv(), 1);
  EXPECT_TRUE(c->playing());
  EXPECT_EQ(c->playButton().state(), B::kPressed);
  EXPECT_EQ(client(), QSize(350, 13 + 72 + 144));  // never narrower than 350
  EXPECT_FALSE(c->currentName().has_value());
  fakeNext({.width = 320, .height = 240});
  ASSERT_EQ(c->openFile("movie.mp4"), 1);
  EXPECT_EQ(c->currentName().value_or(""), "movie.mp4");
  EXPECT_EQ(client(), QSize(15 + 17 + 320, 13 + 72 + 240));
  EXPECT_EQ(c->positionSlider().width(), 352 - 106);  // the panel moved with the size
  EXPECT_EQ(c->openFile("clip.avi"), 0);              // closes and forgets the name
  EXPECT_FALSE(c->currentName().has_value());
}

TEST_F(ControllerTest, ButtonsActOnTheEngineAccordingToTheState) {
  ASSERT_EQ(openYuv(), 1);
  press(c->stepForwardButton());
  EXPECT_FALSE(c->playing());
  EXPECT_EQ(c->playButton().state(), B::kNormal);
  press(c->stepForwardButton());
  press(c->stepBackwardButton());
  EXPECT_EQ(position(), 40);
  press(c->endButton());
  EXPECT_EQ(position(), 960);
  press(c->playButton());
  press(c->rewindButton());
  EXPECT_TRUE(c->playing());  // rewind leaves playing alone
  EXPECT_EQ(position(), 0);
  press(c->pauseButton());
  EXPECT_FALSE(c->playing());
  EXPECT_EQ(c->pauseButton().state(), B::kHover);  // released over it
  c->endHover();
  EXPECT_EQ(c->pauseButton().state(), B::kNormal);
}

TEST_F(ControllerTest, LiveMediaDisableSeekingAndPlayReopensByTheStoredName) {
  fakeNext({.live = true});
  ASSERT_EQ(c->openStream("rtsp://host/app/live"), 1);
  EXPECT_EQ(factory.base + " " + factory.name, "rtsp://host/app live");
  for (const SkinButton* b : seekButtons()) EXPECT_EQ(b->state(), B::kDisabled);
  EXPECT_TRUE(c->positionSlider().disabled());
  // Disabled buttons, the slider and the keys for them do nothing.
  press(c->stepForwardButton());
  for (Action a : {Action::kStepForward, Action::kRewind, Action::kToEnd}) c->perform(a);
  c->onPanelMouse(c->positionSlider().x() + 100, c->positionSlider().y() + 2, kMouseDown);
  EXPECT_EQ(position(), 0);
  // Pause closes a live medium; play opens a new session, a .sdp as a file.
  for (const char* name : {"rtsp://host/app/live", "/tmp/session.sdp"}) {
    fakeNext({.live = true});
    ASSERT_TRUE(name[0] != '/' || c->openFile(name) == 1);
    press(c->pauseButton());
    EXPECT_EQ(source(), nullptr);
    fakeNext({.live = true});
    press(c->playButton());
    EXPECT_NE(source(), nullptr);
    EXPECT_EQ(c->currentName().value_or(""), name);
    EXPECT_EQ(factory.name, name[0] == '/' ? name : "live");
  }
  // Audio-only media disable stepping and the end, and show it.
  FakeMediaSource* src = fakeNext({.width = 16, .height = 8, .video = false, .audio = true});
  ASSERT_EQ(c->openFile("song.mp4"), 1);
  EXPECT_EQ(src->audioRequests.at(0), kRequestAtPosition);  // opening plays
  for (const SkinButton* b : seekButtons())
    EXPECT_EQ(b->state(), b == &c->rewindButton() ? B::kNormal : B::kDisabled);
  EXPECT_FALSE(c->positionSlider().disabled());
}

TEST_F(ControllerTest, FullScreenTakesTheVideoAndPointsAreFractionsOfTheVideoArea) {
  EXPECT_TRUE(c->inVideoArea(332, 227) && !c->inVideoArea(333, 100));  // inside the frame
  ASSERT_EQ(openYuv(), 1);
  c->pausePlayback();
  c->seekTo(400);
  c->setZoom(200);  // video area 352 x 288
  c->setVideoPoint(15 + 88, 13 + 216);
  EXPECT_EQ(QPointF(source()->objectPositionX, source()->objectPositionY), QPointF(0.25, 0.75));
  MemoryWindowSurface full(640, 480);
  c->setFullScreenWindow(std::make_unique<DrawContext>(&full));
  c->layoutPanel();
  EXPECT_NEAR(static_cast<int>(full.snapshot().pixel(320, 240) & 0xff), yuvGrey(10), 3);
  c->setVideoPoint(320, 120);
  EXPECT_EQ(QPointF(source()->objectPositionX, source()->objectPositionY), QPointF(0.5, 0.25));
  c->setFullScreenWindow(nullptr);
  EXPECT_EQ(c->withEngine([](PlaybackEngine& e) { return e.targetWindow(); }), &surface);
}

TEST_F(ControllerTest, TimeTextFollowsTheClockAndStaysAfterClosing) {
  fakeNext({.frames = 100000});
  ASSERT_EQ(c->openFile("long.mp4"), 1);
  c->seekTo(3725000);
  EXPECT_EQ(c->timeText(), "01:02:05:00");
  EXPECT_NEAR(c->positionSlider().value(), 3725000.0 / 4000000.0, 1e-9);
  c->withEngine([](PlaybackEngine& e) { return e.seekTo(7000); });  // as the thread does
  c->updateDisplay();
  EXPECT_EQ(c->timeText(), "00:00:07:00");
}

TEST_F(ControllerTest, ThePlaybackThreadPlaysAt25FpsToTheEndThenPausesAndStops) {
  c = std::make_unique<PlayerController>(std::make_unique<DrawContext>(&surface),
                                         &host);  // real clock
  c->loadSkin();
  c->layoutPanel();
  c->startPlaybackThread();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(openYuv(), 1);
  EXPECT_TRUE(testing::waitFor([&] { return !c->playing(); }, 10000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(position(), 960);
  EXPECT_GT(c->positionSlider().value(), 0.95);  // the display followed the playback
  EXPECT_EQ(c->playButton().state(), B::kNormal);
  EXPECT_NEAR(static_cast<int>(surface.snapshot().pixel(175, 100) & 0xff), yuvGrey(24), 3);
  const auto stop = std::chrono::steady_clock::now();
  c->stopPlaybackLoop();
  EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(2));
  EXPECT_EQ(c->threadState(), PlayerController::kThreadEnded);
}

}  // namespace
}  // namespace strevana
