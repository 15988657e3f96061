#pragma once
// MediaSource: every kind of input (MP4/3GP file, raw YUV file, RTSP/RTP
// stream) as one object the playback engine drives.
//
// Threads and ownership: a source has no lock of its own; every call comes
// from the engine with the controller's lock held, so it is never entered
// twice at once. The engine owns the source it adopted and destroys it through
// the virtual destructor. Lists of AudioChunk handed out by getAudio belong to
// the caller. The still picture is not owned.
//
// Opening happens in the constructor of each derived class; a source whose
// opening failed reports hasVideo == hasAudio == 0.
#include <cstdint>
#include <memory>
#include <string>

#include "media/audio_chunk.h"
#include "media/media_types.h"

namespace strevana {

class MediaSource {
 public:
  // Name fields hold at most this many characters (plus a terminator).
  static constexpr size_t kNameCapacity = 256;
  // Save paths and per-frame names hold at most 1023 characters.
  static constexpr size_t kSavePathCapacity = 1024;

  MediaSource();
  MediaSource(const MediaSource&) = delete;
  MediaSource& operator=(const MediaSource&) = delete;

  // Slots, in this order.
  virtual ~MediaSource();                             // 0
  virtual void setPostfilter(PostfilterMode mode);    // 1
  virtual bool prefersRgbOutput();                    // 2
  virtual bool setOutputFormat(OutputFormat format);  // 3
  virtual int64_t videoByteCount();                   // 4
  virtual int64_t audioByteCount();                   // 5
  // 6: writes one picture of width x height in outputFormat into dst (rows
  // dstStride bytes apart) and its time into positionMs; request 7 reads the
  // wanted position from positionMs first. False when there is nothing to show.
  virtual bool getVideoFrame(FrameRequest request, int32_t dstStride, const uint8_t* backgroundBits,
                             int32_t backgroundWidth, int32_t backgroundHeight, uint8_t* dst,
                             int32_t& positionMs) = 0;
  // 7: sets timeChanged = 0, then hands out a new list of chunks (already in
  // the output audio format) in chunks; true when at least one was produced.
  virtual bool getAudio(FrameRequest request, AudioChunk*& chunks, int32_t& timeMs,
                        uint8_t& timeChanged) = 0;
  virtual bool getTimecode(int32_t& hours, int32_t& minutes, int32_t& seconds,
                           int32_t& frames);  // 8
  virtual bool setTimecode(int32_t hours, int32_t minutes, int32_t seconds,
                           int32_t frames);  // 9
  virtual uint64_t videoPacketsReceived();   // 10
  virtual uint64_t videoPacketsLost();       // 11
  virtual uint64_t audioPacketsReceived();   // 12
  virtual uint64_t audioPacketsLost();       // 13
  // 14-17: stream saving targets. Null or empty paths switch saving off; a file
  // that cannot be created leaves that saving off for the life of the source.
  // Both elementary streams start with the whole decoder configuration.
  virtual int32_t setVideoStreamFile(const char* path, const uint8_t* config,
                                     uint32_t configLength);  // 14
  virtual int32_t setAudioStreamFile(const char* path, const uint8_t* config,
                                     uint32_t configLength);               // 15
  virtual int32_t setRawVideoFile(const char* path, int32_t onePerFrame);  // 16
  virtual int32_t setRawAudioFile(const char* path);                       // 17

  // Beyond the slots, for live sources.
  //
  // True while the request that just failed failed only because the network
  // has not delivered enough yet (a stream buffering or stalled): the caller
  // asks again on a later tick instead of ending the medium, and holds no
  // lock in the meantime. The source keeps the deadline after which such a
  // request fails for good; this answers false then. Base: false.
  virtual bool awaitingData() const;
  // How the packets of a received stream arrive, for the information window.
  struct ReceptionFigures {
    double jitterMs = 0.0;    // RFC 3550 interarrival jitter
    uint64_t outOfOrder = 0;  // packets that arrived after a later-numbered one
  };
  // False (outputs untouched) for media that are not received. Base: false.
  virtual bool receptionFigures(ReceptionFigures& video, ReceptionFigures& audio);

  // Where a picture with transparency is centred over the background, as
  // fractions of the picture.
  void setObjectPosition(float x, float y);

  // Copies the still picture into dst when outputFormat has exactly 4 bytes
  // per pixel; leaves dst untouched otherwise, and also when dstStride is
  // smaller than a picture row.
  void drawStillPicture(int32_t dstStride, uint8_t* dst) const;

  // Stores name (or, for names longer than 255 characters, nothing): false when
  // the name does not fit.
  bool setName(const char* newName);

  // Shared state, in declaration order.
  char name[kNameCapacity] = {};
  std::unique_ptr<uint8_t[]> metadataText;
  uint32_t metadataLength = 0;
  int32_t live = 0;
  int32_t streaming = 0;
  VideoCodecType videoCodec = 0;
  int32_t hasVideo = 0;
  int32_t frameCount = 0;
  int32_t width = 0;
  int32_t height = 0;
  OutputFormat outputFormat = 0;
  int32_t displayWidth = 0;
  int32_t displayHeight = 0;
  int32_t durationMs = 0;
  double pixelAspect = 1.0;
  int32_t hasAudio = 0;
  AudioCodecType audioCodec = 0;
  int32_t audioSampleCount = 0;
  int32_t decodedRate = 0;
  int32_t decodedChannels = 0;
  int32_t decodedBits = 0;
  int32_t outputRate = 0;
  int32_t outputChannels = 0;
  int32_t outputBits = 0;
  float objectPositionX = 0.5f;
  float objectPositionY = 0.5f;
  const uint32_t* stillPicture = nullptr;
  // Saving targets; empty means off.
  std::string videoStreamFile;
  std::string audioStreamFile;
  std::string rawVideoFile;
  std::string rawAudioFile;
  int32_t rawVideoPerFrame = 0;
  int32_t rawVideoFileCounter = 0;
};

}  // namespace strevana
