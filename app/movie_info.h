#pragma once
// MovieInfo: the text model of the movie information window. Every value is
// held ready-formatted ("-" when absent) and is rebuilt from the current
// MediaSource by fill(); the window only places these texts. The model has no
// window code, so its formats and its reading of the metadata are tested on
// their own.
//
// Choices made here:
// - A negative duration other than -1, or a negative byte count (a source
//   that does not count its bytes), is treated as absent: "-" rather than a
//   made-up "0 kBit/s" or "-0.01 sec".
// - The metadata closing item (the text after the last ";", usually the
//   encoder's mark) gets a line of its own below the tag lines; see
//   metadataItems().
// - Metadata ending in ";" has no closing item (nothing follows the last
//   ";"), instead of reading past the end of the text.
// - Texts are cut to their size limits on UTF-8 character boundaries.
//
// Threads: none of its own. fill() reads the source, so it runs under the
// controller's lock; the rest is plain data.
// Ownership: the model keeps copies; nothing refers back to the source.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace strevana {

class MediaSource;

// The unit words, localised texts of the current resource module.
struct MovieInfoUnits {
  std::string seconds = "sec";          // 129
  std::string kiloBytes = "kByte";      // 130
  std::string bits = "bit";             // 131
  std::string kiloBits = "kBit/s";      // 132
  std::string pixels = "pixel";         // 133
  std::string framesPerSecond = "fps";  // 134
  std::string hertz = "Hz";             // 135
};

// String ids of the labels and headings the window shows.
namespace info_text {
constexpr int32_t kGeneral = 112;
constexpr int32_t kSource = 113;
constexpr int32_t kDuration = 114;
constexpr int32_t kFileSize = 115;
constexpr int32_t kBitrate = 116;
constexpr int32_t kVideo = 117;
constexpr int32_t kVideoSize = 118;
constexpr int32_t kFrameRate = 119;
constexpr int32_t kAudio = 120;
constexpr int32_t kChannels = 121;
constexpr int32_t kSampleRate = 122;
constexpr int32_t kSampleDepth = 123;
constexpr int32_t kStreaming = 124;
constexpr int32_t kLostVideo = 125;
constexpr int32_t kReceivedVideo = 126;
constexpr int32_t kLostAudio = 127;
constexpr int32_t kReceivedAudio = 128;
constexpr int32_t kSeconds = 129;
constexpr int32_t kKiloBytes = 130;
constexpr int32_t kBits = 131;
constexpr int32_t kKiloBits = 132;
constexpr int32_t kPixels = 133;
constexpr int32_t kFramesPerSecond = 134;
constexpr int32_t kHertz = 135;
constexpr int32_t kTitle = 137;
constexpr int32_t kDate = 138;
constexpr int32_t kDescription = 139;
constexpr int32_t kCreatedWith = 140;
constexpr int32_t kCopyrightHeading = 146;
constexpr int32_t kWindowCaption = 147;
constexpr int32_t kDisplaySize = 148;
constexpr int32_t kCopyright = 149;
constexpr int32_t kPaintText = 106;
}  // namespace info_text

// One line (or block) of the metadata section, in drawing order.
struct MetadataItem {
  enum class Kind {
    kTagLine,      // label right at 100, value at 110 (Title, Date, Copyright)
    kDescription,  // label right at 100, value wrapped at 110, 4 lines high
    kCreatedWith,  // "Created with:" right at 100, "strevana" at 110
    kWholeText,    // the whole text, no tag found: wrapped at 5, 8 lines high
    kClosingText,  // the text after the last ";", at 5
  };
  Kind kind = Kind::kTagLine;
  int32_t labelId = 0;  // string id of the label; 0 when there is none
  std::string value;
};

class MovieInfo {
 public:
  static constexpr size_t kMaxMetadataBytes = 1024;
  static constexpr size_t kMaxSourceChars = 39;
  static constexpr size_t kShortenedTailChars = 35;
  static constexpr const char* kEncoderMark = "strevana encoded";
  static constexpr const char* kEncoderName = "strevana";

  MovieInfo() { reset(); }

  // Every value "-", no source name, no metadata.
  void reset();
  // Rebuilds the model from source (null: nothing open, everything "-").
  // fileSize is read from the file the source names; -1 when unknown.
  void fill(MediaSource* source, const MovieInfoUnits& units);

  // Value formats.
  static std::string formatDuration(int64_t ms, const MovieInfoUnits& units);
  static std::string formatFileSize(int64_t bytes, const MovieInfoUnits& units);
  static std::string formatBitrate(int64_t kbitPerSecond, const MovieInfoUnits& units);
  static std::string formatPictureSize(int32_t width, int32_t height, const MovieInfoUnits& units);
  static std::string formatFrameRate(double rate, const MovieInfoUnits& units);
  static std::string videoCodecName(int32_t code);
  static std::string audioCodecName(int32_t code);
  static std::string formatCount(int32_t value);
  static std::string formatWithUnit(int32_t value, const std::string& unit);
  static std::string formatPacketCount(uint64_t count);
  // A name of up to 39 characters whole, else "..." and its last 35; "-"
  // for none. Counted in characters, not bytes.
  static std::string shortenSourceName(std::string_view name);
  // The size of the named file in bytes, -1 when it cannot be opened.
  static int64_t readFileSize(const char* name);

  // The metadata section's lines.
  std::vector<MetadataItem> metadataItems() const;

  // The values, as shown.
  std::string source;
  std::string duration;
  std::string fileSize;
  std::string bitrate;
  std::string metadata;  // empty when the source has none
  std::string videoCodec;
  std::string videoSize;
  std::string displaySize;
  std::string frameRate;
  std::string videoBitrate;
  std::string audioCodec;
  std::string channels;
  std::string sampleRate;
  std::string sampleDepth;
  std::string audioBitrate;
  std::string lostVideo;
  std::string receivedVideo;
  std::string lostAudio;
  std::string receivedAudio;
};

}  // namespace strevana
