// ffmpeg sends the clip over RTP (sound as mpeg4-generic) and writes the
// .sdp; the session loads that description and receives the packets through
// a relay that drops, reorders and duplicates them. Every access unit out of
// depacketisation must be one of the clip's own samples, byte for byte, in
// order, at the clip's own time: the video goes half a second late, so its
// times line up with the sound only through the RTCP sender reports. The
// receivers' counters say what the relay did. (The playback tests play
// ffmpeg's MP4A-LATM straight.)
#include <gtest/gtest.h>

#include <atomic>
#include <optional>

#include "stream_test_support.h"
#include "streaming/frame_depacketizer.h"
#include "streaming/rtsp_session.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using testing::Sample;
using testing::UdpPeer;
constexpr int kVideoDelayMs = 500;

// LossyRelay: forwards one stream's RTP (an even port of 127.0.0.1) and RTCP
// (the next) to a receiver's pair. Of the RTP packets it drops every 13th,
// holds every 11th back behind the next one and sends every 7th twice, each
// at its own phase; RTCP passes untouched. Read the counts once it stopped.
class LossyRelay {
 public:
  LossyRelay(int listenPort, int toPort)
      : rtp_(uint16_t(listenPort)), rtcp_(uint16_t(listenPort + 1)), to_(uint16_t(toPort)) {}
  ~LossyRelay() { stop(); }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

  std::atomic<int> forwarded{0};  // distinct packets
  std::vector<int> dropped;       // the indices of the packets dropped
  int reordered = 0, duplicated = 0;
  // Dropped packets that a later forwarded one follows: the losses a
  // receiver can see.
  int droppedInside() const {
    int n = 0;
    for (int d : dropped) n += d < lastForwarded_;
    return n;
  }

 private:
  void pass(const std::vector<uint8_t>& packet, int n) {
    rtp_.sendTo(to_, packet);
    ++forwarded;
    lastForwarded_ = std::max(lastForwarded_, n);
  }
  void run() {
    std::optional<std::pair<std::vector<uint8_t>, int>> held;
    for (int n = 0, quiet = 0; !stop_;) {
      if (const auto report = rtcp_.receive(0)) rtcp_.sendTo(uint16_t(to_ + 1), *report);
      const auto packet = rtp_.receive(20);
      quiet = packet ? 0 : quiet + 1;
      if (packet && n % 13 == 6) {
        dropped.push_back(n);
      } else if (packet && !held && n % 11 == 3) {
        held.emplace(*packet, n);
        ++reordered;
      } else if (packet) {
        pass(*packet, n);
        if (n % 7 == 2) rtp_.sendTo(to_, *packet), ++duplicated;
      }
      // Sent after the next packet, or late once the sender went quiet.
      if (held && ((packet && held->second != n) || quiet > 10))
        pass(held->first, held->second), held.reset();
      n += packet ? 1 : 0;
    }
  }

  UdpPeer rtp_, rtcp_;
  uint16_t to_;
  int lastForwarded_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_{[this] { run(); }};  // last: starts once the rest is made
};

