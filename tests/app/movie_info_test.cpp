// The movie information: value formats, what is read from each kind of
// source, the reading of the metadata text, and where the window draws it all.
#include "app/movie_info.h"

#include <QImage>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>

#include "app/app_globals.h"
#include "app/movie_info_window.h"
#include "support/fake_media_source.h"
#include "support/qt_application.h"
#include "video/memory_window_surface.h"

namespace strevana {
namespace {

// A source whose fields the test sets, all empty at first; the stream
// counters advance at every reading, like a live stream's.
class FakeSource final : public testing::FakeMediaSource {
 public:
  FakeSource() : FakeMediaSource({.width = 0, .height = 0, .frames = 0, .video = false}) {}
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
  int64_t videoBytes = -1, audioBytes = -1;
  uint64_t received = 0, lost = 0;
};

const MovieInfoUnits kUnits;

using Field = std::string MovieInfo::*;
// The fields in the window's order.
constexpr Field kFields[] = {
    &MovieInfo::source,        &MovieInfo::duration,     &MovieInfo::fileSize,
    &MovieInfo::bitrate,       &MovieInfo::videoCodec,   &MovieInfo::videoSize,
    &MovieInfo::displaySize,   &MovieInfo::frameRate,    &MovieInfo::videoBitrate,
    &MovieInfo::audioCodec,    &MovieInfo::channels,     &MovieInfo::sampleRate,
    &MovieInfo::sampleDepth,   &MovieInfo::audioBitrate, &MovieInfo::lostVideo,
    &MovieInfo::receivedVideo, &MovieInfo::lostAudio,    &MovieInfo::receivedAudio};

std::string shown(const MovieInfo& info) {
  std::string out;
  for (Field f : kFields) out += (out.empty() ? "" : "|") + info.*f;
  return out;
}

TEST(MovieInfo, ValuesAndTheirDashes) {
  std::string umlauts;
  for (int i = 0; i < 40; ++i) umlauts += "\xC3\xA4";
  using M = MovieInfo;
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {M::formatDuration(59500, kUnits), "59.50 sec"}, {M::formatDuration(61000, kUnits), "1:01"},
      {M::formatDuration(3723000, kUnits), "1:02:03"}, {M::formatDuration(0, kUnits), "0.00 sec"},
      {M::formatDuration(-1, kUnits), "-"},            {M::formatDuration(1250, kUnits), "1.25 sec"},
      {M::formatFileSize(10000, kUnits), "9 kByte"},   {M::formatFileSize(-1, kUnits), "-"},
      {M::formatFileSize(int64_t{5} << 31, kUnits), "10485760 kByte"}, {M::formatBitrate(0, kUnits), "0 kBit/s"},
      {M::formatBitrate(-1, kUnits), "-"}, {M::formatPictureSize(176, 144, kUnits), "176x144 pixel"},
      {M::formatPictureSize(176, 0, kUnits), "-"},     {M::formatPictureSize(0, 144, kUnits), "-"},
      {M::formatFrameRate(25.0, kUnits), "25.00 fps"}, {M::formatFrameRate(0.0, kUnits), "-"},
      {M::videoCodecName(1), "MPEG-4"}, {M::videoCodecName(4), "H.263"}, {M::videoCodecName(2), "-"},
      {M::audioCodecName(2), "AAC"}, {M::audioCodecName(5), "AMR-WB"}, {M::audioCodecName(6), "AMR-NB"},
      {M::audioCodecName(1), "-"},   {M::formatPacketCount(42), "42"},
      {M::formatPacketCount((uint64_t{1} << 32) + 7), "7"}, {M::formatPacketCount(0x80000000u), "-"},
      // Long names keep their last 35 characters, cut between characters.
      {M::shortenSourceName(std::string(39, 'n')), std::string(39, 'n')}, {M::shortenSourceName(""), "-"},
      {M::shortenSourceName(std::string(40, 'n')), "..." + std::string(35, 'n')},
      {M::shortenSourceName(umlauts), "..." + umlauts.substr(10)},
  };
  // clang-format on
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << i;
}

TEST(MovieInfo, WhatIsShownForEachKindOfSource) {
  const std::string file = ::testing::TempDir() + "movie_info_10000.mp4";
  std::ofstream(file) << std::string(10000, 'x');
  // clang-format off
  const struct { const char* what; std::function<void(FakeSource&)> set; std::string expected; } cases[] = {
      {"file with video and audio", [&](FakeSource& s) {
         s.setName(file.c_str()); s.durationMs = 4000; s.videoCodec = kVideoCodecMpeg4; s.hasVideo = 1;
         s.width = 176; s.height = 144; s.displayWidth = 192; s.displayHeight = 144; s.frameCount = 100;
         s.videoBytes = 50000; s.hasAudio = 1; s.audioCodec = kAudioCodecAac; s.decodedChannels = 2;
         s.decodedRate = 44100; s.decodedBits = 16; s.audioBytes = 16000; },
       MovieInfo::shortenSourceName(file) + "|4.00 sec|9 kByte|132 kBit/s|MPEG-4|176x144 pixel|"
           "192x144 pixel|25.00 fps|100 kBit/s|AAC|2|44100 Hz|16 bit|32 kBit/s|-|-|-|-"},
      // Stale video fields of an audio-only source do not show; no file, no size.
      {"audio only", [](FakeSource& s) {
         s.setName("/nowhere/tone.mp4"); s.durationMs = 2000; s.hasAudio = 1; s.audioCodec = kAudioCodecAmrNb;
         s.decodedChannels = 1; s.decodedRate = 8000; s.decodedBits = 16; s.audioBytes = 3000;
         s.width = 176; s.height = 144; },
       "/nowhere/tone.mp4|2.00 sec|-|12 kBit/s|-|-|-|-|-|AMR-NB|1|8000 Hz|16 bit|12 kBit/s|-|-|-|-"},
      {"no duration, no rates", [](FakeSource& s) {
         s.setName("clip.yuv"); s.hasVideo = 1; s.width = 352; s.height = 288; s.frameCount = 10; s.videoBytes = 1000; },
       "clip.yuv|0.00 sec|-|-|-|352x288 pixel|-|-|-|-|-|-|-|-|-|-|-|-"},
      // Streams: no duration, size, rates or video codec; counters instead.
      {"stream", [](FakeSource& s) {
         s.setName("rtsp://127.0.0.1:8554/live/clip.sdp"); s.streaming = 1; s.live = 1; s.durationMs = 30000;
         s.videoCodec = kVideoCodecMpeg4; s.hasVideo = 1; s.width = 176; s.height = 144; s.frameCount = 900;
         s.videoBytes = 99999; s.hasAudio = 1; s.audioCodec = kAudioCodecAac; s.decodedRate = 32000; s.lost = 2; },
       "rtsp://127.0.0.1:8554/live/clip.sdp|-|-|-|-|176x144 pixel|-|-|-|AAC|-|32000 Hz|-|-|2|10|2|13"},
  };
  // clang-format on
  for (const auto& c : cases) {
    FakeSource s;
    c.set(s);
    s.setMetadata("Title: not shown for streams");
    MovieInfo info;
    info.fill(&s, kUnits);
    EXPECT_EQ(shown(info), c.expected) << c.what;
    EXPECT_EQ(info.metadata.empty(), s.streaming != 0) << c.what;
    EXPECT_EQ(s.received, s.streaming ? 13u : 0u) << c.what;  // a file's counters are not read
  }
  MovieInfo info;
  info.metadata = "stale";
  info.fill(nullptr, kUnits);
  EXPECT_EQ(shown(info), "-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-|-");
  EXPECT_TRUE(info.metadataItems().empty());
  // Metadata is copied up to 1024 bytes, and never past the text's end.
  FakeSource s;
  s.setName("a.mp4");
  s.setMetadata(std::string(3000, 'm'));
  info.fill(&s, kUnits);
  EXPECT_EQ(info.metadata.size(), MovieInfo::kMaxMetadataBytes);
  s.setMetadata("short");
  s.metadataLength = 1;
  info.fill(&s, kUnits);
  EXPECT_EQ(info.metadata, "s");
}

TEST(MovieInfo, TagsTheEncoderMarkAndPlainText) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"strevana encoded", "C 140 strevana"},
      {"Title: Harbour at dawn; Date: 2026-05-01; (c): Korvello; Description: Boats leave; strevana encoded",
       "T 137 Harbour at dawn;T 138 2026-05-01;T 149 Korvello;D 139 Boats leave;C 140 strevana"},
      {"Date: 1999; Title: Late; other words", "T 137 Late;T 138 1999;E 0 other words"},  // tag order, not the text's
      {"recorded on a phone; no tags", "W 0 recorded on a phone; no tags"}, {"Title: Name;", "T 137 Name"},
      {"Title:", "W 0 Title:"},  // a tag at the very end has no value
  };
  // clang-format on
  for (const auto& [text, expected] : cases) {
    MovieInfo info;
    info.metadata = text;
    std::string out;
    for (const MetadataItem& item : info.metadataItems()) {
      out += (out.empty() ? "" : ";") + std::string(1, "TDCWE"[static_cast<int>(item.kind)]) + " " +
             std::to_string(item.labelId) + " " + item.value;
    }
    EXPECT_EQ(out, expected) << text;
  }
}

