// strevana-bench rtp [--seconds S] [--packet-bytes B] [--packets-per-frame K]:
// the live receive path on loopback. The bench describes one MP4V-ES stream
// on a local port, sets it up through RtspSession (real RTP session, real
// receive thread, frame assembly and depacketisation into a counting sink in
// place of the decoder's input pin), and sends it RTP datagrams itself from
// another thread through a UdpSocket to 127.0.0.1. Each run paces the sender
// at one rate for S seconds; the rates double until packets are lost, and a
// last run sends flat out. Per run it prints the packets sent and received,
// the loss, the receive thread's CPU share, and the latency of each access
// unit from the send of its last datagram to the sink (median and 95th
// percentile). The send time is stamped into the payload, so the latency
// includes the kernel's loopback hand-over (a few microseconds), an upper
// bound on arrival-to-pin. The figure that counts is the highest paced rate
// with no loss; the flat-out run shows what the receiver takes when the
// sender outruns it (a loss there is the socket buffer overflowing).
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "protocols/rtp/udp_socket.h"
#include "streaming/frame_depacketizer.h"
#include "streaming/rtsp_session.h"

namespace {

using namespace strevana;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kLoopback = 0x7f000001;
constexpr uint32_t kSsrc = 0x5eed0001;
constexpr size_t kStampBytes = 8;
constexpr size_t kVopStartBytes = 4;

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

int64_t threadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// 56 bits in 8 bytes of 7 bits each with the top bit set: never a zero byte,
// so a stamp cannot form a start code in the payload.
void writeStamp(uint8_t* p, int64_t ns) {
  for (size_t i = 0; i < kStampBytes; ++i)
    p[i] = static_cast<uint8_t>(0x80 | ((ns >> (7 * i)) & 0x7f));
}

int64_t readStamp(const uint8_t* p) {
  int64_t ns = 0;
  for (size_t i = 0; i < kStampBytes; ++i) ns |= static_cast<int64_t>(p[i] & 0x7f) << (7 * i);
  return ns;
}

int32_t elementData(CBufferElem* element, uint8_t*& data) {
  uint32_t size = 0;
  return CIOStrmPin::getData(element, data, size);
}

// The sink in place of the decoder's input pin: counts access units and
// records each one's latency from the stamp in its last packet.
class CountingSink {
 public:
  CountingSink(size_t expectedUnits, uint32_t packetBytes, uint32_t packetsPerFrame)
      : lastPacketOffset_(static_cast<size_t>(packetBytes) * (packetsPerFrame - 1)),
        packetBytes_(packetBytes) {
    latencyNs_.reserve(expectedUnits);
  }

  void take(CBufferElem* element) {
    const int64_t now = nowNs();
    const int64_t cpu = threadCpuNs();
    if (element->size() >= lastPacketOffset_ + packetBytes_) {
      const uint8_t* stamp =
          element->data() + lastPacketOffset_ + (lastPacketOffset_ == 0 ? kVopStartBytes : 0);
      std::lock_guard<std::mutex> lock(mutex_);
      if (latencyNs_.size() < latencyNs_.capacity()) latencyNs_.push_back(now - readStamp(stamp));
      if (firstCpuNs_ < 0) firstCpuNs_ = cpu;
      lastCpuNs_ = cpu;
    }
    units_.fetch_add(1, std::memory_order_relaxed);
    CIOStrmPin::freeBufferElem(element);
  }

  uint64_t units() const { return units_.load(std::memory_order_relaxed); }
  std::vector<int64_t> latencies() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return latencyNs_;
  }
  int64_t receiveCpuNs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return firstCpuNs_ < 0 ? 0 : lastCpuNs_ - firstCpuNs_;
  }

 private:
  const size_t lastPacketOffset_;
  const uint32_t packetBytes_;
  std::atomic<uint64_t> units_{0};
  mutable std::mutex mutex_;
  std::vector<int64_t> latencyNs_;
  int64_t firstCpuNs_ = -1;
  int64_t lastCpuNs_ = 0;
};

struct RunResult {
  uint64_t sent = 0;
  uint64_t received = 0;
  uint64_t units = 0;
  double seconds = 0;  // first to last send
  double receiveCpuShare = 0;
  double medianMs = 0;
  double p95Ms = 0;
  bool ok = false;
};

struct Options {
  double seconds = 2.0;
  uint32_t packetBytes = 1200;
  uint32_t packetsPerFrame = 8;
};

