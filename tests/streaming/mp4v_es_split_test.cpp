// MP4V-ES frames that carry several VOPs (as GStreamer's payloader sends
// small ones): one access unit per VOP, each timed by its own header.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/codec/mpeg4_vol_header.h"
#include "streaming/mp4v_es_format.h"

namespace strevana {
namespace {

// ffmpeg's configuration for the 176x144, 25 fps test clip.
constexpr const char* kConfigHex =
    "000001B001000001B58913000001000000012000C48D8800CD0584121443000001B24C61766335392E33372E31303"
    "0";

std::vector<uint8_t> hexBytes(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// A VOP: start code, then P type, `seconds` of modulo_time_base, marker,
// the increment in `bits` bits, marker, and some picture bytes.
std::vector<uint8_t> vop(int seconds, uint32_t increment, int bits) {
  std::string b = "01" + std::string(static_cast<size_t>(seconds), '1') + "01";
  for (int k = bits - 1; k >= 0; --k) b += ((increment >> k) & 1) ? '1' : '0';
  b += "1";
  while (b.size() % 8) b += '0';
  std::vector<uint8_t> out = {0, 0, 1, 0xB6};
  for (size_t i = 0; i < b.size(); i += 8)
    out.push_back(static_cast<uint8_t>(std::stoi(b.substr(i, 8), nullptr, 2)));
  out.insert(out.end(), {0x55, 0x66, 0x77});
  return out;
}

TEST(Mp4vEsSplitTest, LayerHeaderOfTheTestClip) {
  const auto config = hexBytes(kConfigHex);
  const Mpeg4VolHeader h = parseMpeg4VolHeader(config.data(), config.size());
  ASSERT_TRUE(h.found);
  EXPECT_EQ(h.width, 176);
  EXPECT_EQ(h.height, 144);
  EXPECT_EQ(h.timeResolution, 25u);
  EXPECT_EQ(h.timeIncrementBits, 5);
  EXPECT_EQ(h.aspectNumerator, 1u);
  // Cut short: no size, no resolution.
  const Mpeg4VolHeader cut = parseMpeg4VolHeader(config.data(), 24);
  EXPECT_EQ(cut.width, 0);
  EXPECT_EQ(cut.timeResolution, 0u);
}

TEST(Mp4vEsSplitTest, SeveralVopsBecomeOneUnitEachTimedByItsHeader) {
  PayloadFormatParameters parameters;
  parameters.formatParameters = std::string("profile-level-id=1; config=") + kConfigHex;
  parameters.clockRate = 90000;
  Mp4vEsFormat format(parameters);
  const std::vector<uint8_t> header = {0, 0, 1, 0xB3, 0x11, 0x22};  // stays with the first VOP
  const std::vector<std::vector<uint8_t>> vops = {vop(0, 3, 5), vop(0, 4, 5), vop(1, 0, 5)};
  std::vector<uint8_t> bytes = header;
  for (const auto& v : vops) bytes.insert(bytes.end(), v.begin(), v.end());
  RtpFrame frame;
  frame.data = bytes.data();
  frame.size = static_cast<uint32_t>(bytes.size());
  frame.timestamp = 1000;
  std::vector<AccessUnit> units;
  ASSERT_EQ(format.depacketize(frame, units), PayloadResult::kOk);
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[0].data, bytes.data());
  EXPECT_EQ(units[0].size, header.size() + vops[0].size());
  EXPECT_EQ(units[1].size, vops[1].size());
  EXPECT_EQ(units[2].data + units[2].size, bytes.data() + bytes.size());
  // 3/25 s, 4/25 s, then one second on and 0/25: offsets 1/25 and 22/25 s.
  EXPECT_EQ(units[0].timestamp, 1000);
  EXPECT_EQ(units[1].timestamp, 1000 + 3600);
  EXPECT_EQ(units[2].timestamp, 1000 + 79200);

  // Without a configuration the VOPs are still split, all at the frame's time.
  Mp4vEsFormat plain;
  units.clear();
  ASSERT_EQ(plain.depacketize(frame, units), PayloadResult::kOk);
  ASSERT_EQ(units.size(), 3u);
  EXPECT_EQ(units[2].timestamp, 1000);

  // One VOP: the whole frame, as it came.
  units.clear();
  frame.size = static_cast<uint32_t>(header.size() + vops[0].size());
  ASSERT_EQ(format.depacketize(frame, units), PayloadResult::kOk);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].size, frame.size);
}

}  // namespace
}  // namespace strevana
