// ffmpeg sends the clip over RTP (sound as mpeg4-generic) and writes the
// .sdp; the session loads that description and receives the packets through
// a relay that drops, reorders and duplicates them. Every access unit out of
// depacketisation must be one of the clip's own samples, byte for byte, in
// order, at the clip's own time: the video goes half a second late, so its
// times line up with the sound only through the RTCP sender reports. The
// receivers' counters say what the relay did. (The playback tests play
// ffmpeg's MP4A-LATM straight.)
#include <gtest/gtest.h>

#include "lossy_relay.h"
#include "stream_test_support.h"
#include "streaming/frame_depacketizer.h"
#include "streaming/rtsp_session.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using testing::Sample;
constexpr int kVideoDelayMs = 500;

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
  std::optional<testing::LossyRelay> relays[2];
  for (int k = 0; k < 2; ++k) relays[k].emplace(ports[2 + k], ports[k]);
  testing::ChildProcess sender(testing::ffmpegSender(ports[2], ports[3], false, "", kVideoDelayMs),
                               folder.file("log"));
  ASSERT_TRUE(testing::waitFor([&] { return sender.exited(); }, 20000));
  // ffmpeg's mpeg4-generic packetiser drops the frames it still holds at the end.
  ASSERT_TRUE(units[0].waitFor(40) && units[1].waitFor(50)) << sender.output();
  uint64_t outOfOrder = 0;
  for (int k = 0; k < 2; ++k) {
    const StreamReceiver& receiver = *entries[k]->receiver;
    testing::LossyRelay& relay = *relays[k];
    relay.stop();
    ASSERT_TRUE(testing::waitFor(
        [&] { return receiver.receivedCount() >= uint64_t(relay.forwarded.load()); }, 2000));
    ASSERT_TRUE(relay.dropped > 0 && relay.reordered > 0 && relay.duplicated > 0);
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
