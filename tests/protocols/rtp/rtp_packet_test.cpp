#include "protocols/rtp/rtp_packet.h"

#include <gtest/gtest.h>

#include "rtp_test_support.h"

namespace strevana {
namespace {

using rtp_test::ExactBytes;
using rtp_test::makeRtp;
using rtp_test::RtpSpec;

std::unique_ptr<RtpPacket> parse(const std::vector<uint8_t>& bytes) {
  ExactBytes exact(bytes);
  return RtpPacket::parse(exact.data.get(), exact.size);
}

TEST(RtpPacketTest, DecodesHeaderCsrcsExtensionAndPadding) {
  RtpSpec spec;
  spec.seq = 0xfffe;
  spec.timestamp = 0x89abcdef;
  spec.ssrc = 0x01020304;
  spec.payloadType = 97;
  spec.marker = true;
  spec.csrcs = {0xaaaaaaaa, 0xbbbbbbbb};
  spec.extension = true;
  spec.extensionData = {1, 2, 3, 4, 5, 6, 7, 8};
  spec.payload = {9, 8, 7};
  spec.padding = 5;
  auto packet = parse(makeRtp(spec));
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->sequenceNumber, 0xfffe);
  EXPECT_EQ(packet->extendedSequenceNumber, 0xfffeu);
  EXPECT_EQ(packet->timestamp, 0x89abcdefu);
  EXPECT_EQ(packet->ssrc, 0x01020304u);
  EXPECT_EQ(packet->payloadType, 97);
  EXPECT_TRUE(packet->marker);
  ASSERT_EQ(packet->csrcCount, 2);
  EXPECT_EQ(packet->csrcs[1], 0xbbbbbbbbu);
  EXPECT_TRUE(packet->hasExtension);
  EXPECT_EQ(packet->extensionId, 0xbede);
  ASSERT_EQ(packet->extensionLength, 8u);
  EXPECT_EQ(packet->extensionData()[7], 8);
  // The payload excludes CSRCs, extension and the padding.
  ASSERT_EQ(packet->payloadLength(), 3u);
  EXPECT_EQ(packet->payload()[0], 9);
  EXPECT_EQ(packet->payload()[2], 7);
}

TEST(RtpPacketTest, EmptyPayloadAndPaddingThatFillsThePayloadAreKept) {
  RtpSpec spec;
  spec.payload = {};
  auto bare = parse(makeRtp(spec));
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->payloadLength(), 0u);
  spec.padding = 4;
  auto padded = parse(makeRtp(spec));
  ASSERT_TRUE(padded);
  EXPECT_EQ(padded->payloadLength(), 0u);
}

TEST(RtpPacketTest, DropsWrongVersions) {
  for (uint8_t version : {0, 1, 3}) {
    RtpSpec spec;
    spec.version = version;
    EXPECT_FALSE(parse(makeRtp(spec))) << int(version);
  }
}

TEST(RtpPacketTest, DropsPaddingCountsThatDoNotFit) {
  RtpSpec spec;
  spec.payload = {1, 2, 3};
  auto bytes = makeRtp(spec);
  bytes[0] |= 0x20;
  bytes.back() = 4;  // 3 payload bytes cannot hold 4 padding bytes
  EXPECT_FALSE(parse(bytes));
  bytes.back() = 0;  // the count includes itself, so 0 is malformed
  EXPECT_FALSE(parse(bytes));
  bytes.back() = 255;
  EXPECT_FALSE(parse(bytes));
  bytes.back() = 3;
  auto ok = parse(bytes);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->payloadLength(), 0u);
}

TEST(RtpPacketTest, DropsEveryTruncation) {
  RtpSpec spec;
  spec.csrcs = {1, 2, 3};
  spec.extension = true;
  spec.extensionData = {1, 2, 3, 4};
  spec.payload = {};
  const auto whole = makeRtp(spec);  // 12 + 12 + 4 + 4 bytes, nothing else
  ASSERT_TRUE(parse(whole));
  // Any shorter prefix cuts the fixed header, the CSRC list, the extension
  // header or the extension data.
  for (size_t n = 0; n < whole.size(); ++n) {
    EXPECT_FALSE(parse(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(n)))) << n;
  }
}

TEST(RtpPacketTest, DropsOversizedCountsAndLengths) {
  // CSRC count of 15 with only 2 CSRCs present.
  auto bytes = makeRtp(RtpSpec{});
  bytes[0] = static_cast<uint8_t>((bytes[0] & 0xf0) | 0x0f);
  EXPECT_FALSE(parse(bytes));
  // Extension length word of 0xffff words.
  RtpSpec spec;
  spec.extension = true;
  spec.extensionData = {0, 0, 0, 0};
  bytes = makeRtp(spec);
  bytes[14] = 0xff;
  bytes[15] = 0xff;
  EXPECT_FALSE(parse(bytes));
  EXPECT_FALSE(RtpPacket::parse(nullptr, 20));
}

}  // namespace
}  // namespace strevana
