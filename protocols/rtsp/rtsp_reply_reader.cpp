#include "protocols/rtsp/rtsp_reply_reader.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace strevana {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
char toLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (toLower(s[i]) != toLower(prefix[i])) return false;
  }
  return true;
}

std::string_view skipBlanks(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  return s.substr(i);
}

enum class HeaderKind {
  kText,
  kAllowPublic,
  kConnection,
  kContentLength,
  kCSeq,
  kRtpInfo,
  kSetCookie,
  kChallenge
};

struct HeaderEntry {
  const char* name;  // with its colon
  HeaderKind kind;
  std::optional<std::string> RtspResponse::*field;
};

// Matched in this order; every name ends in its colon, so no name is a
// prefix of another.
const HeaderEntry kHeaders[] = {
    {"Allow:", HeaderKind::kAllowPublic, &RtspResponse::allowPublic},
    {"Public:", HeaderKind::kAllowPublic, &RtspResponse::allowPublic},
    {"Connection:", HeaderKind::kConnection, nullptr},
    {"Content-Base:", HeaderKind::kText, &RtspResponse::contentBase},
    {"Content-Length:", HeaderKind::kContentLength, nullptr},
    {"Content-Location:", HeaderKind::kText, &RtspResponse::contentLocation},
    {"Content-Type:", HeaderKind::kText, &RtspResponse::contentType},
    {"CSeq:", HeaderKind::kCSeq, nullptr},
    {"Location:", HeaderKind::kText, &RtspResponse::location},
    {"Range:", HeaderKind::kText, &RtspResponse::range},
    {"Retry-After:", HeaderKind::kText, &RtspResponse::retryAfter},
    {"RTP-Info:", HeaderKind::kRtpInfo, &RtspResponse::rtpInfo},
    {"Session:", HeaderKind::kText, &RtspResponse::session},
    {"Set-Cookie:", HeaderKind::kSetCookie, &RtspResponse::cookie},
    {"Speed:", HeaderKind::kText, &RtspResponse::speed},
    {"Transport:", HeaderKind::kText, &RtspResponse::transport},
    {"WWW-Authenticate:", HeaderKind::kChallenge, &RtspResponse::wwwAuthenticate},
    {"Accept:", HeaderKind::kText, &RtspResponse::accept},
    {"Accept-Encoding:", HeaderKind::kText, &RtspResponse::acceptEncoding},
    {"Accept-Language:", HeaderKind::kText, &RtspResponse::acceptLanguage},
    {"Authorization:", HeaderKind::kText, &RtspResponse::authorization},
    {"Bandwidth:", HeaderKind::kText, &RtspResponse::bandwidth},
    {"Blocksize:", HeaderKind::kText, &RtspResponse::blocksize},
    {"Cache-Control:", HeaderKind::kText, &RtspResponse::cacheControl},
    {"Content-Encoding:", HeaderKind::kText, &RtspResponse::contentEncoding},
    {"Content-Language:", HeaderKind::kText, &RtspResponse::contentLanguage},
    {"Date:", HeaderKind::kText, &RtspResponse::date},
    {"Expires:", HeaderKind::kText, &RtspResponse::expires},
    {"From:", HeaderKind::kText, &RtspResponse::from},
    {"If-Modified-Since:", HeaderKind::kText, &RtspResponse::ifModifiedSince},
    {"Last-Modified:", HeaderKind::kText, &RtspResponse::lastModified},
    {"Proxy-Authenticate:", HeaderKind::kText, &RtspResponse::proxyAuthenticate},
    {"Proxy-Require:", HeaderKind::kText, &RtspResponse::proxyRequire},
    {"Referer:", HeaderKind::kText, &RtspResponse::referer},
    {"Scale:", HeaderKind::kText, &RtspResponse::scale},
    {"Server:", HeaderKind::kText, &RtspResponse::server},
    {"Unsupported:", HeaderKind::kText, &RtspResponse::unsupported},
    {"User-Agent:", HeaderKind::kText, &RtspResponse::userAgent},
    {"Via:", HeaderKind::kText, &RtspResponse::via},
};

// Plain decimal digits with optional trailing blanks, at most maxValue.
bool parseNumber(std::string_view s, uint64_t maxValue, uint64_t& value) {
  std::size_t i = 0;
  uint64_t v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    const uint64_t digit = static_cast<uint64_t>(s[i] - '0');
    if (v > (maxValue - digit) / 10) return false;
    v = v * 10 + digit;
    ++i;
  }
  if (i == 0) return false;
  for (; i < s.size(); ++i) {
    if (!isBlank(s[i])) return false;
  }
  value = v;
  return true;
}

}  // namespace

