#include "protocols/rtsp/rtsp_client.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <new>

#include "protocols/rtsp/ipv4_lookup.h"
#include "protocols/rtsp/protocol_log.h"

namespace strevana {
namespace {

constexpr const char* kLogTag = "rtsp";

// Builds a request in a fixed-size buffer: any piece that does not fit fails
// the whole request, as does a header value carrying a line break (a value
// echoed from a server must not be able to add header lines).
class RequestBuilder {
 public:
  bool add(std::string_view piece) {
    if (!ok_ || piece.size() > kRtspRequestSize - text_.size()) {
      ok_ = false;
      return false;
    }
    text_.append(piece);
    return true;
  }

  void header(std::string_view name, std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos) {
      ok_ = false;
      return;
    }
    add(name);
    add(": ");
    add(value);
    add("\r\n");
  }

  void optionalHeader(std::string_view name, const std::optional<std::string>& value) {
    if (value) header(name, std::string_view(*value));
  }

  void number(std::string_view name, uint32_t value) {
    if (value != 0) header(name, std::string_view(std::to_string(value)));
  }

  // %g in the C locale, whatever locale the process runs in.
  void real(std::string_view name, double value) {
    if (value == 0.0) return;
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    if (result.ec != std::errc()) {
      ok_ = false;
      return;
    }
    header(name, std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
  }

  bool ok() const { return ok_; }
  std::string& text() { return text_; }

 private:
  std::string text_;
  bool ok_ = true;
};

// The identifier part of a Session header ("abc;timeout=60" gives "abc").
std::optional<std::string> sessionIdentifier(const std::optional<std::string>& header) {
  if (!header) return std::nullopt;
  std::string_view value(*header);
  value = value.substr(0, value.find(';'));
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (value.empty()) return std::nullopt;
  return std::string(value);
}

}  // namespace

RtspClient::RtspClient(std::unique_ptr<RtspConnection> connection, const MillisecondClock& clock)
    : connection_(connection ? std::move(connection) : makeTcpRtspConnection()), clock_(clock) {}

RtspClient::~RtspClient() {
  closeSocket();
  freeSessions();
}

std::unique_ptr<RtspClient> RtspClient::create(const std::string& url, int& error,
                                               std::unique_ptr<RtspConnection> connection,
                                               const MillisecondClock& clock) {
  try {
    std::unique_ptr<RtspClient> client(new RtspClient(std::move(connection), clock));
    error = client->decodeUrl(url);
    if (error != kRtspOk) return nullptr;
    error = client->connect();
    if (error != kRtspOk) return nullptr;
    return client;
  } catch (const std::bad_alloc&) {
    error = kRtspOutOfMemory;
    return nullptr;
  }
}

int parseRtspUrl(std::string_view url, std::string& host, uint16_t& port) {
  if (url.substr(0, 7) != "rtsp://") return kRtspFailed;
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return kRtspUrlInvalid;
  }
  const std::string_view rest = url.substr(7);
  const std::size_t slash = rest.find('/');
  const std::size_t colon = rest.find(':');
  std::size_t hostEnd = slash == std::string_view::npos ? rest.size() : slash;
  uint32_t number = kRtspDefaultPort;
  if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash)) {
    hostEnd = colon;
    std::size_t i = colon + 1;
    number = 0;
    while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9') {
      number = number * 10 + static_cast<uint32_t>(rest[i] - '0');
      if (number > 0xFFFF) return kRtspUrlInvalid;
      ++i;
    }
    if (number == 0 || (i < rest.size() && rest[i] != '/')) return kRtspUrlInvalid;
  }
  if (hostEnd == 0) return kRtspUrlInvalid;
  host.assign(rest.substr(0, hostEnd));
  port = static_cast<uint16_t>(number);
  return kRtspOk;
}

int RtspClient::decodeUrl(std::string_view url) {
  if (!currentUrl_.empty() || !hostName_.empty()) return kRtspUrlAlreadySet;
  try {
    std::optional<RtspCredentials> credentials;
    currentUrl_ = splitUrlCredentials(url, credentials);
    if (credentials) authenticator_.setCredentials(std::move(credentials));
    return parseRtspUrl(currentUrl_, hostName_, serverPort_);
  } catch (const std::bad_alloc&) {
    return kRtspOutOfMemory;
  }
}

int RtspClient::connect() {
  if (hostName_.empty()) return kRtspFailed;
  reader_.reset();
  const int rc = connection_->open(hostName_, serverPort_, receiveTimeoutMs_);
  return rc == 0 ? kRtspOk : rc;
}

