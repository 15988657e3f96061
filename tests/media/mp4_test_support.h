#pragma once
// Helpers shared by the MP4 tests: fixture paths, files, ffmpeg as the peer
// (its reference checksums and its own output), MD5 of our own pictures, and
// an Mp4FileSource driven as the engine does.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "media/codec/mp4_file.h"
#include "media/mp4_file_source.h"

extern "C" {
#include <libavutil/md5.h>
}

namespace strevana::test {

using Bytes = std::vector<uint8_t>;

inline std::string fixture(const std::string& name) {
  return std::string(STREVANA_FIXTURE_DIR "/").append(name);
}

inline Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

inline long peakResidentKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

inline std::string md5Of(const uint8_t* data, size_t size) {
  uint8_t digest[16];
  av_md5_sum(digest, data, size);
  char text[33];
  for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
  return std::string(text, 32);
}

struct ReferenceFrame {
  int64_t pts = 0;
  std::string md5;
};

// NAME.PIXFMT.framemd5 written by make-fixtures: one line per picture in
// presentation order, time stamps in the track's time base.
inline std::vector<ReferenceFrame> loadReference(const std::string& clip,
                                                 const std::string& pixfmt) {
  std::vector<ReferenceFrame> frames;
  std::ifstream in(fixture(clip + "." + pixfmt + ".framemd5"));
  for (std::string line; std::getline(in, line);) {
    long long pts = 0;
    char md5[33] = {};
    if (line[0] != '#' && std::sscanf(line.c_str(), "%*d,%*d,%lld,%*d,%*d,%32s", &pts, md5) == 2)
      frames.push_back({pts, md5});
  }
  return frames;
}

// The picture ffmpeg shows at time t: the last one not after t (else the first).
inline size_t referenceIndexAt(const std::vector<ReferenceFrame>& frames, int64_t t) {
  size_t index = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (frames[i].pts <= t) index = i;
  }
  return index;
}

// The samples (up to `limit`) and decoder configuration of a clip's track.
struct ClipTrack {
  std::vector<Bytes> samples;
  Bytes config;
};

inline ClipTrack readTrack(const std::string& clip, uint32_t index, uint32_t limit = UINT32_MAX) {
  ClipTrack t;
  CMp4File* file = nullptr;
  CMp4File::createInstance(file);
  CMp4Track* track = nullptr;
  uint32_t count = 0, size = 0, length = 0;
  if (file->open(fixture(clip).c_str(), 0, 0) == kMp4Ok && file->getTrack(index, track) == kMp4Ok &&
      track->getSampleCount(count) == kMp4Ok) {
    for (uint32_t n = 1; n <= count && n <= limit && track->getSampleSize(n, size) == kMp4Ok; ++n) {
      t.samples.emplace_back(size);
      track->readSample(n, size, length, t.samples.back().data());
    }
    if (track->getConfigSize(1, size) == kMp4Ok && size > 0) {
      t.config.resize(size);
      track->getConfig(1, size, length, t.config.data());
    }
    file->releaseTrack(track);
  }
  CMp4File::destroyInstance(file);
  return t;
}

// Runs `ffmpeg -i FIXTURE OPTIONS DIR/NAME` and returns what it wrote; empty when it fails.
inline Bytes ffmpegOutput(const std::string& clip, const std::string& options,
                          const std::string& dir, const std::string& name) {
  std::string command = "ffmpeg -nostdin -v error -y -i '";
  command.append(fixture(clip)).append("' ").append(options).append(" '");
  command.append(dir).append("/").append(name).append("'");
  if (std::system(command.c_str()) != 0) return {};
  return readFile(dir + "/" + name);
}

// Saving targets: elementary video, elementary audio, raw video, raw audio.
struct Targets {
  const char *m4v = nullptr, *m4a = nullptr, *yuv = nullptr, *pcm = nullptr;
  int32_t yuvPerFrame = 0;
};

// A fixture clip by name, or any file by absolute path.
inline std::unique_ptr<Mp4FileSource> openClip(const std::string& name,
                                               OutputFormat format = kFormatYuy2,
                                               PostfilterMode postfilter = 0,
                                               const Targets& t = {}) {
  const std::string path = name[0] == '/' ? name : fixture(name);
  return std::make_unique<Mp4FileSource>(path.c_str(), 0, format, postfilter, t.m4v, t.m4a, t.yuv,
                                         t.pcm, t.yuvPerFrame, 0, 0, nullptr);
}

struct Picture {
  bool ok = false;
  int32_t positionMs = 0;
  std::string md5;
};

// One picture into a tightly packed buffer.
inline Picture request(Mp4FileSource& source, FrameRequest what, int32_t positionMs = 0) {
  Bytes buffer(static_cast<size_t>(bufferBytes(source.outputFormat, source.width, source.height)));
  Picture p{false, positionMs, ""};
  p.ok = source.getVideoFrame(what, rowBytes(source.outputFormat, source.width), nullptr, 0, 0,
                              buffer.data(), p.positionMs);
  if (p.ok) p.md5 = md5Of(buffer.data(), buffer.size());
  return p;
}

inline void setOutput(Mp4FileSource& source, int32_t rate, int32_t channels, int32_t bits) {
  std::tie(source.outputRate, source.outputChannels, source.outputBits) =
      std::tuple(rate, channels, bits);
}

// One audio request; its PCM is appended to `pcm` when given.
inline bool pull(Mp4FileSource& source, FrameRequest what, int32_t timeMs = 0,
                 Bytes* pcm = nullptr) {
  AudioChunk* chunks = nullptr;
  uint8_t changed = 9;
  const bool ok = source.getAudio(what, chunks, timeMs, changed);
  EXPECT_TRUE(!ok || changed == 0);
  for (AudioChunk* c = chunks; c && pcm; c = c->next)
    pcm->insert(pcm->end(), c->data.get(), c->data.get() + c->size);
  freeAudioChunkList(chunks);
  return ok;
}

// Pictures from the first on, and sound requests from `first` on, while they succeed (at most 200).
inline std::vector<std::string> allPictures(Mp4FileSource& source) {
  std::vector<std::string> md5s;
  for (Picture p = request(source, kRequestFirst); p.ok && md5s.size() < 200;
       p = request(source, kRequestNext))
    md5s.push_back(p.md5);
  return md5s;
}

inline int soundRequests(Mp4FileSource& source, FrameRequest first) {
  int n = 0;
  for (bool ok = pull(source, first); ok && n < 200; ok = pull(source, kRequestNext)) ++n;
  return n;
}

}  // namespace strevana::test
