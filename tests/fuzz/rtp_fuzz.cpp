// Fuzz target for RTP/RTCP datagram processing in RtpSession.
//
// Input: a sequence of records, each [selector][length, 16-bit big-endian]
// [datagram bytes] (a length beyond the input takes what is left). Selector
// bits: 0 = RTCP instead of RTP; 1-2 = which of four sender addresses/ports
// it came from; 3 = take every queued packet afterwards; 4 = overwrite the
// datagram's SSRC with the session's own (to reach collision handling);
// 5-7 = advance the clock by that many quarter seconds first.
//
// After the records every queued packet is drained (each source's packets
// must come out in strictly ascending extended sequence order; sources still
// on probation keep what they hold), and a
// goodbye report is composed, which must parse back as a valid compound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/millisecond_clock.h"
#include "protocols/rtp/rtcp_compound.h"
#include "protocols/rtp/rtp_session.h"

namespace {

using strevana::RtpSession;

void drain(RtpSession& session) {
  for (bool more = session.gotoFirstSourceWithData(); more;
       more = session.gotoNextSourceWithData()) {
    bool first = true;
    uint32_t last = 0;
    while (auto packet = session.getNextPacket()) {
      if (!first && packet->extendedSequenceNumber <= last) std::abort();
      if (packet->payload() + packet->payloadLength() > packet->buffer().data() + packet->size())
        std::abort();
      last = packet->extendedSequenceNumber;
      first = false;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint32_t kAddresses[4] = {0x7f000001, 0x7f000001, 0x0a000001, 0xc0000201};
  static const uint16_t kPorts[4] = {5000, 5002, 5000, 7000};
  strevana::ManualMillisecondClock clock;
  RtpSession session(clock);
  std::vector<uint8_t> datagram;
  size_t pos = 0;
  while (pos < size) {
    const uint8_t selector = data[pos++];
    size_t length = 0;
    if (size - pos >= 2) {
      length = (static_cast<size_t>(data[pos]) << 8) | data[pos + 1];
      pos += 2;
    }
    if (length > size - pos) length = size - pos;
    // An exact-size copy, so any read past the datagram is caught.
    datagram.assign(data + pos, data + pos + length);
    datagram.shrink_to_fit();
    pos += length;

    const bool rtcp = (selector & 0x01) != 0;
    const size_t sender = (selector >> 1) & 0x03;
    clock.advance(250 * (selector >> 5));
    if ((selector & 0x10) != 0) {
      const size_t at = rtcp ? 4 : 8;
      const uint32_t own = session.ownSsrc();
      if (datagram.size() >= at + 4) {
        datagram[at] = static_cast<uint8_t>(own >> 24);
        datagram[at + 1] = static_cast<uint8_t>(own >> 16);
        datagram[at + 2] = static_cast<uint8_t>(own >> 8);
        datagram[at + 3] = static_cast<uint8_t>(own);
      }
    }
    const uint16_t port = static_cast<uint16_t>(kPorts[sender] + (rtcp ? 1 : 0));
    if (rtcp) {
      session.processRtcpDatagram(datagram.data(), datagram.size(), kAddresses[sender], port);
    } else {
      session.processRtpDatagram(datagram.data(), datagram.size(), kAddresses[sender], port);
    }
    if (session.queuedBytes() > RtpSession::kMaxQueuedBytes) std::abort();
    if (session.sources().size() > strevana::RtpSourceTable::kMaxSources) std::abort();
    if ((selector & 0x08) != 0) drain(session);
  }
  drain(session);
  // Only sources still on probation hold packets once everything is taken.
  size_t held = 0;
  session.sources().forEach([&](const strevana::RtpSource& s) {
    if (s.valid() && s.hasPackets()) std::abort();
    held += s.queuedBytes();
  });
  if (session.queuedBytes() != held) std::abort();
  const std::vector<uint8_t> report = session.composeReport(true);
  if (!strevana::parseRtcpCompound(report.data(), report.size())) std::abort();
  return 0;
}
