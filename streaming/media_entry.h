#pragma once
// MediaEntry: one media description of a session (an m= line) as the
// streaming session lists it, and the per-entry queries the streaming source
// asks before choosing its streams.
//
// Entries are made and owned by RtspSession (its media list, in m= line
// order) and live until teardown; the SdpMedia they point at belongs to the
// session's decoded description. Entries are set up on the thread that opens
// the stream; once the receive thread runs they are only read.
#include <cstdint>
#include <string>

#include "protocols/sdp/sdp_types.h"
#include "streaming/rtp_frame.h"

namespace strevana {

class StreamReceiver;

struct MediaEntry {
  SdpMedia* media = nullptr;
  StreamReceiver* receiver = nullptr;  // null until RtspSession::addStream
  // Null means the session's default deliver callback.
  RtpDeliverCallback deliver = nullptr;
  // Passed to `deliver`; null means the session's context.
  void* deliverContext = nullptr;
  MediaEntry* next = nullptr;  // the session's list owns the entries
};

// The entry's media's first format, or null.
const SdpFormat* firstFormat(const MediaEntry* entry);
// The first format's rtpmap encoding name ("" without rtpmap) and clock rate
// (0 without rtpmap).
std::string mediaEncodingName(const MediaEntry* entry);
uint32_t mediaClockRate(const MediaEntry* entry);
// The media's own range end in seconds, 0.0 when it has no range.
double mediaRangeEnd(const MediaEntry* entry);
// The first format's payload type number, or -1 when its text is not a
// decimal number from 0 to 127.
int mediaPayloadType(const MediaEntry* entry);
// Sets the deliver callback (and its context, null for the session's).
void setDeliverCallback(MediaEntry* entry, RtpDeliverCallback deliver, void* context = nullptr);

}  // namespace strevana
