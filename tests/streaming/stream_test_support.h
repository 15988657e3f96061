#pragma once
// Helpers for the streaming tests. End to end: child processes (real peers,
// each under `timeout` and ended by process id), free loopback ports, ffmpeg
// as an RTP sender, GStreamer's RTSP server, the test clip's own samples, and
// a scripted RTSP server answering through the test's handler. In memory:
// decoded descriptions with their media entries and RTP datagrams by hand.
extern "C" {
#include <libavformat/avformat.h>
}
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "protocols/sdp/sdp_decoder.h"
#include "protocols/sdp/sdp_input.h"
#include "streaming/media_entry.h"
#include "streaming/rtp_frame.h"
#include "support/loopback_peer.h"
#include "support/scripted_rtsp_server.h"

namespace strevana::testing {

// 176x144, 25 fps, 75 pictures; AAC stereo 44.1 kHz.
inline const std::string kClip = STREVANA_FIXTURE_DIR "/mpeg4_aac.mp4";

inline bool waitFor(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A child process in its own process group, its output in a file; the
// destructor ends the group by its id (SIGTERM, then SIGKILL) and reaps it.
class ChildProcess {
 public:
  ChildProcess(std::vector<std::string> argv, const std::string& logPath) : log_(logPath) {
    if ((pid_ = fork()) != 0) return;
    setpgid(0, 0);
    if (!freopen(logPath.c_str(), "w", stdout) || dup2(fileno(stdout), 2) < 0) _exit(126);
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  ~ChildProcess() {
    if (exited()) return;
    kill(-pid_, SIGTERM);
    if (!waitFor([this] { return exited(); }, 2000)) kill(-pid_, SIGKILL), waitpid(pid_, 0, 0);
  }
  bool exited() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    return pid_ <= 0;
  }
  std::string output() const { return readFile(log_); }

 private:
  pid_t pid_ = -1;
  std::string log_;
};

// An even port of 127.0.0.1 nobody uses now, with its odd neighbour free too
// when pair is set (RTP and RTCP).
inline int freePort(int type = SOCK_DGRAM, bool pair = true) {
  static std::mt19937 random(static_cast<unsigned>(getpid()));
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int port = 20000 + 2 * static_cast<int>(random() % 20000);
    bool ok = true;
    for (int p = port; p <= port + (pair ? 1 : 0) && ok; ++p) {
      const int fd = socket(AF_INET, type, 0);
      const sockaddr_in a = loopbackAddress(static_cast<uint16_t>(p));
      ok = bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
      close(fd);
    }
    if (ok) return port;
  }
  return 0;
}

// ffmpeg sending the clip's video to videoPort and its sound (MP4A-LATM with
// latm, else mpeg4-generic) to audioPort in real time; with sdp, a short run
// that only writes the description. With videoDelayMs the video goes that
// much later than the sound (only sender reports then line the two up).
inline std::vector<std::string> ffmpegSender(int videoPort, int audioPort, bool latm,
                                             const std::string& sdp = "", int videoDelayMs = 0) {
  std::vector<std::string> argv = {"timeout", "30", "ffmpeg", "-nostdin", "-v", "error"};
  for (int input = 0; input < (videoDelayMs ? 2 : 1); ++input) {
    if (sdp.empty()) argv.push_back("-re");
    argv.insert(argv.end(),
                {"-itsoffset", std::to_string(input * videoDelayMs / 1000.0), "-i", kClip});
  }
  argv.insert(argv.end(), {"-map", videoDelayMs ? "1:v" : "0:v", "-c", "copy", "-f", "rtp",
                           "rtp://127.0.0.1:" + std::to_string(videoPort), "-map", "0:a", "-c",
                           "copy", "-rtpflags", latm ? "latm" : "0", "-f", "rtp",
                           "rtp://127.0.0.1:" + std::to_string(audioPort)});
  if (!sdp.empty()) argv.insert(argv.end(), {"-t", "0.1", "-y", "-sdp_file", sdp});
  return argv;
}

inline bool writeDescription(int videoPort, int audioPort, bool latm, const std::string& sdp,
                             int videoDelayMs = 0) {
  ChildProcess writer(ffmpegSender(videoPort, audioPort, latm, sdp, videoDelayMs), sdp + ".log");
  return waitFor([&] { return writer.exited(); }, 20000) && std::filesystem::exists(sdp);
}

// GStreamer's RTSP server (gst_rtsp_server.py beside this file) serving the
// clip on 127.0.0.1:port for at most 50 s; null, with its output in why, when
// it did not start.
inline std::unique_ptr<ChildProcess> startGstServer(int port, const std::string& log,
                                                    std::string& why,
                                                    std::vector<std::string> options) {
  std::string script = STREVANA_TEST_DATA_DIR;  // tests/data, which need not exist
  script.replace(script.size() - 4, 4, "streaming/gst_rtsp_server.py");
  options.insert(options.begin(), {"env", "GST_DEBUG=rtspclient:4", "timeout", "60",
                                   "/usr/bin/python3", script, std::to_string(port), kClip, "50"});
  auto server = std::make_unique<ChildProcess>(options, log);
  const auto ready = [&] { return server->output().find("ready") != std::string::npos; };
  if (waitFor([&] { return ready() || server->exited(); }, 20000) && ready()) return server;
  why = server->output();
  return nullptr;
}

// The clip's coded samples as libavformat reads them, with their times.
struct Sample {
  std::vector<uint8_t> bytes;
  int64_t pts;
};
struct ClipSamples {
  std::vector<Sample> video, audio;
  AVRational videoBase{0, 1}, audioBase{0, 1};
};

inline const ClipSamples& clipSamples() {
  static const ClipSamples clip = [] {
    ClipSamples c;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, kClip.c_str(), nullptr, nullptr) < 0) return c;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(context, packet) >= 0) {
      const AVStream* stream = context->streams[packet->stream_index];
      const bool video = stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
      (video ? c.videoBase : c.audioBase) = stream->time_base;
      (video ? c.video : c.audio)
          .push_back({{packet->data, packet->data + packet->size}, packet->pts});
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&context);
    return c;
  }();
  return clip;
}

