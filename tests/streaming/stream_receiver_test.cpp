#include "streaming/stream_receiver.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "stream_test_support.h"

namespace strevana {
namespace {

using testing::describe;
using testing::oneMedia;
using testing::rtpDatagram;

int32_t getData(CBufferElem* element, uint8_t*& data) {
  data = element->data();
  return 0;
}
int32_t failAllocate(CBufferElem*&, uint32_t) { return kPinNoMemory; }

const FrameAllocator kAllocator{&CIOStrmPin::allocateBufferElem, &getData, nullptr};

std::unique_ptr<RtpPacket> packet(uint32_t extendedSequence, uint32_t timestamp, bool marker,
                                  std::vector<uint8_t> payload = {0xAB},
                                  uint32_t ssrc = 0x11223344) {
  const auto d =
      rtpDatagram(static_cast<uint16_t>(extendedSequence), timestamp, marker, payload, 96, ssrc);
  auto p = RtpPacket::parse(d.data(), d.size());
  p->extendedSequenceNumber = extendedSequence;
  return p;
}

class StreamReceiverTest : public ::testing::Test {
 protected:
  testing::DescribedMedia media_ = describe(oneMedia("video", "MP4V-ES/90000"));
  std::mutex mutex_;
  StreamReceiver receiver_{*media_.entry(0), mutex_};
};

TEST_F(StreamReceiverTest, SequenceAccounting) {
  struct Step {
    uint32_t sequence;
    bool marker;
    uint32_t ssrc = 1;
  };
  struct Frame {
    uint32_t sequence;
    uint32_t size;
    bool discontinuity;
  };
  const struct {
    const char* name;
    std::vector<Step> steps;
    std::vector<Frame> frames;
    int64_t lost;
    uint64_t received;
  } cases[] = {
      {"10, 11, 13: the frame holding 13 is flagged",
       {{10, false}, {11, true}, {13, true}},
       {{10, 2, false}, {13, 1, true}},
       1,
       3},
      {"a gap inside a frame drops its head",
       {{1, true}, {2, false}, {4, false}, {5, true}},
       {{1, 1, false}, {4, 2, true}},
       1,
       4},
      {"the flag goes to the next frame built only",
       {{1, true}, {3, true}, {4, true}},
       {{1, 1, false}, {3, 1, true}, {4, 1, false}},
       1,
       3},
      {"a late packet takes its loss back and joins nothing",
       {{1, true}, {3, true}, {2, true}},
       {{1, 1, false}, {3, 1, true}},
       0,
       3},
      {"a repeated packet counts once",
       {{1, true}, {2, true}, {2, true}, {1, true}},
       {{1, 1, false}, {2, 1, false}},
       0,
       2},
      {"a packet from before the first one", {{5, true}, {4, true}}, {{5, 1, false}}, 0, 2},
      {"a marker with nothing pending is a frame alone", {{7, true}}, {{7, 1, false}}, 0, 1},
      {"across the 16-bit wrap (extended numbers)",
       {{65535, false}, {65536, true}, {65538, true}},
       {{65535, 2, false}, {65538, 1, true}},
       1,
       3},
      {"a restarted sender (new source) starts over",
       {{100, true}, {101, false}, {5, true, 2}, {6, true, 2}},
       {{100, 1, false}, {5, 1, true}, {6, 1, false}},
       0,
       4},
      {"two in sequence far behind the last start over",
       {{5000, true}, {10, true}, {11, true}, {12, true}},
       {{5000, 1, false}, {11, 1, true}, {12, 1, false}},
       0,
       3},
      {"one packet far behind is a stray",
       {{5000, true}, {10, true}, {5001, true}},
       {{5000, 1, false}, {5001, 1, false}},
       0,
       2},
  };
  for (const auto& c : cases) {
    std::mutex mutex;
    StreamReceiver receiver(*media_.entry(0), mutex);
    std::vector<std::unique_ptr<RtpFrame>> frames;
    for (const Step& s : c.steps) {
      if (auto f =
              receiver.addPacket(packet(s.sequence, 1000, s.marker, {0xAB}, s.ssrc), kAllocator)) {
        frames.push_back(std::move(f));
      }
    }
    ASSERT_EQ(frames.size(), c.frames.size()) << c.name;
    for (size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(frames[i]->sequence, c.frames[i].sequence) << c.name << " frame " << i;
      EXPECT_EQ(frames[i]->size, c.frames[i].size) << c.name << " frame " << i;
      EXPECT_EQ(frames[i]->discontinuity != 0, c.frames[i].discontinuity)
          << c.name << " frame " << i;
    }
    EXPECT_EQ(receiver.lostCount(), c.lost) << c.name;
    EXPECT_EQ(receiver.receivedCount(), c.received) << c.name;
  }
}

TEST_F(StreamReceiverTest, PlayRestartsTheReceivedCountButKeepsLosses) {
  receiver_.addPacket(packet(1, 0, true), kAllocator);
  receiver_.addPacket(packet(3, 0, true), kAllocator);
  ASSERT_EQ(receiver_.receivedCount(), 2u);
  receiver_.resetSequence();
  EXPECT_EQ(receiver_.receivedCount(), 0u);
  EXPECT_EQ(receiver_.lastSequence(), StreamReceiver::kUnset);
  receiver_.addPacket(packet(40, 0, true), kAllocator);
  EXPECT_EQ(receiver_.receivedCount(), 1u);
  EXPECT_EQ(receiver_.lostCount(), 1);
}

TEST_F(StreamReceiverTest, FrameCarriesThePacketsInOrder) {
  EXPECT_EQ(receiver_.addPacket(packet(100, 9000, false, {1, 2, 3}), kAllocator), nullptr);
  EXPECT_EQ(receiver_.addPacket(packet(101, 9000, false, {}), kAllocator), nullptr);
  auto frame = receiver_.addPacket(packet(102, 9000, true, {4, 5}), kAllocator);
  ASSERT_NE(frame, nullptr);
  ASSERT_NE(frame->element, nullptr);
  EXPECT_EQ(frame->element->size(), 5u);
  EXPECT_EQ(std::vector<uint8_t>(frame->data, frame->data + frame->size),
            (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(frame->packetSizes, (std::vector<uint32_t>{3, 0, 2}));
  EXPECT_EQ(frame->sequence, 100u);
  EXPECT_EQ(frame->payloadType, 96);
  EXPECT_EQ(frame->timestamp, 0);  // the first packet's time is the base
  EXPECT_EQ(receiver_.pendingCount(), 0u);
}

TEST_F(StreamReceiverTest, FrameWithoutMemoryIsDropped) {
  const FrameAllocator failing{&failAllocate, &getData, nullptr};
  receiver_.addPacket(packet(1, 0, false), failing);
  EXPECT_EQ(receiver_.addPacket(packet(2, 0, true), failing), nullptr);
  EXPECT_EQ(receiver_.pendingCount(), 0u);
  EXPECT_NE(receiver_.addPacket(packet(3, 0, true), kAllocator), nullptr);
}

TEST_F(StreamReceiverTest, TimestampWrapKeepsFrameTimesIncreasing) {
  const uint32_t times[] = {0xFFFFF000u, 0xFFFFF800u, 0x00000100u, 0x00000900u};
  std::vector<int64_t> seen;
  uint32_t sequence = 1;
  for (const uint32_t t : times) {
    auto frame = receiver_.addPacket(packet(sequence++, t, true), kAllocator);
    ASSERT_NE(frame, nullptr);
    seen.push_back(frame->timestamp);
  }
  EXPECT_EQ(seen, (std::vector<int64_t>{0, 0x800, 0x1100, 0x1900}));
}

TEST_F(StreamReceiverTest, MoreThanFiveHundredPacketsWithoutMarker) {
  uint32_t sequence = 1;
  for (size_t i = 0; i < StreamReceiver::kMaxPendingPackets; ++i) {
    ASSERT_EQ(receiver_.addPacket(packet(sequence++, 0, false), kAllocator), nullptr);
  }
  EXPECT_EQ(receiver_.pendingCount(), StreamReceiver::kMaxPendingPackets);
  receiver_.addPacket(packet(sequence++, 0, false), kAllocator);
  EXPECT_EQ(receiver_.oversizedFrames(), 1u);
  EXPECT_EQ(receiver_.pendingCount(), 1u);
  auto tail = receiver_.addPacket(packet(sequence++, 0, true), kAllocator);
  ASSERT_NE(tail, nullptr);
  EXPECT_TRUE(tail->discontinuity);  // the oversized frame's tail is not decoded
  auto next = receiver_.addPacket(packet(sequence++, 0, true), kAllocator);
  ASSERT_NE(next, nullptr);
  EXPECT_FALSE(next->discontinuity);
  EXPECT_EQ(receiver_.lostCount(), 0);
}

// Sender reports (RFC 3550 6.4.1) tie both RTP clocks to one wall clock.
RtpSenderReport report(uint32_t ntpSeconds, uint32_t rtpTimestamp) {
  RtpSenderReport r;
  r.received = true;
  r.ntpSeconds = ntpSeconds;
  r.ntpFraction = 0x80000000u;  // +500 ms
  r.rtpTimestamp = rtpTimestamp;
  return r;
}

TEST(StreamSyncTest, VideoTimesCountFromTheAudioStreamsFirstInstant) {
  auto media = describe(
      "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=t\r\nt=0 0\r\n"
      "m=video 0 RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n"
      "m=audio 0 RTP/AVP 97\r\na=rtpmap:97 mpeg4-generic/44100/2\r\n");
  std::mutex mutex;
  auto video = std::make_unique<StreamReceiver>(*media.entry(0), mutex);
  video->next = std::make_unique<StreamReceiver>(*media.entry(1), mutex);
  StreamReceiver& audio = *video->next;

  // Audio starts at RTP 441000 (10 s), video at 450000 (5 s): before any
  // report each counts from its own first packet.
  ASSERT_NE(audio.addPacket(packet(1, 441000, true), kAllocator), nullptr);
  auto first = video->addPacket(packet(1, 450000, true), kAllocator);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->timestamp, 0);
  syncStreams(video.get());
  EXPECT_EQ(video->syncOffset, 0);

  // At wall clock 1000.5 s the audio clock read 11 s and the video clock
  // 20 s: the audio base instant (10 s audio) is 19 s of video time.
  audio.noteSenderReport(report(1000, 441000 + 44100), 44100);
  syncStreams(video.get());
  EXPECT_EQ(video->syncOffset, 0) << "one report is not enough";
  video->noteSenderReport(report(1000, 1800000), 90000);
  syncStreams(video.get());
  EXPECT_EQ(video->syncOffset, 450000 - 1710000);

  // A video frame from the audio base instant is at 0; one from a second
  // later at one second of video clock.
  auto atBase = video->addPacket(packet(2, 1710000, true), kAllocator);
  auto later = video->addPacket(packet(3, 1800000, true), kAllocator);
  ASSERT_NE(atBase, nullptr);
  ASSERT_NE(later, nullptr);
  EXPECT_EQ(atBase->timestamp, 0);
  EXPECT_EQ(later->timestamp, 90000);
  // Audio keeps counting from its own first timestamp.
  auto sound = audio.addPacket(packet(2, 441000 + 44100, true), kAllocator);
  ASSERT_NE(sound, nullptr);
  EXPECT_EQ(sound->timestamp, 44100);
}

TEST(StreamSyncTest, SenderReportTimestampIsExtendedAcrossTheWrap) {
  auto media = describe(oneMedia("audio", "mpeg4-generic/8000"));
  std::mutex mutex;
  StreamReceiver receiver(*media.entry(0), mutex);
  receiver.noteSenderReport(report(10, 0xFFFFFF00u), 8000);
  receiver.noteSenderReport(report(10, 0x00000100u), 8000);
  EXPECT_EQ(receiver.reportTimestamp, 0x100000100u);
}

}  // namespace
}  // namespace strevana
