#pragma once
// Request and reply records of the RTSP client (rtsp_client.h).
//
// RtspRequest is filled by the caller; every field is optional and sent only
// when present (numbers: when non-zero). RtspResponse is a decoded reply,
// handed to the caller through a std::unique_ptr that the caller owns; letting
// it go frees it. Plain data, read and written by one thread at a time.
#include <cstdint>
#include <optional>
#include <string>

namespace strevana {

struct RtspRequest {
  std::optional<std::string> accept;
  std::optional<std::string> acceptEncoding;
  std::optional<std::string> acceptLanguage;
  std::optional<std::string> authorization;
  uint32_t bandwidth = 0;
  uint32_t blocksize = 0;
  std::optional<std::string> cacheControl;
  std::optional<std::string> conference;
  std::optional<std::string> cookie;  // never sent: the client sends its own cookie
  std::optional<std::string> from;
  std::optional<std::string> proxyAuthorization;
  std::optional<std::string> proxyRequire;
  std::optional<std::string> range;
  std::optional<std::string> referer;
  double scale = 0.0;
  std::optional<std::string> session;
  double speed = 0.0;
  std::optional<std::string> transport;
  std::optional<std::string> userAgent;
  // Appended unchanged after User-Agent; the caller ends each line with CR LF.
  std::optional<std::string> extraHeaders;
};

struct RtspResponse {
  uint32_t contentLength = 0;
  uint32_t sequenceNumber = 0;     // CSeq
  bool hasSequenceNumber = false;  // the reply carried a CSeq header
  bool connectionClose = false;
  char statusCode[4] = {0, 0, 0, 0};  // three characters and a terminator
  std::string reasonPhrase;
  std::optional<std::string> body;  // exactly the body bytes (may hold NULs)

  std::optional<std::string> accept;
  std::optional<std::string> acceptEncoding;
  std::optional<std::string> acceptLanguage;
  std::optional<std::string> allowPublic;  // "Allow:" and "Public:" share it
  std::optional<std::string> authorization;
  std::optional<std::string> bandwidth;
  std::optional<std::string> blocksize;
  std::optional<std::string> cacheControl;
  std::optional<std::string> contentBase;
  std::optional<std::string> contentEncoding;
  std::optional<std::string> contentLanguage;
  std::optional<std::string> contentLocation;
  std::optional<std::string> contentType;
  std::optional<std::string> cookie;  // from "Set-Cookie:"
  std::optional<std::string> date;
  std::optional<std::string> expires;
  std::optional<std::string> from;
  std::optional<std::string> ifModifiedSince;
  std::optional<std::string> lastModified;
  std::optional<std::string> location;
  std::optional<std::string> proxyAuthenticate;
  std::optional<std::string> proxyRequire;
  std::optional<std::string> range;
  std::optional<std::string> referer;
  std::optional<std::string> retryAfter;
  std::optional<std::string> rtpInfo;
  std::optional<std::string> scale;
  std::optional<std::string> server;
  std::optional<std::string> session;
  std::optional<std::string> speed;
  std::optional<std::string> transport;
  std::optional<std::string> unsupported;
  std::optional<std::string> userAgent;
  std::optional<std::string> via;
  std::optional<std::string> wwwAuthenticate;

  char statusClass() const { return statusCode[0]; }
};

}  // namespace strevana
