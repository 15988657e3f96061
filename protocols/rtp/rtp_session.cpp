#include "protocols/rtp/rtp_session.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "protocols/rtp/local_address.h"
#include "protocols/rtp/rtcp_compound.h"
#include "protocols/rtp/rtcp_report_writer.h"
#include "protocols/rtp/rtp_cname.h"

namespace strevana {
namespace {

// RFC 3550 6.3.5: a member not heard from for five intervals has timed out.
constexpr double kSourceTimeoutIntervals = 5.0;
constexpr int kMaxSsrcDraws = 100;

bool contains(const std::vector<uint32_t>& list, uint32_t value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

RtpSession::RtpSession(const MillisecondClock& clock) : clock_(clock) {
  std::random_device device;
  std::seed_seq seed{device(), device(), device(), device()};
  random_.seed(seed);
  ownSsrc_ = pickNewSsrc();
}

RtpSession::~RtpSession() {
  if (created_) destroy();
}

int RtpSession::create(int portBase, uint32_t localAddress, bool reuse) {
  if (created_) return kRtpAlreadyCreated;
  // RFC 3550 11: RTP on an even port, RTCP on the next odd one. Checked
  // before any socket exists, so a refused port leaves nothing open.
  if ((portBase & 1) != 0) return kRtpOddPortBase;
  if (portBase < 2 || portBase > 65534) return kRtpBindFailed;

  auto fail = [this](int code) {
    rtpSocket_.close();
    rtcpSocket_.close();
    return code;
  };
  if (!rtpSocket_.open() || !rtcpSocket_.open()) return fail(kRtpSocketCreationFailed);
  if (!rtpSocket_.setReceiveBufferSize(kRtpReceiveBufferBytes) ||
      !rtcpSocket_.setReceiveBufferSize(kRtcpReceiveBufferBytes)) {
    return fail(kRtpReceiveBufferFailed);
  }
  if (reuse && (!rtpSocket_.setReuseAddress() || !rtcpSocket_.setReuseAddress())) {
    return fail(kRtpSocketCreationFailed);
  }
  if (!rtpSocket_.bindAny(static_cast<uint16_t>(portBase)) ||
      !rtcpSocket_.bindAny(static_cast<uint16_t>(portBase + 1))) {
    return fail(kRtpBindFailed);
  }
  const uint32_t local = localAddress != 0 ? localAddress : findLocalIpv4Address();
  if (local == 0) return fail(kRtpNoLocalAddress);
  if (!rtpSocket_.setMulticastTtl(1)) return fail(kRtpMulticastTtlFailed);

  try {
    receiveBuffer_.assign(kMaxDatagramBytes, 0);
    cname_ = localCname();
  } catch (const std::bad_alloc&) {
    return fail(kRtpOutOfMemory);
  }
  portBase_ = portBase;
  localAddress_ = local;
  ownSsrc_ = pickNewSsrc();
  ownSequence_ = static_cast<uint16_t>(random_());
  ownTimestamp_ = static_cast<uint32_t>(random_());
  ownPacketCount_ = 0;
  ownOctetCount_ = 0;
  reportsComposed_ = 0;
  activeSources_ = 0;
  scheduledSources_ = 0;
  scheduler_.setSourceCount(0);
  scheduler_.start(nowSeconds(), randomByte());
  created_ = true;
  return kRtpOk;
}

int RtpSession::destroy() {
  if (!created_) return kRtpSessionNotCreated;
  // RFC 3550 6.3.7: leaving members send BYE.
  sendReport(true);
  for (uint32_t group : groups_) {
    rtpSocket_.leaveGroup(group, localAddress_);
    rtcpSocket_.leaveGroup(group, localAddress_);
  }
  closeEverything();
  return kRtpOk;
}

void RtpSession::closeEverything() {
  rtpSocket_.close();
  rtcpSocket_.close();
  created_ = false;
  portBase_ = 0;
  mode_ = RtpReceiveMode::kAcceptAll;
  acceptList_.clear();
  ignoreList_.clear();
  destinations_.clear();
  groups_.clear();
  collisionAddresses_.clear();
  sources_.clear();
  activeSources_ = 0;
  scheduledSources_ = 0;
  queuedBytes_ = 0;
  ownItems_.clear();
  receiveBuffer_.clear();
  receiveBuffer_.shrink_to_fit();
}

int RtpSession::joinMulticastGroup(uint32_t group) {
  if (!created_) return kRtpSocketsNotCreated;
  if (!isMulticastAddress(group)) return kRtpNotMulticastAddress;
  if (contains(groups_, group)) return kRtpOk;
  if (!rtpSocket_.joinGroup(group, localAddress_)) return kRtpJoinGroupFailed;
  if (!rtcpSocket_.joinGroup(group, localAddress_)) {
    rtpSocket_.leaveGroup(group, localAddress_);
    return kRtpJoinGroupFailed;
  }
  groups_.push_back(group);
  return kRtpOk;
}

int RtpSession::addDestination(uint32_t address, int rtpPort) {
  return destinations_.add(address, rtpPort);
}

int RtpSession::addToAcceptList(uint32_t address, bool allPorts, int port) {
  return acceptList_.add(address, allPorts, port);
}

int RtpSession::addToIgnoreList(uint32_t address, bool allPorts, int port) {
  return ignoreList_.add(address, allPorts, port);
}

void RtpSession::setTimestampUnit(double secondsPerTick) {
  if (std::isfinite(secondsPerTick) && secondsPerTick > 0.0) timestampUnit_ = secondsPerTick;
}

void RtpSession::setOwnSdesItem(uint8_t type, std::string text) {
  if (type <= kSdesCname || type > kSdesPriv) return;
  for (auto& item : ownItems_) {
    if (item.first == type) {
      item.second = std::move(text);
      return;
    }
  }
  ownItems_.emplace_back(type, std::move(text));
}

bool RtpSession::acceptsSender(uint32_t address, uint16_t port) const {
  switch (mode_) {
    case RtpReceiveMode::kIgnoreListed: return !ignoreList_.matches(address, port);
    case RtpReceiveMode::kAcceptListed: return acceptList_.matches(address, port);
    case RtpReceiveMode::kAcceptAll: break;
  }
  return true;
}

int RtpSession::poll() {
  if (!created_) return kRtpSessionNotCreated;
  drainSocket(rtpSocket_, false);
  drainSocket(rtcpSocket_, true);
  maintain();
  return kRtpOk;
}

void RtpSession::maintain() {
  removeDepartedSources();
  if (activeSources_ != scheduledSources_) {
    scheduledSources_ = activeSources_;
    scheduler_.setSourceCount(activeSources_);
  }
  if (created_ && scheduler_.isDue(nowSeconds())) sendReport(false);
}

void RtpSession::drainSocket(UdpSocket& socket, bool rtcp) {
  using Status = UdpSocket::Received::Status;
  for (size_t i = 0; i < kMaxDatagramsPerPoll; ++i) {
    const UdpSocket::Received r = socket.receive(receiveBuffer_.data(), receiveBuffer_.size());
    if (r.status == Status::kNothing) return;
    if (r.status != Status::kDatagram) continue;  // oversized or a reported error
    if (!acceptsSender(r.address, r.port)) continue;
    try {
      if (rtcp) {
        processRtcpDatagram(receiveBuffer_.data(), r.size, r.address, r.port);
      } else {
        processRtpDatagram(receiveBuffer_.data(), r.size, r.address, r.port);
      }
    } catch (const std::bad_alloc&) {
      // Out of memory for one datagram: it is lost, the session goes on.
    }
  }
}

bool RtpSession::isOwnSender(uint32_t address, uint16_t port, bool rtcp) const {
  const int ownPort = rtcp ? portBase_ + 1 : portBase_;
  return port == ownPort && (address == localAddress_ || isLoopbackAddress(address));
}

void RtpSession::processRtpDatagram(const uint8_t* data, size_t size, uint32_t address,
                                    uint16_t port) {
  std::unique_ptr<RtpPacket> packet = RtpPacket::parse(data, size);
  if (!packet) return;
  if (packet->ssrc == ownSsrc_) {
    // RFC 3550 8.2: our SSRC from our own address and port is a loop; from
    // anywhere else it is a collision. Either way the packet goes no further.
    if (!isOwnSender(address, port, false)) handleCollision(packet->ssrc, address, port, false);
    return;
  }
  if (packet->size() > kMaxQueuedBytes - std::min(queuedBytes_, kMaxQueuedBytes)) return;
  RtpSource* source = findOrCreateSource(packet->ssrc, address);
  if (source == nullptr) return;
  if (!source->acceptsSender(address, port, false)) {
    reportConflict(packet->ssrc, address, port, false);
    return;
  }
  const int64_t nowMs = clock_.nowMs();
  const size_t before = source->queuedBytes();
  const RtpSource::AddResult result =
      source->addPacket(std::move(packet), static_cast<double>(nowMs) / 1000.0, timestampUnit_);
  queuedBytes_ = queuedBytes_ - before + source->queuedBytes();
  source->lastHeardMs = nowMs;
  source->lastHeardOrder = ++heardCount_;
  if (result == RtpSource::AddResult::kBeforeFirstCycle ||
      result == RtpSource::AddResult::kOtherSource)
    return;
  if (!source->counted) {
    source->counted = true;
    if (!source->inCollisionList) ++activeSources_;
  }
}

void RtpSession::processRtcpDatagram(const uint8_t* data, size_t size, uint32_t address,
                                     uint16_t port) {
  const std::optional<RtcpCompound> compound = parseRtcpCompound(data, size);
  if (!compound) return;
  if (compound->firstSsrc && *compound->firstSsrc == ownSsrc_ && isOwnSender(address, port, true))
    return;
  const int64_t nowMs = clock_.nowMs();

  // Only sources reached through this sender's address and RTCP port may be
  // updated by it.
  auto reach = [&](uint32_t ssrc, bool create) -> RtpSource* {
    RtpSource* source = create ? findOrCreateSource(ssrc, address) : sources_.find(ssrc);
    if (source == nullptr) return nullptr;
    if (!source->acceptsSender(address, port, true)) {
      reportConflict(ssrc, address, port, true);
      return nullptr;
    }
    source->lastHeardMs = nowMs;
    source->lastHeardOrder = ++heardCount_;
    return source;
  };

  for (const RtcpReport& report : compound->reports) {
    if (report.ssrc == ownSsrc_) {
      handleCollision(report.ssrc, address, port, true);
      continue;
    }
    // A sender report creates the source, so its timing is known before its
    // first data packet; a receiver report only refreshes a known one.
    RtpSource* source = reach(report.ssrc, report.isSender);
    if (source != nullptr && report.isSender) source->recordSenderReport(report.senderInfo, nowMs);
  }
  for (const RtcpSdesChunk& chunk : compound->descriptions) {
    if (chunk.ssrc == ownSsrc_) continue;
    RtpSource* source = reach(chunk.ssrc, true);
    if (source == nullptr) continue;
    for (const RtcpSdesItem& item : chunk.items) source->setSdesItem(item.type, item.text);
  }
  for (const RtcpApplication& app : compound->applications) {
    if (app.ssrc != ownSsrc_) reach(app.ssrc, false);
  }
  for (const RtcpGoodbye& bye : compound->goodbyes) {
    for (uint32_t ssrc : bye.ssrcs) {
      if (ssrc == ownSsrc_) continue;
      if (RtpSource* source = reach(ssrc, false)) source->saidGoodbye = true;
    }
  }
}

bool RtpSession::handleCollision(uint32_t ssrc, uint32_t address, uint16_t port, bool rtcp) {
  if (collisionCallback_) collisionCallback_(RtpSenderEvent{ssrc, address, port, rtcp});
  // RFC 3550 8.2: a sender already listed has made us change once; changing
  // again for every packet it sends would only multiply goodbyes. The list is
  // bounded, so made-up addresses cannot grow it either.
  if (contains(collisionAddresses_, address) ||
      collisionAddresses_.size() >= kMaxCollisionAddresses)
    return false;
  collisionAddresses_.push_back(address);
  if (created_) sendReport(true);
  ownSsrc_ = pickNewSsrc();
  ownPacketCount_ = 0;
  ownOctetCount_ = 0;
  return true;
}

void RtpSession::reportConflict(uint32_t ssrc, uint32_t address, uint16_t port, bool rtcp) {
  if (conflictCallback_) conflictCallback_(RtpSenderEvent{ssrc, address, port, rtcp});
}

uint32_t RtpSession::pickNewSsrc() {
  uint32_t candidate = ownSsrc_;
  for (int i = 0; i < kMaxSsrcDraws; ++i) {
    candidate = static_cast<uint32_t>(random_());
    if (candidate != ownSsrc_ && sources_.find(candidate) == nullptr) break;
  }
  return candidate;
}

RtpSource* RtpSession::findOrCreateSource(uint32_t ssrc, uint32_t address) {
  if (RtpSource* source = sources_.find(ssrc)) return source;
  if (sources_.full() && !evictForNewSource()) return nullptr;
  RtpSource* source = sources_.create(ssrc);
  if (source == nullptr) return nullptr;
  source->lastHeardMs = clock_.nowMs();
  source->lastHeardOrder = ++heardCount_;
  source->inCollisionList = contains(collisionAddresses_, address);
  return source;
}

bool RtpSession::evictForNewSource() {
  const int64_t nowMs = clock_.nowMs();
  const double timeoutMs = kSourceTimeoutIntervals * scheduler_.interval() * 1000.0;
  const RtpSource* probationer = nullptr;
  const RtpSource* idle = nullptr;
  sources_.forEach([&](const RtpSource& s) {
    if (&s == sources_.current()) return;
    if (!s.valid()) {
      // Whatever it holds would not be handed out before it became valid.
      if (probationer == nullptr || s.lastHeardOrder < probationer->lastHeardOrder)
        probationer = &s;
      return;
    }
    if (s.hasPackets()) return;
    const bool silent = s.saidGoodbye || static_cast<double>(nowMs - s.lastHeardMs) >= timeoutMs;
    if (silent && (idle == nullptr || s.lastHeardMs < idle->lastHeardMs)) idle = &s;
  });
  const RtpSource* victim = probationer != nullptr ? probationer : idle;
  if (victim == nullptr) return false;
  removeSource(victim->ssrc());
  return true;
}

void RtpSession::removeSource(uint32_t ssrc) {
  RtpSource* source = sources_.find(ssrc);
  if (source == nullptr) return;
  queuedBytes_ -= std::min(queuedBytes_, source->queuedBytes());
  if (source->counted && !source->inCollisionList && activeSources_ > 0) --activeSources_;
  sources_.remove(ssrc);
}

void RtpSession::removeDepartedSources() {
  std::vector<uint32_t> departed;
  sources_.forEach([&](const RtpSource& s) {
    // What a source on probation holds will never be handed out.
    if (s.saidGoodbye && (!s.hasPackets() || !s.valid())) departed.push_back(s.ssrc());
  });
  for (uint32_t ssrc : departed) removeSource(ssrc);
}

std::unique_ptr<RtpPacket> RtpSession::getNextPacket() {
  RtpSource* source = sources_.current();
  if (source == nullptr) return nullptr;
  std::unique_ptr<RtpPacket> packet = source->takeNextPacket();
  if (packet) queuedBytes_ -= std::min(queuedBytes_, packet->size());
  return packet;
}

std::vector<uint8_t> RtpSession::composeReport(bool goodbye) {
  const int64_t nowMs = clock_.nowMs();
  std::vector<RtcpReportBlock> blocks;
  sources_.forEach([&](RtpSource& s) {
    if (s.counted && !s.saidGoodbye) blocks.push_back(s.makeReportBlock(nowMs));
  });
  std::vector<uint8_t> out;
  out.reserve(64 + blocks.size() * 24 + cname_.size());
  RtcpReportWriter::appendReceiverReports(out, ownSsrc_, blocks);
  // CNAME always; the other items only on every eleventh report (RFC 3550
  // 6.3.9 leaves room for them at a lower rate).
  ++reportsComposed_;
  std::vector<std::pair<uint8_t, std::string>> items;
  items.emplace_back(kSdesCname, cname_);
  if (reportsComposed_ % 11 == 0) items.insert(items.end(), ownItems_.begin(), ownItems_.end());
  RtcpReportWriter::appendSourceDescription(out, ownSsrc_, items);
  if (goodbye) RtcpReportWriter::appendGoodbye(out, ownSsrc_);
  return out;
}

void RtpSession::sendReport(bool goodbye) {
  std::vector<uint8_t> report;
  try {
    report = composeReport(goodbye);
  } catch (const std::bad_alloc&) {
    return;
  }
  destinations_.forEach([&](const RtpDestinationList::Entry& d) {
    rtcpSocket_.sendTo(report.data(), report.size(), d.address, d.rtcpPort);
  });
  // RFC 3550 6.3.3: the average counts lower-layer headers too.
  scheduler_.reportSent(report.size() + kUdpIpHeaderBytes, nowSeconds(), randomByte());
}

}  // namespace strevana
