#include "playback/playback_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include <QImage>
#include <filesystem>

#include "base/millisecond_clock.h"
#include "media/yuv_file_source.h"
#include "playback/panel/skin_resources.h"
#include "null_audio_sink.h"
#include "playback_fakes.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

using testing::FakeMediaSource;
using testing::FakeRenderer;

struct FactoryCall {
  int32_t kind;
  OutputFormat format;
};

// An engine on a memory surface with a manual clock and a silent sound
// output on a clock of its own; the renderer factory is the real one, recorded.
class EngineTest : public ::testing::Test {
 protected:
  EngineTest() : surface(200, 100), engine(clock) {
    clock.set(100000);
    engine.setAudioSinkFactory(&sinks);
    engine.setRendererFactory([this](WindowSurface* w, int32_t x, int32_t y, int32_t width,
                                     int32_t height, int32_t kind, OutputFormat format) {
      calls.push_back({kind, format});
      return createVideoRenderer(w, x, y, width, height, kind, format);
    });
    engine.setVideoWindow(&surface, 0, 0, 200, 100);
  }

  // Adopts a fake through openSource; returns the fake (owned by the engine).
  FakeMediaSource* adopt(const FakeMediaSource::Options& o = {}) {
    auto fake = std::make_unique<FakeMediaSource>(o);
    FakeMediaSource* raw = fake.get();
    EXPECT_EQ(engine.openSource(std::move(fake)), 1);
    return raw;
  }

  // Makes openFile/openUrl produce this fake.
  FakeMediaSource* nextFromFactory(const FakeMediaSource::Options& o) {
    return factory.next(engine, o);
  }

  // Replaces the real renderers by fakes (only raster ones when rasterOnly,
  // none for format `refused`) whose lock or present fail the given number
  // of times.
  void useFakeRenderers(bool rasterOnly, int failLocks, int failPresents,
                        OutputFormat refused = -1) {
    engine.setRendererFactory([=, this](WindowSurface* w, int32_t x, int32_t y, int32_t width,
                                        int32_t height, int32_t kind, OutputFormat format) {
      if ((rasterOnly && kind != 2) || format == refused) return std::unique_ptr<VideoRenderer>();
      auto r = std::make_unique<FakeRenderer>();
      r->open(w, x, y, width, height, format);
      r->failLocks = failLocks;
      r->failPresents = failPresents;
      made.push_back(r.get());
      return std::unique_ptr<VideoRenderer>(std::move(r));
    });
  }

  // Opens a live fake by URL; destroyed turns true when the engine drops it.
  FakeMediaSource* openLive(bool* destroyed, bool audio = false) {
    FakeMediaSource* src = nextFromFactory({.audio = audio, .live = true});
    src->destroyed = destroyed;
    EXPECT_EQ(engine.openUrl("rtsp://host/live"), 1);
    return src;
  }

  uint32_t pixel(int x, int y) { return surface.snapshot().pixel(x, y) & 0xffffff; }
  static uint32_t grey(uint8_t v) { return (uint32_t{v} << 16) | (uint32_t{v} << 8) | v; }
  // A fake's video frame on screen: the raster renderer takes its packed
  // 4:2:2 pictures (luma v, neutral chroma) and expands video range to full
  // range, 1.164 (v - 16) truncated (ITU-R BT.601 / BT.709 luma scaling).
  static uint32_t shownGrey(uint8_t v) {
    return grey(static_cast<uint8_t>(std::clamp(static_cast<int>(1.164 * (v - 16)), 0, 255)));
  }

  // Ticks once per simulated millisecond for ms milliseconds; returns the
  // number of ticks that returned 0.
  int run(int ms) {
    int stops = 0;
    for (int i = 0; i < ms; ++i) {
      clock.advance(1);
      if (!engine.tick()) ++stops;
    }
    return stops;
  }

  ManualMillisecondClock clock;
  ManualMillisecondClock soundClock;
  testing::NullAudioSinkFactory sinks{soundClock};
  MemoryWindowSurface surface;
  PlaybackEngine engine;
  std::vector<FactoryCall> calls;
  std::vector<FakeRenderer*> made;
  testing::FakeSourceFactory factory;
};

// ------------------------------------------------------------ opening and renderers

