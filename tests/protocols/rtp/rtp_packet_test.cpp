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
  RtpSpec fields;
  fields.seq = 0xfffe;
  fields.timestamp = 0x89abcdef;
  fields.ssrc = 0x01020304;
  fields.payloadType = 97;
  fields.marker = true;
  fields.csrcs = {0xaaaaaaaa, 0xbbbbbbbb};
  fields.extension = true;
  fields.extensionData = {1, 2, 3, 4, 5, 6, 7, 8};
  fields.payload = {9, 8, 7};
  fields.padding = 5;
  auto packet = parse(makeRtp(fields));
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
  RtpSpec fields;
  fields.payload = {};
  auto bare = parse(makeRtp(fields));
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->payloadLength(), 0u);
  fields.padding = 4;
  auto padded = parse(makeRtp(fields));
  ASSERT_TRUE(padded);
  EXPECT_EQ(padded->payloadLength(), 0u);
}

TEST(RtpPacketTest, DropsWrongVersions) {
  for (uint8_t version : {0, 1, 3}) {
    RtpSpec fields;
    fields.version = version;
    EXPECT_FALSE(parse(makeRtp(fields))) << int(version);
  }
}

TEST(RtpPacketTest, DropsPaddingCountsThatDoNotFit) {
  RtpSpec fields;
  fields.payload = {1, 2, 3};
  auto bytes = makeRtp(fields);
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
  RtpSpec fields;
  fields.csrcs = {1, 2, 3};
  fields.extension = true;
  fields.extensionData = {1, 2, 3, 4};
  fields.payload = {};
  const auto whole = makeRtp(fields);  // 12 + 12 + 4 + 4 bytes, nothing else
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
  RtpSpec fields;
  fields.extension = true;
  fields.extensionData = {0, 0, 0, 0};
  bytes = makeRtp(fields);
  bytes[14] = 0xff;
  bytes[15] = 0xff;
  EXPECT_FALSE(parse(bytes));
  EXPECT_FALSE(RtpPacket::parse(nullptr, 20));
}

}  // namespace
}  // namespace strevana
