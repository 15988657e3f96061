#pragma once
// The MP4 container library: CMp4File opens an MP4/3GP file and hands out its
// tracks; CMp4Track answers questions about one track and reads its samples.
//
// Every operation returns an MP4Err, 0 for success. Numbers of tracks and of
// samples start at 1; samples are numbered in decode (file) order.
//
// Choices this library makes where the operations leave them open:
// - The file's time scale (CMp4File::getTimeScale) is 1 000 000 units per
//   second; track durations are given in it.
// - Sample times are presentation times in the track's time scale: for files
//   whose pictures are stored out of display order (B-frames) a sample's time
//   is when it is shown, so times need not grow with the sample number. Times
//   before the start of the presentation read as 0.
// - findSample(t) is the sample shown at t (the one with the greatest time not
//   after t; the first shown sample for earlier times), never one that lies
//   wholly before the start of the presentation; findSyncSample(t) is the
//   last sync sample in decode order whose time is not after t.
// - Edit lists are honoured as libavformat reads them: the presentation
//   starts at time 0, and samples before it report how far before
//   (getSampleLeadIn).
// - The display size is the picture size stretched by the track's pixel aspect
//   ratio (from the track header or the pixel-aspect box); audio tracks have
//   none (0 x 0).
// - User text is "Title: …;Date: …;(c): …;Description: …" made from the
//   file's text tags that are present; without any of them there is none.
// - Buffers handed in are filled up to their stated size and never beyond;
//   too small a buffer fails with kMp4ErrBufferTooSmall.
//
// Threads: one caller at a time (the media source's). Ownership: the file
// owns its tracks; getTrack hands out a pointer valid until the file is
// destroyed, releaseTrack only tells the file the caller is done with it.
#include <cstdint>

namespace strevana {

using MP4Err = int32_t;
constexpr MP4Err kMp4Ok = 0;
constexpr MP4Err kMp4ErrBadArgument = 1;
constexpr MP4Err kMp4ErrNotOpen = 2;
constexpr MP4Err kMp4ErrOpenFailed = 3;
constexpr MP4Err kMp4ErrNoSuchTrack = 4;
constexpr MP4Err kMp4ErrNoSuchSample = 5;
constexpr MP4Err kMp4ErrBufferTooSmall = 6;
constexpr MP4Err kMp4ErrIo = 7;
constexpr MP4Err kMp4ErrUnsupported = 8;
constexpr MP4Err kMp4ErrNoData = 9;

constexpr uint32_t kMp4FileTimeScale = 1000000;

constexpr int32_t kMp4TrackVideo = 1;
constexpr int32_t kMp4TrackAudio = 2;

class CMp4Track {
 public:
  virtual ~CMp4Track() = default;
  virtual MP4Err getSampleCount(uint32_t& count) = 0;  // 0
  virtual MP4Err getType(int32_t& type) = 0;           // 1
  // Video: 1 MPEG-4, 4 H.263. Audio: 2 AAC, 5 AMR-WB, 6 AMR-NB. Other codecs
  // fail with kMp4ErrUnsupported.
  virtual MP4Err getCodec(int32_t& code) = 0;                            // 2
  virtual MP4Err getTimeScale(uint32_t& unitsPerSecond) = 0;             // 4
  virtual MP4Err getDuration(uint64_t& duration) = 0;                    // 5
  virtual MP4Err getDisplaySize(uint32_t& width, uint32_t& height) = 0;  // 6
  virtual MP4Err getPictureSize(int16_t& width, int16_t& height) = 0;    // 7
  virtual MP4Err getChannels(int16_t& count) = 0;                        // 8
  virtual MP4Err getSampleRate(uint32_t& rate) = 0;                      // 9
  virtual MP4Err getConfig(uint32_t description, uint32_t bufferSize, uint32_t& length,
                           uint8_t* buffer) = 0;                           // 14
  virtual MP4Err getConfigSize(uint32_t description, uint32_t& size) = 0;  // 15
  virtual MP4Err readSample(uint32_t number, uint32_t bufferSize, uint32_t& length,
                            uint8_t* buffer) = 0;                      // 16
  virtual MP4Err getSampleSize(uint32_t number, uint32_t& size) = 0;   // 17
  virtual MP4Err getSampleTime(uint32_t number, uint64_t& time) = 0;   // 19
  virtual MP4Err findSample(uint64_t time, uint32_t& number) = 0;      // 20
  virtual MP4Err findSyncSample(uint64_t time, uint32_t& number) = 0;  // 21

  // Beyond the fixed slots: how far (in track units) the sample's time lies
  // before the start of the presentation that the edit list sets, 0 for
  // samples at or after it. Such samples read as time 0; they are needed to
  // decode what follows (the pictures before a mid-group edit start, the
  // encoder delay of AAC) but nothing of them before the start is shown or
  // played.
  virtual MP4Err getSampleLeadIn(uint32_t number, uint64_t& units) = 0;
};

class CMp4File {
 public:
  static MP4Err createInstance(CMp4File*& file);
  static MP4Err destroyInstance(CMp4File*& file);

  virtual ~CMp4File() = default;
  virtual MP4Err open(const char* path, int32_t mode, int32_t flags) = 0;  // 0
  virtual MP4Err close() = 0;                                              // 1
  virtual MP4Err getTrackCount(uint32_t& count) = 0;                       // 3
  virtual MP4Err getTimeScale(uint32_t& unitsPerSecond) = 0;               // 4
  // language "eng"; buffer null: length receives the text's length. Otherwise
  // length holds the buffer's size on entry and the bytes written on return
  // (no terminator is added).
  virtual MP4Err getUserText(const char* language, char* buffer, uint32_t& length,
                             int32_t flags) = 0;                   // 6
  virtual MP4Err getTrack(uint32_t index, CMp4Track*& track) = 0;  // 10
  virtual MP4Err releaseTrack(CMp4Track* track) = 0;               // 12
};

}  // namespace strevana
