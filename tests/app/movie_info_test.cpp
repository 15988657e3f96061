// The movie information model: value formats, what is read from files,
// audio-only files and streams, and the reading of the metadata text.
#include "app/movie_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "media/media_source.h"
#include "streaming/media_source_factory.h"

namespace strevana {
namespace {

// A source whose fields the test sets; the stream counters advance at every
// reading, like a live stream's.
class FakeSource final : public MediaSource {
 public:
  bool getVideoFrame(FrameRequest, int32_t, const uint8_t*, int32_t, int32_t, uint8_t*,
                     int32_t&) override {
    return false;
  }
  bool getAudio(FrameRequest, AudioChunk*& chunks, int32_t&, uint8_t& timeChanged) override {
    chunks = nullptr;
    timeChanged = 0;
    return false;
  }
  int64_t videoByteCount() override { return videoBytes; }
  int64_t audioByteCount() override { return audioBytes; }
  uint64_t videoPacketsReceived() override { return received += 10; }
  uint64_t videoPacketsLost() override { return lost; }
  uint64_t audioPacketsReceived() override { return received += 3; }
  uint64_t audioPacketsLost() override { return lost; }

  void setMetadata(const std::string& text) {
    metadataText = std::make_unique<uint8_t[]>(text.size() + 1);
    std::memcpy(metadataText.get(), text.c_str(), text.size() + 1);
    metadataLength = static_cast<uint32_t>(text.size());
  }