class MovieInfoDrawing : public ::testing::Test {
 protected:
  void SetUp() override { testing::application(); }
  MovieInfoLayout draw(const MovieInfo& info) {
    MovieInfoWindowState state(&surface);
    MovieInfoLayout layout = drawMovieInfo(info, state.canvas);
    lh = layout.lineHeight;
    return layout;
  }
  MemoryWindowSurface surface{kInfoWindowWidth, kInfoWindowHeight};
  int lh = 0;
};

TEST_F(MovieInfoDrawing, OutlineSeparatorsAndEveryFieldInItsPlace) {
  MovieInfo info;
  for (size_t i = 0; i < std::size(kFields); ++i) info.*kFields[i] = "v" + std::to_string(i);
  const MovieInfoLayout layout = draw(info);
  const QImage image = surface.snapshot();
  // B(ackground), O(utline), D(ark) and L(ight) separator lines, ? for anything else.
  const auto at = [&image](int x, int y) {
    const QRgb c = image.pixel(x, y) & 0xFFFFFF;
    const Colour colours[] = {kInfoBackground, kInfoOutline, kInfoSeparatorDark,
                              kInfoSeparatorLight};
    for (int i = 0; i < 4; ++i)
      if (c == (colours[i] & 0xFFFFFF)) return "BODL"[i];
    return '?';
  };
  EXPECT_EQ(std::string({at(0, 0), at(399, 459), at(390, 450)}), "OOB");
  // Separators under GENERAL, VIDEO (up to 180), AUDIO (from 190), STREAMING and COPYRIGHT.
  EXPECT_EQ(layout.separatorRows, (std::vector<int32_t>{24, 112, 112, 202, 292}));
  for (int row : {24, 112, 202, 292}) {
    EXPECT_EQ(
        std::string({at(4, row), at(5, row), at(394, row), at(100, row + 1), at(100, row + 2)}),
        "BDDLB")
        << row;
  }
  EXPECT_EQ(std::string({at(179, 112), at(185, 112), at(190, 113)}), "DBL");
  ASSERT_GT(lh, 8);
  // Each value at its column and row, its label (if any) ending at its own column.
  // clang-format off
  const struct { const char* label; int labelX, valueX, y; } places[] = {
      {"Source:", 100, 110, 32}, {"Duration:", 100, 110, 32 + lh}, {"File Size:", 100, 110, 32 + 2 * lh},
      {"Bitrate:", 100, 110, 32 + 3 * lh}, {"VIDEO", 10, 50, 98}, {"Video Size:", 100, 110, 120},
      {"Display Size:", 100, 110, 120 + lh}, {"Frame Rate:", 100, 110, 120 + 2 * lh},
      {"Bitrate:", 100, 110, 120 + 3 * lh}, {"AUDIO", 195, 235, 98}, {"Channels:", 300, 310, 120},
      {"Sample Rate:", 300, 310, 120 + lh}, {"Sample Depth:", 300, 310, 120 + 2 * lh},
      {"Bitrate:", 300, 310, 120 + 3 * lh}, {"Lost Video:", 140, 150, 210},
      {"Recv. Video:", 140, 150, 210 + lh}, {"Lost Audio:", 140, 150, 210 + 2 * lh},
      {"Recv. Audio:", 140, 150, 210 + 3 * lh},
  };
  // clang-format on
  for (size_t i = 0; i < std::size(places); ++i) {
    const auto& p = places[i];
    const std::string value = "v" + std::to_string(i);
    auto it = std::find_if(layout.texts.begin(), layout.texts.end(),
                           [&](const PlacedText& t) { return t.text == value; });
    ASSERT_NE(it, layout.texts.end()) << value;
    ASSERT_NE(it, layout.texts.begin());
    const PlacedText& label = *(it - 1);
    EXPECT_EQ(std::make_tuple(label.text, label.x, label.y, label.rightAligned, it->x, it->y),
              std::make_tuple(std::string(p.label), p.labelX, p.y, p.y != 98, p.valueX, p.y))
        << value;
  }
}