std::string description(int port) {
  return "buff://v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=bench\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
         "m=video " +
         std::to_string(port) + " RTP/AVP 96\r\na=rtpmap:96 MP4V-ES/90000\r\n";
}

// Sends `count` packets at `rate` per second (0: flat out), frames of
// packetsPerFrame packets with the marker on the last one.
uint64_t sendPackets(UdpSocket& socket, int port, uint64_t count, double rate, const Options& o,
                     double& seconds) {
  std::vector<uint8_t> datagram(12 + o.packetBytes, 0x55);
  datagram[0] = 0x80;
  for (int i = 0; i < 4; ++i) datagram[8 + i] = static_cast<uint8_t>(kSsrc >> (24 - 8 * i));
  const auto start = Clock::now();
  uint64_t sent = 0;
  for (uint64_t i = 0; i < count; ++i) {
    if (rate > 0) {
      const auto due = start + std::chrono::nanoseconds(
                                   static_cast<int64_t>(static_cast<double>(i) * 1e9 / rate));
      if (Clock::now() < due) std::this_thread::sleep_until(due);
    }
    const uint32_t inFrame = static_cast<uint32_t>(i % o.packetsPerFrame);
    const uint32_t frame = static_cast<uint32_t>(i / o.packetsPerFrame);
    const uint32_t timestamp = frame * 3600;
    const bool last = inFrame + 1 == o.packetsPerFrame;
    datagram[1] = static_cast<uint8_t>((last ? 0x80 : 0) | 96);
    datagram[2] = static_cast<uint8_t>(i >> 8);
    datagram[3] = static_cast<uint8_t>(i);
    for (int b = 0; b < 4; ++b) datagram[4 + b] = static_cast<uint8_t>(timestamp >> (24 - 8 * b));
    uint8_t* payload = datagram.data() + 12;
    size_t stampAt = 0;
    if (inFrame == 0) {
      const uint8_t vop[kVopStartBytes] = {0, 0, 1, 0xB6};
      std::memcpy(payload, vop, kVopStartBytes);
      stampAt = kVopStartBytes;
    } else {
      std::memset(payload, 0x55, kVopStartBytes);
    }
    writeStamp(payload + stampAt, nowNs());
    if (socket.sendTo(datagram.data(), datagram.size(), kLoopback, static_cast<uint16_t>(port)))
      ++sent;
  }
  seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return sent;
}

RunResult run(double rate, const Options& o, int& port) {
  RunResult result;
  // The flat-out run is bounded by count too: as many packets as a paced run
  // of S seconds at 400 000 packets/s.
  const double planned = rate > 0 ? rate : 400000.0;
  uint64_t count = static_cast<uint64_t>(planned * o.seconds);
  count -= count % o.packetsPerFrame;
  if (count == 0) return result;
  CountingSink sink(count / o.packetsPerFrame, o.packetBytes, o.packetsPerFrame);

  std::unique_ptr<RtspSession> session;
  std::unique_ptr<FrameDepacketizer> depacketizer;
  // The receive thread stops before the depacketizer and the sink go.
  struct StopFirst {
    std::unique_ptr<RtspSession>& session;
    ~StopFirst() { RtspSession::destroy(session); }
  } stopFirst{session};
  MediaEntry* entry = nullptr;
  for (int attempt = 0; attempt < 50 && !entry; ++attempt, port += 2) {
    RtspSession::destroy(session);
    if (RtspSession::create(session, nullptr, &CIOStrmPin::allocateBufferElem, &elementData,
                            nullptr) != kSessionOk ||
        session->loadDescription(description(port), 6970) != kSessionOk || !session->firstMedia())
      return result;
    entry = session->firstMedia();
    depacketizer =
        FrameDepacketizer::create(*entry, [&sink](CBufferElem* e, int64_t) { sink.take(e); });
    if (!depacketizer) return result;
    setDeliverCallback(entry, &onVideoFrame, depacketizer.get());
    const int32_t rc = session->addStream(entry) == kSessionOk ? session->setup(nullptr) : -1;
    if (rc != kSessionOk) {
      std::fprintf(stderr, "rtp: setup on port %d failed (%d)\n", port, rc);
      entry = nullptr;
    }
  }
  port -= 2;
  if (!entry || session->play() != kSessionOk) return result;

  UdpSocket socket;
  if (!socket.open()) return result;
  result.sent = sendPackets(socket, port, count, rate, o, result.seconds);
  // Wait until the receiver has everything or has stopped taking packets.
  uint64_t last = ~uint64_t{0};
  for (int quiet = 0; quiet < 20;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const uint64_t got = entry->receiver->receivedCount();
    if (got >= result.sent) break;
    quiet = got == last ? quiet + 1 : 0;
    last = got;
  }
  result.received = entry->receiver->receivedCount();
  RtspSession::destroy(session);
  result.units = sink.units();
  result.receiveCpuShare =
      result.seconds > 0 ? static_cast<double>(sink.receiveCpuNs()) / 1e9 / result.seconds : 0;
  std::vector<int64_t> latencies = sink.latencies();
  if (!latencies.empty()) {
    std::sort(latencies.begin(), latencies.end());
    result.medianMs = static_cast<double>(latencies[latencies.size() / 2]) / 1e6;
    result.p95Ms = static_cast<double>(latencies[latencies.size() * 95 / 100]) / 1e6;
  }
  result.ok = true;
  port += 2;
  return result;
}

