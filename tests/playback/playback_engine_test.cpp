#include "playback/playback_engine.h"

#include <gtest/gtest.h>

#include <tuple>

#include "playback_fakes.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using testing::FakeMediaSource;
using testing::FakeRenderer;
using Results = std::vector<int>;               // in the order the calls were made
using Call = std::pair<int32_t, OutputFormat>;  // renderer kind and format asked for

// The real renderers (no hardware one on a memory surface), fakes of every
// kind, or fakes that refuse YUY2.
enum class Renderers { kReal, kFakes, kFakesWithoutYuy2 };

// An engine on a 200 x 100 memory surface with a manual clock and a silent
// sound output on a clock of its own.
class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : surface(200, 100), engine(clock) {
    clock.set(100000);
    engine.setAudioSinkFactory(&sinks);
    useRenderers(Renderers::kReal);
    engine.setVideoWindow(&surface, 0, 0, 200, 100);
  }
  // Fakes fail their lock or present the given number of times.
  void useRenderers(Renderers kind, int failLocks = 0, int failPresents = 0) {
    engine.setRendererFactory([=, this](WindowSurface* w, int32_t x, int32_t y, int32_t width,
                                        int32_t height, int32_t rk, OutputFormat format) {
      calls.push_back({rk, format});
      if (kind == Renderers::kReal) return createVideoRenderer(w, x, y, width, height, rk, format);
      auto r = std::make_unique<FakeRenderer>();
      r->open(w, x, y, width, height, format);
      r->failLocks = failLocks;
      r->failPresents = failPresents;
      made.push_back(r.get());
      const bool refused = kind == Renderers::kFakesWithoutYuy2 && format == kFormatYuy2;
      return refused ? nullptr : std::unique_ptr<VideoRenderer>(std::move(r));
    });
  }
  FakeMediaSource* adopt(const FakeMediaSource::Options& o = {}) {
    auto fake = std::make_unique<FakeMediaSource>(o);
    FakeMediaSource* raw = fake.get();
    EXPECT_EQ(engine.openSource(std::move(fake)), 1);
    return raw;
  }
  FakeMediaSource* openNamed(const FakeMediaSource::Options& o, const char* url = "clip.mp4") {
    FakeMediaSource* src = factory.next(engine, o);
    EXPECT_EQ(std::strchr(url, ':') ? engine.openUrl(url) : engine.openFile(url), 1) << url;
    return src;
  }
  std::pair<int32_t, int32_t> at() const { return {engine.positionMs(), engine.clockMs()}; }
  uint32_t pixel() { return surface.snapshot().pixel(100, 50) & 0xffffff; }
  // A fake's frame as the raster renderer shows YUY2: luma expanded from video
  // range to full range, 1.164 (v - 16) truncated (ITU-R BT.601).
  static uint32_t shown(int32_t frame) {
    return std::clamp(static_cast<int>(1.164 * (FakeMediaSource::greyOf(frame) - 16)), 0, 255) *
           0x010101u;
  }
  // Ticks once per simulated millisecond; returns how many ticks returned 0.
  int run(int ms) {
    int stops = 0;
    for (int i = 0; i < ms; ++i, clock.advance(1)) stops += engine.tick() == 0;
    return stops;
  }

  ManualMillisecondClock clock, soundClock;
  testing::NullAudioSinkFactory sinks{soundClock};
  MemoryWindowSurface surface;
  PlaybackEngine engine;
  std::vector<Call> calls;
  std::vector<FakeRenderer*> made;
  testing::FakeSourceFactory factory;
};

