#pragma once
// PlaybackEngine: the media layer under the player controller. It owns the
// open medium (its MediaSource, the VideoRenderer drawing it into a window
// and, when the medium has sound and an output opened, the AudioSink), the
// position and clock, the network and stream-saving settings, and does all
// opening, rendering and positioning. PlaybackEngine::tick is one step of
// playback.
//
// Threads: none of its own and no lock of its own. Every call is made with
// the controller's SpinLock held, from the user-interface thread (user
// operations) or the playback thread (tick). The AudioSink takes its own
// lock inside the calls made here (controller lock first, then audio lock).
//
// Ownership: the source, renderer and audio output are owned and destroyed by
// closeMedia (renderer, then source, then audio). The still picture is a copy
// owned here and lent to the sources it makes. The target window and the
// background picture are lent by the caller and must outlive their use.
//
// Choices made here where the behaviour was open:
// - Times are kept in 32-bit milliseconds; clock values that do not fit (a
//   clock run far past any medium) are clamped rather than wrapped.
// - Save paths longer than 1023 characters, and URL parts (base or name)
//   longer than 255 characters, are refused rather than cut, so the engine
//   never writes to or connects to a name other than the one given.
// - play() restarts from the first frame not only when the position has
//   reached the duration but also after playback ended at the last frame or
//   went to the end: the last frame's time stamp lies below the duration, so
//   the position alone never says "at the end" and play would stop at once.
// - A live stream's clock is rebased before its first audio is queued
//   (rebasing flushes the queue, which would throw that audio away).
// - openSource refuses (and destroys) a source with neither video nor audio,
//   as the factory does for named media: a raw YUV file that could not be
//   opened is reported as a failed open instead of a blank success.
// - A frame is decoded only into a buffer large enough for the source's
//   picture in the source's format; otherwise the request fails.
// - The renderer made while recreating after a failed lock or present is not
//   recreated again from inside that recreation (createRenderer ends with a
//   frame request, which could otherwise recurse without end).
// - Sources are created with the automatic post filter given as 3
//   (de-blocking and de-ringing), as the post filter setter passes it: no
//   source is ever handed the automatic mode.
// - Playback decodes the next picture into the renderer's buffer as soon as
//   the one on screen is shown and presents it when the clock reaches its
//   time stamp, so each picture is on screen from its own time until the next
//   one's, in playback as in seeking. A late picture turns the automatic post
//   filter off under either clock.
// - A live source whose request fails while it awaits network data
//   (MediaSource::awaitingData) stays open: the tick returns at once and asks
//   again on the next one, so the controller lock is never held for a
//   source's whole wait; the source itself fails for good once its deadline
//   has passed. Without sound the clock does not run on during such a wait.
// - The clock is an injectable MillisecondClock (the process clock by
//   default), and the renderer, source and sound output factories are
//   injectable, so that tests can drive time, renderer failures, live
//   sources and the sound clock by hand.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/millisecond_clock.h"
#include "media/media_source.h"
#include "media/media_types.h"
#include "video/video_renderer.h"

namespace strevana {

class AudioSink;
class AudioSinkFactory;
class WindowSurface;

class PlaybackEngine {
 public:
  // The tick's timing constants.
  static constexpr double kAudioPrimeMs = 100.0;
  static constexpr int32_t kCatchUpLagMs = 5000;
  static constexpr int32_t kPostfilterDropLagMs = 250;
  static constexpr int32_t kAudioLatencyMs = 50;
  // A live source without a known range reports this duration.
  static constexpr int32_t kLiveDurationMs = 2000000000;

  using RendererFactory = std::function<std::unique_ptr<VideoRenderer>(
      WindowSurface* window, int32_t x, int32_t y, int32_t width, int32_t height, int32_t kind,
      OutputFormat format)>;

  using SourceFactory = std::function<std::unique_ptr<MediaSource>(
      const char* urlBase, const char* name, int32_t flags, OutputFormat initialFormat,
      PostfilterMode postfilter, int32_t udpPort, int32_t bufferMs, int32_t timeoutMs,
      const char* videoStreamPath, const char* audioStreamPath, const char* rawVideoPath,
      const char* rawAudioPath, int32_t rawVideoPerFrame, int32_t stillWidth, int32_t stillHeight,
      const uint32_t* stillBits)>;

