// The small rules of descriptions: config= digits, media kinds, fmtp values,
// and which names open which kind of source.
#include <gtest/gtest.h>

#include "stream_test_support.h"
#include "streaming/fmtp_parameters.h"
#include "streaming/media_source_factory.h"
#include "streaming/payload_config.h"
#include "streaming/payload_kind.h"

namespace strevana {
namespace {

using testing::describe;
using testing::oneMedia;
using Bytes = std::vector<uint8_t>;

TEST(PayloadConfigTest, ConfigDigitsDecode) {
  // clang-format off
  const struct { const char* fmtp; Bytes bytes; int32_t result; } cases[] = {
      {"profile-level-id=1;config=000001B001", {0x00, 0x00, 0x01, 0xB0, 0x01}, 0},
      {"profile-level-id=1; CONFIG=000001b001", {0x00, 0x00, 0x01, 0xB0, 0x01}, 0},
      {"config=AbCdEf;x=1", {0xAB, 0xCD, 0xEF}, 0}, {"config=12345", {0x12, 0x34}, 0},  // odd: the last is left
      {"config=", {}, 0}, {"config=12 34", {0x12}, 0},  // a character that is no digit ends them
      {"streamtype=5", {}, kConfigMissing}, {"configx=12", {}, kConfigMissing},
  };
  // clang-format on
  for (const auto& c : cases) {
    auto d = describe(oneMedia("video", "MP4V-ES/90000", c.fmtp));
    Bytes out(configLength(d.entry()), 0xEE);
    EXPECT_EQ(decodeConfig(d.entry(), out.data(), uint32_t(out.size())), c.result) << c.fmtp;
    EXPECT_EQ(out, c.bytes) << c.fmtp;
    EXPECT_EQ(configBytes(c.fmtp), c.bytes) << c.fmtp;
  }
}

TEST(PayloadKindTest, ClassifyMediaAndKind) {
  // clang-format off
  const struct { const char* type; const char* rtpmap; int media; PayloadKind kind; } cases[] = {
      {"video", "mp4v-es/90000", kMediaVideo, PayloadKind::kMp4vEs}, {"video", "H263-1998/90000", kMediaOther, PayloadKind::kOther},
      {"audio", "MPEG4-GENERIC/44100/2", kMediaAudio, PayloadKind::kMpeg4Generic},
      {"audio", "MP4A-LATM/44100/2", kMediaAudio, PayloadKind::kMp4aLatm}, {"audio", "MP4A-ADTS/44100", kMediaAudio, PayloadKind::kOther},
      {"audio", "AMR/8000", kMediaOther, PayloadKind::kOther}, {"audio", "", kMediaOther, PayloadKind::kOther},
      {"Video", "MP4V-ES/90000", kMediaOther, PayloadKind::kMp4vEs},
  };
  // clang-format on
  for (const auto& c : cases) {
    auto d = describe(oneMedia(c.type, c.rtpmap));
    EXPECT_EQ(std::make_pair(classifyMedia(d.entry()), payloadKindOf(mediaEncodingName(d.entry()))),
              std::make_pair(c.media, c.kind))
        << c.type << " " << c.rtpmap;
  }
  EXPECT_EQ(mediaClockRate(describe(oneMedia("audio", "MP4A-LATM/24000/2")).entry()), 24000u);
  // RTP payload types are 7 bits (RFC 3550 5.1).
  for (const auto& [format, type] :
       std::initializer_list<std::pair<const char*, int>>{{"127", 127}, {"128", -1}, {"9x", -1}}) {
    auto m = describe(std::string("v=0\r\ns=t\r\nm=audio 0 RTP/AVP ") + format + "\r\n");
    EXPECT_EQ(mediaPayloadType(m.entry()), type) << format;
  }
}

TEST(FmtpParametersTest, NamesWithoutCaseValuesTrimmedNumbersBounded) {
  const char* fmtp = "SizeLength=13 ;indexlength= 3\t; mode=AAC-hbr; bad; x=99999999999";
  EXPECT_EQ(fmtpValue(fmtp, "MODE"), "AAC-hbr");
  EXPECT_EQ(fmtpNumber(fmtp, "IndexLength", 32), 3u);
  EXPECT_EQ(fmtpNumber(fmtp, "sizelength", 8), std::nullopt);  // above the limit
  EXPECT_EQ(fmtpNumber(fmtp, "x", UINT32_MAX), std::nullopt);  // beyond 32 bits
  EXPECT_EQ(fmtpNumber(fmtp, "mode", 32), std::nullopt);
  EXPECT_EQ(fmtpNumber("a=3x", "a", 32), std::nullopt);
  EXPECT_EQ(fmtpValue(fmtp, "bad"), std::nullopt);
  EXPECT_EQ(fmtpValue(fmtp, "size"), std::nullopt);
}

TEST(MediaSourceFactoryTest, NamesPickTheSourceKind) {
  using K = MediaSourceKind;
  // clang-format off
  const struct { const char* base; const char* name; MediaSourceKind kind; } cases[] = {
      {nullptr, "a.b/clip.mp4", K::kMp4File}, {nullptr, "CLIP.3GP", K::kMp4File}, {nullptr, "/tmp/X.Y.SDP", K::kStream},
      {"rtsp://host", "clip.mp4", K::kStream}, {"rtsp:", nullptr, K::kStream}, {nullptr, "clip.mp4.bak", K::kNone},
      {nullptr, "folder.mp4/clip", K::kNone}, {nullptr, nullptr, K::kNone}, {" rtsp://host", "clip.sdp", K::kNone},
  };
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(classifyMediaName(c.base, c.name), c.kind) << (c.name ? c.name : "-") << &c - cases;
}

}  // namespace
}  // namespace strevana