TEST_F(EngineTest, OpeningPicksTheRendererAndTheFormatTheSourceDecodesTo) {
  using R = Renderers;
  // clang-format off
  const struct { const char* name; Renderers renderers; bool directDraw, byName;
                 std::vector<Call> calls; OutputFormat format; } cases[] = {
      {"no hardware: raster YUY2", R::kReal, true, false, {{1, 5}, {2, 5}}, 5},
      {"direct draw off: raster at once", R::kReal, false, false, {{2, 5}}, 5},
      {"by name on raster: RGB32", R::kReal, true, true, {{1, 5}, {2, 5}, {1, 11}, {2, 11}}, 11},
      {"hardware kept", R::kFakes, true, false, {{1, 5}}, 5},
      {"no YUY2: 24-bit", R::kFakesWithoutYuy2, true, false, {{1, 5}, {2, 5}, {1, 10}}, 10},
      {"same by name", R::kFakesWithoutYuy2, true, true, {{1, 5}, {2, 5}, {1, 10}}, 10}};
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    engine.closeMedia();
    EXPECT_EQ(engine.setUseDirectDraw(c.directDraw), 1);  // nothing open: only the setting
    useRenderers(c.renderers);
    calls.clear();
    FakeMediaSource* src = c.byName ? openNamed({}) : adopt();
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(std::make_pair(engine.outputFormat(), src->outputFormat),
              std::pair(c.format, c.format));
    EXPECT_EQ(engine.renderer()->outputWidth(), 200);  // the real output rectangle
    EXPECT_EQ(src->videoRequests.back(), kRequestCurrent);
    EXPECT_TRUE(c.renderers != R::kReal || pixel() == (c.format == 5 ? shown(0) : 0x0a0a0au));
    EXPECT_EQ(src->postfilterCalls.empty() ? factory.postfilter : src->postfilterCalls[0], 3);
  }
}

TEST_F(EngineTest, NewRenderersAreProbedClearedAndRecreatedOnceAfterAFailedLock) {
  useRenderers(Renderers::kFakes);
  FakeMediaSource* src = adopt();
  src->failFrames = true;  // no picture: the new renderer still shows no garbage
  made[0]->failLocks = 1;
  src->videoRequests.clear();
  EXPECT_EQ(engine.renderFrame(kRequestNext), 0);
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(std::count(made[1]->buffer.begin(), made[1]->buffer.end(), FakeRenderer::kMarker), 0);
  src->failFrames = false;
  made[1]->failLocks = 1;
  EXPECT_EQ(engine.renderFrame(kRequestNext), 1);  // the current picture, then the next
  EXPECT_EQ(src->count(kRequestCurrent), 2);
  useRenderers(Renderers::kFakes, 1000);  // one that keeps failing: recreated once, no recursion
  made.back()->failLocks = 1000;
  EXPECT_EQ(engine.renderFrame(kRequestNext), 0);
  EXPECT_EQ(made.size(), 4u);
}

TEST_F(EngineTest, TheDirectDrawSwitchKeepsSourceAndRendererInOneFormat) {
  FakeMediaSource* src = openNamed({});  // on the raster renderer in RGB32
  EXPECT_EQ(engine.setUseDirectDraw(0), 1);
  EXPECT_EQ(std::make_pair(engine.outputFormat(), src->outputFormat), std::make_pair(5, 5));
  EXPECT_EQ(engine.renderFrame(kRequestNext), 1);
  EXPECT_EQ(pixel(), shown(1));
}

TEST_F(EngineTest, FailedOpensCloseThePreviousMediumOnlyOnceTheNameIsUsable) {
  bool destroyed = false;
  adopt()->destroyed = &destroyed;
  // No slash, or a part over 255 characters: refused before anything closes.
  const std::string longest(255, 'n'), tooLong(256, 'n');
  for (const std::string& bad : {std::string("no-slash"), "rtsp://h/" + tooLong, tooLong + "/a"})
    EXPECT_EQ(engine.openUrl(bad.c_str()), 0) << bad;
  EXPECT_FALSE(destroyed);
  openNamed({}, ("rtsp://host:554/" + longest).c_str());
  EXPECT_TRUE(destroyed);
  openNamed({}, "rtsp://host:554/media/clip.sdp");
  EXPECT_EQ(factory.base + " " + factory.name, "rtsp://host:554/media clip.sdp");
  engine.seekTo(300);
  openNamed({});
  EXPECT_EQ(engine.clockMs(), 0);                          // every open starts the clock at 0
  EXPECT_EQ(engine.openFile("/nonexistent/clip.mp4"), 0);  // no source
  // Pictures no renderer takes: a failed open, the source destroyed.
  useRenderers(Renderers::kFakesWithoutYuy2, 0, 1000);
  factory.next(engine, {})->destroyed = &destroyed;
  destroyed = false;
  EXPECT_EQ(engine.openFile("clip.mp4"), 0);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(engine.closeMedia(), 1);
}

