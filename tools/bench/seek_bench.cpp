// strevana-bench seek FILE: exact seeks through MediaSource::getVideoFrame
// (request 7) at every 100 ms of the file, in YUY2; the worst and the median
// against ffmpeg's accurate seek (`ffmpeg -threads 1 -ss T -i FILE
// -frames:v 1`) to the worst position, less ffmpeg's own cost of showing the
// first picture (opening, probing), so that both sides count decoding alone.
// strevana-bench open FILE: the source's open time (first picture included)
// and bytes read, against `ffmpeg -threads 1 -i FILE -frames:v 1`.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench.h"
#include "streaming/media_source_factory.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Wall milliseconds of a shell command, best of `runs`.
double commandMs(const std::string& command, int runs) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    best = std::min(best, msSince(start));
  }
  return best;
}

// Bytes this process has read from storage or the page cache so far.
long long bytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

std::unique_ptr<strevana::MediaSource> open(const std::string& path) {
  return strevana::createMediaSource(nullptr, path.c_str(), 0, strevana::kFormatYuy2, 0, 0, 0, 0, nullptr, nullptr,
                                     nullptr, nullptr, 0, 0, 0, nullptr);
}

std::string ffmpeg(const std::string& options, const std::string& path) {
  return "ffmpeg -nostdin -hide_banner -loglevel error -threads 1 " + options + " -i '" + path +
         "' -map 0:v:0 -frames:v 1 -f null - >/dev/null 2>&1";
}

}  // namespace

int runSeekBench(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: strevana-bench seek FILE\n");
    return 2;
  }
  const std::string path = argv[1];
  auto source = open(path);
  if (!source || !source->hasVideo) {
    std::fprintf(stderr, "strevana-bench: no video in %s\n", path.c_str());
    return 1;
  }
  auto& s = *source;
  const int32_t stride = strevana::rowBytes(s.outputFormat, s.width);
  std::vector<uint8_t> buffer(static_cast<size_t>(strevana::bufferBytes(s.outputFormat, s.width, s.height)));
  std::vector<std::pair<double, int32_t>> costs;
  for (int32_t ms = 0; ms < s.durationMs; ms += 100) {
    int32_t position = ms;
    const auto start = Clock::now();
    s.getVideoFrame(strevana::kRequestAtPosition, stride, nullptr, 0, 0, buffer.data(), position);
    costs.emplace_back(msSince(start), ms);
  }
  std::sort(costs.begin(), costs.end());
  const auto [worst, worstAt] = costs.back();
  const double median = costs[costs.size() / 2].first;
  const double first = commandMs(ffmpeg("", path), 3);
  const double theirs = commandMs(ffmpeg("-ss " + std::to_string(worstAt / 1000.0), path), 3) - first;
  std::printf("seek strevana: worst %.1f ms (at %d ms), median %.1f ms over %zu positions\n", worst, worstAt, median,
              costs.size());
  std::printf("seek ffmpeg accurate seek to %d ms: %.1f ms beyond its first picture\n", worstAt, theirs);
  if (theirs > 0) std::printf("seek ratio strevana/ffmpeg (worst): %.2f\n", worst / theirs);
  return 0;
}

int runOpenBench(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: strevana-bench open FILE\n");
    return 2;
  }
  const std::string path = argv[1];
  const long long before = bytesRead();
  const auto start = Clock::now();
  auto source = open(path);
  const double ours = msSince(start);
  const long long read = bytesRead() - before;
  if (!source) {
    std::fprintf(stderr, "strevana-bench: cannot open %s\n", path.c_str());
    return 1;
  }
  const double theirs = commandMs(ffmpeg("", path), 3);
  std::printf("open strevana: %.1f ms, %.2f MB read\n", ours, read / 1e6);
  std::printf("open ffmpeg -frames:v 1 (whole process): %.1f ms\n", theirs);
  if (theirs > 0) std::printf("open ratio strevana/ffmpeg: %.2f\n", ours / theirs);
  return 0;
}
