#pragma once
// LossyRelay: a UDP forwarder on 127.0.0.1 between an RTP sender and a
// receiver that drops, reorders and duplicates RTP packets by a fixed
// pattern (RTCP passes untouched), and counts what it did per stream.
//
// Each route listens on an even port pair (RTP, RTCP) and forwards to the
// receiver's pair. The pattern works on each route's packet index n (from
// 0): n % dropEvery == dropPhase is dropped; n % reorderEvery == reorderPhase
// is held back and sent after the packet that follows it; n % duplicateEvery
// == duplicatePhase is sent twice. The relay thread stops with the object.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace strevana::testing {

class LossyRelay {
 public:
  struct Pattern {
    int dropEvery = 0;  // 0: never
    int dropPhase = 0;
    int reorderEvery = 0;
    int reorderPhase = 0;
    int duplicateEvery = 0;
    int duplicatePhase = 0;
  };
  struct Counts {
    std::atomic<int> forwarded{0};  // distinct RTP packets that reached the receiver
    std::atomic<int> dropped{0};
    std::atomic<int> reordered{0};
    std::atomic<int> duplicated{0};
  };

  // One route per stream: listen on listenPort/+1, forward to toPort/+1.
  LossyRelay(const std::vector<std::pair<int, int>>& routes, const Pattern& pattern)
      : pattern_(pattern) {
    for (const auto& [listen, to] : routes) {
      Route r;
      r.to = to;
      for (int k = 0; k < 2; ++k) {
        r.fd[k] = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a = loopback(listen + k);
        if (r.fd[k] < 0 || bind(r.fd[k], reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
          ok_ = false;
      }
      routes_.push_back(std::move(r));
    }
    counts_ = std::vector<Counts>(routes_.size());
    if (ok_) thread_ = std::thread([this] { run(); });
  }
  ~LossyRelay() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (Route& r : routes_) {
      for (int fd : r.fd) {
        if (fd >= 0) close(fd);
      }
    }
  }
  LossyRelay(const LossyRelay&) = delete;
  LossyRelay& operator=(const LossyRelay&) = delete;

  bool ok() const { return ok_; }
  const Counts& counts(size_t route) const { return counts_[route]; }
  // Dropped packets that a later forwarded one follows: the losses a
  // receiver can see (one dropped at the very end looks like no packet).
  int droppedInside(size_t route) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (int d : routes_[route].droppedIndices) n += d < routes_[route].lastForwarded;
    return n;
  }

 private:
  struct Route {
    int fd[2] = {-1, -1};
    int to = 0;
    int index = 0;
    int lastForwarded = -1;
    std::vector<int> droppedIndices;
    std::optional<std::vector<uint8_t>> held;
    int heldIndex = 0;
  };

  static sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }
  static bool hit(int n, int every, int phase) { return every > 0 && n % every == phase; }

  void send(const Route& r, int k, const std::vector<uint8_t>& d) {
    sockaddr_in a = loopback(r.to + k);
    sendto(r.fd[k], d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }

  void forward(size_t i, std::vector<uint8_t> packet) {
    Route& r = routes_[i];
    Counts& c = counts_[i];
    std::lock_guard<std::mutex> lock(mutex_);
    const int n = r.index++;
    if (hit(n, pattern_.dropEvery, pattern_.dropPhase)) {
      ++c.dropped;
      r.droppedIndices.push_back(n);
      return;
    }
    if (!r.held && hit(n, pattern_.reorderEvery, pattern_.reorderPhase)) {
      r.held = std::move(packet);
      r.heldIndex = n;
      ++c.reordered;
      return;
    }
    send(r, 0, packet);
    ++c.forwarded;
    r.lastForwarded = std::max(r.lastForwarded, n);
    if (hit(n, pattern_.duplicateEvery, pattern_.duplicatePhase)) {
      send(r, 0, packet);
      ++c.duplicated;
    }
    releaseHeld(r, c);
  }

  void releaseHeld(Route& r, Counts& c) {
    if (!r.held) return;
    send(r, 0, *r.held);
    ++c.forwarded;
    r.lastForwarded = std::max(r.lastForwarded, r.heldIndex);
    r.held.reset();
  }

  void run() {
    std::vector<pollfd> fds;
    for (const Route& r : routes_) {
      for (int fd : r.fd) fds.push_back({fd, POLLIN, 0});
    }
    std::vector<uint8_t> buffer(65536);
    while (!stop_) {
      if (poll(fds.data(), fds.size(), 100) <= 0) {
        // A packet held back when the sender went quiet still arrives, late.
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = 0; i < routes_.size(); ++i) releaseHeld(routes_[i], counts_[i]);
        continue;
      }
      for (size_t j = 0; j < fds.size(); ++j) {
        if (!(fds[j].revents & POLLIN)) continue;
        const ssize_t n = recv(fds[j].fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) continue;
        std::vector<uint8_t> packet(buffer.begin(), buffer.begin() + n);
        const size_t route = j / 2;
        if (j % 2 == 1) {
          send(routes_[route], 1, packet);  // RTCP passes as it is
        } else {
          forward(route, std::move(packet));
        }
      }
    }
  }

  Pattern pattern_;
  std::vector<Route> routes_;
  std::vector<Counts> counts_;
  mutable std::mutex mutex_;
  bool ok_ = true;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace strevana::testing
