#pragma once
// RtspStreamSource: the MediaSource for rtsp:// URLs and local .sdp
// descriptions. It owns one RtspSession, whose receive thread turns packets
// into access units (FrameDepacketizer) and hands them to this source's
// arrival queues; frame and audio requests move them one at a time into the
// shared video and audio decode pipes (media/) and hand out what comes out,
// in the engine's formats. It counts what the information window shows
// ("Recv. Video:" ... "Lost Audio:", jitter, out-of-order packets) and writes
// the save files (coded streams from the receive thread, raw pictures and
// PCM from the caller's thread).
//
// Threads: every MediaSource operation runs on the caller of the source (the
// engine, under the controller lock). The receive thread only puts elements
// into the arrival queues (thread-safe pins), appends to the coded-stream
// save files and updates the newest/oldest times (atomics). Ownership: the
// source owns the session, the depacketizers, the queues, the decode pipes
// and the configurations; the destructor destroys the session first, so the
// receive thread has stopped before anything it touches goes away.
//
// Choices made here where the behaviour was open or would freeze the window:
// - Waiting never blocks. Opening sends DESCRIBE, SETUP and PLAY (each
//   bounded by the RTSP client's receive time-out) but does not prebuffer;
//   the first frame and audio requests do. A request that finds too little
//   buffered returns false at once with awaitingData() true, and the engine
//   asks again on its next tick. Each wait keeps the design's limit,
//   (bufferMs + timeoutMs) / 100 rounds of 100 ms, as a deadline measured
//   from the first request that had to wait (DataWait); past it the request
//   fails for good (awaitingData() false) and the engine closes the stream.
//   Consequence: a stream that never delivers opens and then ends after its
//   time-out instead of failing the open.
// - When a wait for video runs out with fewer than kMinQueuedVideo access
//   units queued, those are still decoded (the last pictures of a stream
//   that ended are shown); only an empty queue fails.
// - Prebuffering: while the first bufferMs of video (of audio for an
//   audio-only stream) have not arrived, audio requests wait too, so sound
//   does not run ahead of pictures that are still buffering.
// - The decoders decode everything their input pin holds at once, so access
//   units wait in arrival queues (1024 units each) and go to the decoder one
//   at a time; the design's "input pin" counts are these queues' counts.
//   Pictures or sound already decoded are handed out without waiting.
// - Durations: a media range end in seconds gives end x 1000 ms, else the
//   session range (end - start) x 1000; 0 stands for unknown (2,000,000,000).
// - The first sound after a decoder set-up sets timeChanged, so the engine's
//   clock starts at the stream's own audio time, and gaps are counted from
//   it: a stream joined late is not preceded by silence.
// - name holds the joined URL (or the description's file name) without a
//   password it may carry; one longer than 255 characters keeps only the part
//   after the last "/".
// - openFailureStatus: the RTSP status that failed the open (401 when the
//   server wants a login or refused the one given), 0 for other failures.
// - Loss counts that a late packet took back below zero read 0.
// - setOutputFormat re-creates the decoder; as after every decoder set-up,
//   pictures stay black until a key picture arrives.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/millisecond_clock.h"
#include "media/audio_decode_pipe.h"
#include "media/media_source.h"
#include "media/video_decode_pipe.h"
#include "streaming/data_wait.h"
#include "streaming/frame_depacketizer.h"
#include "streaming/payload_kind.h"
#include "streaming/rtsp_session.h"

namespace strevana {

class RtspStreamSource final : public MediaSource {
 public:
  static constexpr int32_t kUnknownDurationMs = 2000000000;
  static constexpr uint32_t kQueueCapacity = 1024;
  // Silence is inserted in steps of this many samples (one AAC frame).
  static constexpr int32_t kSilenceSamples = 1024;
  // Samples an audio access unit is counted as when judging what is queued.
  static constexpr int32_t kUnitSamples = 1024;
  // Video access units that must be queued before a picture is decoded
  // without waiting.
  static constexpr uint32_t kMinQueuedVideo = 3;

  // urlBase: the URL before its last "/", or null for a description file;
  // name: what follows it, or the description's file name ("buff://" and the
  // text for a description in memory).
  RtspStreamSource(const char* urlBase, const char* name, OutputFormat format,
                   PostfilterMode postfilter, int32_t udpPort, int32_t bufferMs, int32_t timeoutMs,
                   int32_t stillWidth, int32_t stillHeight, const uint32_t* stillBits,
                   const char* videoStreamPath, const char* audioStreamPath,
                   const char* rawVideoPath, const char* rawAudioPath, int32_t rawVideoPerFrame,
                   const MillisecondClock& clock = SteadyMillisecondClock::instance(),
                   RtspTransport transport = RtspTransport::kAutomatic);
  ~RtspStreamSource() override;

