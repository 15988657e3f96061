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
#include <cstddef>
#include <string>

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

  // Forgets buffered bytes (the connection they came from is gone).
  void reset() {
    fill_ = 0;
    offset_ = 0;
  }
  bool hasBufferedBytes() const { return offset_ < fill_; }

 private:
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
};

}  // namespace strevana
