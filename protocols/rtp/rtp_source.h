#pragma once
// RtpSource: everything known about one remote synchronisation source: the
// transport address it sends from, its reception statistics (RFC 3550 A.1
// sequence extension, A.3 loss, A.8 jitter), the queue of its packets not yet
// taken, its last sender report and its source description items.
//
// The queue is ordered by extended sequence number and holds each number at
// most once. It is bounded (kMaxQueuedPackets): when full, an arriving packet
// newer than the oldest queued one pushes the oldest out, an older one is
// dropped, so a stalled consumer or a flood never grows memory without end.
//
// Probation (RFC 3550 A.1): a new source is not valid until kMinSequential
// packets in a row have arrived with consecutive sequence numbers. Until then
// its packets are held in the queue but the session hands none of them out;
// a packet that breaks the run drops the held ones and starts a new run, so a
// source on probation holds at most kMinSequential - 1 packets. The packets
// of the run that made the source valid are delivered with everything after
// them, so a stream whose first packets arrive in order loses none. Once
// valid, a source stays valid. Reception statistics count every packet,
// probation included.
//
// Owned by the RtpSourceTable of one RtpSession; used on the thread that
// drives that session.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "protocols/rtp/rtcp_compound.h"
#include "protocols/rtp/rtp_packet.h"

namespace strevana {

// The last RTCP sender report received from a source; valid until the next
// one replaces it.
struct RtpSenderReport {
  bool received = false;
  uint32_t ntpSeconds = 0;
  uint32_t ntpFraction = 0;
  uint32_t rtpTimestamp = 0;
  uint32_t packetCount = 0;
  uint32_t octetCount = 0;
  int64_t arrivalMs = 0;  // session clock, for the DLSR field of our reports
};

class RtpSource {
 public:
  static constexpr size_t kMaxQueuedPackets = 1024;
  // RFC 3550 A.1 MIN_SEQUENTIAL.
  static constexpr uint32_t kMinSequential = 2;

  // What happened to a packet offered to the source.
  enum class AddResult {
    kQueued,
    kDuplicate,         // its extended sequence number was already queued
    kTooOld,            // queue full and older than everything in it
    kBeforeFirstCycle,  // a late packet from before the first one received
    kOtherSource,       // SSRC mismatch (result code -21)
  };

  explicit RtpSource(uint32_t ssrc) : ssrc_(ssrc) {}
  RtpSource(const RtpSource&) = delete;
  RtpSource& operator=(const RtpSource&) = delete;

  uint32_t ssrc() const { return ssrc_; }

  // Extends the sequence number, updates the statistics and queues the
  // packet. arrivalSeconds is the session clock; timestampUnit the seconds
  // per RTP timestamp tick (> 0).
  AddResult addPacket(std::unique_ptr<RtpPacket> packet, double arrivalSeconds,
                      double timestampUnit);
  // Same, with the session's result codes: 0, or -21 for another SSRC.
  int addPacketChecked(std::unique_ptr<RtpPacket> packet, double arrivalSeconds,
                       double timestampUnit);

  // True once the source has passed probation; only then are its packets
  // delivered (the session and the table's iteration check it).
  bool valid() const { return probation_ == 0; }

  // Removes and returns the queued packet with the lowest extended sequence
  // number; null when the queue is empty.
  std::unique_ptr<RtpPacket> takeNextPacket();
  bool hasPackets() const { return !queue_.empty(); }
  size_t queuedPackets() const { return queue_.size(); }
  size_t queuedBytes() const { return queuedBytes_; }

  // Transport address check. The address is fixed by the first datagram; the
  // RTP and RTCP ports start unset and are taken from the first datagram of
  // each kind. Returns false for a datagram from anywhere else.
  bool acceptsSender(uint32_t address, uint16_t port, bool rtcp);
  bool hasAddress() const { return hasAddress_; }
  uint32_t address() const { return address_; }

  // Reception report block for our next RTCP report (RFC 3550 6.4.1, A.3);
  // advances the "prior" counters used for the fraction lost.
  RtcpReportBlock makeReportBlock(int64_t nowMs);

  void recordSenderReport(const RtcpSenderInfo& info, int64_t arrivalMs);
  const RtpSenderReport& senderReport() const { return senderReport_; }

  // SDES items 1..8 (CNAME .. PRIV); other types are ignored.
  void setSdesItem(uint8_t type, std::string_view text);
  const std::string& sdesItem(uint8_t type) const;

  // Reception statistics.
  uint32_t packetsReceived() const { return packetsReceived_; }
  uint32_t baseSequence() const { return baseSequence_; }
  uint16_t highestSequence() const { return highestSequence_; }
  uint32_t sequenceCycles() const { return cycles_; }
  uint32_t highestExtendedSequence() const { return highestExtended_; }
  double jitter() const { return jitter_; }  // in timestamp ticks
  // Packets that arrived after one with a higher sequence number (not
  // counting repeats of the highest).
  uint32_t outOfOrderPackets() const { return outOfOrder_; }

  // Session bookkeeping.
  bool counted = false;          // has sent RTP data and was counted active
  bool inCollisionList = false;  // its address caused an SSRC collision
  bool saidGoodbye = false;      // BYE received; removed once drained
  int64_t lastHeardMs = 0;
  // Session-wide count of datagrams at the last one from this source: orders
  // sources heard within the same millisecond.
  uint64_t lastHeardOrder = 0;

 private:
  // Returns false when the packet lies before the first received cycle.
  bool extendSequence(RtpPacket& packet);
  // A.1 probation step for a packet with sequence number `seq`; drops the
  // held run when `seq` does not continue it.
  void updateProbation(uint16_t seq, bool first);
  void dropQueue();

  uint32_t ssrc_;
  bool hasAddress_ = false;
  uint32_t address_ = 0;
  int rtpPort_ = -1;
  int rtcpPort_ = -1;

  uint32_t probation_ = kMinSequential;  // packets still needed in a row
  uint16_t probationLast_ = 0;           // last sequence number of the run

  std::map<uint32_t, std::unique_ptr<RtpPacket>> queue_;
  size_t queuedBytes_ = 0;

  uint32_t packetsReceived_ = 0;
  uint32_t baseSequence_ = 0;
  uint16_t highestSequence_ = 0;
  uint32_t cycles_ = 0;
  uint32_t highestExtended_ = 0;
  double lastArrival_ = 0.0;
  uint32_t lastTimestamp_ = 0;
  double jitter_ = 0.0;
  uint32_t outOfOrder_ = 0;
  uint32_t expectedPrior_ = 0;
  uint32_t receivedPrior_ = 0;

  RtpSenderReport senderReport_;
  std::array<std::string, kSdesPriv + 1> sdes_;
};

}  // namespace strevana