void RtspClient::closeSocket() {
  connection_->close();
  reader_.reset();
}

long RtspClient::ReplySource::receive(char* data, std::size_t capacity) {
  if (!client_.connection_->isOpen()) return -1;
  const int64_t left = client_.replyDeadlineMs_ - client_.clock_.nowMs();
  if (left <= 0) {
    protocolLog(4, kLogTag, "reply deadline passed");
    return -1;
  }
  const auto wait = static_cast<uint32_t>(std::min<int64_t>(left, client_.receiveTimeoutMs_));
  return client_.connection_->receive(data, capacity, wait);
}

int RtspClient::buildRequest(std::string_view method, const std::string& url,
                             const std::optional<std::string>& session, const RtspRequest* command,
                             std::string& out) {
  RequestBuilder b;
  b.add(method);
  b.add(" ");
  b.add(url);
  b.add(" RTSP/1.0\r\n");
  b.header("CSeq", std::string_view(std::to_string(nextCSeq_)));
  b.optionalHeader("Cookie", cookie_);
  if (command != nullptr) {
    b.optionalHeader("Accept", command->accept);
    b.optionalHeader("Accept-Encoding", command->acceptEncoding);
    b.optionalHeader("Accept-Language", command->acceptLanguage);
  }
  if (command != nullptr && command->authorization) {
    b.optionalHeader("Authorization", command->authorization);
  } else {
    b.optionalHeader("Authorization", authenticator_.authorization(method, url));
  }
  if (command != nullptr) {
    b.number("Bandwidth", command->bandwidth);
    b.number("Blocksize", command->blocksize);
    b.optionalHeader("Cache-Control", command->cacheControl);
    b.optionalHeader("Conference", command->conference);
    b.optionalHeader("From", command->from);
    b.optionalHeader("Proxy-Authorization", command->proxyAuthorization);
    b.optionalHeader("Proxy-Require", command->proxyRequire);
    b.optionalHeader("Range", command->range);
    b.optionalHeader("Referer", command->referer);
    b.real("Scale", command->scale);
  }
  if (session) {
    b.optionalHeader("Session", session);
  } else if (command != nullptr) {
    b.optionalHeader("Session", command->session);
  }
  if (command != nullptr) {
    b.real("Speed", command->speed);
    b.optionalHeader("Transport", command->transport);
  }
  if (command != nullptr && command->userAgent) {
    b.optionalHeader("User-Agent", command->userAgent);
  } else {
    b.header("User-Agent", std::string_view(kRtspDefaultUserAgent));
  }
  if (command != nullptr && command->extraHeaders) b.add(*command->extraHeaders);
  b.add("\r\n");
  if (!b.ok()) return kRtspFailed;
  out = std::move(b.text());
  return kRtspOk;
}

int RtspClient::transact(std::string_view method, const std::string& url,
                         const std::optional<std::string>& session, const RtspRequest* command) {
  std::string text;
  if (buildRequest(method, url, session, command, text) != kRtspOk) return kRtspFailed;
  if (!connection_->isOpen()) {
    const int rc = connect();
    if (rc != kRtspOk) return rc;
  }
  if (!connection_->send(text.data(), text.size())) {
    closeSocket();
    return kRtspFailed;
  }
  replyDeadlineMs_ =
      clock_.nowMs() + static_cast<int64_t>(kRtspReplyDeadlineFactor) * receiveTimeoutMs_;
  for (int skipped = 0;; ++skipped) {
    if (skipped > kRtspMaxSkippedReplies) {
      closeSocket();
      response_.reset();
      return kRtspFailed;
    }
    if (!response_) response_ = std::make_unique<RtspResponse>();
    const int rc = reader_.readReply(*response_, method == "DESCRIBE");
    if (rc != 0) {
      protocolLog(3, kLogTag, "reply to %.*s not decoded (%d)", static_cast<int>(method.size()),
                  method.data(), rc);
      closeSocket();
      response_.reset();
      return rc;
    }
    if (response_->connectionClose) closeSocket();
    const char status = response_->statusClass();
    // A reply without CSeq can only answer the one request outstanding.
    if ((response_->hasSequenceNumber && response_->sequenceNumber != nextCSeq_) || status == '1')
      continue;
    ++nextCSeq_;
    if (status == '4' || status == '5') return kRtspStatusError;
    if (response_->cookie) cookie_ = response_->cookie;
    if (status == '2') return kRtspOk;
    return followRedirect(*response_);  // '3'
  }
}

