// Fuzz target for the RTSP client above its connection: request building,
// CSeq matching and skipped replies, cookies, redirects, the session list and
// the reply deadline, against a scripted server fed from the input. No
// sockets: the client gets an in-memory RtspConnection and a manual clock.
//
// Input: [settings] then records [op][length, 16-bit big-endian][bytes] (a
// length beyond the input takes what is left). Settings bits 0-5: bytes per
// read - 1; bits 6-7: the receive time-out (1, 50, 1000 or 10000 ms).
// A record's bytes are appended to what the server sends (the stream goes on
// across reconnects, so a redirect's target answers from it too); then op
// runs one client call:
//   bits 0-2: 0 DESCRIBE with many headers, 1 SETUP aggregate, 2 SETUP per
//             media, 3 PLAY of a session, 4 aggregate PLAY, 5 TEARDOWN of a
//             session, 6 aggregate TEARDOWN, 7 plain DESCRIBE
//   bits 3-4: the track (SETUP) or session record (3 = none) used
//   bit 5:    once the bytes run out the server hangs up (else goes quiet)
//   bit 6:    the server trickles: each read takes half a receive time-out
//   bit 7:    the next connection attempt fails
//
// Checked: every request is well formed (request line, CRLF lines without
// stray breaks, the client's current CSeq, never lower than before, its
// cookie, a bare session identifier) and fits the request size; reads are
// asked for with a wait of 1 ms up to the receive time-out; a call succeeds
// only with a 2xx reply; no call outlasts its redirects' reply deadlines and
// connect waits; the session list stays a short list of this client's
// records and a torn-down record leaves it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "base/millisecond_clock.h"
#include "protocols/rtsp/rtsp_client.h"
#include "protocols/rtsp/rtsp_connection.h"

namespace {

using strevana::RtspClient;
using strevana::RtspClientSession;
using strevana::RtspRequest;
using strevana::RtspResponse;

const char* const kUrl = "rtsp://127.0.0.1/media/clip.mp4";
constexpr uint32_t kTimeouts[4] = {1, 50, 1000, 10000};

class ScriptedConnection final : public strevana::RtspConnection {
 public:
  ScriptedConnection(strevana::ManualMillisecondClock& clock, uint32_t timeoutMs, size_t readSize)
      : clock_(clock), timeoutMs_(timeoutMs), readSize_(readSize) {}

  int open(const std::string& host, uint16_t port, uint32_t timeoutMs) override {
    // Connecting waits the receive time-out (the default one while create()
    // makes the first connection).
    if (host.empty() || port == 0) std::abort();
    if (client != nullptr && timeoutMs != client->receiveTimeoutMs()) std::abort();
    if (failNextOpen) {
      failNextOpen = false;
      clock_.advance(timeoutMs);
      return (opens_++ % 2) == 0 ? -1 : strevana::kRtspHostNotFound;
    }
    ++opens_;
    open_ = true;
    return 0;
  }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }

  bool send(const char* data, size_t size) override {
    if (!open_ || client == nullptr) std::abort();
    checkRequest(std::string_view(data, size));
    return true;
  }

  long receive(char* data, size_t capacity, uint32_t timeoutMs) override {
    if (!open_ || capacity == 0 || timeoutMs == 0 || timeoutMs > timeoutMs_) std::abort();
    if (trickle) {
      const uint32_t step = std::max<uint32_t>(1, timeoutMs_ / 2);
      if (step > timeoutMs) {
        clock_.advance(timeoutMs);
        return -1;
      }
      clock_.advance(step);
    }
    if (position_ == stream_.size()) {
      if (hangUp) return 0;
      clock_.advance(trickle ? 0 : timeoutMs);
      return -1;
    }
    const size_t n =
        std::min({capacity, trickle ? size_t{1} : readSize_, stream_.size() - position_});
    std::memcpy(data, stream_.data() + position_, n);
    position_ += n;
    return static_cast<long>(n);
  }

  void append(const uint8_t* bytes, size_t size) {
    stream_.append(reinterpret_cast<const char*>(bytes), size);
  }

  const RtspClient* client = nullptr;
  bool failNextOpen = false;
  bool hangUp = false;
  bool trickle = false;

 private:
  void checkRequest(std::string_view text) {
    if (text.size() > strevana::kRtspRequestSize || text.size() < 4) std::abort();
    if (text.substr(text.size() - 4) != "\r\n\r\n") std::abort();
    const std::string_view body = text.substr(0, text.size() - 2);
    bool firstLine = true;
    bool sawCSeq = false;
    for (size_t at = 0; at < body.size();) {
      const size_t end = body.find("\r\n", at);
      if (end == std::string_view::npos) std::abort();
      const std::string_view line = body.substr(at, end - at);
      at = end + 2;
      if (line.find_first_of("\r\n") != std::string_view::npos || line.empty()) std::abort();
      if (firstLine) {
        firstLine = false;
        static const char* const kMethods[] = {"DESCRIBE ", "SETUP ", "PLAY ", "TEARDOWN "};
        bool known = false;
        for (const char* method : kMethods)
          known = known || line.substr(0, std::strlen(method)) == method;
        if (!known || line.size() < 9 || line.substr(line.size() - 9) != " RTSP/1.0") std::abort();
        continue;
      }
      const size_t colon = line.find(": ");
      if (colon == std::string_view::npos || colon == 0) std::abort();
      const std::string_view name = line.substr(0, colon);
      const std::string_view value = line.substr(colon + 2);
      if (name == "CSeq") {
        if (sawCSeq || value != std::to_string(client->nextSequenceNumber())) std::abort();
        if (client->nextSequenceNumber() < lastCSeq_) std::abort();
        lastCSeq_ = client->nextSequenceNumber();
        sawCSeq = true;
      } else if (name == "Cookie") {
        if (!client->cookie() || value != *client->cookie()) std::abort();
      } else if (name == "Session") {
        if (value.empty() || value.find(';') != std::string_view::npos) std::abort();
      }
    }
    if (!sawCSeq) std::abort();
  }

