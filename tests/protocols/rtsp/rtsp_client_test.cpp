#include "protocols/rtsp/rtsp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "base/millisecond_clock.h"
#include "support/scripted_rtsp_server.h"

namespace strevana {
namespace {

using testing::RequestLog;
using testing::ScriptedConnection;
using testing::ScriptedServer;

const std::string kAgent = std::string("User-Agent: ") + kRtspDefaultUserAgent + "\r\n";

std::string ok(int cseq, const std::string& headers = "", const std::string& body = "") {
  std::string reply = "RTSP/1.0 200 OK\r\nCSeq: " + std::to_string(cseq) + "\r\n" + headers;
  if (!body.empty()) reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return reply + "\r\n" + body;
}

std::string challenge(int cseq, const std::string& text) {
  return "RTSP/1.0 401 Unauthorized\r\nCSeq: " + std::to_string(cseq) +
         "\r\nWWW-Authenticate: " + text + "\r\n\r\n";
}

// `login` ("user:password@") goes into the URL.
std::unique_ptr<RtspClient> connectTo(const ScriptedServer& server, const std::string& path,
                                      const std::string& login = "") {
  int error = 0;
  auto client = RtspClient::create(
      "rtsp://" + login + "127.0.0.1:" + std::to_string(server.port()) + path, error);
  EXPECT_EQ(error, 0);
  if (client) client->setReceiveTimeoutMs(3000);
  return client;
}

// A server answering request number `cseq` of its connections with
// `reply(cseq)`, logging the requests.
struct Answering {
  explicit Answering(std::function<std::string(int)> reply)
      : server([this, reply](ScriptedConnection& c, int) {
          for (int cseq = 1;; ++cseq) {
            const std::string request = c.readRequest();
            if (request.empty()) return;
            log.add(request);
            c.send(reply(cseq));
          }
        }) {}
  std::unique_ptr<RtspClient> client(const std::string& path = "/media/clip.mp4") {
    return connectTo(server, path);
  }
  RequestLog log;
  ScriptedServer server;
};

TEST(RtspUrl, HostAndPortOrTheReasonForRefusal) {
  struct Case {
    const char* url;
    int rc;
    const char* host;
    uint16_t port;
  };
  // clang-format off
  const Case cases[] = {
      {"rtsp://media.example.com", 0, "media.example.com", 554},
      {"rtsp://h:8554/a:b/c", 0, "h", 8554},
      {"rtsp://h2:99", 0, "h2", 99},
      {"rtsp://h3/x:0", 0, "h3", 554},  // a colon after the path starts is no port
      {"RTSP://h/x", kRtspFailed, "", 0}, {"http://h/x", kRtspFailed, "", 0},
      {"rtsp://h:0/x", kRtspUrlInvalid, "", 0}, {"rtsp://h:/x", kRtspUrlInvalid, "", 0},
      {"rtsp://h:554a/x", kRtspUrlInvalid, "", 0}, {"rtsp://h:65536/x", kRtspUrlInvalid, "", 0},
      {"rtsp:///x", kRtspUrlInvalid, "", 0}, {"rtsp://:80/x", kRtspUrlInvalid, "", 0},
      {"rtsp://h/x\r\nEvil: 1", kRtspUrlInvalid, "", 0}, {"rtsp://h/a b", kRtspUrlInvalid, "", 0},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::string host;
    uint16_t port = 0;
    int error = 0;
    EXPECT_EQ(parseRtspUrl(c.url, host, port), c.rc) << c.url;
    if (c.rc == 0) {
      EXPECT_EQ(std::tuple(host, port), std::tuple(c.host, c.port)) << c.url;
    } else {  // only refused URLs go to the client: the others name real hosts
      EXPECT_EQ(RtspClient::create(c.url, error), nullptr) << c.url;
      EXPECT_EQ(error, c.rc) << c.url;
    }
  }
}

TEST(RtspClientRequests, HeadersGoOutInFixedOrderAndUnsafeOnesAreRefused) {
  const std::string sdp = "v=0\r\ns=clip\r\n";
  Answering a([&](int cseq) { return ok(cseq, "Content-Base: rtsp://h/clip/\r\n", sdp); });
  auto client = a.client();
  ASSERT_NE(client, nullptr);
  // clang-format off
  RtspRequest command{.accept = "application/sdp", .acceptEncoding = "identity", .acceptLanguage = "en",
                      .authorization = "Basic eDp5", .bandwidth = 128000, .blocksize = 1400,
                      .cacheControl = "no-cache", .conference = "c1", .cookie = "never-sent",
                      .from = "me@example.com", .proxyAuthorization = "Basic cA==", .proxyRequire = "funky",
                      .range = "npt=0.0-", .referer = "rtsp://ref/", .scale = 1.5, .session = "given",
                      .speed = 2.0, .transport = {}, .userAgent = "Test Agent", .extraHeaders = "X-Extra: 1\r\n"};
  // clang-format on
  std::unique_ptr<RtspResponse> response;
  ASSERT_EQ(client->describe(&command, response), 0);
  EXPECT_EQ(response->body, sdp);
  EXPECT_EQ(response->contentBase, "rtsp://h/clip/");
  // clang-format off
  EXPECT_EQ(a.log.all().at(0), "DESCRIBE " + a.server.url() + " RTSP/1.0\r\nCSeq: 1\r\n"
            "Accept: application/sdp\r\nAccept-Encoding: identity\r\nAccept-Language: en\r\n"
            "Authorization: Basic eDp5\r\nBandwidth: 128000\r\nBlocksize: 1400\r\n"
            "Cache-Control: no-cache\r\nConference: c1\r\nFrom: me@example.com\r\n"
            "Proxy-Authorization: Basic cA==\r\nProxy-Require: funky\r\nRange: npt=0.0-\r\n"
            "Referer: rtsp://ref/\r\nScale: 1.5\r\nSession: given\r\nSpeed: 2\r\n"
            "User-Agent: Test Agent\r\nX-Extra: 1\r\n\r\n");
  // clang-format on
  // Too large, or a value with a line break that could smuggle header lines:
  // nothing is sent and the CSeq is not used up.
  RtspRequest oversize, injected;
  oversize.extraHeaders = std::string(2100, 'x');
  injected.range = "npt=0-\r\nX-Evil: 1";
  for (RtspRequest* bad : {&oversize, &injected}) {
    EXPECT_EQ(client->describe(bad, response), kRtspFailed);
    EXPECT_EQ(response, nullptr);
  }
  EXPECT_EQ(client->nextSequenceNumber(), 2u);
  EXPECT_EQ(a.log.all().size(), 1u);
}

// Replies to a DESCRIBE, the server hanging up after them when `hangUp`.
// Replies without a length or a CSeq settle the request at once instead of
// waiting out the receive time-out; a connection the server closed is not
// made again for the teardown.
TEST(RtspClientReplies, OneReplyEachSettlesTheRequestAtOnce) {
  const std::string head = "RTSP/1.0 200 OK\r\nCSeq: 1\r\n";
  const struct {
    const char* what;
    std::string reply;
    bool hangUp;
    int rc;
    const char* status;  // of the reply handed over; null: none
  } cases[] = {
      // clang-format off
      {"other CSeq and 100 skipped", "RTSP/1.0 404 Stale\r\nCSeq: 99\r\n\r\nRTSP/1.0 100 Go\r\nCSeq: 1\r\n\r\n" + ok(1), false, 0, "200"},
      {"error status", "RTSP/1.0 404 Not Found\r\nCSeq: 1\r\nSet-Cookie: ignored\r\n\r\n", false, kRtspStatusError, "404"},
      {"no CSeq", "RTSP/1.0 404 Not Found\r\n\r\n", false, kRtspStatusError, "404"},
      {"close without length: no body", head + "Connection: close\r\n\r\n", false, 0, "200"},
      {"redirect without Location", "RTSP/1.0 302 Moved\r\nCSeq: 1\r\n\r\n", false, kRtspStatusError, "302"},
      {"challenge without credentials", challenge(1, "Basic realm=\"r\""), false, kRtspStatusError, "401"},
      {"body to the end", head + "Connection: close\r\nContent-Type: application/sdp\r\n\r\nv=0\r\n", true, 0, "200"},
      {"oversize Content-Length", head + "Content-Length: 2000000000\r\n\r\nv=0", false, kRtspBadReply, nullptr},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedServer server([&c](ScriptedConnection& connection, int) {
      connection.readRequest();
      connection.send(c.reply);
      if (!c.hangUp) connection.waitForClose();
    });
    auto client = connectTo(server, "/a");
    ASSERT_NE(client, nullptr);
    client->setReceiveTimeoutMs(10000);
    std::unique_ptr<RtspResponse> response;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client->describe(nullptr, response), c.rc);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const bool closed = c.reply.find("close") != std::string::npos || !c.status;
    EXPECT_EQ(client->connected(), !closed);
    EXPECT_FALSE(client->cookie().has_value());
    ASSERT_EQ(response != nullptr, c.status != nullptr);
    if (!response) continue;
    EXPECT_STREQ(response->statusCode, c.status);
    EXPECT_EQ(response->body.has_value(), c.hangUp);
    EXPECT_EQ(client->nextSequenceNumber(), 2u);
    EXPECT_TRUE(!closed ||
                client->teardown(client->currentUrl(), nullptr, response) == kRtspNotConnected);
    EXPECT_EQ(server.connections(), 1);
  }
}

// A connection on the test's clock: every read takes `msPerByte` of manual
// time and yields one byte of `script` (a shorter wait times out instead).
// Survives reconnects, so one script can hold the replies of several servers.
struct ClockedConnection final : RtspConnection {
  ClockedConnection(ManualMillisecondClock& c, std::string s, uint32_t ms)
      : clock(c), script(std::move(s)), msPerByte(ms) {}
  int open(const std::string&, uint16_t, uint32_t) override { return ++opens, open_ = true, 0; }
  void close() override { open_ = false; }
  bool isOpen() const override { return open_; }
  bool send(const char*, std::size_t) override { return open_; }
  long receive(char* data, std::size_t capacity, uint32_t timeoutMs) override {
    clock.advance(std::min(timeoutMs, msPerByte));
    if (timeoutMs < msPerByte) return -1;
    if (at == script.size() || capacity == 0) return 0;
    data[0] = script[at++];
    return 1;
  }
  ManualMillisecondClock& clock;
  std::string script;
  uint32_t msPerByte;
  std::size_t at = 0;
  int opens = 0;
  bool open_ = false;
};

// With a receive time-out of 100 ms, the reply that settles a request must be
// whole within 300 ms of sending it, however its bytes are spread out; a
// request resent after a redirect gets a deadline of its own.
TEST(RtspClientReplies, ReplyDeadlineBoundsATricklingServer) {
  std::string staleReplies;
  for (int i = 0; i < kRtspMaxSkippedReplies; ++i) staleReplies += ok(99);
  const std::string moved = "RTSP/1.0 302 Moved\r\nCSeq: 1\r\nLocation: rtsp://127.0.0.2/b\r\n\r\n";
  const struct {
    const char* what;
    std::string script;
    uint32_t msPerByte;
    int rc;
  } cases[] = {
      {"header too slow", ok(1, "Server: " + std::string(100, 's') + "\r\n"), 40, kRtspFailed},
      {"body too slow", ok(1, "", std::string(400, 'b')), 1, kRtspFailed},
      {"replies to other requests too slow", staleReplies + ok(1), 1, kRtspFailed},
      {"slow but in time", ok(1), 9, kRtspOk},
      // Each reply takes over 200 ms; the two together would not fit one deadline.
      {"redirect", moved + ok(2, std::string(moved.size() - ok(2).size() - 2, 'x') + "\r\n"), 4,
       kRtspOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ManualMillisecondClock clock;
    auto owned = std::make_unique<ClockedConnection>(clock, c.script, c.msPerByte);
    ClockedConnection* connection = owned.get();
    int error = -1;
    auto client = RtspClient::create("rtsp://127.0.0.1/clip", error, std::move(owned), clock);
    ASSERT_NE(client, nullptr);
    client->setReceiveTimeoutMs(100);
    std::unique_ptr<RtspResponse> response;
    EXPECT_EQ(client->describe(nullptr, response), c.rc);
    EXPECT_EQ(std::tuple(response != nullptr, client->connected(), connection->opens),
              std::tuple(c.rc == kRtspOk, c.rc == kRtspOk, c.msPerByte == 4 ? 2 : 1));
    // Failing ends exactly at the deadline; the bytes take over 200 ms a reply.
    const int64_t end = 300 * connection->opens;
    EXPECT_EQ(c.rc == kRtspOk ? clock.nowMs() < end : clock.nowMs() == end, true) << clock.nowMs();
    EXPECT_GT(clock.nowMs(), 200 * connection->opens);
  }
}

// A login given to one server is not sent unasked to the server it
// redirects to (Basic would hand it the password).
TEST(RtspClientRedirects, FollowedToTheNewServerAtMostFiveTimesWithoutTheLogin) {
  Answering target([](int) { return ok(3, "", "v=0\r\n"); });
  Answering origin([&](int cseq) {
    if (cseq == 1) return challenge(1, "Basic realm=\"a\"");
    return "RTSP/1.0 302 Moved\r\nCSeq: 2\r\nLocation: " + target.server.url("/b") + "\r\n\r\n";
  });
  auto client = connectTo(origin.server, "/a", "alice:s3cret@");
  ASSERT_NE(client, nullptr);
  std::unique_ptr<RtspResponse> response;
  ASSERT_EQ(client->describe(nullptr, response), 0);
  EXPECT_EQ(response->body, "v=0\r\n");
  EXPECT_EQ(std::tuple(client->initialUrl(), client->currentUrl(), client->serverPort()),
            std::tuple(origin.server.url("/a"), target.server.url("/b"), target.server.port()));
  EXPECT_NE(origin.log.all().at(1).find("Authorization: Basic "), std::string::npos);
  EXPECT_EQ(target.log.all(),
            std::vector<std::string>{"DESCRIBE " + target.server.url("/b") +
                                     " RTSP/1.0\r\nCSeq: 3\r\n" + kAgent + "\r\n"});
  ScriptedServer* self = nullptr;
  ScriptedServer loop([&](ScriptedConnection& c, int index) {
    c.readRequest();
    c.send("RTSP/1.0 301 Moved\r\nCSeq: " + std::to_string(index + 1) +
           "\r\nLocation: " + self->url("/hop" + std::to_string(index + 1)) + "\r\n\r\n");
    c.waitForClose();
  });
  self = &loop;
  client = connectTo(loop, "/a");
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->describe(nullptr, response), kRtspStatusError);
  ASSERT_NE(response, nullptr);
  EXPECT_STREQ(response->statusCode, "301");
  EXPECT_EQ(loop.connections(), 6);  // the first request and five resends
  EXPECT_EQ(client->currentUrl(), loop.url("/hop5"));
  client.reset();
}

// SETUP of tracks, then PLAY, keep-alives and TEARDOWN; replies carry the
// headers listed, in turn.
class RtspClientSessions : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = answering_.client();
    ASSERT_NE(client_, nullptr);
    setup_.transport = "RTP/AVP;unicast;client_port=6970-6971";
  }
  int setup(const std::string& track, RtspClientSession*& session, bool aggregate) {
    return client_->setup(url(track), &setup_, session, response_, aggregate);
  }
  std::string url(const std::string& track = "") {
    return answering_.server.url("/media/clip.mp4" + track);
  }

  std::vector<std::string> replyHeaders_{"Session: agg;timeout=30\r\nSet-Cookie: k=v\r\n"};
  Answering answering_{[this](int cseq) {
    return ok(cseq, replyHeaders_[static_cast<std::size_t>(cseq - 1) % replyHeaders_.size()]);
  }};
  std::unique_ptr<RtspClient> client_;
  RtspRequest setup_;
  std::unique_ptr<RtspResponse> response_;
};

