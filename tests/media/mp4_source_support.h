#pragma once
// Driving an Mp4FileSource as the engine does: pictures into tight buffers
// (their MD5), audio requests, saving targets.
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "media/mp4_file_source.h"
#include "media/mp4_test_support.h"

namespace strevana::test {

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
       p = request(source, kRequestNext)) {
    md5s.push_back(p.md5);
  }
  return md5s;
}

inline int soundRequests(Mp4FileSource& source, FrameRequest first) {
  int n = 0;
  for (bool ok = pull(source, first); ok && n < 200; ok = pull(source, kRequestNext)) ++n;
  return n;
}

}  // namespace strevana::test
