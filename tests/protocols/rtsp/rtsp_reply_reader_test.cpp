#include "protocols/rtsp/rtsp_reply_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include "support/memory_byte_source.h"

namespace strevana {
namespace {

using MemorySource = testing::MemoryByteSource;

std::string withTerminator(std::string text, const std::string& terminator) {
  for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos;
       at += terminator.size())
    text.replace(at, 2, terminator);
  return text;
}

int readOne(const std::string& text, RtspResponse& reply, std::size_t chunk = 4096) {
  MemorySource source(text, chunk);
  return RtspReplyReader(source).readReply(reply);
}

TEST(RtspReplyReader, EveryLineTerminatorAndChunkSize) {
  const std::string head =
      "RTSP/1.0 200 OK\r\nCSeq: 3\r\nContent-Base: rtsp://h/clip/\r\nContent-Type: "
      "application/sdp\r\n"
      "Content-Length: 10\r\nRTP-Info: url=a;seq=1\r\n ,url=b;seq=2\r\n\r\n";
  for (const std::string terminator : {"\r\n", "\n", "\r", "\n\r"}) {
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
      SCOPED_TRACE(::testing::Message()
                   << "terminator " << terminator.size() << " chunk " << chunk);
      // The body keeps its own bytes: only the head uses the terminator.
      RtspResponse r;
      ASSERT_EQ(readOne(withTerminator(head, terminator) + "v=0\r\ns=x\r\n", r, chunk), 0);
      EXPECT_EQ(
          std::tuple(std::string(r.statusCode), r.reasonPhrase, r.sequenceNumber, r.contentLength),
          std::tuple("200", "OK", 3u, 10u));
      EXPECT_EQ(std::tuple(r.contentBase, r.contentType, r.body),
                std::tuple("rtsp://h/clip/", "application/sdp", "v=0\r\ns=x\r\n"));
      EXPECT_EQ(r.rtpInfo, "url=a;seq=1,url=b;seq=2");  // continuation joined
    }
  }
}

TEST(RtspReplyReader, HeaderHandlers) {
  RtspResponse reply;
  ASSERT_EQ(
      readOne("RTSP/1.0 200 OK\r\ncseq:7\r\nPublic: DESCRIBE\r\nAllow: PLAY, TEARDOWN\r\n"
              "Session: first\r\nSESSION: second\r\nSet-Cookie: a=1\r\n"
              "RTP-Info: url=rtsp://h/t1;seq=1\r\n  ,url=rtsp://h/t2;seq=2\r\n"
              "RTP-Info: url=rtsp://h/t3;seq=3\r\nX-Unknown: ignored\r\n,not a continuation\r\n"
              "Transport:   RTP/AVP;unicast;server_port=5000-5001\r\nConnection: Close\r\n"
              "Content-Length: 0\r\n\r\n",
              reply),
      0);
  // A length of 0 wins over the close flag: no body.
  EXPECT_EQ(std::tuple(reply.sequenceNumber, reply.hasSequenceNumber, reply.allowPublic,
                       reply.session, reply.cookie, reply.connectionClose, reply.body),
            std::tuple(7u, true, "PLAY, TEARDOWN", "first", "a=1", true, std::nullopt));
  EXPECT_EQ(std::tuple(reply.rtpInfo, reply.transport),
            std::tuple("url=rtsp://h/t1;seq=1,url=rtsp://h/t2;seq=2,url=rtsp://h/t3;seq=3",
                       "RTP/AVP;unicast;server_port=5000-5001"));
  ASSERT_EQ(readOne("RTSP/1.0 404 No\r\n\r\n", reply), 0);
  EXPECT_FALSE(reply.hasSequenceNumber);
}

// ---- media inside the connection (RFC 2326 10.12) ---------------------------

// "$", channel, 16-bit length, data.
std::string frame(uint8_t channel, const std::string& data) {
  const auto size = data.size();
  return std::string{'$', char(channel), char(size >> 8), char(size & 0xff)} + data;
}

struct FrameRecorder final : InterleavedSink {
  void onInterleavedFrame(uint8_t channel, const uint8_t* data, std::size_t size) override {
    frames.emplace_back(channel, std::string(reinterpret_cast<const char*>(data), size));
  }
  std::vector<std::pair<uint8_t, std::string>> frames;
};