TEST_F(RtspClientSessions, AggregateSetupPlayTeardownSendingTheCookieBack) {
  RtspClientSession *video = nullptr, *audio = nullptr, *again = nullptr;
  EXPECT_EQ(client_->decodeUrl("rtsp://other/x"), kRtspUrlAlreadySet);
  EXPECT_EQ(std::tuple(client_->currentUrl(), client_->hostName(), client_->serverPort()),
            std::tuple(url(), "127.0.0.1", answering_.server.port()));
  ASSERT_EQ(setup("/track1", video, true), 0);
  EXPECT_EQ(std::tuple(client_->aggregateSession(), client_->cookie()), std::tuple("agg", "k=v"));
  ASSERT_EQ(setup("/track2", audio, true), 0);
  ASSERT_EQ(setup("/track1", again, true), 0);
  ASSERT_NE(video, audio);
  // The newest first; the same track again gives the same record.
  EXPECT_EQ(std::tuple(video->identifier, video->client, client_->firstSession(), again),
            std::tuple("agg", client_.get(), audio, video));
  ASSERT_EQ(client_->play(client_->currentUrl(), nullptr, response_), 0);
  ASSERT_EQ(client_->teardown(client_->currentUrl(), nullptr, response_), 0);
  EXPECT_EQ(client_->firstSession(), nullptr);
  const std::string transport = "Transport: RTP/AVP;unicast;client_port=6970-6971\r\n";
  // clang-format off
  const std::string expected[] = {
      "SETUP " + url("/track1") + " RTSP/1.0\r\nCSeq: 1\r\n" + transport + kAgent + "\r\n",
      "SETUP " + url("/track2") + " RTSP/1.0\r\nCSeq: 2\r\nCookie: k=v\r\nSession: agg\r\n" + transport + kAgent + "\r\n",
      "SETUP " + url("/track1") + " RTSP/1.0\r\nCSeq: 3\r\nCookie: k=v\r\nSession: agg\r\n" + transport + kAgent + "\r\n",
      "PLAY " + url() + " RTSP/1.0\r\nCSeq: 4\r\nCookie: k=v\r\nSession: agg\r\n" + kAgent + "\r\n",
      "TEARDOWN " + url() + " RTSP/1.0\r\nCSeq: 5\r\nCookie: k=v\r\nSession: agg\r\n" + kAgent + "\r\n",
  };
  // clang-format on
  EXPECT_EQ(answering_.log.all(),
            std::vector<std::string>(std::begin(expected), std::end(expected)));
}

