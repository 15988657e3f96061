#include <gtest/gtest.h>

#include <vector>

#include "streaming/fmtp_parameters.h"
#include "streaming/payload_config.h"
#include "streaming/payload_kind.h"
#include "stream_test_support.h"

namespace strevana {
namespace {

using testing::describe;
using testing::oneMedia;

TEST(PayloadConfigTest, ConfigParameterDecodes) {
  const struct {
    const char* fmtp;  // null: no fmtp line
    uint32_t length;
    std::vector<uint8_t> bytes;
    int32_t result;
  } cases[] = {
      {"profile-level-id=1;config=000001B001", 5, {0x00, 0x00, 0x01, 0xB0, 0x01}, 0},
      {"profile-level-id=1; CONFIG=000001b001", 5, {0x00, 0x00, 0x01, 0xB0, 0x01}, 0},
      {"config=AbCdEf;x=1", 3, {0xAB, 0xCD, 0xEF}, 0},
      {"config=12345", 2, {0x12, 0x34}, 0},  // odd count: the last digit is ignored
      {"config=", 0, {}, 0},
      {"streamtype=5", 0, {}, kConfigMissing},
      {nullptr, 0, {}, kConfigMissing},
  };
  for (const auto& c : cases) {
    auto d = describe(oneMedia("video", "MP4V-ES/90000", c.fmtp ? c.fmtp : ""));
    ASSERT_NE(d.entry(0), nullptr);
    EXPECT_EQ(configLength(d.entry(0)), c.length) << (c.fmtp ? c.fmtp : "(none)");
    std::vector<uint8_t> out(c.length, 0xEE);
    EXPECT_EQ(decodeConfig(d.entry(0), out.data(), c.length), c.result)
        << (c.fmtp ? c.fmtp : "(none)");
    EXPECT_EQ(out, c.bytes) << (c.fmtp ? c.fmtp : "(none)");
    EXPECT_EQ(configBytes(c.fmtp ? c.fmtp : ""), c.bytes) << (c.fmtp ? c.fmtp : "(none)");
  }
}

TEST(PayloadConfigTest, DecodingStopsAtTheFirstNonDigit) {
  // The length rule counts letters too; a character that is neither ends the
  // bytes, keeping a high nibble already read.
  auto d = describe(oneMedia("audio", "mpeg4-generic/44100", "config=12 34"));
  ASSERT_EQ(configLength(d.entry(0)), 1u);
  uint8_t out[3] = {0xEE, 0xEE, 0xEE};
  EXPECT_EQ(decodeConfig(d.entry(0), out, 3), 0);
  EXPECT_EQ(out[0], 0x12);
  EXPECT_EQ(out[1], 0xEE);
}

TEST(PayloadConfigTest, ContainsNoCase) {
  EXPECT_EQ(containsNoCase("a; Config=1", "config="), 10u);
  EXPECT_EQ(containsNoCase("config", "config="), std::nullopt);
  EXPECT_EQ(containsNoCase("", "x"), std::nullopt);
}

TEST(PayloadKindTest, ClassifyMediaAndKind) {
  const struct {
    const char* type;
    const char* rtpmap;
    int media;
    PayloadKind kind;
  } cases[] = {
      {"video", "MP4V-ES/90000", kMediaVideo, PayloadKind::kMp4vEs},
      {"video", "mp4v-es/90000", kMediaVideo, PayloadKind::kMp4vEs},
      {"video", "H263-1998/90000", kMediaOther, PayloadKind::kOther},
      {"audio", "mpeg4-generic/44100/2", kMediaAudio, PayloadKind::kMpeg4Generic},
      {"audio", "MPEG4-GENERIC/44100/2", kMediaAudio, PayloadKind::kMpeg4Generic},
      {"audio", "MP4A-LATM/44100/2", kMediaAudio, PayloadKind::kMp4aLatm},
      {"audio", "MP4A-ADTS/44100", kMediaAudio, PayloadKind::kOther},
      {"audio", "AMR/8000", kMediaOther, PayloadKind::kOther},
      {"audio", "", kMediaOther, PayloadKind::kOther},
      {"Video", "MP4V-ES/90000", kMediaOther, PayloadKind::kMp4vEs},
      {"application", "MP4V-ES/90000", kMediaOther, PayloadKind::kMp4vEs},
  };
  for (const auto& c : cases) {
    auto d = describe(oneMedia(c.type, c.rtpmap));
    ASSERT_NE(d.entry(0), nullptr) << c.type << " " << c.rtpmap;
    EXPECT_EQ(classifyMedia(d.entry(0)), c.media) << c.type << " " << c.rtpmap;
    EXPECT_EQ(payloadKindOf(mediaEncodingName(d.entry(0))), c.kind) << c.type << " " << c.rtpmap;
  }
  EXPECT_EQ(classifyMedia(nullptr), kMediaOther);
}

TEST(PayloadKindTest, EntryQueries) {
  auto d = describe(oneMedia("audio", "MP4A-LATM/24000/2") + "a=range:npt=0-12.5\r\n");
  EXPECT_EQ(mediaEncodingName(d.entry(0)), "MP4A-LATM");
  EXPECT_EQ(mediaClockRate(d.entry(0)), 24000u);
  EXPECT_EQ(mediaPayloadType(d.entry(0)), 96);
  EXPECT_DOUBLE_EQ(mediaRangeEnd(d.entry(0)), 12.5);
  auto none = describe(oneMedia("audio", ""));
  EXPECT_EQ(mediaClockRate(none.entry(0)), 0u);
  EXPECT_EQ(mediaEncodingName(none.entry(0)), "");
  EXPECT_DOUBLE_EQ(mediaRangeEnd(none.entry(0)), 0.0);
  EXPECT_EQ(configLength(none.entry(0)), 0u);  // no a=fmtp line
  EXPECT_EQ(configLength(nullptr), 0u);
  // RTP payload types are 7 bits (RFC 3550 5.1).
  const struct {
    const char* format;
    int type;
  } types[] = {{"0", 0}, {"127", 127}, {"128", -1}, {"9x", -1}};
  for (const auto& t : types) {
    auto m = describe(std::string("v=0\r\ns=t\r\nm=audio 0 RTP/AVP ") + t.format + "\r\n");
    EXPECT_EQ(mediaPayloadType(m.entry(0)), t.type) << t.format;
  }
}

TEST(FmtpParametersTest, NamesWithoutCaseValuesTrimmed) {
  const char* fmtp =
      "streamtype=5; SizeLength=13 ;indexlength= 3; mode=AAC-hbr; bad; x=99999999999";
  EXPECT_EQ(fmtpValue(fmtp, "sizelength"), "13");
  EXPECT_EQ(fmtpValue(fmtp, "MODE"), "AAC-hbr");
  EXPECT_EQ(fmtpNumber(fmtp, "IndexLength", 32), 3u);
  EXPECT_EQ(fmtpNumber(fmtp, "SizeLength", 8), std::nullopt);  // above the limit
  EXPECT_EQ(fmtpNumber(fmtp, "x", UINT32_MAX), std::nullopt);  // too large for 32 bits
  EXPECT_EQ(fmtpNumber(fmtp, "mode", 32), std::nullopt);
  EXPECT_EQ(fmtpValue(fmtp, "bad"), std::nullopt);
  EXPECT_EQ(fmtpValue(fmtp, "size"), std::nullopt);
}

}  // namespace
}  // namespace strevana