// RFC 2326 12.14: without a Content-Length there is no body, even when the
// server closes; only a reply the caller expects a description in
// (DESCRIBE) that names a Content-Type is read to the end of the connection.
TEST(RtspReplyReader, BodiesAndRefusedReplies) {
  const std::string head = "RTSP/1.0 200 OK\r\nCSeq: 1\r\n";
  const std::string close = head + "Connection: close\r\n\r\n";
  const std::string sdp = head + "Content-Type: application/sdp\r\n\r\n";
  const std::string closing = head + "Connection: close\r\nContent-Type: application/sdp\r\n\r\n";
  const std::string largest(kRtspMaxBodyBytes, 'x');
  std::string manyLines = "RTSP/1.0 200 OK\r\n";
  for (std::size_t i = 0; i <= kRtspMaxHeaderLines; ++i) manyLines += "RTP-Info: url=x\r\n";
  struct Case {
    std::string text;
    int rc;
    bool bodyToEnd = false;
    std::optional<std::string> body = std::nullopt;  // checked when read
    bool timeOutAtEnd = false;
  };
  // clang-format off
  const Case cases[] = {
      {close + "a\nb", 0}, {close + "a\nb", 0, true}, {closing + "a\nb", 0},
      {closing + "a\nb", 0, true, "a\nb"}, {sdp + "a\nb", 0, true, "a\nb"},
      {closing + largest, 0, true, largest},  // the largest body still read
      {closing + largest + "x", kRtspBadReply, true},
      {closing + "partial", kRtspReadFailed, true, {}, true},  // a stalled body is not a whole one
      {head + "Content-Length: " + std::to_string(kRtspMaxBodyBytes) + "\r\n\r\n" + largest, 0, false, largest},
      {"HTTP/1.0 200 OK\r\n\r\n", kRtspBadReply},
      {"RTSP/1.0 600 Odd\r\n\r\n", kRtspBadReply},
      {"RTSP/1.0 2\r\n\r\n", kRtspBadReply},
      {"RTSP/1.0   \r\n\r\n", kRtspBadReply},
      {"RTSP/1.0 200 OK without end", kRtspBadReply},
      {"RTSP/1.0 200 OK\r\nServer: " + std::string(3000, 'x') + "\r\n\r\n", kRtspBadReply},
      {manyLines + "\r\n", kRtspBadReply},
      {head, kRtspReadFailed},  // ends inside the head
      {head + "Content-Length: 1048577\r\n\r\n", kRtspBadReply},
      {head + "Content-Length: 99999999999999999999\r\n\r\n", kRtspBadReply},
      {head + "Content-Length: -5\r\n\r\n", kRtspBadReply},
      {head + "Content-Length: 12abc\r\n\r\n", kRtspBadReply},
      {head + "Content-Length: \r\n\r\n", kRtspBadReply},
      {head + "Content-Length: 0x10\r\n\r\n", kRtspBadReply},
      {head + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", kRtspBadReply},
      {head + "Content-Length: 10\r\n\r\nabc", kRtspReadFailed},
      // Interleaved frames cut short are not handed out.
      {frame(0, "abcdef").substr(0, 7), kRtspReadFailed}, {"$\x01\xff", kRtspReadFailed},
      {head + frame(1, std::string(4000, 'z')).substr(0, 3000), kRtspReadFailed},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text.substr(0, 80)));  // escaped
    MemorySource source(c.text, 65536, c.timeOutAtEnd);
    RtspReplyReader reader(source);
    FrameRecorder sink;
    reader.setInterleavedSink(&sink);
    RtspResponse reply;
    EXPECT_EQ(reader.readReply(reply, c.bodyToEnd), c.rc);
    EXPECT_TRUE(c.rc != 0 || reply.body == c.body);
    EXPECT_TRUE(sink.frames.empty());
  }
}