TEST_F(RtspClientSessions, PerMediaSessionsAndTheirChecks) {
  replyHeaders_ = {"Session: s1;timeout=20\r\n", "Session: s2\r\n", ""};
  RtspClientSession* video = nullptr;
  RtspClientSession* audio = nullptr;
  ASSERT_EQ(setup("/track1", video, false), 0);
  ASSERT_EQ(setup("/track2", audio, false), 0);
  EXPECT_FALSE(client_->aggregateSession().has_value());
  ASSERT_EQ(client_->play(audio, nullptr, response_), 0);
  ASSERT_EQ(client_->getParameter(video, response_), 0);
  ASSERT_EQ(client_->options(video, response_), 0);
  ASSERT_EQ(client_->getParameter(client_->currentUrl(), response_), 0);
  const std::pair<std::string, std::string> expected[] = {
      {"PLAY " + url("/track2"), "Session: s2\r\n"},
      {"GET_PARAMETER " + url("/track1"), "Session: s1\r\n"},
      {"OPTIONS " + url("/track1"), "Session: s1\r\n"},
      {"GET_PARAMETER " + url(), ""},  // no aggregate session to name
  };
  const auto requests = answering_.log.all();
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(requests.at(i + 2), expected[i].first +
                                      " RTSP/1.0\r\nCSeq: " + std::to_string(i + 3) + "\r\n" +
                                      expected[i].second + kAgent + "\r\n");
  }
  // Another session named, none, or a record the client does not hold.
  RtspRequest wrong;
  wrong.session = "s1";
  RtspClientSession stranger;
  stranger.client = client_.get();
  for (int rc :
       {client_->play(audio, &wrong, response_), client_->play(nullptr, nullptr, response_),
        client_->play(&stranger, nullptr, response_),
        client_->teardown(&stranger, nullptr, response_),
        client_->getParameter(&stranger, response_), client_->options(nullptr, response_)})
    EXPECT_EQ(rc, kRtspBadCommand);
  ASSERT_EQ(client_->teardown(video, nullptr, response_), 0);
  EXPECT_EQ(client_->firstSession(), audio);
  EXPECT_EQ(audio->next, nullptr);
  EXPECT_EQ(client_->play(video, nullptr, response_), kRtspBadCommand);  // freed record
  EXPECT_EQ(answering_.log.all().size(), 7u);
}

