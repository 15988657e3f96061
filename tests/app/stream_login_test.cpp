// Opening a stream whose server asks for a login: the Login dialog, the
// message when the login is refused, and a password that is used but never
// kept (caption, recent list, URL history).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dialogs.h"
#include "shell_test.h"
#include "streaming/rtsp_peer.h"

namespace strevana {
namespace {

using testing::RtspPeer;
using testing::rtspReply;
using testing::RtspRequestSeen;
using testing::ShellTest;

// Audio only (AAC LC, 44.1 kHz stereo), so a stream opens without pictures.
constexpr const char* kDescription =
    "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=s\r\nc=IN IP4 0.0.0.0\r\nt=0 0\r\n"
    "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 mpeg4-generic/44100/2\r\n"
    "a=fmtp:97 "
    "streamtype=5;mode=AAC-hbr;config=1210;SizeLength=13;IndexLength=3;IndexDeltaLength=3\r\n"
    "a=control:track1\r\n";

// Basic alice:s3cret (RFC 2617 2).
std::string answer(const RtspRequestSeen& r, const std::string& base) {
  if (r.header("Authorization") != "Basic YWxpY2U6czNjcmV0") {
    return rtspReply(r, "401 Unauthorized", "WWW-Authenticate: Basic realm=\"media\"\r\n");
  }
  if (r.method == "DESCRIBE") {
    return rtspReply(r, "200 OK",
                     "Content-Base: " + base + "/\r\nContent-Type: application/sdp\r\n",
                     kDescription);
  }
  if (r.method == "SETUP") {
    return rtspReply(
        r, "200 OK",
        "Session: 1\r\nTransport: " + r.header("Transport") + ";server_port=9000-9001\r\n");
  }
  return rtspReply(r, "200 OK", "Session: 1\r\n");
}

class StreamLoginTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    start("");
    withEngine([](PlaybackEngine& e) {
      e.setRtspTransport(1);  // UDP: nothing is sent, and nothing need be
      return 0;
    });
  }
  RtspPeer server_{[this](const RtspRequestSeen& r) { return answer(r, server_.url("/live")); }};
};

TEST_F(StreamLoginTest, LoginAskedForUsedAndNeverKept) {
  struct Case {
    const char* name;
    std::string userinfo;  // typed into the URL
    bool asked;            // the Login dialog comes up
    bool cancel;
    std::string password;  // typed into it
    bool opened;
    std::string message;  // the message box, if any
  };
  const std::string plain = server_.url("/live");
  // clang-format off
  const Case cases[] = {
      {"asked, right", "", true, false, "s3cret", true, ""},
      {"asked, wrong", "", true, false, "nope", false, "Login refused (wrong user name or password): " + plain},
      {"asked, cancelled", "", true, true, "", false, "Cannot open " + plain},
      {"in the URL", "alice:s3cret@", false, false, "", true, ""},
      {"wrong in the URL", "alice:nope@", true, false, "s3cret", true, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    dialogCaptions.clear();
    const std::string typed = "rtsp://" + c.userinfo + plain.substr(7);
    std::string loginShows;
    std::string userOffered;
    answerDialog = [&](Dialog& d) {
      if (d.windowTitle() == "Open URL") {
        d.type(1000, typed);
        d.click(kIdOk);
        return;
      }
      loginShows = d.itemText(1063);
      userOffered = d.itemText(1064);
      if (c.cancel) {
        d.click(kIdCancel);
        return;
      }
      d.type(1064, "alice");
      d.type(1065, c.password);
      d.click(kIdOk);
    };
    command(kCmdOpenUrl);
    EXPECT_EQ(dialogCaptions.size(), c.asked ? 2u : 1u);
    if (c.asked) {
      EXPECT_EQ(loginShows, c.userinfo.empty() ? plain : "rtsp://alice@" + plain.substr(7));
      EXPECT_EQ(userOffered, c.userinfo.empty() ? "" : "alice");
    }
    const bool open = withEngine([](PlaybackEngine& e) { return e.source() != nullptr; });
    EXPECT_EQ(open, c.opened);
    ASSERT_EQ(boxes.size(), c.message.empty() ? 0u : 1u);
    if (!c.message.empty()) {
      EXPECT_EQ(boxes[0].text, c.message);
    }
    // The password is nowhere the player keeps or shows a name.
    EXPECT_EQ(app().mainWindow->caption().find("s3cret"), std::string::npos);
    EXPECT_EQ(app().mainWindow->caption().find("nope"), std::string::npos);
    std::vector<std::string> kept;
    for (int32_t i = 0; i < app().recentList.count; ++i)
      kept.push_back(app().recentList.entries[static_cast<size_t>(i)].name);
    for (size_t i = 0; i < app().urlHistory.count(); ++i) kept.push_back(app().urlHistory.at(i));
    EXPECT_FALSE(kept.empty());
    for (const std::string& name : kept) {
      EXPECT_EQ(name.find("s3cret"), std::string::npos) << name;
      EXPECT_EQ(name.find("nope"), std::string::npos) << name;
    }
    if (c.opened) {
      EXPECT_EQ(app().mainWindow->caption(),
                "rtsp://" + std::string(c.userinfo.empty() ? "" : "alice@") + plain.substr(7));
    }
  }
}

}  // namespace
}  // namespace strevana
