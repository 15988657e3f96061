#include "protocols/rtsp/rtsp_auth.h"

#include <gtest/gtest.h>

#include <string>

#include "protocols/rtsp/rtsp_credentials.h"

namespace strevana {
namespace {

// The worked examples of RFC 2617 3.5 (qop=auth), RFC 2069 2.4 (no qop) and
// RFC 2617 2 (Basic).
TEST(RtspAuthenticator, AnswersTheRfcExamples) {
  RtspAuthenticator digest;
  digest.setCredentials(RtspCredentials{"Mufasa", "Circle Of Life"});
  ASSERT_TRUE(
      digest.takeChallenge("Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                           "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                           "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""));
  digest.setClientNonce("0a4f113b");
  EXPECT_EQ(digest.authorization("GET", "/dir/index.html"),
            "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
            "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", qop=auth, "
            "nc=00000001, cnonce=\"0a4f113b\", response=\"6629fae49393a05397450978507c4ef1\", "
            "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
  // Every request counts the nonce once more.
  EXPECT_NE(digest.authorization("GET", "/").value_or("").find("nc=00000002"), std::string::npos);

  RtspAuthenticator old;
  old.setCredentials(RtspCredentials{"Mufasa", "CircleOfLife"});
  ASSERT_TRUE(old.takeChallenge(
      "Digest realm=\"testrealm@host.com\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
      "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""));
  // RFC 2069 prints e966c932...; that value is a known erratum of the RFC.
  // This one is the RFC's formula worked with Python's hashlib.
  EXPECT_EQ(
      old.authorization("GET", "/dir/index.html"),
      "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
      "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", "
      "response=\"1949323746fe6a43ef61f9606e7febea\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");

  RtspAuthenticator basic;
  basic.setCredentials(RtspCredentials{"Aladdin", "open sesame"});
  EXPECT_EQ(basic.authorization("DESCRIBE", "rtsp://h/a"), std::nullopt);  // not before a challenge
  ASSERT_TRUE(basic.takeChallenge("Basic realm=\"WallyWorld\""));
  EXPECT_EQ(basic.authorization("DESCRIBE", "rtsp://h/a"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST(RtspAuthenticator, ChallengesItCannotOrNeedNotAnswer) {
  struct Case {
    const char* challenge;
    bool withCredentials;
    bool answered;
    const char* scheme;
  };
  // clang-format off
  const Case cases[] = {
      {"Digest realm=\"r\", nonce=\"n\"", false, false, ""},
      {"Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256", true, false, ""},
      {"Digest realm=\"r\", nonce=\"n\", qop=\"auth-int\"", true, false, ""},
      {"Digest realm=\"r\"", true, false, ""},  // no nonce
      {"Negotiate abc", true, false, ""},
      {"", true, false, ""},
      {"Basic realm=\"r\", Digest realm=\"r\", nonce=\"n\"", true, true, "Digest"},
      {"Digest realm=\"r\", nonce=\"n\", algorithm=SHA-256, Basic realm=\"r\"", true, true, "Basic"},
      {"digest REALM=r,NONCE=n,QOP=auth", true, true, "Digest"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.challenge);
    RtspAuthenticator a;
    if (c.withCredentials) a.setCredentials(RtspCredentials{"u", "p"});
    EXPECT_EQ(a.takeChallenge(c.challenge), c.answered);
    const std::string header = a.authorization("DESCRIBE", "rtsp://h/a").value_or("");
    EXPECT_EQ(header.empty(), *c.scheme == '\0');
    EXPECT_EQ(header.rfind(c.scheme, 0), 0u);
  }
}

// A stale nonce (RFC 2617 3.2.1) holds for that challenge only.
TEST(RtspAuthenticator, StaleFlagHoldsForItsChallengeOnly) {
  RtspAuthenticator a;
  a.setCredentials(RtspCredentials{"u", "p"});
  for (const auto& [challenge, stale] :
       {std::pair{"Digest realm=\"r\", nonce=\"n\", stale=TRUE", true},
        std::pair{"Basic realm=\"r\"", false}, std::pair{"Digest nonce=\"m\", stale=true", true},
        std::pair{"Negotiate abc", false}, std::pair{"Digest nonce=\"o\", stale=false", false}}) {
    a.takeChallenge(challenge);
    EXPECT_EQ(a.staleNonce(), stale) << challenge;
  }
}

TEST(RtspCredentials, UrlsSplitShownAndRebuilt) {
  struct Case {
    const char* url;
    const char* bare;
    const char* user;  // null: no credentials
    const char* password;
    const char* shown;
  };
  // clang-format off
  const Case cases[] = {
      {"rtsp://h:554/a", "rtsp://h:554/a", nullptr, "", "rtsp://h:554/a"},
      {"rtsp://alice:s3cret@h:8554/a/b", "rtsp://h:8554/a/b", "alice", "s3cret", "rtsp://alice@h:8554/a/b"},
      {"rtsp://bob@h/a", "rtsp://h/a", "bob", "", "rtsp://bob@h/a"},
      {"rtsp://a%40b:p%3Aq%2F@h/x", "rtsp://h/x", "a@b", "p:q/", "rtsp://a%40b@h/x"},
      {"rtsp://u:p@w@h/x", "rtsp://h/x", "u", "p@w", "rtsp://u@h/x"},
      {"rtsp://h/path@not-userinfo", "rtsp://h/path@not-userinfo", nullptr, "", "rtsp://h/path@not-userinfo"},
      {"rtsp://:pw@h/x", "rtsp://h/x", "", "pw", "rtsp://h/x"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    std::optional<RtspCredentials> split, again;
    EXPECT_EQ(splitUrlCredentials(c.url, split), c.bare);
    EXPECT_EQ(urlWithoutPassword(c.url), c.shown);
    ASSERT_EQ(split.has_value(), c.user != nullptr);
    if (!split) continue;
    EXPECT_EQ(std::tie(split->user, split->password), std::tuple(c.user, c.password));
    // What a login dialog puts back reads the same.
    EXPECT_EQ(splitUrlCredentials(urlWithCredentials(c.bare, *split), again), c.bare);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(std::tie(again->user, again->password), std::tuple(c.user, c.password));
  }
  // RFC 3986 2.3: unreserved characters go into the userinfo as they are.
  EXPECT_EQ(urlWithCredentials("rtsp://old@h/x", RtspCredentials{"Az09-._~", "p w:@/"}),
            "rtsp://Az09-._~:p%20w%3A%40%2F@h/x");
  EXPECT_EQ(urlWithCredentials("rtsp://h/x", RtspCredentials{"\xc3\xa9", ""}), "rtsp://%C3%A9@h/x");
}

}  // namespace
}  // namespace strevana