TEST_F(EngineTest, OpenFallsBackFromHardwareToRasterYuy2AndShowsFirstFrame) {
  FakeMediaSource* src = adopt({.width = 40, .height = 20});
  // No hardware on a memory surface: the raster renderer takes YUY2.
  const FactoryCall want[] = {{1, 5}, {2, 5}};
  ASSERT_EQ(calls.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(calls[i].kind, want[i].kind) << i;
    EXPECT_EQ(calls[i].format, want[i].format) << i;
  }
  ASSERT_NE(engine.renderer(), nullptr);
  EXPECT_EQ(engine.rendererKind(), 2);
  EXPECT_EQ(engine.outputFormat(), 5);
  EXPECT_EQ(src->outputFormat, 5);
  // The adopted source got the post filter (automatic handed on as 3).
  ASSERT_FALSE(src->postfilterCalls.empty());
  EXPECT_EQ(src->postfilterCalls.front(), 3);
  // The renderer ended on the real output rectangle and the current frame is shown.
  EXPECT_EQ(engine.renderer()->outputWidth(), 200);
  EXPECT_EQ(engine.renderer()->outputHeight(), 100);
  EXPECT_EQ(src->videoRequests.back(), kRequestCurrent);
  EXPECT_EQ(pixel(100, 50), shownGrey(FakeMediaSource::greyOf(0)));
  EXPECT_EQ(engine.positionMs(), 0);
}

TEST_F(EngineTest, RawRendererWithoutHardwareIsUsedDirectlyWhenDirectDrawIsOff) {
  EXPECT_EQ(engine.setUseDirectDraw(0), 1);
  calls.clear();
  adopt();
  ASSERT_EQ(calls.size(), 1u);  // raster YUY2 at once
  EXPECT_EQ(calls[0].kind, 2);
  EXPECT_EQ(calls[0].format, 5);
}

TEST_F(EngineTest, RendererThatCannotPresentFailsTheProbeAndOpenSourceKeepsTheSource) {
  useFakeRenderers(false, 0, 1000);
  auto fake = std::make_unique<FakeMediaSource>(FakeMediaSource::Options{});
  FakeMediaSource* raw = fake.get();
  EXPECT_EQ(engine.openSource(std::move(fake)), 0);
  EXPECT_EQ(made.size(), 2u);  // format 5, then format 10
  EXPECT_EQ(engine.renderer(), nullptr);
  EXPECT_EQ(engine.source(), raw);
  EXPECT_TRUE(raw->videoRequests.empty());  // nothing decoded before the probe passed
  EXPECT_EQ(engine.play(), 0);
  EXPECT_EQ(engine.stepForward(), 0);
}

TEST_F(EngineTest, WithoutARendererForPackedYuvTheSourceDecodesTo24BitRgb) {
  useFakeRenderers(false, 0, 0, kFormatYuy2);
  for (bool byName : {false, true}) {
    FakeMediaSource* src = byName ? nextFromFactory({}) : adopt();
    if (byName) {
      ASSERT_EQ(engine.openFile("clip.mp4"), 1);
    }
    EXPECT_EQ(engine.outputFormat(), kFormatBgr24) << (byName ? "opened by name" : "adopted");
    EXPECT_EQ(src->outputFormat, kFormatBgr24);
    ASSERT_NE(engine.renderer(), nullptr);
    EXPECT_EQ(engine.renderer()->format(), kFormatBgr24);
  }
}

TEST_F(EngineTest, FailedLockRecreatesTheRendererOnceAndOnlyOnce) {
  useFakeRenderers(true, 0, 0);
  FakeMediaSource* src = adopt();
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(engine.outputFormat(), 5);  // the fake renderer takes YUY2
  made[0]->failLocks = 1;
  src->videoRequests.clear();
  EXPECT_EQ(engine.renderFrame(kRequestNext), 1);
  ASSERT_EQ(made.size(), 2u);
  // The new renderer shows the current picture, then the asked one.
  EXPECT_EQ(src->videoRequests, (std::vector<FrameRequest>{0, 3}));
  EXPECT_EQ(engine.positionMs(), 40);
  // A renderer that keeps failing its lock is recreated once, not recursively.
  useFakeRenderers(true, 1000, 0);
  made.back()->failLocks = 1000;
  EXPECT_EQ(engine.renderFrame(kRequestNext), 0);
  EXPECT_EQ(made.size(), 3u);
}