TEST(FfmpegReceptionTest, UnitsAreTheClipsSamplesAtTheirTimesThroughLosses) {
  const testing::ClipSamples& clip = testing::clipSamples();
  ASSERT_EQ(clip.video.size(), 75u);
  testing::ScratchFolder folder;
  const std::string sdp = folder.file("clip.sdp");
  int ports[4];
  for (int& p : ports) {
    do p = testing::freePort();
    while (std::count(ports, &p, p));
  }
  ASSERT_TRUE(testing::writeDescription(ports[0], ports[1], false, sdp, kVideoDelayMs));
  std::unique_ptr<RtspSession> session;
  RtspSession::create(session, nullptr, &CIOStrmPin::allocateBufferElem, &testing::elementData,
                      nullptr);
  ASSERT_EQ(session->loadDescription(sdp, 6970), kSessionOk);
  MediaEntry* entries[2] = {session->firstMedia(), session->firstMedia()->next};
  ASSERT_NE(entries[1], nullptr);
  testing::SharedLog<Sample> units[2];
  std::unique_ptr<FrameDepacketizer> depacketizers[2];
  for (int k = 0; k < 2; ++k) {
    depacketizers[k] = FrameDepacketizer::create(*entries[k], [&, k](CBufferElem* e, int64_t t) {
      units[k].add({{e->data(), e->data() + e->size()}, t});
      CIOStrmPin::freeBufferElem(e);
    });
    setDeliverCallback(entries[k], k ? &onAudioFrame : &onVideoFrame, depacketizers[k].get());
    ASSERT_EQ(session->addStream(entries[k]), kSessionOk);
  }
  // However the test ends, the receive thread stops before what it feeds.
  struct StopFirst {
    std::unique_ptr<RtspSession>& session;
    ~StopFirst() { RtspSession::destroy(session); }
  } stopFirst{session};
  ASSERT_EQ(session->setup(nullptr), kSessionOk);
  ASSERT_EQ(session->play(), kSessionOk);
  std::optional<LossyRelay> relays[2];
  for (int k = 0; k < 2; ++k) relays[k].emplace(ports[2 + k], ports[k]);
  testing::ChildProcess sender(testing::ffmpegSender(ports[2], ports[3], false, "", kVideoDelayMs),
                               folder.file("log"));
  ASSERT_TRUE(testing::waitFor([&] { return sender.exited(); }, 20000));
  // ffmpeg's mpeg4-generic packetiser drops the frames it still holds at the end.
  ASSERT_TRUE(units[0].waitFor(40) && units[1].waitFor(50)) << sender.output();
  uint64_t outOfOrder = 0;
  for (int k = 0; k < 2; ++k) {
    const StreamReceiver& receiver = *entries[k]->receiver;
    LossyRelay& relay = *relays[k];
    relay.stop();
    ASSERT_TRUE(testing::waitFor(
        [&] { return receiver.receivedCount() >= uint64_t(relay.forwarded.load()); }, 2000));
    ASSERT_TRUE(!relay.dropped.empty() && relay.reordered > 0 && relay.duplicated > 0);
    EXPECT_EQ(receiver.receivedCount(), uint64_t(relay.forwarded.load())) << "stream " << k;
    EXPECT_EQ(receiver.lostCount(), relay.droppedInside()) << "stream " << k;
    outOfOrder += receiver.outOfOrderCount();
    EXPECT_GT(receiver.jitterMs(), 0.0);  // reordering alone makes the arrivals jitter
  }
  EXPECT_GT(outOfOrder, 0u);
  RtspSession::destroy(session);
  // Each unit is the next sample sent, at its own time: the sound's from its
  // first sample, the pictures' from the sound's first instant once both
  // streams' sender reports are in (the first few pictures, sent before
  // ffmpeg gathered a packet of sound, count from the video's own start).
  const int64_t audioStartMs = av_rescale_q(clip.audio[0].pts, clip.audioBase, {1, 1000});
  for (int k = 0; k < 2; ++k) {
    const std::vector<Sample>& sent = k ? clip.audio : clip.video;
    size_t next = 0, n = 0;
    for (const Sample& unit : units[k].all()) {
      while (next < sent.size() && sent[next].bytes != unit.bytes) ++next;
      ASSERT_LT(next, sent.size()) << k << ": a unit that is no sample sent, or out of order";
      const int64_t at = k ? sent[next].pts - sent[0].pts
                           : av_rescale_q(sent[next].pts, clip.videoBase, {1, 1000}) +
                                 kVideoDelayMs - audioStartMs;
      if (k == 0 && ++n <= 5) continue;
      EXPECT_NEAR(double(unit.pts), double(at), k ? 0.0 : 40.0) << k << ": sample " << next;
    }
    EXPECT_GE(next + 10, sent.size()) << k;
  }
}

}  // namespace
}  // namespace strevana
