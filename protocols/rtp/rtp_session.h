#pragma once
// RtpSession: receives one RTP stream over a UDP port pair and takes part in
// its RTCP control traffic (RFC 3550). The RTP socket is bound to an even
// port base, the RTCP socket to the port above. poll() drains both sockets
// without blocking, filters senders, keeps a table of remote sources with
// ordered, de-duplicated packet queues and reception statistics, records
// sender reports and source descriptions, and sends receiver reports with our
// CNAME to every destination when they are due. destroy() says goodbye.
//
// Thread: one at a time (the stream's receive thread once it runs); the
// session has no thread of its own. Ownership: the session owns its sockets,
// sources and queued packets; a packet taken with getNextPacket belongs to
// the caller.
//
// Choices beyond the protocol:
// - Bounds under a flood: at most RtpSourceTable::kMaxSources (64) sources,
//   RtpSource::kMaxQueuedPackets (1024) packets per source, kMaxQueuedBytes
//   over all queues, kMaxDatagramsPerPoll datagrams read per socket per poll
//   (so poll returns even while datagrams keep arriving), and
//   kMaxCollisionAddresses remembered collision addresses.
// - New sources are on probation (RFC 3550 A.1, MIN_SEQUENTIAL = 2): their
//   packets are handed out only once two have arrived in sequence, and then
//   together with those two (see RtpSource). A new source in a full table
//   first evicts a source that never became valid, the least recently heard
//   one; only when every source is valid may it evict a drained valid source
//   that said goodbye or has been silent for five report intervals (RFC 3550
//   6.3.5), otherwise its packet is dropped. So made-up SSRCs sending a packet
//   each only ever push one another out: a genuine source always gets in
//   (unless a whole table's worth of new SSRCs arrives between its first two
//   packets), and no valid source is evicted while anyone is on probation.
//   "Least recently heard" counts datagrams, not milliseconds, so a burst
//   within one millisecond still has an order. Sources known only from RTCP
//   have sent no data and count as on probation. A peer that sends two
//   packets in sequence for each made-up SSRC passes probation; against that
//   only the table cap and the silence time-out help.
// - The RTP socket asks for a 1 MiB receive buffer (the kernel caps it at
//   net.core.rmem_max), the RTCP socket for 65500 bytes. A 65500-byte buffer
//   holds only a few dozen full-size datagrams, less than a millisecond of a
//   fast stream, so a receive thread held off the processor for longer than
//   that on a busy machine loses packets.
// - Sockets are read until the kernel says nothing is waiting, not while a
//   bytes-waiting query is non-zero: that query reports 0 for an empty
//   datagram, which would otherwise block the socket for good.
// - A source that sent BYE is removed once its queue has been drained (at
//   once while on probation: what it holds would never be handed out).
// - Datagrams from our own RTCP port at our own address or a loopback address
//   with our SSRC are our own reports coming back (multicast loopback or a
//   destination on this host), not collisions.
// - Until setTimestampUnit is called, jitter counts in 1/90000 s.
// - processRtpDatagram / processRtcpDatagram take a datagram from a byte
//   buffer, so tests and fuzzers can drive everything but the sockets.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/millisecond_clock.h"
#include "protocols/rtp/rtcp_scheduler.h"
#include "protocols/rtp/rtp_address_list.h"
#include "protocols/rtp/rtp_destination_list.h"
#include "protocols/rtp/rtp_packet.h"
#include "protocols/rtp/rtp_result.h"
#include "protocols/rtp/rtp_source.h"
#include "protocols/rtp/rtp_source_table.h"
#include "protocols/rtp/udp_socket.h"

namespace strevana {

enum class RtpReceiveMode : int {
  kAcceptAll = 0,
  kIgnoreListed = 1,  // drop senders in the ignore list
  kAcceptListed = 2,  // keep only senders in the accept list
};

// A datagram whose SSRC or address clashed: who sent it and on which socket.
struct RtpSenderEvent {
  uint32_t ssrc = 0;
  uint32_t address = 0;
  uint16_t port = 0;
  bool rtcp = false;
};

class RtpSession {
 public:
  static constexpr int kRtpReceiveBufferBytes = 1 << 20;
  static constexpr int kRtcpReceiveBufferBytes = 65500;
  static constexpr size_t kMaxDatagramBytes = 65536;
  static constexpr size_t kMaxDatagramsPerPoll = 512;
  static constexpr size_t kMaxQueuedBytes = 16u * 1024u * 1024u;
  static constexpr size_t kMaxCollisionAddresses = 32;
  static constexpr size_t kUdpIpHeaderBytes = 28;
  static constexpr double kDefaultTimestampUnit = 1.0 / 90000.0;

  explicit RtpSession(const MillisecondClock& clock = SteadyMillisecondClock::instance());
  ~RtpSession();
  RtpSession(const RtpSession&) = delete;
  RtpSession& operator=(const RtpSession&) = delete;

  // Opens the port pair (portBase even, portBase + 1). localAddress is IPv4
  // in host byte order, 0 to find one. Results: 0, -26, -3, -4, -29, -5, -35.
  int create(int portBase, uint32_t localAddress, bool reuse);
  // Sends the goodbye, closes the sockets, empties every list and table.
  // 0 or -25.
  int destroy();
  bool isCreated() const { return created_; }

