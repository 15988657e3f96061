#include "streaming/rtsp_session.h"

#include <arpa/inet.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "protocols/rtp/local_address.h"
#include "protocols/rtsp/rtsp_credentials.h"
#include "protocols/sdp/sdp_decoder.h"
#include "protocols/sdp/sdp_input.h"
#include "streaming/control_url.h"
#include "streaming/payload_kind.h"
#include "streaming/receive_loop.h"
#include "streaming/resolve_host.h"
#include "streaming/rtsp_keep_alive.h"
#include "streaming/rtsp_reply_fields.h"

namespace strevana {

// Takes the client lock, counted as a waiter meanwhile so that the receive
// thread, which drains the connection under the same lock, steps aside.
class RtspSession::ClientLock {
 public:
  explicit ClientLock(RtspSession& session) : session_(session) {
    ++session_.clientWaiters_;
    session_.clientMutex_.lock();
    --session_.clientWaiters_;
  }
  ~ClientLock() { session_.clientMutex_.unlock(); }
  ClientLock(const ClientLock&) = delete;
  ClientLock& operator=(const ClientLock&) = delete;

 private:
  RtspSession& session_;
};

int32_t RtspSession::create(std::unique_ptr<RtspSession>& out, RtpDeliverCallback deliver,
                            RtpAllocateCallback allocate, RtpGetDataCallback getData,
                            void* context) {
  out.reset();
  if (!allocate || !getData) return kSessionBadArgument;
  out.reset(new (std::nothrow) RtspSession(deliver, allocate, getData, context));
  return out ? kSessionOk : kSessionOutOfMemory;
}

void RtspSession::destroy(std::unique_ptr<RtspSession>& session) { session.reset(); }

RtspSession::RtspSession(RtpDeliverCallback deliver, RtpAllocateCallback allocate,
                         RtpGetDataCallback getData, void* context)
    : deliver_(deliver), allocate_(allocate), getData_(getData), context_(context) {}

RtspSession::~RtspSession() {
  if (described_) teardown();
  stopThreads();
}

void RtspSession::setRtspReceiveTimeoutMs(uint32_t ms) {
  rtspTimeoutMs_ = ms;
  ClientLock lock(*this);
  if (client_) client_->setReceiveTimeoutMs(ms);
}

uint32_t RtspSession::keepAliveIntervalMs() const {
  return keepAlive_ ? static_cast<uint32_t>(keepAlive_->interval().count()) : 0;
}

void RtspSession::appendMedia(SdpMedia* media) {
  auto entry = std::make_unique<MediaEntry>();
  entry->media = media;
  if (!entries_.empty()) entries_.back()->next = entry.get();
  if (!mediaHead_) mediaHead_ = entry.get();
  entries_.push_back(std::move(entry));
}

int32_t RtspSession::describe(const std::string& url, uint32_t clientPort) {
  if (url.find("rtsp://") == std::string::npos) return kSessionBadArgument;
  if (described_) teardown();  // a second description replaces the first whole
  lastFailedStatus_ = 0;
  std::optional<RtspCredentials> credentials;
  const std::string bare = splitUrlCredentials(url, credentials);
  serverAddress_ = resolveHost(bare);
  clientPort_ = clientPort;
  requestUrl_ = bare;

  int error = 0;
  std::unique_ptr<RtspClient> client = RtspClient::create(bare, error);
  if (!client) return kSessionRtspBase + error;
  client->setReceiveTimeoutMs(rtspTimeoutMs_);
  client->setCredentials(credentials);
  client->setInterleavedSink(&interleaved_);
  {
    ClientLock lock(*this);
    client_ = std::move(client);
  }

  // The request block is cleared once: Accept stays for every later request.
  request_ = RtspRequest{};
  request_.accept = "application/sdp";
  int rc;
  {
    ClientLock lock(*this);
    rc = client_->describe(&request_, response_);
    if (client_->initialUrl()) {
      // Redirected: the session now lives on the server redirected to.
      requestUrl_ = client_->currentUrl();
      serverAddress_ = resolveHost(requestUrl_);
    }
  }
  if (rc != kRtspOk) {
    noteFailedStatus();
    releaseResponse();
    return kSessionRtspBase + rc;
  }

  std::unique_ptr<SdpInput> input =
      makeSdpMemoryInput(response_ && response_->body ? *response_->body : "");
  int count = 0;
  rc = decodeSdp(input.get(), sdp_, count);
  if (rc != kSdpOk || !sdp_) {
    releaseResponse();
    sdp_.reset();
    return kSessionSdpBase + (rc != kSdpOk ? rc : kSdpErrorInput);
  }
  // Aggregate requests go to the session's absolute control URL when it
  // gives one, else to the URL that was described.
  aggregateAvailable_ = sdp_->control.has_value();
  const bool absolute = sdp_->control && resolveControlUrl("", *sdp_->control) == *sdp_->control &&
                        !sdp_->control->empty() && *sdp_->control != "*";
  aggregateUrl_ = absolute ? *sdp_->control : requestUrl_;
  sdp_->control = requestUrl_;

  if (!response_->contentBase) response_->contentBase = response_->contentLocation;
  if (!response_->contentBase) {
    releaseResponse();
    return kSessionNoBase;
  }
  const std::string base = *response_->contentBase;
  for (SdpMedia* media = sdp_->media.get(); media; media = media->next.get()) {
    if (!media->control) continue;
    media->control = resolveControlUrl(base, *media->control);
    appendMedia(media);
  }
  releaseResponse();
  described_ = true;
  descriptionMode_ = false;
  return kSessionOk;
}

int32_t RtspSession::loadDescription(const std::string& name, uint32_t clientPort) {
  constexpr std::string_view kMemory = "buff://";
  if (described_) teardown();
  clientPort_ = clientPort;
  std::unique_ptr<SdpInput> input =
      name.compare(0, kMemory.size(), kMemory) == 0
          ? makeSdpMemoryInput(std::string_view(name).substr(kMemory.size()))
          : makeSdpFileInput(name);
  int count = 0;
  const int rc = decodeSdp(input.get(), sdp_, count);
  if (rc != kSdpOk || !sdp_) {
    sdp_.reset();
    return kSessionSdpBase + (rc != kSdpOk ? rc : kSdpErrorInput);
  }
  aggregateAvailable_ = sdp_->control.has_value();
  serverAddress_ = resolveHost(sdp_->connection.address);
  for (SdpMedia* media = sdp_->media.get(); media; media = media->next.get()) {
    appendMedia(media);
    if (serverAddress_ == 0) serverAddress_ = resolveHost(media->connection.address);
  }
  described_ = true;
  descriptionMode_ = true;
  return kSessionOk;
}

int32_t RtspSession::addStream(MediaEntry* entry) {
  if (!entry || (!entry->deliver && !deliver_)) return kSessionBadArgument;
  if (entry->receiver) return kSessionStreamAdded;
  auto receiver = std::make_unique<StreamReceiver>(*entry, mutex_);
  entry->receiver = receiver.get();
  StreamReceiver* added = receiver.get();
  if (streamTail_) {
    streamTail_->next = std::move(receiver);
  } else {
    streamHead_ = std::move(receiver);
  }
  streamTail_ = added;
  return kSessionOk;
}

int32_t RtspSession::setAggregateControl(int32_t flag) {
  if (flag && !aggregateAvailable_) return kSessionBadArgument;
  if (playing_) return kSessionPlaying;
  useAggregate_ = flag != 0;
  return kSessionOk;
}

int32_t RtspSession::setup(const char* localAddress) {
  if (!described_ || !streamHead_) return kSessionWrongState;
  uint32_t local = 0;
  if (localAddress) {
    in_addr a{};
    if (::inet_pton(AF_INET, localAddress, &a) == 1) local = ntohl(a.s_addr);
  }
  localAddress_ = local;
  int32_t rc;
  if (descriptionMode_) {
    rc = setupDescription(local);
  } else {
    useTcp_ = transport_ == RtspTransport::kTcp;
    rc = setupRtsp(local);
    if (rc != kSessionOk && !useTcp_ && transport_ == RtspTransport::kAutomatic &&
        lastFailedStatus_ == 461) {
      // 461 Unsupported Transport: the server will not send over UDP.
      dropStreams();
      useTcp_ = true;
      rc = setupRtsp(local);
    }
  }
  if (rc != kSessionOk) return rc;
  return startReceiving();
}

void RtspSession::noteFailedStatus() {
  lastFailedStatus_ = 0;
  if (!response_) return;
  const char* code = response_->statusCode;
  if (code[0] >= '1' && code[0] <= '5' && code[1] >= '0' && code[1] <= '9' && code[2] >= '0' &&
      code[2] <= '9') {
    lastFailedStatus_ = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
  }
}

StreamReceiver* RtspSession::receiverForChannel(uint8_t channel, bool& rtcp) const {
  for (const Route& route : routes_) {
    if (channel == route.rtpChannel || channel == route.rtpChannel + 1) {
      rtcp = channel != route.rtpChannel;
      return route.receiver;
    }
  }
  return nullptr;
}

bool RtspSession::pumpInterleaved(uint32_t waitMs) {
  if (clientWaiters_.load() > 0) return false;
  std::unique_lock<std::mutex> lock(clientMutex_, std::try_to_lock);
  if (!lock || !client_) return false;
  return client_->receiveInterleaved(waitMs) > 0;
}

void RtspSession::sendTeardownLocked() {
  if (!client_ || !clientSession_) return;
  if (useAggregate_) {
    client_->teardown(aggregateUrl_, nullptr, response_);
  } else {
    client_->teardown(clientSession_, nullptr, response_);
  }
  releaseResponse();
}

void RtspSession::dropStreams() {
  {
    ClientLock lock(*this);
    sendTeardownLocked();
    if (client_) client_->forgetSessions();
  }
  clientSession_ = nullptr;
  for (StreamReceiver* r = streamHead_.get(); r; r = r->next.get()) {
    r->rtp.reset();
    r->serverPort = -1;
  }
  videoStream_ = nullptr;
  audioStream_ = nullptr;
  routes_.clear();
  interleaved_.clear();
}

void RtspSession::attach(StreamReceiver& receiver, std::unique_ptr<RtpSession> rtp) {
  const uint32_t rate = mediaClockRate(receiver.entry);
  if (rate > 0) rtp->setTimestampUnit(1.0 / rate);
  receiver.rtp = std::move(rtp);
  const int kind = classifyMedia(receiver.entry);
  if (kind == kMediaVideo) videoStream_ = &receiver;
  if (kind == kMediaAudio) audioStream_ = &receiver;
}

int RtspSession::sendSetup(const std::string& control, const char* transport) {
  request_.transport = transport;
  int rc;
  {
    ClientLock lock(*this);
    rc = client_->setup(control, &request_, clientSession_, response_, useAggregate_);
  }
  if (response_ && response_->session) {
    if (const auto timeout = sessionTimeoutSeconds(*response_->session))
      sessionTimeoutSeconds_ = *timeout;
  }
  if (rc != kRtspOk) noteFailedStatus();
  return rc;
}

int32_t RtspSession::setupRtsp(uint32_t local) {
  uint32_t offset = 0;  // shared by all streams
  int channel = 0;      // over TCP: the next stream's RTP channel
  for (StreamReceiver* r = streamHead_.get(); r; r = r->next.get()) {
    SdpMedia* media = r->entry->media;
    if (!media || !media->control) continue;
    const int kind = classifyMedia(r->entry);
    if (kind != kMediaVideo && kind != kMediaAudio) continue;

    std::unique_ptr<RtpSession> rtp;
    int rtpPort = 0;
    if (useTcp_) {
      // No sockets: the frames from the connection are handed in.
      rtp = std::make_unique<RtpSession>();
      char transport[96];
      std::snprintf(transport, sizeof transport, "RTP/AVP/TCP;unicast;interleaved=%d-%d", channel,
                    channel + 1);
      const int rc = sendSetup(*media->control, transport);
      const int served = parseInterleavedChannel(response_.get());
      releaseResponse();
      attach(*r, std::move(rtp));
      if (rc != kRtspOk) return kSessionRtspBase + rc;
      routes_.push_back(Route{static_cast<uint8_t>(served >= 0 ? served : channel), r});
      channel += 2;
      continue;
    }
    for (;;) {
      auto candidate = std::make_unique<RtpSession>();
      rtpPort = static_cast<int>(clientPort_ + offset);
      const int opened = candidate->create(rtpPort, local, false);
      offset += 2;
      if (opened == kRtpOk) {
        rtp = std::move(candidate);
        break;
      }
      if (opened != kRtpBindFailed || offset >= kPortOffsetLimit) break;
    }
    if (!rtp) continue;  // no port pair for this stream: it is skipped

    char transport[96];
    std::snprintf(transport, sizeof transport, "RTP/AVP;unicast;client_port=%d-%d", rtpPort,
                  rtpPort + 1);
    const int rc = sendSetup(*media->control, transport);
    r->serverPort = parseServerPort(response_.get());
    releaseResponse();
    RtpSession& session = *rtp;
    attach(*r, std::move(rtp));
    if (rc != kRtspOk) return kSessionRtspBase + rc;

    session.setReceiveMode(RtpReceiveMode::kAcceptListed);
    if (r->serverPort == -1) {
      // No server port: anything from the server's address, no reports, and
      // no further stream.
      const int listed = session.addToAcceptList(serverAddress_, true, 0);
      if (listed != kRtpOk) return kSessionRtpBase + listed;
      break;
    }
    for (const int port : {r->serverPort, r->serverPort + 1}) {
      const int listed = session.addToAcceptList(serverAddress_, false, port);
      if (listed != kRtpOk) return kSessionRtpBase + listed;
    }
    const int destination = session.addDestination(serverAddress_, r->serverPort);
    if (destination != kRtpOk) return kSessionRtpBase + destination;
  }
  return kSessionOk;
}

int32_t RtspSession::setupDescription(uint32_t local) {
  for (StreamReceiver* r = streamHead_.get(); r; r = r->next.get()) {
    const SdpMedia* media = r->entry->media;
    auto rtp = std::make_unique<RtpSession>();
    const int opened = rtp->create(media ? media->port : 0, local, true);
    if (opened != kRtpOk) return kSessionRtpBase + opened;
    rtp->setReceiveMode(RtpReceiveMode::kAcceptAll);
    RtpSession& session = *rtp;
    attach(*r, std::move(rtp));
    if (isMulticastAddress(serverAddress_)) {
      if (!session.isCreated()) return kSessionRtpBase + kRtpSessionNotCreated;
      const int joined = session.joinMulticastGroup(serverAddress_);
      if (joined != kRtpOk) return kSessionRtpBase + joined;
    }
  }
  return kSessionOk;
}

int32_t RtspSession::startReceiving() {
  receiving_ = true;
  try {
    receiveThread_ = std::thread([this] { receiveLoop(*this); });
  } catch (const std::system_error&) {
    receiving_ = false;
    return kSessionThreadFailed;
  }
  return kSessionOk;
}

int32_t RtspSession::play() {
  if (!described_) return kSessionWrongState;
  resetSequences();
  if (!descriptionMode_) {
    const int32_t rc = sendPlay();
    if (rc != kSessionOk) return rc;
  }
  playing_ = true;
  if (!descriptionMode_ && !useTcp_ && transport_ == RtspTransport::kAutomatic &&
      !waitForFirstPacket(kUdpProbeMs)) {
    const int32_t rc = fallBackToTcp();
    if (rc != kSessionOk) return rc;
  }
  if (!descriptionMode_ && clientSession_ && !keepAlive_) {
    const auto interval = std::chrono::milliseconds(uint64_t{sessionTimeoutSeconds_} * 1000u / 2u);
    keepAlive_ = std::make_unique<RtspKeepAlive>(interval, [this] { sendKeepAlive(); });
  }
  return kSessionOk;
}

bool RtspSession::waitForFirstPacket(uint32_t waitMs) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    for (const StreamReceiver* r = streamHead_.get(); r; r = r->next.get()) {
      if (r->receivedCount() > 0) return true;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int32_t RtspSession::fallBackToTcp() {
  playing_ = false;
  stopThreads();
  dropStreams();
  useTcp_ = true;
  int32_t rc = setupRtsp(localAddress_);
  if (rc == kSessionOk) rc = startReceiving();
  if (rc != kSessionOk) return rc;
  resetSequences();
  rc = sendPlay();
  if (rc != kSessionOk) return rc;
  playing_ = true;
  return kSessionOk;
}

int32_t RtspSession::sendPlay() {
  {
    std::string range = "npt=0.0-";
    if (sdp_ && sdp_->range.valid && sdp_->range.npt) {
      char text[128];
      if (sdp_->range.startNow) {
        std::snprintf(text, sizeof text, "npt=now-");
      } else if (sdp_->range.openEnd) {
        std::snprintf(text, sizeof text, "npt=%f-", sdp_->range.start);
      } else {
        std::snprintf(text, sizeof text, "npt=%f-%f", sdp_->range.start, sdp_->range.end);
      }
      range = text;
    }
    request_.range = range;
    request_.transport.reset();
    int rc;
    {
      ClientLock lock(*this);
      rc = useAggregate_ ? client_->play(aggregateUrl_, &request_, response_)
                         : client_->play(clientSession_, &request_, response_);
    }
    if (rc != kRtspOk) noteFailedStatus();
    releaseResponse();
    if (rc != kRtspOk) return kSessionRtspBase + rc;
  }
  return kSessionOk;
}

void RtspSession::sendKeepAlive() {
  ClientLock lock(*this);
  if (!client_ || !clientSession_) return;
  std::unique_ptr<RtspResponse> reply;
  if (!keepAliveWithOptions_) {
    const int rc = useAggregate_ ? client_->getParameter(aggregateUrl_, reply)
                                 : client_->getParameter(clientSession_, reply);
    if (rc != kRtspStatusError) return;
    // RFC 2326 10.8 lets a server refuse GET_PARAMETER; OPTIONS on the
    // session keeps it alive as well.
    keepAliveWithOptions_ = true;
  }
  if (useAggregate_) {
    client_->options(aggregateUrl_, reply);
  } else {
    client_->options(clientSession_, reply);
  }
}

void RtspSession::stopThreads() {
  if (keepAlive_) {
    keepAlive_->stop();
    keepAlive_.reset();
  }
  if (receiving_.exchange(false) || receiveThread_.joinable()) {
    if (receiveThread_.joinable()) receiveThread_.join();
  }
}

int32_t RtspSession::teardown() {
  if (!described_) return kSessionWrongState;
  stopThreads();
  if (!descriptionMode_) {
    ClientLock lock(*this);
    sendTeardownLocked();
    client_.reset();
  }
  // Receivers first (their RTP sessions say goodbye), then the entries,
  // then the description their media point into.
  streamHead_.reset();
  streamTail_ = nullptr;
  videoStream_ = nullptr;
  audioStream_ = nullptr;
  mediaHead_ = nullptr;
  entries_.clear();
  sdp_.reset();
  clientSession_ = nullptr;
  request_ = RtspRequest{};
  response_.reset();
  aggregateAvailable_ = false;
  useAggregate_ = false;
  descriptionMode_ = false;
  keepAliveWithOptions_ = false;
  sessionTimeoutSeconds_ = kDefaultKeepAliveTimeoutSeconds;
  serverAddress_ = 0;
  useTcp_ = false;
  routes_.clear();
  interleaved_.clear();
  requestUrl_.clear();
  aggregateUrl_.clear();
  playing_ = false;
  described_ = false;
  return kSessionOk;
}

void RtspSession::resetSequences() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (StreamReceiver* r = streamHead_.get(); r; r = r->next.get()) r->resetSequence();
}

double RtspSession::rangeStart() const {
  if (!described_ || !sdp_) return 0.0;
  if (sdp_->range.valid) return sdp_->range.start;
  for (const MediaEntry* e = mediaHead_; e; e = e->next) {
    if (e->media && e->media->range.valid) return e->media->range.start;
  }
  return 0.0;
}

double RtspSession::rangeEnd() const {
  if (!described_ || !sdp_) return 0.0;
  // An open range ("npt=now-", "npt=5-") has no end: the duration is unknown.
  if (sdp_->range.valid) return sdp_->range.openEnd ? 0.0 : sdp_->range.end;
  for (const MediaEntry* e = mediaHead_; e; e = e->next) {
    if (e->media && e->media->range.valid)
      return e->media->range.openEnd ? 0.0 : e->media->range.end;
  }
  return 0.0;
}

bool RtspSession::findClipRect(int32_t& a, int32_t& b, int32_t& bottom, int32_t& right) const {
  for (const StreamReceiver* r = streamHead_.get(); r; r = r->next.get()) {
    if (classifyMedia(r->entry) != kMediaVideo) continue;
    for (const std::string& attribute : r->entry->media->attributes) {
      const size_t at = attribute.find("cliprect:");
      if (at == std::string::npos) continue;
      int v[4] = {};
      if (std::sscanf(attribute.c_str() + at + 9, "%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3]) != 4)
        return false;
      for (const int x : v) {
        if (x < 0 || x > 2048) return false;
      }
      a = v[0];
      b = v[1];
      bottom = v[2];
      right = v[3];
      return true;
    }
    return false;
  }
  return false;
}

}  // namespace strevana
