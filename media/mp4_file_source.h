#pragma once
// Mp4FileSource: the MediaSource for .mp4 and .3gp files. Opens the file with
// the container library, picks one video track (MPEG-4 or H.263) and one
// audio track (AAC, AMR-NB or AMR-WB; the last one in the file), and serves
// pictures and sound by sample number through the video and audio decoder
// libraries. Times inside count in each track's time scale; everything
// handed out is in milliseconds.
//
// Choices made here:
// - Seeking decodes from the last sync sample shown at or before the wanted
//   time and stops at the first picture whose presentation time is not
//   before the wanted sample's, so files with B-frames (pictures stored out of
//   display order) seek and step correctly, and a picture that never comes
//   (damage) cannot make a seek decode to the end and beyond.
// - A sample that cannot be read (beyond the end of a cut file, larger than
//   kMaxSampleBytes) ends its track; a seek that finds no picture at all
//   leaves no current picture.
// - setOutputFormat answers false when the decoder for the new format could
//   not be made (the source then has no decoder and no current picture) and
//   re-decodes the current picture at its full 64-bit time stamp.
// - Names longer than 255 characters are refused (the source stays closed).
// - Played straight through from the start, every save target gets each
//   sample or picture once, in order: the first picture is decoded once, after
//   the targets are set, and its raw picture is saved; the last audio sample
//   is played like any other. Seeks still feed (and save) samples again.
//
// Threads and ownership: as MediaSource (one caller at a time, under the
// engine's lock). The source owns the container, its video and audio decode
// pipes (decoders, pins, current picture) and the configuration copies.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/audio_decode_pipe.h"
#include "media/codec/mp4_file.h"
#include "media/media_source.h"
#include "media/video_decode_pipe.h"

namespace strevana {

class Mp4FileSource final : public MediaSource {
 public:
  // Coded samples larger than this are treated as damage.
  static constexpr uint32_t kMaxSampleBytes = 64u << 20;

  Mp4FileSource(const char* fileName, int32_t flags, OutputFormat format, PostfilterMode postfilter,
                const char* videoStreamPath, const char* audioStreamPath, const char* rawVideoPath,
                const char* rawAudioPath, int32_t rawVideoPerFrame, int32_t stillWidth,
                int32_t stillHeight, const uint32_t* stillBits);
  ~Mp4FileSource() override;

  void setPostfilter(PostfilterMode mode) override;
  bool prefersRgbOutput() override;
  bool setOutputFormat(OutputFormat format) override;
  int64_t videoByteCount() override;
  int64_t audioByteCount() override;
  bool getVideoFrame(FrameRequest request, int32_t dstStride, const uint8_t* backgroundBits,
                     int32_t backgroundWidth, int32_t backgroundHeight, uint8_t* dst,
                     int32_t& positionMs) override;
  bool getAudio(FrameRequest request, AudioChunk*& chunks, int32_t& timeMs,
                uint8_t& timeChanged) override;
  bool getTimecode(int32_t& hours, int32_t& minutes, int32_t& seconds, int32_t& frames) override;
  bool setTimecode(int32_t hours, int32_t minutes, int32_t seconds, int32_t frames) override;

  // Decoding steps, public for the tests and tools that drive them directly.
  bool createVideoDecoder(OutputFormat format, PostfilterMode postfilter);
  void seekVideo(int64_t time);
  void decodeNextPicture();
  bool createAudioDecoder();
  int32_t decodeAudio(AudioChunk*& chunks);

  uint32_t videoTimeScale() const { return videoTimeScale_; }
  uint32_t audioTimeScale() const { return audioTimeScale_; }
  int64_t currentAudioSample() const { return currentAudioSample_; }
  bool hasCurrentPicture() const { return video_ && video_->currentPicture(); }
  uint64_t currentPictureTime() const { return currentPictureTime_; }
  const std::vector<uint8_t>& videoConfig() const { return videoConfig_; }
  const std::vector<uint8_t>& audioConfig() const { return audioConfig_; }

 private:
  bool open(const char* fileName, OutputFormat format, PostfilterMode postfilter);
  // The picture shown after opening, decoded once the save targets are set;
  // unlike a seek's, its raw picture is saved (it is the file's first).
  void decodeFirstPicture();
  void setDisplaySize();
  // seekVideo, writing the pictures taken to rawSaveTo's raw video target.
  void seekVideoSaving(int64_t time, MediaSource* rawSaveTo);
  void closeFile();
  // Reads a sample into a new element stamped with its time; null at the end
  // of the track or at damage.
  CBufferElem* readVideoSample(int64_t number);
  // Puts a sample into the video decoder (and the saved stream); false at the end.
  bool feedVideoSample(int64_t number);
  void updateTimecode(uint64_t time, int32_t positionMs);
  uint64_t sumSampleSizes(CMp4Track* track, uint32_t count);

  CMp4File* file_ = nullptr;
  CMp4Track* videoTrack_ = nullptr;
  CMp4Track* audioTrack_ = nullptr;
  uint64_t videoBytes_ = 0;
  uint64_t audioBytes_ = 0;
  // Decoded frames of an audio sample that lie before the start of the
  // presentation.
  uint64_t leadInFrames(uint32_t sample) const;
  // The decoder's pictures are stamped on a timeline moved on by the largest
  // lead-in of the video samples, so that pictures before the start of the
  // presentation (an edit list starting inside a group of pictures) keep
  // times of their own below it, and are skipped like any picture before a
  // seek target.
  uint64_t decoderTime(uint64_t time, uint64_t leadIn) const {
    return time + videoLeadIn_ - std::min(leadIn, videoLeadIn_);
  }
  uint64_t shownTime(uint64_t pictureTime) const {
    return pictureTime > videoLeadIn_ ? pictureTime - videoLeadIn_ : 0;
  }
  uint64_t videoLeadIn_ = 0;
  uint32_t videoTimeScale_ = 0;
  uint32_t audioTimeScale_ = 0;
  uint32_t fileTimeScale_ = 0;
  int32_t trackWidth_ = 0;
  int32_t trackHeight_ = 0;

  std::unique_ptr<VideoDecodePipe> video_;
  int64_t lastSampleFed_ = -2;
  uint64_t currentPictureTime_ = 0;
  std::vector<uint8_t> videoConfig_;

  std::unique_ptr<AudioDecodePipe> audio_;
  std::vector<uint8_t> audioConfig_;
  int64_t currentAudioSample_ = 1;

  int32_t timecodeHours_ = 0;
  int32_t timecodeMinutes_ = 0;
  int32_t timecodeSeconds_ = 0;
  int32_t timecodeFrames_ = 0;
};

}  // namespace strevana
