#include <gtest/gtest.h>

#include "streaming/control_url.h"
#include "streaming/resolve_host.h"
#include "streaming/rtsp_reply_fields.h"

namespace strevana {
namespace {

TEST(ControlUrlTest, ResolvedPerRfc2326) {
  const struct {
    const char* base;
    const char* control;
    const char* url;
  } cases[] = {
      {"rtsp://h/clip.mp4/", "trackID=1", "rtsp://h/clip.mp4/trackID=1"},
      // Relative values are glued on as they are, with no separator added.
      {"rtsp://h/clip.mp4", "trackID=1", "rtsp://h/clip.mp4trackID=1"},
      {"rtsp://h/clip.mp4", "rtsp://127.0.0.1/clip.mp4/stream=0",
       "rtsp://127.0.0.1/clip.mp4/stream=0"},
      {"rtsp://h/clip.mp4", "RTSP://other/x", "RTSP://other/x"},
      {"rtsp://h/clip.mp4/", "*", "rtsp://h/clip.mp4/"},
  };
  for (const auto& c : cases) EXPECT_EQ(resolveControlUrl(c.base, c.control), c.url) << c.control;
}

TEST(ResolveHostTest, HostPartAndLookUp) {
  const struct {
    const char* text;
    uint32_t address;
  } cases[] = {
      {"rtsp://127.0.0.1/clip", 0x7f000001},
      {"rtsp://127.0.0.2:8554/clip", 0x7f000002},
      {"127.0.0.3", 0x7f000003},
      {"rtsp://localhost/x", 0x7f000001},
      {"rtsp:///clip", 0},
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(resolveHost(c.text), c.address) << c.text;
}

TEST(RtspReplyFieldsTest, ServerPort) {
  const struct {
    const char* transport;  // null: no Transport header
    int32_t port;
  } cases[] = {
      {"RTP/AVP;unicast;client_port=6970-6971;server_port=5000-5001", 5000},
      {"RTP/AVP;unicast;server_port=6000;ssrc=1", 6000},
      {"RTP/AVP;unicast;client_port=6970-6971", -1},
      {"RTP/AVP;server_port=x-1", -1},
      {"RTP/AVP;server_port=99999-1", -1},
      {nullptr, -1},
  };
  for (const auto& c : cases) {
    RtspResponse reply;
    if (c.transport) reply.transport = c.transport;
    EXPECT_EQ(parseServerPort(&reply), c.port) << (c.transport ? c.transport : "(none)");
  }
  EXPECT_EQ(parseServerPort(nullptr), -1);
}

TEST(RtspReplyFieldsTest, SessionTimeout) {
  EXPECT_EQ(sessionTimeoutSeconds("12345678;timeout=30"), 30u);
  EXPECT_EQ(sessionTimeoutSeconds("abc; Timeout=10"), 10u);
  EXPECT_EQ(sessionTimeoutSeconds("abc;x=1;timeout=7"), 7u);
  EXPECT_EQ(sessionTimeoutSeconds("12345678"), std::nullopt);
  EXPECT_EQ(sessionTimeoutSeconds("abc;timeout=0"), std::nullopt);
  EXPECT_EQ(sessionTimeoutSeconds("abc;timeout=x"), std::nullopt);
}

}  // namespace
}  // namespace strevana
