// Reception from a real sender: ffmpeg sends a fixture clip over RTP to
// loopback ports and writes the .sdp; the session loads that description and
// every access unit that comes out of depacketisation must be the clip's own
// sample, byte for byte, at the clip's own time. The video is sent half a
// second late, so its times line up with the audio only through the RTCP
// sender reports.
extern "C" {
#include <libavformat/avformat.h>
}

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "stream_test_support.h"
#include "streaming/frame_depacketizer.h"
#include "streaming/rtsp_session.h"
#include "rtsp_peer.h"

namespace strevana {
namespace {

using testing::ChildProcess;
using testing::fixture;
using testing::freePort;
using testing::TempFolder;
using testing::waitFor;

constexpr int kVideoDelayMs = 500;

struct Sample {
  std::vector<uint8_t> bytes;
  int64_t pts;  // in the stream's time base
};

struct ClipSamples {
  std::vector<Sample> video, audio;
  AVRational videoBase{0, 1}, audioBase{0, 1};
};

ClipSamples readSamples(const std::string& path) {
  ClipSamples clip;
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) return clip;
  avformat_find_stream_info(context, nullptr);
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(context, packet) >= 0) {
    const AVStream* stream = context->streams[packet->stream_index];
    const bool video = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    (video ? clip.videoBase : clip.audioBase) = stream->time_base;
    (video ? clip.video : clip.audio)
        .push_back({std::vector<uint8_t>(packet->data, packet->data + packet->size), packet->pts});
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&context);
  return clip;
}

class Collected {
 public:
  FrameDepacketizer::Sink sink() {
    return [this](CBufferElem* element, int64_t time) {
      std::lock_guard<std::mutex> lock(mutex_);
      units_.push_back(
          {std::vector<uint8_t>(element->data(), element->data() + element->size()), time});
      CIOStrmPin::freeBufferElem(element);
    };
  }
  size_t count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return units_.size();
  }
  std::vector<Sample> units() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return units_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Sample> units_;  // time in the depacketizer's unit
};

class FfmpegReceptionTest : public ::testing::TestWithParam<bool> {};

