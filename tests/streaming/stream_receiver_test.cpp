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

// Packets as sequence numbers ("+": the marker ends a frame; "s2": from a
// second source); frames as first sequence number and packet count, "!" when
// flagged as after a loss.
TEST_F(StreamReceiverTest, SequenceAccounting) {
  // clang-format off
  const struct { const char* name; std::vector<std::string> packets; const char* frames; int64_t lost; uint64_t received; } cases[] = {
      {"a frame after a gap is flagged", {"10", "11+", "13+"}, "10x2 13x1! ", 1, 3},
      {"a gap inside a frame drops its head", {"1+", "2", "4", "5+"}, "1x1 4x2! ", 1, 4},
      {"only the next frame is flagged", {"1+", "3+", "4+"}, "1x1 3x1! 4x1 ", 1, 3},
      {"a late packet takes its loss back", {"1+", "3+", "2+"}, "1x1 3x1! ", 0, 3},
      {"a repeated packet counts once", {"1+", "2+", "2+", "1+"}, "1x1 2x1 ", 0, 2},
      {"a packet from before the first", {"5+", "4+"}, "5x1 ", 0, 2},
      {"across the 16-bit wrap", {"65535", "65536+", "65538+"}, "65535x2 65538x1! ", 1, 3},
      {"a new source starts over", {"100+", "101", "5+s2", "6+s2"}, "100x1 5x1! 6x1 ", 0, 4},
      {"two in sequence far behind start over", {"5000+", "10+", "11+", "12+"}, "5000x1 11x1! 12x1 ", 0, 3},
      {"far behind and alone: strays", {"5000+", "10+", "5001+", "11+", "5002+"}, "5000x1 5001x1 5002x1 ", 0, 3},
  };
  // clang-format on
  for (const auto& c : cases) {
    std::mutex mutex;
    StreamReceiver receiver(*media_.entry(), mutex);
    std::string frames;
    for (const std::string& p : c.packets) {
      const bool marker = p.find('+') != std::string::npos,
                 second = p.find('s') != std::string::npos;
      if (auto f = receiver.addPacket(packet(std::stoul(p), 1000, marker, {0xAB}, second ? 2 : 1),
                                      kAllocator))
        frames += std::to_string(f->sequence) + "x" + std::to_string(f->size) +
                  (f->discontinuity ? "! " : " ");
    }
    EXPECT_EQ(frames, c.frames) << c.name;
    EXPECT_EQ(receiver.lostCount(), c.lost) << c.name;
    EXPECT_EQ(receiver.receivedCount(), c.received) << c.name;
  }
}

// A frame holds its packets' payloads in order, an empty one too; one that
// finds no memory, or that grows past kMaxPendingPackets without a marker,
// is dropped, and the frame after an oversized one is flagged.
TEST_F(StreamReceiverTest, FramesCarryTheirPacketsWithinBounds) {
  const FrameAllocator failing{&failAllocate, &testing::elementData, nullptr};
  receiver_.addPacket(packet(1, 0, false), failing);
  EXPECT_EQ(receiver_.addPacket(packet(2, 0, true), failing), nullptr);
  EXPECT_EQ(receiver_.pendingCount(), 0u);
  receiver_.addPacket(packet(3, 0, false, {1, 2, 3}), kAllocator);
  receiver_.addPacket(packet(4, 0, false, {}), kAllocator);
  const auto frame = receiver_.addPacket(packet(5, 0, true, {4, 5}), kAllocator);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(frame->data, frame->data + frame->size),
            (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(frame->packetSizes, (std::vector<uint32_t>{3, 0, 2}));
  uint32_t sequence = 6;
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
