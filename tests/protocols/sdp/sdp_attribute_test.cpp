#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "protocols/sdp/sdp_decoder.h"
#include "protocols/sdp/sdp_input.h"
#include "protocols/sdp/sdp_printer.h"
#include "sdp_test_support.h"

namespace strevana {
namespace {

using namespace sdp_test;

const std::string kVideo = "m=video 0 RTP/AVP 96 97\n";

TEST(SdpAttributes, RtpMapForms) {
  const Decoded d =
      decode(kHead + kVideo + "a=rtpmap:96 MP4V-ES\na=rtpmap: 97  mpeg4-generic/48000/2\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  const SdpFormat* f96 = d.media().formats.get();
  ASSERT_TRUE(f96->rtpMap.has_value());
  EXPECT_EQ(f96->rtpMap->encodingName, "MP4V-ES");
  EXPECT_EQ(f96->rtpMap->clockRate, 90000u);
  EXPECT_EQ(f96->rtpMap->encodingParameter, 0u);
  const SdpFormat* f97 = f96->next.get();
  ASSERT_TRUE(f97->rtpMap.has_value());
  EXPECT_EQ(f97->rtpMap->encodingName, "mpeg4-generic");
  EXPECT_EQ(f97->rtpMap->clockRate, 48000u);
  EXPECT_EQ(f97->rtpMap->encodingParameter, 2u);
  EXPECT_TRUE(d.media().attributes.empty());
}

TEST(SdpAttributes, RefusedRtpMapsStayAsText) {
  const Decoded d = decode(kHead + "a=rtpmap:96 MP4V-ES/90000\n" + kVideo +
                           "a=rtpmap:98 H263/90000\n"    // format not on the m= line
                           "a=rtpmap:960 H263/90000\n"   // 96 is only a prefix
                           "a=rtpmap:96 MP4V-ES/fast\n"  // clock rate not a number
                           "a=rtpmap:97 X/90000/2\n"
                           "a=rtpmap:97 Y/8000\n");  // second map for 97
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->attributes, (std::vector<std::string>{"rtpmap:96 MP4V-ES/90000"}));
  EXPECT_EQ(d.media().attributes,
            (std::vector<std::string>{"rtpmap:98 H263/90000", "rtpmap:960 H263/90000",
                                      "rtpmap:96 MP4V-ES/fast", "rtpmap:97 Y/8000"}));
  EXPECT_FALSE(d.media().formats->rtpMap.has_value());
  EXPECT_EQ(d.media().formats->next->rtpMap->encodingName, "X");
}

TEST(SdpAttributes, FormatParameters) {
  const Decoded d = decode(kHead + kVideo +
                           "a=fmtp:96   profile-level-id=1;config=000001B0\n"
                           "a=fmtp:99 config=1\na=fmtp:97\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.media().formats->formatParameters, "profile-level-id=1;config=000001B0");
  EXPECT_EQ(d.media().formats->next->formatParameters, "");
  EXPECT_EQ(d.media().attributes, (std::vector<std::string>{"fmtp:99 config=1"}));
}

TEST(SdpAttributes, NamesMatchOnlyBeforeBlankColonOrEnd) {
  const Decoded d = decode(kHead +
                           "a=controls:x\na=control :  rtsp://h/s\na=rangeX:npt=0-1\n"
                           "a=recvonlyX\na=SENDONLY\na=control\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->control, "rtsp://h/s");
  EXPECT_TRUE(d.first->direction.sendOnly);
  EXPECT_FALSE(d.first->direction.recvOnly);
  EXPECT_FALSE(d.first->range.valid);
  // "control" without its colon is refused and kept.
  EXPECT_EQ(d.first->attributes,
            (std::vector<std::string>{"controls:x", "rangeX:npt=0-1", "recvonlyX", "control"}));
}

TEST(SdpAttributes, ControlPerLevelAndSecondOneKept) {
  const Decoded d = decode(kHead + "a=control:*\na=control:again\n" + kVideo +
                           "a=control:trackID=1\na=control:trackID=9\na=cliprect:0,0,240,320\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->control, "*");
  EXPECT_EQ(d.first->attributes, (std::vector<std::string>{"control:again"}));
  EXPECT_EQ(d.media().control, "trackID=1");
  EXPECT_EQ(d.media().attributes,
            (std::vector<std::string>{"control:trackID=9", "cliprect:0,0,240,320"}));
}

TEST(SdpAttributes, SessionTexts) {
  const Decoded d = decode(kHead +
                           "a=keywds:  two words\na=tool: gen 1\na=charset:UTF-8\na=etag:abc\n"
                           "a=sdplang:en\na=lang:de\na=tool:other\n" +
                           kVideo + "a=lang:fr\na=sdplang:it\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->keywds, "  two words");  // keywds keeps its blanks
  EXPECT_EQ(d.first->tool, "gen 1");
  EXPECT_EQ(d.first->charset, "UTF-8");
  EXPECT_EQ(d.first->etag, "abc");
  EXPECT_EQ(d.first->sdplang, "en");
  EXPECT_EQ(d.first->lang, "de");
  EXPECT_EQ(d.first->attributes, (std::vector<std::string>{"tool:other"}));
  EXPECT_EQ(d.media().lang, "fr");
  EXPECT_EQ(d.media().sdplang, "it");
}

TEST(SdpAttributes, EnumeratedValues) {
  const Decoded d =
      decode(kHead + "a=type:Moderated-x\na=orient:portrait\n" + kVideo + "a=orient:SEASCAPE\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->conferenceType, 3);
  EXPECT_EQ(d.first->attributes, (std::vector<std::string>{"orient:portrait"}));
  EXPECT_EQ(d.media().orientation, 3);

  const Decoded other =
      decode(kHead + "a=type:party\n" + kVideo + "a=orient:upside-down\na=orient:portrait\n");
  ASSERT_EQ(other.rc, kSdpOk);
  EXPECT_EQ(other.first->conferenceType, 6);
  EXPECT_EQ(other.first->conferenceTypeText, "party");
  EXPECT_EQ(other.media().orientation, 4);
  EXPECT_EQ(other.media().orientationText, "upside-down");
  EXPECT_EQ(other.media().attributes, (std::vector<std::string>{"orient:portrait"}));
  EXPECT_EQ(decode(kHead + "a=type:h332\n").first->conferenceType, 5);
}

TEST(SdpAttributes, MediaNumbers) {
  const Decoded d =
      decode(kHead + "a=ptime:20\n" + kVideo + "a=ptime: 20  \na=quality:7\na=framerate:29.97\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->attributes, (std::vector<std::string>{"ptime:20"}));
  EXPECT_TRUE(d.media().ptimePresent);
  EXPECT_EQ(d.media().ptime, 20u);
  EXPECT_TRUE(d.media().qualityPresent);
  EXPECT_EQ(d.media().quality, 7u);
  EXPECT_TRUE(d.media().frameRatePresent);
  EXPECT_DOUBLE_EQ(d.media().frameRate, 29.97);

  const Decoded bad = decode(kHead + kVideo + "a=ptime:20ms\na=framerate:fast\na=quality:-1\n");
  ASSERT_EQ(bad.rc, kSdpOk);
  EXPECT_FALSE(bad.media().ptimePresent);
  EXPECT_FALSE(bad.media().frameRatePresent);
  EXPECT_FALSE(bad.media().qualityPresent);
  EXPECT_EQ(bad.media().attributes.size(), 3u);
}

TEST(SdpAttributes, Categories) {
  const Decoded d = decode(kHead + "a=cat:4.2\t7 0 9\na=cat:1\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->categories, (std::vector<uint32_t>{4, 2, 7}));
  EXPECT_EQ(d.first->attributes, (std::vector<std::string>{"cat:1"}));
}

TEST(SdpAttributes, Ranges) {
  const Decoded d = decode(kHead + "a=range:npt=1:02:03.5-1:30\na=range:npt=0-9\n" + kVideo +
                           "a=range: NPT = 2.25 -\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  const SdpRange& s = d.first->range;
  EXPECT_TRUE(s.valid);
  EXPECT_TRUE(s.npt);
  EXPECT_DOUBLE_EQ(s.start, 3723.5);
  EXPECT_DOUBLE_EQ(s.end, 90.0);
  EXPECT_FALSE(s.openEnd);
  EXPECT_EQ(d.first->attributes, (std::vector<std::string>{"range:npt=0-9"}));
  const SdpRange& m = d.media().range;
  EXPECT_TRUE(m.valid);
  EXPECT_DOUBLE_EQ(m.start, 2.25);
  EXPECT_TRUE(m.openEnd);

  const Decoded smpte = decode(kHead + "a=range:smpte-25=0:00:10:05-0:01:00\n" + kVideo +
                               "a=range:smpte=0:00:01:15-\n");
  ASSERT_EQ(smpte.rc, kSdpOk);
  EXPECT_FALSE(smpte.first->range.npt);
  EXPECT_DOUBLE_EQ(smpte.first->range.smpteFrameRate, 25.0);
  EXPECT_DOUBLE_EQ(smpte.first->range.start, 10.2);
  EXPECT_DOUBLE_EQ(smpte.first->range.end, 60.0);
  EXPECT_DOUBLE_EQ(smpte.media().range.smpteFrameRate, 30.0);
  EXPECT_DOUBLE_EQ(smpte.media().range.start, 1.5);

  const Decoded drop = decode(kHead + "a=range:smpte-30-drop=0:00:00-0:00:02\n");
  ASSERT_EQ(drop.rc, kSdpOk);
  EXPECT_TRUE(drop.first->range.valid);
  EXPECT_DOUBLE_EQ(drop.first->range.end, 2.0);

  // A live range from "now": start 0, duration unknown even with an end.
  for (const char* live : {"a=range:npt=now-", "a=range:npt=NOW-30", "a=range:npt = now - "}) {
    const Decoded r = decode(kHead + live + "\n");
    ASSERT_EQ(r.rc, kSdpOk) << live;
    EXPECT_TRUE(r.first->range.valid) << live;
    EXPECT_TRUE(r.first->range.startNow) << live;
    EXPECT_TRUE(r.first->range.openEnd) << live;
    EXPECT_DOUBLE_EQ(r.first->range.start, 0.0) << live;
  }

  for (const char* bad : {"a=range:clock=19961108T142300Z-", "a=range:smpte=now-",
                          "a=range:npt=nowx-", "a=range:npt=now", "a=range:npt 0-1",
                          "a=range:npt=5", "a=range:npt=1-2x", "a=range:smpte=1:2-"}) {
    const Decoded r = decode(kHead + bad + "\n");
    ASSERT_EQ(r.rc, kSdpOk) << bad;
    EXPECT_FALSE(r.first->range.valid) << bad;
    EXPECT_EQ(r.first->attributes.size(), 1u) << bad;
  }
}

TEST(SdpAttributes, DirectionFlagsPerLevel) {
  const Decoded d = decode(kHead + "a=recvonly\n" + kVideo + "a=sendrecv\na=sendonly:x\n");
  ASSERT_EQ(d.rc, kSdpOk);
  EXPECT_TRUE(d.first->direction.recvOnly);
  EXPECT_FALSE(d.first->direction.sendRecv);
  EXPECT_TRUE(d.media().direction.sendRecv);
  EXPECT_TRUE(d.media().direction.sendOnly);
}

// The reference files live beside this test source.
std::string dataDir() {
  const std::string file = __FILE__;
  return file.substr(0, file.find_last_of('/')) + "/data";
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Descriptions as servers send them, read from file and from memory, printed
// and compared with reviewed reference printouts.
TEST(SdpPrintouts, MatchReferences) {
  for (const char* name :
       {"darwin_aggregate", "live555_relative", "multicast_file", "absolute_control"}) {
    SCOPED_TRACE(name);
    const std::string base = dataDir() + "/" + name;
    auto input = makeSdpFileInput(base + ".sdp");
    ASSERT_NE(input, nullptr);
    std::unique_ptr<SdpSession> first;
    int count = 0;
    std::string error;
    ASSERT_EQ(decodeSdp(input.get(), first, count, &error), kSdpOk) << error;
    EXPECT_EQ(count, 1);
    const std::string reference = readFile(base + ".txt");
    EXPECT_EQ(printSdpSessions(first.get()), reference);
    EXPECT_EQ(input->file, nullptr);  // closed once read, and cannot be decoded twice
    EXPECT_EQ(decodeSdp(input.get(), first, count), kSdpErrorInput);
    const Decoded fromMemory = decode(readFile(base + ".sdp"));
    ASSERT_EQ(fromMemory.rc, kSdpOk) << fromMemory.error;
    EXPECT_EQ(printSdpSessions(fromMemory.first.get()), reference);
  }
}

}  // namespace
}  // namespace strevana
