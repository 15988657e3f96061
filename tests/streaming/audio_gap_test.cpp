// Sound with a hole in its time stamps (no packet lost, the sender skipped
// time): the source fills the hole with silence in steps of 1024 samples, as
// many as the gap holds after rounding (3000 samples: two steps), then goes
// on with the sound. The first sound sets the engine's clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "stream_test_support.h"
#include "streaming/rtsp_stream_source.h"
#include "support/loopback_peer.h"

namespace strevana {
namespace {

// The clip's AAC access units, taken out of ffmpeg's ADTS stream (7-byte
// headers without CRC).
std::vector<std::vector<uint8_t>> aacUnits(const testing::TempFolder& folder) {
  const std::string adts = folder.file("audio.aac");
  const std::string command = "ffmpeg -nostdin -v error -i " + testing::fixture("mpeg4_aac.mp4") +
                              " -map 0:a -c copy -f adts -y " + adts;
  std::vector<std::vector<uint8_t>> units;
  if (std::system(command.c_str()) != 0) return units;
  const std::vector<uint8_t> bytes = testing::readFile(adts);
  for (size_t at = 0; at + 7 <= bytes.size();) {
    const size_t length =
        static_cast<size_t>((bytes[at + 3] & 3) << 11 | bytes[at + 4] << 3 | bytes[at + 5] >> 5);
    if (length < 7 || at + length > bytes.size()) break;
    units.emplace_back(bytes.begin() + static_cast<ptrdiff_t>(at + 7),
                       bytes.begin() + static_cast<ptrdiff_t>(at + length));
    at += length;
  }
  return units;
}

// One access unit as mpeg4-generic (RFC 3640: a 16-bit AU-headers-length,
// one header of 13 size bits and 3 index bits) in an RTP packet.
std::vector<uint8_t> packet(uint16_t sequence, uint32_t timestamp,
                            const std::vector<uint8_t>& unit) {
  const uint16_t header = static_cast<uint16_t>(unit.size() << 3);
  std::vector<uint8_t> payload = {0x00, 0x10, static_cast<uint8_t>(header >> 8),
                                  static_cast<uint8_t>(header)};
  payload.insert(payload.end(), unit.begin(), unit.end());
  return testing::rtpDatagram(sequence, timestamp, true, payload, 97, 0x12345678);
}

bool silent(const AudioChunk& c) {
  return std::all_of(c.data.get(), c.data.get() + c.size, [](uint8_t b) { return b == 0; });
}

TEST(AudioGapTest, AHoleInTheTimeStampsIsFilledWithSilenceInSteps) {
  testing::TempFolder folder;
  const auto units = aacUnits(folder);
  ASSERT_GT(units.size(), 20u);
  const int port = testing::freePort(SOCK_DGRAM, true);
  ASSERT_NE(port, 0);
  const std::string sdp =
      "buff://v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=gap\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
      "m=audio " +
      std::to_string(port) +
      " RTP/AVP 97\r\na=rtpmap:97 mpeg4-generic/44100/2\r\n"
      "a=fmtp:97 streamtype=5;mode=AAC-hbr;config=1210;sizelength=13;indexlength=3;"
      "indexdeltalength=3\r\n";
  RtspStreamSource source(nullptr, sdp.c_str(), kFormatYuy2, kPostfilterNone, 0, 0, 2000, 0, 0,
                          nullptr, nullptr, nullptr, nullptr, nullptr, 0);
  ASSERT_TRUE(source.hasAudio);
  ASSERT_FALSE(source.hasVideo);
  ASSERT_EQ(source.decodedChannels, 2);
  EXPECT_EQ(source.audioCodec, kAudioCodecAac);

  // Twelve units; after the fourth the sender's clock jumps 3000 samples.
  const testing::UdpPeer sender;
  uint32_t timestamp = 90000;
  for (uint16_t n = 0; n < 12; ++n) {
    sender.sendTo(static_cast<uint16_t>(port),
                  packet(static_cast<uint16_t>(500 + n), timestamp, units[n]));
    timestamp += 1024 + (n == 3 ? 3000 : 0);
  }

  std::vector<AudioChunk*> chunks;
  bool timeSet = false;
  ASSERT_TRUE(testing::waitFor(
      [&] {
        AudioChunk* c = nullptr;
        int32_t time = -1;
        uint8_t changed = 0;
        if (source.getAudio(kRequestNext, c, time, changed)) {
          if (chunks.empty()) timeSet = changed == 1 && time == 0;
          chunks.push_back(c);
        } else {
          EXPECT_TRUE(source.awaitingData());
          freeAudioChunkList(c);
        }
        return chunks.size() >= 14;
      },
      5000));
  EXPECT_TRUE(timeSet) << "the first sound starts the clock at the stream's time";
  const int32_t step = 1024 * 2 * 2;
  std::vector<bool> silence;
  for (AudioChunk* c : chunks) {
    EXPECT_EQ(c->size, step);
    silence.push_back(silent(*c));
  }
  // The gap shows when the unit after it is taken: two silent steps follow
  // it, the remaining 256 samples are not filled.
  EXPECT_EQ(silence, (std::vector<bool>{silence[0], false, false, false, false, true, true, false,
                                        false, false, false, false, false, false}));
  for (AudioChunk* c : chunks) freeAudioChunkList(c);
  EXPECT_EQ(source.audioPacketsLost(), 0u);
  EXPECT_EQ(source.audioPacketsReceived(), 12u);
  // Sent at once, stamped over a quarter second: the arrivals jitter.
  MediaSource::ReceptionFigures videoFigures, audioFigures;
  ASSERT_TRUE(source.receptionFigures(videoFigures, audioFigures));
  EXPECT_GT(audioFigures.jitterMs, 0.0);

  // Asked for a picture, a stream of sound alone shows the still picture.
  const uint32_t still[2] = {0x11223344, 0x55667788};
  source.stillPicture = still;
  source.outputFormat = kFormatBgrx32;
  source.width = 2;
  source.height = 1;
  std::vector<uint8_t> picture(8, 0);
  int32_t position = 0;
  source.getVideoFrame(kRequestNext, 8, nullptr, 0, 0, picture.data(), position);
  EXPECT_EQ(std::memcmp(picture.data(), still, sizeof still), 0);
}

}  // namespace
}  // namespace strevana
