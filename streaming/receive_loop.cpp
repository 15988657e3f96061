#include "streaming/receive_loop.h"

#include <chrono>
#include <thread>
#include <vector>

#include "streaming/datagram_wait.h"
#include "streaming/rtsp_session.h"

namespace strevana {
namespace {

// Hands every packet the RTP session has queued for its current source to
// the stream's receiver, and the frames they complete to the stream's
// callback.
void drainStream(RtspSession& session, StreamReceiver& receiver, RtpSource& source) {
  RtpSession& rtp = *receiver.rtp;
  MediaEntry* entry = receiver.entry;
  const int payloadType = mediaPayloadType(entry);
  const uint32_t clockRate = mediaClockRate(entry);
  RtpDeliverCallback deliver = entry->deliver ? entry->deliver : session.defaultDeliver();
  void* context = entry->deliverContext ? entry->deliverContext : session.context();
  const FrameAllocator allocator = session.frameAllocator();
  while (std::unique_ptr<RtpPacket> packet = rtp.getNextPacket()) {
    // The RTP session is this stream's own: another payload type on it is not
    // this stream's media.
    if (packet->payloadType != payloadType) continue;
    if (source.senderReport().received) {
      receiver.noteSenderReport(source.senderReport(), clockRate);
      syncStreams(session.firstStream());
    }
    std::unique_ptr<RtpFrame> frame = receiver.addPacket(std::move(packet), allocator);
    if (frame && deliver) deliver(std::move(frame), context);
  }
  receiver.noteSourceStatistics(source, clockRate);
}

// Over TCP: drains the connection, gives each frame to the RTP session of its
// channel's stream as a datagram from the server, then drains the streams.
bool interleavedPass(RtspSession& session, std::vector<InterleavedQueue::Frame>& frames) {
  if (!session.playing()) return false;
  session.pumpInterleaved(RtspSession::kInterleavedWaitMs);
  session.takeInterleaved(frames);
  if (frames.empty()) return false;
  for (const InterleavedQueue::Frame& frame : frames) {
    bool rtcp = false;
    StreamReceiver* receiver = session.receiverForChannel(frame.channel, rtcp);
    if (!receiver || !receiver->rtp) continue;  // a channel nobody set up
    // The channel stands in for the port, so each stream's source keeps its
    // sender (RtpSource accepts one RTP and one RTCP port).
    if (rtcp) {
      receiver->rtp->processRtcpDatagram(frame.data.data(), frame.data.size(),
                                         session.serverAddress(), frame.channel);
    } else {
      receiver->rtp->processRtpDatagram(frame.data.data(), frame.data.size(),
                                        session.serverAddress(), frame.channel);
    }
  }
  for (StreamReceiver* r = session.firstStream(); r; r = r->next.get()) {
    if (!r->rtp) continue;
    r->rtp->maintain();
    if (r->rtp->gotoFirstSourceWithData()) {
      if (RtpSource* source = r->rtp->currentSource()) drainStream(session, *r, *source);
    }
  }
  return true;
}

}  // namespace

bool receivePass(RtspSession& session, bool audioTurn) {
  StreamReceiver* receiver =
      audioTurn && session.audioStream() ? session.audioStream() : session.videoStream();
  if (!session.playing() || !receiver || !receiver->rtp) return false;
  RtpSession& rtp = *receiver->rtp;
  if (rtp.poll() != kRtpOk) return false;
  if (!rtp.gotoFirstSourceWithData()) return false;
  RtpSource* source = rtp.currentSource();
  if (!source) return false;
  drainStream(session, *receiver, *source);
  return true;
}

void receiveLoop(RtspSession& session) {
  bool audioTurn = false;
  std::vector<InterleavedQueue::Frame> frames;
  while (session.receiving()) {
    audioTurn = !audioTurn;
    const bool worked =
        session.interleaved() ? interleavedPass(session, frames) : receivePass(session, audioTurn);
    if (worked) continue;
    if (session.interleaved()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kIdleSleepMs));
    } else {
      waitForDatagrams(session, kIdleSleepMs);
    }
  }
}

}  // namespace strevana
