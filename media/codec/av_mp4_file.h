#pragma once
// AvMp4File: the MP4 container library (mp4_file.h) on libavformat.
//
// Opening reads the file's index (libavformat's per-stream index entries:
// offset, size, decode time, key-frame flag) into one sample table per track;
// samples are read later straight from their offsets. For video tracks whose
// pictures are stored out of display order the presentation time of each
// sample is the decode time plus its composition offset from the file's own
// sample tables (the index holds decode times only); a pass over the packets
// stands in where those tables cannot be read. A sample whose bytes would lie beyond the end of
// the file is treated as unreadable, so a truncated file stops at the damage.
//
// Threads: one caller at a time. Ownership: owns the libavformat context and
// the track objects.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "media/codec/mp4_file.h"

struct AVFormatContext;

namespace strevana {

class AvMp4File;

class AvMp4Track final : public CMp4Track {
 public:
  struct Sample {
    int64_t offset = 0;
    uint32_t size = 0;
    uint64_t time = 0;
    uint64_t leadIn = 0;  // units before the start of the presentation
    bool sync = false;
    bool readable = false;
    bool hidden = false;  // wholly before the start: never shown or played
  };

  AvMp4Track(AvMp4File& file, int streamIndex) : file_(file), streamIndex_(streamIndex) {}

  MP4Err getSampleCount(uint32_t& count) override;
  MP4Err getType(int32_t& type) override;
  MP4Err getCodec(int32_t& code) override;
  MP4Err getTimeScale(uint32_t& unitsPerSecond) override;
  MP4Err getDuration(uint64_t& duration) override;
  MP4Err getDisplaySize(uint32_t& width, uint32_t& height) override;
  MP4Err getPictureSize(int16_t& width, int16_t& height) override;
  MP4Err getChannels(int16_t& count) override;
  MP4Err getSampleRate(uint32_t& rate) override;
  MP4Err getConfig(uint32_t description, uint32_t bufferSize, uint32_t& length,
                   uint8_t* buffer) override;
  MP4Err getConfigSize(uint32_t description, uint32_t& size) override;
  MP4Err readSample(uint32_t number, uint32_t bufferSize, uint32_t& length,
                    uint8_t* buffer) override;
  MP4Err getSampleSize(uint32_t number, uint32_t& size) override;
  MP4Err getSampleTime(uint32_t number, uint64_t& time) override;
  MP4Err findSample(uint64_t time, uint32_t& number) override;
  MP4Err findSyncSample(uint64_t time, uint32_t& number) override;
  MP4Err getSampleLeadIn(uint32_t number, uint64_t& units) override;

  // Opening.
  std::vector<Sample>& samples() { return samples_; }
  void sortByTime();

 private:
  const Sample* sample(uint32_t number) const;

  AvMp4File& file_;
  int streamIndex_;
  std::vector<Sample> samples_;
  std::vector<uint32_t> byTime_;  // shown samples' indices (from 0) in presentation order
};

class AvMp4File final : public CMp4File {
 public:
  AvMp4File();
  ~AvMp4File() override;

  MP4Err open(const char* path, int32_t mode, int32_t flags) override;
  MP4Err close() override;
  MP4Err getTrackCount(uint32_t& count) override;
  MP4Err getTimeScale(uint32_t& unitsPerSecond) override;
  MP4Err getUserText(const char* language, char* buffer, uint32_t& length, int32_t flags) override;
  MP4Err getTrack(uint32_t index, CMp4Track*& track) override;
  MP4Err releaseTrack(CMp4Track* track) override;

  // For the tracks.
  AVFormatContext* context() const { return context_; }
  MP4Err readAt(int64_t offset, uint32_t size, uint8_t* buffer, uint32_t& length);

 private:
  void learnPresentationTimes(const char* path);
  // The presentation times of a reordered track from its composition
  // offsets; false when they cannot be read and the packets must tell.
  bool applyCompositionOffsets(std::FILE* file, unsigned track);

  AVFormatContext* context_ = nullptr;
  std::vector<std::unique_ptr<AvMp4Track>> tracks_;
  std::string userText_;
};

}  // namespace strevana
