#pragma once
// StreamReceiver: the receiving end of one stream of a session. It owns the
// stream's RtpSession, keeps the sequence accounting (received, lost and
// late counts), gathers the packets of the frame under assembly, extends RTP
// timestamps to 64 bits, keeps the sender-report timing used to line video
// up with audio, and builds RtpFrames.
//
// Threads: addPacket, noteSenderReport and noteSourceStatistics run on the
// session's receive thread; resetSequence runs on the controlling thread.
// Sequence state and the packets under assembly are guarded by the session
// mutex given at construction: addPacket takes it for the accounting and for
// building a frame, and never calls out while holding it (frames are returned
// to the caller, which delivers them after the mutex is released). The
// counters below are atomics so the controlling thread may read them at any
// time without the mutex; they may be a pass behind.
//
// Ownership: the session's stream list owns its receivers (until teardown);
// a receiver owns its RtpSession, its pending packets and nothing else.
//
// Choices where the design leaves room:
// - More than kMaxPendingPackets packets without a marker bit: the frame under
//   assembly is dropped and the frame that follows is marked discontinuous
//   (a frame that large cannot be a well-formed access unit of the formats
//   received; its tail must not be decoded as a frame of its own).
// - Counts are what a user reads as "received" and "lost": the received
//   count is the packets that arrived since the last PLAY, each sequence
//   number once; a gap from n to n + k adds k - 1 lost packets, and a packet
//   arriving late (after its successor was taken) takes its loss back. Late
//   packets and duplicates never join a frame: the frame they belonged to
//   has been dropped or delivered already.
// - A packet from another source than the last one (a restarted sender)
//   starts the sequence over, the first frame after it marked
//   discontinuous. So do two packets in sequence numbered more than
//   kHistory below the last (a sender that restarted its numbering); one
//   such packet alone is a stray and dropped. A restart never stalls the
//   stream, and a stray never inflates the loss count.
// - Packets of the stream's RtpSession whose payload type is not the media's
//   first format are discarded: the session belongs to one stream, so
//   another payload type there is not this stream's media.
// - jitterMs and outOfOrderCount are reported from the RTP session's view of
//   the source (RFC 3550 A.8 interarrival jitter; packets that arrived after
//   a later-numbered one), for the movie information window.
#include <atomic>
#include <bitset>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "protocols/rtp/rtp_packet.h"
#include "protocols/rtp/rtp_session.h"
#include "protocols/rtp/rtp_source.h"
#include "streaming/media_entry.h"
#include "streaming/rtp_frame.h"

namespace strevana {

// How the receive thread obtains frame memory (the session's callbacks and
// context).
struct FrameAllocator {
  RtpAllocateCallback allocate = nullptr;
  RtpGetDataCallback getData = nullptr;
  void* context = nullptr;
};

class StreamReceiver {
 public:
  static constexpr uint64_t kUnset = ~uint64_t{0};
  static constexpr size_t kMaxPendingPackets = 500;

  StreamReceiver(MediaEntry& entry, std::mutex& sessionMutex);
  ~StreamReceiver();
  StreamReceiver(const StreamReceiver&) = delete;
  StreamReceiver& operator=(const StreamReceiver&) = delete;

  // One packet of this stream, in ascending extended sequence order. Returns
  // the frame the packet completed (marker bit), or null. A frame whose
  // memory cannot be obtained is dropped (null).
  std::unique_ptr<RtpFrame> addPacket(std::unique_ptr<RtpPacket> packet,
                                      const FrameAllocator& allocator);
  // The source's last sender report (RFC 3550 6.4.1), before addPacket of a
  // packet from that source: extends its RTP timestamp and recomputes the
  // report offset (wall-clock ms minus RTP ms). clockRate 0 is ignored.
  void noteSenderReport(const RtpSenderReport& report, uint32_t clockRate);
  // Copies the source's jitter and reordering figures into the counters.
  void noteSourceStatistics(const RtpSource& source, uint32_t clockRate);
  // First and last sequence numbers back to unset (counts restart); the
  // caller holds the session mutex.
  void resetSequence();

  // Counters (any thread, no lock).
  // Packets received since the last PLAY (duplicates not counted); 0 while
  // none has arrived.
  uint64_t receivedCount() const;
  // Packets missing from the sequence (a late arrival takes its count back);
  // never reset.
  int64_t lostCount() const { return lost_.load(std::memory_order_relaxed); }
  double jitterMs() const { return jitterMs_.load(std::memory_order_relaxed); }
  uint64_t outOfOrderCount() const { return outOfOrder_.load(std::memory_order_relaxed); }

  // Timing state (receive thread; read by syncStreams and tests).
  uint64_t lastTimestamp = 0;
  int64_t reportOffset = 0;
  int64_t syncOffset = 0;
  uint64_t reportTimestamp = 0;
  int64_t baseTimestamp = static_cast<int64_t>(kUnset);
  bool baseTimestampSet() const { return baseTimestamp != static_cast<int64_t>(kUnset); }

  uint64_t firstSequence() const { return first_.load(std::memory_order_relaxed); }
  uint64_t lastSequence() const { return last_.load(std::memory_order_relaxed); }
  size_t pendingCount() const { return pending_.size(); }
  // Frames dropped for running past kMaxPendingPackets without a marker.
  uint64_t oversizedFrames() const { return oversized_.load(std::memory_order_relaxed); }

  MediaEntry* entry;
  std::unique_ptr<StreamReceiver> next;  // the session's list
  int32_t serverPort = -1;               // from the SETUP reply, -1 when none
  std::unique_ptr<RtpSession> rtp;       // the stream's RTP session, once set up

 private:
  // Sequence accounting under the mutex; false when the packet is late or a
  // duplicate and must not join the frame under assembly.
  bool account(uint64_t sequence, uint32_t ssrc);
  std::unique_ptr<RtpFrame> buildFrame(const FrameAllocator& allocator);
  static uint64_t extend(uint64_t stored, uint32_t value);

  // Which of the last kHistory sequence numbers have arrived, to tell a late
  // packet (which was counted as lost) from a duplicate.
  static constexpr uint64_t kHistory = 1024;

  std::mutex& mutex_;
  std::atomic<uint64_t> first_{kUnset};
  std::atomic<uint64_t> last_{kUnset};
  std::atomic<int64_t> lost_{0};
  std::atomic<uint64_t> received_{0};
  std::bitset<kHistory> seen_;
  std::atomic<uint64_t> oversized_{0};
  std::atomic<double> jitterMs_{0.0};
  std::atomic<uint64_t> outOfOrder_{0};
  int32_t discontinuity_ = 0;
  uint32_t ssrc_ = 0;                   // source of the last packet accounted
  uint64_t restartCandidate_ = kUnset;  // a number far behind, held for one packet
  std::vector<std::unique_ptr<RtpPacket>> pending_;
};

// Lines the video timeline up with the audio timeline once both streams have
// sender reports: sets the video receiver's sync offset so that video frame
// times count from the audio stream's first timestamp (RFC 3550 6.4.1 maps
// both RTP clocks to the sender's wall clock). Uses the last video and the
// last audio receiver of the list; does nothing unless both exist, both base
// timestamps are set and both report offsets are non-zero.
void syncStreams(StreamReceiver* first);

}  // namespace strevana
