#include "playback/player_snapshot.h"

#include <memory>

#include "media/yuv_file_source.h"
#include "playback/panel/skin_resources.h"
#include "playback/player_controller.h"
#include "video/memory_window_surface.h"
#include "video/video_renderer.h"
#include "video/yuy2_rows.h"

namespace strevana {

namespace {

// The renderer's buffer as an image of its coded size (RGB formats, and
// packed 4:2:2 converted as the renderer shows it).
QImage copyFrameBuffer(VideoRenderer& renderer, std::string& error) {
  uint8_t* bits = nullptr;
  int32_t size = 0;
  int32_t stride = 0;
  if (!renderer.lockBuffer(bits, size, stride) || !bits) {
    error = "the renderer's frame buffer cannot be read";
    return {};
  }
  const int32_t w = renderer.imageWidth();
  const int32_t h = renderer.imageHeight();
  QImage::Format format = QImage::Format_Invalid;
  if (renderer.format() == kFormatBgr24) format = QImage::Format_BGR888;
  if (renderer.format() == kFormatBgrx32) format = QImage::Format_RGB32;
  QImage out;
  if (format == QImage::Format_Invalid && renderer.format() != kFormatYuy2) {
    error = "the frame buffer is not in an RGB or packed 4:2:2 format";
  } else if (w <= 0 || h <= 0 || static_cast<int64_t>(stride) * h > size) {
    error = "the frame buffer has no usable size";
  } else if (format == QImage::Format_Invalid) {
    out = QImage(w, h, QImage::Format_RGB32);
    for (int32_t row = 0; row < h; ++row) {
      yuy2RowToBgrx(bits + static_cast<int64_t>(row) * stride, out.scanLine(row), w);
    }
  } else {
    // A deep copy: the buffer is the renderer's and goes with it, and
    // converting an image already in the target format would share it.
    out = QImage(bits, w, h, stride, format).copy().convertToFormat(QImage::Format_RGB32);
  }
  renderer.unlockBuffer();
  return out;
}

}  // namespace

bool isRawYuvName(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && name.compare(dot, std::string::npos, ".yuv") == 0;
}

SnapshotResult renderPlayerSnapshot(const SnapshotOptions& options) {
  SnapshotResult result;
  MemoryWindowSurface surface(options.initialWidth, options.initialHeight);
  MemoryWindowHost host(&surface);
  PlayerController controller(std::make_unique<DrawContext>(&surface), &host);
  // A real window lays its panel out again after every size change.
  host.onResized = [&controller] { controller.layoutPanel(); };
  controller.loadSkin();
  const QImage still = loadStillPicture();
  if (!still.isNull()) {
    controller.withEngine([&still](PlaybackEngine& e) {
      e.setStillPicture(still.width(), still.height(),
                        reinterpret_cast<const uint32_t*>(still.constBits()));
      return 0;
    });
  }
  controller.layoutPanel();

  int opened = 0;
  if (isRawYuvName(options.file)) {
    auto source =
        std::make_unique<YuvFileSource>(options.file.c_str(), options.yuvWidth, options.yuvHeight,
                                        options.yuvRate, options.yuvLayout, kFormatYuy2);
    opened = controller.openYuvSource(std::move(source));
  } else {
    opened = controller.openFile(options.file.c_str());
  }
  if (!opened) {
    result.error = "Cannot open " + options.file;
    return result;
  }
  controller.layoutPanel();
  if (options.zoomPercent != 100) controller.setZoom(options.zoomPercent);

  controller.pausePlayback();
  controller.seekTo(options.atMs);
  controller.layoutPanel();

  if (options.frameOnly) {
    controller.withEngine([&result](PlaybackEngine& e) {
      if (VideoRenderer* r = e.renderer()) {
        result.image = copyFrameBuffer(*r, result.error);
      } else {
        result.error = "no picture: the medium has no renderer";
      }
      return 0;
    });
  } else {
    result.image = surface.snapshot();
  }
  return result;
}

}  // namespace strevana