TEST_F(EngineTest, AudioOnlyMediaShowTheirOwnStillPictureOnEveryTick) {
  std::vector<uint32_t> first(16 * 8, 0x00445566u), second(4 * 3, 0x00ffffffu);
  engine.setStillPicture(16, 8, first.data());
  FakeMediaSource* src =
      openNamed({.width = 16, .height = 8, .frames = 100000, .video = false, .audio = true});
  engine.setStillPicture(4, 3, second.data());  // for media opened later
  EXPECT_EQ(engine.stillPicture().height, 3);
  engine.play();
  src->videoRequests.clear();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(engine.tick(), 1);
  EXPECT_EQ(src->count(kRequestNext), 20);
  EXPECT_EQ(pixel(), 0x445566u);
  engine.closeMedia();
  EXPECT_EQ(engine.audio(), nullptr);
  EXPECT_EQ(engine.stillPicture().bits[0], 0x00ffffffu);
}

TEST_F(EngineTest, StepsSeeksRewindAndTheEnd) {
  FakeMediaSource* src = adopt();
  EXPECT_EQ((Results{engine.stepBackward(), engine.stepForward(), engine.stepForward(),
                     engine.stepBackward()}),
            (Results{0, 1, 1, 1}));  // nothing before the first frame
  EXPECT_EQ(at(), std::make_pair(40, 40));
  EXPECT_EQ(engine.seekTo(200), 1);
  EXPECT_EQ(at(), std::make_pair(200, 200));
  // The next picture comes at its own time; a step while it waits shows it,
  // and a step back goes to the one before the picture on screen.
  engine.play();
  EXPECT_EQ((Results{run(41), engine.tick(), engine.stepForward()}), (Results{0, 1, 1}));
  EXPECT_EQ(engine.positionMs(), 280);
  EXPECT_EQ((Results{engine.play(), engine.tick(), engine.stepBackward()}), (Results{1, 1, 1}));
  EXPECT_EQ(engine.positionMs(), 240);
  EXPECT_EQ(pixel(), shown(6));
  EXPECT_EQ(engine.seekToEnd(), 1);
  EXPECT_EQ(at(), std::make_pair(360, 400));
  EXPECT_EQ(engine.stepForward(), 0);
  EXPECT_EQ(engine.rewind(), 1);
  EXPECT_EQ(at(), std::make_pair(0, 0));
  EXPECT_EQ(pixel(), shown(0));
  // With the last stamp at the duration, play at the end starts from the
  // first frame; the tick pauses there, or with repeat rewinds.
  src->positionOffsetMs = 40;
  engine.seekToEnd();
  engine.play();
  EXPECT_EQ(src->videoRequests.back(), kRequestFirst);
  engine.seekToEnd();
  src->videoRequests.clear();
  EXPECT_EQ(engine.tick(), 0);
  EXPECT_TRUE(src->videoRequests.empty());
  engine.setRepeat(1);
  EXPECT_EQ(engine.tick(), 1);
  EXPECT_EQ(src->videoRequests.front(), kRequestFirst);
}

TEST_F(EngineTest, EachPictureIsOnScreenFromItsTimeUntilTheNext) {
  adopt({.frames = 20});
  for (int32_t start : {0, 130}) {  // from the start, and after a seek between two pictures
    engine.seekTo(start);
    engine.play();
    for (int32_t t = start; t < start + 300; ++t, clock.advance(1)) {
      engine.tick();
      ASSERT_EQ(engine.positionMs(), t / 40 * 40) << "clock " << t;
      ASSERT_EQ(pixel(), shown(t / 40)) << "clock " << t;
    }
  }
}

