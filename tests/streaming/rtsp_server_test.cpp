// RtspStreamSource against GStreamer's RTSP server on 127.0.0.1: over UDP,
// redirected from another server, with UDP blocked on the way (the fall-back
// to media inside the connection), from a server that sends only inside the
// connection, and behind a Digest login.
#include <gtest/gtest.h>

#include "stream_test_support.h"
#include "streaming/rtsp_stream_source.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Pulls pictures and sound as the engine does (a request that must wait is
// tried again a little later) until 25 pictures came or 8 s passed; returns
// the pictures' times and in loudness the sound's mean absolute sample value.
std::vector<int32_t> pull(MediaSource& source, double& loudness) {
  std::vector<int32_t> shown;
  double sum = 0, samples = 1;
  source.outputRate = source.decodedRate;
  source.outputChannels = source.decodedChannels;
  source.outputBits = source.decodedBits;
  std::vector<uint8_t> frame(size_t(bufferBytes(source.outputFormat, source.width, source.height)));
  testing::waitFor(
      [&] {
        int32_t ms = 0;
        uint8_t changed = 0;
        AudioChunk* chunks = nullptr;
        if (source.getVideoFrame(kRequestNext, rowBytes(source.outputFormat, source.width), nullptr,
                                 0, 0, frame.data(), ms))
          shown.push_back(ms);
        const bool audio = source.getAudio(kRequestNext, chunks, ms, changed);
        for (AudioChunk* c = chunks; c; c = c->next) {
          const auto* s = reinterpret_cast<const int16_t*>(c->data.get());
          for (int32_t i = 0; i < c->size / 2; ++i, ++samples) sum += std::abs(s[i]);
        }
        freeAudioChunkList(chunks);
        return shown.size() >= 25 || (!audio && !source.awaitingData());
      },
      8000);
  loudness = sum / samples;
  return shown;
}

TEST(RtspServerTest, PlaysThroughTransportsLoginsAndRedirects) {
  using T = RtspTransport;
  const std::vector<std::string> digest = {"--digest", "alice:s3cret"};
  // clang-format off
  const struct { std::vector<std::string> server; bool redirect; std::string user; const char* mount; T transport; bool tcp; int failure; } cases[] = {
      {{"--udp-blocked"}, false, "", "latm", T::kAutomatic, true, 0},
      {{}, false, "", "generic", T::kUdp, false, 0},  // also saves the streams
      {{}, true, "", "generic", T::kUdp, false, 0},
      {{"--tcp-only"}, false, "", "generic", T::kTcp, true, 0},
      {{"--tcp-only"}, false, "", "latm", T::kAutomatic, true, 0},  // after a 461
      {digest, false, "alice:s3cret@", "generic", T::kAutomatic, false, 0},
      {digest, false, "alice:wrong@", "generic", T::kAutomatic, false, 401},
      {digest, false, "", "generic", T::kAutomatic, false, 401},
  };
  // clang-format on
  testing::ScratchFolder folder;
  std::unique_ptr<testing::ChildProcess> server;
  const std::string saves[] = {folder.file("v.m4v"), folder.file("a.m4a")};
  int port = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mount + (" " + c.user) + (c.server.empty() ? "" : c.server[0]));
    if (&c == cases || c.server != (&c)[-1].server) {
      server.reset();
      std::string why;
      port = testing::freePort(SOCK_STREAM, false);
      server = testing::startGstServer(port, folder.file(std::to_string(port)), why, c.server);
      ASSERT_NE(server, nullptr) << "GStreamer's RTSP server did not start: " << why;
    }
    const std::string url = "rtsp://" + c.user + "127.0.0.1:" + std::to_string(port);
    testing::RtspPeer redirector([&](const testing::RtspRequestSeen& r) {
      return testing::rtspReply(r, "302 Moved", "Location: " + url + "/" + c.mount + "\r\n");
    });
    const auto save = [&](int i) { return &c == cases + 1 ? saves[i].c_str() : nullptr; };
    const size_t teardowns = count(server->output(), "received a request TEARDOWN");
    const auto opening = std::chrono::steady_clock::now();
    auto source = std::make_unique<RtspStreamSource>(
        (c.redirect ? redirector.url("") : url).c_str(), c.redirect ? "moved" : c.mount,
        kFormatYuy2, kPostfilterNone, testing::freePort(), 300, 1500, 0, 0, nullptr, save(0),
        save(1), nullptr, nullptr, 0, SteadyMillisecondClock::instance(), c.transport);
    if (c.failure) {
      EXPECT_LT(std::chrono::steady_clock::now() - opening, 2s);
      EXPECT_FALSE(source->hasVideo || source->hasAudio);
      EXPECT_EQ(source->openFailureStatus(), c.failure);
      continue;
    }
    ASSERT_TRUE(source->hasVideo && source->hasAudio) << server->output();
    EXPECT_EQ(source->audioKind(),
              *c.mount == 'l' ? PayloadKind::kMp4aLatm : PayloadKind::kMpeg4Generic);
    EXPECT_EQ(source->session()->interleaved(), c.tcp);
    EXPECT_EQ(source->durationMs, RtspStreamSource::kUnknownDurationMs);  // "npt=now-": live
    // The name keeps the user, not the password, and the name opened.
    const std::string user = c.user.substr(0, c.user.find(':')) + (c.user.empty() ? "" : "@");
    EXPECT_EQ(source->name,
              c.redirect ? redirector.url("/moved")
                         : "rtsp://" + user + "127.0.0.1:" + std::to_string(port) + "/" + c.mount);
    double loudness = 0;
    const std::vector<int32_t> shown = pull(*source, loudness);
    EXPECT_GE(shown.size(), 25u);
    EXPECT_LT(std::chrono::steady_clock::now() - opening, 6s);  // UDP given up on within 5 s
    for (size_t i = 1; i < shown.size(); ++i) EXPECT_NEAR(shown[i] - shown[i - 1], 40, 5) << i;
    EXPECT_GT(loudness, 100.0) << "silence instead of the clip's sound";
    EXPECT_EQ(source->videoPacketsLost() + source->audioPacketsLost(), 0u);
    const bool blocked = c.server == std::vector<std::string>{"--udp-blocked"};
    EXPECT_EQ(count(server->output(), "rewrote a SETUP"), blocked ? 2u : 0u);  // UDP SETUPs only
    // The coded streams as received, each behind its configuration.
    const Bytes* config[] = {&source->videoConfig(), &source->audioConfig()};
    for (int i = 0; save(0) && i < 2; ++i)
      EXPECT_EQ(testing::readFile(saves[i]).substr(0, config[i]->size()),
                std::string(config[i]->begin(), config[i]->end()));
    // Closing ends the RTSP session without keeping the closer waiting.
    const auto closing = std::chrono::steady_clock::now();
    source.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 1s);
    EXPECT_TRUE(testing::waitFor(
        [&] { return count(server->output(), "received a request TEARDOWN") > teardowns; }, 5000));
  }
}

}  // namespace
}  // namespace strevana