TEST_F(EngineTest, OpenFileFailsWhenNoRendererTakesItsPictures) {
  engine.setRendererFactory([](WindowSurface*, int32_t, int32_t, int32_t, int32_t, int32_t,
                               OutputFormat) { return std::unique_ptr<VideoRenderer>(); });
  bool destroyed = false;
  nextFromFactory({.width = 40, .height = 20})->destroyed = &destroyed;
  EXPECT_EQ(engine.openFile("clip.mp4"), 0);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(engine.source(), nullptr);
}

TEST_F(EngineTest, OpenFileThatNoSourceAcceptsClosesThePreviousMedium) {
  bool destroyed = false;
  FakeMediaSource* first = adopt();
  first->destroyed = &destroyed;
  EXPECT_EQ(engine.openFile("/nonexistent/clip.mp4"), 0);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(engine.source(), nullptr);
  EXPECT_EQ(engine.renderer(), nullptr);
  EXPECT_EQ(engine.tick(), 0);
}

TEST_F(EngineTest, OpenUrlSplitsAtTheLastSlashAndRefusesTextWithoutOne) {
  bool destroyed = false;
  FakeMediaSource* first = adopt();
  first->destroyed = &destroyed;
  // Text without a slash and overlong parts are refused before anything closes.
  EXPECT_EQ(engine.openUrl("no-slash-here"), 0);
  EXPECT_EQ(engine.openUrl(("rtsp://host/" + std::string(300, 'n')).c_str()), 0);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(engine.source(), first);

  nextFromFactory({.live = true});
  EXPECT_EQ(engine.openUrl("rtsp://host:554/media/clip.sdp"), 1);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(factory.base, "rtsp://host:554/media");
  EXPECT_EQ(factory.name, "clip.sdp");
  EXPECT_EQ(factory.postfilter, 3);
}

TEST_F(EngineTest, NoRendererBeforeAWindowIsGivenAndNegativeWidthNegatesBoth) {
  PlaybackEngine bare(clock);
  auto fake = std::make_unique<FakeMediaSource>(FakeMediaSource::Options{});
  EXPECT_EQ(bare.openSource(std::move(fake)), 0);
  EXPECT_EQ(bare.renderer(), nullptr);
  MemoryWindowSurface s(64, 32);
  bare.setVideoWindow(&s, 0, 0, 64, 32);
  EXPECT_NE(bare.renderer(), nullptr);
  engine.setVideoWindow(&surface, 5, 6, -120, 80);
  EXPECT_EQ(engine.outputWidth(), 120);
  EXPECT_EQ(engine.outputHeight(), -80);
  EXPECT_EQ(engine.outputX(), 5);
}

TEST_F(EngineTest, SavePathsTooLongAreRefusedAndNoPathSwitchesSavingOff) {
  const std::string longest(1023, 'p'), tooLong(1024, 'q');
  const struct {
    std::function<bool(const char*)> set;
    std::function<const std::string&()> get;
  } targets[] = {{[&](const char* p) { return engine.setVideoSavePath(p); },
                  [&]() -> auto& {return engine.videoSavePath();
}
}  // namespace
, {[&](const char* p) { return engine.setAudioSavePath(p); },
   [&]() -> auto& {return engine.audioSavePath();
}  // namespace strevana
}
, {[&](const char* p) { return engine.setRawAudioSavePath(p); },
   [&]() -> auto& {return engine.rawAudioSavePath();
}
}
, {[&](const char* p) { return engine.setRawVideoSavePath(p, 1); },
   [&]() -> auto& {return engine.rawVideoSavePath();
}
}
,
}
;
for (const auto& t : targets) {
  EXPECT_TRUE(t.set(longest.c_str()));
  EXPECT_FALSE(t.set(tooLong.c_str()));
  EXPECT_EQ(t.get(), longest);  // unchanged by the refusal
  EXPECT_TRUE(t.set(nullptr));
  EXPECT_EQ(t.get(), "");
}
}

TEST_F(EngineTest, ReplacingTheStillPictureLeavesTheOpenMediumItsOwn) {
  std::vector<uint32_t> first(16 * 8, 0x00445566u);
  engine.setStillPicture(16, 8, first.data());
  FakeMediaSource* src = nextFromFactory({.width = 16, .height = 8, .video = false, .audio = true});
  ASSERT_EQ(engine.openFile("song.mp4"), 1);
  std::vector<uint32_t> second(4 * 4, 0x00ffffffu);
  engine.setStillPicture(4, 4, second.data());
  EXPECT_EQ(engine.stillPicture().width, 4);
  ASSERT_EQ(engine.renderFrame(kRequestCurrent), 1);  // draws from the first copy
  EXPECT_EQ(src->stillPicture[0], 0x00445566u);
  EXPECT_EQ(pixel(100, 50), 0x445566u);
  engine.closeMedia();
  EXPECT_EQ(engine.stillPicture().bits[0], 0x00ffffffu);
}

