// How RtspStreamSource waits for the network and when it gives up, with a
// clock driven by hand: requests never block, report that they await data,
// and fail for good once (bufferMs + timeoutMs) / 100 rounds of 100 ms have
// passed. Also which descriptions open at all.
#include <gtest/gtest.h>

#include <string>

#include "base/millisecond_clock.h"
#include "stream_test_support.h"
#include "streaming/rtsp_stream_source.h"

namespace strevana {
namespace {

using testing::freePort;

// A description in memory with one MPEG-4 video stream and one AAC stream
// (mpeg4-generic), both on loopback ports nobody sends to; videoExtra adds
// attribute lines to the video.
std::string description(int videoPort, int audioPort, bool videoConfig = true,
                        bool audioConfig = true, const std::string& videoExtra = "") {
  std::string text = "v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=test\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n";
  text += "m=video " + std::to_string(videoPort) + " RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n";
  text += "a=fmtp:96 profile-level-id=1";
  if (videoConfig) {
    text +=
        "; "
        "config="
        "000001B001000001B58913000001000000012000C48D8800CD0584121443000001B24C61766335392E33372E31"
        "3030";
  }
  text += "\r\n" + videoExtra;
  text += "m=audio " + std::to_string(audioPort) +
          " RTP/AVP 97\r\na=rtpmap:97 MPEG4-GENERIC/44100/2\r\n";
  text +=
      "a=fmtp:97 profile-level-id=1;mode=AAC-hbr;sizelength=13;indexlength=3;indexdeltalength=3";
  if (audioConfig) text += "; config=121056E500";
  text += "\r\n";
  return "buff://" + text;
}

std::unique_ptr<RtspStreamSource> open(const std::string& name, int32_t bufferMs, int32_t timeoutMs,
                                       const MillisecondClock& clock,
                                       OutputFormat format = kFormatYuy2) {
  return std::make_unique<RtspStreamSource>(nullptr, name.c_str(), format, kPostfilterNone, 0,
                                            bufferMs, timeoutMs, 0, 0, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, 0, clock);
}

TEST(StreamWaitsTest, RequestsAwaitDataWithoutBlockingUntilTheRoundsRunOut) {
  ManualMillisecondClock clock;
  // 250 + 1000 ms make 12 rounds: the wait ends after 1200 ms.
  auto source = open(description(freePort(SOCK_DGRAM, true), freePort(SOCK_DGRAM, true), true, true,
                                 "a=cliprect:0,0,120,160\r\n"),
                     250, 1000, clock);
  ASSERT_TRUE(source->hasVideo && source->hasAudio);
  EXPECT_EQ(source->width, 176);
  EXPECT_EQ(source->height, 144);
  // The clip rectangle, not the picture, sets the shown size.
  EXPECT_EQ(source->displayWidth, 160);
  EXPECT_EQ(source->displayHeight, 120);
  EXPECT_TRUE(source->prebuffering());

  std::vector<uint8_t> frame(static_cast<size_t>(bufferBytes(kFormatYuy2, 176, 144)));
  int32_t position = 123;
  AudioChunk* chunks = nullptr;
  int32_t time = 0;
  uint8_t changed = 9;
  const auto ask = [&] {
    return source->getVideoFrame(kRequestNext, 352, nullptr, 0, 0, frame.data(), position);
  };
  for (int64_t at : {0, 500, 1199}) {
    clock.set(at);
    EXPECT_FALSE(ask()) << at;
    EXPECT_TRUE(source->awaitingData()) << at;
    // Sound waits for the pictures' buffer too.
    EXPECT_FALSE(source->getAudio(kRequestNext, chunks, time, changed)) << at;
    EXPECT_TRUE(source->awaitingData()) << at;
    EXPECT_EQ(changed, 0);
  }
  clock.set(1200);
  EXPECT_FALSE(ask());
  EXPECT_FALSE(source->awaitingData());  // nothing came: the stream has failed
  clock.set(100000);
  EXPECT_FALSE(ask());
  EXPECT_FALSE(source->getAudio(kRequestNext, chunks, time, changed));
  EXPECT_FALSE(source->awaitingData());
  EXPECT_EQ(chunks, nullptr);
}

TEST(StreamWaitsTest, DefaultOptionsWaitOneHundredAndTwentyRounds) {
  ManualMillisecondClock clock;
  auto source =
      open(description(freePort(SOCK_DGRAM, true), freePort(SOCK_DGRAM, true)), 2000, 10000, clock);
  ASSERT_TRUE(source->hasVideo);
  EXPECT_EQ(source->displayWidth, 176);  // no clip rectangle: the picture's own size
  EXPECT_EQ(source->displayHeight, 144);
  AudioChunk* chunks = nullptr;
  int32_t time = 0;
  uint8_t changed = 0;
  for (int64_t at : {0, 11999}) {
    clock.set(at);
    EXPECT_FALSE(source->getAudio(kRequestNext, chunks, time, changed));
    EXPECT_TRUE(source->awaitingData()) << at;
  }
  clock.set(12000);
  EXPECT_FALSE(source->getAudio(kRequestNext, chunks, time, changed));
  EXPECT_FALSE(source->awaitingData());
}

struct OpenCase {
  const char* what;
  bool videoConfig;
  bool audioConfig;
  OutputFormat format;
  bool video;
  bool audio;
};

class StreamOpenTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(StreamOpenTest, StreamsWithoutConfigurationOrDecoderFormatStayOff) {
  const OpenCase& c = GetParam();
  ManualMillisecondClock clock;
  auto source = open(description(freePort(SOCK_DGRAM, true), freePort(SOCK_DGRAM, true),
                                 c.videoConfig, c.audioConfig),
                     100, 100, clock, c.format);
  EXPECT_EQ(source->hasVideo, c.video ? 1 : 0);
  EXPECT_EQ(source->hasAudio, c.audio ? 1 : 0);
  // A source with neither keeps no session (the factory discards it).
  EXPECT_EQ(source->session() != nullptr, c.video || c.audio);
}

INSTANTIATE_TEST_SUITE_P(
    Descriptions, StreamOpenTest,
    ::testing::Values(OpenCase{"both", true, true, kFormatYuy2, true, true},
                      OpenCase{"no_video_config", false, true, kFormatYuy2, false, true},
                      OpenCase{"no_configs", false, false, kFormatYuy2, false, false},
                      OpenCase{"yv12_has_no_decoder", true, true, kFormatYv12, false, true},
                      OpenCase{"rgb32", true, false, kFormatBgrx32, true, false}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(StreamWaitsTest, UnreadableDescriptionFileGivesNoSource) {
  ManualMillisecondClock clock;
  auto source = open("/nonexistent-folder/stream.sdp", 100, 100, clock);
  EXPECT_FALSE(source->hasVideo || source->hasAudio);
}

}  // namespace
}  // namespace strevana
