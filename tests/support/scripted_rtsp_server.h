#pragma once
// A scripted RTSP peer on loopback for the client and session tests: a
// thread accepts connections one after another and hands each to the test's
// script, which reads requests and writes replies byte for byte. Requests
// are recorded in arrival order.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace strevana::testing {

class ScriptedConnection {
 public:
  explicit ScriptedConnection(int fd) : fd_(fd) {}
  ~ScriptedConnection() { close(); }

  // The next request up to and including its empty line ("" when the client
  // closed the connection or nothing came within waitMs).
  std::string readRequest(int waitMs = 2000) {
    for (;;) {
      const std::size_t end = pending_.find("\r\n\r\n");
      if (end != std::string::npos) {
        std::string request = pending_.substr(0, end + 4);
        pending_.erase(0, end + 4);
        return request;
      }
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, waitMs) <= 0) return "";
      char buffer[4096];
      const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) return "";
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
  }

  void send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }

  // Sends `bytes` in pieces of `piece` bytes with `gap` between them, the way
  // a slow or hostile server trickles a reply. Stops early, returning false,
  // once the client has gone away.
  bool trickle(const std::string& bytes, std::chrono::milliseconds gap, std::size_t piece = 1) {
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      if (at > 0) std::this_thread::sleep_for(gap);
      const std::string part = bytes.substr(at, piece);
      if (::send(fd_, part.data(), part.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(part.size()))
        return false;
    }
    return true;
  }

  // Waits until the client closes its end (bounded), so a test can see that
  // a reply was read before the connection goes away.
  void waitForClose() {
    pollfd p{fd_, POLLIN, 0};
    char buffer[256];
    while (::poll(&p, 1, 2000) > 0 && ::recv(fd_, buffer, sizeof buffer, 0) > 0) {
    }
  }

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  std::string pending_;
};

class ScriptedServer {
 public:
  using Script = std::function<void(ScriptedConnection&, int connectionIndex)>;

  explicit ScriptedServer(Script script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 8);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
  }

  ~ScriptedServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }

  uint16_t port() const { return port_; }
  std::string url(const std::string& path = "/media/clip.mp4") const {
    return "rtsp://127.0.0.1:" + std::to_string(port_) + path;
  }
  int connections() const { return connections_; }

 private:
  void run() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      ScriptedConnection connection(fd);
      script_(connection, connections_++);
    }
  }

  Script script_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// Collects what a script saw, for checks on the test thread after the
// client call returned.
class RequestLog {
 public:
  void add(const std::string& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  std::vector<std::string> all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
};

}  // namespace strevana::testing