// ------------------------------------------------------------ process-clocked timing

TEST_F(EngineTest, PositionAtDurationPausesOrRewindsBeforeAskingForFrames) {
  FakeMediaSource* src = adopt({.frames = 5});
  src->positionOffsetMs = 40;  // the last frame's stamp is the duration
  engine.seekToEnd();
  EXPECT_EQ(engine.positionMs(), 200);
  engine.play();  // at the end: starts again from the first frame
  EXPECT_EQ(src->videoRequests.back(), kRequestFirst);
  engine.seekToEnd();
  src->videoRequests.clear();
  EXPECT_EQ(engine.tick(), 0);
  EXPECT_TRUE(src->videoRequests.empty());
  engine.setRepeat(1);
  EXPECT_EQ(engine.tick(), 1);
  EXPECT_EQ(src->videoRequests.front(), kRequestFirst);
  EXPECT_EQ(engine.positionMs(), 40);
}

TEST_F(EngineTest, RewindGoToEndStepsAndSeek) {
  FakeMediaSource* src = adopt();
  EXPECT_EQ(engine.stepForward(), 1);
  EXPECT_EQ(engine.positionMs(), 40);
  EXPECT_EQ(engine.clockMs(), 40);
  EXPECT_EQ(engine.stepForward(), 1);
  EXPECT_EQ(engine.stepBackward(), 1);
  EXPECT_EQ(engine.positionMs(), 40);
  EXPECT_EQ(src->videoRequests.back(), kRequestPrevious);
  EXPECT_EQ(pixel(10, 10), shownGrey(FakeMediaSource::greyOf(1)));

  EXPECT_EQ(engine.seekTo(200), 1);
  EXPECT_EQ(src->videoRequests.back(), kRequestAtPosition);
  EXPECT_EQ(engine.positionMs(), 200);
  EXPECT_EQ(engine.clockMs(), 200);
  // Playback goes on from the sought position; the next picture comes at its
  // own time, and a step while it waits shows it.
  engine.play();
  clock.advance(10);
  engine.tick();
  EXPECT_EQ(engine.clockMs(), 210);
  EXPECT_EQ(engine.positionMs(), 200);
  clock.advance(30);
  engine.tick();
  EXPECT_EQ(engine.positionMs(), 240);
  engine.tick();  // 280 decoded ahead
  EXPECT_EQ(engine.stepForward(), 1);
  EXPECT_EQ(engine.positionMs(), 280);
  EXPECT_EQ(pixel(10, 10), shownGrey(FakeMediaSource::greyOf(7)));
  engine.play();
  engine.tick();  // 320 decoded ahead; back goes to the one before 280
  EXPECT_EQ(engine.stepBackward(), 1);
  EXPECT_EQ(engine.positionMs(), 240);
  EXPECT_EQ(pixel(10, 10), shownGrey(FakeMediaSource::greyOf(6)));

  EXPECT_EQ(engine.seekToEnd(), 1);
  EXPECT_EQ(src->videoRequests.back(), kRequestLast);
  EXPECT_EQ(engine.positionMs(), 360);
  EXPECT_EQ(engine.clockMs(), 400);
  EXPECT_EQ(engine.stepForward(), 0);  // nothing after the last frame

  EXPECT_EQ(engine.rewind(), 1);
  EXPECT_EQ(src->videoRequests.back(), kRequestFirst);
  EXPECT_EQ(engine.positionMs(), 0);
  EXPECT_EQ(engine.clockMs(), 0);
  EXPECT_EQ(pixel(10, 10), shownGrey(FakeMediaSource::greyOf(0)));
  EXPECT_EQ(engine.stepBackward(), 0);  // nothing before the first frame
}

TEST_F(EngineTest, EachPictureIsOnScreenFromItsTimeUntilTheNext) {
  adopt({.frames = 20, .frameMs = 40});
  // From the start, and after a seek between two pictures while playing.
  for (int32_t start : {0, 130}) {
    if (start) engine.seekTo(start);
    engine.play();
    for (int32_t t = start; t < start + 300; ++t) {
      engine.tick();
      const int shown = t / 40;
      ASSERT_EQ(pixel(100, 50), shownGrey(FakeMediaSource::greyOf(shown))) << "clock " << t;
      ASSERT_EQ(engine.positionMs(), shown * 40) << "clock " << t;
      clock.advance(1);
    }
    engine.pause();
  }
}