  void setPostfilter(PostfilterMode mode) override;
  bool prefersRgbOutput() override;
  bool setOutputFormat(OutputFormat format) override;
  bool getVideoFrame(FrameRequest request, int32_t dstStride, const uint8_t* backgroundBits,
                     int32_t backgroundWidth, int32_t backgroundHeight, uint8_t* dst,
                     int32_t& positionMs) override;
  bool getAudio(FrameRequest request, AudioChunk*& chunks, int32_t& timeMs,
                uint8_t& timeChanged) override;
  uint64_t videoPacketsReceived() override;
  uint64_t videoPacketsLost() override;
  uint64_t audioPacketsReceived() override;
  uint64_t audioPacketsLost() override;
  bool awaitingData() const override { return awaiting_; }
  bool receptionFigures(ReceptionFigures& video, ReceptionFigures& audio) override;

  int32_t openFailureStatus() const { return openFailureStatus_; }

  // For tests and tools.
  RtspSession* session() const { return session_.get(); }
  PayloadKind videoKind() const { return videoKind_; }
  PayloadKind audioKind() const { return audioKind_; }
  uint32_t videoClockRate() const { return videoClock_; }
  uint32_t audioClockRate() const { return audioClock_; }
  const std::vector<uint8_t>& videoConfig() const { return videoConfig_; }
  const std::vector<uint8_t>& audioConfig() const { return audioConfig_; }
  uint32_t queuedVideo() const { return videoQueue_->count(); }
  uint32_t queuedAudio() const { return audioQueue_->count(); }
  bool prebuffering() const { return prebuffering_; }
  // Frames the depacketizers dropped (after a loss, or malformed).
  uint64_t droppedVideoFrames() const;
  uint64_t droppedAudioFrames() const;

 private:
  enum class Step { kDone, kWaiting, kFailed };

  bool open(const char* urlBase, const char* name, int32_t udpPort, PostfilterMode postfilter,
            const char* videoStreamPath, const char* audioStreamPath);
  bool setupVideoDecoder(OutputFormat format, PostfilterMode postfilter);
  bool setupAudioDecoder();
  // Called by the depacketizers on the receive thread.
  void onVideoUnit(CBufferElem* element, int64_t timeMs);
  void onAudioUnit(CBufferElem* element, int64_t ticks);
  Step prebuffer();
  Step decodeNextVideo();
  Step decodeNextAudio(AudioChunk*& chunks, uint64_t& time);
  // The result of a request that could not be served: false, with
  // awaitingData() telling a wait from a failure.
  bool notNow(Step step);
  int32_t durationOf(const MediaEntry* entry) const;
  void blankPicture();

  const uint32_t bufferMs_;
  const uint32_t timeoutMs_;
  const RtspTransport transport_;
  int32_t openFailureStatus_ = 0;
  std::unique_ptr<RtspSession> session_;
  MediaEntry* videoEntry_ = nullptr;
  MediaEntry* audioEntry_ = nullptr;
  PayloadKind videoKind_ = PayloadKind::kOther;
  PayloadKind audioKind_ = PayloadKind::kOther;
  uint32_t videoClock_ = 25;
  uint32_t audioClock_ = 44100;
  int32_t videoDurationMs_ = kUnknownDurationMs;
  int32_t audioDurationMs_ = kUnknownDurationMs;
  std::vector<uint8_t> videoConfig_;
  std::vector<uint8_t> audioConfig_;

  // Receive thread -> caller.
  std::unique_ptr<CInStrmPin> videoQueue_;
  std::unique_ptr<CInStrmPin> audioQueue_;
  std::unique_ptr<FrameDepacketizer> videoDepacketizer_;
  std::unique_ptr<FrameDepacketizer> audioDepacketizer_;
  std::atomic<bool> videoAccepting_{false};
  std::atomic<bool> audioAccepting_{false};
  std::atomic<int32_t> newestVideoMs_{0};
  std::atomic<int32_t> oldestVideoMs_{0};
  std::atomic<uint32_t> newestAudio_{0};
  std::atomic<uint32_t> oldestAudio_{0};

  std::unique_ptr<VideoDecodePipe> video_;
  std::unique_ptr<AudioDecodePipe> audio_;
  bool blankUntilClean_ = false;
  int32_t audioExpected_ = 0;
  int32_t audioGap_ = 0;
  int32_t audioFrameIndex_ = 0;
  bool audioStarted_ = false;

  bool prebuffering_ = true;
  bool awaiting_ = false;
  bool failed_ = false;
  DataWait prebufferWait_;
  DataWait videoWait_;
  DataWait audioWait_;
};

}  // namespace strevana
