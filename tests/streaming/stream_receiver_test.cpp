// StreamReceiver: RTP packets in, frames out; sequence accounting, losses,
// restarts, time stamps, and the bounds on what a frame may take.
#include "streaming/stream_receiver.h"

#include <gtest/gtest.h>

#include "stream_test_support.h"

namespace strevana {
namespace {

int32_t failAllocate(CBufferElem*&, uint32_t) { return kPinNoMemory; }
const FrameAllocator kAllocator{&CIOStrmPin::allocateBufferElem, &testing::elementData, nullptr};

std::unique_ptr<RtpPacket> packet(uint32_t extendedSequence, uint32_t timestamp, bool marker,
                                  std::vector<uint8_t> payload = {0xAB}, uint32_t ssrc = 1) {
  const auto d = testing::rtpDatagram(static_cast<uint16_t>(extendedSequence), timestamp, marker,
                                      payload, 96, ssrc);
  auto p = RtpPacket::parse(d.data(), d.size());
  p->extendedSequenceNumber = extendedSequence;
  return p;
}

class StreamReceiverTest : public ::testing::Test {
 protected:
  testing::DescribedMedia media_ = testing::describe(testing::oneMedia("video", "MP4V-ES/90000"));
  std::mutex mutex_;
  StreamReceiver receiver_{*media_.entry(), mutex_};
};

TEST_F(StreamReceiverTest, SequenceAccounting) {
  struct Step {
    uint32_t sequence;
    bool marker;
    uint32_t ssrc = 1;
  };
  struct Frame {
    uint32_t sequence, size;
    bool discontinuity;
  };
  // clang-format off
  const struct { const char* name; std::vector<Step> steps; std::vector<Frame> frames; int64_t lost; uint64_t received; } cases[] = {
      {"a frame after a gap is flagged", {{10, false}, {11, true}, {13, true}}, {{10, 2, false}, {13, 1, true}}, 1, 3},
      {"a gap inside a frame drops its head", {{1, true}, {2, false}, {4, false}, {5, true}}, {{1, 1, false}, {4, 2, true}}, 1, 4},
      {"only the next frame is flagged", {{1, true}, {3, true}, {4, true}}, {{1, 1, false}, {3, 1, true}, {4, 1, false}}, 1, 3},
      {"a late packet takes its loss back", {{1, true}, {3, true}, {2, true}}, {{1, 1, false}, {3, 1, true}}, 0, 3},
      {"a repeated packet counts once", {{1, true}, {2, true}, {2, true}, {1, true}}, {{1, 1, false}, {2, 1, false}}, 0, 2},
      {"a packet from before the first", {{5, true}, {4, true}}, {{5, 1, false}}, 0, 2},
      {"across the 16-bit wrap", {{65535, false}, {65536, true}, {65538, true}}, {{65535, 2, false}, {65538, 1, true}}, 1, 3},
      {"a new source starts over", {{100, true}, {101, false}, {5, true, 2}, {6, true, 2}},
       {{100, 1, false}, {5, 1, true}, {6, 1, false}}, 0, 4},
      {"two in sequence far behind start over", {{5000, true}, {10, true}, {11, true}, {12, true}},
       {{5000, 1, false}, {11, 1, true}, {12, 1, false}}, 0, 3},
      {"one packet far behind is a stray", {{5000, true}, {10, true}, {5001, true}}, {{5000, 1, false}, {5001, 1, false}}, 0, 2},
  };
  // clang-format on
  for (const auto& c : cases) {
    std::mutex mutex;
    StreamReceiver receiver(*media_.entry(), mutex);
    std::vector<std::unique_ptr<RtpFrame>> frames;
    for (const Step& s : c.steps) {
      if (auto f =
              receiver.addPacket(packet(s.sequence, 1000, s.marker, {0xAB}, s.ssrc), kAllocator))
        frames.push_back(std::move(f));
    }
    SCOPED_TRACE(c.name);
    ASSERT_EQ(frames.size(), c.frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
      const Frame seen{frames[i]->sequence, frames[i]->size, frames[i]->discontinuity != 0};
      EXPECT_EQ(std::tie(seen.sequence, seen.size, seen.discontinuity),
                std::tie(c.frames[i].sequence, c.frames[i].size, c.frames[i].discontinuity));
    }
    EXPECT_EQ(receiver.lostCount(), c.lost);
    EXPECT_EQ(receiver.receivedCount(), c.received);
  }
}

TEST_F(StreamReceiverTest, FrameCarriesThePacketsInOrderFromTheFirstTimestamp) {
  EXPECT_EQ(receiver_.addPacket(packet(100, 9000, false, {1, 2, 3}), kAllocator), nullptr);
  EXPECT_EQ(receiver_.addPacket(packet(101, 9000, false, {}), kAllocator), nullptr);
  auto frame = receiver_.addPacket(packet(102, 9000, true, {4, 5}), kAllocator);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->element->size(), 5u);
  EXPECT_EQ(std::vector<uint8_t>(frame->data, frame->data + frame->size),
            (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(frame->packetSizes, (std::vector<uint32_t>{3, 0, 2}));
  EXPECT_EQ(frame->payloadType, 96);
  EXPECT_EQ(frame->timestamp, 0);
  EXPECT_EQ(receiver_.pendingCount(), 0u);
}

TEST_F(StreamReceiverTest, FramesWithoutMemoryOrMarkerAreDropped) {
  const FrameAllocator failing{&failAllocate, &testing::elementData, nullptr};
  receiver_.addPacket(packet(1, 0, false), failing);
  EXPECT_EQ(receiver_.addPacket(packet(2, 0, true), failing), nullptr);
  EXPECT_EQ(receiver_.pendingCount(), 0u);
  uint32_t sequence = 3;
  for (size_t i = 0; i < StreamReceiver::kMaxPendingPackets; ++i)
    ASSERT_EQ(receiver_.addPacket(packet(sequence++, 0, false), kAllocator), nullptr);
  receiver_.addPacket(packet(sequence++, 0, false), kAllocator);
  EXPECT_EQ(receiver_.oversizedFrames(), 1u);
  EXPECT_EQ(receiver_.pendingCount(), 1u);
  auto tail = receiver_.addPacket(packet(sequence++, 0, true), kAllocator);
  ASSERT_NE(tail, nullptr);
  EXPECT_TRUE(tail->discontinuity);  // the oversized frame's tail is not decoded
  EXPECT_FALSE(receiver_.addPacket(packet(sequence++, 0, true), kAllocator)->discontinuity);
  EXPECT_EQ(receiver_.lostCount(), 0);
}

}  // namespace
}  // namespace strevana
