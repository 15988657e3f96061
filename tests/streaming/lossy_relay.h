#pragma once
// LossyRelay: forwards one stream's RTP (an even port of 127.0.0.1) and RTCP
// (the next) to a receiver's pair. Of the RTP packets it drops every 13th,
// holds every 11th back behind the next one and sends every 7th twice, each
// at its own phase; RTCP passes untouched. Read the counts once it stopped.
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

#include "support/loopback_peer.h"

namespace strevana::testing {

class LossyRelay {
 public:
  LossyRelay(int listenPort, int toPort)
      : rtp_(uint16_t(listenPort)), rtcp_(uint16_t(listenPort + 1)), to_(uint16_t(toPort)) {}
  ~LossyRelay() { stop(); }
  void stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

  std::atomic<int> forwarded{0};  // distinct packets
  int dropped = 0, reordered = 0, duplicated = 0;
  // Dropped packets that a later forwarded one follows: the losses a
  // receiver can see.
  int droppedInside() const {
    int n = 0;
    for (int d : droppedIndices_) n += d < lastForwarded_;
    return n;
  }

 private:
  void pass(const std::vector<uint8_t>& packet, int n) {
    rtp_.sendTo(to_, packet);
    ++forwarded;
    lastForwarded_ = std::max(lastForwarded_, n);
  }
  void run() {
    std::optional<std::pair<std::vector<uint8_t>, int>> held;
    for (int n = 0, quiet = 0; !stop_;) {
      if (const auto report = rtcp_.receive(0)) rtcp_.sendTo(uint16_t(to_ + 1), *report);
      const auto packet = rtp_.receive(20);
      quiet = packet ? 0 : quiet + 1;
      if (packet && n % 13 == 6) {
        ++dropped;
        droppedIndices_.push_back(n);
      } else if (packet && !held && n % 11 == 3) {
        held.emplace(*packet, n);
        ++reordered;
      } else if (packet) {
        pass(*packet, n);
        if (n % 7 == 2) rtp_.sendTo(to_, *packet), ++duplicated;
      }
      // Sent after the next packet, or late once the sender went quiet.
      if (held && ((packet && held->second != n) || quiet > 10))
        pass(held->first, held->second), held.reset();
      n += packet ? 1 : 0;
    }
  }

  UdpPeer rtp_, rtcp_;
  uint16_t to_;
  std::vector<int> droppedIndices_;
  int lastForwarded_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_{[this] { run(); }};  // last: starts once the rest is made
};

}  // namespace strevana::testing
