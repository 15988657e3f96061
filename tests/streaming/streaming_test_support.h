#pragma once
// Helpers shared by the streaming tests: frames over plain byte arrays,
// decoded descriptions with their media entries, and hand-built RTP
// datagrams.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "protocols/sdp/sdp_decoder.h"
#include "protocols/sdp/sdp_input.h"
#include "streaming/media_entry.h"
#include "streaming/rtp_frame.h"

namespace strevana::testing {

// A frame whose data is `bytes` (no element), assembled from packets of the
// given payload sizes (one packet of everything when none are given).
inline std::unique_ptr<RtpFrame> makeFrame(std::vector<uint8_t>& bytes, int64_t timestamp = 0,
                                           std::vector<uint32_t> packetSizes = {}) {
  auto frame = std::make_unique<RtpFrame>();
  frame->data = bytes.data();
  frame->size = static_cast<uint32_t>(bytes.size());
  frame->timestamp = timestamp;
  frame->packetSizes = packetSizes.empty() ? std::vector<uint32_t>{frame->size} : std::move(packetSizes);
  return frame;
}

// A decoded description and one MediaEntry per m= line, in order, linked.
struct DescribedMedia {
  std::unique_ptr<SdpSession> sdp;
  std::vector<std::unique_ptr<MediaEntry>> entries;

  MediaEntry* entry(size_t i) { return i < entries.size() ? entries[i].get() : nullptr; }
};

inline DescribedMedia describe(const std::string& sdpText) {
  DescribedMedia d;
  auto input = makeSdpMemoryInput(sdpText);
  int count = 0;
  decodeSdp(input.get(), d.sdp, count);
  if (!d.sdp) return d;
  for (SdpMedia* m = d.sdp->media.get(); m; m = m->next.get()) {
    auto e = std::make_unique<MediaEntry>();
    e->media = m;
    if (!d.entries.empty()) d.entries.back()->next = e.get();
    d.entries.push_back(std::move(e));
  }
  return d;
}

// "m=<type> 0 RTP/AVP 96" with the given rtpmap and fmtp lines.
inline std::string oneMedia(const std::string& type, const std::string& rtpmap, const std::string& fmtp = "") {
  std::string text = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=t\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n";
  text += "m=" + type + " 5004 RTP/AVP 96\r\n";
  if (!rtpmap.empty()) text += "a=rtpmap:96 " + rtpmap + "\r\n";
  if (!fmtp.empty()) text += "a=fmtp:96 " + fmtp + "\r\n";
  return text;
}

// An RTP datagram (RFC 3550 5.1) with the given header fields and payload.
inline std::vector<uint8_t> rtpDatagram(uint16_t sequence, uint32_t timestamp, bool marker,
                                        const std::vector<uint8_t>& payload, uint8_t payloadType = 96,
                                        uint32_t ssrc = 0x11223344) {
  std::vector<uint8_t> d(12 + payload.size());
  const uint8_t header[12] = {0x80,
                              static_cast<uint8_t>((marker ? 0x80 : 0) | (payloadType & 0x7f)),
                              static_cast<uint8_t>(sequence >> 8),
                              static_cast<uint8_t>(sequence),
                              static_cast<uint8_t>(timestamp >> 24),
                              static_cast<uint8_t>(timestamp >> 16),
                              static_cast<uint8_t>(timestamp >> 8),
                              static_cast<uint8_t>(timestamp),
                              static_cast<uint8_t>(ssrc >> 24),
                              static_cast<uint8_t>(ssrc >> 16),
                              static_cast<uint8_t>(ssrc >> 8),
                              static_cast<uint8_t>(ssrc)};
  for (size_t i = 0; i < 12; ++i) d[i] = header[i];
  for (size_t i = 0; i < payload.size(); ++i) d[12 + i] = payload[i];
  return d;
}

}  // namespace strevana::testing