TEST_P(FfmpegReceptionTest, AccessUnitsAreTheClipsSamplesAtTheirTimes) {
  const bool latm = GetParam();
  const std::string clip = fixture("mpeg4_aac.mp4");
  const ClipSamples expected = readSamples(clip);
  ASSERT_EQ(expected.video.size(), 75u);
  ASSERT_GT(expected.audio.size(), 100u);

  TempFolder folder;
  const std::string sdp = folder.file("clip.sdp");
  const int videoPort = freePort(SOCK_DGRAM, true);
  int audioPort = freePort(SOCK_DGRAM, true);
  while (audioPort == videoPort) audioPort = freePort(SOCK_DGRAM, true);
  ASSERT_TRUE(testing::writeDescription(clip, videoPort, audioPort, latm, sdp, {}, kVideoDelayMs));

  std::unique_ptr<RtspSession> session;
  ASSERT_EQ(RtspSession::create(session, nullptr, &CIOStrmPin::allocateBufferElem,
                                &testing::elementData, nullptr),
            kSessionOk);
  ASSERT_EQ(session->loadDescription(sdp, 6970), kSessionOk);
  MediaEntry* video = session->firstMedia();
  ASSERT_NE(video, nullptr);
  MediaEntry* audio = video->next;
  ASSERT_NE(audio, nullptr);
  ASSERT_EQ(classifyMedia(video), kMediaVideo);
  ASSERT_EQ(classifyMedia(audio), kMediaAudio);
  ASSERT_EQ(payloadKindOf(mediaEncodingName(audio)),
            latm ? PayloadKind::kMp4aLatm : PayloadKind::kMpeg4Generic);
  Collected pictures, sound;
  auto videoUnits = FrameDepacketizer::create(*video, pictures.sink());
  auto audioUnits = FrameDepacketizer::create(*audio, sound.sink());
  ASSERT_NE(videoUnits, nullptr);
  ASSERT_NE(audioUnits, nullptr);
  // Whatever way the test ends, the receive thread stops before the
  // depacketizers and logs it delivers to go away.
  struct StopFirst {
    std::unique_ptr<RtspSession>& session;
    ~StopFirst() { RtspSession::destroy(session); }
  } stopFirst{session};
  setDeliverCallback(video, &onVideoFrame, videoUnits.get());
  setDeliverCallback(audio, &onAudioFrame, audioUnits.get());
  ASSERT_EQ(session->addStream(video), kSessionOk);
  ASSERT_EQ(session->addStream(audio), kSessionOk);
  ASSERT_EQ(session->setup(nullptr), kSessionOk);
  ASSERT_EQ(session->play(), kSessionOk);

  ChildProcess sender(
      testing::ffmpegSender(clip, videoPort, audioPort, latm, "", {}, kVideoDelayMs),
      folder.file("sender.log"));
  ASSERT_TRUE(sender.started());
  // ffmpeg's mpeg4-generic packetiser gathers up to five AAC frames per
  // packet and drops what it still holds at the end.
  const size_t soundExpected = expected.audio.size() - (latm ? 0 : 5);
  ASSERT_TRUE(waitFor(
      [&] { return pictures.count() >= expected.video.size() && sound.count() >= soundExpected; },
      20000))
      << "video " << pictures.count() << " audio " << sound.count() << "\n"
      << sender.output();
  EXPECT_EQ(video->receiver->lostCount(), 0);
  EXPECT_EQ(audio->receiver->lostCount(), 0);
  EXPECT_GT(audio->receiver->receivedCount(), 0u);
  EXPECT_EQ(videoUnits->droppedFrames(), 0u);
  RtspSession::destroy(session);

  // Sound: every AAC frame, each at its own time (several share a packet in
  // mpeg4-generic); LATM units keep their length bytes for the decoder.
  const auto heard = sound.units();
  ASSERT_GE(heard.size(), soundExpected);
  ASSERT_LE(heard.size(), expected.audio.size());
  for (size_t i = 0; i < heard.size(); ++i) {
    std::vector<uint8_t> unit = heard[i].bytes;
    if (latm) {
      size_t n = 0;
      while (n < unit.size() && unit[n] == 255) ++n;
      unit.erase(unit.begin(), unit.begin() + static_cast<std::ptrdiff_t>(n + 1));
    }
    ASSERT_EQ(unit, expected.audio[i].bytes) << "audio unit " << i;
    EXPECT_EQ(heard[i].pts, expected.audio[i].pts - expected.audio[0].pts) << "audio unit " << i;
  }

  // Pictures: every VOP, timed against the audio's first instant once both
  // streams' sender reports are in. Pictures built before the first audio
  // packet arrived count from the video's own start (ffmpeg sends the first
  // pictures before it has gathered a packet of mpeg4-generic audio).
  const auto seen = pictures.units();
  ASSERT_EQ(seen.size(), expected.video.size());
  const int64_t audioStartMs = av_rescale_q(expected.audio[0].pts, expected.audioBase, {1, 1000});
  size_t synced = seen.size();
  for (size_t i = 0; i < seen.size(); ++i) {
    ASSERT_EQ(seen[i].bytes, expected.video[i].bytes) << "picture " << i;
    const int64_t ms = av_rescale_q(expected.video[i].pts, expected.videoBase, {1, 1000}) +
                       kVideoDelayMs - audioStartMs;
    if (synced == seen.size() && std::abs(seen[i].pts - ms) <= 40) synced = i;
    if (i >= synced) {
      EXPECT_NEAR(static_cast<double>(seen[i].pts), static_cast<double>(ms), 40.0)
          << "picture " << i;
    }
  }
  EXPECT_LE(synced, 5u) << "pictures took too long to line up with the sound";
}

INSTANTIATE_TEST_SUITE_P(Audio, FfmpegReceptionTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("latm") : std::string("mpeg4_generic");
                         });

}  // namespace
}  // namespace strevana
