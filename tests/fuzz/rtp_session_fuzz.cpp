// Fuzz target for the source table of an RtpSession: many SSRCs, probation,
// eviction when the table is full, RTCP goodbyes, maintenance and partial
// draining, all without sockets (datagrams go in through processRtpDatagram /
// processRtcpDatagram, maintain() stands in for the rest of poll()).
//
// Input: records [op][length, 8 bits][bytes] (a length beyond the input takes
// what is left). Op bits 0-2 choose the action, 3-4 the sender address, 5-7
// advance the clock by that many quarter seconds first:
//   0 raw RTP datagram          1 made RTP packet of a pool SSRC
//   2 raw RTCP datagram         3 made BYE for pool SSRCs
//   4 made SR + SDES            5 maintain()
//   6 take some packets         7 compose a report and parse it back
// Made packets use a pool of 256 SSRCs, each with its own sequence counter,
// so sources that pass probation, squatters and goodbyes are all reached.
// A raw datagram from the fourth sender carries the session's own SSRC, to
// reach collision handling (RFC 3550 §8.2).
//
// Checked after every record: the table stays within its cap; the session's
// queued byte count is the sum of its sources' and within its cap; its active
// count matches the sources counted; a source on probation holds fewer than
// MIN_SEQUENTIAL packets; a valid source disappears only when nobody was
// left on probation (eviction takes sources on probation first) or through
// maintain() after a goodbye; only valid sources hand out packets, in
// ascending extended sequence order within one take. At the end everything
// is taken: only sources still on probation keep packets, and a goodbye
// report parses back as a valid compound.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "base/millisecond_clock.h"
#include "protocols/rtp/rtcp_compound.h"
#include "protocols/rtp/rtp_session.h"

namespace {

using strevana::RtpSession;
using strevana::RtpSource;
using strevana::RtpSourceTable;

constexpr uint32_t kPoolBase = 0x51000000;
constexpr uint32_t kAddresses[4] = {0x7f000001, 0x7f000001, 0x0a000001, 0xc0000201};
constexpr uint16_t kPorts[4] = {5000, 5002, 5000, 7000};

void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x >> 8));
  v.push_back(static_cast<uint8_t>(x));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
  put16(v, x >> 16);
  put16(v, x & 0xffff);
}

struct Harness {
  strevana::ManualMillisecondClock clock;
  RtpSession session{clock};
  uint16_t sequence[256] = {};

  // Takes up to `budget` packets. Within one call a source's packets come
  // out in ascending order (a late packet may still arrive between calls).
  void takeSome(size_t budget) {
    for (bool more = session.gotoFirstSourceWithData(); more && budget > 0;
         more = session.gotoNextSourceWithData()) {
      RtpSource* source = session.currentSource();
      if (source == nullptr || !source->valid()) std::abort();
      bool first = true;
      uint32_t last = 0;
      while (budget > 0) {
        auto packet = session.getNextPacket();
        if (!packet) break;
        --budget;
        if (packet->ssrc != source->ssrc()) std::abort();
        if (!first && packet->extendedSequenceNumber <= last) std::abort();
        last = packet->extendedSequenceNumber;
        first = false;
        if (packet->payload() + packet->payloadLength() > packet->buffer().data() + packet->size())
          std::abort();
      }
    }
  }

