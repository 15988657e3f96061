#pragma once
// A scripted RTSP server on loopback that answers every request through the
// test's handler and records the requests, and a log of delivered frames.
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#include "stream_test_support.h"
#include "streaming/rtp_frame.h"
#include "support/scripted_rtsp_server.h"

namespace strevana::testing {

// A list filled by one thread and read by another; waits for a count of
// items with a deadline.
template <class T>
class SharedLog {
 public:
  void add(T item) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.push_back(std::move(item));
  }
  std::vector<T> all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_;
  }
  bool waitFor(size_t count) {
    return testing::waitFor([&] { return all().size() >= count; }, 5000);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<T> items_;
};

struct RtspRequestSeen {
  std::string method, url, text;
  int cseq = -1;
  std::string header(const std::string& name) const {
    std::smatch m;
    const std::regex line("\r\n" + name + ": ([^\r\n]*)", std::regex::icase);
    return std::regex_search(text, m, line) ? m[1].str() : "";
  }
};

// "RTSP/1.0 <status>" with the request's CSeq, headers (each ending in CR LF)
// and body (Content-Length added when there is one).
inline std::string rtspReply(const RtspRequestSeen& request, const std::string& status,
                             const std::string& headers = "", const std::string& body = "") {
  return "RTSP/1.0 " + status + "\r\nCSeq: " + std::to_string(request.cseq) + "\r\n" + headers +
         (body.empty() ? "" : "Content-Length: " + std::to_string(body.size()) + "\r\n") + "\r\n" +
         body;
}

class RtspPeer {
 public:
  explicit RtspPeer(std::function<std::string(const RtspRequestSeen&)> handler)
      : handler_(std::move(handler)), server_([this](ScriptedConnection& c, int) { serve(c); }) {}

  std::string url(const std::string& path = "/clip.mp4") const { return server_.url(path); }
  std::vector<RtspRequestSeen> requests(const std::string& method = "") const {
    std::vector<RtspRequestSeen> found = log_.all();
    std::erase_if(found, [&](const auto& r) { return !method.empty() && r.method != method; });
    return found;
  }
  bool waitFor(const std::string& method, size_t count) {
    return testing::waitFor([&] { return requests(method).size() >= count; }, 5000);
  }

 private:
  void serve(ScriptedConnection& c) {
    for (std::string text; !(text = c.readRequest(30000)).empty();) {
      RtspRequestSeen r{text.substr(0, text.find(' ')), "", text};
      const size_t from = r.method.size() + 1;
      r.url = text.substr(from, text.find(' ', from) - from);
      r.cseq = std::atoi(r.header("CSeq").c_str());
      const std::string reply = handler_(r);
      log_.add(r);
      c.send(reply);
    }
  }

  std::function<std::string(const RtspRequestSeen&)> handler_;
  SharedLog<RtspRequestSeen> log_;
  ScriptedServer server_;  // last: its thread stops before the rest goes
};

struct FrameSeen {
  std::vector<uint8_t> bytes;
  int64_t timestamp;
};

// Deliver callback target: setDeliverCallback(entry, &FrameLog::deliver, &log).
struct FrameLog : SharedLog<FrameSeen> {
  static void deliver(std::unique_ptr<RtpFrame> f, void* log) {
    static_cast<FrameLog*>(log)->add(
        {std::vector<uint8_t>(f->data, f->data + f->size), f->timestamp});
  }
};

inline int32_t elementData(CBufferElem* element, uint8_t*& data) {
  data = element->data();
  return 0;
}

}  // namespace strevana::testing
