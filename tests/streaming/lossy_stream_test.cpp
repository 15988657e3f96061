// A stream through a relay that drops, reorders and duplicates packets: the
// counters say what the relay did, nothing crashes, and pictures and sound
// go on after every loss.
#include <gtest/gtest.h>

#include <string>

#include "lossy_relay.h"
#include "stream_test_support.h"
#include "streaming/rtsp_stream_source.h"

namespace strevana {
namespace {

using testing::ChildProcess;
using testing::freePort;
using testing::LossyRelay;
using testing::Playback;

TEST(LossyStreamTest, CountersMatchWhatTheRelayDidAndPlaybackGoesOn) {
  const std::string clip = testing::fixture("mpeg4_aac.mp4");
  const int videoPort = freePort(SOCK_DGRAM, true);
  const int audioPort = freePort(SOCK_DGRAM, true);
  const int relayVideo = freePort(SOCK_DGRAM, true);
  const int relayAudio = freePort(SOCK_DGRAM, true);
  ASSERT_TRUE(videoPort && audioPort && relayVideo && relayAudio);
  testing::TempFolder folder;
  const std::string sdp = folder.file("stream.sdp");
  ASSERT_TRUE(testing::writeDescription(clip, videoPort, audioPort, false, sdp));

  RtspStreamSource source(nullptr, sdp.c_str(), kFormatYuy2, kPostfilterNone, 0, 300, 1500, 0, 0,
                          nullptr, nullptr, nullptr, nullptr, nullptr, 0);
  ASSERT_TRUE(source.hasVideo && source.hasAudio);
  LossyRelay::Pattern pattern;
  pattern.dropEvery = 13;
  pattern.dropPhase = 6;
  pattern.reorderEvery = 11;
  pattern.reorderPhase = 3;
  pattern.duplicateEvery = 7;
  pattern.duplicatePhase = 2;
  LossyRelay relay({{relayVideo, videoPort}, {relayAudio, audioPort}}, pattern);
  ASSERT_TRUE(relay.ok());
  ChildProcess ffmpeg(testing::ffmpegSender(clip, relayVideo, relayAudio, false, ""),
                      folder.file("sender.log"));

  // Plays to the end of the clip; the stream then falls silent and the
  // source ends after its time-out.
  const Playback played = testing::pull(source, 20000);
  EXPECT_TRUE(played.ended);
  ASSERT_TRUE(testing::waitFor([&] { return ffmpeg.exited(); }, 5000));

  const LossyRelay::Counts& video = relay.counts(0);
  const LossyRelay::Counts& audio = relay.counts(1);
  ASSERT_GT(video.dropped.load(), 2);
  ASSERT_GT(audio.dropped.load(), 0);  // few packets: several access units each
  ASSERT_GT(video.reordered.load() + audio.reordered.load(), 5);
  ASSERT_GT(video.duplicated.load() + audio.duplicated.load(), 5);
  EXPECT_EQ(source.videoPacketsReceived(), static_cast<uint64_t>(video.forwarded.load()));
  EXPECT_EQ(source.audioPacketsReceived(), static_cast<uint64_t>(audio.forwarded.load()));
  EXPECT_EQ(source.videoPacketsLost(), static_cast<uint64_t>(relay.droppedInside(0)));
  EXPECT_EQ(source.audioPacketsLost(), static_cast<uint64_t>(relay.droppedInside(1)));
  MediaSource::ReceptionFigures videoFigures, audioFigures;
  ASSERT_TRUE(source.receptionFigures(videoFigures, audioFigures));
  EXPECT_GT(videoFigures.outOfOrder + audioFigures.outOfOrder, 0u);
  EXPECT_GT(videoFigures.jitterMs, 0.0);  // reordering alone makes the arrivals jitter
  EXPECT_GT(audioFigures.jitterMs, 0.0);

  // After each loss decoding resumes: pictures reach the clip's end, and the
  // sound lasts as long as the clip (lost frames are filled with silence).
  ASSERT_FALSE(played.pictures.empty());
  EXPECT_GT(played.pictures.size(), 40u);
  EXPECT_GE(played.pictures.back().ms, 2600);
  const double audioMs =
      played.audioBytes * 1000.0 / (source.decodedChannels * 2) / source.decodedRate;
  EXPECT_GT(audioMs, 2500.0);
  EXPECT_GT(played.audioEnergy, 50.0);
  EXPECT_GT(source.droppedVideoFrames() + source.droppedAudioFrames(), 0u);
}

}  // namespace
}  // namespace strevana