  void check() const {
    size_t bytes = 0;
    size_t active = 0;
    session.sources().forEach([&](const RtpSource& s) {
      bytes += s.queuedBytes();
      if (s.counted && !s.inCollisionList) ++active;
      if (!s.valid() && s.queuedPackets() >= RtpSource::kMinSequential) std::abort();
    });
    if (session.sources().size() > RtpSourceTable::kMaxSources) std::abort();
    if (bytes != session.queuedBytes() || bytes > RtpSession::kMaxQueuedBytes) std::abort();
    if (active != session.activeSourceCount()) std::abort();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Harness h;
  std::vector<uint8_t> datagram;
  size_t pos = 0;
  while (pos < size) {
    const uint8_t op = data[pos++];
    size_t length = pos < size ? data[pos++] : 0;
    if (length > size - pos) length = size - pos;
    const uint8_t* bytes = data + pos;
    pos += length;
    const int action = op & 0x07;
    const size_t sender = (op >> 3) & 0x03;
    h.clock.advance(250 * (op >> 5));
    const uint32_t address = kAddresses[sender];
    const uint16_t port = kPorts[sender];

    // What a datagram may not do: evict a valid source while one on
    // probation could have gone instead.
    std::set<uint32_t> valid;
    bool anyOnProbation = false;
    h.session.sources().forEach([&](const RtpSource& s) {
      if (s.valid()) {
        valid.insert(s.ssrc());
      } else {
        anyOnProbation = true;
      }
    });

    datagram.clear();
    switch (action) {
      case 0:
      case 2:
        // An exact-size copy, so any read past the datagram is caught.
        datagram.assign(bytes, bytes + length);
        datagram.shrink_to_fit();
        if (sender == 3 && datagram.size() >= (action == 0 ? 12u : 8u)) {
          const uint32_t own = h.session.ownSsrc();
          for (int i = 0; i < 4; ++i)
            datagram[(action == 0 ? 8 : 4) + i] = static_cast<uint8_t>(own >> (24 - 8 * i));
        }
        if (action == 0) {
          h.session.processRtpDatagram(datagram.data(), datagram.size(), address, port);
        } else {
          h.session.processRtcpDatagram(datagram.data(), datagram.size(), address,
                                        static_cast<uint16_t>(port + 1));
        }
        break;
      case 1: {
        // [pool index][step][payload...]: step 0 repeats, 1 continues, else skips.
        const uint8_t index = length > 0 ? bytes[0] : 0;
        const uint8_t step = length > 1 ? bytes[1] : 1;
        h.sequence[index] = static_cast<uint16_t>(h.sequence[index] + (step == 0   ? 0
                                                                       : step == 1 ? 1
                                                                                   : step * 257));
        datagram = {0x80, 96};
        put16(datagram, h.sequence[index]);
        put32(datagram, h.sequence[index] * 3000u);
        put32(datagram, kPoolBase + index);
        if (length > 2) datagram.insert(datagram.end(), bytes + 2, bytes + length);
        // Each pool SSRC sends from its own port of the chosen address.
        h.session.processRtpDatagram(datagram.data(), datagram.size(), address,
                                     static_cast<uint16_t>(10000 + 2 * index));
        break;
      }
      case 3: {
        // BYE for up to 31 pool SSRCs, all from the sender of the first.
        const size_t count = std::min<size_t>(length, 31);
        datagram = {static_cast<uint8_t>(0x80 | (count == 0 ? 1 : count)), 203};
        put16(datagram, static_cast<uint32_t>(count == 0 ? 1 : count));
        if (count == 0) put32(datagram, kPoolBase);
        for (size_t i = 0; i < count; ++i) put32(datagram, kPoolBase + bytes[i]);
        const uint8_t first = count > 0 ? bytes[0] : 0;
        h.session.processRtcpDatagram(datagram.data(), datagram.size(), address,
                                      static_cast<uint16_t>(10001 + 2 * first));
        break;
      }
      case 4: {
        const uint8_t index = length > 0 ? bytes[0] : 0;
        datagram = {0x80, 200, 0, 6};
        put32(datagram, kPoolBase + index);
        for (int i = 0; i < 5; ++i) put32(datagram, length > 1 ? bytes[1] * 0x01010101u : 0);
        datagram.insert(datagram.end(), {0x81, 202, 0, 3});
        put32(datagram, kPoolBase + index);
        datagram.insert(datagram.end(), {1, 2, 'c', 'n', 0, 0, 0, 0});
        h.session.processRtcpDatagram(datagram.data(), datagram.size(), address,
                                      static_cast<uint16_t>(10001 + 2 * index));
        break;
      }
      case 5:
        h.session.maintain();
        h.session.sources().forEach([&](const RtpSource& s) {
          if (s.saidGoodbye && (!s.hasPackets() || !s.valid())) std::abort();
        });
        valid.clear();  // goodbyes may remove valid sources here
        break;
      case 6: h.takeSome(length > 0 ? bytes[0] : 1); break;
      case 7: {
        const std::vector<uint8_t> report = h.session.composeReport((op & 0x08) != 0);
        if (!strevana::parseRtcpCompound(report.data(), report.size())) std::abort();
        break;
      }
    }
    if (anyOnProbation) {
      for (uint32_t ssrc : valid) {
        if (h.session.findSource(ssrc) == nullptr) std::abort();
      }
    }
    h.check();
  }
  h.takeSome(SIZE_MAX);
  size_t held = 0;
  h.session.sources().forEach([&](const RtpSource& s) {
    if (s.valid() && s.hasPackets()) std::abort();
    held += s.queuedBytes();
  });
  if (h.session.queuedBytes() != held) std::abort();
  const std::vector<uint8_t> report = h.session.composeReport(true);
  if (!strevana::parseRtcpCompound(report.data(), report.size())) std::abort();
  h.session.maintain();
  h.check();
  return 0;
}