TEST_F(EngineTest, LiveSourceClosesWhenARequestFails) {
  bool failed = false, silent = false;
  FakeMediaSource* src = openNamed({.live = true}, "rtsp://h/live");
  src->destroyed = &failed;
  engine.setRepeat(1);  // repeat does not apply to live media
  EXPECT_EQ((Results{engine.play(), engine.tick()}), (Results{1, 1}));
  src->failFrames = true;
  clock.advance(100);
  EXPECT_EQ((Results{engine.tick(), engine.tick()}), (Results{1, 0}));  // the one decoded is shown
  EXPECT_TRUE(failed);
  src = openNamed({.audio = true, .live = true}, "rtsp://h/live");
  src->destroyed = &silent;
  EXPECT_EQ((Results{engine.play(), engine.tick()}), (Results{1, 1}));
  src->failAudio = true;
  soundClock.advance(1);  // the next refill fails
  EXPECT_EQ(engine.tick(), 0);
  EXPECT_TRUE(silent);
}

TEST_F(EngineTest, LiveSourceAwaitingDataStaysOpenAndItsClockWaitsWithoutSound) {
  FakeMediaSource* src = openNamed({.live = true}, "rtsp://h/live");
  src->awaiting = true;
  engine.play();
  EXPECT_EQ(run(3000), 0);
  EXPECT_GT(src->count(kRequestNext), 1000);  // asked on every tick, never held up
  EXPECT_EQ(engine.msUntilNextTick(), PlaybackEngine::kAwaitingDataTickMs);
  src->awaiting = false;
  src->videoRequests.clear();
  // The clock resumes from the last picture: 200 ms show five pictures, not eighty.
  EXPECT_EQ(run(200), 0);
  EXPECT_EQ(src->videoRequests, std::vector<FrameRequest>(5, kRequestNext));
}

TEST_F(EngineTest, LiveSoundSetsTheClockAndIsPrimedAfterTheRebase) {
  FakeMediaSource* src = factory.next(engine, {.audio = true, .live = true});
  src->reportAudioTimeMs = 5000;
  ASSERT_EQ(engine.openUrl("rtsp://h/live"), 1);
  engine.play();
  EXPECT_EQ(engine.clockMs(), 5000);
  // 20 ms chunks up to the 100 ms the queue holds, none beyond.
  EXPECT_EQ(sinks.last->queuedMs(), PlaybackEngine::kAudioPrimeMs);
  EXPECT_EQ(engine.tick(), 1);
  soundClock.advance(30);
  EXPECT_EQ(engine.tick(), 1);
  EXPECT_EQ(engine.clockMs(), 5030);
}

TEST_F(EngineTest, TheSoundClockPacesPicturesAndCatchesUpFiveSecondsBehind) {
  FakeMediaSource* src = openNamed({.frames = 1000, .audio = true});
  EXPECT_EQ(std::make_tuple(src->outputRate, src->outputChannels, src->outputBits),
            std::make_tuple(16000, 2, 16));  // the negotiated format
  engine.play();
  EXPECT_EQ(src->audioRequests.front(), kRequestAtPosition);
  for (int32_t t = 0; t < 400; ++t, soundClock.advance(1)) {  // the process clock stands still
    ASSERT_EQ(engine.tick(), 1);
    ASSERT_EQ(at(), std::make_pair(t / 40 * 40, t)) << "sound at " << t;
    ASSERT_GE(sinks.last->queuedMs(), PlaybackEngine::kAudioPrimeMs);
  }
  for (auto [behind, first] : {std::pair{5000, kRequestNextCatchingUp}, {4999, kRequestNext}}) {
    src->positionOffsetMs = -behind;
    engine.seekTo(10000);
    engine.play();
    src->videoRequests.clear();
    engine.tick();
    EXPECT_EQ(src->videoRequests.front(), first) << behind << " ms behind";
  }
  engine.pause();
  EXPECT_FALSE(sinks.last->started);
}

}  // namespace
}  // namespace strevana
