#include "streaming/receive_loop.h"

#include "streaming/datagram_wait.h"
#include "streaming/rtsp_session.h"

namespace strevana {

bool receivePass(RtspSession& session, bool audioTurn) {
  StreamReceiver* receiver = audioTurn && session.audioStream() ? session.audioStream() : session.videoStream();
  if (!session.playing() || !receiver || !receiver->rtp) return false;
  RtpSession& rtp = *receiver->rtp;
  if (rtp.poll() != kRtpOk) return false;
  if (!rtp.gotoFirstSourceWithData()) return false;
  RtpSource* source = rtp.currentSource();
  if (!source) return false;

  MediaEntry* entry = receiver->entry;
  const int payloadType = mediaPayloadType(entry);
  const uint32_t clockRate = mediaClockRate(entry);
  RtpDeliverCallback deliver = entry->deliver ? entry->deliver : session.defaultDeliver();
  void* context = entry->deliverContext ? entry->deliverContext : session.context();
  const FrameAllocator allocator = session.frameAllocator();
  while (std::unique_ptr<RtpPacket> packet = rtp.getNextPacket()) {
    // The RTP session is this stream's own: another payload type on it is not
    // this stream's media.
    if (packet->payloadType != payloadType) continue;
    if (source->senderReport().received) {
      receiver->noteSenderReport(source->senderReport(), clockRate);
      syncStreams(session.firstStream());
    }
    std::unique_ptr<RtpFrame> frame = receiver->addPacket(std::move(packet), allocator);
    if (frame && deliver) deliver(std::move(frame), context);
  }
  receiver->noteSourceStatistics(*source, clockRate);
  return true;
}

void receiveLoop(RtspSession& session) {
  bool audioTurn = false;
  while (session.receiving()) {
    audioTurn = !audioTurn;
    if (!receivePass(session, audioTurn)) waitForDatagrams(session, kIdleSleepMs);
  }
}

}  // namespace strevana
