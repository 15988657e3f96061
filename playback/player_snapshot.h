#pragma once
// renderPlayerSnapshot: opens a medium through a PlayerController on a
// MemoryWindowSurface exactly as the shell does (still picture given to the
// engine, open, layout, zoom, layout), pauses, seeks, and returns what the
// main window's client area shows: the skin frame, buttons, slider, time
// text and the video. With frameOnly it returns the picture alone at its
// coded size, read from the renderer's frame buffer. strevana-snapshot is a
// command line around it; tests call it directly.
//
// Names whose text from the last "." on is exactly ".yuv" are raw YUV files,
// opened with the given size, rate and layout (default CIF, 25 Hz, 4:2:0, as
// the YUV settings start out); everything else goes through openFile.
//
// Threads: any one thread; text needs a QGuiApplication (offscreen will do).
// No playback thread runs: nothing moves between the seek and the picture.
#include <QImage>
#include <cstdint>
#include <string>

namespace strevana {

struct SnapshotOptions {
  std::string file;
  int32_t atMs = 0;
  int32_t zoomPercent = 100;
  bool frameOnly = false;
  int32_t yuvWidth = 352;
  int32_t yuvHeight = 288;
  int32_t yuvRate = 25;
  int32_t yuvLayout = 1;  // 1 planar 4:2:0, 5 packed 4:2:2
  // Client size of the main window before the medium is opened.
  int32_t initialWidth = 350;
  int32_t initialHeight = 300;
};

struct SnapshotResult {
  QImage image;       // null on failure
  std::string error;  // why, on failure
};

SnapshotResult renderPlayerSnapshot(const SnapshotOptions& options);

// True when the shell treats name as a raw YUV file.
bool isRawYuvName(const std::string& name);

}  // namespace strevana