int RtspClient::receiveInterleaved(uint32_t waitMs) {
  if (!connection_->isOpen()) return kRtspNotConnected;
  if (!reader_.hasBufferedBytes()) {
    const int ready = connection_->waitReadable(waitMs);
    if (ready == 0) return 0;
    if (ready < 0) {
      closeSocket();
      return kRtspFailed;
    }
  }
  // A frame that has begun is read to its end within a reply's deadline.
  replyDeadlineMs_ =
      clock_.nowMs() + static_cast<int64_t>(kRtspReplyDeadlineFactor) * receiveTimeoutMs_;
  const int frames = reader_.readInterleaved();
  if (frames < 0) {
    closeSocket();
    return kRtspFailed;
  }
  if (reader_.messagePending()) {
    // No request is outstanding, so this is a reply whose request gave up
    // waiting: read past it.
    try {
      RtspResponse stray;
      if (reader_.readReply(stray) != 0) {
        closeSocket();
        return kRtspFailed;
      }
      if (stray.connectionClose) closeSocket();
    } catch (const std::bad_alloc&) {
      closeSocket();
      return kRtspFailed;
    }
  }
  return frames;
}

int RtspClient::followRedirect(const RtspResponse& reply) {
  if (!reply.location || redirectCount_ >= kRtspMaxRedirects) return kRtspStatusError;
  ++redirectCount_;
  if (!initialUrl_) initialUrl_ = currentUrl_;
  hostName_.clear();
  currentUrl_.clear();
  closeSocket();
  authenticator_.forgetChallenge();
  if (decodeUrl(*reply.location) != kRtspOk) return kRtspStatusError;
  if (connect() != kRtspOk) return kRtspStatusError;
  return kRtspRedirected;
}

int RtspClient::request(std::string_view method, std::string url,
                        const std::optional<std::string>& session, const RtspRequest* command,
                        std::unique_ptr<RtspResponse>& response) {
  redirectCount_ = 0;
  int rc;
  int answers = 0;  // challenges answered for this request
  try {
    for (;;) {
      rc = transact(method, url, session, command);
      if (rc == kRtspRedirected) {
        url = currentUrl_;
        continue;
      }
      // RFC 2617 3.2.1: a second challenge is answered only when it says the
      // nonce was stale; otherwise the credentials were refused.
      if (rc == kRtspStatusError && response_ && std::strcmp(response_->statusCode, "401") == 0 &&
          response_->wwwAuthenticate && (command == nullptr || !command->authorization) &&
          authenticator_.takeChallenge(*response_->wwwAuthenticate) &&
          (answers == 0 || (answers == 1 && authenticator_.staleNonce()))) {
        ++answers;
        continue;
      }
      break;
    }
  } catch (const std::bad_alloc&) {
    rc = kRtspFailed;
  }
  response = std::move(response_);
  return rc;
}

int RtspClient::describe(const RtspRequest* command, std::unique_ptr<RtspResponse>& response) {
  response.reset();
  return request("DESCRIBE", currentUrl_, std::nullopt, command, response);
}

int RtspClient::setup(const std::string& mediaUrl, const RtspRequest* command,
                      RtspClientSession*& session, std::unique_ptr<RtspResponse>& response,
                      bool useAggregate) {
  response.reset();
  if (command == nullptr || !command->transport) return kRtspBadCommand;
  // The media must live on the server this client talks to.
  if (mediaUrl.compare(0, 7, "rtsp://") != 0 || mediaUrl.find('/', 7) == std::string::npos ||
      !sameServer(mediaUrl)) {
    return kRtspBadMediaUrl;
  }
  const std::optional<std::string> requestSession = useAggregate ? aggregateSession_ : std::nullopt;
  const int rc = request("SETUP", mediaUrl, requestSession, command, response);
  if (rc != kRtspOk) return rc;
  try {
    std::optional<std::string> identifier = sessionIdentifier(response->session);
    if (useAggregate && aggregateSession_ && identifier && *identifier != *aggregateSession_) {
      return kRtspStatusError;
    }
    for (RtspClientSession* s = sessions_.get(); s != nullptr; s = s->next.get()) {
      if (s->mediaUrl == mediaUrl) {
        session = s;
        return kRtspOk;
      }
    }
    if (!identifier && useAggregate) identifier = aggregateSession_;
    auto record = std::make_unique<RtspClientSession>();
    record->client = this;
    record->identifier = identifier;
    record->mediaUrl = mediaUrl;
    record->next = std::move(sessions_);
    sessions_ = std::move(record);
    if (useAggregate && !aggregateSession_) aggregateSession_ = identifier;
    session = sessions_.get();
    return kRtspOk;
  } catch (const std::bad_alloc&) {
    return kRtspFailed;
  }
}