int RtspReplyReader::readMore() {
  if (offset_ > 0) {
    std::memmove(buffer_, buffer_ + offset_, fill_ - offset_);
    fill_ -= offset_;
    offset_ = 0;
  }
  if (fill_ == kRtspBufferSize) return kRtspBadReply;  // a line longer than the buffer
  const long got = source_.receive(buffer_ + fill_, kRtspBufferSize - fill_);
  if (got < 0 || static_cast<std::size_t>(got) > kRtspBufferSize - fill_) return kRtspReadFailed;
  fill_ += static_cast<std::size_t>(got);
  return got > 0 ? 1 : 0;
}

void RtspReplyReader::skipLineBreaks() {
  while (offset_ < fill_ && (buffer_[offset_] == '\r' || buffer_[offset_] == '\n')) ++offset_;
}

int RtspReplyReader::readInterleavedFrame() {
  while (fill_ - offset_ < 4) {
    const int more = readMore();
    if (more < 0) return more;
    if (more == 0) return kRtspReadFailed;
  }
  const auto* header = reinterpret_cast<const uint8_t*>(buffer_ + offset_);
  const uint8_t channel = header[1];
  const std::size_t length = (std::size_t{header[2]} << 8) | header[3];
  offset_ += 4;
  frame_.clear();
  frame_.reserve(length);
  while (frame_.size() < length) {
    if (offset_ < fill_) {
      const std::size_t take = std::min(length - frame_.size(), fill_ - offset_);
      const auto* from = reinterpret_cast<const uint8_t*>(buffer_ + offset_);
      frame_.insert(frame_.end(), from, from + take);
      offset_ += take;
      continue;
    }
    offset_ = 0;
    fill_ = 0;
    const int more = readMore();
    if (more < 0) return more;
    if (more == 0) return kRtspReadFailed;
  }
  if (sink_) sink_->onInterleavedFrame(channel, frame_.data(), frame_.size());
  return 0;
}

int RtspReplyReader::skipInterleavedFrames() {
  for (;;) {
    if (offset_ == fill_) {
      const int more = readMore();
      if (more < 0) return more;
      if (more == 0) return kRtspReadFailed;
    }
    if (buffer_[offset_] != '$') return 0;
    const int rc = readInterleavedFrame();
    if (rc != 0) return rc;
  }
}

int RtspReplyReader::readInterleaved() {
  int frames = 0;
  bool readOnce = false;
  for (;;) {
    skipLineBreaks();
    if (offset_ == fill_) {
      if (readOnce || frames > 0) return frames;
      readOnce = true;
      const int more = readMore();
      if (more < 0) return more;
      if (more == 0) return kRtspReadFailed;
      continue;
    }
    if (buffer_[offset_] != '$') return frames;  // a message begins here
    const int rc = readInterleavedFrame();
    if (rc != 0) return rc;
    ++frames;
  }
}

int RtspReplyReader::detectTerminator() {
  // Stray line breaks between replies (after a body, say) are not a reply;
  // neither are the media frames in front of it.
  for (;;) {
    skipLineBreaks();
    if (offset_ < fill_ && buffer_[offset_] == '$') {
      const int rc = readInterleavedFrame();
      if (rc != 0) return rc;
      continue;
    }
    if (offset_ < fill_) break;
    const int more = readMore();
    if (more < 0) return more;
    if (more == 0) return kRtspReadFailed;
  }
  bool ended = false;
  for (;;) {
    const std::string_view data(buffer_ + offset_, fill_ - offset_);
    const std::size_t p = data.find_first_of("\r\n");
    if (p != std::string_view::npos) {
      // The byte after the first break decides between CR and CR LF (or LF
      // and LF CR); wait for it unless the connection has ended.
      if (p + 1 < data.size() || ended) {
        const char next = p + 1 < data.size() ? data[p + 1] : '\0';
        if (data[p] == '\r') {
          terminator_ = next == '\n' ? "\r\n" : "\r";
        } else {
          terminator_ = next == '\r' ? "\n\r" : "\n";
        }
        return 0;
      }
    } else if (ended) {
      return kRtspBadReply;
    }
    const int more = readMore();
    if (more < 0) return more;
    if (more == 0) ended = true;
  }
}

int RtspReplyReader::readLine(std::string& line) {
  for (;;) {
    const std::string_view data(buffer_ + offset_, fill_ - offset_);
    const std::size_t p = data.find(terminator_);
    if (p != std::string_view::npos) {
      line.assign(data.substr(0, p));
      offset_ += p + terminator_.size();
      return 0;
    }
    const int more = readMore();
    if (more < 0) return more;
    if (more == 0) return kRtspReadFailed;
  }
}

int RtspReplyReader::readBody(RtspResponse& reply, std::size_t length) {
  std::string body;
  while (body.size() < length) {
    if (offset_ < fill_) {
      const std::size_t take = std::min(length - body.size(), fill_ - offset_);
      body.append(buffer_ + offset_, take);
      offset_ += take;
      continue;
    }
    offset_ = 0;
    fill_ = 0;
    const int more = readMore();
    if (more <= 0) return kRtspReadFailed;
  }
  reply.body = std::move(body);
  return 0;
}

