// strevana-bench seek FILE: exact seeks through MediaSource::getVideoFrame
// (request 7) at every 100 ms of the file, in YUY2; the worst and the median
// against ffmpeg's accurate seek (`ffmpeg -threads 1 -ss T -i FILE
// -frames:v 1`) to the worst position, less ffmpeg's own cost of showing the
// first picture (opening, probing), so that both sides count decoding alone.
// Seeks are timed in CPU time (ours: the thread's; ffmpeg's: the child's
// user + system time), so that a loaded machine does not decide; the worst
// position is then timed again on both sides, best of three. ffmpeg seeks
// its demuxer by decoding time: for a target within the B-frame delay before
// a key picture it starts at that key picture and shows it, instead of the
// picture on screen at the target, at no decoding cost. --at MS compares
// both sides at a position of one's choosing instead (ours, e.g., the last
// picture of a group, 100 ms before the next key picture).
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
double cpuMs(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double childrenCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// CPU milliseconds of a shell command (its children), best of `runs`.
double commandCpuMs(const std::string& command, int runs) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const double before = childrenCpuMs();
    if (std::system(command.c_str()) != 0) return -1;
    best = std::min(best, childrenCpuMs() - before);
  }
  return best;
}

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
  return strevana::createMediaSource(nullptr, path.c_str(), 0, strevana::kFormatYuy2, 0, 0, 0, 0,
                                     nullptr, nullptr, nullptr, nullptr, 0, 0, 0, nullptr);
}

std::string ffmpeg(const std::string& options, const std::string& path) {
  return "ffmpeg -nostdin -hide_banner -loglevel error -threads 1 " + options + " -i '" + path +
         "' -map 0:v:0 -frames:v 1 -f null - >/dev/null 2>&1";
}

}  // namespace

int runSeekBench(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: strevana-bench seek FILE [--at MS]\n");
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
  std::vector<uint8_t> buffer(
      static_cast<size_t>(strevana::bufferBytes(s.outputFormat, s.width, s.height)));
  std::vector<std::pair<double, int32_t>> costs;
  auto seekCpuMs = [&](int32_t ms) {
    int32_t position = ms;
    const double start = cpuMs(CLOCK_THREAD_CPUTIME_ID);
    s.getVideoFrame(strevana::kRequestAtPosition, stride, nullptr, 0, 0, buffer.data(), position);
    return cpuMs(CLOCK_THREAD_CPUTIME_ID) - start;
  };
  for (int32_t ms = 0; ms < s.durationMs; ms += 100) costs.emplace_back(seekCpuMs(ms), ms);
  std::sort(costs.begin(), costs.end());
  int32_t worstAt = costs.back().second;
  if (argc >= 4 && std::string(argv[2]) == "--at") worstAt = std::atoi(argv[3]);
  const double median = costs[costs.size() / 2].first;
  double worst = 1e30;
  for (int i = 0; i < 3; ++i) {
    seekCpuMs(0);
    worst = std::min(worst, seekCpuMs(worstAt));
  }
  const double first = commandCpuMs(ffmpeg("", path), 3);
  const double theirs =
      commandCpuMs(ffmpeg("-ss " + std::to_string(worstAt / 1000.0), path), 3) - first;
  std::printf(
      "seek strevana: %.1f ms CPU (at %d ms, best of 3), median %.1f ms over %zu positions\n",
      worst, worstAt, median, costs.size());
  std::printf("seek ffmpeg accurate seek to %d ms: %.1f ms CPU beyond its first picture\n", worstAt,
              theirs);
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
