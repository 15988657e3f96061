#pragma once
// Helpers for the streaming tests. End to end: child processes (real peers,
// each under `timeout` and ended by process id), free loopback ports, ffmpeg
// as an RTP sender, GStreamer's RTSP server, the test clip's own samples, and
// a puller that drives a source as the engine does. In memory: decoded
// descriptions with their media entries, frames and RTP datagrams by hand.
extern "C" {
#include <libavformat/avformat.h>
}
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "media/media_source.h"
#include "protocols/sdp/sdp_decoder.h"
#include "protocols/sdp/sdp_input.h"
#include "streaming/media_entry.h"
#include "streaming/rtp_frame.h"
#include "support/loopback_peer.h"

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
    if ((pid_ = fork()) == 0) {
      setpgid(0, 0);
      if (!freopen(logPath.c_str(), "w", stdout) || dup2(fileno(stdout), 2) < 0) _exit(126);
      std::vector<char*> args;
      for (std::string& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~ChildProcess() {
    if (exited()) return;
    kill(-pid_, SIGTERM);
    if (!waitFor([this] { return exited(); }, 2000))
      kill(-pid_, SIGKILL), waitpid(pid_, nullptr, 0);
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
    argv.push_back("-itsoffset");
    argv.push_back(std::to_string(input * videoDelayMs / 1000.0));
    argv.push_back("-i");
    argv.push_back(kClip);
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
  std::vector<uint8_t> videoConfig;
};

inline const ClipSamples& clipSamples() {
  static const ClipSamples clip = [] {
    ClipSamples c;
    AVFormatContext* context = nullptr;
    if (avformat_open_input(&context, kClip.c_str(), nullptr, nullptr) < 0) return c;
    avformat_find_stream_info(context, nullptr);
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(context, packet) >= 0) {
      const AVCodecParameters* p = context->streams[packet->stream_index]->codecpar;
      const bool video = p->codec_type == AVMEDIA_TYPE_VIDEO;
      (video ? c.videoBase : c.audioBase) = context->streams[packet->stream_index]->time_base;
      if (video) c.videoConfig.assign(p->extradata, p->extradata + p->extradata_size);
      (video ? c.video : c.audio)
          .push_back(
              {std::vector<uint8_t>(packet->data, packet->data + packet->size), packet->pts});
      av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&context);
    return c;
  }();
  return clip;
}

// What a source delivered when pulled as the engine pulls it.
struct Playback {
  std::vector<int32_t> pictureMs;
  int64_t audioBytes = 0;
  double audioEnergy = 0.0;  // mean absolute sample value
  bool ended = false;        // a request failed for good
};

// Pulls pictures and sound from a source of both as the engine does (a
// request that must wait is tried again a little later) until one fails for
// good or stop() holds, for at most limitMs.
inline Playback pull(MediaSource& source, int limitMs,
                     const std::function<bool(const Playback&)>& stop) {
  Playback r;
  source.outputRate = source.decodedRate;
  source.outputChannels = source.decodedChannels;
  source.outputBits = source.decodedBits;
  std::vector<uint8_t> frame(
      static_cast<size_t>(bufferBytes(source.outputFormat, source.width, source.height)));
  const int32_t stride = rowBytes(source.outputFormat, source.width);
  waitFor(
      [&] {
        int32_t ms = 0;
        uint8_t changed = 0;
        AudioChunk* chunks = nullptr;
        if (source.getVideoFrame(kRequestNext, stride, nullptr, 0, 0, frame.data(), ms)) {
          r.pictureMs.push_back(ms);
        } else {
          r.ended = !source.awaitingData();
        }
        if (!source.getAudio(kRequestNext, chunks, ms, changed))
          r.ended = r.ended || !source.awaitingData();
        for (AudioChunk* c = chunks; c; c = c->next) {
          r.audioBytes += c->size;
          const auto* s = reinterpret_cast<const int16_t*>(c->data.get());
          for (int32_t i = 0; i < c->size / 2; ++i) r.audioEnergy += std::abs(s[i]) * 2.0;
        }
        freeAudioChunkList(chunks);
        return r.ended || stop(r);
      },
      limitMs);
  r.audioEnergy /= static_cast<double>(std::max<int64_t>(1, r.audioBytes));
  return r;
}

// ---- In memory ------------------------------------------------------------

// A decoded description and one MediaEntry per m= line, in order, linked.
struct DescribedMedia {
  std::unique_ptr<SdpSession> sdp;
  std::vector<std::unique_ptr<MediaEntry>> entries;
  MediaEntry* entry(size_t i) { return i < entries.size() ? entries[i].get() : nullptr; }
};

inline DescribedMedia describe(const std::string& sdpText) {
  DescribedMedia d;
  int count = 0;
  decodeSdp(makeSdpMemoryInput(sdpText).get(), d.sdp, count);
  for (SdpMedia* m = d.sdp ? d.sdp->media.get() : nullptr; m; m = m->next.get()) {
    d.entries.push_back(std::make_unique<MediaEntry>());
    d.entries.back()->media = m;
    if (d.entries.size() > 1) d.entries[d.entries.size() - 2]->next = d.entries.back().get();
  }
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
