#pragma once
// Helpers for the streaming tests. In memory: frames over plain byte arrays,
// decoded descriptions with their media entries, hand-built RTP datagrams.
// End to end: child processes (real peers) stopped by their process id, free
// loopback ports, a driver that pulls a streaming source as the engine
// would, and picture comparison. Every peer runs under `timeout`, so it ends
// by itself even if a test dies.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "media/media_source.h"
#include "protocols/sdp/sdp_decoder.h"
#include "protocols/sdp/sdp_input.h"
#include "streaming/media_entry.h"
#include "streaming/rtp_frame.h"

namespace strevana::testing {

namespace fs = std::filesystem;

inline std::string fixture(const char* name) {
  return std::string(STREVANA_FIXTURE_DIR) + "/" + name;
}

// Waits up to ms for done() to hold, polling every few milliseconds.
inline bool waitFor(const std::function<bool()>& done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// A child process in its own process group, its output in a file. The
// destructor ends the group (SIGTERM, then SIGKILL) and reaps the child.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& argv, const std::string& logPath) : log_(logPath) {
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      const int fd = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
      }
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    if (pid_ > 0) setpgid(pid_, pid_);
  }
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // True once the child has ended (reaped here).
  bool exited() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return true;
    }
    return false;
  }
  void stop() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    if (!waitFor([this] { return exited(); }, 2000)) {
      kill(-pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
  }
  std::string output() const {
    std::ifstream in(log_);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  pid_t pid_ = -1;
  std::string log_;
};

// A port on 127.0.0.1 nobody uses now: even, with its odd neighbour free too
// when pair is set (RTP and RTCP).
inline int freePort(int type, bool pair) {
  static std::mt19937 random(
      static_cast<unsigned>(getpid()) ^
      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int port = 20000 + 2 * static_cast<int>(random() % 20000);
    bool ok = true;
    for (int p = port; p <= port + (pair ? 1 : 0) && ok; ++p) {
      const int fd = socket(AF_INET, type, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<uint16_t>(p));
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ok = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
      if (fd >= 0) close(fd);
    }
    if (ok) return port;
  }
  return 0;
}

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "strevana-stream-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) fs::remove_all(path_, ignored);
  }
  std::string file(const char* name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

// The ffmpeg command sending clip's video to videoPort and its audio
// (mpeg4-generic, or MP4A-LATM with latm) to audioPort on 127.0.0.1, in real
// time; with sdp, a short run that only writes the description of it.
// outputOptions go before each of the two outputs (e.g. -payload_type 96).
// With videoDelayMs the clip is read twice and its video sent that much
// later than its sound (only sender reports then line the two up).
inline std::vector<std::string> ffmpegSender(const std::string& clip, int videoPort, int audioPort,
                                             bool latm, const std::string& sdp,
                                             const std::vector<std::string>& outputOptions = {},
                                             int videoDelayMs = 0) {
  std::vector<std::string> argv = {"timeout", "30", "ffmpeg", "-nostdin", "-v", "error"};
  for (int input = 0; input < (videoDelayMs ? 2 : 1); ++input) {
    if (sdp.empty()) argv.push_back("-re");
    if (videoDelayMs)
      argv.insert(argv.end(), {"-itsoffset", input ? std::to_string(videoDelayMs / 1000.0) : "0"});
    argv.insert(argv.end(), {"-i", clip});
  }
  argv.insert(argv.end(), {"-map", videoDelayMs ? "1:v" : "0:v", "-c", "copy"});
  argv.insert(argv.end(), outputOptions.begin(), outputOptions.end());
  argv.insert(argv.end(), {"-f", "rtp", "rtp://127.0.0.1:" + std::to_string(videoPort), "-map",
                           "0:a", "-c", "copy"});
  if (latm) argv.insert(argv.end(), {"-rtpflags", "latm"});
  argv.insert(argv.end(), outputOptions.begin(), outputOptions.end());
  argv.insert(argv.end(), {"-f", "rtp", "rtp://127.0.0.1:" + std::to_string(audioPort)});
  if (!sdp.empty()) argv.insert(argv.end(), {"-t", "0.1", "-y", "-sdp_file", sdp});
  return argv;
}

// Writes the description ffmpeg announces for these ports (the sender itself
// runs later, once the receiver listens).
inline bool writeDescription(const std::string& clip, int videoPort, int audioPort, bool latm,
                             const std::string& sdp,
                             const std::vector<std::string>& outputOptions = {},
                             int videoDelayMs = 0) {
  ChildProcess writer(
      ffmpegSender(clip, videoPort, audioPort, latm, sdp, outputOptions, videoDelayMs),
      sdp + ".log");
  const bool done = waitFor([&] { return writer.exited(); }, 20000);
  std::error_code ignored;
  return done && fs::exists(sdp) && fs::file_size(sdp, ignored) > 0;
}

// What a source delivered when pulled as the engine pulls it.
struct Playback {
  struct Picture {
    int32_t ms = 0;
    std::vector<uint8_t> bytes;
  };
  std::vector<Picture> pictures;
  int64_t audioBytes = 0;
  double audioEnergy = 0.0;  // mean absolute sample value
  int audioChunks = 0;
  bool timeChanged = false;
  bool ended = false;  // a request failed for good
};

// Pulls pictures (format 5) and sound (the decoder's own format) from source
// until a request fails for good, stop() says so, or limitMs passes; waits
// reported by the source are retried a few milliseconds later, as the
// engine's ticks do.
inline Playback pull(MediaSource& source, int limitMs,
                     const std::function<bool(const Playback&)>& stop = {}) {
  Playback result;
  source.outputRate = source.decodedRate;
  source.outputChannels = source.decodedChannels;
  source.outputBits = source.decodedBits;
  std::vector<uint8_t> frame(
      static_cast<size_t>(bufferBytes(source.outputFormat, source.width, source.height)));
  double energy = 0.0;
  int64_t samples = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (std::chrono::steady_clock::now() < end && !(stop && stop(result))) {
    bool progressed = false;
    if (source.hasVideo) {
      int32_t ms = 0;
      if (source.getVideoFrame(kRequestNext, rowBytes(source.outputFormat, source.width), nullptr,
                               0, 0, frame.data(), ms)) {
        result.pictures.push_back({ms, frame});
        progressed = true;
      } else if (!source.awaitingData()) {
        result.ended = true;
        break;
      }
    }
    if (source.hasAudio) {
      AudioChunk* chunks = nullptr;
      int32_t time = 0;
      uint8_t changed = 0;
      if (source.getAudio(kRequestNext, chunks, time, changed)) {
        result.timeChanged = result.timeChanged || changed;
        for (AudioChunk* c = chunks; c; c = c->next) {
          result.audioBytes += c->size;
          ++result.audioChunks;
          const auto* s = reinterpret_cast<const int16_t*>(c->data.get());
          for (int32_t i = 0; i < c->size / 2; ++i) energy += std::abs(static_cast<int>(s[i]));
          samples += c->size / 2;
        }
        progressed = true;
      } else if (!source.awaitingData()) {
        result.ended = true;
        freeAudioChunkList(chunks);
        break;
      }
      freeAudioChunkList(chunks);
    }
    if (!progressed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.audioEnergy = samples ? energy / static_cast<double>(samples) : 0.0;
  return result;
}

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ffmpeg's own decode of clip's pictures, one after another, in pixelFormat
// (an ffmpeg name: yuyv422, ...); empty when ffmpeg fails.
inline std::vector<uint8_t> decodedPictures(const std::string& clip, const char* pixelFormat) {
  TempFolder folder;
  const std::string out = folder.file("reference.raw");
  const std::string command = "ffmpeg -nostdin -v error -i " + clip +
                              " -map 0:v -f rawvideo -pix_fmt " + pixelFormat + " -y " + out;
  if (std::system(command.c_str()) != 0) return {};
  return readFile(out);
}

// GStreamer's RTSP server (gst_rtsp_server.py, beside this header) serving
// clip on 127.0.0.1:port for at most 60 s, logging the requests it handles to
// logPath; options are the script's own (--tcp-only, --digest USER:PASSWORD).
// Null, with the server's output in `why`, when it did not start.
inline std::unique_ptr<ChildProcess> startGstServer(int port, const std::string& clip,
                                                    const std::string& logPath, std::string& why,
                                                    const std::vector<std::string>& options = {}) {
  const std::string script = (fs::path(__FILE__).parent_path() / "gst_rtsp_server.py").string();
  std::vector<std::string> argv = {
      "env",  "GST_DEBUG=rtspclient:4", "timeout", "60", "/usr/bin/python3",
      script, std::to_string(port),     clip,      "50"};
  argv.insert(argv.end(), options.begin(), options.end());
  auto server = std::make_unique<ChildProcess>(argv, logPath);
  const auto ready = [&] { return server->output().find("ready") != std::string::npos; };
  if (!waitFor([&] { return ready() || server->exited(); }, 20000) || !ready()) {
    why = server->output();
    return nullptr;
  }
  return server;
}

// Peak signal-to-noise ratio of two equally sized 8-bit pictures in dB
// (infinity for identical ones).
inline double psnr(const uint8_t* a, const uint8_t* b, size_t n) {
  double sum = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  if (sum == 0.0) return INFINITY;
  return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / sum);
}

// ---- In memory ------------------------------------------------------------

// A frame whose data is `bytes` (no element), assembled from packets of the
// given payload sizes (one packet of everything when none are given).
inline std::unique_ptr<RtpFrame> makeFrame(std::vector<uint8_t>& bytes, int64_t timestamp = 0,
                                           std::vector<uint32_t> packetSizes = {}) {
  auto frame = std::make_unique<RtpFrame>();
  frame->data = bytes.data();
  frame->size = static_cast<uint32_t>(bytes.size());
  frame->timestamp = timestamp;
  frame->packetSizes =
      packetSizes.empty() ? std::vector<uint32_t>{frame->size} : std::move(packetSizes);
  return frame;
}

// A decoded description and one MediaEntry per m= line, in order, linked.
struct DescribedMedia {
  std::unique_ptr<SdpSession> sdp;
  std::vector<std::unique_ptr<MediaEntry>> entries;

  MediaEntry* entry(size_t i) { return i < entries.size() ? entries[i].get() : nullptr; }
};

inline DescribedMedia describe(const std::string& sdpText) {
  DescribedMedia d;
  auto input = makeSdpMemoryInput(sdpText);
  int count = 0;
  decodeSdp(input.get(), d.sdp, count);
  if (!d.sdp) return d;
  for (SdpMedia* m = d.sdp->media.get(); m; m = m->next.get()) {
    auto e = std::make_unique<MediaEntry>();
    e->media = m;
    if (!d.entries.empty()) d.entries.back()->next = e.get();
    d.entries.push_back(std::move(e));
  }
  return d;
}

// "m=<type> 0 RTP/AVP 96" with the given rtpmap and fmtp lines.
inline std::string oneMedia(const std::string& type, const std::string& rtpmap,
                            const std::string& fmtp = "") {
  std::string text = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=t\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n";
  text += "m=" + type + " 5004 RTP/AVP 96\r\n";
  if (!rtpmap.empty()) text += "a=rtpmap:96 " + rtpmap + "\r\n";
  if (!fmtp.empty()) text += "a=fmtp:96 " + fmtp + "\r\n";
  return text;
}

// An RTP datagram (RFC 3550 5.1) with the given header fields and payload.
inline std::vector<uint8_t> rtpDatagram(uint16_t sequence, uint32_t timestamp, bool marker,
                                        const std::vector<uint8_t>& payload,
                                        uint8_t payloadType = 96, uint32_t ssrc = 0x11223344) {
  std::vector<uint8_t> d = {0x80, static_cast<uint8_t>((marker ? 0x80 : 0) | (payloadType & 0x7f)),
                            static_cast<uint8_t>(sequence >> 8), static_cast<uint8_t>(sequence)};
  for (uint32_t field : {timestamp, ssrc}) {
    for (int shift : {24, 16, 8, 0}) d.push_back(static_cast<uint8_t>(field >> shift));
  }
  d.insert(d.end(), payload.begin(), payload.end());
  return d;
}

}  // namespace strevana::testing