void print(const char* label, const RunResult& r) {
  const uint64_t lost = r.sent > r.received ? r.sent - r.received : 0;
  std::printf(
      "%-10s sent %8llu in %5.2f s (%7.0f/s)  received %8llu  lost %7llu (%5.2f %%)  receive "
      "thread CPU %5.1f %%"
      "  access units %7llu  send-to-pin median %6.3f ms  95th %6.3f ms\n",
      label, static_cast<unsigned long long>(r.sent), r.seconds,
      r.seconds > 0 ? static_cast<double>(r.sent) / r.seconds : 0.0,
      static_cast<unsigned long long>(r.received), static_cast<unsigned long long>(lost),
      r.sent ? 100.0 * static_cast<double>(lost) / static_cast<double>(r.sent) : 0.0,
      100.0 * r.receiveCpuShare, static_cast<unsigned long long>(r.units), r.medianMs, r.p95Ms);
}

}  // namespace

int runRtpBench(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) o.seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--packet-bytes") == 0)
      o.packetBytes = static_cast<uint32_t>(std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--packets-per-frame") == 0)
      o.packetsPerFrame = static_cast<uint32_t>(std::atoi(argv[i + 1]));
  }
  if (o.seconds <= 0 || o.packetBytes < kVopStartBytes + kStampBytes || o.packetBytes > 8000 ||
      o.packetsPerFrame == 0 || o.packetsPerFrame > 400) {
    std::fprintf(stderr,
                 "usage: strevana-bench rtp [--seconds S] [--packet-bytes 12..8000] "
                 "[--packets-per-frame 1..400]\n");
    return 2;
  }
  std::printf("RTP receive on loopback: %u-byte payloads, %u packets per frame, %.1f s per run\n",
              o.packetBytes, o.packetsPerFrame, o.seconds);
  int port = 41000 + 2 * static_cast<int>(static_cast<unsigned>(getpid()) % 4000);
  double best = 0;
  double bestCpuShare = 0;
  for (const double rate :
       {12500.0, 25000.0, 50000.0, 75000.0, 100000.0, 150000.0, 200000.0, 300000.0, 400000.0}) {
    const RunResult r = run(rate, o, port);
    if (!r.ok) {
      std::fprintf(stderr, "rtp: could not set up the receiving session\n");
      return 1;
    }
    char label[32];
    std::snprintf(label, sizeof label, "%.0f/s", rate);
    print(label, r);
    const double achieved = static_cast<double>(r.sent) / r.seconds;
    if (r.received < r.sent) break;
    best = achieved;
    bestCpuShare = r.receiveCpuShare;
    if (achieved < 0.95 * rate) {
      std::printf(
          "           the sender could not keep this pace; higher rates measure the sender\n");
      break;
    }
  }
  const RunResult flat = run(0, o, port);
  if (flat.ok) print("flat out", flat);
  std::printf(
      "highest paced rate without loss: %.0f packets/s, the receive thread busy %.1f %% of one "
      "core\n",
      best, 100.0 * bestCpuShare);
  if (bestCpuShare > 0)
    std::printf(
        "receive thread cost: %.2f us per packet (%.0f packets/s if it had a core to itself)\n",
        1e6 * bestCpuShare / best, best / bestCpuShare);
  return 0;
}