TEST_F(EngineTest, ThePlaybackThreadMayWaitUntilTheNextPictureIsDue) {
  adopt({.frames = 20, .frameMs = 40});
  engine.play();
  EXPECT_EQ(engine.msUntilNextTick(), 0);  // nothing decoded ahead yet
  engine.tick();                           // the picture at 40 is decoded
  struct {
    int64_t advance;
    int32_t wait;
  } const steps[] = {{0, 10}, {25, 10}, {5, 10}, {2, 8}, {7, 1}, {1, 0}};
  for (const auto& s : steps) {
    clock.advance(s.advance);
    engine.tick();
    EXPECT_EQ(engine.msUntilNextTick(), s.wait) << "clock " << engine.clockMs();
  }
  EXPECT_EQ(engine.positionMs(), 40);
}

TEST_F(EngineTest, OperationsWithoutSourceFail) {
  EXPECT_EQ(engine.play(), 0);
  EXPECT_EQ(engine.rewind(), 0);
  EXPECT_EQ(engine.seekTo(10), 0);
  EXPECT_EQ(engine.seekToEnd(), 0);
  EXPECT_EQ(engine.stepForward(), 0);
  EXPECT_EQ(engine.stepBackward(), 0);
  EXPECT_EQ(engine.tick(), 0);
  EXPECT_EQ(engine.pause(), 1);
}

TEST_F(EngineTest, AutomaticPostfilterGoesOffWhileLaggingAndStaysOffUntilChanged) {
  FakeMediaSource* src = adopt();
  src->postfilterCalls.clear();
  engine.play();
  engine.tick();       // frame 1 at 40
  clock.advance(290);  // clock 290, frame at 40: exactly 250 behind is not lagging
  engine.tick();
  EXPECT_TRUE(src->postfilterCalls.empty());
  clock.advance(41);  // clock 331, frame at 80: 251 behind
  engine.tick();
  ASSERT_FALSE(src->postfilterCalls.empty());
  EXPECT_EQ(src->postfilterCalls.back(), 0);
  // Caught up again: nothing turns the filter back on by itself.
  engine.seekTo(0);
  const size_t calls = src->postfilterCalls.size();
  run(100);
  EXPECT_EQ(src->postfilterCalls.size(), calls);
  EXPECT_EQ(engine.postfilter(), kPostfilterAuto);
  engine.setPostfilter(kPostfilterAuto);
  EXPECT_EQ(src->postfilterCalls.back(), 3);
  engine.setPostfilter(kPostfilterDeblock);
  EXPECT_EQ(src->postfilterCalls.back(), 1);
  // A fixed filter is not touched while lagging.
  engine.seekTo(0);
  src->postfilterCalls.clear();
  clock.advance(2000);
  engine.tick();
  EXPECT_TRUE(src->postfilterCalls.empty());
}

// ------------------------------------------------------------ live sources

TEST_F(EngineTest, LiveSourceIsClosedWhenPausedOrWhenAFrameRequestFails) {
  bool paused = false, failed = false;
  openLive(&paused);
  engine.play();
  engine.tick();
  EXPECT_EQ(engine.pause(), 1);
  EXPECT_TRUE(paused);
  EXPECT_EQ(engine.source(), nullptr);

  FakeMediaSource* src = openLive(&failed);
  engine.setRepeat(1);  // repeat does not apply to live media
  engine.play();
  EXPECT_EQ(engine.tick(), 1);
  src->failFrames = true;
  clock.advance(100);
  EXPECT_EQ(engine.tick(), 1);  // the picture decoded before is shown
  EXPECT_EQ(engine.tick(), 0);
  EXPECT_TRUE(failed);
  EXPECT_EQ(engine.source(), nullptr);
}

