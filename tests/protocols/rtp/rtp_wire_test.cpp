// RTP packets and RTCP compounds as they come off the wire (RFC 3550 5.1, 6.4-6.7).
#include <gtest/gtest.h>

#include <tuple>

#include "protocols/rtp/rtcp_compound.h"
#include "protocols/rtp/rtcp_report_writer.h"
#include "protocols/rtp/rtp_packet.h"
#include "rtp_test_support.h"

namespace strevana {
namespace {

using namespace rtp_test;

// Each parse gets a copy without spare capacity, so AddressSanitizer catches
// any read past the datagram's end.
std::unique_ptr<RtpPacket> parseRtp(const std::vector<uint8_t>& bytes) {
  return RtpPacket::parse(std::vector<uint8_t>(bytes).data(), bytes.size());
}

std::optional<RtcpCompound> parseRtcp(const std::vector<uint8_t>& bytes) {
  return parseRtcpCompound(std::vector<uint8_t>(bytes).data(), bytes.size());
}

// A copy of `bytes` with byte `at` (from the end when negative) set to `value`.
std::vector<uint8_t> with(std::vector<uint8_t> bytes, long at, uint8_t value) {
  bytes.at(static_cast<size_t>(at < 0 ? static_cast<long>(bytes.size()) + at : at)) = value;
  return bytes;
}

std::vector<uint8_t> prefix(const std::vector<uint8_t>& v, size_t n) {
  return std::vector<uint8_t>(v.begin(), v.begin() + static_cast<long>(n));
}

TEST(RtpPacketTest, DecodesHeaderCsrcsExtensionAndPadding) {
  const RtpFields fields{.seq = 0xfffe,
                         .timestamp = 0x89abcdef,
                         .ssrc = 0x01020304,
                         .payloadType = 97,
                         .marker = true,
                         .csrcs = {0xaaaaaaaa, 0xbbbbbbbb},
                         .extension = {1, 2, 3, 4, 5, 6, 7, 8},
                         .payload = {9, 8, 7},
                         .padding = 5};
  auto p = parseRtp(makeRtp(fields));
  ASSERT_TRUE(p);
  EXPECT_EQ(std::tuple(p->sequenceNumber, p->extendedSequenceNumber, p->timestamp, p->ssrc),
            std::tuple(0xfffe, 0xfffeu, 0x89abcdefu, 0x01020304u));
  EXPECT_EQ(std::tuple(p->payloadType, p->marker, p->csrcCount, p->csrcs[0], p->csrcs[1]),
            std::tuple(97, true, 2, 0xaaaaaaaau, 0xbbbbbbbbu));
  EXPECT_EQ(std::tuple(p->hasExtension, p->extensionId, p->extensionLength),
            std::tuple(true, 0xbede, 8u));
  EXPECT_EQ(std::vector<uint8_t>(p->extensionData(), p->extensionData() + p->extensionLength),
            fields.extension);
  // The payload excludes CSRCs, extension and the padding.
  EXPECT_EQ(std::vector<uint8_t>(p->payload(), p->payload() + p->payloadLength()), fields.payload);
}

TEST(RtpPacketTest, KeepsEmptyPayloadsAndDropsMalformedOrCutPackets) {
  RtpFields empty;
  empty.payload = {};
  RtpFields emptyPadded = empty;
  emptyPadded.padding = 4;
  RtpFields three;
  three.payload = {1, 2, 3};
  const auto padded3 = with(makeRtp(three), 0, 0xa0);  // padding flag, count in the last byte
  for (const auto& bytes : {makeRtp(empty), makeRtp(emptyPadded), with(padded3, -1, 3)}) {
    auto packet = parseRtp(bytes);
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->payloadLength(), 0u);
  }
  RtpFields extended;
  extended.extension = {0, 0, 0, 0};
  // clang-format off
  const std::pair<const char*, std::vector<uint8_t>> cases[] = {
      {"version 0", with(makeRtp(empty), 0, 0x00)}, {"version 1", with(makeRtp(empty), 0, 0x40)},
      {"version 3", with(makeRtp(empty), 0, 0xc0)},
      {"padding 4 in 3 payload bytes", with(padded3, -1, 4)},
      {"padding count 0", with(padded3, -1, 0)},  // the count includes itself
      {"padding count 255", with(padded3, -1, 255)},
      {"CSRC count 15, none present", with(makeRtp(empty), 0, 0x8f)},
      {"extension length past the packet", with(with(makeRtp(extended), 14, 0xff), 15, 0xff)},
  };
  // clang-format on
  for (const auto& [what, bytes] : cases) EXPECT_FALSE(parseRtp(bytes)) << what;
  EXPECT_FALSE(RtpPacket::parse(nullptr, 20));
  // Any prefix cuts the fixed header, the CSRC list, the extension header or
  // the extension data.
  RtpFields full;
  full.csrcs = {1, 2, 3};
  full.extension = {1, 2, 3, 4};
  full.payload = {};
  const auto whole = makeRtp(full);
  ASSERT_TRUE(parseRtp(whole));
  for (size_t n = 0; n < whole.size(); ++n) EXPECT_FALSE(parseRtp(prefix(whole, n))) << n;
}

TEST(RtcpCompoundTest, DecodesReportsDescriptionsAndApplicationPackets) {
  const std::vector<uint8_t> app{0x83, 204, 0, 3, 0, 0, 0, 0x77, 'T', 'E', 'S', 'T', 1, 2, 3, 4};
  const std::vector<uint8_t> feedback{0x81, 205, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2};  // skipped
  auto compound =
      parseRtcp(concat(concat(makeSenderReport(0x5555, 3900000000u, 0x80000000u, 123456),
                              makeSdesCname(0x5555, "alice@host")),
                       concat(app, feedback)));
  ASSERT_TRUE(compound);
  const RtcpReport& sr = compound->reports.at(0);
  const RtcpSenderInfo& i = sr.senderInfo;
  const RtcpSdesChunk& chunk = compound->descriptions.at(0);
  const RtcpApplication& a = compound->applications.at(0);
  EXPECT_EQ(std::tuple(compound->reports.size(), sr.isSender, sr.ssrc, compound->firstSsrc),
            std::tuple(1u, true, 0x5555u, 0x5555u));
  EXPECT_EQ(std::tuple(i.ntpSeconds, i.ntpFraction, i.rtpTimestamp, i.packetCount, i.octetCount),
            std::tuple(3900000000u, 0x80000000u, 123456u, 10u, 1000u));
  EXPECT_EQ(std::tuple(chunk.items.size(), chunk.items.at(0).type, chunk.items.at(0).text),
            std::tuple(1u, kSdesCname, "alice@host"));
  EXPECT_EQ(std::tuple(a.subtype, std::string(a.name.data(), 4), a.data.size()),
            std::tuple(3, "TEST", size_t{4}));
}

TEST(RtcpCompoundTest, WriterOutputDecodesBack) {
  std::vector<RtcpReportBlock> blocks(40, RtcpReportBlock{0, 12, -3, 70000, 55, 0, 0});
  for (size_t i = 0; i < blocks.size(); ++i) blocks[i].ssrc = static_cast<uint32_t>(i + 1);
  std::vector<uint8_t> out;
  RtcpReportWriter::appendReceiverReports(out, 0xabc, blocks);
  using Items = std::vector<std::pair<uint8_t, std::string>>;
  RtcpReportWriter::appendSourceDescription(
      out, 0xabc, Items{{kSdesCname, "me@here"}, {2, std::string(300, 'n')}});
  RtcpReportWriter::appendGoodbye(out, 0xabc, "done");
  auto compound = parseRtcp(out);
  ASSERT_TRUE(compound);
  // 40 blocks need two receiver reports (31 + 9).
  const auto& reports = compound->reports;
  EXPECT_EQ(std::tuple(reports.size(), reports.at(0).blocks.size(), reports.at(1).blocks.size()),
            std::tuple(2u, 31u, 9u));
  EXPECT_EQ(reports.at(1).blocks.at(8).ssrc, 40u);
  const RtcpReportBlock& b = reports[0].blocks.at(0);
  EXPECT_EQ(std::tuple(b.cumulativeLost, b.fractionLost, b.highestSequence, b.jitter),
            std::tuple(-3, 12, 70000u, 55u));
  const auto& items = compound->descriptions.at(0).items;  // the long one cut to 255 bytes
  EXPECT_EQ(std::tuple(items.at(0).text, items.at(1).text.size()), std::tuple("me@here", 255u));
  const RtcpGoodbye& bye = compound->goodbyes.at(0);
  EXPECT_EQ(std::tuple(bye.ssrcs, bye.reason), std::tuple(std::vector<uint32_t>{0xabc}, "done"));
  // An item list ending on a word boundary still gets its terminator word.
  out.clear();
  RtcpReportWriter::appendSourceDescription(out, 7, Items{{kSdesCname, "ab"}});
  EXPECT_EQ(out.size(), 16u);
  EXPECT_TRUE(parseRtcp(out));
}

// Each of these malformed compounds is dropped whole.
TEST(RtcpCompoundTest, DropsMalformedCompounds) {
  const auto sr = makeSenderReport(1, 2, 3, 4);
  // A valid padded goodbye (the padding flag, 4 bytes counted in the last one).
  const auto padded = sealed(with(concat(makeBye(1), {0, 0, 0, 4}), 0, 0xa1));
  ASSERT_TRUE(parseRtcp(padded));
  // clang-format off
  const std::pair<const char*, std::vector<uint8_t>> cases[] = {
      {"empty", {}},
      {"wrong version", with(sr, 0, 0x40)},
      {"second packet wrong version", with(concat(sr, makeBye(1)), static_cast<long>(sr.size()), 0xc1)},
      {"trailing byte", concat(sr, {0})},
      {"length past the datagram", with(concat(sr, makeBye(1)), 3, 200)},
      {"length 0xffff", with(with(makeBye(9), 2, 0xff), 3, 0xff)},
      {"report block announced, none present", with(sr, 0, 0x81)},
      {"31 receiver blocks announced", {0x9f, 201, 0, 1, 0, 0, 0, 5}},
      {"item length past the packet", with(makeSdesCname(1, "abcdef"), 9, 200)},
      {"two chunks announced", with(makeSdesCname(1, "abcdef"), 0, 0x82)},
      {"item list without terminator", {0x81, 202, 0, 2, 0, 0, 0, 1, 1, 2, 'a', 'b'}},
      {"three goodbye sources announced", with(makeBye(1), 0, 0x83)},
      {"goodbye reason past the packet", with(makeBye(1, "ab"), 8, 9)},
      {"padding beyond the body", with(padded, -1, 13)},
      {"padding count 0", with(padded, -1, 0)},
      {"padded packet not last", concat(padded, makeBye(2))},
      {"short application packet", {0x80, 204, 0, 1, 0, 0, 0, 0x77}},
  };
  // clang-format on
  for (const auto& [what, bytes] : cases) EXPECT_FALSE(parseRtcp(bytes)) << what;
  // Every prefix is rejected, except the one that ends after the first packet.
  const auto whole = concat(sr, makeSdesCname(1, "x@y"));
  for (size_t n = 0; n < whole.size(); ++n) {
    if (n != sr.size()) {
      EXPECT_FALSE(parseRtcp(prefix(whole, n))) << n;
    }
  }
}

}  // namespace
}  // namespace strevana
