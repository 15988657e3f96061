#include "streaming/frame_depacketizer.h"

#include <gtest/gtest.h>

#include <vector>

#include "stream_test_support.h"

namespace strevana {
namespace {

using testing::describe;
using testing::oneMedia;

struct Delivered {
  std::vector<uint8_t> bytes;
  int64_t time;
  uint64_t descriptorTime;
  CBufferElem* element;
};

class FrameDepacketizerTest : public ::testing::Test {
 protected:
  ~FrameDepacketizerTest() override {
    for (Delivered& d : delivered_) CIOStrmPin::freeBufferElem(d.element);
  }

  std::unique_ptr<FrameDepacketizer> make(const std::string& sdp) {
    media_ = describe(sdp);
    return FrameDepacketizer::create(*media_.entry(0), [this](CBufferElem* element, int64_t time) {
      delivered_.push_back(
          {std::vector<uint8_t>(element->data(), element->data() + element->size()), time,
           element->desc().time(), element});
    });
  }

  // A frame whose bytes live in an element, as the receive thread makes it.
  static std::unique_ptr<RtpFrame> frame(const std::vector<uint8_t>& bytes, int64_t timestamp,
                                         bool discontinuity = false) {
    auto f = std::make_unique<RtpFrame>();
    CIOStrmPin::allocateBufferElem(f->element, static_cast<uint32_t>(bytes.size()));
    f->data = f->element->data();
    std::copy(bytes.begin(), bytes.end(), f->data);
    f->size = static_cast<uint32_t>(bytes.size());
    f->timestamp = timestamp;
    f->discontinuity = discontinuity ? 1 : 0;
    f->packetSizes = {f->size};
    return f;
  }

  testing::DescribedMedia media_;
  std::vector<Delivered> delivered_;
};

TEST_F(FrameDepacketizerTest, VideoPassesTheFramesElementStampedInMilliseconds) {
  auto video = make(oneMedia("video", "MP4V-ES/90000", "config=000001B0"));
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->kind(), PayloadKind::kMp4vEs);
  auto f = frame({0, 0, 1, 0xB6, 7}, 180000);
  CBufferElem* element = f->element;
  onVideoFrame(std::move(f), video.get());
  ASSERT_EQ(delivered_.size(), 1u);
  EXPECT_EQ(delivered_[0].element, element);  // no copy
  EXPECT_EQ(delivered_[0].time, 2000);
  EXPECT_EQ(delivered_[0].descriptorTime, 2000u);
}

TEST_F(FrameDepacketizerTest, TimesInEitherUnit) {
  const struct {
    const char* rtpmap;
    int64_t timestamp;
    bool video;
    uint64_t expected;
  } cases[] = {
      {"MP4V-ES/90000", 45, true, 0},    // 0.5 ms truncates
      {"MP4V-ES/90000", -900, true, 0},  // before the audio base: 0
      {"MP4V-ES/0", 50, true, 2000},     // no clock rate: 25
      {"MP4V-ES/90000", 90000LL * 3000000, true, 3000000000u},
      {"mpeg4-generic/0", 44100, false, 44100},  // audio stays in clock units
      {"mpeg4-generic/48000", 0x123456789LL, false, 0x123456789u},
  };
  for (const auto& c : cases) {
    delivered_.clear();
    auto d = make(oneMedia(c.video ? "video" : "audio", c.rtpmap, "mode=generic"));
    ASSERT_NE(d, nullptr) << c.rtpmap;
    (c.video ? onVideoFrame : onAudioFrame)(frame({1, 2}, c.timestamp), d.get());
    ASSERT_EQ(delivered_.size(), 1u) << c.rtpmap;
    const uint64_t descriptor = c.video ? c.expected & 0xffffffffu : c.expected;
    EXPECT_EQ(delivered_[0].descriptorTime, descriptor) << c.rtpmap << " " << c.timestamp;
    CIOStrmPin::freeBufferElem(delivered_[0].element);
  }
  delivered_.clear();
}

TEST_F(FrameDepacketizerTest, SeveralAccessUnitsBecomeSeveralElements) {
  auto audio = make(oneMedia("audio", "MPEG4-GENERIC/44100/2", "mode=AAC-hbr; config=1210"));
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(audio->kind(), PayloadKind::kMpeg4Generic);
  // Two AU headers (sizes 2 and 1).
  onAudioFrame(frame({0x00, 0x20, 0x00, 0x10, 0x00, 0x08, 0xA, 0xB, 0xC}, 100), audio.get());
  ASSERT_EQ(delivered_.size(), 2u);
  EXPECT_EQ(delivered_[0].bytes, (std::vector<uint8_t>{0xA, 0xB}));
  EXPECT_EQ(delivered_[0].time, 100);
  EXPECT_EQ(delivered_[1].bytes, (std::vector<uint8_t>{0xC}));
  EXPECT_EQ(delivered_[1].time, 1124);
}

TEST_F(FrameDepacketizerTest, DiscontinuousAndMalformedFramesAreDropped) {
  auto audio = make(oneMedia("audio", "MP4A-LATM/44100/2", "cpresent=0;config=40002410"));
  ASSERT_NE(audio, nullptr);
  onAudioFrame(frame({2, 1, 2}, 0, true), audio.get());  // after a loss
  onAudioFrame(frame({9, 1, 2}, 0), audio.get());        // length past the payload
  EXPECT_TRUE(delivered_.empty());
  EXPECT_EQ(audio->droppedFrames(), 2u);
  onAudioFrame(frame({2, 1, 2}, 0), audio.get());
  ASSERT_EQ(delivered_.size(), 1u);
  EXPECT_EQ(delivered_[0].bytes, (std::vector<uint8_t>{2, 1, 2}));  // as the LATM decoder takes it
}

TEST_F(FrameDepacketizerTest, UnknownFormatsGetNoDepacketizer) {
  EXPECT_EQ(make(oneMedia("video", "H263-1998/90000")), nullptr);
  EXPECT_EQ(make(oneMedia("audio", "")), nullptr);
}

}  // namespace
}  // namespace strevana