  int64_t videoBytes = -1;
  int64_t audioBytes = -1;
  uint64_t received = 0;
  uint64_t lost = 0;
};

std::string writeFile(const std::string& name, size_t bytes) {
  std::string path = ::testing::TempDir() + name;
  std::ofstream out(path, std::ios::binary);
  std::string data(bytes, 'x');
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return path;
}

const MovieInfoUnits kUnits;

std::vector<MetadataItem> itemsOf(const std::string& metadata) {
  MovieInfo info;
  info.metadata = metadata;
  return info.metadataItems();
}

TEST(MovieInfoFormatTest, DurationsInSecondsMinutesAndHours) {
  EXPECT_EQ(MovieInfo::formatDuration(59500, kUnits), "59.50 sec");
  EXPECT_EQ(MovieInfo::formatDuration(61000, kUnits), "1:01");
  EXPECT_EQ(MovieInfo::formatDuration(3723000, kUnits), "1:02:03");
  EXPECT_EQ(MovieInfo::formatDuration(0, kUnits), "0.00 sec");
  EXPECT_EQ(MovieInfo::formatDuration(-1, kUnits), "-");
  MovieInfoUnits german;
  german.seconds = "s";
  EXPECT_EQ(MovieInfo::formatDuration(1250, german), "1.25 s");
}

TEST(MovieInfoFormatTest, SizesRatesAndCodecs) {
  EXPECT_EQ(MovieInfo::formatFileSize(10000, kUnits), "9 kByte");
  EXPECT_EQ(MovieInfo::formatFileSize(-1, kUnits), "-");
  EXPECT_EQ(MovieInfo::formatFileSize(int64_t{5} << 31, kUnits), "10485760 kByte");
  EXPECT_EQ(MovieInfo::formatBitrate(0, kUnits), "0 kBit/s");
  EXPECT_EQ(MovieInfo::formatBitrate(-1, kUnits), "-");
  EXPECT_EQ(MovieInfo::formatPictureSize(176, 144, kUnits), "176x144 pixel");
  EXPECT_EQ(MovieInfo::formatPictureSize(176, 0, kUnits), "-");
  EXPECT_EQ(MovieInfo::formatFrameRate(25.0, kUnits), "25.00 fps");
  EXPECT_EQ(MovieInfo::formatFrameRate(0.0, kUnits), "-");
  EXPECT_EQ(MovieInfo::videoCodecName(1), "MPEG-4");
  EXPECT_EQ(MovieInfo::videoCodecName(4), "H.263");
  EXPECT_EQ(MovieInfo::videoCodecName(2), "-");
  EXPECT_EQ(MovieInfo::audioCodecName(2), "AAC");
  EXPECT_EQ(MovieInfo::audioCodecName(5), "AMR-WB");
  EXPECT_EQ(MovieInfo::audioCodecName(6), "AMR-NB");
  EXPECT_EQ(MovieInfo::audioCodecName(1), "-");
  EXPECT_EQ(MovieInfo::formatPacketCount(42), "42");
  EXPECT_EQ(MovieInfo::formatPacketCount((uint64_t{1} << 32) + 7), "7");  // low 32 bits
  EXPECT_EQ(MovieInfo::formatPacketCount(0x80000000u), "-");
}

TEST(MovieInfoFormatTest, LongSourceNamesKeepTheirLast35Characters) {
  const std::string fifty = "/media/clips/" + std::string(29, 'a') + "tail.mp4";
  ASSERT_EQ(fifty.size(), 50u);
  EXPECT_EQ(MovieInfo::shortenSourceName(fifty), "..." + fifty.substr(15));
  const std::string thirtyNine(39, 'n');
  EXPECT_EQ(MovieInfo::shortenSourceName(thirtyNine), thirtyNine);
  EXPECT_EQ(MovieInfo::shortenSourceName(std::string(40, 'n')), "..." + std::string(35, 'n'));
  EXPECT_EQ(MovieInfo::shortenSourceName(""), "-");
  // Characters, not bytes: a name of 40 two-byte letters is cut on a
  // character boundary.
  std::string umlauts;
  for (int i = 0; i < 40; ++i) umlauts += "\xC3\xA4";
  EXPECT_EQ(MovieInfo::shortenSourceName(umlauts), "..." + umlauts.substr(10));
}

TEST(MovieInfoFillTest, NothingOpenShowsDashesEverywhere) {
  MovieInfo info;
  info.source = "stale";
  info.metadata = "stale";
  info.fill(nullptr, kUnits);
  for (const std::string* v :
       {&info.source, &info.duration, &info.fileSize, &info.bitrate, &info.videoCodec,
        &info.videoSize, &info.displaySize, &info.frameRate, &info.videoBitrate,
        &info.audioCodec, &info.channels, &info.sampleRate, &info.sampleDepth,
        &info.audioBitrate, &info.lostVideo, &info.receivedVideo, &info.lostAudio,
        &info.receivedAudio}) {
    EXPECT_EQ(*v, "-");
  }
  EXPECT_TRUE(info.metadata.empty());
  EXPECT_TRUE(info.metadataItems().empty());
}

TEST(MovieInfoFillTest, FileWithVideoAndAudio) {
  FakeSource s;
  std::string path = writeFile("movie_info_10000.mp4", 10000);
  ASSERT_TRUE(s.setName(path.c_str()));
  s.durationMs = 4000;
  s.videoCodec = kVideoCodecMpeg4;
  s.hasVideo = 1;
  s.width = 176;
  s.height = 144;
  s.displayWidth = 192;
  s.displayHeight = 144;
  s.frameCount = 100;
  s.videoBytes = 50000;  // 100 kbit/s over 4 s
  s.hasAudio = 1;
  s.audioCodec = kAudioCodecAac;
  s.decodedChannels = 2;
  s.decodedRate = 44100;
  s.decodedBits = 16;
  s.audioBytes = 16000;  // 32 kbit/s
  MovieInfo info;
  info.fill(&s, kUnits);
  EXPECT_EQ(info.source, MovieInfo::shortenSourceName(path));
  EXPECT_EQ(info.duration, "4.00 sec");
  EXPECT_EQ(info.fileSize, "9 kByte");
  EXPECT_EQ(info.videoCodec, "MPEG-4");
  EXPECT_EQ(info.videoSize, "176x144 pixel");
  EXPECT_EQ(info.displaySize, "192x144 pixel");
  EXPECT_EQ(info.frameRate, "25.00 fps");
  EXPECT_EQ(info.videoBitrate, "100 kBit/s");
  EXPECT_EQ(info.audioCodec, "AAC");
  EXPECT_EQ(info.channels, "2");
  EXPECT_EQ(info.sampleRate, "44100 Hz");
  EXPECT_EQ(info.sampleDepth, "16 bit");
  EXPECT_EQ(info.audioBitrate, "32 kBit/s");
  EXPECT_EQ(info.bitrate, "132 kBit/s");
  EXPECT_EQ(info.lostVideo, "-");
  EXPECT_EQ(info.receivedAudio, "-");
  EXPECT_EQ(s.received, 0u) << "a file's packet counters are not read";
}

TEST(MovieInfoFillTest, AudioOnlyFileHasNoVideoValues) {
  FakeSource s;
  ASSERT_TRUE(s.setName("/nowhere/tone.mp4"));
  s.durationMs = 2000;
  s.hasAudio = 1;
  s.audioCodec = kAudioCodecAmrNb;
  s.decodedChannels = 1;
  s.decodedRate = 8000;
  s.decodedBits = 16;
  s.audioBytes = 3000;  // 12 kbit/s
  s.width = 176;        // stale fields of a source must not show
  s.height = 144;
  MovieInfo info;
  info.fill(&s, kUnits);
  EXPECT_EQ(info.videoSize, "-");
  EXPECT_EQ(info.displaySize, "-");
  EXPECT_EQ(info.frameRate, "-");
  EXPECT_EQ(info.videoBitrate, "-");
  EXPECT_EQ(info.audioCodec, "AMR-NB");
  EXPECT_EQ(info.sampleRate, "8000 Hz");
  EXPECT_EQ(info.audioBitrate, "12 kBit/s");
  EXPECT_EQ(info.bitrate, "12 kBit/s");
  EXPECT_EQ(info.fileSize, "-") << "a file that cannot be opened has no size";
}

TEST(MovieInfoFillTest, NoDurationMeansNoRates) {
  FakeSource s;
  ASSERT_TRUE(s.setName("clip.yuv"));
  s.hasVideo = 1;
  s.width = 352;
  s.height = 288;
  s.frameCount = 10;
  s.durationMs = 0;
  s.videoBytes = 1000;
  MovieInfo info;
  info.fill(&s, kUnits);
  EXPECT_EQ(info.frameRate, "-");
  EXPECT_EQ(info.videoBitrate, "-");
  EXPECT_EQ(info.bitrate, "-");
  EXPECT_EQ(info.videoSize, "352x288 pixel");
}

TEST(MovieInfoFillTest, UncountedBytesAreNotAZeroRate) {
  FakeSource s;
  ASSERT_TRUE(s.setName("clip.yuv"));
  s.hasVideo = 1;
  s.frameCount = 100;
  s.durationMs = 4000;
  s.videoBytes = -1;
  MovieInfo info;
  info.fill(&s, kUnits);
  EXPECT_EQ(info.frameRate, "25.00 fps");
  EXPECT_EQ(info.videoBitrate, "-");
  EXPECT_EQ(info.bitrate, "-");
}

TEST(MovieInfoFillTest, StreamShowsCountersThatChangeAtEachRefresh) {
  FakeSource s;
  ASSERT_TRUE(s.setName("rtsp://127.0.0.1:8554/live/clip.sdp"));
  s.streaming = 1;
  s.live = 1;
  s.durationMs = 30000;  // ignored for streams
  s.videoCodec = kVideoCodecMpeg4;
  s.hasVideo = 1;
  s.width = 176;
  s.height = 144;
  s.frameCount = 900;
  s.videoBytes = 99999;
  s.hasAudio = 1;
  s.audioCodec = kAudioCodecAac;
  s.decodedRate = 32000;
  s.lost = 2;
  s.setMetadata("Title: not shown for streams");
  MovieInfo info;
  info.fill(&s, kUnits);
  EXPECT_EQ(info.duration, "-");
  EXPECT_EQ(info.fileSize, "-");
  EXPECT_EQ(info.frameRate, "-");
  EXPECT_EQ(info.videoBitrate, "-");
  EXPECT_EQ(info.audioBitrate, "-");
  EXPECT_EQ(info.bitrate, "-");
  EXPECT_EQ(info.videoCodec, "-");
  EXPECT_EQ(info.videoSize, "176x144 pixel");
  EXPECT_EQ(info.audioCodec, "AAC");
  EXPECT_EQ(info.lostVideo, "2");
  EXPECT_EQ(info.lostAudio, "2");
  EXPECT_TRUE(info.metadata.empty());
  const std::string firstVideo = info.receivedVideo;
  const std::string firstAudio = info.receivedAudio;
  info.fill(&s, kUnits);
  EXPECT_NE(info.receivedVideo, firstVideo);
  EXPECT_NE(info.receivedAudio, firstAudio);
}

TEST(MovieInfoFillTest, MetadataIsCopiedUpTo1024Bytes) {
  FakeSource s;
  ASSERT_TRUE(s.setName("a.mp4"));
  s.setMetadata(std::string(3000, 'm'));
  MovieInfo info;
  info.fill(&s, kUnits);
  EXPECT_EQ(info.metadata.size(), MovieInfo::kMaxMetadataBytes);
  // A length field larger than the text stops at the text's end.
  s.setMetadata("short");
  s.metadataLength = 1;
  info.fill(&s, kUnits);
  EXPECT_EQ(info.metadata, "s");
}

TEST(MovieInfoFillTest, RealFileWithMetadata) {
  const std::string path = std::string(STREVANA_FIXTURE_DIR) + "/demo.mp4";
  std::unique_ptr<MediaSource> source =
      createMediaSource(nullptr, path.c_str(), 0, kFormatYuy2, 0, 0, 0, 0, nullptr, nullptr,
                        nullptr, nullptr, 0, 0, 0, nullptr);
  ASSERT_NE(source, nullptr) << path;
  MovieInfo info;
  info.fill(source.get(), kUnits);
  EXPECT_EQ(info.source, MovieInfo::shortenSourceName(path));
  EXPECT_EQ(info.duration, "10.00 sec");
  EXPECT_EQ(info.videoSize, "320x240 pixel");
  EXPECT_EQ(info.frameRate, "25.00 fps");
  EXPECT_EQ(info.audioCodec, "AAC");
  EXPECT_NE(info.fileSize, "-");
  EXPECT_NE(info.bitrate, "-");
  std::vector<MetadataItem> items = info.metadataItems();
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items.back().kind, MetadataItem::Kind::kCreatedWith);
}

TEST(MovieInfoMetadataTest, EncoderMarkAloneIsOneCreatedWithLine) {
  std::vector<MetadataItem> items = itemsOf("strevana encoded");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].kind, MetadataItem::Kind::kCreatedWith);
  EXPECT_EQ(items[0].labelId, info_text::kCreatedWith);
  EXPECT_EQ(items[0].value, "strevana");
}