TEST_F(EngineTest, LiveSourceAwaitingDataStaysOpenAndItsClockWaitsWithoutSound) {
  bool destroyed = false;
  FakeMediaSource* src = openLive(&destroyed);
  src->awaiting = true;
  engine.play();
  EXPECT_EQ(run(3000), 0);  // three seconds of buffering stop nothing
  EXPECT_FALSE(destroyed);
  EXPECT_GT(src->count(3), 1000);  // asked again on every tick, never held up
  // The playback thread is told to come back a little later, not at once.
  EXPECT_EQ(engine.msUntilNextTick(), PlaybackEngine::kAwaitingDataTickMs);
  src->awaiting = false;
  src->videoRequests.clear();
  // The clock resumes from the last picture instead of racing to catch up
  // the wait: 200 ms show about five 40 ms pictures, not eighty.
  EXPECT_EQ(run(200), 0);
  EXPECT_GE(src->count(3), 4);
  EXPECT_LE(src->count(3), 7);
  EXPECT_EQ(src->count(5), 0);
}

// ------------------------------------------------------------ sound-clocked

TEST_F(EngineTest, LiveSourceIsClosedWhenAnAudioRequestFails) {
  bool destroyed = false;
  FakeMediaSource* src = openLive(&destroyed, true);
  ASSERT_NE(engine.audio(), nullptr);
  engine.play();
  EXPECT_EQ(engine.tick(), 1);
  src->failAudio = true;
  EXPECT_EQ(engine.tick(), 1);  // the queue is full: nothing asked for
  EXPECT_FALSE(destroyed);
  soundClock.advance(1);  // the next refill fails and closes the medium
  EXPECT_EQ(engine.tick(), 0);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(engine.audio(), nullptr);  // the sound output went with it
}

TEST_F(EngineTest, LiveSoundSetsTheClockToWhereTheStreamStands) {
  FakeMediaSource* src = nextFromFactory({.audio = true, .live = true});
  src->reportAudioTimeMs = 5000;
  ASSERT_EQ(engine.openUrl("rtsp://host/live"), 1);
  engine.play();
  EXPECT_EQ(engine.clockMs(), 5000);
  // Primed after the rebase, which would have thrown queued sound away.
  EXPECT_GE(sinks.last->queuedMs(), PlaybackEngine::kAudioPrimeMs);
  EXPECT_EQ(engine.tick(), 1);  // the sound starts
  soundClock.advance(30);
  EXPECT_EQ(engine.tick(), 1);
  EXPECT_EQ(engine.clockMs(), 5030);
}

TEST_F(EngineTest, AudioOnlyMediaAskForAFrameOnEveryTick) {
  std::vector<uint32_t> still(16 * 8, 0x00102030u);
  engine.setStillPicture(16, 8, still.data());
  FakeMediaSource* src =
      nextFromFactory({.width = 16, .height = 8, .frames = 1000000, .video = false, .audio = true});
  ASSERT_EQ(engine.openFile("song.mp4"), 1);
  ASSERT_NE(engine.audio(), nullptr);
  engine.play();
  src->videoRequests.clear();
  for (int i = 0; i < 20; ++i) EXPECT_EQ(engine.tick(), 1);
  EXPECT_EQ(src->videoRequests.size(), 20u);
  EXPECT_EQ(pixel(100, 50), 0x102030u);
}

TEST_F(EngineTest, SoundClockPacesPicturesAndTheNegotiatedFormatReachesTheSource) {
  FakeMediaSource* src = nextFromFactory({.frames = 1000, .frameMs = 40, .audio = true});
  ASSERT_EQ(engine.openFile("clip.mp4"), 1);
  ASSERT_NE(sinks.last, nullptr);
  EXPECT_EQ(src->outputRate, 16000);
  EXPECT_EQ(src->outputChannels, 2);
  EXPECT_EQ(src->outputBits, 16);
  engine.play();
  EXPECT_EQ(src->audioRequests.front(), kRequestAtPosition);
  // The process clock never moves: the pictures follow the sound alone.
  for (int32_t t = 0; t < 400; ++t) {
    ASSERT_EQ(engine.tick(), 1);
    ASSERT_EQ(engine.clockMs(), t);
    ASSERT_EQ(engine.positionMs(), t / 40 * 40) << "sound at " << t;
    ASSERT_GE(sinks.last->queuedMs(), PlaybackEngine::kAudioPrimeMs);  // topped up every tick
    soundClock.advance(1);
  }
  engine.pause();
  EXPECT_FALSE(sinks.last->started);
  // Without an output that plays the format, the process clock paces instead.
  sinks.rate = 0;
  nextFromFactory({.frames = 1000, .frameMs = 40, .audio = true});
  ASSERT_EQ(engine.openFile("clip.mp4"), 1);
  EXPECT_EQ(engine.audio(), nullptr);
  engine.play();
  run(80);
  EXPECT_EQ(engine.positionMs(), 80);
}

