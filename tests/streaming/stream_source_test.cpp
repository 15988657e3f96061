// RtspStreamSource fed by hand: a description in memory, RTP datagrams from
// a loopback peer and a clock driven by hand. Requests never block: they
// report that they await data, and fail for good once a wait has lasted the
// (bufferMs + timeoutMs) / 100 rounds of 100 ms.
#include "streaming/rtsp_stream_source.h"

#include <gtest/gtest.h>

#include "base/millisecond_clock.h"
#include "stream_test_support.h"

namespace strevana {
namespace {

using testing::clipSamples;
using testing::freePort;
using testing::rtpDatagram;

// The clip's video (with ffmpeg's configuration for it) on videoPort and its
// sound as mpeg4-generic on audioPort; a port of 0 leaves that medium out.
std::string description(int videoPort, int audioPort, bool videoConfig = true,
                        bool audioConfig = true, const std::string& videoExtra = "") {
  std::string text =
      "buff://v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=t\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n";
  if (videoPort)
    text += "m=video " + std::to_string(videoPort) +
            " RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\na=fmtp:96 profile-level-id=1" +
            (videoConfig ? "; config=000001B001000001B58913000001000000012000C48D8800CD058412144300"
                           "0001B24C61766335392E33372E313030"
                         : "") +
            "\r\n" + videoExtra;
  if (audioPort)
    text += "m=audio " + std::to_string(audioPort) +
            " RTP/AVP 97\r\na=rtpmap:97 MPEG4-GENERIC/44100/2\r\na=fmtp:97 mode=AAC-hbr" +
            (audioConfig ? "; config=1210" : "") + "\r\n";
  return text;
}

std::unique_ptr<RtspStreamSource> open(const std::string& name, int32_t bufferMs, int32_t timeoutMs,
                                       const MillisecondClock& clock,
                                       OutputFormat format = kFormatYuy2) {
  return std::make_unique<RtspStreamSource>(nullptr, name.c_str(), format, kPostfilterNone, 0,
                                            bufferMs, timeoutMs, 0, 0, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, 0, clock);
}

// Which streams open, and the size shown: the clip rectangle's when it is
// sound, else the picture's.
TEST(StreamSourceTest, StreamsOpenWithConfigurationAndDecoder) {
  // clang-format off
  const struct { bool videoConfig, audioConfig; OutputFormat format; const char* extra; bool video, audio; int32_t shownWidth, shownHeight; } cases[] = {
      {true, true, kFormatYuy2, "a=cliprect:0,0,120,160\r\n", true, true, 160, 120},
      {true, false, kFormatBgrx32, "a=x-info\r\na=cliprect:0,0,240,320\r\n", true, false, 320, 240},
      {true, true, kFormatYuy2, "", true, true, 176, 144},
      {true, true, kFormatYuy2, "a=cliprect:0,0,144\r\n", true, true, 176, 144},
      {true, true, kFormatYuy2, "a=cliprect:0,0,3000,176\r\n", true, true, 176, 144},
      {true, true, kFormatYuy2, "a=cliprect:-1,0,144,176\r\n", true, true, 176, 144},
      {false, true, kFormatYuy2, "", false, true, 0, 0},
      {false, false, kFormatYuy2, "", false, false, 0, 0},
      {true, true, kFormatYv12, "", false, true, 0, 0},  // no decoder gives YV12
  };
  // clang-format on
  ManualMillisecondClock clock;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.extra) + std::to_string(c.format));
    auto source = open(description(freePort(), freePort(), c.videoConfig, c.audioConfig, c.extra),
                       100, 100, clock, c.format);
    EXPECT_EQ(
        std::make_tuple(source->hasVideo != 0, source->hasAudio != 0, bool(source->session())),
        std::make_tuple(c.video, c.audio, c.video || c.audio));  // none: no session kept
    if (!c.video) continue;
    EXPECT_EQ(
        std::make_tuple(source->width, source->height, source->displayWidth, source->displayHeight),
        std::make_tuple(176, 144, c.shownWidth, c.shownHeight));
  }
  EXPECT_FALSE(open("/nonexistent-folder/stream.sdp", 100, 100, clock)->hasAudio);
}