bool RtspClient::sameServer(const std::string& mediaUrl) const {
  std::string host;
  uint16_t port = 0;
  if (parseRtspUrl(mediaUrl, host, port) != kRtspOk || port != serverPort_) return false;
  if (strcasecmp(host.c_str(), hostName_.c_str()) == 0) return true;
  // Written differently ("localhost" and "127.0.0.1"): the same server when
  // both names lead to the same address.
  uint32_t ours = 0;
  uint32_t theirs = 0;
  return lookUpIpv4(hostName_, ours) == 0 && lookUpIpv4(host, theirs) == 0 && ours == theirs;
}

int RtspClient::getParameter(RtspClientSession* session, std::unique_ptr<RtspResponse>& response) {
  response.reset();
  if (checkSession(session, nullptr) != kRtspOk) return kRtspBadCommand;
  return request("GET_PARAMETER", session->mediaUrl, session->identifier, nullptr, response);
}

int RtspClient::getParameter(const std::string& url, std::unique_ptr<RtspResponse>& response) {
  response.reset();
  return request("GET_PARAMETER", url, aggregateSession_, nullptr, response);
}

int RtspClient::options(RtspClientSession* session, std::unique_ptr<RtspResponse>& response) {
  response.reset();
  if (checkSession(session, nullptr) != kRtspOk) return kRtspBadCommand;
  return request("OPTIONS", session->mediaUrl, session->identifier, nullptr, response);
}

int RtspClient::options(const std::string& url, std::unique_ptr<RtspResponse>& response) {
  response.reset();
  return request("OPTIONS", url, aggregateSession_, nullptr, response);
}

bool RtspClient::ownsSession(const RtspClientSession* session) const {
  for (const RtspClientSession* s = sessions_.get(); s != nullptr; s = s->next.get()) {
    if (s == session) return true;
  }
  return false;
}

int RtspClient::checkSession(RtspClientSession* session, const RtspRequest* command) const {
  // Membership first: only a record found in the list is dereferenced.
  if (session == nullptr || !ownsSession(session) || session->client != this)
    return kRtspBadCommand;
  if (command != nullptr && command->session && session->identifier != command->session)
    return kRtspBadCommand;
  return kRtspOk;
}

int RtspClient::play(RtspClientSession* session, const RtspRequest* command,
                     std::unique_ptr<RtspResponse>& response) {
  response.reset();
  if (checkSession(session, command) != kRtspOk) return kRtspBadCommand;
  return request("PLAY", session->mediaUrl, session->identifier, command, response);
}

int RtspClient::play(const std::string& url, const RtspRequest* command,
                     std::unique_ptr<RtspResponse>& response) {
  response.reset();
  return request("PLAY", url, aggregateSession_, command, response);
}

int RtspClient::teardown(RtspClientSession* session, const RtspRequest* command,
                         std::unique_ptr<RtspResponse>& response) {
  response.reset();
  if (checkSession(session, command) != kRtspOk) return kRtspBadCommand;
  if (!connection_->isOpen()) return kRtspNotConnected;
  const int rc = request("TEARDOWN", session->mediaUrl, session->identifier, command, response);
  if (rc != kRtspOk) return rc;
  for (std::unique_ptr<RtspClientSession>* slot = &sessions_; *slot; slot = &(*slot)->next) {
    if (slot->get() == session) {
      *slot = std::move(session->next);
      break;
    }
  }
  return kRtspOk;
}

int RtspClient::teardown(const std::string& url, const RtspRequest* command,
                         std::unique_ptr<RtspResponse>& response) {
  response.reset();
  if (!connection_->isOpen()) return kRtspNotConnected;
  const int rc = request("TEARDOWN", url, aggregateSession_, command, response);
  if (rc != kRtspOk) return rc;
  freeSessions();
  aggregateSession_.reset();
  return kRtspOk;
}

void RtspClient::freeSessions() {
  while (sessions_) sessions_ = std::move(sessions_->next);
}

}  // namespace strevana