  explicit PlaybackEngine(const MillisecondClock& clock = SteadyMillisecondClock::instance());
  ~PlaybackEngine();
  PlaybackEngine(const PlaybackEngine&) = delete;
  PlaybackEngine& operator=(const PlaybackEngine&) = delete;

  // Opening. Each closes the open medium first (openUrl only once the URL has
  // split). openFile/openUrl fail only when no source could be made; they
  // succeed without a renderer. openSource fails when no renderer could be
  // made but keeps the adopted source.
  int openFile(const char* name);
  int openUrl(const char* url);
  int openSource(std::unique_ptr<MediaSource> newSource);
  int closeMedia();

  // Output rectangle in the window's client coordinates; a negative width
  // negates width and height.
  int setVideoWindow(WindowSurface* window, int32_t x, int32_t y, int32_t width, int32_t height);
  int createRenderer();
  int renderFrame(FrameRequest request);

  int play();
  int pause();
  int stepForward();
  int stepBackward();
  int rewind();
  int seekToEnd();
  int seekTo(int32_t ms);
  int setUseDirectDraw(int32_t flag);
  int setOverlayImage(int32_t width, int32_t height, const uint8_t* pixels);

  // One step of playback: 1 to go on playing, 0 when playback stopped (end
  // of medium without repeat, failure, or the medium was closed).
  int tick();
  // How long the playback thread may wait before the next tick: until the
  // picture decoded ahead is due, at most kMaxTickIntervalMs (the sound queue
  // holds kAudioPrimeMs), 0 when a tick has work now.
  int32_t msUntilNextTick() const;
  static constexpr int32_t kMaxTickIntervalMs = 10;
  // The next tick after one that found a live source still waiting for data.
  static constexpr int32_t kAwaitingDataTickMs = 10;

  // Settings the shell reaches directly.
  int32_t repeat() const { return repeat_; }
  void setRepeat(int32_t on) { repeat_ = on ? 1 : 0; }
  int32_t useDirectDraw() const { return useDirectDraw_; }
  PostfilterMode postfilter() const { return postfilter_; }
  // Stores the mode and hands it to an open source (automatic as 3).
  void setPostfilter(PostfilterMode mode);
  int32_t udpPort() const { return udpPort_; }
  void setUdpPort(int32_t port) { udpPort_ = port; }
  // How streams carry their media (streaming/rtsp_transport.h: 0 automatic,
  // 1 UDP, 2 TCP); handed to the source factory as its flags.
  int32_t rtspTransport() const { return rtspTransport_; }
  void setRtspTransport(int32_t transport) { rtspTransport_ = transport; }
  // The RTSP status that refused the last stream opened (401 when the
  // server wants a login), 0 when it opened or failed otherwise.
  int32_t openFailedStatus() const { return openFailedStatus_; }
  int32_t bufferMs() const { return bufferMs_; }
  void setBufferMs(int32_t ms) { bufferMs_ = ms; }
  int32_t timeoutMs() const { return timeoutMs_; }
  void setTimeoutMs(int32_t ms) { timeoutMs_ = ms; }
  // Save targets: null or empty switches saving off; false (and no change)
  // for a path longer than 1023 characters.
  bool setVideoSavePath(const char* path);
  bool setAudioSavePath(const char* path);
  bool setRawVideoSavePath(const char* path, int32_t perFrame);
  bool setRawAudioSavePath(const char* path);
  const std::string& videoSavePath() const { return videoSavePath_; }
  const std::string& audioSavePath() const { return audioSavePath_; }
  const std::string& rawVideoSavePath() const { return rawVideoSavePath_; }
  const std::string& rawAudioSavePath() const { return rawAudioSavePath_; }
  int32_t rawVideoPerFrame() const { return rawVideoPerFrame_; }
  // Copies width x height 32-bit pixels; null or an empty size clears it.
  // Media opened later get the new picture; an open medium keeps its own.
  void setStillPicture(int32_t width, int32_t height, const uint32_t* pixels);
  StillPicture stillPicture() const;