int RtspReplyReader::readBodyToEnd(RtspResponse& reply) {
  std::string body;
  for (;;) {
    if (fill_ - offset_ > kRtspMaxBodyBytes - body.size()) return kRtspBadReply;
    body.append(buffer_ + offset_, fill_ - offset_);
    offset_ = 0;
    fill_ = 0;
    const int more = readMore();
    if (more < 0) return more;
    if (more == 0) break;
  }
  reply.body = std::move(body);
  return 0;
}

int RtspReplyReader::handleHeader(RtspResponse& reply, const std::string& line) {
  const std::string_view trimmed = skipBlanks(line);
  if (!trimmed.empty() && trimmed.front() == ',') {
    if (lastWasRtpInfo_ && reply.rtpInfo) reply.rtpInfo->append(trimmed);
    return 0;
  }
  lastWasRtpInfo_ = false;
  for (const HeaderEntry& entry : kHeaders) {
    const std::string_view name(entry.name);
    if (!startsWithNoCase(line, name)) continue;
    const std::string_view value = skipBlanks(std::string_view(line).substr(name.size()));
    switch (entry.kind) {
      case HeaderKind::kText:
      case HeaderKind::kSetCookie:
        if (!(reply.*entry.field)) reply.*entry.field = std::string(value);
        break;
      case HeaderKind::kAllowPublic: reply.allowPublic = std::string(value); break;
      case HeaderKind::kChallenge:
        // A server offering several schemes in several headers: the first
        // Digest one is kept over Basic (RFC 2617 4.6, the strongest).
        if (!reply.wwwAuthenticate || (!startsWithNoCase(*reply.wwwAuthenticate, "Digest") &&
                                       startsWithNoCase(value, "Digest"))) {
          reply.wwwAuthenticate = std::string(value);
        }
        break;
      case HeaderKind::kConnection:
        if (startsWithNoCase(value, "close")) reply.connectionClose = true;
        break;
      case HeaderKind::kContentLength: {
        uint64_t length = 0;
        if (!parseNumber(value, kRtspMaxBodyBytes, length)) return kRtspBadReply;
        if (contentLengthSeen_ && length != reply.contentLength) return kRtspBadReply;
        contentLengthSeen_ = true;
        reply.contentLength = static_cast<uint32_t>(length);
        break;
      }
      case HeaderKind::kCSeq: {
        uint64_t cseq = 0;
        if (parseNumber(value, 0xFFFFFFFFu, cseq)) {
          reply.sequenceNumber = static_cast<uint32_t>(cseq);
          reply.hasSequenceNumber = true;
        }
        break;
      }
      case HeaderKind::kRtpInfo:
        // A repeated header continues the same list, so it is joined with
        // the comma that separates list entries.
        if (reply.rtpInfo) {
          reply.rtpInfo->push_back(',');
          reply.rtpInfo->append(value);
        } else {
          reply.rtpInfo = std::string(value);
        }
        lastWasRtpInfo_ = true;
        break;
    }
    return 0;
  }
  return 0;  // unknown headers are ignored
}

int RtspReplyReader::readReply(RtspResponse& reply, bool bodyToEnd) {
  reply = RtspResponse{};
  lastWasRtpInfo_ = false;
  contentLengthSeen_ = false;
  int rc = detectTerminator();
  if (rc != 0) return rc;

  std::string line;
  rc = readLine(line);
  if (rc != 0) return rc;
  if (!startsWithNoCase(line, "RTSP/1.0")) return kRtspBadReply;
  std::string_view status = skipBlanks(std::string_view(line).substr(8));
  if (status.size() < 3 || status[0] < '1' || status[0] > '5') return kRtspBadReply;
  std::memcpy(reply.statusCode, status.data(), 3);
  reply.statusCode[3] = '\0';
  reply.reasonPhrase = std::string(skipBlanks(status.substr(3)));

  std::size_t headerBytes = 0;
  std::size_t headerLines = 0;
  for (;;) {
    rc = skipInterleavedFrames();
    if (rc != 0) return rc;
    rc = readLine(line);
    if (rc != 0) return rc;
    if (line.empty()) break;
    headerBytes += line.size();
    if (++headerLines > kRtspMaxHeaderLines || headerBytes > kRtspMaxHeaderBytes)
      return kRtspBadReply;
    rc = handleHeader(reply, line);
    if (rc != 0) return rc;
  }

  // RFC 2326 12.14: without Content-Length there is no body, whatever the
  // Connection header says. Only a reply whose caller expects a described
  // body (Content-Type, no length) is read to the end of the connection.
  if (reply.contentLength > 0) return readBody(reply, reply.contentLength);
  if (bodyToEnd && !contentLengthSeen_ && reply.contentType) return readBodyToEnd(reply);
  return 0;
}

}  // namespace strevana