TEST_F(RtspClientSessions, SetupNeedsATransportAndAMediaUrlOnThisServer) {
  RtspClientSession* session = nullptr;
  EXPECT_EQ(client_->setup(url("/t"), nullptr, session, response_, false), kRtspBadCommand);
  RtspRequest noTransport;
  EXPECT_EQ(client_->setup(url("/t"), &noTransport, session, response_, false), kRtspBadCommand);
  const std::string port = std::to_string(answering_.server.port());
  for (const std::string& other :
       {std::string("rtsp://elsewhere:1/media/t"), "rtsp://127.0.0.1:" + port + "0/t",
        "rtsp://127.0.0.1:" + port, "http://127.0.0.1:" + port + "/t",
        "rtsp://127.0.0.2:" + port + "/t"}) {
    EXPECT_EQ(client_->setup(other, &setup_, session, response_, false), kRtspBadMediaUrl) << other;
  }
  EXPECT_EQ(session, nullptr);
  EXPECT_TRUE(answering_.log.all().empty());
  // The same server by name: "localhost" for the client, the address in the
  // media URL, or the other way round.
  client_.reset();
  int error = 0;
  auto byName = RtspClient::create("rtsp://localhost:" + port + "/media/clip.mp4", error);
  ASSERT_NE(byName, nullptr) << error;
  EXPECT_EQ(byName->setup(url("/t1"), &setup_, session, response_, false), 0);
  EXPECT_EQ(byName->setup("rtsp://LOCALHOST:" + port + "/t2", &setup_, session, response_, false),
            0);
}

