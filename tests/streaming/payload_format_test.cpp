#include <gtest/gtest.h>

#include <vector>

#include "streaming/mp4a_latm_format.h"
#include "streaming/mp4v_es_format.h"
#include "streaming/mpeg4_generic_format.h"
#include "streaming/payload_format_registry.h"
#include "stream_test_support.h"

namespace strevana {
namespace {

using testing::makeFrame;
using Bytes = std::vector<uint8_t>;

struct Expected {
  size_t offset;  // into the frame, or kReassembled
  uint32_t size;
  int64_t timestamp;
};
constexpr size_t kReassembled = ~size_t{0};

struct Case {
  const char* name;
  const char* fmtp;
  uint32_t clockRate;
  Bytes payload;
  std::vector<uint32_t> packets;  // payload size per packet; empty: one packet
  bool malformed;
  std::vector<Expected> units;
};

void check(PayloadFormat& format, const Case& c, Bytes bytes) {
  auto frame = makeFrame(bytes, 1000, c.packets);
  std::vector<AccessUnit> units;
  const PayloadResult result = format.depacketize(*frame, units);
  ASSERT_EQ(result == PayloadResult::kMalformed, c.malformed) << c.name;
  ASSERT_EQ(units.size(), c.units.size()) << c.name;
  for (size_t i = 0; i < units.size(); ++i) {
    EXPECT_EQ(units[i].size, c.units[i].size) << c.name << " unit " << i;
    EXPECT_EQ(units[i].timestamp, c.units[i].timestamp) << c.name << " unit " << i;
    if (c.units[i].offset != kReassembled) {
      EXPECT_EQ(units[i].data, bytes.data() + c.units[i].offset) << c.name << " unit " << i;
    }
  }
}

constexpr const char* kHbr =
    "streamtype=5; profile-level-id=15; mode=AAC-hbr; config=1210; "
    "SizeLength=13; IndexLength=3; IndexDeltaLength=3";

// RFC 3640 AAC-hbr header: 13-bit AU-size, 3-bit index (delta).
uint8_t hi(uint16_t size) { return static_cast<uint8_t>(size >> 5); }
uint8_t lo(uint16_t size, uint8_t index = 0) {
  return static_cast<uint8_t>((size & 0x1f) << 3 | index);
}

TEST(Mpeg4GenericFormatTest, AuHeaderSections) {
  // clang-format off
  const std::vector<Case> cases = {
      {"one unit after one 2-byte header", kHbr, 44100, {0x00, 0x10, hi(5), lo(5), 1, 2, 3, 4, 5}, {}, false,
       {{4, 5, 1000}}},
      {"three units, each 1024 samples later", kHbr, 44100,
       {0x00, 0x30, hi(2), lo(2), hi(3), lo(3), hi(1), lo(1), 1, 2, 3, 4, 5, 6}, {}, false,
       {{8, 2, 1000}, {10, 3, 2024}, {13, 1, 3048}}},
      {"index delta 1 skips a slot (interleaving)", kHbr, 44100,
       {0x00, 0x20, hi(1), lo(1), hi(1), lo(1, 1), 7, 8}, {}, false, {{6, 1, 1000}, {7, 1, 3048}}},
      {"trailing bytes after the units are ignored", kHbr, 44100, {0x00, 0x10, hi(2), lo(2), 1, 2, 3}, {}, false,
       {{4, 2, 1000}}},
      {"AAC-lbr: 6-bit size, 2-bit index", "mode=AAC-lbr; config=1210", 44100,
       {0x00, 0x10, 3 << 2, 2 << 2 | 0, 9, 9, 9, 8, 8}, {}, false, {{4, 3, 1000}, {7, 2, 2024}}},
      {"constantDuration sets the unit spacing", "mode=AAC-hbr; constantDuration=960", 48000,
       {0x00, 0x20, hi(1), lo(1), hi(1), lo(1), 1, 2}, {}, false, {{6, 1, 1000}, {7, 1, 1960}}},
      {"spacing from the config's rate at a 90 kHz clock", "mode=AAC-hbr; config=1190", 90000,
       {0x00, 0x20, hi(1), lo(1), hi(1), lo(1), 1, 2}, {}, false, {{6, 1, 1000}, {7, 1, 1000 + 1920}}},
      {"the last sampling index (7350 Hz)", "mode=AAC-hbr; config=1610", 90000,
       {0x00, 0x20, hi(1), lo(1), hi(1), lo(1), 1, 2}, {}, false, {{6, 1, 1000}, {7, 1, 1000 + 12538}}},
      {"an escaped object type (31, then 6 bits) before the index", "mode=AAC-hbr; config=F806", 90000,
       {0x00, 0x20, hi(1), lo(1), hi(1), lo(1), 1, 2}, {}, false, {{6, 1, 1000}, {7, 1, 1000 + 1920}}},
      {"a reserved sampling index keeps 1024 ticks", "mode=AAC-hbr; config=1690", 90000,
       {0x00, 0x20, hi(1), lo(1), hi(1), lo(1), 1, 2}, {}, false, {{6, 1, 1000}, {7, 1, 2024}}},
      {"CTS flag and delta are skipped", "sizeLength=8; CTSDeltaLength=4", 44100,
       // Size 2, CTS-flag 0 | size 1, CTS-flag 1, 4-bit delta: 22 bits in all.
       {0x00, 0x16, 0x02, 0x00, 0xC0, 5, 6, 7}, {}, false, {{5, 2, 1000}, {7, 1, 2024}}},
      {"auxiliary section is skipped", "mode=AAC-hbr; auxiliaryDataSizeLength=8", 44100,
       {0x00, 0x10, hi(1), lo(1), 16, 0xAA, 0xBB, 42}, {}, false, {{7, 1, 1000}}},
      {"two packets of one frame continue the index", kHbr, 44100,
       {0x00, 0x10, hi(1), lo(1), 1, 0x00, 0x10, hi(1), lo(1), 2}, {5, 5}, false,
       {{4, 1, 1000}, {9, 1, 2024}}},
      {"a unit in two fragments", kHbr, 44100,
       {0x00, 0x10, hi(6), lo(6), 1, 2, 3, 4, 0x00, 0x10, hi(6), lo(6), 5, 6}, {8, 6}, false,
       {{kReassembled, 6, 1000}}},
      {"no header fields: the packet is one unit", "streamtype=5", 44100, {1, 2, 3}, {}, false, {{0, 3, 1000}}},
      {"no header fields, constantSize units", "constantSize=2", 44100, {1, 2, 3, 4}, {}, false,
       {{0, 2, 1000}, {2, 2, 2024}}},
      {"empty AU: nothing delivered", kHbr, 44100, {0x00, 0x10, 0, 0}, {}, false, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    Mpeg4GenericFormat format(PayloadFormatParameters{c.fmtp, c.clockRate, 2});
    check(format, c, c.payload);
  }
}

TEST(Mpeg4GenericFormatTest, BrokenFramesAreDroppedWhole) {
  // clang-format off
  const std::vector<Case> cases = {
      {"header section longer than the packet", kHbr, 44100, {0x00, 0x40, hi(1), lo(1)}, {}, true, {}},
      {"no room for AU-headers-length", kHbr, 44100, {0x00}, {}, true, {}},
      {"second unit runs past the packet", kHbr, 44100, {0x00, 0x20, hi(2), lo(2), hi(5), lo(5), 1, 2, 3}, {}, true,
       {}},
      {"header cut short by AU-headers-length", kHbr, 44100, {0x00, 0x0C, hi(1), lo(1), 1}, {}, true, {}},
      {"zero AU-headers-length", kHbr, 44100, {0x00, 0x00, 1, 2}, {}, true, {}},
      {"fragments overrun their AU-size", kHbr, 44100,
       {0x00, 0x10, hi(6), lo(6), 1, 2, 3, 4, 0x00, 0x10, hi(6), lo(6), 5, 6, 7}, {8, 7}, true, {}},
      {"fragment packet with two headers", kHbr, 44100, {0x00, 0x20, hi(9), lo(9), hi(1), lo(1), 1, 2}, {}, true,
       {}},
      {"auxiliary size past the packet", "mode=AAC-hbr; auxiliaryDataSizeLength=8", 44100,
       {0x00, 0x10, hi(1), lo(1), 200, 1}, {}, true, {}},
      {"packet sizes beyond the frame", kHbr, 44100, {0x00, 0x10, hi(1), lo(1), 1}, {5, 9}, true, {}},
      {"constantSize not dividing the packet", "constantSize=2", 44100, {1, 2, 3}, {}, true, {}},
      {"headers of no bits after the first (index only)", "indexLength=3", 44100, {0x00, 0x08, 0x00, 1}, {}, true,
       {}},
      {"good first packet, broken second: nothing at all", kHbr, 44100,
       {0x00, 0x10, hi(1), lo(1), 1, 0x00, 0x40, 0, 0}, {5, 4}, true, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    Mpeg4GenericFormat format(PayloadFormatParameters{c.fmtp, c.clockRate, 2});
    check(format, c, c.payload);
  }
}

TEST(Mpeg4GenericFormatTest, FragmentsSpanFramesUntilTheSizeIsReached) {
  // Some senders set the marker bit on every fragment.
  Mpeg4GenericFormat format(PayloadFormatParameters{kHbr, 44100, 2});
  Bytes first = {0x00, 0x10, hi(5), lo(5), 1, 2, 3};
  Bytes second = {0x00, 0x10, hi(5), lo(5), 4, 5};
  std::vector<AccessUnit> units;
  ASSERT_EQ(format.depacketize(*makeFrame(first, 500), units), PayloadResult::kOk);
  EXPECT_TRUE(units.empty());
  ASSERT_EQ(format.depacketize(*makeFrame(second, 500), units), PayloadResult::kOk);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(Bytes(units[0].data, units[0].data + units[0].size), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(units[0].timestamp, 500);

  // After reset (a loss) the tail of a unit is not glued to its head.
  units.clear();
  ASSERT_EQ(format.depacketize(*makeFrame(first, 600), units), PayloadResult::kOk);
  format.reset();
  ASSERT_EQ(format.depacketize(*makeFrame(second, 600), units), PayloadResult::kOk);
  EXPECT_TRUE(units.empty());
}

TEST(Mpeg4GenericFormatTest, ModeSuppliesHeaderLengthsTheFmtpLeavesOut) {
  const struct {
    const char* fmtp;
    uint32_t size, index, delta;
  } cases[] = {
      {"mode=AAC-hbr", 13, 3, 3},
      {"MODE=aac-LBR", 6, 2, 2},
      {"mode=AAC-hbr; sizeLength=10", 10, 3, 3},
      {"mode=generic", 0, 0, 0},
      {"sizeLength=99", 0, 0, 0},  // beyond any field width: ignored
  };
  for (const auto& c : cases) {
    const Mpeg4GenericFormat format(PayloadFormatParameters{c.fmtp, 44100, 2});
    EXPECT_EQ(format.layout().sizeLength, c.size) << c.fmtp;
    EXPECT_EQ(format.layout().indexLength, c.index) << c.fmtp;
    EXPECT_EQ(format.layout().indexDeltaLength, c.delta) << c.fmtp;
  }
}

TEST(Mp4aLatmFormatTest, SubFrames) {
  Bytes long520(3 + 520, 0x5A);
  long520[0] = 255;
  long520[1] = 255;
  long520[2] = 10;
  Bytes fifty;
  for (int i = 0; i < 50; ++i) fifty.insert(fifty.end(), {1, static_cast<uint8_t>(i)});
  Bytes fiftyOne = fifty;
  fiftyOne.insert(fiftyOne.end(), {1, 0});
  // clang-format off
  const std::vector<Case> cases = {
      {"255, 255, 10 give a 520-byte sub-frame", "", 44100, long520, {}, false, {{0, 523, 1000}}},
      {"two sub-frames, each its own unit", "", 44100, {3, 1, 2, 3, 2, 4, 5}, {}, false,
       {{0, 4, 1000}, {4, 3, 2024}}},
      {"fifty sub-frames", "", 44100, fifty, {}, false, {{0, 2, 1000}, {2, 2, 2024}}},  // first two checked below
      {"length past the payload", "", 44100, {5, 1, 2}, {}, true, {}},
      {"second length past the payload", "", 44100, {1, 9, 3, 1}, {}, true, {}},
      {"length bytes never end", "", 44100, {255, 255}, {}, true, {}},
      {"fifty-one sub-frames", "", 44100, fiftyOne, {}, true, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    Mp4aLatmFormat format;
    Bytes bytes = c.payload;
    auto frame = makeFrame(bytes, 1000);
    std::vector<AccessUnit> units;
    const PayloadResult result = format.depacketize(*frame, units);
    ASSERT_EQ(result == PayloadResult::kMalformed, c.malformed) << c.name;
    if (c.malformed) {
      EXPECT_TRUE(units.empty()) << c.name;
      continue;
    }
    ASSERT_GE(units.size(), c.units.size()) << c.name;
    for (size_t i = 0; i < c.units.size(); ++i) {
      EXPECT_EQ(units[i].data, bytes.data() + c.units[i].offset) << c.name;
      EXPECT_EQ(units[i].size, c.units[i].size) << c.name;
      EXPECT_EQ(units[i].timestamp, c.units[i].timestamp) << c.name;
    }
  }
}

TEST(Mp4vEsFormatTest, TheFrameIsTheAccessUnit) {
  Mp4vEsFormat format;
  Bytes vop = {0x00, 0x00, 0x01, 0xB6, 0x10, 0x20};
  std::vector<AccessUnit> units;
  ASSERT_EQ(format.depacketize(*makeFrame(vop, 3600, {2, 4}), units), PayloadResult::kOk);
  ASSERT_EQ(units.size(), 1u);
  EXPECT_EQ(units[0].data, vop.data());
  EXPECT_EQ(units[0].size, vop.size());
  EXPECT_EQ(units[0].timestamp, 3600);

  Bytes empty;
  units.clear();
  ASSERT_EQ(format.depacketize(*makeFrame(empty), units), PayloadResult::kOk);
  EXPECT_TRUE(units.empty());
}

TEST(PayloadFormatRegistryTest, NamesCompareWithoutCase) {
  const struct {
    const char* name;
    const char* found;  // null: not received
  } cases[] = {
      {"MP4V-ES", "MP4V-ES"},
      {"mp4v-es", "MP4V-ES"},
      {"MP4A-LATM", "MP4A-LATM"},
      {"mp4a-latm", "MP4A-LATM"},
      {"mpeg4-generic", "mpeg4-generic"},
      {"MPEG4-GENERIC", "mpeg4-generic"},
      {"H263-1998", nullptr},
      {"MP4V", nullptr},
      {"MP4V-ES2", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    const auto format = createPayloadFormat(c.name, {});
    if (!c.found) {
      EXPECT_EQ(format, nullptr) << c.name;
    } else {
      ASSERT_NE(format, nullptr) << c.name;
      EXPECT_EQ(format->name(), c.found) << c.name;
    }
  }
}

}  // namespace
}  // namespace strevana
