#include "media/mp4_file_source.h"

#include <algorithm>
#include <cstring>

#include "media/stream_saving.h"

namespace strevana {

namespace {

// Configurations larger than this are not believed.
constexpr uint32_t kMaxConfigBytes = 1u << 20;
// Samples a seek decodes past the one shown at the wanted time: more than any
// reordering delay (a B-picture group) needs, so that a track whose samples
// yield no pictures cannot make one seek walk all of it.
constexpr int64_t kSeekReorderSlack = 16;
// Video samples looked at, from the first, for pictures before the start of
// the presentation.
constexpr uint32_t kLeadInScan = 64;
// Samples one step forward feeds without a picture coming out before the
// rest of the track counts as undecodable.
constexpr int kMaxSamplesWithoutPicture = 1024;

}  // namespace

Mp4FileSource::Mp4FileSource(const char* fileName, int32_t, OutputFormat format,
                             PostfilterMode postfilter, const char* videoStreamPath,
                             const char* audioStreamPath, const char* rawVideoPath,
                             const char* rawAudioPath, int32_t rawVideoPerFrame, int32_t stillWidth,
                             int32_t stillHeight, const uint32_t* stillBits) {
  width = stillWidth;
  height = stillHeight;
  stillPicture = stillBits;
  // Before opening, so that the video decoder is made with its raw-save output.
  setRawVideoFile(rawVideoPath, rawVideoPerFrame);
  setRawAudioFile(rawAudioPath);
  if (!open(fileName, format, postfilter)) {
    hasVideo = hasAudio = 0;
    return;
  }
  if (hasVideo) {
    setVideoStreamFile(videoStreamPath, videoConfig_.data(),
                       static_cast<uint32_t>(videoConfig_.size()));
  }
  if (hasAudio) {
    setAudioStreamFile(audioStreamPath, audioConfig_.data(),
                       static_cast<uint32_t>(audioConfig_.size()));
  }
  // Decoded once all four targets are set: its samples are the first in the
  // saved stream and its picture the first in the raw video file.
  if (hasVideo) decodeFirstPicture();
}

Mp4FileSource::~Mp4FileSource() {
  closeFile();
  video_.reset();
  audio_.reset();
}

void Mp4FileSource::closeFile() {
  if (!file_) return;
  if (videoTrack_) file_->releaseTrack(videoTrack_);
  if (audioTrack_) file_->releaseTrack(audioTrack_);
  videoTrack_ = audioTrack_ = nullptr;
  file_->close();
  CMp4File::destroyInstance(file_);
}

uint64_t Mp4FileSource::sumSampleSizes(CMp4Track* track, uint32_t count) {
  uint64_t sum = 0;
  for (uint32_t n = 1; n <= count; ++n) {
    uint32_t size = 0;
    if (track->getSampleSize(n, size) == kMp4Ok) sum += size;
  }
  return sum;
}

bool Mp4FileSource::open(const char* fileName, OutputFormat format, PostfilterMode postfilter) {
  hasAudio = hasVideo = 0;
  if (!fileName || !setName(fileName)) return false;
  if (CMp4File::createInstance(file_) != kMp4Ok || !file_) return false;
  if (file_->open(fileName, 0, 0) != kMp4Ok) {
    CMp4File::destroyInstance(file_);
    return false;
  }

  uint32_t textLength = 0;
  if (file_->getUserText("eng", nullptr, textLength, 0) == kMp4Ok && textLength > 0 &&
      textLength < UINT32_MAX) {
    auto text = std::make_unique<uint8_t[]>(static_cast<size_t>(textLength) + 1);
    uint32_t got = textLength;
    if (file_->getUserText("eng", reinterpret_cast<char*>(text.get()), got, 0) == kMp4Ok &&
        got <= textLength) {
      text[got] = 0;
      metadataText = std::move(text);
      metadataLength = got;
    }
  }

  uint32_t trackCount = 0;
  if (file_->getTrackCount(trackCount) != kMp4Ok || file_->getTimeScale(fileTimeScale_) != kMp4Ok) {
    closeFile();
    return false;
  }

  for (uint32_t index = 1; index <= trackCount; ++index) {
    CMp4Track* track = nullptr;
    if (file_->getTrack(index, track) != kMp4Ok || !track) continue;
    int32_t type = 0;
    track->getType(type);
    if (type == kMp4TrackVideo && !videoTrack_) {
      int32_t code = 0;
      if (track->getCodec(code) != kMp4Ok) continue;
      videoCodec = code;
      if (code != kVideoCodecMpeg4 && code != kVideoCodecH263) continue;
      hasVideo = 1;
      videoTrack_ = track;
      uint32_t count = 0;
      track->getSampleCount(count);
      frameCount = static_cast<int32_t>(std::min<uint32_t>(count, INT32_MAX));
      track->getTimeScale(videoTimeScale_);
      uint32_t dw = 0, dh = 0;
      if (track->getDisplaySize(dw, dh) == kMp4Ok) {
        displayWidth = static_cast<int32_t>(std::min<uint32_t>(dw, INT32_MAX));
        displayHeight = static_cast<int32_t>(std::min<uint32_t>(dh, INT32_MAX));
      }
      int16_t pw = 0, ph = 0;
      if (track->getPictureSize(pw, ph) == kMp4Ok) {
        width = trackWidth_ = pw;
        height = trackHeight_ = ph;
      }
      uint64_t duration = 0;
      if (track->getDuration(duration) == kMp4Ok && fileTimeScale_ > 0) {
        durationMs =
            static_cast<int32_t>(std::min(static_cast<double>(duration) * 1000.0 / fileTimeScale_,
                                          static_cast<double>(INT32_MAX)));
      } else {
        uint64_t last = 0;
        if (videoTimeScale_ > 0 && track->getSampleTime(count, last) == kMp4Ok) {
          durationMs =
              static_cast<int32_t>(std::min(static_cast<double>(last) * 1000.0 / videoTimeScale_,
                                            static_cast<double>(INT32_MAX)));
        }
      }
      videoBytes_ = sumSampleSizes(track, count);
      // Pictures before the start of the presentation (an edit list starting
      // inside a group of pictures) come first in decode order.
      for (uint32_t i = 1; i <= count && i <= kLeadInScan; ++i) {
        uint64_t lead = 0;
        if (track->getSampleLeadIn(i, lead) == kMp4Ok) videoLeadIn_ = std::max(videoLeadIn_, lead);
      }
    } else if (type == kMp4TrackVideo) {
      file_->releaseTrack(track);
    } else if (type == kMp4TrackAudio) {
      hasAudio = 1;
      int32_t code = 0;
      if (track->getCodec(code) == kMp4Ok) audioCodec = code;
      if (audioTrack_) file_->releaseTrack(audioTrack_);
      audioTrack_ = track;
      decodedBits = 16;
      uint32_t count = 0;
      track->getSampleCount(count);
      audioSampleCount = static_cast<int32_t>(std::min<uint32_t>(count, INT32_MAX));
      audioTimeScale_ = 0;
      track->getTimeScale(audioTimeScale_);
      audioBytes_ = sumSampleSizes(track, count);
    } else {
      file_->releaseTrack(track);
    }
  }

  if (hasVideo) {
    if (!createVideoDecoder(format, postfilter)) {
      file_->releaseTrack(videoTrack_);
      videoTrack_ = nullptr;
      hasVideo = 0;
    }
  }
  if (hasAudio) {
    if (!createAudioDecoder()) {
      file_->releaseTrack(audioTrack_);
      audioTrack_ = nullptr;
      hasAudio = 0;
    } else if (!hasVideo) {
      uint64_t duration = 0;
      if (audioTimeScale_ == 0) {
        durationMs = 1000;
      } else if (audioTrack_->getDuration(duration) == kMp4Ok && fileTimeScale_ > 0) {
        durationMs =
            static_cast<int32_t>(std::min(static_cast<double>(duration) * 1000.0 / fileTimeScale_,
                                          static_cast<double>(INT32_MAX)));
      } else {
        uint64_t last = 0;
        audioTrack_->getSampleTime(static_cast<uint32_t>(audioSampleCount), last);
        durationMs = static_cast<int32_t>(std::min(
            static_cast<double>(last) * 1000.0 / audioTimeScale_, static_cast<double>(INT32_MAX)));
      }
    }
  }
  if (!hasVideo && !hasAudio) {
    closeFile();
    return false;
  }
  if (!hasVideo) setDisplaySize();
  return true;
}

void Mp4FileSource::decodeFirstPicture() {
  seekVideoSaving(0, this);
  if (video_ && video_->currentPicture()) {
    width = video_->currentPicture()->desc().width();
    height = video_->currentPicture()->desc().height();
  }
  setDisplaySize();
}

void Mp4FileSource::setDisplaySize() {
  if (hasVideo && displayWidth != 0 && (displayWidth != width || displayHeight != height)) {
    return;  // the file's own display size stands
  }
  displayWidth = static_cast<int32_t>(width * pixelAspect);
  displayHeight = height;
}

// ---- video ----

bool Mp4FileSource::createVideoDecoder(OutputFormat format, PostfilterMode postfilter) {
  if (videoDecoderFormat(format) == 0) return false;
  outputFormat = format;
  if (!videoTrack_) return true;

  int32_t code = 0;
  if (videoTrack_->getCodec(code) != kMp4Ok) return false;
  std::vector<uint8_t> config;
  uint32_t size = 0;
  if (videoTrack_->getConfigSize(1, size) == kMp4Ok && size > 0 && size <= kMaxConfigBytes) {
    config.resize(size);
    uint32_t length = 0;
    if (videoTrack_->getConfig(1, size, length, config.data()) == kMp4Ok && length <= size) {
      config.resize(length);
      videoConfig_ = config;
    } else {
      config.clear();
    }
  }
  VideoDecodePipe::Setup setup;
  setup.format = format;
  setup.postfilter = postfilter;
  setup.width = trackWidth_;
  setup.height = trackHeight_;
  setup.h263 = code == kVideoCodecH263;
  setup.config = config.data();
  setup.configLength = static_cast<uint32_t>(config.size());
  setup.rawSaveOutput = !rawVideoFile.empty();
  video_ = VideoDecodePipe::create(setup);
  if (!video_) return false;
  pixelAspect = video_->pixelAspect();
  return true;
}

CBufferElem* Mp4FileSource::readVideoSample(int64_t number) {
  if (number < 1 || number > UINT32_MAX || !videoTrack_) return nullptr;
  const auto n = static_cast<uint32_t>(number);
  uint32_t size = 0;
  if (videoTrack_->getSampleSize(n, size) != kMp4Ok || size > kMaxSampleBytes) return nullptr;
  CBufferElem* element = nullptr;
  if (CIOStrmPin::allocateBufferElem(element, size) != kPinOk) return nullptr;
  uint32_t length = 0;
  uint64_t time = 0;
  uint64_t lead = 0;
  if (videoTrack_->readSample(n, size, length, element->data()) != kMp4Ok || length != size ||
      videoTrack_->getSampleTime(n, time) != kMp4Ok) {
    CIOStrmPin::freeBufferElem(element);
    return nullptr;
  }
  videoTrack_->getSampleLeadIn(n, lead);
  time = decoderTime(time, lead);
  element->desc().setTime(static_cast<uint32_t>(time & 0xffffffffu),
                          static_cast<uint32_t>(time >> 32));
  return element;
}

bool Mp4FileSource::feedVideoSample(int64_t number) {
  CBufferElem* element = readVideoSample(number);
  if (!element) {
    video_->input().endOfStream();
    return false;
  }
  appendVideoStream(*this, element->data(), element->size());
  if (video_->input().put(element) != kPinOk) {
    CIOStrmPin::freeBufferElem(element);
    video_->input().endOfStream();
    return false;
  }
  lastSampleFed_ = number;
  return true;
}

void Mp4FileSource::seekVideo(int64_t time) { seekVideoSaving(time, nullptr); }

void Mp4FileSource::seekVideoSaving(int64_t time, MediaSource* rawSaveTo) {
  if (!video_ || !videoTrack_) return;
  if (time < 0) time = 0;
  uint32_t n = 0;
  uint64_t tn = 0;
  if (videoTrack_->findSample(static_cast<uint64_t>(time), n) != kMp4Ok ||
      videoTrack_->getSampleTime(n, tn) != kMp4Ok) {
    return;
  }
  uint32_t k = 0;
  if (videoTrack_->findSyncSample(tn, k) != kMp4Ok) k = 1;
  // The decoder drops every picture before the wanted one unconverted: those
  // between the key picture and the target, and those before the start of
  // the presentation.
  const uint64_t wanted = decoderTime(tn, 0);
  video_->seek(wanted);

  // Pictures leave the decoder in presentation order, so the wanted one is
  // the first whose time is not before tn; the samples run out at the latest.
  bool found = false;
  bool tookAny = false;
  const int64_t last = static_cast<int64_t>(std::max(n, k)) + kSeekReorderSlack;
  for (int64_t s = k; !found && s <= last; ++s) {
    const bool fed = feedVideoSample(s);
    if (video_->status() == 0) video_->step();
    while (video_->output().count() > 0) {
      video_->takePicture(rawSaveTo);
      if (!video_->currentPicture()) break;
      tookAny = true;
      const uint64_t pictureTime = video_->currentPicture()->desc().time();
      currentPictureTime_ = shownTime(pictureTime);
      if (pictureTime >= wanted) {
        found = true;
        break;
      }
    }
    if (!fed || video_->status() != 0) break;
  }
  if (!tookAny) video_->dropCurrentPicture();
}

void Mp4FileSource::decodeNextPicture() {
  if (!video_) return;
  if (video_->status() == 0 && video_->output().count() == 0) {
    for (int fedWithoutPicture = 0;; ++fedWithoutPicture) {
      const bool fed =
          fedWithoutPicture < kMaxSamplesWithoutPicture && feedVideoSample(lastSampleFed_ + 1);
      video_->step();
      if (!fed && video_->output().count() == 0) {
        video_->dropCurrentPicture();
        return;
      }
      if (video_->status() != 0 || video_->output().count() > 0) break;
    }
  }
  video_->takePicture(this);
}

void Mp4FileSource::setPostfilter(PostfilterMode mode) {
  if (video_) video_->setPostfilter(mode);
}

bool Mp4FileSource::prefersRgbOutput() { return video_ && video_->hasAlpha(); }

bool Mp4FileSource::setOutputFormat(OutputFormat format) {
  int32_t mode = 0;
  // A picture in the old layout must not be copied as the new one: the same
  // picture is decoded again in the new format.
  const bool hadPicture = hasVideo && video_ && video_->currentPicture();
  if (hasVideo && video_) {
    mode = video_->postfilter();
    video_.reset();
  }
  const bool made = createVideoDecoder(format, mode);
  if (hadPicture && video_) seekVideo(static_cast<int64_t>(currentPictureTime_ & INT64_MAX));
  return made || !hasVideo;
}

int64_t Mp4FileSource::videoByteCount() {
  return hasVideo ? static_cast<int64_t>(videoBytes_) : -1;
}
int64_t Mp4FileSource::audioByteCount() {
  return hasAudio ? static_cast<int64_t>(audioBytes_) : -1;
}

void Mp4FileSource::updateTimecode(uint64_t time, int32_t positionMs) {
  const int32_t s = positionMs / 1000;
  int32_t frames = 0;
  switch (videoTimeScale_) {
    case 25: frames = static_cast<int32_t>(time % 25); break;
    case 30000: frames = static_cast<int32_t>((time % 30000) / 1001); break;
    case 2997: frames = static_cast<int32_t>((time % 2997) / 100); break;
    default: break;
  }
  setTimecode(s / 3600, (s / 60) % 60, s % 60, frames);
}

bool Mp4FileSource::getVideoFrame(FrameRequest request, int32_t dstStride,
                                  const uint8_t* backgroundBits, int32_t backgroundWidth,
                                  int32_t backgroundHeight, uint8_t* dst, int32_t& positionMs) {
  if (!hasVideo) {
    if (!hasAudio) return true;
    drawStillPicture(dstStride, dst);
    uint32_t count = 0;
    if (audioTrack_ && audioTrack_->getSampleCount(count) == kMp4Ok) {
      audioSampleCount = static_cast<int32_t>(std::min<uint32_t>(count, INT32_MAX));
    }
    if (currentAudioSample_ > audioSampleCount) return false;
    uint64_t t = 0;
    audioTrack_->getSampleTime(static_cast<uint32_t>(currentAudioSample_), t);
    positionMs =
        audioTimeScale_
            ? static_cast<int32_t>(std::min<uint64_t>(t * 1000 / audioTimeScale_, INT32_MAX))
            : 0;
    const int32_t s = positionMs / 1000;
    setTimecode(s / 3600, (s / 60) % 60, s % 60, 0);
    return true;
  }

  switch (request) {
    case kRequestCurrent:
      if (!hasCurrentPicture()) return false;
      break;
    case kRequestFirst: seekVideo(0); break;
    case kRequestLast:
      seekVideo(static_cast<int64_t>(videoTimeScale_ * static_cast<double>(durationMs) * 0.001));
      break;
    case kRequestNext:
    case kRequestNextCatchingUp: decodeNextPicture(); break;
    case kRequestPrevious:
      seekVideo(static_cast<int64_t>(currentPictureTime_ & INT64_MAX) - 1);
      break;
    case kRequestAtPosition:
      seekVideo(static_cast<int64_t>(videoTimeScale_ * static_cast<double>(positionMs) * 0.001));
      break;
    default: break;
  }
  if (!video_ || !video_->currentPicture()) return false;
  video_->copyPicture(*this, dst, dstStride, backgroundBits, backgroundWidth, backgroundHeight);
  const uint64_t time = shownTime(video_->currentPicture()->desc().time());
  currentPictureTime_ = time;
  positionMs =
      videoTimeScale_
          ? static_cast<int32_t>(std::min<uint64_t>(time * 1000 / videoTimeScale_, INT32_MAX))
          : 0;
  updateTimecode(time, positionMs);
  return true;
}

bool Mp4FileSource::getTimecode(int32_t& hours, int32_t& minutes, int32_t& seconds,
                                int32_t& frames) {
  hours = timecodeHours_;
  minutes = timecodeMinutes_;
  seconds = timecodeSeconds_;
  frames = videoCodec == kVideoCodecH263 ? 0 : timecodeFrames_;
  return true;
}

bool Mp4FileSource::setTimecode(int32_t hours, int32_t minutes, int32_t seconds, int32_t frames) {
  timecodeHours_ = hours;
  timecodeMinutes_ = minutes;
  timecodeSeconds_ = seconds;
  timecodeFrames_ = frames;
  return true;
}

// ---- audio ----

bool Mp4FileSource::createAudioDecoder() {
  int32_t code = 0;
  if (!audioTrack_ || audioTrack_->getCodec(code) != kMp4Ok) return false;
  AudioDecodePipe::Setup setup;
  switch (code) {
    case kAudioCodecAac:
      setup.kind = kAudioKindAac;
      setup.format = kAudioFormatGeneric;
      break;
    case kAudioCodecAmrWb:
    case kAudioCodecAmrNb: {
      setup.kind = kAudioKindAmr;
      setup.format = code == kAudioCodecAmrWb ? kAudioFormatAmrWb : kAudioFormatAmrNb;
      int16_t channels = 1;
      uint32_t rate = 0;
      audioTrack_->getChannels(channels);
      audioTrack_->getSampleRate(rate);
      setup.channels = channels;
      setup.rate = static_cast<int32_t>(std::min<uint32_t>(rate, INT32_MAX));
      break;
    }
    default: hasAudio = 0; return false;
  }
  uint32_t size = 0;
  if (audioTrack_->getConfigSize(1, size) == kMp4Ok && size > 0 && size <= kMaxConfigBytes) {
    std::vector<uint8_t> config(size);
    uint32_t length = 0;
    if (audioTrack_->getConfig(1, size, length, config.data()) == kMp4Ok && length <= size) {
      config.resize(length);
      audioConfig_ = std::move(config);
    }
  }
  setup.config = audioConfig_.data();
  setup.configLength = static_cast<uint32_t>(audioConfig_.size());
  audio_ = AudioDecodePipe::create(setup);
  if (!audio_) {
    hasAudio = 0;
    return false;
  }
  decodedRate = audio_->decodedRate();
  decodedChannels = audio_->decodedChannels();
  return true;
}

int32_t Mp4FileSource::decodeAudio(AudioChunk*& chunks) {
  AudioChunk* head = nullptr;
  AudioChunk* tail = nullptr;
  for (;;) {
    bool fed = false;
    uint32_t size = 0;
    if (currentAudioSample_ >= 1 && currentAudioSample_ <= UINT32_MAX &&
        audioTrack_->getSampleSize(static_cast<uint32_t>(currentAudioSample_), size) == kMp4Ok &&
        size <= kMaxSampleBytes) {
      CBufferElem* element = nullptr;
      uint32_t length = 0;
      if (CIOStrmPin::allocateBufferElem(element, size) == kPinOk &&
          audioTrack_->readSample(static_cast<uint32_t>(currentAudioSample_), size, length,
                                  element->data()) == kMp4Ok &&
          length == size) {
        appendAudioStream(*this, element->data(), size);
        fed = audio_->input().put(element) == kPinOk;
      }
      CIOStrmPin::freeBufferElem(element);  // only when the pin did not take it
    }
    if (!fed) audio_->input().endOfStream();

    if (!audio_->decode()) {
      freeAudioChunkList(head);
      return 0;
    }
    // The part of the sample before the start of the presentation (the
    // encoder delay an edit list leaves out) is decoded but not played.
    uint64_t skip = fed ? leadInFrames(static_cast<uint32_t>(currentAudioSample_)) : 0;
    AudioChunk* chunk = audio_->takeChunk(*this, nullptr, nullptr, &skip);
    const bool produced = chunk != nullptr;
    if (!chunk) ++currentAudioSample_;
    while (chunk) {
      if (chunk->size <= 0) {
        delete chunk;
      } else {
        if (tail) {
          tail->next = chunk;
        } else {
          head = chunk;
        }
        tail = chunk;
      }
      chunk = audio_->takeChunk(*this, nullptr, nullptr, &skip);
    }
    // A sample whose sound lies wholly before the start yields nothing: the
    // next one is decoded in the same request.
    if (produced && !head) ++currentAudioSample_;
    if (audio_->output().isFinished()) {
      freeAudioChunkList(head);
      return 0;
    }
    if (head) {
      chunks = head;
      return 1;
    }
  }
}

uint64_t Mp4FileSource::leadInFrames(uint32_t sample) const {
  uint64_t units = 0;
  if (!audioTrack_ || audioTrack_->getSampleLeadIn(sample, units) != kMp4Ok || units == 0) return 0;
  if (audioTimeScale_ == 0 || decodedRate <= 0) return 0;
  // Rounded to whole decoded frames; a lead-in longer than the sample only
  // takes what the sample decoded to.
  return (std::min<uint64_t>(units, UINT32_MAX) * static_cast<uint64_t>(decodedRate) +
          audioTimeScale_ / 2) /
         audioTimeScale_;
}

bool Mp4FileSource::getAudio(FrameRequest request, AudioChunk*& chunks, int32_t& timeMs,
                             uint8_t& timeChanged) {
  timeChanged = 0;
  if (!hasAudio || !audio_) return false;
  const auto t = static_cast<uint64_t>(std::max(0.0, audioTimeScale_ * 0.001 * timeMs));
  switch (request) {
    case kRequestFirst: currentAudioSample_ = 1; break;
    case kRequestLast: currentAudioSample_ = static_cast<int64_t>(audioSampleCount) - 1; break;
    case kRequestNext:
    case kRequestNextCatchingUp: ++currentAudioSample_; break;
    case kRequestPrevious:
    case kRequestPerSource: --currentAudioSample_; break;
    case kRequestAtPosition: {
      uint32_t n = 0;
      if (audioTrack_->findSample(t, n) == kMp4Ok) {
        // Samples that start before the presentation (the encoder delay)
        // are decoded too: they prime the decoder, and their sound before
        // the start is left out all the same.
        uint64_t lead = 0;
        while (n > 1 && audioTrack_->getSampleLeadIn(n - 1, lead) == kMp4Ok && lead > 0) --n;
        currentAudioSample_ = n;
      }
      break;
    }
    default: break;
  }
  if (currentAudioSample_ < 1) currentAudioSample_ = 1;
  // The last sample plays too: its sound (and saved bytes) end the track.
  if (currentAudioSample_ > audioSampleCount) return false;
  return decodeAudio(chunks) > 0;
}

}  // namespace strevana