TEST(MovieInfoMetadataTest, FourTagsAndTheClosingMark) {
  std::vector<MetadataItem> items = itemsOf(
      "Title: Harbour at dawn; Date: 2026-05-01; (c): Korvello; Description: Boats leave; "
      "strevana encoded");
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].labelId, info_text::kTitle);
  EXPECT_EQ(items[0].value, "Harbour at dawn");
  EXPECT_EQ(items[1].labelId, info_text::kDate);
  EXPECT_EQ(items[1].value, "2026-05-01");
  EXPECT_EQ(items[2].labelId, info_text::kCopyright);
  EXPECT_EQ(items[2].value, "Korvello");
  EXPECT_EQ(items[3].kind, MetadataItem::Kind::kDescription);
  EXPECT_EQ(items[3].value, "Boats leave");
  EXPECT_EQ(items[4].kind, MetadataItem::Kind::kCreatedWith);
}

TEST(MovieInfoMetadataTest, TagsAreFoundInTheirOwnOrderNotTheText) {
  std::vector<MetadataItem> items = itemsOf("Date: 1999; Title: Late; other words");
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].value, "Late");
  EXPECT_EQ(items[1].value, "1999");
  EXPECT_EQ(items[2].kind, MetadataItem::Kind::kClosingText);
  EXPECT_EQ(items[2].value, "other words");
}

TEST(MovieInfoMetadataTest, TextWithoutTagsIsOneBlock) {
  std::vector<MetadataItem> items = itemsOf("recorded on a phone; no tags");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].kind, MetadataItem::Kind::kWholeText);
  EXPECT_EQ(items[0].value, "recorded on a phone; no tags");
}

TEST(MovieInfoMetadataTest, EmptyValuesAndEdgesOfTheText) {
  // A tag at the very end, or followed only by ";", has no value.
  EXPECT_EQ(itemsOf("Title:")[0].kind, MetadataItem::Kind::kWholeText);
  EXPECT_EQ(itemsOf("Title: ;;;")[0].kind, MetadataItem::Kind::kWholeText);
  // Leading ";" before a value are skipped.
  std::vector<MetadataItem> items = itemsOf("Title: ;;Name");
  ASSERT_FALSE(items.empty());
  EXPECT_EQ(items[0].value, "Name");
  // A text ending in ";" has no closing item at all.
  items = itemsOf("Title: Name;");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].value, "Name");
  // Without any ";" the tags are all there is.
  items = itemsOf("Title: Only");
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].value, "Only");
}

}  // namespace
}  // namespace strevana
