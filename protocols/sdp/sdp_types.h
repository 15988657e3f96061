#pragma once
// Records produced by the SDP decoder (decodeSdp in sdp_decoder.h).
//
// A decoded description is a list of SdpSession (one per v= line) linked by
// `next`; each session owns its SdpMedia list (one per m= line, in order) and
// each media its SdpFormat list (one per format token of its m= line, in
// order). Everything is owned through unique_ptr, so dropping the first
// session frees the whole description; the destructors unlink the chains
// iteratively so that long lists cannot exhaust the stack.
// Optional texts are std::nullopt when the description did not give them.
// The records are plain data: any thread may read them, none locks them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace strevana {

struct SdpRtpMap {
  std::string encodingName;
  uint32_t clockRate = 90000;
  uint32_t encodingParameter = 0;  // channel count for audio; 0 when absent
};

struct SdpFormat {
  std::unique_ptr<SdpFormat> next;
  std::string format;  // token of the m= line, e.g. "96"
  std::optional<SdpRtpMap> rtpMap;
  std::optional<std::string> formatParameters;  // value of a=fmtp after the format

  SdpFormat() = default;
  SdpFormat(const SdpFormat&) = delete;
  SdpFormat& operator=(const SdpFormat&) = delete;
  ~SdpFormat();
};

struct SdpConnection {
  std::string networkType;  // address type after "IN", e.g. "IP4"
  std::string address;
  uint32_t ttl = 0;
  uint32_t addressCount = 0;  // 0 when not given
  bool used = false;
};

enum class SdpBandwidthKind : int { kConferenceTotal = 1, kApplicationSpecific = 2, kOther = 3 };

struct SdpBandwidth {
  SdpBandwidthKind kind = SdpBandwidthKind::kOther;
  std::string name;  // modifier as written, only for kOther
  uint32_t value = 0;
};

struct SdpRepeat {
  uint32_t interval = 0;
  uint32_t activeDuration = 0;
  std::vector<uint32_t> offsets;  // 1 to 16 entries, seconds
};

struct SdpTime {
  uint32_t start = 0;  // Unix seconds; 0 stays 0 (unbounded)
  uint32_t stop = 0;
  std::vector<SdpRepeat> repeats;
};

struct SdpZoneAdjustment {
  uint32_t time = 0;   // as written (NTP seconds)
  int64_t offset = 0;  // seconds, may be negative
};

enum class SdpKeyMethod : int { kPrompt = 1, kClear = 2, kBase64 = 3, kUri = 4 };

struct SdpKey {
  SdpKeyMethod method = SdpKeyMethod::kPrompt;
  std::string key;  // empty for prompt
};

struct SdpRange {
  bool valid = false;
  bool npt = false;    // npt when set, else smpte
  double start = 0.0;  // seconds
  double end = 0.0;    // seconds; meaningless when openEnd
  double smpteFrameRate = 0.0;
  bool openEnd = false;   // no end, or a range from "now": unknown duration
  bool startNow = false;  // npt "now-" (start 0.0)
};

struct SdpDirection {
  bool recvOnly = false;
  bool sendRecv = false;
  bool sendOnly = false;
};

struct SdpSession;

struct SdpMedia {
  std::unique_ptr<SdpMedia> next;
  SdpSession* session = nullptr;  // owning session
  std::string mediaType;          // "audio", "video", ...
  uint16_t port = 0;
  uint16_t portCount = 0;  // 0 when not given
  std::string protocol;    // e.g. "RTP/AVP"
  std::optional<std::string> information;
  SdpConnection connection;
  std::vector<SdpBandwidth> bandwidths;
  std::unique_ptr<SdpFormat> formats;  // first format of the m= line
  std::optional<std::string> sdplang;
  std::optional<std::string> lang;
  std::optional<std::string> control;
  int orientation = 0;  // 0 none, 1 portrait, 2 landscape, 3 seascape, 4 other
  std::optional<std::string> orientationText;  // only for 4
  SdpDirection direction;
  bool ptimePresent = false;
  uint32_t ptime = 0;
  bool qualityPresent = false;
  uint32_t quality = 0;
  bool frameRatePresent = false;
  double frameRate = 0.0;
  SdpRange range;
  std::optional<SdpKey> key;
  std::vector<std::string> attributes;  // a= lines not interpreted, text after "a="

  SdpMedia() = default;
  SdpMedia(const SdpMedia&) = delete;
  SdpMedia& operator=(const SdpMedia&) = delete;
  ~SdpMedia();
};

struct SdpSession {
  std::unique_ptr<SdpSession> next;
  uint32_t version = 0;
  std::optional<std::string> originUser;  // none when the origin gives "-"
  uint64_t sessionId = 0;
  uint64_t sessionVersion = 0;
  std::string originAddressType;
  std::string originAddress;
  std::optional<std::string> name;
  std::optional<std::string> information;
  std::optional<std::string> uri;
  std::vector<std::string> emails;
  std::vector<std::string> phones;
  SdpConnection connection;
  std::vector<SdpBandwidth> bandwidths;
  std::vector<SdpTime> times;
  std::vector<SdpZoneAdjustment> zoneAdjustments;
  std::optional<SdpKey> key;
  std::optional<std::string> keywds;
  std::optional<std::string> tool;
  std::optional<std::string> charset;
  std::optional<std::string> sdplang;
  std::optional<std::string> lang;
  std::optional<std::string> control;
  std::optional<std::string> etag;
  int conferenceType = 0;  // 0 none, 1 broadcast, 2 meeting, 3 moderated, 4 test, 5 H332, 6 other
  std::optional<std::string> conferenceTypeText;  // only for 6
  SdpDirection direction;
  SdpRange range;
  std::optional<std::vector<uint32_t>> categories;
  std::vector<std::string> attributes;  // a= lines not interpreted, text after "a="
  std::unique_ptr<SdpMedia> media;      // first media

  SdpSession() = default;
  SdpSession(const SdpSession&) = delete;
  SdpSession& operator=(const SdpSession&) = delete;
  ~SdpSession();
};

// Frees a whole session list; the same as letting the unique_ptr go, spelled
// out for callers that release the description at a definite point.
inline void freeSdpSessions(std::unique_ptr<SdpSession>& first) { first.reset(); }

}  // namespace strevana
