#include "streaming/rtsp_session.h"

#include <arpa/inet.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <system_error>

#include "protocols/rtp/local_address.h"
#include "protocols/sdp/sdp_decoder.h"
#include "protocols/sdp/sdp_input.h"
#include "streaming/control_url.h"
#include "streaming/payload_kind.h"
#include "streaming/receive_loop.h"
#include "streaming/resolve_host.h"
#include "streaming/rtsp_keep_alive.h"
#include "streaming/rtsp_reply_fields.h"

namespace strevana {

int32_t RtspSession::create(std::unique_ptr<RtspSession>& out, RtpDeliverCallback deliver,
                            RtpAllocateCallback allocate, RtpGetDataCallback getData, void* context) {
  out.reset();
  if (!allocate || !getData) return kSessionBadArgument;
  out.reset(new (std::nothrow) RtspSession(deliver, allocate, getData, context));
  return out ? kSessionOk : kSessionOutOfMemory;
}

void RtspSession::destroy(std::unique_ptr<RtspSession>& session) { session.reset(); }

RtspSession::RtspSession(RtpDeliverCallback deliver, RtpAllocateCallback allocate, RtpGetDataCallback getData,
                         void* context)
    : deliver_(deliver), allocate_(allocate), getData_(getData), context_(context) {}

RtspSession::~RtspSession() {
  if (described_) teardown();
  stopThreads();
}

void RtspSession::setRtspReceiveTimeoutMs(uint32_t ms) {
  rtspTimeoutMs_ = ms;
  std::lock_guard<std::mutex> lock(clientMutex_);
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
  serverAddress_ = resolveHost(url);
  clientPort_ = clientPort;
  requestUrl_ = url;

  int error = 0;
  std::unique_ptr<RtspClient> client = RtspClient::create(url, error);
  if (!client) return kSessionRtspBase + error;
  client->setReceiveTimeoutMs(rtspTimeoutMs_);
  {
    std::lock_guard<std::mutex> lock(clientMutex_);
    client_ = std::move(client);
  }

  // The request block is cleared once: Accept stays for every later request.
  request_ = RtspRequest{};
  request_.accept = "application/sdp";
  int rc;
  {
    std::lock_guard<std::mutex> lock(clientMutex_);
    rc = client_->describe(&request_, response_);
  }
  if (rc != kRtspOk) {
    releaseResponse();
    return kSessionRtspBase + rc;
  }

  std::unique_ptr<SdpInput> input = makeSdpMemoryInput(response_ && response_->body ? *response_->body : "");
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
  aggregateUrl_ = absolute ? *sdp_->control : url;
  sdp_->control = url;

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
  std::unique_ptr<SdpInput> input = name.compare(0, kMemory.size(), kMemory) == 0
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
  const int32_t rc = descriptionMode_ ? setupDescription(local) : setupRtsp(local);
  if (rc != kSessionOk) return rc;
  return startReceiving();
}

void RtspSession::attach(StreamReceiver& receiver, std::unique_ptr<RtpSession> rtp) {
  const uint32_t rate = mediaClockRate(receiver.entry);
  if (rate > 0) rtp->setTimestampUnit(1.0 / rate);
  receiver.rtp = std::move(rtp);
  const int kind = classifyMedia(receiver.entry);
  if (kind == kMediaVideo) videoStream_ = &receiver;
  if (kind == kMediaAudio) audioStream_ = &receiver;
}

int32_t RtspSession::setupRtsp(uint32_t local) {
  uint32_t offset = 0;  // shared by all streams
  for (StreamReceiver* r = streamHead_.get(); r; r = r->next.get()) {
    SdpMedia* media = r->entry->media;
    if (!media || !media->control) continue;
    const int kind = classifyMedia(r->entry);
    if (kind != kMediaVideo && kind != kMediaAudio) continue;

    std::unique_ptr<RtpSession> rtp;
    int rtpPort = 0;
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
    std::snprintf(transport, sizeof transport, "RTP/AVP;unicast;client_port=%d-%d", rtpPort, rtpPort + 1);
    request_.transport = transport;
    int rc;
    {
      std::lock_guard<std::mutex> lock(clientMutex_);
      rc = client_->setup(*media->control, &request_, clientSession_, response_, useAggregate_);
    }
    r->serverPort = parseServerPort(response_.get());
    if (response_ && response_->session) {
      if (const auto timeout = sessionTimeoutSeconds(*response_->session)) sessionTimeoutSeconds_ = *timeout;
    }
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
      std::lock_guard<std::mutex> lock(clientMutex_);
      rc = useAggregate_ ? client_->play(aggregateUrl_, &request_, response_)
                         : client_->play(clientSession_, &request_, response_);
    }
    releaseResponse();
    if (rc != kRtspOk) return kSessionRtspBase + rc;
  }
  playing_ = true;
  if (!descriptionMode_ && clientSession_ && !keepAlive_) {
    const auto interval = std::chrono::milliseconds(uint64_t{sessionTimeoutSeconds_} * 1000u / 2u);
    keepAlive_ = std::make_unique<RtspKeepAlive>(interval, [this] { sendKeepAlive(); });
  }
  return kSessionOk;
}

void RtspSession::sendKeepAlive() {
  std::lock_guard<std::mutex> lock(clientMutex_);
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
    std::lock_guard<std::mutex> lock(clientMutex_);
    if (client_ && clientSession_) {
      if (useAggregate_) {
        client_->teardown(aggregateUrl_, nullptr, response_);
      } else {
        client_->teardown(clientSession_, nullptr, response_);
      }
      releaseResponse();
    }
    client_.reset();
  }
  sdp_.reset();
  // Receivers first (their RTP sessions say goodbye), then the entries.
  streamHead_.reset();
  streamTail_ = nullptr;
  videoStream_ = nullptr;
  audioStream_ = nullptr;
  mediaHead_ = nullptr;
  entries_.clear();
  clientSession_ = nullptr;
  request_ = RtspRequest{};
  response_.reset();
  aggregateAvailable_ = false;
  useAggregate_ = false;
  descriptionMode_ = false;
  keepAliveWithOptions_ = false;
  sessionTimeoutSeconds_ = kDefaultKeepAliveTimeoutSeconds;
  serverAddress_ = 0;
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
    if (e->media && e->media->range.valid) return e->media->range.openEnd ? 0.0 : e->media->range.end;
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
      if (std::sscanf(attribute.c_str() + at + 9, "%d,%d,%d,%d", &v[0], &v[1], &v[2], &v[3]) != 4) return false;
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
