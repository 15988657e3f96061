#pragma once
// Hand-made RTP/RTCP datagrams for the RTP library tests.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "protocols/rtp/rtp_session.h"
#include "support/loopback_peer.h"

namespace strevana::rtp_test {

inline void put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x >> 8));
  v.push_back(static_cast<uint8_t>(x));
}
inline void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, static_cast<uint16_t>(x >> 16));
  put16(v, static_cast<uint16_t>(x));
}

struct RtpFields {
  uint16_t seq = 0;
  uint32_t timestamp = 0;
  uint32_t ssrc = 0x11223344;
  uint8_t payloadType = 96;
  bool marker = false;
  std::vector<uint32_t> csrcs;
  bool extension = false;
  uint16_t extensionId = 0xbede;
  std::vector<uint8_t> extensionData;  // multiple of 4
  std::vector<uint8_t> payload = std::vector<uint8_t>(4, 0xa5);
  uint8_t padding = 0;  // padding bytes to append (count in the last one)
  uint8_t version = 2;
};

inline std::vector<uint8_t> makeRtp(const RtpFields& s) {
  std::vector<uint8_t> v;
  v.push_back(static_cast<uint8_t>((s.version << 6) | (s.padding ? 0x20 : 0) |
                                   (s.extension ? 0x10 : 0) | (s.csrcs.size() & 0x0f)));
  v.push_back(static_cast<uint8_t>((s.marker ? 0x80 : 0) | (s.payloadType & 0x7f)));
  put16(v, s.seq);
  put32(v, s.timestamp);
  put32(v, s.ssrc);
  for (uint32_t c : s.csrcs) put32(v, c);
  if (s.extension) {
    put16(v, s.extensionId);
    put16(v, static_cast<uint16_t>(s.extensionData.size() / 4));
    v.insert(v.end(), s.extensionData.begin(), s.extensionData.end());
  }
  v.insert(v.end(), s.payload.begin(), s.payload.end());
  if (s.padding) {
    for (int i = 1; i < s.padding; ++i) v.push_back(0);
    v.push_back(s.padding);
  }
  return v;
}

inline std::vector<uint8_t> makeRtp(uint16_t seq, uint32_t ssrc = 0x11223344,
                                    uint32_t timestamp = 0) {
  RtpFields s;
  s.seq = seq;
  s.ssrc = ssrc;
  s.timestamp = timestamp;
  s.payload = {static_cast<uint8_t>(seq >> 8), static_cast<uint8_t>(seq)};
  return makeRtp(s);
}

// Sender report with no blocks: SSRC, NTP seconds/fraction, RTP timestamp,
// packet and octet counts.
inline std::vector<uint8_t> makeSenderReport(uint32_t ssrc, uint32_t ntpSec, uint32_t ntpFrac,
                                             uint32_t rtpTs) {
  std::vector<uint8_t> v{0x80, 200, 0, 6};
  put32(v, ssrc);
  put32(v, ntpSec);
  put32(v, ntpFrac);
  put32(v, rtpTs);
  put32(v, 10);
  put32(v, 1000);
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
  while (v.size() % 4) v.push_back(0);
  const uint16_t words = static_cast<uint16_t>(v.size() / 4 - 1);
  v[2] = static_cast<uint8_t>(words >> 8);
  v[3] = static_cast<uint8_t>(words);
  return v;
}

inline std::vector<uint8_t> makeBye(uint32_t ssrc, const std::string& reason = {}) {
  std::vector<uint8_t> v{0x81, 203, 0, 0};
  put32(v, ssrc);
  if (!reason.empty()) {
    v.push_back(static_cast<uint8_t>(reason.size()));
    v.insert(v.end(), reason.begin(), reason.end());
    while (v.size() % 4) v.push_back(0);
  }
  const uint16_t words = static_cast<uint16_t>(v.size() / 4 - 1);
  v[2] = static_cast<uint8_t>(words >> 8);
  v[3] = static_cast<uint8_t>(words);
  return v;
}

inline std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A heap block of exactly the datagram's size, so AddressSanitizer catches
// any read past its end.
struct ExactBytes {
  explicit ExactBytes(const std::vector<uint8_t>& v)
      : size(v.size()), data(new uint8_t[v.size() ? v.size() : 1]) {
    if (!v.empty()) std::memcpy(data.get(), v.data(), v.size());
  }
  size_t size;
  std::unique_ptr<uint8_t[]> data;
};

inline size_t openDescriptorCount() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

// Opens `session` on the first free even port pair from a pseudo-random base.
inline int createOnFreePorts(RtpSession& session, bool reuse = false) {
  int base = 20000 + static_cast<int>(getpid() % 10000) * 2;
  for (int tries = 0; tries < 200; ++tries, base += 2) {
    const int rc = session.create(base, 0, reuse);
    if (rc != kRtpBindFailed) return rc;
  }
  return kRtpBindFailed;
}

}  // namespace strevana::rtp_test
