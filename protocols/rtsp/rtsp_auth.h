#pragma once
// RtspAuthenticator: answers a server's login challenge (RFC 2326 D.1, which
// takes HTTP's schemes: RFC 2617 Basic and Digest). Given the credentials and
// a WWW-Authenticate value it makes the Authorization header for each later
// request: Basic once the server asked for it, Digest with MD5 (RFC 2617
// 3.2.2: qop=auth with a fresh nonce count and client nonce per request when
// the server offers qop, else the RFC 2069 form without them).
//
// Threads: one at a time (the RTSP client's). Owned by the client.
//
// Choices:
// - Only "auth" of the offered qop values is used; a challenge that offers
//   only "auth-int", or names an algorithm other than MD5, is not answered.
// - A challenge holding several schemes (one header listing Digest and
//   Basic) is answered with Digest.
// - Credentials never leave this object except inside the header.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocols/rtsp/rtsp_credentials.h"

namespace strevana {

class RtspAuthenticator {
 public:
  void setCredentials(std::optional<RtspCredentials> credentials) {
    credentials_ = std::move(credentials);
    scheme_ = Scheme::kNone;
  }
  bool hasCredentials() const { return credentials_.has_value(); }
  // Nothing is sent before the next challenge (another server is asked:
  // its realm and nonce are its own, and Basic must not go there unasked).
  void forgetChallenge() { scheme_ = Scheme::kNone; }

  // Takes a challenge; true when requests can now be authorized by it (there
  // are credentials and the scheme is one this class answers). A Digest
  // challenge replaces the nonce and restarts the nonce count.
  bool takeChallenge(std::string_view wwwAuthenticate);
  // Whether the challenge last taken said the previous nonce was stale
  // (RFC 2617 3.2.1): the password was right, only the nonce must change.
  bool staleNonce() const { return stale_; }

  // The Authorization value for `method` on `uri`, or none before a
  // challenge has been taken. Each Digest answer with qop counts one nonce.
  std::optional<std::string> authorization(std::string_view method, std::string_view uri);

  // Pieces exposed for tests against the RFC's worked example.
  static std::string md5Hex(std::string_view text);
  void setClientNonce(std::string cnonce) { fixedCnonce_ = std::move(cnonce); }

 private:
  enum class Scheme { kNone, kBasic, kDigest };

  std::optional<RtspCredentials> credentials_;
  Scheme scheme_ = Scheme::kNone;
  std::string realm_;
  std::string nonce_;
  std::string opaque_;
  bool qopAuth_ = false;
  bool algorithmNamed_ = false;
  bool stale_ = false;
  uint32_t nonceCount_ = 0;
  std::optional<std::string> fixedCnonce_;
};

}  // namespace strevana
