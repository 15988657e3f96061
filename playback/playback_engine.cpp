#include "playback/playback_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "audio/audio_sink.h"
#include "streaming/media_source_factory.h"
#include "video/video_renderer.h"

namespace strevana {

namespace {

constexpr size_t kUrlPartCapacity = 256;  // 255 characters and terminator

int32_t clampToInt32(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// Truncates toward zero; values outside 32 bits (or not a number) are clamped.
int32_t truncateToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// Sources never see the automatic mode: they filter fully until the engine
// finds playback lagging.
PostfilterMode modeForSource(PostfilterMode mode) {
  return mode == kPostfilterAuto ? kPostfilterBoth : mode;
}

bool storePath(std::string& field, const char* path) {
  if (!path) {
    field.clear();
    return true;
  }
  if (std::strlen(path) >= MediaSource::kSavePathCapacity) return false;
  field = path;
  return true;
}

const char* pathOrNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

}  // namespace

PlaybackEngine::PlaybackEngine(const MillisecondClock& clock)
    : clock_(clock),
      rendererFactory_(createVideoRenderer),
      sourceFactory_(defaultSourceFactory()),
      audioSinks_(&soundDeviceSinkFactory()) {}

PlaybackEngine::~PlaybackEngine() { closeMedia(); }

void PlaybackEngine::setRendererFactory(RendererFactory factory) {
  rendererFactory_ = factory ? std::move(factory) : RendererFactory(createVideoRenderer);
}

void PlaybackEngine::setSourceFactory(SourceFactory factory) {
  sourceFactory_ = factory ? std::move(factory) : defaultSourceFactory();
}

PlaybackEngine::SourceFactory PlaybackEngine::defaultSourceFactory() {
  return [this](const char* urlBase, const char* name, int32_t flags, OutputFormat format,
                PostfilterMode postfilter, int32_t udpPort, int32_t bufferMs, int32_t timeoutMs,
                const char* videoStreamPath, const char* audioStreamPath, const char* rawVideoPath,
                const char* rawAudioPath, int32_t rawVideoPerFrame, int32_t stillWidth,
                int32_t stillHeight, const uint32_t* stillBits) {
    return createMediaSource(urlBase, name, flags, format, postfilter, udpPort, bufferMs, timeoutMs,
                             videoStreamPath, audioStreamPath, rawVideoPath, rawAudioPath,
                             rawVideoPerFrame, stillWidth, stillHeight, stillBits,
                             &openFailedStatus_);
  };
}

void PlaybackEngine::setAudioSinkFactory(const AudioSinkFactory* factory) {
  audioSinks_ = factory ? factory : &soundDeviceSinkFactory();
}

bool PlaybackEngine::sourceIsAudioOnly() const {
  return source_ && source_->hasAudio && !source_->hasVideo;
}

// ---------------------------------------------------------------- opening

int PlaybackEngine::openFile(const char* name) { return openNamed(nullptr, name); }

int PlaybackEngine::openUrl(const char* url) {
  if (!url) return 0;
  const char* slash = std::strrchr(url, '/');
  if (!slash) return 0;
  const size_t baseLength = static_cast<size_t>(slash - url);
  const char* name = slash + 1;
  if (baseLength >= kUrlPartCapacity || std::strlen(name) >= kUrlPartCapacity) return 0;
  char base[kUrlPartCapacity] = {};
  std::memcpy(base, url, baseLength);
  char namePart[kUrlPartCapacity] = {};
  std::memcpy(namePart, name, std::strlen(name));
  if (!openNamed(base, namePart)) return 0;
  // A stream's clock starts from the picture it showed first, not from 0.
  clockMs_ = positionMs_;
  clockBaseMs_ = clockMs_;
  return 1;
}

int PlaybackEngine::openNamed(const char* urlBase, const char* name) {
  closeMedia();
  openFailedStatus_ = 0;
  outputFormat_ = kFormatYuy2;
  const StillPicture still = stillPicture();
  source_ = sourceFactory_(urlBase, name, rtspTransport_, kFormatYuy2, modeForSource(postfilter_),
                           udpPort_, bufferMs_, timeoutMs_, pathOrNull(videoSavePath_),
                           pathOrNull(audioSavePath_), pathOrNull(rawVideoSavePath_),
                           pathOrNull(rawAudioSavePath_), rawVideoPerFrame_, still.width,
                           still.height, still.bits);
  if (!source_) return 0;
  if (source_->prefersRgbOutput() || sourceIsAudioOnly()) {
    outputFormat_ = kFormatBgrx32;
    source_->setOutputFormat(kFormatBgrx32);
  }
  createRenderer();
  // Without a hardware renderer the raster one would convert packed YUV on
  // every present, after the decoder converted to it: the decoder converts
  // straight to 32-bit RGB instead, one conversion, and the raster renderer
  // copies (or scales) it.
  if (renderer_ && rendererKind_ == kRendererRaster && outputFormat_ == kFormatYuy2 &&
      source_->hasVideo && source_->outputFormat == kFormatYuy2 &&
      source_->setOutputFormat(kFormatBgrx32)) {
    outputFormat_ = kFormatBgrx32;
    createRenderer();
    if (!renderer_) {
      outputFormat_ = kFormatYuy2;
      source_->setOutputFormat(kFormatYuy2);
      createRenderer();
    }
  }
  if (!renderer_) {
    outputFormat_ = kFormatBgr24;
    source_->setOutputFormat(kFormatBgr24);
    createRenderer();
  }
  if (!renderer_ && targetWindow_ && source_->hasVideo) {
    // Pictures no renderer can show: a failed open, not a black window.
    closeMedia();
    return 0;
  }
  setUpAudio();
  clockMs_ = 0;
  tickBaseMs_ = clock_.nowMs();
  clockBaseMs_ = clockMs_;
  return 1;
}

int PlaybackEngine::openSource(std::unique_ptr<MediaSource> newSource) {
  closeMedia();
  // A source whose file could not be opened has nothing to play.
  if (!newSource || (!newSource->hasVideo && !newSource->hasAudio)) return 0;
  source_ = std::move(newSource);
  source_->setPostfilter(modeForSource(postfilter_));
  outputFormat_ = kFormatYuy2;
  source_->setOutputFormat(kFormatYuy2);
  createRenderer();
  if (!renderer_) {
    outputFormat_ = kFormatBgr24;
    source_->setOutputFormat(kFormatBgr24);
    createRenderer();
    if (!renderer_) return 0;
  }
  setUpAudio();
  clockMs_ = 0;
  tickBaseMs_ = clock_.nowMs();
  clockBaseMs_ = clockMs_;
  return 1;
}

void PlaybackEngine::setUpAudio() {
  if (!source_ || !source_->hasAudio) return;
  // Opening always closed the previous medium, and its sink with it.
  try {
    audio_ = audioSinks_->create();
  } catch (const std::bad_alloc&) {
    audio_.reset();
  }
  if (!audio_) return;
  double rate = source_->decodedRate;
  int32_t channels = source_->decodedChannels;
  int32_t bits = source_->decodedBits;
  bool ok = audioSinks_->negotiateFormat(rate, channels, bits);
  if (ok) {
    source_->outputRate = truncateToInt32(rate);
    source_->outputChannels = channels;
    source_->outputBits = bits;
    ok = audio_->open(rate, channels, bits, kAudioLatencyMs);
  }
  if (!ok) audio_.reset();
}

int PlaybackEngine::closeMedia() {
  atEnd_ = false;
  pendingFrame_ = false;
  renderer_.reset();
  source_.reset();
  lentStillBits_ = {};
  audio_.reset();
  return 1;
}

// ---------------------------------------------------------------- output

int PlaybackEngine::setVideoWindow(WindowSurface* window, int32_t x, int32_t y, int32_t width,
                                   int32_t height) {
  if (width < 0) {
    width = -width;
    height = -height;
  }
  outputX_ = x;
  outputY_ = y;
  outputWidth_ = width;
  outputHeight_ = height;
  if (renderer_ && window == targetWindow_) {
    renderer_->setOutputRect(x, y, width, height);
    renderFrame(kRequestCurrent);
  } else {
    targetWindow_ = window;
    createRenderer();
  }
  return 1;
}

int PlaybackEngine::createRenderer() {
  if (!targetWindow_ || !source_) return 0;
  rendererKind_ = useDirectDraw_ ? kRendererHardware : kRendererRaster;
  // A renderer made in place of another (new window, resize failure, the
  // DirectDraw switch) shows the picture that was on screen again.
  const bool replacing = renderer_ != nullptr;
  const int32_t shownMs = positionMs_;
  renderer_.reset();
  renderer_ = rendererFactory_(targetWindow_, 0, 0, source_->width, source_->height, rendererKind_,
                               outputFormat_);
  if (!renderer_ && rendererKind_ != kRendererRaster) {
    rendererKind_ = kRendererRaster;
    renderer_ = rendererFactory_(targetWindow_, 0, 0, source_->width, source_->height,
                                 rendererKind_, source_->outputFormat);
  }
  if (!renderer_) return 0;
  renderer_->setSourceRect(0, 0, source_->displayWidth, source_->displayHeight);
  // A renderer that opens but cannot draw is found here, before any decoding.
  if (!renderer_->setOutputRect(20, 20, 25, 25) || !renderer_->present()) {
    renderer_.reset();
    return 0;
  }
  renderer_->clear();
  renderer_->present();
  if (!renderer_->setOutputRect(outputX_, outputY_, outputWidth_, outputHeight_)) return 1;
  // The source's current picture is the one decoded ahead while one waits
  // for its time, and a file source that played to its end holds none any
  // more: then the picture on screen is asked for by its time.
  const bool byTime = replacing && !source_->live && (pendingFrame_ || atEnd_);
  positionMs_ = 0;
  // No second recreation from in here: a renderer that keeps failing its
  // lock would otherwise recurse without end.
  if (byTime || !renderFrameImpl(kRequestCurrent, false)) {
    if (replacing && !source_->live) {
      positionMs_ = shownMs;
      renderFrameImpl(kRequestAtPosition, false);
    }
  }
  return 1;
}

int PlaybackEngine::renderFrame(FrameRequest request) { return renderFrameImpl(request, true); }

int PlaybackEngine::renderFrameImpl(FrameRequest request, bool mayRecreate) {
  // Whatever was decoded ahead is replaced by the picture asked for now.
  pendingFrame_ = false;
  if (!decodeIntoBuffer(request, positionMs_, mayRecreate)) return 0;
  return presentFrame(mayRecreate);
}

bool PlaybackEngine::decodeIntoBuffer(FrameRequest request, int32_t& positionMs, bool mayRecreate) {
  if (!source_) return false;
  uint8_t* bits = nullptr;
  int32_t size = 0;
  int32_t stride = 0;
  bool locked = renderer_ && renderer_->lockBuffer(bits, size, stride);
  if (!locked) {
    if (!mayRecreate) return false;
    createRenderer();
    locked = renderer_ && renderer_->lockBuffer(bits, size, stride);
    if (!locked) return false;
  }
  // The source writes a whole picture in its own format: never let it run
  // past a buffer made for something smaller.
  const int64_t needed = bufferBytes(source_->outputFormat, source_->width, source_->height);
  const int32_t row = rowBytes(source_->outputFormat, source_->width);
  const bool fits = bits && needed > 0 && stride >= row &&
                    static_cast<int64_t>(stride) * (source_->height - 1) + row <= size;
  bool ok = false;
  if (fits) {
    ok = source_->getVideoFrame(request, stride, backgroundBits_, backgroundWidth_,
                                backgroundHeight_, bits, positionMs);
  }
  renderer_->unlockBuffer();
  return ok;
}

int PlaybackEngine::presentFrame(bool mayRecreate) {
  if (renderer_->present()) return 1;
  if (!mayRecreate) return 0;
  createRenderer();
  return renderer_ && renderer_->present() ? 1 : 0;
}

// ---------------------------------------------------------------- positioning

void PlaybackEngine::enqueueAudioAt(int32_t timeMs) {
  AudioChunk* chunks = nullptr;
  int32_t time = timeMs;
  uint8_t changed = 0;
  const bool ok = source_->getAudio(kRequestAtPosition, chunks, time, changed);
  if (ok && audio_) {
    audio_->enqueue(chunks);
  } else {
    freeAudioChunkList(chunks);
  }
}

int PlaybackEngine::play() {
  if (!source_ || !renderer_) return 0;
  // The last frame's time stamp lies below the duration, so a medium that
  // played or was put to its end is recognised by how it got there too.
  if (positionMs_ >= source_->durationMs || atEnd_) {
    positionMs_ = 0;
    clockMs_ = 0;
    renderFrame(kRequestFirst);
    if (!source_) return 0;
  }
  atEnd_ = false;
  if (audio_ && source_->hasAudio) {
    audio_->setTime(clockMs_);
    AudioChunk* chunks = nullptr;
    int32_t time = clockMs_;
    uint8_t changed = 0;
    const bool ok = source_->getAudio(kRequestAtPosition, chunks, time, changed);
    if (source_->live) {
      // The stream says where it stands: the clock follows it. Rebasing
      // flushes the queue, so it comes before the first audio is queued.
      clockMs_ = time;
      audio_->setTime(time);
    }
    if (ok) {
      audio_->enqueue(chunks);
    } else {
      freeAudioChunkList(chunks);
    }
    if (source_->live) {
      while (audio_->queuedMs() < kAudioPrimeMs) {
        AudioChunk* more = nullptr;
        int32_t t = 0;
        if (!source_->getAudio(kRequestNext, more, t, changed) || !more) {
          freeAudioChunkList(more);
          break;
        }
        audio_->enqueue(more);
      }
    }
  }
  tickBaseMs_ = clock_.nowMs();
  clockBaseMs_ = clockMs_;
  return 1;
}

int PlaybackEngine::pause() {
  if (audio_) audio_->stop();
  if (source_ && source_->live) closeMedia();
  return 1;
}

int PlaybackEngine::stepForward() {
  if (!source_ || !renderer_) return 0;
  if (audio_) audio_->stop();
  if (positionMs_ >= source_->durationMs) return 0;
  int ok = 0;
  if (pendingFrame_) {
    // The next picture is already decoded: show it.
    pendingFrame_ = false;
    positionMs_ = pendingPositionMs_;
    ok = presentFrame(true);
  } else {
    ok = renderFrame(kRequestNext);
  }
  clockMs_ = positionMs_;
  return ok;
}

int PlaybackEngine::stepBackward() {
  if (!source_ || !renderer_) return 0;
  if (audio_) audio_->stop();
  atEnd_ = false;
  int ok = 0;
  if (pendingFrame_) {
    // The source stands one picture ahead of the screen: the one before the
    // picture on screen is the last one shown before its time.
    positionMs_ = positionMs_ > 0 ? positionMs_ - 1 : 0;
    ok = renderFrame(kRequestAtPosition);
  } else {
    ok = renderFrame(kRequestPrevious);
  }
  clockMs_ = positionMs_;
  return ok;
}

int PlaybackEngine::rewind() {
  if (!source_) return 0;
  atEnd_ = false;
  positionMs_ = 0;
  clockMs_ = 0;
  if (audio_) audio_->setTime(0);
  play();
  if (renderer_) renderFrame(kRequestFirst);
  return 1;
}

int PlaybackEngine::seekToEnd() {
  if (!source_) return 0;
  positionMs_ = source_->durationMs;
  clockMs_ = source_->durationMs;
  atEnd_ = true;
  if (audio_) audio_->stop();
  if (renderer_) renderFrame(kRequestLast);
  return 1;
}

int PlaybackEngine::seekTo(int32_t ms) {
  if (!source_) return 0;
  atEnd_ = false;
  positionMs_ = ms;
  clockMs_ = ms;
  if (audio_) audio_->setTime(ms);
  if (source_->hasAudio) enqueueAudioAt(clockMs_);
  tickBaseMs_ = clock_.nowMs();
  clockBaseMs_ = clockMs_;
  if (renderer_) renderFrame(kRequestAtPosition);
  return 1;
}

int PlaybackEngine::setUseDirectDraw(int32_t flag) {
  useDirectDraw_ = flag ? 1 : 0;
  if (!source_) return 1;
  if (source_->prefersRgbOutput()) {
    outputFormat_ = kFormatBgrx32;
  } else if (source_->hasVideo || !source_->hasAudio) {
    outputFormat_ = kFormatYuy2;
  } else {
    outputFormat_ = kFormatBgrx32;
  }
  source_->setOutputFormat(outputFormat_);
  createRenderer();
  if (!renderer_) {
    outputFormat_ = kFormatBgr24;
    source_->setOutputFormat(kFormatBgr24);
    createRenderer();
  }
  return 1;
}

int PlaybackEngine::setOverlayImage(int32_t width, int32_t height, const uint8_t* pixels) {
  backgroundWidth_ = width;
  backgroundHeight_ = height;
  backgroundBits_ = pixels;
  return 1;
}

// ---------------------------------------------------------------- settings

void PlaybackEngine::setPostfilter(PostfilterMode mode) {
  postfilter_ = mode;
  if (source_) source_->setPostfilter(modeForSource(mode));
}

bool PlaybackEngine::setVideoSavePath(const char* path) { return storePath(videoSavePath_, path); }
bool PlaybackEngine::setAudioSavePath(const char* path) { return storePath(audioSavePath_, path); }
bool PlaybackEngine::setRawAudioSavePath(const char* path) {
  return storePath(rawAudioSavePath_, path);
}
bool PlaybackEngine::setRawVideoSavePath(const char* path, int32_t perFrame) {
  if (!storePath(rawVideoSavePath_, path)) return false;
  rawVideoPerFrame_ = perFrame;
  return true;
}

void PlaybackEngine::setStillPicture(int32_t width, int32_t height, const uint32_t* pixels) {
  // An open source draws from the copy it was given until it is closed.
  if (source_ && !stillBits_.empty() && source_->stillPicture == stillBits_.data()) {
    lentStillBits_ = std::move(stillBits_);
  }
  stillBits_ = {};
  stillWidth_ = 0;
  stillHeight_ = 0;
  if (!pixels || width <= 0 || height <= 0) return;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  stillBits_.assign(pixels, pixels + count);
  stillWidth_ = width;
  stillHeight_ = height;
}

StillPicture PlaybackEngine::stillPicture() const {
  StillPicture p;
  if (!stillBits_.empty()) {
    p.bits = stillBits_.data();
    p.width = stillWidth_;
    p.height = stillHeight_;
  }
  return p;
}

// ---------------------------------------------------------------- tick

int PlaybackEngine::tick() {
  if (!source_) return 0;

  if (audio_ && source_->hasAudio) {
    audio_->start();
    while (audio_->queuedMs() < kAudioPrimeMs) {
      AudioChunk* chunks = nullptr;
      int32_t time = 0;
      uint8_t changed = 0;
      const bool ok = source_->getAudio(kRequestNext, chunks, time, changed);
      if (!ok || !chunks) {
        freeAudioChunkList(chunks);
        if (!ok && source_->live && !source_->awaitingData()) {
          closeMedia();
          return 0;
        }
        break;
      }
      if (changed) audio_->setTime(time);
      audio_->enqueue(chunks);
    }
  }

  if (!renderer_) return 1;

  if (positionMs_ >= source_->durationMs) {
    if (!repeat_) {
      pause();
      atEnd_ = true;
      return 0;
    }
    rewind();
    if (!source_) return 0;
  }

  bool rendered = false;
  if (audio_ && source_->hasAudio) {
    clockMs_ = truncateToInt32(audio_->playedTimeMs());
    // Audio-only media have no frames to pace: the still picture is asked
    // for on every tick.
    rendered = sourceIsAudioOnly() ? renderFrame(kRequestNext) != 0 : advanceVideo(true);
  } else {
    clockMs_ = clampToInt32(static_cast<int64_t>(clockBaseMs_) + (clock_.nowMs() - tickBaseMs_));
    rendered = advanceVideo(false);
  }
  if (rendered) return 1;

  if (!source_) return 0;
  if (source_->awaitingData()) {
    // A live source buffering or stalled: nothing to show yet, ask again on
    // the next tick. Without sound the clock waits with the pictures.
    if (!(audio_ && source_->hasAudio)) {
      clockBaseMs_ = positionMs_;
      tickBaseMs_ = clock_.nowMs();
    }
    return 1;
  }
  if (source_->live) {
    closeMedia();
    return 0;
  }
  if (repeat_) {
    rewind();
    return 1;
  }
  pause();
  atEnd_ = true;
  return 0;
}

int32_t PlaybackEngine::msUntilNextTick() const {
  if (!source_ || !renderer_ || sourceIsAudioOnly()) return kMaxTickIntervalMs;
  // A live source waiting for the network is asked again a little later;
  // ticking at once would keep the controller lock nearly always taken.
  if (source_->awaitingData()) return kAwaitingDataTickMs;
  if (!pendingFrame_) return 0;
  const int64_t due = static_cast<int64_t>(pendingPositionMs_) - clockMs_;
  return static_cast<int32_t>(std::clamp<int64_t>(due, 1, kMaxTickIntervalMs));
}

bool PlaybackEngine::advanceVideo(bool audioClocked) {
  // The next picture is decoded into the renderer's buffer as soon as the
  // one on screen is shown, and presented once the clock reaches its own time
  // stamp: each picture is on screen from its time until the next one's.
  if (!pendingFrame_) {
    const int64_t lag = static_cast<int64_t>(clockMs_) - positionMs_;
    const FrameRequest request =
        audioClocked && lag >= kCatchUpLagMs ? kRequestNextCatchingUp : kRequestNext;
    pendingPositionMs_ = positionMs_;
    if (!decodeIntoBuffer(request, pendingPositionMs_, true)) return false;
    pendingFrame_ = true;
  }
  if (pendingPositionMs_ > clockMs_) return true;
  pendingFrame_ = false;
  positionMs_ = pendingPositionMs_;
  // Late pictures: the automatic post filter is dropped, whichever clock runs.
  if (static_cast<int64_t>(positionMs_) + kPostfilterDropLagMs < clockMs_ &&
      postfilter_ == kPostfilterAuto) {
    source_->setPostfilter(kPostfilterNone);
  }
  return presentFrame(true) != 0;
}

}  // namespace strevana
