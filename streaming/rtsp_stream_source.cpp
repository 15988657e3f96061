#include "streaming/rtsp_stream_source.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "media/audio_conversion.h"
#include "media/stream_saving.h"
#include "protocols/rtsp/rtsp_credentials.h"
#include "streaming/media_entry.h"
#include "streaming/payload_config.h"

namespace strevana {

namespace {

// The stream-pin library's accessors in the shapes the session asks for.
int32_t allocateElement(CBufferElem*& element, uint32_t size) {
  return CIOStrmPin::allocateBufferElem(element, size);
}
int32_t elementData(CBufferElem* element, uint8_t*& data) {
  uint32_t size = 0;
  return CIOStrmPin::getData(element, data, size);
}

constexpr uint64_t kNoTime = ~uint64_t{0};

uint32_t clampedOption(int32_t value) { return value > 0 ? static_cast<uint32_t>(value) : 0u; }

int32_t toMs(uint64_t ticks, uint32_t rate) {
  if (rate == 0) return 0;
  return static_cast<int32_t>(std::min<uint64_t>(ticks * 1000 / rate, INT32_MAX));
}

// Puts an element into a queue, freeing it when the queue is full.
void enqueue(CInStrmPin& queue, CBufferElem* element) {
  if (queue.put(element) != kPinOk) CIOStrmPin::freeBufferElem(element);
}

uint64_t lostOf(const MediaEntry* entry) {
  if (!entry || !entry->receiver) return 0;
  const int64_t lost = entry->receiver->lostCount();
  return lost > 0 ? static_cast<uint64_t>(lost) : 0;
}

uint64_t receivedOf(const MediaEntry* entry) {
  return entry && entry->receiver ? entry->receiver->receivedCount() : 0;
}

}  // namespace

RtspStreamSource::RtspStreamSource(const char* urlBase, const char* name, OutputFormat format,
                                   PostfilterMode postfilter, int32_t udpPort, int32_t bufferMs,
                                   int32_t timeoutMs, int32_t stillWidth, int32_t stillHeight,
                                   const uint32_t* stillBits, const char* videoStreamPath,
                                   const char* audioStreamPath, const char* rawVideoPath,
                                   const char* rawAudioPath, int32_t rawVideoPerFrame,
                                   const MillisecondClock& clock, RtspTransport transport)
    : bufferMs_(clampedOption(bufferMs)),
      timeoutMs_(clampedOption(timeoutMs)),
      transport_(transport),
      videoQueue_(std::make_unique<CInStrmPin>(kQueueCapacity)),
      audioQueue_(std::make_unique<CInStrmPin>(kQueueCapacity)),
      prebufferWait_(clock, bufferMs_, timeoutMs_),
      videoWait_(clock, bufferMs_, timeoutMs_),
      audioWait_(clock, bufferMs_, timeoutMs_) {
  live = streaming = 1;
  width = stillWidth;
  height = stillHeight;
  stillPicture = stillBits;
  outputFormat = format;
  setRawVideoFile(rawVideoPath, rawVideoPerFrame);
  setRawAudioFile(rawAudioPath);
  if (!open(urlBase, name, udpPort, postfilter, videoStreamPath, audioStreamPath)) {
    hasVideo = hasAudio = 0;
    if (session_) openFailureStatus_ = session_->lastFailedStatus();
    RtspSession::destroy(session_);
  }
}

RtspStreamSource::~RtspStreamSource() {
  // The receive thread stops here; nothing it touches is freed before.
  RtspSession::destroy(session_);
  videoDepacketizer_.reset();
  audioDepacketizer_.reset();
  video_.reset();
  audio_.reset();
}

int32_t RtspStreamSource::durationOf(const MediaEntry* entry) const {
  double seconds = mediaRangeEnd(entry);
  if (seconds == 0.0 && session_) seconds = session_->rangeEnd() - session_->rangeStart();
  const double ms = seconds * 1000.0;
  if (!(ms >= 1.0) || ms >= static_cast<double>(kUnknownDurationMs)) return kUnknownDurationMs;
  return static_cast<int32_t>(ms);
}

bool RtspStreamSource::open(const char* urlBase, const char* name, int32_t udpPort,
                            PostfilterMode postfilter, const char* videoStreamPath,
                            const char* audioStreamPath) {
  if (!name) return false;
  std::string location;
  if (urlBase) {
    location = std::string(urlBase) + "/" + name;
  } else {
    location = name;
  }
  // The joined URL when it fits the name field, else the part after the
  // last slash.
  const std::string shown = urlWithoutPassword(location);
  if (!setName(shown.c_str())) setName(urlWithoutPassword(name).c_str());

  RtspSession::create(session_, nullptr, allocateElement, elementData, this);
  if (!session_) return false;
  session_->setTransport(transport_);
  const uint32_t port =
      udpPort > 0 ? static_cast<uint32_t>(udpPort) : RtspSession::kDefaultClientPort;
  const int32_t described =
      urlBase ? session_->describe(location, port) : session_->loadDescription(location, port);
  if (described != kSessionOk) return false;

  for (MediaEntry* entry = session_->firstMedia(); entry; entry = entry->next) {
    const PayloadKind kind = payloadKindOf(mediaEncodingName(entry));
    const int media = classifyMedia(entry);
    if (media != kMediaVideo && media != kMediaAudio) continue;
    const bool isVideo = media == kMediaVideo;
    const uint32_t rate = mediaClockRate(entry);
    std::vector<uint8_t> config(configLength(entry));
    if (!config.empty() &&
        decodeConfig(entry, config.data(), static_cast<uint32_t>(config.size())) != 0) {
      config.clear();
    }
    if (isVideo) {
      videoEntry_ = entry;
      videoKind_ = kind;
      videoClock_ = rate ? rate : 25;
      videoDurationMs_ = durationOf(entry);
      durationMs = videoDurationMs_;
      videoDepacketizer_ = FrameDepacketizer::create(
          *entry, [this](CBufferElem* element, int64_t time) { onVideoUnit(element, time); });
      setDeliverCallback(entry, onVideoFrame, videoDepacketizer_.get());
      videoConfig_ = std::move(config);
      hasVideo = !videoConfig_.empty() && videoDepacketizer_ ? 1 : 0;
    } else {
      audioEntry_ = entry;
      audioKind_ = kind;
      audioClock_ = rate ? rate : 44100;
      audioDurationMs_ = durationOf(entry);
      audioDepacketizer_ = FrameDepacketizer::create(
          *entry, [this](CBufferElem* element, int64_t time) { onAudioUnit(element, time); });
      setDeliverCallback(entry, onAudioFrame, audioDepacketizer_.get());
      audioConfig_ = std::move(config);
      hasAudio = !audioConfig_.empty() && audioDepacketizer_ ? 1 : 0;
    }
    session_->addStream(entry);
  }
  if (!hasVideo && !hasAudio) return false;
  if (session_->aggregateAvailable()) session_->setAggregateControl(1);

  if (hasVideo) {
    setVideoStreamFile(videoStreamPath, videoConfig_.data(),
                       static_cast<uint32_t>(videoConfig_.size()));
    if (!setupVideoDecoder(outputFormat, postfilter)) hasVideo = 0;
  }
  if (hasAudio) {
    setAudioStreamFile(audioStreamPath, audioConfig_.data(),
                       static_cast<uint32_t>(audioConfig_.size()));
    if (!setupAudioDecoder()) hasAudio = 0;
  }
  if (!hasVideo && !hasAudio) return false;
  if (!hasVideo) durationMs = audioDurationMs_;

  if (session_->setup(nullptr) != kSessionOk || session_->play() != kSessionOk) return false;
  if (displayWidth == 0) {
    displayWidth = static_cast<int32_t>(width * pixelAspect);
    displayHeight = height;
  }
  return true;
}

bool RtspStreamSource::setupVideoDecoder(OutputFormat format, PostfilterMode postfilter) {
  if (videoDecoderFormat(format) == 0) return false;
  outputFormat = format;
  if (!hasVideo) return true;
  if (videoConfig_.empty()) return false;
  VideoDecodePipe::Setup setup;
  setup.format = format;
  setup.postfilter = postfilter;
  setup.config = videoConfig_.data();
  setup.configLength = static_cast<uint32_t>(videoConfig_.size());
  setup.rawSaveOutput = !rawVideoFile.empty();
  video_ = VideoDecodePipe::create(setup);
  if (!video_) {
    videoAccepting_ = false;
    return false;
  }
  pixelAspect = video_->pixelAspect();
  // The configuration tells the picture size, so the renderer is made for it
  // before the first picture arrives.
  int32_t w = 0, h = 0;
  video_->pictureSize(w, h);
  if (w > 0 && h > 0) {
    width = w;
    height = h;
  }
  int32_t a = 0, b = 0, bottom = 0, right = 0;
  if (session_ && session_->findClipRect(a, b, bottom, right)) {
    displayHeight = bottom;
    displayWidth = right;
  } else {
    displayWidth = static_cast<int32_t>(width * pixelAspect);
    displayHeight = height;
  }
  blankUntilClean_ = true;
  newestVideoMs_ = 0;
  oldestVideoMs_ = 0;
  videoAccepting_ = true;
  return true;
}

bool RtspStreamSource::setupAudioDecoder() {
  if (audioConfig_.empty()) return false;
  AudioDecodePipe::Setup setup;
  setup.kind = kAudioKindAac;
  switch (audioKind_) {
    case PayloadKind::kMpeg4Generic: setup.format = kAudioFormatGeneric; break;
    case PayloadKind::kMp4aLatm: setup.format = kAudioFormatLatm; break;
    default: return false;
  }
  setup.config = audioConfig_.data();
  setup.configLength = static_cast<uint32_t>(audioConfig_.size());
  audio_ = AudioDecodePipe::create(setup);
  if (!audio_) return false;
  audioCodec = kAudioCodecAac;
  decodedRate = audio_->decodedRate();
  decodedChannels = audio_->decodedChannels();
  decodedBits = 16;
  audioGap_ = 0;
  audioExpected_ = 0;
  newestAudio_ = 0;
  oldestAudio_ = 0;
  audioStarted_ = false;
  audioAccepting_ = decodedRate > 0 && decodedChannels > 0;
  return audioAccepting_;
}

// ---- receive thread ----

void RtspStreamSource::onVideoUnit(CBufferElem* element, int64_t timeMs) {
  if (!element) return;
  if (!videoAccepting_.load()) {
    CIOStrmPin::freeBufferElem(element);
    return;
  }
  const int32_t ms = static_cast<int32_t>(std::clamp<int64_t>(timeMs, 0, INT32_MAX));
  appendVideoStream(*this, element->data(), element->size());
  enqueue(*videoQueue_, element);
  newestVideoMs_ = ms;
  if (oldestVideoMs_.load() == 0) oldestVideoMs_ = ms;
}

void RtspStreamSource::onAudioUnit(CBufferElem* element, int64_t ticks) {
  if (!element) return;
  if (!audioAccepting_.load() || element->size() == 0) {
    CIOStrmPin::freeBufferElem(element);
    return;
  }
  const uint64_t t = ticks > 0 ? static_cast<uint64_t>(ticks) : 0;
  appendAudioStream(*this, element->data(), element->size());
  enqueue(*audioQueue_, element);
  newestAudio_ = static_cast<uint32_t>(t);
  if (oldestAudio_.load() == 0) oldestAudio_ = static_cast<uint32_t>(t);
}

// ---- waiting ----

bool RtspStreamSource::notNow(Step step) {
  awaiting_ = step == Step::kWaiting;
  if (step == Step::kFailed) failed_ = true;
  return false;
}

RtspStreamSource::Step RtspStreamSource::prebuffer() {
  if (!prebuffering_) return Step::kDone;
  bool filled;
  CInStrmPin* queue;
  if (hasVideo) {
    filled = newestVideoMs_.load() - static_cast<int64_t>(oldestVideoMs_.load()) > bufferMs_;
    queue = videoQueue_.get();
  } else {
    // Audio clock units compared with the buffer time as they are.
    filled = static_cast<int64_t>(newestAudio_.load()) - oldestAudio_.load() > bufferMs_;
    queue = audioQueue_.get();
  }
  if (!filled && prebufferWait_.mayWait()) return Step::kWaiting;
  prebufferWait_.end();
  prebuffering_ = false;
  if (bufferMs_ > 0 && queue->count() == 0) return Step::kFailed;
  return Step::kDone;
}

// ---- video ----

void RtspStreamSource::blankPicture() {
  CBufferElem* picture = video_->currentPicture();
  if (!blankUntilClean_ || !picture) return;
  if (picture->desc().needsBlanking() == 0) {
    blankUntilClean_ = false;
    return;
  }
  picture->hold(nullptr);  // its bytes are the picture from now on
  uint8_t* data = picture->data();
  const uint32_t size = picture->size();
  if (outputFormat == kFormatYuy2) {
    static constexpr uint8_t kBlack[4] = {0x00, 0x80, 0x00, 0x80};
    for (uint32_t i = 0; i < size; ++i) data[i] = kBlack[i % 4];
  } else {
    std::memset(data, 0, size);
  }
}

RtspStreamSource::Step RtspStreamSource::decodeNextVideo() {
  if (!video_ || video_->status() != 0) return Step::kFailed;
  for (;;) {
    if (video_->output().count() == 0) {
      if (videoQueue_->count() < kMinQueuedVideo) {
        const bool buffered =
            videoQueue_->count() >= kMinQueuedVideo &&
            newestVideoMs_.load() - static_cast<int64_t>(oldestVideoMs_.load()) > bufferMs_;
        if (!buffered && videoWait_.mayWait()) return Step::kWaiting;
        videoWait_.end();
        // The last pictures of a stream that stopped are still shown.
        if (videoQueue_->count() == 0) return Step::kFailed;
      }
      videoWait_.end();
      CBufferElem* unit = videoQueue_->next();
      if (unit && video_->input().put(unit) != kPinOk) CIOStrmPin::freeBufferElem(unit);
      video_->step();
      if (video_->output().count() == 0) {
        if (video_->status() != 0) return Step::kFailed;
        continue;
      }
    }
    video_->takePicture(this);
    if (CBufferElem* picture = video_->currentPicture()) {
      oldestVideoMs_ = static_cast<int32_t>(picture->desc().time() & INT32_MAX);
    }
    blankPicture();
    return Step::kDone;
  }
}

bool RtspStreamSource::getVideoFrame(FrameRequest request, int32_t dstStride,
                                     const uint8_t* backgroundBits, int32_t backgroundWidth,
                                     int32_t backgroundHeight, uint8_t* dst, int32_t& positionMs) {
  awaiting_ = false;
  if (failed_) return false;
  if (const Step s = prebuffer(); s != Step::kDone) return notNow(s);
  if (!hasVideo) {
    if (!hasAudio) return false;
    drawStillPicture(dstStride, dst);
    if (audioFrameIndex_ > audioDurationMs_) return false;
    positionMs = static_cast<int32_t>(1000000 / audioClock_);
    return true;
  }
  bool decode = false;
  switch (request) {
    case kRequestCurrent: decode = !video_ || !video_->currentPicture(); break;
    case kRequestNext:
    case kRequestNextCatchingUp: decode = true; break;
    case kRequestPrevious:
      if (video_ && video_->currentPicture()) video_->currentPicture()->desc().markRepeated();
      break;
    default: break;
  }
  if (decode) {
    if (const Step s = decodeNextVideo(); s != Step::kDone) return notNow(s);
  }
  if (!video_ || !video_->currentPicture()) {
    positionMs = 0;
    return false;
  }
  // The pictures tell the real size once they come: the renderer was made
  // for the announced one, which a picture of another size must not overrun.
  video_->copyPicture(*this, dst, dstStride, backgroundBits, backgroundWidth, backgroundHeight);
  positionMs = static_cast<int32_t>(video_->currentPicture()->desc().time() & INT32_MAX);
  return true;
}

// ---- audio ----

RtspStreamSource::Step RtspStreamSource::decodeNextAudio(AudioChunk*& chunks, uint64_t& time) {
  chunks = nullptr;
  if (!audio_ || audio_->output().isFinished()) return Step::kFailed;
  for (;;) {
    if (audio_->output().count() == 0) {
      if (audioGap_ > kSilenceSamples) {
        audioGap_ = static_cast<int32_t>(static_cast<uint32_t>(audioGap_) & 0xFFFFFD00u);
        const int32_t bytes = kSilenceSamples * decodedChannels * (decodedBits / 8);
        auto* chunk = new AudioChunk(bytes);
        if (chunk->size > 0) std::memset(chunk->data.get(), 0, static_cast<size_t>(chunk->size));
        convertAudioChunk(chunk, *this);
        audioExpected_ += kSilenceSamples;
        audioGap_ -= kSilenceSamples;
        chunks = chunk;
        return Step::kDone;
      }
      if (audioQueue_->count() == 0) {
        const int64_t bufferedMs = static_cast<int64_t>(audioQueue_->count()) * kUnitSamples *
                                   1000 / std::max(1, decodedRate);
        const bool buffered = audioQueue_->count() > 0 && bufferedMs > bufferMs_;
        if (!buffered && audioWait_.mayWait()) return Step::kWaiting;
        audioWait_.end();
        if (audioQueue_->count() == 0) return Step::kFailed;
      }
      audioWait_.end();
      CBufferElem* unit = audioQueue_->next();
      if (unit && audio_->input().put(unit) != kPinOk) CIOStrmPin::freeBufferElem(unit);
      if (!audio_->decode()) return Step::kFailed;
    }
    uint64_t t = 0;
    uint32_t samples = 0;
    AudioChunk* chunk = audio_->takeChunk(*this, &t, &samples);
    // A damaged unit decodes to nothing: the next one is tried.
    if (!chunk) continue;
    // The stream's sound starts where its first unit is; only later gaps
    // are silence.
    if (!audioStarted_) audioExpected_ = static_cast<int32_t>(static_cast<uint32_t>(t));
    audioGap_ =
        static_cast<int32_t>(static_cast<uint32_t>(t) - static_cast<uint32_t>(audioExpected_));
    audioExpected_ = static_cast<int32_t>(static_cast<uint32_t>(audioExpected_) + samples);
    chunks = chunk;
    time = t;
    return Step::kDone;
  }
}

bool RtspStreamSource::getAudio(FrameRequest request, AudioChunk*& chunks, int32_t& timeMs,
                                uint8_t& timeChanged) {
  timeChanged = 0;
  awaiting_ = false;
  if (!hasAudio || failed_) return false;
  if (const Step s = prebuffer(); s != Step::kDone) return notNow(s);
  switch (request) {
    case kRequestFirst: audioFrameIndex_ = 1; break;
    case kRequestLast: audioFrameIndex_ = audioSampleCount - 1; break;
    case kRequestNext: ++audioFrameIndex_; break;
    case kRequestPrevious: --audioFrameIndex_; break;
    default: break;
  }
  uint64_t t = kNoTime;
  AudioChunk* list = nullptr;
  if (const Step s = decodeNextAudio(list, t); s != Step::kDone) return notNow(s);
  chunks = list;
  if (t != kNoTime) {  // silence leaves the time as it was
    timeMs = toMs(t, static_cast<uint32_t>(std::max(1, decodedRate)));
    if (!audioStarted_) {
      audioStarted_ = true;
      timeChanged = 1;
    }
  }
  return true;
}

// ---- settings and counters ----

void RtspStreamSource::setPostfilter(PostfilterMode mode) {
  if (video_) video_->setPostfilter(mode);
}

bool RtspStreamSource::prefersRgbOutput() { return video_ && video_->hasAlpha(); }

bool RtspStreamSource::setOutputFormat(OutputFormat format) {
  if (!hasVideo) {
    outputFormat = format;
    return true;
  }
  if (!video_) return false;
  // Access units keep queueing meanwhile: the new decoder takes them.
  const PostfilterMode mode = video_->postfilter();
  video_.reset();
  if (!setupVideoDecoder(format, mode)) hasVideo = 0;
  return true;
}

uint64_t RtspStreamSource::videoPacketsReceived() { return hasVideo ? receivedOf(videoEntry_) : 0; }
uint64_t RtspStreamSource::videoPacketsLost() { return hasVideo ? lostOf(videoEntry_) : 0; }
uint64_t RtspStreamSource::audioPacketsReceived() { return hasAudio ? receivedOf(audioEntry_) : 0; }
uint64_t RtspStreamSource::audioPacketsLost() { return hasAudio ? lostOf(audioEntry_) : 0; }

bool RtspStreamSource::receptionFigures(ReceptionFigures& video, ReceptionFigures& audio) {
  video = {};
  audio = {};
  if (hasVideo && videoEntry_ && videoEntry_->receiver) {
    video.jitterMs = videoEntry_->receiver->jitterMs();
    video.outOfOrder = videoEntry_->receiver->outOfOrderCount();
  }
  if (hasAudio && audioEntry_ && audioEntry_->receiver) {
    audio.jitterMs = audioEntry_->receiver->jitterMs();
    audio.outOfOrder = audioEntry_->receiver->outOfOrderCount();
  }
  return true;
}

uint64_t RtspStreamSource::droppedVideoFrames() const {
  return videoDepacketizer_ ? videoDepacketizer_->droppedFrames() : 0;
}
uint64_t RtspStreamSource::droppedAudioFrames() const {
  return audioDepacketizer_ ? audioDepacketizer_->droppedFrames() : 0;
}

}  // namespace strevana