// A list filled by one thread and read by another.
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

// Deliver callback target: setDeliverCallback(entry, &FrameLog::deliver, &log).
struct FrameLog : SharedLog<Sample> {
  static void deliver(std::unique_ptr<RtpFrame> f, void* log) {
    static_cast<FrameLog*>(log)->add({{f->data, f->data + f->size}, f->timestamp});
  }
};

inline int32_t elementData(CBufferElem* element, uint8_t*& data) {
  data = element->data();
  return 0;
}

// ---- A scripted RTSP server ------------------------------------------------

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

// Answers every request through the handler and records it once answered.
class RtspPeer {
 public:
  explicit RtspPeer(std::function<std::string(const RtspRequestSeen&)> handler)
      : handler_(std::move(handler)), server_([this](ScriptedConnection& c, int) {
          for (std::string text; !(text = c.readRequest(30000)).empty();) {
            RtspRequestSeen r{"", "", text};
            std::istringstream(text) >> r.method >> r.url;
            r.cseq = std::atoi(r.header("CSeq").c_str());
            const std::string reply = handler_(r);
            log_.add(r);
            c.send(reply);
          }
        }) {}

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
  std::function<std::string(const RtspRequestSeen&)> handler_;
  SharedLog<RtspRequestSeen> log_;
  ScriptedServer server_;  // last: its thread stops before the rest goes
};

// ---- In memory ------------------------------------------------------------

// A decoded description and an entry for its first medium.
struct DescribedMedia {
  std::unique_ptr<SdpSession> sdp;
  std::unique_ptr<MediaEntry> first = std::make_unique<MediaEntry>();
  MediaEntry* entry() { return first.get(); }
};

inline DescribedMedia describe(const std::string& sdpText) {
  DescribedMedia d;
  int count = 0;
  decodeSdp(makeSdpMemoryInput(sdpText).get(), d.sdp, count);
  d.first->media = d.sdp ? d.sdp->media.get() : nullptr;
  return d;
}

// A description whose one medium "m=<type> <port> RTP/AVP 96" has the given
// rtpmap and fmtp values.
inline std::string oneMedia(const std::string& type, const std::string& rtpmap,
                            const std::string& fmtp = "", int port = 5004) {
  return "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=t\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=" + type +
         " " + std::to_string(port) + " RTP/AVP 96\r\n" +
         (rtpmap.empty() ? "" : "a=rtpmap:96 " + rtpmap + "\r\n") +
         (fmtp.empty() ? "" : "a=fmtp:96 " + fmtp + "\r\n");
}

// An RTP datagram (RFC 3550 5.1) with the given header fields and payload.
inline std::vector<uint8_t> rtpDatagram(uint16_t sequence, uint32_t timestamp, bool marker,
                                        const std::vector<uint8_t>& payload,
                                        uint8_t payloadType = 96, uint32_t ssrc = 0x11223344) {
  std::vector<uint8_t> d = {0x80, static_cast<uint8_t>((marker ? 0x80 : 0) | payloadType),
                            static_cast<uint8_t>(sequence >> 8), static_cast<uint8_t>(sequence)};
  for (uint32_t field : {timestamp, ssrc}) {
    for (int shift : {24, 16, 8, 0}) d.push_back(static_cast<uint8_t>(field >> shift));
  }
  d.insert(d.end(), payload.begin(), payload.end());
  return d;
}

}  // namespace strevana::testing
