#include "protocols/rtp/rtcp_compound.h"

#include <gtest/gtest.h>

#include "protocols/rtp/rtcp_report_writer.h"
#include "rtp_test_support.h"

namespace strevana {
namespace {

using namespace rtp_test;

std::optional<RtcpCompound> parse(const std::vector<uint8_t>& bytes) {
  ExactBytes exact(bytes);
  return parseRtcpCompound(exact.data.get(), exact.size);
}

void setLengthWords(std::vector<uint8_t>& v, size_t at, uint16_t words) {
  v[at + 2] = static_cast<uint8_t>(words >> 8);
  v[at + 3] = static_cast<uint8_t>(words);
}

TEST(RtcpCompoundTest, DecodesSenderReportWithDescription) {
  auto bytes = concat(makeSenderReport(0x5555, 3900000000u, 0x80000000u, 123456),
                      makeSdesCname(0x5555, "alice@host"));
  auto compound = parse(bytes);
  ASSERT_TRUE(compound);
  ASSERT_EQ(compound->reports.size(), 1u);
  const RtcpReport& sr = compound->reports[0];
  EXPECT_TRUE(sr.isSender);
  EXPECT_EQ(sr.ssrc, 0x5555u);
  EXPECT_EQ(sr.senderInfo.ntpSeconds, 3900000000u);
  EXPECT_EQ(sr.senderInfo.ntpFraction, 0x80000000u);
  EXPECT_EQ(sr.senderInfo.rtpTimestamp, 123456u);
  ASSERT_EQ(compound->descriptions.size(), 1u);
  ASSERT_EQ(compound->descriptions[0].items.size(), 1u);
  EXPECT_EQ(compound->descriptions[0].items[0].type, kSdesCname);
  EXPECT_EQ(compound->descriptions[0].items[0].text, "alice@host");
  EXPECT_EQ(compound->firstSsrc, 0x5555u);
}

TEST(RtcpCompoundTest, WriterOutputDecodesBack) {
  std::vector<RtcpReportBlock> blocks(40);
  for (size_t i = 0; i < blocks.size(); ++i) {
    blocks[i].ssrc = static_cast<uint32_t>(i + 1);
    blocks[i].cumulativeLost = -3;
    blocks[i].fractionLost = 12;
    blocks[i].highestSequence = 70000;
    blocks[i].jitter = 55;
  }
  std::vector<uint8_t> out;
  RtcpReportWriter::appendReceiverReports(out, 0xabc, blocks);
  const std::vector<std::pair<uint8_t, std::string>> items{{kSdesCname, "me@here"},
                                                           {2, std::string(300, 'n')}};
  RtcpReportWriter::appendSourceDescription(out, 0xabc, items);
  RtcpReportWriter::appendGoodbye(out, 0xabc, "done");
  auto compound = parse(out);
  ASSERT_TRUE(compound);
  // 40 blocks need two receiver reports (31 + 9).
  ASSERT_EQ(compound->reports.size(), 2u);
  EXPECT_EQ(compound->reports[0].blocks.size(), 31u);
  EXPECT_EQ(compound->reports[1].blocks.size(), 9u);
  EXPECT_EQ(compound->reports[1].blocks[8].ssrc, 40u);
  EXPECT_EQ(compound->reports[0].blocks[0].cumulativeLost, -3);
  EXPECT_EQ(compound->reports[0].blocks[0].fractionLost, 12);
  EXPECT_EQ(compound->reports[0].blocks[0].highestSequence, 70000u);
  ASSERT_EQ(compound->descriptions.size(), 1u);
  EXPECT_EQ(compound->descriptions[0].items[0].text, "me@here");
  EXPECT_EQ(compound->descriptions[0].items[1].text.size(), 255u);  // cut to one length octet
  ASSERT_EQ(compound->goodbyes.size(), 1u);
  EXPECT_EQ(compound->goodbyes[0].ssrcs, std::vector<uint32_t>{0xabc});
  EXPECT_EQ(compound->goodbyes[0].reason, "done");
}

TEST(RtcpCompoundTest, SdesChunkEndingOnABoundaryStillCarriesATerminator) {
  std::vector<uint8_t> out;
  // 2 + 2 bytes of item: the item list ends on a word boundary.
  const std::vector<std::pair<uint8_t, std::string>> items{{kSdesCname, "ab"}};
  RtcpReportWriter::appendSourceDescription(out, 7, items);
  EXPECT_EQ(out.size(), 16u);
  EXPECT_TRUE(parse(out));
}

TEST(RtcpCompoundTest, DecodesApplicationAndUnknownTypes) {
  std::vector<uint8_t> app{0x83, 204, 0, 3};
  put32(app, 0x77);
  app.insert(app.end(), {'T', 'E', 'S', 'T'});
  put32(app, 0xcafebabe);
  std::vector<uint8_t> feedback{0x81, 205, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2};
  auto compound = parse(concat(app, feedback));
  ASSERT_TRUE(compound);
  ASSERT_EQ(compound->applications.size(), 1u);
  EXPECT_EQ(compound->applications[0].subtype, 3);
  EXPECT_EQ(std::string(compound->applications[0].name.data(), 4), "TEST");
  EXPECT_EQ(compound->applications[0].data.size(), 4u);
}

// Each of these malformed compounds is dropped whole.
TEST(RtcpCompoundTest, DropsMalformedCompounds) {
  const auto sr = makeSenderReport(1, 2, 3, 4);
  auto padded = makeBye(1);  // a valid padded goodbye, varied below
  padded[0] |= 0x20;
  padded.insert(padded.end(), {0, 0, 0, 4});
  setLengthWords(padded, 0, 2);
  ASSERT_TRUE(parse(padded));
  std::vector<uint8_t> emptyItems{0x81, 202, 0,
                                  2};  // items run to the end without their terminator
  put32(emptyItems, 1);
  emptyItems.insert(emptyItems.end(), {1, 2, 'a', 'b'});
  std::vector<uint8_t> rr{0x9f, 201, 0, 1};  // 31 blocks announced
  put32(rr, 5);
  std::vector<uint8_t> shortApp{0x80, 204, 0, 1};
  put32(shortApp, 0x77);
  // Changes `at` to `value` in a copy of `bytes`.
  auto with = [](std::vector<uint8_t> bytes, size_t at, uint8_t value) {
    bytes.at(at) = value;
    return bytes;
  };
  auto withLength = [](std::vector<uint8_t> bytes, uint16_t words) {
    setLengthWords(bytes, 0, words);
    return bytes;
  };
  const std::pair<const char*, std::vector<uint8_t>> cases[] = {
      {"empty", {}},
      {"wrong version", with(sr, 0, 0x40)},
      {"second packet wrong version", with(concat(sr, makeBye(1)), sr.size(), 0xc1)},
      {"trailing byte", concat(sr, {0})},
      {"length past the datagram", withLength(concat(sr, makeBye(1)), 200)},
      {"length 0xffff", withLength(makeBye(9), 0xffff)},
      {"report block announced, none present", with(sr, 0, 0x81)},
      {"31 receiver blocks announced", rr},
      {"item length past the packet", with(makeSdesCname(1, "abcdef"), 9, 200)},
      {"two chunks announced", with(makeSdesCname(1, "abcdef"), 0, 0x82)},
      {"item list without terminator", emptyItems},
      {"three goodbye sources announced", with(makeBye(1), 0, 0x83)},
      {"goodbye reason past the packet", with(makeBye(1, "ab"), 8, 9)},
      {"padding beyond the body", with(padded, padded.size() - 1, 13)},
      {"padding count 0", with(padded, padded.size() - 1, 0)},
      {"padded packet not last", concat(padded, makeBye(2))},
      {"short application packet", shortApp},
  };
  for (const auto& [what, bytes] : cases) EXPECT_FALSE(parse(bytes)) << what;
  // Every strict prefix of a valid compound is rejected, except the one that
  // ends exactly after the first packet.
  const auto whole = concat(sr, makeSdesCname(1, "x@y"));
  for (size_t n = 0; n < whole.size(); ++n) {
    if (n == sr.size()) continue;
    EXPECT_FALSE(parse(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(n))))
        << n;
  }
}

}  // namespace
}  // namespace strevana
