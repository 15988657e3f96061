#pragma once
// Helpers shared by the MP4 source tests: fixture paths, ffmpeg's reference
// checksums and MD5 of our own pictures.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/md5.h>
}

namespace strevana::test {

inline std::string fixture(const std::string& name) {
  return std::string(STREVANA_FIXTURE_DIR) + "/" + name;
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
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::stringstream ss(line);
    std::string f;
    while (std::getline(ss, f, ',')) {
      const auto b = f.find_first_not_of(' ');
      fields.push_back(b == std::string::npos ? "" : f.substr(b));
    }
    if (fields.size() < 6) continue;
    frames.push_back({std::stoll(fields[2]), fields[5]});
  }
  return frames;
}

// The picture ffmpeg shows at time t: the last one whose time is not after t
// (the first one for earlier times).
inline size_t referenceIndexAt(const std::vector<ReferenceFrame>& frames, int64_t t) {
  size_t index = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (frames[i].pts <= t) index = i;
  }
  return index;
}

inline std::string md5Of(const uint8_t* data, size_t size) {
  uint8_t digest[16];
  av_md5_sum(digest, data, size);
  char text[33];
  for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
  return std::string(text, 32);
}

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

}  // namespace strevana::test
