// Payload formats over hand-made byte arrays, good and broken, and the
// depacketizer that turns frames into timed access units.
#include <gtest/gtest.h>

#include "stream_test_support.h"
#include "streaming/frame_depacketizer.h"
#include "streaming/mp4a_latm_format.h"
#include "streaming/mp4v_es_format.h"
#include "streaming/mpeg4_generic_format.h"

namespace strevana {
namespace {

using Bytes = std::vector<uint8_t>;

// Access units from a frame over `bytes` made of packets of the given payload
// sizes (one packet of everything when none are given); each unit as its
// offset into the bytes (-1: reassembled elsewhere), size and time; "broken"
// for a malformed frame.
std::string units(PayloadFormat& format, Bytes bytes, std::vector<uint32_t> packets = {},
                  int64_t time = 1000) {
  RtpFrame frame;
  frame.data = bytes.data();
  frame.size = uint32_t(bytes.size());
  frame.timestamp = time;
  frame.packetSizes = packets.empty() ? std::vector<uint32_t>{frame.size} : packets;
  std::vector<AccessUnit> found;
  if (format.depacketize(frame, found) == PayloadResult::kMalformed)
    return found.empty() ? "broken" : "broken with units";
  std::string text;
  for (const AccessUnit& u : found) {
    const bool inside = u.data >= bytes.data() && u.data < bytes.data() + bytes.size();
    text += std::to_string(inside ? u.data - bytes.data() : -1) + "+" + std::to_string(u.size) +
            "@" + std::to_string(u.timestamp) + " ";
  }
  return text;
}

constexpr const char* kHbr = "streamtype=5; mode=AAC-hbr; config=1210";
// An AAC-hbr AU header (RFC 3640 3.3.6): 13 size bits, 3 index bits.
uint8_t hi(uint16_t size) { return uint8_t(size >> 5); }
uint8_t lo(uint16_t size, uint8_t index = 0) { return uint8_t((size & 0x1f) << 3 | index); }
const Bytes kTwo = {0x00, 0x20, hi(1), lo(1), hi(1), lo(1), 1, 2};

TEST(Mpeg4GenericFormatTest, AuHeaderSectionsGoodAndBroken) {
  // clang-format off
  const struct { const char* fmtp; uint32_t clockRate; Bytes payload; std::vector<uint32_t> packets; const char* units; } cases[] = {
      {kHbr, 44100, {0x00, 0x10, hi(5), lo(5), 1, 2, 3, 4, 5}, {}, "4+5@1000 "},
      {kHbr, 44100, {0x00, 0x30, hi(2), lo(2), hi(3), lo(3), hi(1), lo(1), 1, 2, 3, 4, 5, 6}, {}, "8+2@1000 10+3@2024 13+1@3048 "},
      {kHbr, 44100, {0x00, 0x20, hi(1), lo(1), hi(1), lo(1, 1), 7, 8}, {}, "6+1@1000 7+1@3048 "},  // interleaving
      {kHbr, 44100, {0x00, 0x10, hi(2), lo(2), 1, 2, 3}, {}, "4+2@1000 "},  // trailing bytes
      {"mode=AAC-lbr; config=1210", 44100, {0x00, 0x10, 3 << 2, 2 << 2, 9, 9, 9, 8, 8}, {}, "4+3@1000 7+2@2024 "},
      {"mode=AAC-hbr; sizeLength=10", 44100, {0x00, 0x0D, 0x00, 0x40, 1}, {}, "4+1@1000 "},
      {"mode=AAC-hbr; constantDuration=960", 48000, kTwo, {}, "6+1@1000 7+1@1960 "},
      // Unit spacing from the config's sampling rate (ISO/IEC 14496-3 1.6.3.4).
      {"mode=AAC-hbr; config=1190", 90000, kTwo, {}, "6+1@1000 7+1@2920 "},
      {"mode=AAC-hbr; config=1610", 90000, kTwo, {}, "6+1@1000 7+1@13538 "},
      {"mode=AAC-hbr; config=1090", 88200, kTwo, {}, "6+1@1000 7+1@2024 "},
      {"mode=AAC-hbr; config=F806", 90000, kTwo, {}, "6+1@1000 7+1@2920 "},  // escaped object type
      {"mode=AAC-hbr; config=1690", 90000, kTwo, {}, "6+1@1000 7+1@2024 "},  // reserved index
      {"mode=AAC-hbr; config=11", 90000, kTwo, {}, "6+1@1000 7+1@2024 "},    // cut short
      {"sizeLength=8; CTSDeltaLength=4", 44100, {0x00, 0x16, 0x02, 0x00, 0xC0, 5, 6, 7}, {}, "5+2@1000 7+1@2024 "},
      {"mode=AAC-hbr; auxiliaryDataSizeLength=8", 44100, {0x00, 0x10, hi(1), lo(1), 16, 0xAA, 0xBB, 42}, {}, "7+1@1000 "},
      {kHbr, 44100, {0x00, 0x10, hi(1), lo(1), 1, 0x00, 0x10, hi(1), lo(1), 2}, {5, 5}, "4+1@1000 9+1@2024 "},
      {kHbr, 44100, {0x00, 0x10, hi(6), lo(6), 1, 2, 3, 4, 0x00, 0x10, hi(6), lo(6), 5, 6}, {8, 6}, "-1+6@1000 "},
      {"streamtype=5", 44100, {1, 2, 3}, {}, "0+3@1000 "},
      {"constantSize=2", 44100, {1, 2, 3, 4}, {}, "0+2@1000 2+2@2024 "},
      {kHbr, 44100, {0x00, 0x10, 0, 0}, {}, ""},
      {kHbr, 44100, {0x00, 0x40, hi(1), lo(1)}, {}, "broken"},
      {kHbr, 44100, {0x00}, {}, "broken"},
      {kHbr, 44100, {0x00, 0x20, hi(2), lo(2), hi(5), lo(5), 1, 2, 3}, {}, "broken"},
      {kHbr, 44100, {0x00, 0x0C, hi(1), lo(1), 1}, {}, "broken"},
      {kHbr, 44100, {0x00, 0x00, 1, 2}, {}, "broken"},
      {kHbr, 44100, {0x00, 0x10, hi(6), lo(6), 1, 2, 3, 4, 0x00, 0x10, hi(6), lo(6), 5, 6, 7}, {8, 7}, "broken"},
      {kHbr, 44100, {0x00, 0x20, hi(9), lo(9), hi(1), lo(1), 1, 2}, {}, "broken"},
      {"mode=AAC-hbr; auxiliaryDataSizeLength=8", 44100, {0x00, 0x10, hi(1), lo(1), 200, 1}, {}, "broken"},
      {kHbr, 44100, {0x00, 0x10, hi(1), lo(1), 1}, {5, 9}, "broken"},
      {"constantSize=2", 44100, {1, 2, 3}, {}, "broken"},
      {"indexLength=3", 44100, {0x00, 0x08, 0x00, 1}, {}, "broken"},
      {kHbr, 44100, {0x00, 0x10, hi(1), lo(1), 1, 0x00, 0x40, 0, 0}, {5, 4}, "broken"},
  };
  // clang-format on
  for (const auto& c : cases) {
    Mpeg4GenericFormat format(PayloadFormatParameters{c.fmtp, c.clockRate, 2});
    EXPECT_EQ(units(format, c.payload, c.packets), c.units) << c.fmtp << " " << &c - cases;
  }
}

// A unit in fragments across frames (some senders mark every fragment); a
// reset (a loss) does not glue a tail to its head.
TEST(Mpeg4GenericFormatTest, FragmentsSpanFramesUntilTheSizeIsReached) {
  Mpeg4GenericFormat format(PayloadFormatParameters{kHbr, 44100, 2});
  const Bytes head = {0x00, 0x10, hi(5), lo(5), 1, 2, 3}, tail = {0x00, 0x10, hi(5), lo(5), 4, 5};
  EXPECT_EQ(units(format, head), "");
  EXPECT_EQ(units(format, tail), "-1+5@1000 ");
  EXPECT_EQ(units(format, head), "");
  format.reset();
  EXPECT_EQ(units(format, tail), "");
}

TEST(Mp4aLatmFormatTest, SubFramesGoodAndBroken) {
  Bytes long520 = {255, 255, 10}, fifty, fiftyOne = {1, 0};  // 255 + 255 + 10 bytes long
  long520.resize(3 + 520, 0x5A);
  for (uint8_t i = 0; i < 50; ++i) fifty.insert(fifty.end(), {1, i});
  fiftyOne.insert(fiftyOne.begin(), fifty.begin(), fifty.end());
  // clang-format off
  const struct { Bytes payload; const char* units; } cases[] = {
      {long520, "0+523@1000 "}, {{3, 1, 2, 3, 2, 4, 5}, "0+4@1000 4+3@2024 "}, {{5, 1, 2}, "broken"},
      {{1, 9, 3, 1}, "broken"}, {{255, 255}, "broken"}, {fiftyOne, "broken"},
  };
  // clang-format on
  for (const auto& c : cases) {
    Mp4aLatmFormat format;
    EXPECT_EQ(units(format, c.payload), c.units) << &c - cases;
  }
  Mp4aLatmFormat format;
  EXPECT_EQ(units(format, fifty).substr(0, 32), "0+2@1000 2+2@2024 4+2@3048 6+2@4");
}

// A VOP: start code, P type, `seconds` of modulo_time_base, marker, the
// increment in 5 bits, marker, then picture bytes.
Bytes vop(int seconds, uint32_t increment) {
  std::string b = "01" + std::string(size_t(seconds), '1') + "01";
  for (int k = 4; k >= 0; --k) b += ((increment >> k) & 1) ? '1' : '0';
  b += "1";
  b.resize((b.size() + 7) / 8 * 8, '0');
  Bytes out = {0, 0, 1, 0xB6};
  for (size_t i = 0; i < b.size(); i += 8)
    out.push_back(uint8_t(std::stoi(b.substr(i, 8), nullptr, 2)));
  return out.insert(out.end(), {0x55, 0x66, 0x77}), out;
}

// Several VOPs in a frame (as GStreamer sends small ones): one unit each,
// timed by its own header when the configuration tells the time base (the
// test clip's: 25 ticks a second, 5 bits); one VOP: the frame as it came.
TEST(Mp4vEsFormatTest, SeveralVopsBecomeOneUnitEachTimedByItsHeader) {
  Mp4vEsFormat format(
      PayloadFormatParameters{"config=000001B001000001B58913000001000000012000C48D88"
                              "00CD0584121443000001B24C61766335392E33372E313030",
                              90000, 0});
  Mp4vEsFormat plain;
  Bytes bytes = {0, 0, 1, 0xB3, 0x11, 0x22};  // a group header stays with the first VOP
  for (const Bytes& v : {vop(0, 3), vop(0, 4), vop(1, 0)})
    bytes.insert(bytes.end(), v.begin(), v.end());
  // 3/25 s, 4/25 s, then one second on at 0/25: 1/25 s and 22/25 s later.
  EXPECT_EQ(units(format, bytes), "0+15@1000 15+9@4600 24+9@80200 ");
  EXPECT_EQ(units(plain, bytes), "0+15@1000 15+9@1000 24+9@1000 ");
  EXPECT_EQ(units(format, Bytes(bytes.begin(), bytes.begin() + 15), {3, 12}), "0+15@1000 ");
}

// Video units are stamped in milliseconds (32 bits), sound in clock units
// (64 bits); several access units become several elements; frames after a
// loss and broken ones are dropped and counted. Formats other than the
// three get no depacketizer.
TEST(FrameDepacketizerTest, UnitsTimedInTheirStreamsUnit) {
  const Bytes generic = {0x00, 0x20, 0x00, 0x10, 0x00, 0x08, 0xA, 0xB, 0xC};  // sizes 2 and 1
  // clang-format off
  const struct { const char* type; const char* rtpmap; const char* fmtp; Bytes bytes; int64_t timestamp; bool discontinuity; std::vector<uint64_t> times; } cases[] = {
      {"video", "MP4V-ES/90000", "", {0, 0, 1, 0xB6, 7}, 180000, false, {2000}},
      {"video", "MP4V-ES/90000", "", {1, 2}, 45, false, {0}},            // 0.5 ms truncates
      {"video", "MP4V-ES/90000", "", {1, 2}, -900, false, {0}},          // before the sound's start
      {"video", "MP4V-ES/0", "", {1, 2}, 50, false, {2000}},             // no clock rate: 25
      {"video", "MP4V-ES/90000", "", {1, 2}, 90000LL * 3000000, false, {3000000000u}},
      {"audio", "mpeg4-generic/0", "mode=generic", {1, 2}, 44100, false, {44100}},
      {"audio", "mpeg4-generic/48000", "mode=generic", {1, 2}, 0x123456789LL, false, {0x123456789u}},
      {"audio", "MPEG4-GENERIC/44100/2", "mode=AAC-hbr; config=1210", generic, 100, false, {100, 1124}},
      {"audio", "MP4A-LATM/44100/2", "config=40002410", {2, 1, 2}, 0, true, {}},
      {"audio", "MP4A-LATM/44100/2", "config=40002410", {9, 1, 2}, 0, false, {}},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.rtpmap) + " " + std::to_string(c.timestamp));
    auto media = testing::describe(testing::oneMedia(c.type, c.rtpmap, c.fmtp));
    std::vector<uint64_t> times, descriptorTimes;
    Bytes last;
    auto d = FrameDepacketizer::create(*media.entry(), [&](CBufferElem* e, int64_t time) {
      times.push_back(uint64_t(time));
      descriptorTimes.push_back(e->desc().time());
      last.assign(e->data(), e->data() + e->size());
      CIOStrmPin::freeBufferElem(e);
    });
    auto f = std::make_unique<RtpFrame>();
    CIOStrmPin::allocateBufferElem(f->element, uint32_t(c.bytes.size()));
    f->data = std::copy(c.bytes.begin(), c.bytes.end(), f->element->data()) - c.bytes.size();
    f->size = uint32_t(c.bytes.size());
    f->packetSizes = {f->size};
    f->timestamp = c.timestamp;
    f->discontinuity = c.discontinuity;
    const bool video = *c.type == 'v';
    (video ? onVideoFrame : onAudioFrame)(std::move(f), d.get());
    EXPECT_EQ(times, c.times);
    EXPECT_EQ(d->droppedFrames(), c.times.empty() ? 1u : 0u);
    for (uint64_t& t : times) t &= video ? 0xffffffffu : ~0ull;
    EXPECT_EQ(descriptorTimes, times);
    EXPECT_TRUE(times.size() != 2 || last == Bytes{0xC});
  }
  EXPECT_EQ(FrameDepacketizer::create(
                *testing::describe(testing::oneMedia("video", "H263/90000")).entry(), nullptr),
            nullptr);
}

}  // namespace
}  // namespace strevana
