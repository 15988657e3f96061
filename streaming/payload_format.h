#pragma once
// PayloadFormat: how one RTP payload format turns an assembled frame (the
// payloads of the packets up to a marker bit) into the access units a decoder
// takes, each with its own time.
//
// Obligations of an implementation:
// - Every length read from the payload is checked against the bytes present;
//   a frame that does not hold together (a header or size running past its
//   packet, too many sub-frames) yields kMalformed and no access units at
//   all, so a damaged frame never reaches a decoder in part.
// - Access units come out in decoding order. Their data points into the
//   frame, or into a buffer of the format object itself, and stays valid
//   until the next call on the same object or until the frame is freed.
// - Times are in the stream's RTP clock units: the frame's timestamp for its
//   first access unit, later units by their own offset.
// - State kept across frames (an access unit reassembled from fragments) is
//   dropped by reset() and whenever a frame is marked discontinuous.
// Threads: one object per stream, used only by the thread that delivers the
// stream's frames (the receive thread). Made by createPayloadFormat
// (payload_format_registry.h), owned by whoever made it.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "streaming/rtp_frame.h"

namespace strevana {

struct AccessUnit {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  int64_t timestamp = 0;  // RTP clock units
};

enum class PayloadResult {
  kOk,         // zero or more access units (none: a fragment was kept)
  kMalformed,  // the frame is dropped whole
};

// What a format learns from the media description.
struct PayloadFormatParameters {
  std::string formatParameters;  // the fmtp value after the format number
  uint32_t clockRate = 0;        // the rtpmap clock rate (0 when absent)
  uint32_t channels = 0;         // the rtpmap encoding parameter
};

class PayloadFormat {
 public:
  virtual ~PayloadFormat() = default;
  // The encoding name this format is registered under.
  virtual std::string_view name() const = 0;
  // Appends the frame's access units to `units` (which it does not clear).
  virtual PayloadResult depacketize(const RtpFrame& frame, std::vector<AccessUnit>& units) = 0;
  virtual void reset() {}
};

}  // namespace strevana