  strevana::ManualMillisecondClock& clock_;
  uint32_t timeoutMs_;
  size_t readSize_;
  std::string stream_;
  size_t position_ = 0;
  bool open_ = false;
  int opens_ = 0;
  uint32_t lastCSeq_ = 0;
};

RtspClientSession* sessionAt(const RtspClient& client, unsigned index) {
  RtspClientSession* s = client.firstSession();
  for (unsigned i = 0; s != nullptr && i < index; ++i) s = s->next.get();
  return index < 3 ? s : nullptr;
}

bool listed(const RtspClient& client, const RtspClientSession* session) {
  for (const RtspClientSession* s = client.firstSession(); s != nullptr; s = s->next.get()) {
    if (s == session) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint32_t timeoutMs = kTimeouts[data[0] >> 6];
  strevana::ManualMillisecondClock clock;
  auto owned = std::make_unique<ScriptedConnection>(clock, timeoutMs,
                                                    static_cast<size_t>(data[0] & 0x3f) + 1);
  ScriptedConnection& connection = *owned;
  int error = 0;
  std::unique_ptr<RtspClient> client = RtspClient::create(kUrl, error, std::move(owned), clock);
  if (!client) return 0;
  client->setReceiveTimeoutMs(timeoutMs);
  connection.client = client.get();

  RtspRequest full;
  full.accept = "application/sdp";
  full.bandwidth = 128000;
  full.range = "npt=0-";
  full.scale = 1.5;
  full.speed = 2.0;
  full.userAgent = "fuzz";
  RtspRequest setup;
  setup.transport = "RTP/AVP;unicast;client_port=6970-6971";

  size_t setups = 0;
  size_t pos = 1;
  while (pos < size) {
    const uint8_t op = data[pos++];
    size_t length = 0;
    if (size - pos >= 2) {
      length = (static_cast<size_t>(data[pos]) << 8) | data[pos + 1];
      pos += 2;
    }
    if (length > size - pos) length = size - pos;
    connection.append(data + pos, length);
    pos += length;
    connection.hangUp = (op & 0x20) != 0;
    connection.trickle = (op & 0x40) != 0;
    connection.failNextOpen = (op & 0x80) != 0;
    const unsigned pick = (op >> 3) & 0x03;

    std::unique_ptr<RtspResponse> response;
    RtspClientSession* target = nullptr;
    const int64_t start = clock.nowMs();
    int rc = 0;
    switch (op & 0x07) {
      case 0: rc = client->describe(&full, response); break;
      case 7: rc = client->describe(nullptr, response); break;
      case 1:
      case 2: {
        RtspClientSession* session = nullptr;
        const std::string media = client->currentUrl() + "/track" + std::to_string(pick);
        rc = client->setup(media, &setup, session, response, (op & 0x07) == 1);
        if (rc == strevana::kRtspOk) {
          if (session == nullptr || !listed(*client, session) || session->mediaUrl != media)
            std::abort();
          ++setups;
        }
        break;
      }
      case 3:
        target = sessionAt(*client, pick);
        rc = client->play(target, nullptr, response);
        break;
      case 4: rc = client->play(client->currentUrl(), nullptr, response); break;
      case 5:
        target = sessionAt(*client, pick);
        rc = client->teardown(target, nullptr, response);
        if (rc == strevana::kRtspOk && (target == nullptr || listed(*client, target))) std::abort();
        break;
      case 6:
        rc = client->teardown(client->currentUrl(), nullptr, response);
        if (rc == strevana::kRtspOk && client->firstSession() != nullptr) std::abort();
        break;
    }

    if (rc == strevana::kRtspOk && (!response || response->statusClass() != '2')) std::abort();
    if (response) {
      if (response->body && response->body->size() > strevana::kRtspMaxBodyBytes) std::abort();
      if (response->statusCode[0] < '1' || response->statusCode[0] > '5' ||
          response->statusCode[3] != '\0') {
        std::abort();
      }
    }
    // Each request sent (the first and one per redirect) may wait for a
    // connection and then for its reply until the deadline.
    const int64_t perRequest =
        static_cast<int64_t>(strevana::kRtspReplyDeadlineFactor + 1) * timeoutMs;
    if (clock.nowMs() - start > (strevana::kRtspMaxRedirects + 1) * perRequest) std::abort();

    size_t records = 0;
    for (const RtspClientSession* s = client->firstSession(); s != nullptr; s = s->next.get()) {
      if (++records > setups || s->client != client.get() || s->mediaUrl.empty()) std::abort();
    }
  }
  return 0;
}
