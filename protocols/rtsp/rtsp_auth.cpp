#include "protocols/rtsp/rtsp_auth.h"

extern "C" {
#include <libavutil/base64.h>
#include <libavutil/md5.h>
}

#include <cstdio>
#include <random>
#include <vector>

namespace strevana {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }

// One challenge: a scheme and its auth-params (RFC 2617 1.2), read from
// `text` starting at `at`; `at` ends at the next scheme, if any.
struct Challenge {
  std::string scheme;
  std::vector<std::pair<std::string, std::string>> params;

  const std::string* param(std::string_view name) const {
    for (const auto& [key, value] : params) {
      if (equalNoCase(key, name)) return &value;
    }
    return nullptr;
  }
};

std::size_t skipSpaces(std::string_view text, std::size_t at) {
  while (at < text.size() && (isSpace(text[at]) || text[at] == ',')) ++at;
  return at;
}

std::string_view token(std::string_view text, std::size_t& at) {
  const std::size_t start = at;
  while (at < text.size() && !isSpace(text[at]) && text[at] != ',' && text[at] != '=') ++at;
  return text.substr(start, at - start);
}

std::optional<Challenge> readChallenge(std::string_view text, std::size_t& at) {
  at = skipSpaces(text, at);
  Challenge c;
  c.scheme = std::string(token(text, at));
  if (c.scheme.empty()) return std::nullopt;
  for (;;) {
    const std::size_t mark = skipSpaces(text, at);
    std::size_t p = mark;
    const std::string_view name = token(text, p);
    while (p < text.size() && isSpace(text[p])) ++p;
    if (name.empty() || p >= text.size() || text[p] != '=') {
      at = mark;  // the next scheme starts here (or the text ended)
      return c;
    }
    ++p;
    while (p < text.size() && isSpace(text[p])) ++p;
    std::string value;
    if (p < text.size() && text[p] == '"') {
      for (++p; p < text.size() && text[p] != '"'; ++p) {
        if (text[p] == '\\' && p + 1 < text.size()) ++p;
        value.push_back(text[p]);
      }
      if (p < text.size()) ++p;  // the closing quote
    } else {
      const std::size_t start = p;
      while (p < text.size() && text[p] != ',' && !isSpace(text[p])) ++p;
      value.assign(text.substr(start, p - start));
    }
    c.params.emplace_back(std::string(name), std::move(value));
    at = p;
  }
}

bool listHas(std::string_view list, std::string_view item) {
  std::size_t at = 0;
  while (at < list.size()) {
    while (at < list.size() && (isSpace(list[at]) || list[at] == ',')) ++at;
    const std::size_t start = at;
    while (at < list.size() && !isSpace(list[at]) && list[at] != ',') ++at;
    if (equalNoCase(list.substr(start, at - start), item)) return true;
  }
  return false;
}

// Quoted-string contents: a quote or backslash is escaped (RFC 2616 2.2).
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

}  // namespace

std::string RtspAuthenticator::md5Hex(std::string_view text) {
  uint8_t digest[16];
  av_md5_sum(digest, reinterpret_cast<const uint8_t*>(text.data()), text.size());
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const uint8_t b : digest) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

bool RtspAuthenticator::takeChallenge(std::string_view text) {
  stale_ = false;
  if (!credentials_) return false;
  std::optional<Challenge> basic;
  std::optional<Challenge> digest;
  std::size_t at = 0;
  while (std::optional<Challenge> c = readChallenge(text, at)) {
    if (equalNoCase(c->scheme, "Digest") && !digest)
      digest = std::move(c);
    else if (equalNoCase(c->scheme, "Basic") && !basic)
      basic = std::move(c);
  }
  if (digest) {
    const std::string* nonce = digest->param("nonce");
    const std::string* algorithm = digest->param("algorithm");
    const std::string* qop = digest->param("qop");
    const bool md5 = !algorithm || equalNoCase(*algorithm, "MD5");
    const bool answerable = !qop || listHas(*qop, "auth");
    if (nonce && md5 && answerable) {
      scheme_ = Scheme::kDigest;
      realm_ = digest->param("realm") ? *digest->param("realm") : "";
      nonce_ = *nonce;
      opaque_ = digest->param("opaque") ? *digest->param("opaque") : "";
      qopAuth_ = qop != nullptr;
      algorithmNamed_ = algorithm != nullptr;
      const std::string* stale = digest->param("stale");
      stale_ = stale && equalNoCase(*stale, "true");
      nonceCount_ = 0;
      return true;
    }
  }
  if (basic) {
    scheme_ = Scheme::kBasic;
    realm_ = basic->param("realm") ? *basic->param("realm") : "";
    return true;
  }
  return false;
}

std::optional<std::string> RtspAuthenticator::authorization(std::string_view method,
                                                            std::string_view uri) {
  if (!credentials_ || scheme_ == Scheme::kNone) return std::nullopt;
  const RtspCredentials& c = *credentials_;
  if (scheme_ == Scheme::kBasic) {
    const std::string pair = c.user + ":" + c.password;
    std::vector<char> encoded(AV_BASE64_SIZE(pair.size()));
    if (!av_base64_encode(encoded.data(), static_cast<int>(encoded.size()),
                          reinterpret_cast<const uint8_t*>(pair.data()),
                          static_cast<int>(pair.size()))) {
      return std::nullopt;
    }
    return "Basic " + std::string(encoded.data());
  }
  const std::string ha1 = md5Hex(c.user + ":" + realm_ + ":" + c.password);
  const std::string ha2 = md5Hex(std::string(method) + ":" + std::string(uri));
  std::string header = "Digest username=" + quoted(c.user) + ", realm=" + quoted(realm_) +
                       ", nonce=" + quoted(nonce_) + ", uri=" + quoted(uri);
  std::string response;
  if (qopAuth_) {
    ++nonceCount_;
    char nc[9];
    std::snprintf(nc, sizeof nc, "%08x", nonceCount_);
    std::string cnonce;
    if (fixedCnonce_) {
      cnonce = *fixedCnonce_;
    } else {
      std::random_device random;
      char text[17];
      std::snprintf(text, sizeof text, "%08x%08x", random(), random());
      cnonce = text;
    }
    response = md5Hex(ha1 + ":" + nonce_ + ":" + nc + ":" + cnonce + ":auth:" + ha2);
    header += ", qop=auth, nc=" + std::string(nc) + ", cnonce=" + quoted(cnonce);
  } else {
    response = md5Hex(ha1 + ":" + nonce_ + ":" + ha2);  // RFC 2069
  }
  header += ", response=" + quoted(response);
  if (algorithmNamed_) header += ", algorithm=MD5";
  if (!opaque_.empty()) header += ", opaque=" + quoted(opaque_);
  return header;
}

}  // namespace strevana