TEST_F(MovieInfoDrawing, MetadataLinesBelowTheCopyrightHeading) {
  const std::string tags = "Title: Harbour; Date: 2026; (c): Korvello; ";
  std::string many;
  for (int i = 0; i < 200; ++i) many += "harbour ";
  // Which line (from 300 down) each text is on and where it starts (labels:
  // ends), "-" when it is not drawn.
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {tags + "strevana encoded",
       "Title:@0:100|Harbour@0:110|Date:@1:100|Copyright:@2:100|Korvello@2:110|Created with:@3:100"},
      {tags + "Description: harbour; strevana encoded", "Description:@3:100|Created with:@4:100"},
      {tags + "Description: " + many + "; strevana encoded", "Description:@3:100|Created with:@7:100"},  // 4 at most
      {"strevana encoded", "Created with:@0:100|strevana@0:110"},
      {"no tags here, just words", "no tags here, just words@0:5|Created with:@-"},
  };
  // clang-format on
  for (const auto& [metadata, expected] : cases) {
    MovieInfo info;
    info.metadata = metadata;
    const MovieInfoLayout layout = draw(info);
    std::string shown;
    for (size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
      end = expected.find('|', at);
      const std::string name = expected.substr(at, expected.find('@', at) - at);
      const PlacedText* t = layout.find(name);
      shown += (at ? "|" : "") + name + "@" +
               (t ? std::to_string((t->y - 300) / lh) + ":" + std::to_string(t->x) : "-");
    }
    EXPECT_EQ(shown, expected) << metadata;
  }
}

}  // namespace
}  // namespace strevana
