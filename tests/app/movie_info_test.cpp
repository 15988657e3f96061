// The movie information model: value formats, what is read from files,
// audio-only files and streams, and the reading of the metadata text.
#include "app/movie_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "media/bare_source.h"
#include "streaming/media_source_factory.h"

namespace strevana {
namespace {

// A source whose fields the test sets; the stream counters advance at every
// reading, like a live stream's.
class FakeSource final : public BareSource {
 public:
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

// Every field of the model in the window's order, "|" between them.
std::string shown(const MovieInfo& i) {
  std::string out;
  for (const std::string* v :
       {&i.source, &i.duration, &i.fileSize, &i.bitrate, &i.videoCodec, &i.videoSize,
        &i.displaySize, &i.frameRate, &i.videoBitrate, &i.audioCodec, &i.channels, &i.sampleRate,
        &i.sampleDepth, &i.audioBitrate, &i.lostVideo, &i.receivedVideo, &i.lostAudio,
        &i.receivedAudio}) {
    out += (out.empty() ? "" : "|") + *v;
  }
  return out;
}

TEST(MovieInfoFormatTest, ValuesAndTheirDashes) {
  MovieInfoUnits german;
  german.seconds = "s";
  const std::pair<std::string, const char*> cases[] = {
      {MovieInfo::formatDuration(59500, kUnits), "59.50 sec"},
      {MovieInfo::formatDuration(61000, kUnits), "1:01"},
      {MovieInfo::formatDuration(3723000, kUnits), "1:02:03"},
      {MovieInfo::formatDuration(0, kUnits), "0.00 sec"},
      {MovieInfo::formatDuration(-1, kUnits), "-"},
      {MovieInfo::formatDuration(1250, german), "1.25 s"},
      {MovieInfo::formatFileSize(10000, kUnits), "9 kByte"},
      {MovieInfo::formatFileSize(-1, kUnits), "-"},
      {MovieInfo::formatFileSize(int64_t{5} << 31, kUnits), "10485760 kByte"},
      {MovieInfo::formatBitrate(0, kUnits), "0 kBit/s"},
      {MovieInfo::formatBitrate(-1, kUnits), "-"},
      {MovieInfo::formatPictureSize(176, 144, kUnits), "176x144 pixel"},
      {MovieInfo::formatPictureSize(176, 0, kUnits), "-"},
      {MovieInfo::formatPictureSize(0, 144, kUnits), "-"},
      {MovieInfo::formatFrameRate(25.0, kUnits), "25.00 fps"},
      {MovieInfo::formatFrameRate(0.0, kUnits), "-"},
      {MovieInfo::videoCodecName(1), "MPEG-4"},
      {MovieInfo::videoCodecName(4), "H.263"},
      {MovieInfo::videoCodecName(2), "-"},
      {MovieInfo::audioCodecName(2), "AAC"},
      {MovieInfo::audioCodecName(5), "AMR-WB"},
      {MovieInfo::audioCodecName(6), "AMR-NB"},
      {MovieInfo::audioCodecName(1), "-"},
      {MovieInfo::formatPacketCount(42), "42"},
      {MovieInfo::formatPacketCount((uint64_t{1} << 32) + 7), "7"},  // low 32 bits
      {MovieInfo::formatPacketCount(0x80000000u), "-"},
  };
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
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

TEST(MovieInfoFillTest, WhatIsShownForEachKindOfSource) {
  const std::string file = writeFile("movie_info_10000.mp4", 10000);
  const struct {
    const char* what;
    std::function<void(FakeSource&)> set;
    std::string expected;
  } cases[] = {
      {"file with video and audio",
       [&](FakeSource& s) {
         s.setName(file.c_str());
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
       },
       MovieInfo::shortenSourceName(file) +
           "|4.00 sec|9 kByte|132 kBit/s|MPEG-4|176x144 pixel|192x144 pixel|"
           "25.00 fps|100 kBit/s|AAC|2|44100 Hz|16 bit|32 kBit/s|-|-|-|-"},
      // Stale video fields of a source must not show; a file that cannot be
      // opened has no size.
      {"audio only",
       [](FakeSource& s) {
         s.setName("/nowhere/tone.mp4");
         s.durationMs = 2000;
         s.hasAudio = 1;
         s.audioCodec = kAudioCodecAmrNb;
         s.decodedChannels = 1;
         s.decodedRate = 8000;
         s.decodedBits = 16;
         s.audioBytes = 3000;
         s.width = 176;
         s.height = 144;
       },
       "/nowhere/tone.mp4|2.00 sec|-|12 kBit/s|-|-|-|-|-|AMR-NB|1|8000 Hz|16 bit|12 "
       "kBit/s|-|-|-|-"},
      {"no duration, no rates",
       [](FakeSource& s) {
         s.setName("clip.yuv");
         s.hasVideo = 1;
         s.width = 352;
         s.height = 288;
         s.frameCount = 10;
         s.videoBytes = 1000;
       },
       "clip.yuv|0.00 sec|-|-|-|352x288 pixel|-|-|-|-|-|-|-|-|-|-|-|-"},
      {"uncounted bytes are not a zero rate",
       [](FakeSource& s) {
         s.setName("clip.yuv");
         s.hasVideo = 1;
         s.frameCount = 100;
         s.durationMs = 4000;
       },
       "clip.yuv|4.00 sec|-|-|-|-|-|25.00 fps|-|-|-|-|-|-|-|-|-|-"},
      // Streams: no duration, size, rates or video codec; counters instead.
      {"stream",
       [](FakeSource& s) {
         s.setName("rtsp://127.0.0.1:8554/live/clip.sdp");
         s.streaming = 1;
         s.live = 1;
         s.durationMs = 30000;
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
       },
       "rtsp://127.0.0.1:8554/live/clip.sdp|-|-|-|-|176x144 pixel|-|-|-|AAC|-|32000 "
       "Hz|-|-|2|10|2|13"},
  };
  for (const auto& c : cases) {
    FakeSource s;
    c.set(s);
    s.setMetadata("Title: not shown for streams");
    MovieInfo info;
    info.fill(&s, kUnits);
    EXPECT_EQ(shown(info), c.expected) << c.what;
    EXPECT_EQ(info.metadata.empty(), s.streaming != 0) << c.what;
    // A file's packet counters are not read; a stream's change at each refresh.
    EXPECT_EQ(s.received, s.streaming ? 13u : 0u) << c.what;
  }
  MovieInfo info;
  info.source = "stale";
  info.metadata = "stale";
  info.fill(nullptr, kUnits);
  EXPECT_EQ(shown(info), "-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-");
  EXPECT_TRUE(info.metadataItems().empty());
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

// The items as "kind label value" with kinds T(ag), D(escription),
// C(reated with), W(hole text) and E(nd text), ";" between items.
std::string itemsOf(const std::string& metadata) {
  MovieInfo info;
  info.metadata = metadata;
  std::string out;
  for (const MetadataItem& item : info.metadataItems()) {
    out += (out.empty() ? "" : ";") + std::string(1, "TDCWE"[static_cast<int>(item.kind)]) + " " +
           std::to_string(item.labelId) + " " + item.value;
  }
  return out;
}

TEST(MovieInfoMetadataTest, TagsTheEncoderMarkAndPlainText) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"strevana encoded", "C 140 strevana"},
      {"Title: Harbour at dawn; Date: 2026-05-01; (c): Korvello; Description: Boats leave; strevana encoded",
       "T 137 Harbour at dawn;T 138 2026-05-01;T 149 Korvello;D 139 Boats leave;C 140 strevana"},
      // Tags are found in their own order, not the text's.
      {"Date: 1999; Title: Late; other words", "T 137 Late;T 138 1999;E 0 other words"},
      {"recorded on a phone; no tags", "W 0 recorded on a phone; no tags"},
      // A tag at the very end, or followed only by ";", has no value.
      {"Title:", "W 0 Title:"},
      {"Title: ;;;", "W 0 Title: ;;;"},
      {"Title: Name;", "T 137 Name"},
      {"Title: Only", "T 137 Only"},
  };
  // clang-format on
  for (const auto& [text, expected] : cases) EXPECT_EQ(itemsOf(text), expected) << text;
  // Leading ";" before a value are skipped.
  EXPECT_EQ(itemsOf("Title: ;;Name").substr(0, 10), "T 137 Name");
}

}  // namespace
}  // namespace strevana
