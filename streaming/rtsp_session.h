#pragma once
// RtspSession: everything one live stream needs below the streaming source:
// the RTSP client (RTSP mode) or a local session description (description
// mode), the decoded description, one MediaEntry per media description, one
// StreamReceiver per stream the source chose, their RTP sessions, the
// receive thread and its mutex, and the keep-alive of the RTSP session.
//
// Calling order: create, describe or loadDescription, firstMedia and the
// per-entry queries (media_entry.h, payload_kind.h, payload_config.h),
// addStream per chosen stream, setAggregateControl(1) when available,
// setup(nullptr), play, ..., destroy. Every operation returns a code of
// rtsp_result.h.
//
// Threads: every operation runs on the thread that owns the streaming source.
// setup starts the receive thread (receive_loop.h), which alone touches the
// RTP sessions until teardown has joined it; play starts the keep-alive
// thread, which shares the RTSP client with the owning thread under its own
// lock. The session mutex guards the receivers' sequence state and pending
// packets (resetSequences takes it); no callback ever runs under it.
//
// Ownership: the session owns the client, the description, the entries, the
// receivers with their RTP sessions, and both threads. Frames delivered to
// callbacks belong to the callbacks.
//
// Choices where the design leaves room:
// - Control URLs are resolved per RFC 2326 C.1.1 (control_url.h): absolute
//   values are used as they are, "*" is the base, others are appended.
//   Aggregate PLAY and TEARDOWN go to the session-level control URL when it
//   is absolute, else to the URL that was described.
// - An open-ended range ("npt=5-", "npt=now-", "npt=now-30") has no end:
//   rangeEnd gives 0.0 (unknown duration) and PLAY asks for "npt=<start>-",
//   or "npt=now-" for a live session.
// - Each stream has its own RTP session, and packets go to the receiver of
//   the session they arrived on; the newest video and the newest audio
//   stream are the ones polled.
// - Keep-alive: while playing in RTSP mode, a GET_PARAMETER is sent on the
//   RTSP session at half the timeout its SETUP reply's Session header gave
//   (60 s when it gives none); once a server refuses GET_PARAMETER, OPTIONS
//   is sent instead. Failures of keep-alive requests are not reported.
// - Host look-ups use getaddrinfo (IPv4).
// - describe or loadDescription on a described session tears the old
//   description down first, so no entry outlives the description it names.
// - Transport (setTransport): UDP port pairs as designed, media inside the
//   RTSP connection (RFC 2326 10.12, "RTP/AVP/TCP;unicast;interleaved=2n-
//   2n+1" for the n-th stream set up, the server's channels taken from its
//   reply), or automatic: UDP, and TCP once when the server refuses UDP
//   (461 to a SETUP) or when no RTP packet has arrived kUdpProbeMs after
//   PLAY. The fallback tears the UDP session down, closes its ports and sets
//   everything up again over TCP; play() returns once the stream runs over
//   one or the other. Over TCP the receive thread drains the connection
//   (RtspClient::receiveInterleaved, under the client lock, yielding to any
//   thread waiting for it) and hands each frame to the RTP session of its
//   stream as if it had come in a datagram; no receiver reports are sent.
// - A URL with userinfo logs in with it (rtsp_credentials.h); the session
//   itself keeps and uses the URL without it. After a redirect during
//   DESCRIBE the URL redirected to is the session's URL and its host the
//   server address.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocols/rtsp/rtsp_client.h"
#include "protocols/rtsp/rtsp_types.h"
#include "protocols/sdp/sdp_types.h"
#include "streaming/interleaved_queue.h"
#include "streaming/media_entry.h"
#include "streaming/rtp_frame.h"
#include "streaming/rtsp_result.h"
#include "streaming/rtsp_transport.h"
#include "streaming/stream_receiver.h"

