#pragma once
// Loopback peers for the RtspSession tests: a scripted RTSP server that
// answers every request through the test's handler and records the requests,
// and a thread-safe log of delivered frames that tests wait on with a
// deadline. The server's RTP sender is support/loopback_peer.h's UdpPeer.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "support/scripted_rtsp_server.h"
#include "support/loopback_peer.h"
#include "streaming/rtp_frame.h"

namespace strevana::testing {

struct RtspRequestSeen {
  std::string method;
  std::string url;
  std::string text;  // the whole request
  int cseq = -1;

  std::string header(const std::string& name) const {
    const std::regex line("(^|\r\n)" + name + ": ([^\r\n]*)", std::regex::icase);
    std::smatch m;
    return std::regex_search(text, m, line) ? m[2].str() : "";
  }
};

// "RTSP/1.0 <status>" with the request's CSeq, the given header lines (each
// ending in CR LF) and body (Content-Length added when there is one).
inline std::string rtspReply(const RtspRequestSeen& request, const std::string& status,
                             const std::string& headers = "", const std::string& body = "") {
  std::string reply =
      "RTSP/1.0 " + status + "\r\nCSeq: " + std::to_string(request.cseq) + "\r\n" + headers;
  if (!body.empty()) reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return reply + "\r\n" + body;
}

class RtspPeer {
 public:
  using Handler = std::function<std::string(const RtspRequestSeen&)>;

  explicit RtspPeer(Handler handler)
      : handler_(std::move(handler)), server_([this](ScriptedConnection& c, int) { serve(c); }) {}

  std::string url(const std::string& path = "/clip.mp4") const { return server_.url(path); }
  uint16_t port() const { return server_.port(); }
  std::vector<RtspRequestSeen> requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  std::vector<RtspRequestSeen> requests(const std::string& method) const {
    std::vector<RtspRequestSeen> found;
    for (const auto& r : requests()) {
      if (r.method == method) found.push_back(r);
    }
    return found;
  }
  // Waits until a request of `method` has arrived; false at the deadline.
  bool waitFor(const std::string& method, size_t count, std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, deadline, [&] {
      size_t n = 0;
      for (const auto& r : requests_) n += r.method == method;
      return n >= count;
    });
  }

 private:
  void serve(ScriptedConnection& c) {
    for (;;) {
      // The client keeps its connection for the whole session; it closes it
      // when the session goes.
      const std::string text = c.readRequest(30000);
      if (text.empty()) return;
      RtspRequestSeen r;
      r.text = text;
      const size_t space = text.find(' ');
      r.method = text.substr(0, space);
      r.url = text.substr(space + 1, text.find(' ', space + 1) - space - 1);
      const std::string cseq = r.header("CSeq");
      r.cseq = cseq.empty() ? -1 : std::stoi(cseq);
      const std::string reply = handler_(r);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(r);
      }
      arrived_.notify_all();
      if (!reply.empty()) c.send(reply);
    }
  }

  Handler handler_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<RtspRequestSeen> requests_;
  ScriptedServer server_;  // last: its thread stops before the rest goes
};

struct FrameSeen {
  std::vector<uint8_t> bytes;
  int64_t timestamp;
  bool discontinuity;
};

// Deliver callback target: collect frames with setDeliverCallback(entry,
// &FrameLog::deliver, &log).
class FrameLog {
 public:
  static void deliver(std::unique_ptr<RtpFrame> frame, void* context) {
    auto* log = static_cast<FrameLog*>(context);
    {
      std::lock_guard<std::mutex> lock(log->mutex_);
      log->frames_.push_back({std::vector<uint8_t>(frame->data, frame->data + frame->size),
                              frame->timestamp, frame->discontinuity != 0});
    }
    log->arrived_.notify_all();
  }
  bool waitFor(size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, deadline, [&] { return frames_.size() >= count; });
  }
  std::vector<FrameSeen> frames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<FrameSeen> frames_;
};

inline int32_t elementData(CBufferElem* element, uint8_t*& data) {
  data = element->data();
  return 0;
}

}  // namespace strevana::testing