  // Read access for the controller, the shell and tests.
  MediaSource* source() const { return source_.get(); }
  VideoRenderer* renderer() const { return renderer_.get(); }
  AudioSink* audio() const { return audio_.get(); }
  WindowSurface* targetWindow() const { return targetWindow_; }
  int32_t rendererKind() const { return rendererKind_; }
  OutputFormat outputFormat() const { return outputFormat_; }
  int32_t positionMs() const { return positionMs_; }
  int32_t clockMs() const { return clockMs_; }
  int32_t outputX() const { return outputX_; }
  int32_t outputY() const { return outputY_; }
  int32_t outputWidth() const { return outputWidth_; }
  int32_t outputHeight() const { return outputHeight_; }

  // Test seams: by default createVideoRenderer and createMediaSource.
  void setRendererFactory(RendererFactory factory);
  void setSourceFactory(SourceFactory factory);
  // By default the sound device's (soundDeviceSinkFactory); null restores
  // it. Lent: it must outlive the engine.
  void setAudioSinkFactory(const AudioSinkFactory* factory);

 private:
  // createMediaSource, noting why a stream was refused.
  SourceFactory defaultSourceFactory();
  int openNamed(const char* urlBase, const char* name);
  void chooseFormatAndRenderer(bool preferYuv);
  void setUpAudio();
  int renderFrameImpl(FrameRequest request, bool mayRecreate);
  // Has the source write a picture into the renderer's buffer (its time into
  // positionMs) without showing it.
  bool decodeIntoBuffer(FrameRequest request, int32_t& positionMs, bool mayRecreate);
  int presentFrame(bool mayRecreate);
  // One playback step for media with pictures: decodes ahead, shows when due.
  bool advanceVideo(bool audioClocked);
  bool sourceIsAudioOnly() const;
  void enqueueAudioAt(int32_t timeMs);

  const MillisecondClock& clock_;
  RendererFactory rendererFactory_;
  SourceFactory sourceFactory_;
  const AudioSinkFactory* audioSinks_;

  std::unique_ptr<VideoRenderer> renderer_;
  std::unique_ptr<AudioSink> audio_;
  std::unique_ptr<MediaSource> source_;
  int32_t repeat_ = 0;
  int32_t useDirectDraw_ = 1;
  PostfilterMode postfilter_ = kPostfilterAuto;
  int32_t rendererKind_ = kRendererHardware;
  OutputFormat outputFormat_ = kFormatYuy2;
  WindowSurface* targetWindow_ = nullptr;
  int32_t outputX_ = 0;
  int32_t outputY_ = 0;
  int32_t outputWidth_ = -1;
  int32_t outputHeight_ = -1;
  int32_t positionMs_ = 0;
  bool atEnd_ = false;  // playback ended at the last frame, or went to the end
  // A picture decoded ahead into the renderer's buffer, shown at its time.
  bool pendingFrame_ = false;
  int32_t pendingPositionMs_ = 0;
  int32_t clockMs_ = 0;
  int32_t clockBaseMs_ = 0;
  int64_t tickBaseMs_ = 0;
  int32_t udpPort_ = 6970;
  int32_t rtspTransport_ = 0;
  int32_t openFailedStatus_ = 0;
  int32_t bufferMs_ = 2000;
  int32_t timeoutMs_ = 10000;
  const uint8_t* backgroundBits_ = nullptr;
  int32_t backgroundWidth_ = 0;
  int32_t backgroundHeight_ = 0;
  std::string videoSavePath_;
  std::string audioSavePath_;
  std::string rawVideoSavePath_;
  std::string rawAudioSavePath_;
  int32_t rawVideoPerFrame_ = 0;
  std::vector<uint32_t> stillBits_;
  // The still picture an open source was given, kept until it closes when
  // a new one replaces it.
  std::vector<uint32_t> lentStillBits_;
  int32_t stillWidth_ = 0;
  int32_t stillHeight_ = 0;
};

}  // namespace strevana
