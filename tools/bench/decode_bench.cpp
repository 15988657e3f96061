// strevana-bench decode FILE [--format 5|10|11]
// Pictures per second through MediaSource::getVideoFrame (request 3 into a
// buffer) and seconds of sound per second through MediaSource::getAudio,
// beside `ffmpeg -threads 1` decoding the same file to the same pixel format
// into the null muxer. Both sides are timed with process CPU time and decode
// the file the same number of times; ffmpeg converts pictures on one thread
// too (-filter_threads 1).
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench.h"
#include "streaming/media_source_factory.h"

namespace {

using strevana::MediaSource;

double processSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double childSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

const char* pixelFormatName(int format) {
  switch (format) {
    case 10: return "bgr24";
    case 11: return "bgra";
    default: return "yuyv422";
  }
}

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// CPU seconds ffmpeg needs for `passes` decodes of the file; negative on failure.
double ffmpegSeconds(const std::string& path, int passes, const std::string& options) {
  const std::string command =
      "ffmpeg -nostdin -hide_banner -loglevel error -threads 1 -filter_threads 1 -stream_loop " +
      std::to_string(passes - 1) + " -i " + quoted(path) + " " + options +
      " -f null - >/dev/null 2>&1";
  const double before = childSeconds();
  if (std::system(command.c_str()) != 0) return -1;
  return childSeconds() - before;
}

}  // namespace

int runDecodeBench(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: strevana-bench decode FILE [--format 5|10|11]\n");
    return 2;
  }
  const std::string path = argv[1];
  int format = 5;
  for (int i = 2; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--format") == 0) format = std::atoi(argv[i + 1]);
  }
  if (format != 5 && format != 10 && format != 11) {
    std::fprintf(stderr, "strevana-bench: format must be 5, 10 or 11\n");
    return 2;
  }
  auto source =
      strevana::createMediaSource(nullptr, path.c_str(), 0, strevana::kFormatYuy2, 0, 0, 0, 0,
                                  nullptr, nullptr, nullptr, nullptr, 0, 0, 0, nullptr);
  if (!source) {
    std::fprintf(stderr, "strevana-bench: cannot open %s\n", path.c_str());
    return 1;
  }
  MediaSource& s = *source;

  if (s.hasVideo) {
    s.setOutputFormat(format);
    const int32_t stride = strevana::rowBytes(format, s.width);
    std::vector<uint8_t> buffer(
        static_cast<size_t>(strevana::bufferBytes(format, s.width, s.height)));
    // Enough passes for about a second of work.
    int passes = 0;
    long pictures = 0;
    const double start = processSeconds();
    do {
      int32_t position = 0;
      bool ok =
          s.getVideoFrame(strevana::kRequestFirst, stride, nullptr, 0, 0, buffer.data(), position);
      while (ok) {
        ++pictures;
        ok =
            s.getVideoFrame(strevana::kRequestNext, stride, nullptr, 0, 0, buffer.data(), position);
      }
      ++passes;
    } while (processSeconds() - start < 1.0 && pictures > 0 && passes < 1000);
    const double ours = processSeconds() - start;
    const double theirs =
        ffmpegSeconds(path, passes, std::string("-map 0:v:0 -pix_fmt ") + pixelFormatName(format));
    const double ourRate = pictures / ours;
    std::printf("video format %d strevana: %.1f pictures/s (%ld pictures, %.3f s)\n", format,
                ourRate, pictures, ours);
    if (theirs > 0) {
      const double theirRate = pictures / theirs;
      std::printf("video format %d ffmpeg -threads 1: %.1f pictures/s (%.3f s)\n", format,
                  theirRate, theirs);
      std::printf("video format %d ratio strevana/ffmpeg: %.2f\n", format, ourRate / theirRate);
    } else {
      std::printf("video format %d ffmpeg -threads 1: not run\n", format);
    }
  }

  if (s.hasAudio) {
    s.outputRate = s.decodedRate;
    s.outputChannels = s.decodedChannels;
    s.outputBits = 16;
    const double bytesPerSecond = static_cast<double>(s.decodedRate) * s.decodedChannels * 2;
    int passes = 0;
    double bytes = 0;
    const double start = processSeconds();
    do {
      strevana::AudioChunk* chunks = nullptr;
      int32_t timeMs = 0;
      uint8_t changed = 0;
      bool ok = s.getAudio(strevana::kRequestFirst, chunks, timeMs, changed);
      while (ok) {
        for (auto* c = chunks; c; c = c->next) bytes += c->size;
        strevana::freeAudioChunkList(chunks);
        chunks = nullptr;
        ok = s.getAudio(strevana::kRequestNext, chunks, timeMs, changed);
      }
      ++passes;
    } while (processSeconds() - start < 1.0 && bytes > 0 && passes < 1000);
    const double ours = processSeconds() - start;
    const double seconds = bytes / bytesPerSecond;
    const double theirs = ffmpegSeconds(path, passes, "-map 0:a:0 -c:a pcm_s16le");
    std::printf("audio strevana: %.1f s of sound per s (%.2f s of sound, %.3f s)\n", seconds / ours,
                seconds, ours);
    if (theirs > 0) {
      std::printf("audio ffmpeg -threads 1: %.1f s of sound per s (%.3f s)\n", seconds / theirs,
                  theirs);
      std::printf("audio ratio strevana/ffmpeg: %.2f\n", theirs / ours);
    } else {
      std::printf("audio ffmpeg -threads 1: not run\n");
    }
  }
  return 0;
}
