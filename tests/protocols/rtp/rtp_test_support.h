#pragma once
// Hand-made RTP/RTCP datagrams (RFC 3550 5.1, 6.4-6.6) for the RTP library tests.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "protocols/rtp/rtp_session.h"

namespace strevana::rtp_test {

inline void put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int shift = 24; shift >= 0; shift -= 8) v.push_back(static_cast<uint8_t>(x >> shift));
}

struct RtpFields {
  uint16_t seq = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0x11223344;
  uint8_t payloadType = 96;
  bool marker = false;
  std::vector<uint32_t> csrcs;
  std::vector<uint8_t> extension;  // id 0xbede and these words, when not empty
  std::vector<uint8_t> payload = std::vector<uint8_t>(4, 0xa5);
  uint8_t padding = 0;  // padding bytes to append (count in the last one)
};

inline std::vector<uint8_t> makeRtp(const RtpFields& s) {
  std::vector<uint8_t> v{
      static_cast<uint8_t>(0x80 | (s.padding ? 0x20 : 0) | (s.extension.empty() ? 0 : 0x10) |
                           (s.csrcs.size() & 0x0f)),
      static_cast<uint8_t>((s.marker ? 0x80 : 0) | (s.payloadType & 0x7f)),
      static_cast<uint8_t>(s.seq >> 8), static_cast<uint8_t>(s.seq)};
  put32(v, s.timestamp);
  put32(v, s.ssrc);
  for (uint32_t c : s.csrcs) put32(v, c);
  if (!s.extension.empty()) {
    put32(v, 0xbede0000u | static_cast<uint32_t>(s.extension.size() / 4));
    v.insert(v.end(), s.extension.begin(), s.extension.end());
  }
  v.insert(v.end(), s.payload.begin(), s.payload.end());
  if (s.padding) v.resize(v.size() + s.padding, 0), v.back() = s.padding;
  return v;
}

// Two payload bytes carrying the sequence number.
inline std::vector<uint8_t> makeRtp(uint16_t seq, uint32_t ssrc = 0x11223344,
                                    uint32_t timestamp = 0) {
  RtpFields s;
  s.seq = seq;
  s.timestamp = timestamp;
  s.ssrc = ssrc;
  s.payload = {static_cast<uint8_t>(seq >> 8), static_cast<uint8_t>(seq)};
  return makeRtp(s);
}

// Sets the length field of the RTCP packet at `at` from its size.
inline std::vector<uint8_t> sealed(std::vector<uint8_t> v, size_t at = 0) {
  while (v.size() % 4) v.push_back(0);
  const size_t words = (v.size() - at) / 4 - 1;
  v[at + 2] = static_cast<uint8_t>(words >> 8);
  v[at + 3] = static_cast<uint8_t>(words);
  return v;
}

// Sender report without blocks; packet count 10, octet count 1000.
inline std::vector<uint8_t> makeSenderReport(uint32_t ssrc, uint32_t ntpSec, uint32_t ntpFrac,
                                             uint32_t rtpTs) {
  std::vector<uint8_t> v{0x80, 200, 0, 6};
  for (uint32_t x : {ssrc, ntpSec, ntpFrac, rtpTs, 10u, 1000u}) put32(v, x);
  return v;
}

// SDES with one chunk holding a CNAME.
inline std::vector<uint8_t> makeSdesCname(uint32_t ssrc, const std::string& cname) {
  std::vector<uint8_t> v{0x81, 202, 0, 0};
  put32(v, ssrc);
  v.push_back(1);
  v.push_back(static_cast<uint8_t>(cname.size()));
  v.insert(v.end(), cname.begin(), cname.end());
  v.push_back(0);
  return sealed(v);
}

inline std::vector<uint8_t> makeBye(uint32_t ssrc, const std::string& reason = {}) {
  std::vector<uint8_t> v{0x81, 203, 0, 0};
  put32(v, ssrc);
  if (!reason.empty()) v.push_back(static_cast<uint8_t>(reason.size()));
  v.insert(v.end(), reason.begin(), reason.end());
  return sealed(v);
}

inline std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Opens `session` on the first free even port pair from a pseudo-random base.
inline int createOnFreePorts(RtpSession& session, bool reuse = false, uint32_t local = 0) {
  int base = 20000 + static_cast<int>(getpid() % 10000) * 2;
  for (int tries = 0; tries < 200; ++tries, base += 2) {
    const int rc = session.create(base, local, reuse);
    if (rc != kRtpBindFailed) return rc;
  }
  return kRtpBindFailed;
}

}  // namespace strevana::rtp_test
