// strevana-snapshot FILE --at MS -o OUT.png [--zoom PERCENT] [--frame-only]
//                   [--size WxH --rate N --layout 420|422]   (raw .yuv files)
// Opens FILE through the player's real controller, engine and raster renderer
// on an off-screen window, goes to MS and saves what the main window shows
// (or, with --frame-only, the picture alone at its coded size). Needs no
// display.
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "playback/player_snapshot.h"

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: strevana-snapshot FILE --at MS -o OUT.png [--zoom PERCENT] [--frame-only]\n"
               "       raw YUV files: [--size WxH] [--rate N] [--layout 420|422]\n");
}

// Whole decimal numbers only; false for anything else.
bool parseInt(const char* text, int32_t& out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (*end != '\0' || v < -2147483647L - 1 || v > 2147483647L) return false;
  out = static_cast<int32_t>(v);
  return true;
}

bool parseSize(const char* text, int32_t& w, int32_t& h) {
  if (!text) return false;
  const char* x = std::strchr(text, 'x');
  if (!x) return false;
  const std::string first(text, static_cast<size_t>(x - text));
  return parseInt(first.c_str(), w) && parseInt(x + 1, h) && w > 0 && h > 0;
}

}  // namespace

int main(int argc, char** argv) {
  strevana::SnapshotOptions options;
  std::string out;
  bool haveAt = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = true;
    if (arg == "--at") {
      ok = parseInt(value, options.atMs) && options.atMs >= 0;
      haveAt = ok;
      ++i;
    } else if (arg == "-o") {
      ok = value != nullptr;
      if (ok) out = value;
      ++i;
    } else if (arg == "--zoom") {
      ok = parseInt(value, options.zoomPercent);
      ++i;
    } else if (arg == "--frame-only") {
      options.frameOnly = true;
    } else if (arg == "--size") {
      ok = parseSize(value, options.yuvWidth, options.yuvHeight);
      ++i;
    } else if (arg == "--rate") {
      ok = parseInt(value, options.yuvRate) && options.yuvRate > 0;
      ++i;
    } else if (arg == "--layout") {
      ok = value && (std::strcmp(value, "420") == 0 || std::strcmp(value, "422") == 0);
      if (ok) options.yuvLayout = std::strcmp(value, "420") == 0 ? 1 : 5;
      ++i;
    } else if (!arg.empty() && arg[0] == '-') {
      ok = false;
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "strevana-snapshot: bad argument %s\n", arg.c_str());
      usage();
      return 2;
    }
  }
  if (options.file.empty() || out.empty() || !haveAt) {
    usage();
    return 2;
  }
  // Never a real display: the window exists only in memory.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);

  const strevana::SnapshotResult result = strevana::renderPlayerSnapshot(options);
  if (result.image.isNull()) {
    std::fprintf(stderr, "strevana-snapshot: %s\n", result.error.c_str());
    return 1;
  }
  if (!result.image.save(QString::fromStdString(out), "PNG")) {
    std::fprintf(stderr, "strevana-snapshot: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