// Each stream is read reply by reply, at every chunk size, and must give
// exactly the frames and replies listed, with the reader in step afterwards
// (the last reply is followed by nothing, so the next read fails).
TEST(RtspReplyReaderInterleaved, FramesAroundAndInsideRepliesAreTakenWholeAndRepliesKept) {
  const std::string big(3000, 'b');  // longer than the 2048-byte buffer
  // Text that would be a reply if it were not a frame's data.
  const std::string disguised = "RTSP/1.0 500 Bad\r\nCSeq: 9\r\n\r\n";
  struct Case {
    const char* name;
    std::string stream;
    std::vector<std::pair<uint8_t, std::string>> frames;
    std::vector<uint32_t> cseqs;  // of the replies read, in order
    std::string session;          // of the last reply
  };
  // clang-format off
  const Case cases[] = {
      {"data before a reply", frame(0, "HELLO") + frame(1, "") + "RTSP/1.0 200 OK\r\nCSeq: 1\r\n\r\n",
       {{0, "HELLO"}, {1, ""}}, {1}, ""},
      {"reply split around data",
       "RTSP/1.0 200 OK\r\nCSeq: 2\r\n" + frame(0, "abc") + frame(1, "de") + "Session: 7\r\n\r\n",
       {{0, "abc"}, {1, "de"}}, {2}, "7"},
      {"length past the buffer", frame(2, big) + "RTSP/1.0 200 OK\r\nCSeq: 3\r\n" + frame(3, big) + "\r\n",
       {{2, big}, {3, big}}, {3}, ""},
      {"unknown channel carrying reply text", frame(200, disguised) + "RTSP/1.0 200 OK\r\nCSeq: 4\r\n\r\n",
       {{200, disguised}}, {4}, ""},
      {"dollar in a body is body", "RTSP/1.0 200 OK\r\nCSeq: 5\r\nContent-Length: 5\r\n\r\n" + frame(0, "x") +
       "\r\n" + frame(1, "y") + "RTSP/1.0 200 OK\r\nCSeq: 6\r\nSession: 8\r\n\r\n",
       {{1, "y"}}, {5, 6}, "8"},
      {"pipelined, fields cleared between", std::string("RTSP/1.0 100 Continue\r\nCSeq: 1\r\nSession: 5\r\n\r\n") +
       "rtsp/1.0 404 Not Found\r\nCSeq: 4\r\n\r\n", {}, {1, 4}, ""},
      {"no length, Connection: close: the next bytes are the next reply",
       "RTSP/1.0 200 OK\r\nCSeq: 1\r\nConnection: close\r\n\r\nRTSP/1.0 404 No\r\nCSeq: 2\r\n\r\n", {}, {1, 2}, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{5}, std::size_t{4096}}) {
      SCOPED_TRACE(::testing::Message() << c.name << ", chunk " << chunk);
      MemorySource source(c.stream, chunk);
      RtspReplyReader reader(source);
      FrameRecorder sink;
      reader.setInterleavedSink(&sink);
      RtspResponse reply;
      for (const uint32_t cseq : c.cseqs) {
        ASSERT_EQ(reader.readReply(reply), 0);
        EXPECT_EQ(reply.sequenceNumber, cseq);
      }
      EXPECT_EQ(reply.session.value_or(""), c.session);
      EXPECT_EQ(sink.frames, c.frames);
      EXPECT_EQ(reader.readReply(reply), kRtspReadFailed);
    }
  }
}

// Between requests the reader takes the frames that are there and stops in
// front of a message, which a later readReply gets whole.
TEST(RtspReplyReaderInterleaved, DrainingStopsAtAMessage) {
  MemorySource source(
      frame(0, "a") + "\r\n" + frame(1, "b") + "RTSP/1.0 200 OK\r\nCSeq: 7\r\n\r\n" + frame(0, "c"),
      4096);
  RtspReplyReader reader(source);
  FrameRecorder sink;
  reader.setInterleavedSink(&sink);
  EXPECT_EQ(reader.readInterleaved(), 2);
  EXPECT_TRUE(reader.messagePending());
  EXPECT_EQ(reader.readInterleaved(), 0);
  RtspResponse reply;
  ASSERT_EQ(reader.readReply(reply), 0);
  EXPECT_EQ(reply.sequenceNumber, 7u);
  EXPECT_EQ(reader.readInterleaved(), 1);
  EXPECT_FALSE(reader.messagePending());
  EXPECT_EQ(reader.readInterleaved(), kRtspReadFailed);  // the connection ended
  const std::vector<std::pair<uint8_t, std::string>> expected = {{0, "a"}, {1, "b"}, {0, "c"}};
  EXPECT_EQ(sink.frames, expected);
}

}  // namespace
}  // namespace strevana