// A hole in the sound's time stamps (nothing lost, the sender skipped 3000
// samples) is filled with silence in whole steps of 1024 samples. Requests
// never block: a source that ran dry reports that it awaits data, afresh
// each time, until a whole wait of (bufferMs + timeoutMs) / 100 rounds of
// 100 ms has passed with nothing: then the stream has ended. The first
// sound starts the clock.
TEST(StreamSourceTest, SoundGapsBecomeSilenceAndEachDryRunWaitsAfresh) {
  const auto& units = clipSamples().audio;
  ASSERT_GT(units.size(), 12u);
  ManualMillisecondClock clock;
  const uint16_t port = uint16_t(freePort());
  auto source = open(description(0, port), 250, 1000, clock);
  ASSERT_TRUE(source->hasAudio && !source->hasVideo);
  ASSERT_EQ(source->decodedChannels, 2);
  const testing::UdpPeer sender;
  // One access unit a packet as mpeg4-generic (RFC 3640: AU-headers-length
  // 16, a header of 13 size bits and 3 index bits).
  const auto send = [&](uint16_t from, uint16_t to) {
    for (uint16_t n = from; n < to; ++n) {
      const uint16_t header = uint16_t(units[n].bytes.size() << 3);
      std::vector<uint8_t> payload = {0x00, 0x10, uint8_t(header >> 8), uint8_t(header)};
      payload.insert(payload.end(), units[n].bytes.begin(), units[n].bytes.end());
      sender.sendTo(
          port, rtpDatagram(500 + n, 90000 + 1024u * n + (n > 3 ? 3000 : 0), true, payload, 97));
    }
  };
  std::string chunks;  // a dot for each sound chunk, S for a silent one
  int32_t time = -1;
  uint8_t changed = 0, firstChanged = 0;
  const auto ask = [&] {
    AudioChunk* c = nullptr;
    const bool got = source->getAudio(kRequestNext, c, time, changed);
    if (got && chunks.empty()) firstChanged = changed;
    for (AudioChunk* k = got ? c : nullptr; k; k = k->next) {
      EXPECT_EQ(k->size, 1024 * 2 * 2);
      chunks += std::all_of(k->data.get(), k->data.get() + k->size, [](uint8_t b) { return !b; })
                    ? 'S'
                    : '.';
    }
    return freeAudioChunkList(c), got;
  };
  const auto take = [&](size_t count) {
    return testing::waitFor(
        [&] { return (ask() || source->awaitingData()) && chunks.size() >= count; }, 5000);
  };
  const auto dry = [&] { return !ask() && source->awaitingData(); };
  EXPECT_TRUE(dry());
  send(0, 4);
  ASSERT_TRUE(take(4));
  EXPECT_EQ(firstChanged, 1);
  EXPECT_TRUE(dry());
  send(4, 12);
  ASSERT_TRUE(take(14));
  // The hole shows when the unit after it is taken: two silent steps follow.
  chunks[0] = '.';  // the coder's first frame may be silent
  EXPECT_EQ(chunks, ".....SS.......");
  for (const int64_t at : {1500, 2699, 2700, 100000}) {
    clock.set(at);
    EXPECT_FALSE(ask());
    EXPECT_EQ(source->awaitingData(), at < 2700) << at;
  }
  EXPECT_EQ(std::make_pair(source->audioPacketsLost(), source->audioPacketsReceived()),
            std::make_pair(uint64_t(0), uint64_t(12)));
  MediaSource::ReceptionFigures videoFigures, audioFigures;
  ASSERT_TRUE(source->receptionFigures(videoFigures, audioFigures));
  EXPECT_GT(audioFigures.jitterMs, 0.0);  // sent at once, stamped over 300 ms
}

// A unit that decodes to no picture (user data alone) costs nothing: the
// pictures after it play, at their own times. Asked for the current picture
// before there is one, the source decodes the first.
TEST(StreamSourceTest, AUnitWithoutPictureIsSkipped) {
  const auto& vops = clipSamples().video;
  ASSERT_GE(vops.size(), 10u);
  ManualMillisecondClock clock;
  const uint16_t port = uint16_t(freePort());
  auto source = open(description(port, 0), 0, 1000, clock);
  const testing::UdpPeer sender;
  for (uint16_t i = 0, s = 1; i < 10; ++i) {  // user data alone after the third picture
    sender.sendTo(port, rtpDatagram(s++, 3600 * i, true, vops[i].bytes));
    if (i == 2) sender.sendTo(port, rtpDatagram(s++, 3600 * i + 1800, true, {0, 0, 1, 0xB2, 'x'}));
  }
  std::vector<uint8_t> frame(static_cast<size_t>(bufferBytes(kFormatYuy2, 176, 144)));
  std::vector<int32_t> shown;
  const auto ask = [&] {  // true once the stream has ended
    int32_t ms = 0;
    const FrameRequest request = shown.empty() ? kRequestCurrent : kRequestNext;
    if (source->getVideoFrame(request, 352, nullptr, 0, 0, frame.data(), ms))
      return shown.push_back(ms), false;
    return !source->awaitingData();
  };
  testing::waitFor([&] { return ask() || shown.size() >= 4; }, 5000);  // past the user data
  // The last pictures come as the waits for more run out.
  ASSERT_TRUE(testing::waitFor([&] { return clock.advance(1000), ask(); }, 5000));
  EXPECT_EQ(shown, (std::vector<int32_t>{0, 40, 80, 120, 160, 200, 240, 280, 320, 360}));
}

}  // namespace
}  // namespace strevana