// ---- login (RFC 2617 through RFC 2326 D.1) ----------------------------------

// The server answers each DESCRIBE with the next status of the script: "401"
// challenges (", stale=true" added for "401s"), anything else is the status
// sent. The credentials come in the URL and never appear on the wire.
TEST(RtspClientLogin, ChallengeIsAnsweredOnceUnlessTheNonceWasStale) {
  // clang-format off
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"401", "200"}, kRtspOk}, {{"401", "401", "200"}, kRtspStatusError},
      {{"401", "401s", "200"}, kRtspOk}, {{"401", "401s", "401s", "200"}, kRtspStatusError}};
  // clang-format on
  for (const auto& [statuses, rc] : cases) {
    SCOPED_TRACE(statuses.size());
    Answering a([&, &statuses = statuses](int cseq) {
      const std::string& status = statuses.at(static_cast<std::size_t>(cseq - 1));
      if (status == "200") return ok(cseq);
      return challenge(cseq, "Digest realm=\"r\", nonce=\"n" + std::to_string(cseq) + "\"" +
                                 (status == "401s" ? ", stale=true" : ""));
    });
    auto client = connectTo(a.server, "/a", "alice:s3cret@");
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->currentUrl(), a.server.url("/a"));
    std::unique_ptr<RtspResponse> response;
    EXPECT_EQ(client->describe(nullptr, response), rc);
    ASSERT_NE(response, nullptr);
    EXPECT_STREQ(response->statusCode, rc == kRtspOk ? "200" : "401");
    client.reset();
    const auto requests = a.log.all();
    ASSERT_EQ(requests.size(), statuses.size() - (rc == kRtspOk ? 0 : 1));
    EXPECT_EQ(requests[0].find("Authorization"), std::string::npos);
    for (std::size_t i = 1; i < requests.size(); ++i) {
      EXPECT_NE(
          requests[i].find("Authorization: Digest username=\"alice\", realm=\"r\", nonce=\"n" +
                           std::to_string(i) + "\", uri=\"" + a.server.url("/a") + "\""),
          std::string::npos)
          << requests[i];
    }
    for (const std::string& r : requests) EXPECT_EQ(r.find("s3cret"), std::string::npos);
  }
}

}  // namespace
}  // namespace strevana
