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
  testing::ChildProcess sender(
      testing::ffmpegSender(ports[2], ports[3], false, "", kVideoDelayMs), folder.file("log"));
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
  // Sound: each unit is the next AAC frame sent, at its own time.
  size_t next = 0;
  for (const Sample& unit : units[1].all()) {
    while (next < clip.audio.size() && clip.audio[next].bytes != unit.bytes) ++next;
    ASSERT_LT(next, clip.audio.size()) << "a unit that is no sample, or out of order";
    EXPECT_EQ(unit.pts, clip.audio[next].pts - clip.audio[0].pts);
  }
  EXPECT_GE(next + 1, clip.audio.size() - 10);
  // Pictures: each the next VOP sent, timed against the sound's first
  // instant once both streams' sender reports are in (the first few, sent
  // before ffmpeg gathered a packet of sound, count from the video's own
  // start).
  const int64_t audioStartMs = av_rescale_q(clip.audio[0].pts, clip.audioBase, {1, 1000});
  next = 0;
  size_t shown = 0;
  for (const Sample& unit : units[0].all()) {
    while (next < 75 && clip.video[next].bytes != unit.bytes) ++next;
    ASSERT_LT(next, 75u) << "a unit that is no picture sent, or out of order";
    const int64_t ms = av_rescale_q(clip.video[next].pts, clip.videoBase, {1, 1000}) +
                       kVideoDelayMs - audioStartMs;
    if (++shown <= 5) continue;
    EXPECT_NEAR(double(unit.pts), double(ms), 40.0) << "picture " << next;
  }
}

}  // namespace
}  // namespace strevana