TEST_F(EngineTest, PicturesFiveSecondsBehindTheSoundAreAskedForCatchingUp) {
  // Pictures stamped this far behind the sound after a seek to 10 s.
  const struct {
    int32_t behindMs;
    FrameRequest first;
  } cases[] = {
      {6000, kRequestNextCatchingUp}, {5000, kRequestNextCatchingUp}, {4999, kRequestNext}};
  for (const auto& c : cases) {
    FakeMediaSource* src = nextFromFactory({.frames = 1000, .frameMs = 40, .audio = true});
    ASSERT_EQ(engine.openFile("clip.mp4"), 1);
    src->positionOffsetMs = -c.behindMs;
    engine.seekTo(10000);
    EXPECT_EQ(engine.positionMs(), 10000 - c.behindMs);
    engine.play();
    src->videoRequests.clear();
    engine.tick();
    ASSERT_FALSE(src->videoRequests.empty());
    EXPECT_EQ(src->videoRequests.front(), c.first) << c.behindMs << " ms behind";
    // Once the lag is below 5 s the ordinary request comes back.
    for (int i = 0; i < 40 && src->count(kRequestNext) == 0; ++i) engine.tick();
    EXPECT_GE(src->count(kRequestNext), 1);
    EXPECT_LT(engine.clockMs() - engine.positionMs(), 5000 + 40);
  }
}

// ------------------------------------------------------------ real sources

// A raw YUV source that counts what it is asked for.
class CountingYuvSource final : public YuvFileSource {
 public:
  using YuvFileSource::YuvFileSource;
  bool getVideoFrame(FrameRequest request, int32_t dstStride, const uint8_t* bg, int32_t bgW,
                     int32_t bgH, uint8_t* dst, int32_t& positionMs) override {
    requests.push_back(request);
    return YuvFileSource::getVideoFrame(request, dstStride, bg, bgW, bgH, dst, positionMs);
  }
  int count(FrameRequest r) const {
    int n = 0;
    for (FrameRequest x : requests) n += (x == r);
    return n;
  }
  std::vector<FrameRequest> requests;
};

TEST_F(EngineTest, RawYuvFileIsPacedByTheClockAndPausesAtItsEnd) {
  testing::TempDir dir;
  const std::string path = testing::writeYuv420File(dir.path() / "c.yuv", 176, 144, 10);
  auto yuv = std::make_unique<CountingYuvSource>(path.c_str(), 176, 144, 25, 1, 5);
  CountingYuvSource* src = yuv.get();
  ASSERT_EQ(engine.openSource(std::move(yuv)), 1);
  EXPECT_EQ(engine.outputFormat(), 5);
  EXPECT_EQ(src->outputFormat, 5);
  engine.play();
  EXPECT_EQ(engine.tick(), 1);
  EXPECT_EQ(src->count(kRequestNext), 1);  // decoded ahead, shown at its time
  EXPECT_EQ(engine.positionMs(), 0);
  for (int frame = 1; frame < 10; ++frame) {
    run(39);
    EXPECT_EQ(engine.positionMs(), 40 * (frame - 1)) << "frame " << frame << " shown early";
    EXPECT_EQ(src->count(kRequestNext), frame);
    run(1);
    EXPECT_EQ(engine.positionMs(), 40 * frame);
  }
  EXPECT_NEAR(static_cast<int>(pixel(100, 50) & 0xff), testing::yuvGrey(9), 3);
  // The tenth frame is the last: the next request fails and playback pauses.
  clock.advance(1);
  EXPECT_EQ(engine.tick(), 0);
  EXPECT_EQ(engine.positionMs(), 360);
  // Play after the end starts again from the first frame.
  engine.play();
  EXPECT_EQ(src->requests.back(), kRequestFirst);
  EXPECT_EQ(engine.positionMs(), 0);
  EXPECT_EQ(engine.tick(), 1);
  EXPECT_EQ(engine.positionMs(), 0);
  clock.advance(40);
  EXPECT_EQ(engine.tick(), 1);
  EXPECT_EQ(engine.positionMs(), 40);
  // With repeat the end itself goes back to the first frame.
  engine.setRepeat(1);
  engine.seekTo(360);
  engine.play();
  clock.advance(40);
  EXPECT_EQ(engine.tick(), 1);
  EXPECT_EQ(src->requests.back(), kRequestFirst);
  EXPECT_EQ(engine.positionMs(), 0);
}