  // 0, -12 (not created), -36 (not 224.0.0.0/4), -39 (a socket could not join).
  int joinMulticastGroup(uint32_t group);
  // Reports go to (address, rtpPort + 1). 0 or -7.
  int addDestination(uint32_t address, int rtpPort);
  int addToAcceptList(uint32_t address, bool allPorts, int port);
  int addToIgnoreList(uint32_t address, bool allPorts, int port);
  void setReceiveMode(RtpReceiveMode mode) { mode_ = mode; }
  RtpReceiveMode receiveMode() const { return mode_; }
  // Seconds per RTP timestamp tick; values that are not positive and finite
  // are ignored.
  void setTimestampUnit(double secondsPerTick);
  // Own SDES items other than CNAME (NAME .. NOTE), sent on every 11th report.
  void setOwnSdesItem(uint8_t type, std::string text);

  // Receives and processes everything waiting, then maintain(). Never
  // blocks. 0 or -25.
  int poll();
  // The part of poll() after the sockets have been read: forgets sources
  // that said goodbye once they are drained (or still on probation), updates
  // the member count of the report interval and, in a created session, sends
  // a report when due. With processRtpDatagram / processRtcpDatagram it lets
  // tests and fuzzers run a session without sockets.
  void maintain();

  bool gotoFirstSourceWithData() { return sources_.gotoFirstWithData(); }
  bool gotoNextSourceWithData() { return sources_.gotoNextWithData(); }
  RtpSource* currentSource() const { return sources_.current(); }
  // Lowest queued extended sequence number of the current source, or null.
  std::unique_ptr<RtpPacket> getNextPacket();
  static void deletePacket(std::unique_ptr<RtpPacket> packet) { packet.reset(); }

  // Byte-buffer entry points used by poll (after sender filtering).
  void processRtpDatagram(const uint8_t* data, size_t size, uint32_t address, uint16_t port);
  void processRtcpDatagram(const uint8_t* data, size_t size, uint32_t address, uint16_t port);
  // True when the receive mode and lists let this sender through.
  bool acceptsSender(uint32_t address, uint16_t port) const;
  // The compound report the next due report would send (advances the loss
  // counters of the report blocks, as sending does).
  std::vector<uint8_t> composeReport(bool goodbye);

  void setCollisionCallback(std::function<void(const RtpSenderEvent&)> callback) {
    collisionCallback_ = std::move(callback);
  }
  void setConflictCallback(std::function<void(const RtpSenderEvent&)> callback) {
    conflictCallback_ = std::move(callback);
  }

  int portBase() const { return portBase_; }
  // The RTP and RTCP sockets' descriptors (-1 while not created), for a
  // caller that waits for datagrams with poll(2) between calls to poll().
  int rtpDescriptor() const { return rtpSocket_.fd(); }
  int rtcpDescriptor() const { return rtcpSocket_.fd(); }
  uint32_t localAddress() const { return localAddress_; }
  uint32_t ownSsrc() const { return ownSsrc_; }
  const std::string& cname() const { return cname_; }
  size_t activeSourceCount() const { return activeSources_; }
  const RtpSourceTable& sources() const { return sources_; }
  RtpSource* findSource(uint32_t ssrc) const { return sources_.find(ssrc); }
  size_t queuedBytes() const { return queuedBytes_; }
  const RtcpScheduler& scheduler() const { return scheduler_; }
  size_t collisionAddressCount() const { return collisionAddresses_.size(); }

 private:
  void drainSocket(UdpSocket& socket, bool rtcp);
  bool isOwnSender(uint32_t address, uint16_t port, bool rtcp) const;
  // SSRC equal to ours from elsewhere. Returns true when the SSRC changed.
  bool handleCollision(uint32_t ssrc, uint32_t address, uint16_t port, bool rtcp);
  void reportConflict(uint32_t ssrc, uint32_t address, uint16_t port, bool rtcp);
  // Finds the source, or creates it (evicting one when full); null when
  // there is no room.
  RtpSource* findOrCreateSource(uint32_t ssrc, uint32_t address);
  // Removes the source that has to make room for a new one, as described
  // above; false when none may go.
  bool evictForNewSource();
  void removeSource(uint32_t ssrc);
  void removeDepartedSources();
  void sendReport(bool goodbye);
  uint32_t pickNewSsrc();
  int64_t nowSeconds() const { return clock_.nowMs() / 1000; }
  uint8_t randomByte() { return static_cast<uint8_t>(random_() & 0xff); }
  void closeEverything();

  const MillisecondClock& clock_;
  std::mt19937 random_;
  bool created_ = false;
  UdpSocket rtpSocket_;
  UdpSocket rtcpSocket_;
  int portBase_ = 0;
  uint32_t localAddress_ = 0;
  std::vector<uint8_t> receiveBuffer_;

  RtpReceiveMode mode_ = RtpReceiveMode::kAcceptAll;
  RtpAddressList acceptList_;
  RtpAddressList ignoreList_;
  RtpDestinationList destinations_;
  std::vector<uint32_t> groups_;
  std::vector<uint32_t> collisionAddresses_;

  uint32_t ownSsrc_ = 0;
  uint16_t ownSequence_ = 0;
  uint32_t ownTimestamp_ = 0;
  uint32_t ownPacketCount_ = 0;
  uint32_t ownOctetCount_ = 0;
  std::string cname_;
  std::vector<std::pair<uint8_t, std::string>> ownItems_;
  uint64_t reportsComposed_ = 0;

  RtpSourceTable sources_;
  size_t activeSources_ = 0;
  uint64_t heardCount_ = 0;  // datagrams that reached a source, for lastHeardOrder
  size_t scheduledSources_ = 0;
  size_t queuedBytes_ = 0;
  double timestampUnit_ = kDefaultTimestampUnit;
  RtcpScheduler scheduler_;

  std::function<void(const RtpSenderEvent&)> collisionCallback_;
  std::function<void(const RtpSenderEvent&)> conflictCallback_;
};

}  // namespace strevana
