#pragma once
// Decodes RTSP replies from a byte source through a 2048-byte buffer.
//
// Lines are split at the terminator detected from the first line break of
// each reply (CR LF, bare CR, LF CR or bare LF). Bytes after a reply stay
// buffered for the next one, so pipelined replies are read in order.
// Used by the RtspClient on the thread of the current request; owned by the
// client; keeps a reference to its byte source, which must outlive it.
//
// Bounds on what a peer can make it hold (each refused with kRtspBadReply):
// a line must fit the buffer; the header section of one reply may carry at
// most kRtspMaxHeaderBytes bytes and kRtspMaxHeaderLines lines; Content-Length
// must be a plain decimal number of at most kRtspMaxBodyBytes, and a body read
// to the end of the connection may not exceed it either. Two Content-Length
// headers that disagree are refused.
//
// Media inside the connection (RFC 2326 10.12): a '$' where a reply or one of
// its header lines would begin starts a binary frame ('$', channel, 16-bit
// big-endian length, data). The frame is read whole, whatever its length and
// however it is spread over reads, and handed to the interleaved sink (or
// dropped without one); the reply goes on after it. Body bytes are never
// taken for frames. A frame is at most 65535 bytes by its length field.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocols/rtsp/interleaved_sink.h"
#include "protocols/rtsp/rtsp_byte_source.h"
#include "protocols/rtsp/rtsp_types.h"

namespace strevana {

inline constexpr std::size_t kRtspBufferSize = 2048;
inline constexpr std::size_t kRtspMaxHeaderBytes = 64 * 1024;
inline constexpr std::size_t kRtspMaxHeaderLines = 512;
inline constexpr std::size_t kRtspMaxBodyBytes = 1024 * 1024;

inline constexpr int kRtspReadFailed = -1;  // time-out, receive failure, connection ended early
inline constexpr int kRtspBadReply = -6;    // status line, line ends or limits

class RtspReplyReader {
 public:
  explicit RtspReplyReader(RtspByteSource& source) : source_(source) {}
  RtspReplyReader(const RtspReplyReader&) = delete;
  RtspReplyReader& operator=(const RtspReplyReader&) = delete;

  // Clears `reply` and decodes the next reply into it: 0, kRtspReadFailed
  // or kRtspBadReply. After a failure the buffered bytes are unreliable and
  // the caller drops the connection (and calls reset()).
  // A reply without Content-Length has no body (RFC 2326 12.14), also with
  // "Connection: close"; with bodyToEnd (a DESCRIBE, whose reply describes
  // something) one that names a Content-Type without a length takes
  // everything up to the end of the connection as its body.
  int readReply(RtspResponse& reply, bool bodyToEnd = false);

  // Takes the interleaved frames waiting where a message may begin, reading
  // the source once when nothing is buffered: the number of frames taken,
  // or kRtspReadFailed when the connection ended or failed. It stops before
  // bytes that begin an RTSP message (messagePending() is then true).
  int readInterleaved();
  bool messagePending() const { return offset_ < fill_ && buffer_[offset_] != '$'; }

  void setInterleavedSink(InterleavedSink* sink) { sink_ = sink; }

  // Forgets buffered bytes (the connection they came from is gone).
  void reset() {
    fill_ = 0;
    offset_ = 0;
  }
  bool hasBufferedBytes() const { return offset_ < fill_; }

 private:
  // The frame that begins at the read position ('$' seen there).
  int readInterleavedFrame();
  // Frames in front of the next header line.
  int skipInterleavedFrames();
  void skipLineBreaks();
  int detectTerminator();
  int readLine(std::string& line);
  int readMore();
  int readBody(RtspResponse& reply, std::size_t length);
  int readBodyToEnd(RtspResponse& reply);
  int handleHeader(RtspResponse& reply, const std::string& line);

  RtspByteSource& source_;
  char buffer_[kRtspBufferSize];
  std::size_t fill_ = 0;
  std::size_t offset_ = 0;
  std::string terminator_;
  bool lastWasRtpInfo_ = false;
  bool contentLengthSeen_ = false;
  InterleavedSink* sink_ = nullptr;
  std::vector<uint8_t> frame_;
};

}  // namespace strevana
