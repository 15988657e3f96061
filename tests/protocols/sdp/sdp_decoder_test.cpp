#include "protocols/sdp/sdp_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "protocols/sdp/sdp_input.h"
#include "sdp_test_support.h"

namespace strevana {
namespace {

using namespace sdp_test;

void expectFailure(const std::string& text, int code, const std::string& error) {
  SCOPED_TRACE(text);
  const Decoded d = decode(text);
  EXPECT_EQ(d.rc, code);
  EXPECT_EQ(d.error, error);
  EXPECT_EQ(d.first, nullptr);
  EXPECT_EQ(d.count, 0);
}

TEST(SdpDecoderLines, VersionRules) {
  expectFailure("o=- 1 1 IN IP4 1.2.3.4\nv=0\n", kSdpErrorVersion, "Version not 1st statement");
  expectFailure("v=1\n", kSdpErrorVersion, "SDP Version not correct, 1");
  expectFailure("v=x\n", kSdpErrorVersion, "SDP Version not correct, x");
  expectFailure("vx=0\n", kSdpErrorLineType, "More than 1 character code - vx=0");
  expectFailure(kHead + "q=1\n", kSdpErrorLineType, "unknown code - q=1");
  expectFailure(kHead + "1=1\n", kSdpErrorLineType, "unknown code - 1=1");

  const Decoded two = decode("  v = 0\r\n\r\n\r\ns=a\rv=0\n\n");
  ASSERT_EQ(two.rc, kSdpOk) << two.error;
  EXPECT_EQ(two.count, 2);
  ASSERT_NE(two.first, nullptr);
  ASSERT_NE(two.first->next, nullptr);
  EXPECT_EQ(two.first->name, "a");
  EXPECT_EQ(two.first->next->next, nullptr);

  // Upper-case type letters are accepted after the first line.
  const Decoded upper = decode("v=0\nS=Name\n");
  ASSERT_EQ(upper.rc, kSdpOk);
  EXPECT_EQ(upper.first->name, "Name");
}

TEST(SdpDecoderLines, NoInput) {
  std::unique_ptr<SdpSession> first;
  int count = 7;
  std::string error;
  EXPECT_EQ(decodeSdp(nullptr, first, count, &error), kSdpErrorInput);
  EXPECT_EQ(count, 0);
  auto input = makeSdpMemoryInput("v=0\n");
  input->version = 2;
  EXPECT_EQ(decodeSdp(input.get(), first, count), kSdpErrorInput);
  EXPECT_EQ(makeSdpFileInput("/nonexistent/dir/x.sdp"), nullptr);
}

TEST(SdpDecoderLines, FailureKeepsEarlierSessions) {
  const Decoded d = decode("v=0\ns=first\nv=0\ns=second\nc=IN\n");
  EXPECT_EQ(d.rc, kSdpErrorConnection);
  EXPECT_EQ(d.count, 1);
  ASSERT_NE(d.first, nullptr);
  EXPECT_EQ(d.first->name, "first");
  EXPECT_EQ(d.first->next, nullptr);
}

TEST(SdpDecoderLines, Origin) {
  const Decoded d = decode("v=0\no=alice 18446744073709551615 2 in IP4 host.example\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->originUser, "alice");
  EXPECT_EQ(d.first->sessionId, UINT64_MAX);
  EXPECT_EQ(d.first->sessionVersion, 2u);
  EXPECT_EQ(d.first->originAddressType, "IP4");
  EXPECT_EQ(d.first->originAddress, "host.example");
  EXPECT_FALSE(decode("v=0\no=- 1 2 IN IP4 h\n").first->originUser.has_value());

  expectFailure("v=0\no=\n", kSdpErrorOrigin, "o=: no username");
  expectFailure("v=0\no=- x1 2 IN IP4 h\n", kSdpErrorOrigin, "Non-numeric session id");
  expectFailure("v=0\no=- 1 2x IN IP4 h\n", kSdpErrorOrigin, "Non-numeric session version");
  expectFailure("v=0\no=- 1 2 ON IP4 h\n", kSdpErrorOrigin, "o=: no IN statement");
  expectFailure("v=0\no=- 1 2 IN\n", kSdpErrorOrigin, "o=: No creation address type");
  expectFailure("v=0\no=- 1 2 IN IP4\n", kSdpErrorOrigin, "o=: No creation address");
}

TEST(SdpDecoderLines, TextLinesGoToMediaOrSession) {
  const Decoded d = decode(kHead +
                           "i=session info\nu=http://u\ne=a@b\ne=c@d\np=+1 2\n"
                           "m=audio 0 RTP/AVP 0\ni=media info\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->information, "session info");
  EXPECT_EQ(d.first->uri, "http://u");
  EXPECT_EQ(d.first->emails, (std::vector<std::string>{"a@b", "c@d"}));
  EXPECT_EQ(d.first->phones, (std::vector<std::string>{"+1 2"}));
  EXPECT_EQ(d.first->media->information, "media info");
}

TEST(SdpDecoderLines, Connection) {
  const Decoded d =
      decode(kHead + "c=IN IP4 224.2.1.1/127/3\nm=video 0 RTP/AVP 96\nc=in IP4 10.0.0.1\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  const SdpConnection& c = d.first->connection;
  EXPECT_TRUE(c.used);
  EXPECT_EQ(c.networkType, "IP4");
  EXPECT_EQ(c.address, "224.2.1.1");
  EXPECT_EQ(c.ttl, 127u);
  EXPECT_EQ(c.addressCount, 3u);
  EXPECT_EQ(d.first->media->connection.address, "10.0.0.1");
  EXPECT_EQ(d.first->media->connection.ttl, 0u);

  const Decoded ttlOnly = decode(kHead + "c=IN IP4 224.2.1.1/16\n");
  ASSERT_EQ(ttlOnly.rc, kSdpOk);
  EXPECT_EQ(ttlOnly.first->connection.ttl, 16u);
  EXPECT_EQ(ttlOnly.first->connection.addressCount, 0u);

  expectFailure("v=0\nc=IP4 1.2.3.4\n", kSdpErrorConnection, "IN statement missing from c");
  expectFailure("v=0\nc=IN\n", kSdpErrorConnection, "No connection type in c=");
  expectFailure("v=0\nc=IN IP4 224.2.1.1/\n", kSdpErrorConnection, "No multicast TTL in c=");
  expectFailure("v=0\nc=IN IP4 224.2.1.1/x\n", kSdpErrorConnection, "No multicast TTL in c=");
  expectFailure("v=0\nc=IN IP4 224.2.1.1/16x\n", kSdpErrorConnection,
                "c=: garbage after multicast ttl x");
  expectFailure("v=0\nc=IN IP4 224.2.1.1/16/\n", kSdpErrorConnection,
                "c=: garbage after multicast ttl /");
  expectFailure("v=0\nc=IN IP4 224.2.1.1/16/2z\n", kSdpErrorConnection,
                "c=: garbage after multicast ttl /2z");
}

TEST(SdpDecoderLines, Bandwidth) {
  const Decoded d = decode(kHead + "b=CT:1000\nb=x-rate :5\nm=video 0 RTP/AVP 96\nb=as: 64 \n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  ASSERT_EQ(d.first->bandwidths.size(), 2u);
  EXPECT_EQ(d.first->bandwidths[0].kind, SdpBandwidthKind::kConferenceTotal);
  EXPECT_EQ(d.first->bandwidths[0].value, 1000u);
  EXPECT_EQ(d.first->bandwidths[1].kind, SdpBandwidthKind::kOther);
  EXPECT_EQ(d.first->bandwidths[1].name, "x-rate");
  ASSERT_EQ(d.first->media->bandwidths.size(), 1u);
  EXPECT_EQ(d.first->media->bandwidths[0].kind, SdpBandwidthKind::kApplicationSpecific);
  EXPECT_EQ(d.first->media->bandwidths[0].value, 64u);

  expectFailure("v=0\nb=AS 64\n", kSdpErrorBandwidth, "No colon in bandwidth");
  expectFailure("v=0\nb=AS:\n", kSdpErrorBandwidth, "No bandwidth in bandwidth");
  expectFailure("v=0\nb=AS:64k\n", kSdpErrorBandwidth, "Error in decoding bandwidth value 64k");
  expectFailure("v=0\nb=AS:99999999999\n", kSdpErrorBandwidth,
                "Error in decoding bandwidth value 99999999999");
}

TEST(SdpDecoderLines, TimeConversion) {
  const Decoded d = decode("v=0\nt=0 0\nt=2873397496 2873404696\nt=3000000000 1\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  ASSERT_EQ(d.first->times.size(), 3u);
  EXPECT_EQ(d.first->times[0].start, 0u);
  EXPECT_EQ(d.first->times[0].stop, 0u);
  EXPECT_EQ(d.first->times[1].start, 2873397496u - 2208988800u);
  EXPECT_EQ(d.first->times[1].stop, 2873404696u - 2208988800u);
  // 32-bit arithmetic: a small non-zero value wraps instead of going negative.
  EXPECT_EQ(d.first->times[2].stop, 1u + 2085978496u);

  expectFailure("v=0\nt=x 0\n", kSdpErrorTime, "t= statement has illegal first character x");
  expectFailure("v=0\nt=\n", kSdpErrorTime, "t= statement has illegal first character ");
  expectFailure("v=0\nt=12x 0\n", kSdpErrorTime,
                "t= statement has illegal character after 1st number x");
  expectFailure("v=0\nt=12 y\n", kSdpErrorTime,
                "t= statement has illegal character after 1st number y");
  expectFailure("v=0\nt=12\n", kSdpErrorTime,
                "t= statement has illegal character after 1st number ");
}

TEST(SdpDecoderLines, RepeatUnits) {
  const Decoded d = decode("v=0\nr=1d 1 0\nt=0 0\nr=7d 1h30m 0 25h 1d2h3m4s\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;  // the r= before any t= is ignored
  ASSERT_EQ(d.first->times.size(), 1u);
  ASSERT_EQ(d.first->times[0].repeats.size(), 1u);
  const SdpRepeat& r = d.first->times[0].repeats[0];
  EXPECT_EQ(r.interval, 604800u);
  EXPECT_EQ(r.activeDuration, 5400u);
  EXPECT_EQ(r.offsets, (std::vector<uint32_t>{0, 90000, 93784}));

  std::string many = "v=0\nt=0 0\nr=10 1";
  for (int i = 0; i < 20; ++i) many += " " + std::to_string(i);
  const Decoded capped = decode(many + " bad\n");
  ASSERT_EQ(capped.rc, kSdpOk) << capped.error;
  EXPECT_EQ(capped.first->times[0].repeats[0].offsets.size(), 16u);

  for (const char* bad :
       {"r=0 1 0", "r=10 1", "r=10", "r=10x 1 0", "r=10 1 0 5w", "r=h 1 0", "r=99999999999 1 0"}) {
    const Decoded f = decode(std::string("v=0\nt=0 0\n") + bad + "\n");
    EXPECT_EQ(f.rc, kSdpErrorRepeat) << bad;
  }
}

TEST(SdpDecoderLines, ZoneAdjustments) {
  const Decoded d = decode("v=0\nz=2882844526 -1h 2898848070 0\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  ASSERT_EQ(d.first->zoneAdjustments.size(), 2u);
  EXPECT_EQ(d.first->zoneAdjustments[0].time, 2882844526u);
  EXPECT_EQ(d.first->zoneAdjustments[0].offset, -3600);
  EXPECT_EQ(d.first->zoneAdjustments[1].offset, 0);
  for (const char* bad : {"z=", "z=1", "z=1 -", "z=1 x", "z=-1 0"}) {
    EXPECT_EQ(decode(std::string("v=0\n") + bad + "\n").rc, kSdpErrorZone) << bad;
  }
}

TEST(SdpDecoderLines, Keys) {
  const Decoded d = decode("v=0\nk=Prompt\nm=audio 0 RTP/AVP 0\nk=base64 :c2VjcmV0\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  ASSERT_TRUE(d.first->key.has_value());
  EXPECT_EQ(d.first->key->method, SdpKeyMethod::kPrompt);
  ASSERT_TRUE(d.first->media->key.has_value());
  EXPECT_EQ(d.first->media->key->method, SdpKeyMethod::kBase64);
  EXPECT_EQ(d.first->media->key->key, "c2VjcmV0");
  EXPECT_EQ(decode("v=0\nk=clear:abc\n").first->key->method, SdpKeyMethod::kClear);
  EXPECT_EQ(decode("v=0\nk=URI:http://k\n").first->key->key, "http://k");

  expectFailure("v=0\nk=clear abc\n", kSdpErrorKey, "key statement keyword error clear abc");
  expectFailure("v=0\nk=secret:abc\n", kSdpErrorKey, "key statement keyword error secret:abc");
  expectFailure("v=0\nk=prompt:x\n", kSdpErrorKey, "key statement keyword error prompt:x");
}

TEST(SdpDecoderLines, Media) {
  const Decoded d = decode(kHead + "m=video 5004/2 RTP/AVP zz 96 dyn\nm=audio 0 RTP/AVP 0\n");
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  const SdpMedia* video = d.first->media.get();
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->session, d.first.get());
  EXPECT_EQ(video->mediaType, "video");
  EXPECT_EQ(video->port, 5004);
  EXPECT_EQ(video->portCount, 2);
  EXPECT_EQ(video->protocol, "RTP/AVP");
  std::vector<std::string> formats;
  for (const SdpFormat* f = video->formats.get(); f != nullptr; f = f->next.get())
    formats.push_back(f->format);
  EXPECT_EQ(formats, (std::vector<std::string>{"zz", "96", "dyn"}));
  ASSERT_NE(video->next, nullptr);
  EXPECT_EQ(video->next->mediaType, "audio");
  EXPECT_EQ(video->next->portCount, 0);

  expectFailure("v=0\nm=\n", kSdpErrorMedia, "No media type");
  expectFailure("v=0\nm=video x RTP/AVP 96\n", kSdpErrorMedia,
                "Illegal port number in media video x RTP/AVP 96");
  expectFailure("v=0\nm=video 70000 RTP/AVP 96\n", kSdpErrorMedia,
                "Illegal port number in media video 70000 RTP/AVP 96");
  expectFailure("v=0\nm=video 5000/x RTP/AVP 96\n", kSdpErrorMedia,
                "Illegal port number in media video 5000/x RTP/AVP 96");
  expectFailure("v=0\nm=video 5000/\n", kSdpErrorMedia, "Missing keywords in media");
  expectFailure("v=0\nm=video 5000\n", kSdpErrorMedia, "No transport in media");
  expectFailure("v=0\nm=video 5000 RTP/AVP\n", kSdpErrorMedia,
                "No format in media video 5000 RTP/AVP");
  expectFailure("v=0\nm=video 5000 RTP/AVP -1\n", kSdpErrorMedia,
                "No format in media video 5000 RTP/AVP -1");
}

TEST(SdpDecoderLines, LongLinesAreCutAndTheRestDropped) {
  std::string text = "v=0\ns=" + std::string(3000, 'n') + "\ni=after\n";
  const Decoded d = decode(text);
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->name->size(), kSdpMaxLineLength - 2);
  EXPECT_EQ(d.first->information, "after");
}

TEST(SdpDecoderLines, LineCountIsBounded) {
  std::string text = "v=0\n";
  for (std::size_t i = 0; i < kSdpMaxLines; ++i) text += "a=x\n";
  const Decoded d = decode(text);
  EXPECT_EQ(d.rc, kSdpOutOfMemory);
  EXPECT_EQ(d.error, "Description too large");
  EXPECT_EQ(d.first, nullptr);
}

TEST(SdpDecoderLines, TextEndsAtNul) {
  const Decoded d = decode(std::string("v=0\ns=a\0\nq=bad\n", 15));
  ASSERT_EQ(d.rc, kSdpOk) << d.error;
  EXPECT_EQ(d.first->name, "a");
}

}  // namespace
}  // namespace strevana
