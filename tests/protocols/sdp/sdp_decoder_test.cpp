// Session descriptions (RFC 4566, with the RFC 2326 C.1 attributes) decoded
// line by line; what was decoded is read back through the printer.
#include "protocols/sdp/sdp_decoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "protocols/sdp/sdp_input.h"
#include "protocols/sdp/sdp_printer.h"

namespace strevana {
namespace {

struct Decoded {
  int rc = 0;
  int count = 0;
  std::string error;
  std::unique_ptr<SdpSession> first;
};

Decoded decode(const std::string& text) {
  Decoded d;
  auto input = makeSdpMemoryInput(text);
  d.rc = decodeSdp(input.get(), d.first, d.count, &d.error);
  return d;
}

// What the printer shows of "v=0\n" + `lines`, below the version line and
// the origin line while it is empty.
std::string shown(const std::string& lines) {
  const Decoded d = decode("v=0\n" + lines);
  if (d.rc != kSdpOk) return "error " + std::to_string(d.rc) + ": " + d.error;
  std::string all = printSdpSessions(d.first.get());
  for (const std::string head : {"session 1\n  version: 0\n", "  origin: - 0 0 IN  \n"}) {
    if (all.rfind(head, 0) == 0) all.erase(0, head.size());
  }
  return all;
}

const std::string kM = "m=video 0 RTP/AVP 96 97\n";
const std::string kShownM = "  media 1: video port 0 protocol RTP/AVP formats 96 97\n";

TEST(SdpDecoder, LinesDecodedIntoTheirFields) {
  struct Case {
    std::string lines;
    std::string shown;
  };
  // clang-format off
  const Case cases[] = {
      {"o=alice 18446744073709551615 2 in IP4 host.example\n", "  origin: alice 18446744073709551615 2 IN IP4 host.example\n"},
      {"S=Name\n", "  name: Name\n"},  // upper-case letters after the first line
      {"s=a\ni=info\nu=http://u\ne=a@b\ne=c@d\np=+1 2\nm=audio 0 RTP/AVP 0\ni=media info\n",
       "  name: a\n  information: info\n  uri: http://u\n  email: a@b\n  email: c@d\n  phone: +1 2\n"
       "  media 1: audio port 0 protocol RTP/AVP formats 0\n    information: media info\n"},
      {"c=IN IP4 224.2.1.1/127/3\nm=video 0 RTP/AVP 96\nc=in IP4 10.0.0.1\n",
       "  connection: IN IP4 224.2.1.1 ttl 127 count 3\n  media 1: video port 0 protocol RTP/AVP formats 96\n"
       "    connection: IN IP4 10.0.0.1\n"},
      {"c=IN IP4 224.2.1.1/16\n", "  connection: IN IP4 224.2.1.1 ttl 16\n"},
      {"b=CT:1000\nb=x-rate :5\nm=video 0 RTP/AVP 96\nb=as: 64 \n",
       "  bandwidth: CT 1000\n  bandwidth: other x-rate 5\n  media 1: video port 0 protocol RTP/AVP formats 96\n"
       "    bandwidth: AS 64\n"},
      // NTP seconds to Unix seconds, in 32 bits: a small value wraps.
      {"t=0 0\nt=2873397496 2873404696\nt=3000000000 1\n", "  time: 0 0\n  time: 664408696 664415896\n  time: 791011200 2085978497\n"},
      // An r= before any t= is ignored.
      {"r=1d 1 0\nt=0 0\nr=7d 1h30m 0 25h 1d2h3m4s\n", "  time: 0 0\n    repeat: interval 604800 duration 5400 offsets 0 90000 93784\n"},
      {"t=0 0\nr=10 1 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 bad\n",
       "  time: 0 0\n    repeat: interval 10 duration 1 offsets 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15\n"},
      {"z=2882844526 -1h 2898848070 0\n", "  zone: 2882844526 -3600\n  zone: 2898848070 0\n"},
      {"k=Prompt\nm=audio 0 RTP/AVP 0\nk=base64 :c2VjcmV0\n",
       "  key: prompt\n  media 1: audio port 0 protocol RTP/AVP formats 0\n    key: base64 c2VjcmV0\n"},
      {"k=clear:abc\n", "  key: clear abc\n"}, {"k=URI:http://k\n", "  key: uri http://k\n"},
      {"m=video 5004/2 RTP/AVP zz 96 dyn\nm=audio 0 RTP/AVP 0\n",
       "  media 1: video port 5004/2 protocol RTP/AVP formats zz 96 dyn\n  media 2: audio port 0 protocol RTP/AVP formats 0\n"},
      {kM + "a=rtpmap:96 MP4V-ES\na=rtpmap: 97  mpeg4-generic/48000/2\n",
       kShownM + "    rtpmap 96: MP4V-ES clock 90000 parameter 0\n    rtpmap 97: mpeg4-generic clock 48000 parameter 2\n"},
      // Refused maps stay as text: no media yet, format not listed (98, 960),
      // clock rate not a number, a second map for 97.
      {"a=rtpmap:96 MP4V-ES/90000\n" + kM + "a=rtpmap:98 H263/90000\na=rtpmap:960 H263/90000\n"
       "a=rtpmap:96 MP4V-ES/fast\na=rtpmap:97 X/90000/2\na=rtpmap:97 Y/8000\n",
       "  attribute: rtpmap:96 MP4V-ES/90000\n" + kShownM + "    rtpmap 97: X clock 90000 parameter 2\n"
       "    attribute: rtpmap:98 H263/90000\n    attribute: rtpmap:960 H263/90000\n"
       "    attribute: rtpmap:96 MP4V-ES/fast\n    attribute: rtpmap:97 Y/8000\n"},
      {kM + "a=fmtp:96   profile-level-id=1;config=000001B0\na=fmtp:99 config=1\na=fmtp:97\n",
       kShownM + "    fmtp 96: profile-level-id=1;config=000001B0\n    fmtp 97: \n    attribute: fmtp:99 config=1\n"},
      // Names match only before a blank, a colon or the end.
      {"a=controls:x\na=control :  rtsp://h/s\na=rangeX:npt=0-1\na=recvonlyX\na=SENDONLY\na=control\n",
       "  control: rtsp://h/s\n  direction: sendonly\n  attribute: controls:x\n  attribute: rangeX:npt=0-1\n"
       "  attribute: recvonlyX\n  attribute: control\n"},
      {"a=control:*\na=control:again\n" + kM + "a=control:trackID=1\na=control:trackID=9\na=cliprect:0,0,240,320\n",
       "  control: *\n  attribute: control:again\n" + kShownM + "    control: trackID=1\n"
       "    attribute: control:trackID=9\n    attribute: cliprect:0,0,240,320\n"},
      {"a=keywds:  two words\na=tool: gen 1\na=charset:UTF-8\na=etag:abc\na=sdplang:en\na=lang:de\na=tool:other\n" +
       kM + "a=lang:fr\na=sdplang:it\n",
       "  keywds:   two words\n  tool: gen 1\n  charset: UTF-8\n  sdplang: en\n  lang: de\n  etag: abc\n"
       "  attribute: tool:other\n" + kShownM + "    sdplang: it\n    lang: fr\n"},
      {"a=type:Moderated-x\na=orient:portrait\n" + kM + "a=orient:SEASCAPE\n",
       "  type: 3\n  attribute: orient:portrait\n" + kShownM + "    orient: 3\n"},
      {"a=type:party\n" + kM + "a=orient:upside-down\na=orient:portrait\n",
       "  type: 6 party\n" + kShownM + "    orient: 4 upside-down\n    attribute: orient:portrait\n"},
      {"a=type:h332\n", "  type: 5\n"},
      {"a=ptime:20\n" + kM + "a=ptime: 20  \na=quality:7\na=framerate:29.97\n",
       "  attribute: ptime:20\n" + kShownM + "    ptime: 20\n    quality: 7\n    framerate: 29.970\n"},
      {kM + "a=ptime:20ms\na=framerate:fast\na=quality:-1\n",
       kShownM + "    attribute: ptime:20ms\n    attribute: framerate:fast\n    attribute: quality:-1\n"},
      {"a=cat:4.2\t7 0 9\na=cat:1\n", "  categories: 4 2 7\n  attribute: cat:1\n"},
      {"a=recvonly\n" + kM + "a=sendrecv\na=sendonly:x\n", "  direction: recvonly\n" + kShownM + "    direction: sendrecv sendonly\n"},
      // Ranges (RFC 2326 3.5, 3.6); a live range from "now" has start 0 and
      // no known end.
      {"a=range:npt=1:02:03.5-1:30\na=range:npt=0-9\n" + kM + "a=range: NPT = 2.25 -\n",
       "  range: npt 3723.500-90.000\n  attribute: range:npt=0-9\n" + kShownM + "    range: npt 2.250-\n"},
      {"a=range:smpte-25=0:00:10:05-0:01:00\n" + kM + "a=range:smpte=0:00:01:15-\n",
       "  range: smpte 25.000 10.200-60.000\n" + kShownM + "    range: smpte 30.000 1.500-\n"},
      {"a=range:smpte-30-drop=0:00:00-0:00:02\n", "  range: smpte 29.970 0.000-2.000\n"},
      {"a=range:npt=now-\n", "  range: npt now-\n"}, {"a=range:npt=NOW-30\n", "  range: npt now-\n"},
      {"a=range:npt = now - \n", "  range: npt now-\n"},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(shown(c.lines), c.shown) << c.lines;
  // Ranges that do not parse stay plain attributes.
  for (const std::string range : {"clock=19961108T142300Z-", "smpte=now-", "npt=nowx-", "npt=now",
                                  "npt 0-1", "npt=5", "npt=1-2x", "smpte=1:2-"})
    EXPECT_EQ(shown("a=range:" + range + "\n"), "  attribute: range:" + range + "\n");
}

// Each text fails the whole description with its line's code; a text not
// ending in a line break goes after "v=0".
TEST(SdpDecoder, BrokenLinesFailTheDescription) {
  // clang-format off
  const std::pair<int, std::vector<std::string>> cases[] = {
      {kSdpErrorVersion, {"o=- 1 1 IN IP4 127.0.0.1\nv=0\n", "v=1\n", "v=x\n"}},
      {kSdpErrorLineType, {"vx=0\n", "v=0\nq=1\n", "v=0\n1=1\n"}},
      {kSdpErrorOrigin, {"o=", "o=- x1 2 IN IP4 h", "o=- 1 2x IN IP4 h", "o=- 1 2 ON IP4 h", "o=- 1 2 IN",
                         "o=- 1 2 IN IP4"}},
      {kSdpErrorConnection, {"c=IP4 127.0.0.1", "c=IN", "c=IN IP4 224.2.1.1/", "c=IN IP4 224.2.1.1/x",
                             "c=IN IP4 224.2.1.1/16x", "c=IN IP4 224.2.1.1/16/", "c=IN IP4 224.2.1.1/16/2z"}},
      {kSdpErrorBandwidth, {"b=AS 64", "b=AS:", "b=AS:64k", "b=AS:99999999999"}},
      {kSdpErrorTime, {"t=x 0", "t=", "t=12x 0", "t=12 y", "t=12"}},
      {kSdpErrorRepeat, {"t=0 0\nr=0 1 0", "t=0 0\nr=10 1", "t=0 0\nr=10", "t=0 0\nr=10x 1 0",
                         "t=0 0\nr=10 1 0 5w", "t=0 0\nr=h 1 0", "t=0 0\nr=99999999999 1 0"}},
      {kSdpErrorZone, {"z=", "z=1", "z=1 -", "z=1 x", "z=-1 0"}},
      {kSdpErrorKey, {"k=clear abc", "k=secret:abc", "k=prompt:x"}},
      {kSdpErrorMedia, {"m=", "m=video x RTP/AVP 96", "m=video 70000 RTP/AVP 96", "m=video 5000/x RTP/AVP 96",
                        "m=video 5000/", "m=video 5000", "m=video 5000 RTP/AVP", "m=video 5000 RTP/AVP -1"}},
  };
  // clang-format on
  for (const auto& [rc, texts] : cases) {
    for (const std::string& text : texts) {
      const Decoded d = decode(text.back() == '\n' ? text : "v=0\n" + text + "\n");
      EXPECT_EQ(d.rc, rc) << text;
      EXPECT_FALSE(d.error.empty()) << text;
      EXPECT_EQ(d.first, nullptr) << text;
      EXPECT_EQ(d.count, 0) << text;
    }
  }
  EXPECT_EQ(decode("v=0\nm=video x RTP/AVP 96\n").error,
            "Illegal port number in media video x RTP/AVP 96");
}

TEST(SdpDecoder, SessionsLineEndsAndBounds) {
  // Blanks around the type, any line end, empty lines; a v= starts a session.
  const Decoded two = decode("  v = 0\r\n\r\n\r\ns=a\rv=0\n\n");
  EXPECT_EQ(std::tuple(two.rc, two.count, printSdpSessions(two.first.get())),
            std::tuple(kSdpOk, 2,
                       "session 1\n  version: 0\n  origin: - 0 0 IN  \n  name: a\n"
                       "session 2\n  version: 0\n  origin: - 0 0 IN  \n"));
  // A failure keeps the sessions before the one that failed.
  const Decoded failed = decode("v=0\ns=first\nv=0\ns=second\nc=IN\n");
  EXPECT_EQ(std::tuple(failed.rc, failed.count, printSdpSessions(failed.first.get())),
            std::tuple(kSdpErrorConnection, 1,
                       "session 1\n  version: 0\n  origin: - 0 0 IN  \n  name: first\n"));
  // Long lines are cut and the rest dropped; the text ends at a NUL.
  EXPECT_EQ(shown("s=" + std::string(3000, 'n') + "\ni=after\n"),
            "  name: " + std::string(kSdpMaxLineLength - 2, 'n') + "\n  information: after\n");
  EXPECT_EQ(shown(std::string("s=a\0\nq=bad\n", 11)), "  name: a\n");
  std::string many = "v=0\n";
  for (std::size_t i = 0; i < kSdpMaxLines; ++i) many += "a=x\n";
  const Decoded tooMany = decode(many);
  EXPECT_EQ(std::tuple(tooMany.rc, tooMany.first.get()), std::tuple(kSdpOutOfMemory, nullptr));
  // No input, or one of another version.
  std::unique_ptr<SdpSession> first;
  int count = 7;
  EXPECT_EQ(decodeSdp(nullptr, first, count), kSdpErrorInput);
  EXPECT_EQ(count, 0);
  auto input = makeSdpMemoryInput("v=0\n");
  input->version = 2;
  EXPECT_EQ(decodeSdp(input.get(), first, count), kSdpErrorInput);
  EXPECT_EQ(makeSdpFileInput("/nonexistent/dir/x.sdp"), nullptr);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Descriptions as servers send them, read from file and from memory, printed
// and compared with reviewed reference printouts (beside this source).
TEST(SdpDecoder, ServerDescriptionsMatchReferencePrintouts) {
  const std::string tests = STREVANA_TEST_DATA_DIR;  // the tests' folder and "/data"
  const std::string dir = tests.substr(0, tests.rfind('/')) + "/protocols/sdp/data/";
  for (const char* name :
       {"darwin_aggregate", "live555_relative", "multicast_file", "absolute_control"}) {
    SCOPED_TRACE(name);
    auto input = makeSdpFileInput(dir + name + ".sdp");
    ASSERT_NE(input, nullptr);
    std::unique_ptr<SdpSession> first;
    int count = 0;
    ASSERT_EQ(decodeSdp(input.get(), first, count), kSdpOk);
    EXPECT_EQ(count, 1);
    const std::string reference = readFile(dir + name + ".txt");
    EXPECT_EQ(printSdpSessions(first.get()), reference);
    EXPECT_EQ(input->file, nullptr);  // closed once read, and cannot be decoded twice
    EXPECT_EQ(decodeSdp(input.get(), first, count), kSdpErrorInput);
    EXPECT_EQ(printSdpSessions(decode(readFile(dir + name + ".sdp")).first.get()), reference);
  }
}

}  // namespace
}  // namespace strevana