namespace strevana {

class RtspKeepAlive;

class RtspSession {
 public:
  static constexpr uint32_t kDefaultClientPort = 6970;
  // Port pairs tried in RTSP mode: offsets 0, 2, ... below this.
  static constexpr uint32_t kPortOffsetLimit = 100;
  static constexpr uint32_t kDefaultKeepAliveTimeoutSeconds = 60;
  // Automatic transport: how long after PLAY the first RTP packet may take
  // over UDP before the session moves to TCP.
  static constexpr uint32_t kUdpProbeMs = 2000;
  // How long the receive thread waits for bytes on the connection per pass.
  static constexpr uint32_t kInterleavedWaitMs = 5;

  // allocate and getData are required (else kSessionBadArgument); `deliver`
  // is the default for entries without a callback of their own. On an
  // allocation failure `out` stays null (kSessionOutOfMemory).
  static int32_t create(std::unique_ptr<RtspSession>& out, RtpDeliverCallback deliver,
                        RtpAllocateCallback allocate, RtpGetDataCallback getData, void* context);
  // Tears down (when described) and frees the session; clears `session`.
  static void destroy(std::unique_ptr<RtspSession>& session);
  ~RtspSession();
  RtspSession(const RtspSession&) = delete;
  RtspSession& operator=(const RtspSession&) = delete;

  // RTSP mode: DESCRIBE `url` ("rtsp://" required) and list its media.
  int32_t describe(const std::string& url, uint32_t clientPort);
  // Description mode: "buff://" followed by the description, or a file name.
  int32_t loadDescription(const std::string& name, uint32_t clientPort);

  MediaEntry* firstMedia() const { return mediaHead_; }
  StreamReceiver* firstStream() const { return streamHead_.get(); }
  int32_t addStream(MediaEntry* entry);
  int32_t setAggregateControl(int32_t flag);
  // Opens the RTP sessions, sends SETUP per stream (RTSP mode) and starts the
  // receive thread. localAddress: dotted IPv4, or null for any.
  int32_t setup(const char* localAddress);
  int32_t play();
  int32_t teardown();
  // Under the mutex: every receiver's first/last sequence number unset.
  void resetSequences();

  // The description's range (session level, else the first media with one),
  // in seconds; 0.0 when not described or without ranges.
  double rangeStart() const;
  double rangeEnd() const;
  // The "cliprect:a,b,bottom,right" attribute of the first video stream;
  // false when absent, short, or a value outside 0..2048.
  bool findClipRect(int32_t& a, int32_t& b, int32_t& bottom, int32_t& right) const;

  bool playing() const { return playing_.load(); }
  bool described() const { return described_; }
  bool receiving() const { return receiving_.load(); }
  bool aggregateAvailable() const { return aggregateAvailable_; }
  bool useAggregate() const { return useAggregate_; }
  bool descriptionMode() const { return descriptionMode_; }
  uint32_t clientPort() const { return clientPort_; }
  uint32_t serverAddress() const { return serverAddress_; }
  const SdpSession* description() const { return sdp_.get(); }
  // The receivers the receive thread polls (null when none).
  StreamReceiver* videoStream() const { return videoStream_; }
  StreamReceiver* audioStream() const { return audioStream_; }
  // RTSP mode: the client's receive time-out per read (default 10 s), and
  // the keep-alive interval in use once playing (0 when none runs).
  void setRtspReceiveTimeoutMs(uint32_t ms);
  uint32_t keepAliveIntervalMs() const;
  // Before setup; UDP alone unless set.
  void setTransport(RtspTransport transport) { transport_ = transport; }
  RtspTransport transport() const { return transport_; }
  // Whether media comes inside the RTSP connection (known after setup).
  bool interleaved() const { return useTcp_; }
  // The status code of the reply that failed the last RTSP request (401,
  // 461, ...), 0 when none did or no reply came.
  int32_t lastFailedStatus() const { return lastFailedStatus_; }

  // For the receive loop (receive_loop.h).
  std::mutex& mutex() { return mutex_; }
  FrameAllocator frameAllocator() const { return {allocate_, getData_, context_}; }
  RtpDeliverCallback defaultDeliver() const { return deliver_; }
  void* context() const { return context_; }
  // Over TCP: waits at most waitMs for media on the connection and queues
  // it; false when there was none or the client was busy or wanted.
  bool pumpInterleaved(uint32_t waitMs);
  void takeInterleaved(std::vector<InterleavedQueue::Frame>& frames) {
    interleaved_.takeAll(frames);
  }
  // The stream whose RTP (rtcp false) or RTCP (rtcp true) travels on the
  // channel; null for a channel no stream was set up on.
  StreamReceiver* receiverForChannel(uint8_t channel, bool& rtcp) const;