const std::string kFixtures = STREVANA_FIXTURE_DIR;

TEST(EngineFileTest, AudioOnlyFileIsShownAsTheStillPictureInRgb32) {
  const std::string path = kFixtures + "/aac_only.mp4";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "fixture missing: " << path;
  ManualMillisecondClock clock;
  const QImage still = loadStillPicture();
  ASSERT_FALSE(still.isNull());
  MemoryWindowSurface surface(still.width(), still.height());
  PlaybackEngine engine(clock);
  engine.setStillPicture(still.width(), still.height(),
                         reinterpret_cast<const uint32_t*>(still.constBits()));
  engine.setVideoWindow(&surface, 0, 0, still.width(), still.height());
  ASSERT_EQ(engine.openFile(path.c_str()), 1);
  ASSERT_NE(engine.source(), nullptr);
  EXPECT_EQ(engine.source()->hasVideo, 0);
  EXPECT_EQ(engine.outputFormat(), 11);
  EXPECT_EQ(engine.source()->outputFormat, 11);
  EXPECT_EQ(engine.rendererKind(), 2);
  engine.play();
  engine.tick();
  const QImage shown = surface.snapshot();
  for (int y = 0; y < still.height(); y += 37) {
    for (int x = 0; x < still.width(); x += 41) {
      EXPECT_EQ(shown.pixel(x, y) & 0xffffff, still.pixel(x, y) & 0xffffff) << x << "," << y;
    }
  }
}

// Playback that ends by itself, then a new window (full screen and back):
// each new renderer shows the picture that was on screen, not black.
TEST(EngineFileTest, ANewWindowAfterTheEndShowsTheLastPictureAgain) {
  const std::string path = kFixtures + "/size_120x72.mp4";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "fixture missing: " << path;
  ManualMillisecondClock clock;
  MemoryWindowSurface main(120, 72);
  MemoryWindowSurface full(120, 72);
  PlaybackEngine engine(clock);
  engine.setVideoWindow(&main, 0, 0, 120, 72);
  ASSERT_EQ(engine.openFile(path.c_str()), 1);
  ASSERT_EQ(engine.play(), 1);
  int ticks = 0;
  while (engine.tick() == 1 && ++ticks < 100000) clock.advance(5);
  const QImage last = main.snapshot();
  const int32_t lastMs = engine.positionMs();
  ASSERT_GT(lastMs, 0);

  engine.setVideoWindow(&full, 0, 0, 120, 72);
  EXPECT_EQ(engine.positionMs(), lastMs);
  EXPECT_EQ(full.snapshot(), last) << "the last picture, on the full-screen window";
  {
    auto buffer = main.paint();
    buffer.image().fill(Qt::black);
  }
  engine.setVideoWindow(&main, 0, 0, 120, 72);
  EXPECT_EQ(engine.positionMs(), lastMs);
  EXPECT_EQ(main.snapshot(), last) << "the last picture again, on the main window";
}

TEST(EngineFileTest, Mp4FileWithSoundIsPacedByTheSoundClock) {
  const std::string path = kFixtures + "/mpeg4_aac.mp4";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "fixture missing: " << path;
  ManualMillisecondClock clock;  // never advanced: only the sound can move the pictures
  ManualMillisecondClock soundClock;
  testing::NullAudioSinkFactory sinks(soundClock);
  MemoryWindowSurface surface(176, 144);
  PlaybackEngine engine(clock);
  engine.setAudioSinkFactory(&sinks);
  engine.setVideoWindow(&surface, 0, 0, 176, 144);
  ASSERT_EQ(engine.openFile(path.c_str()), 1);
  ASSERT_NE(engine.audio(), nullptr);
  EXPECT_EQ(engine.source()->outputRate, 16000);
  ASSERT_EQ(engine.play(), 1);
  for (int32_t t = 0; t < 600; t += 5) {
    ASSERT_EQ(engine.tick(), 1);
    // The picture on screen is never ahead of the sound (the first one is
    // shown before the sound starts) nor more than two pictures behind it.
    EXPECT_LE(engine.positionMs(), std::max(engine.clockMs(), 40)) << "sound at " << t;
    soundClock.advance(5);
  }
  EXPECT_GE(engine.clockMs(), 590);
  EXPECT_GE(engine.positionMs(), engine.clockMs() - 80);
}

}  // namespace
}  // namespace strevana
