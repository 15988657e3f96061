#include "protocols/rtp/rtp_packet.h"

#include <gtest/gtest.h>

#include "rtp_test_support.h"

namespace strevana {
namespace {

using rtp_test::ExactBytes;
using rtp_test::makeRtp;
using rtp_test::RtpFields;

std::unique_ptr<RtpPacket> parse(const std::vector<uint8_t>& bytes) {
  ExactBytes exact(bytes);
  return RtpPacket::parse(exact.data.get(), exact.size);
}

TEST(RtpPacketTest, DecodesHeaderCsrcsExtensionAndPadding) {
  RtpFields fields;
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

TEST(RtpPacketTest, NoPayloadAndPaddingThatFillsThePayloadAreKept) {
  RtpFields empty;
  empty.payload = {};
  RtpFields emptyPadded = empty;
  emptyPadded.padding = 4;
  RtpFields three;
  three.payload = {1, 2, 3};
  auto allPadding = makeRtp(three);  // the count may take the whole payload
  allPadding[0] |= 0x20;
  allPadding.back() = 3;
  for (const auto& bytes : {makeRtp(empty), makeRtp(emptyPadded), allPadding}) {
    auto packet = parse(bytes);
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->payloadLength(), 0u);
  }
}

TEST(RtpPacketTest, DropsMalformedPackets) {
  // Builds a packet from `fields`, then sets byte `at` (counted from the end
  // when negative) to `value`, and the padding flag if asked.
  auto build = [](RtpFields fields, long at, uint8_t value, bool padFlag = false) {
    auto bytes = makeRtp(fields);
    bytes.at(static_cast<size_t>(at < 0 ? static_cast<long>(bytes.size()) + at : at)) = value;
    if (padFlag) bytes[0] |= 0x20;
    return bytes;
  };
  RtpFields three;
  three.payload = {1, 2, 3};
  RtpFields extended;
  extended.extension = true;
  extended.extensionData = {0, 0, 0, 0};
  auto longExtension = build(extended, 14, 0xff);
  longExtension[15] = 0xff;  // 0xffff extension words
  const std::pair<const char*, std::vector<uint8_t>> cases[] = {
      {"version 0", build({}, 0, 0x00)},
      {"version 1", build({}, 0, 0x40)},
      {"version 3", build({}, 0, 0xc0)},
      {"padding 4 in 3 payload bytes", build(three, -1, 4, true)},
      {"padding count 0", build(three, -1, 0, true)},  // the count includes itself
      {"padding count 255", build(three, -1, 255, true)},
      {"CSRC count 15, none present", build({}, 0, 0x8f)},
      {"extension length past the packet", longExtension},
  };
  for (const auto& [what, bytes] : cases) EXPECT_FALSE(parse(bytes)) << what;
  EXPECT_FALSE(RtpPacket::parse(nullptr, 20));
}

TEST(RtpPacketTest, DropsEveryTruncation) {
  RtpFields fields;
  fields.csrcs = {1, 2, 3};
  fields.extension = true;
  fields.extensionData = {1, 2, 3, 4};
  fields.payload = {};
  const auto whole = makeRtp(fields);  // 12 + 12 + 4 + 4 bytes, nothing else
  ASSERT_TRUE(parse(whole));
  // Any shorter prefix cuts the fixed header, the CSRC list, the extension
  // header or the extension data.
  for (size_t n = 0; n < whole.size(); ++n) {
    EXPECT_FALSE(parse(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(n))))
        << n;
  }
}

}  // namespace
}  // namespace strevana