 private:
  class ClientLock;
  struct Route {
    uint8_t rtpChannel = 0;
    StreamReceiver* receiver = nullptr;
  };

  RtspSession(RtpDeliverCallback deliver, RtpAllocateCallback allocate, RtpGetDataCallback getData,
              void* context);
  int32_t setupRtsp(uint32_t localAddress);
  // SETUP of one stream with the given Transport; takes the session's
  // time-out from the reply and notes a refusal's status. The reply stays in
  // response_ for the caller to read and release.
  int sendSetup(const std::string& control, const char* transport);
  // TEARDOWN of the session the server gave (aggregate or per stream), if
  // any. The caller holds the client lock.
  void sendTeardownLocked();
  // Ends the RTSP session and closes every stream's RTP session, keeping
  // the described media and receivers, so they can be set up again.
  void dropStreams();
  int32_t sendPlay();
  // True once any stream has received a packet, false after waitMs.
  bool waitForFirstPacket(uint32_t waitMs) const;
  int32_t fallBackToTcp();
  void noteFailedStatus();
  int32_t setupDescription(uint32_t localAddress);
  int32_t startReceiving();
  void appendMedia(SdpMedia* media);
  // Gives the receiver its RTP session and makes it the polled video or
  // audio stream.
  void attach(StreamReceiver& receiver, std::unique_ptr<RtpSession> rtp);
  void sendKeepAlive();
  void stopThreads();
  void releaseResponse() { response_.reset(); }

  // Flags.
  std::atomic<bool> playing_{false};
  bool described_ = false;
  std::atomic<bool> receiving_{false};
  bool aggregateAvailable_ = false;
  bool useAggregate_ = false;
  bool descriptionMode_ = false;

  uint32_t clientPort_ = kDefaultClientPort;
  uint32_t serverAddress_ = 0;
  uint32_t rtspTimeoutMs_ = kRtspDefaultReceiveTimeoutMs;
  std::string requestUrl_;
  std::string aggregateUrl_;  // where aggregate PLAY and TEARDOWN go

  RtspTransport transport_ = RtspTransport::kUdp;
  bool useTcp_ = false;
  uint32_t localAddress_ = 0;
  int32_t lastFailedStatus_ = 0;
  std::vector<Route> routes_;     // TCP: written before the receive thread runs
  InterleavedQueue interleaved_;  // outlives the client that fills it

  RtspRequest request_;
  std::unique_ptr<RtspResponse> response_;
  RtspClientSession* clientSession_ = nullptr;
  std::unique_ptr<RtspClient> client_;
  // The client, between the owner, keep-alive and (over TCP) the receive
  // thread; clientWaiters_ counts threads waiting for it, so the receive
  // thread lets them in.
  std::mutex clientMutex_;
  std::atomic<int> clientWaiters_{0};
  std::unique_ptr<SdpSession> sdp_;
  uint32_t sessionTimeoutSeconds_ = kDefaultKeepAliveTimeoutSeconds;
  bool keepAliveWithOptions_ = false;  // the server refused GET_PARAMETER

  RtpDeliverCallback deliver_;
  RtpAllocateCallback allocate_;
  RtpGetDataCallback getData_;
  void* context_;

  // Media list: linked through MediaEntry::next, owned in list order.
  MediaEntry* mediaHead_ = nullptr;
  std::vector<std::unique_ptr<MediaEntry>> entries_;
  // Stream list.
  std::unique_ptr<StreamReceiver> streamHead_;
  StreamReceiver* streamTail_ = nullptr;
  StreamReceiver* videoStream_ = nullptr;
  StreamReceiver* audioStream_ = nullptr;

  std::mutex mutex_;
  std::thread receiveThread_;
  std::unique_ptr<RtspKeepAlive> keepAlive_;
};

}  // namespace strevana
