// strevana-bench present: what showing one picture costs, per frame, for a
// CIF picture at 400 % and a 720p picture on a 1920 x 1080 screen:
// - the raster renderer (formats 5 and 11; nearest-neighbour and smooth),
//   beside Qt's QPainter::drawImage with smooth transformation, the anchor;
// - converting packed 4:2:2 to RGB on its own, ours beside libswscale (and
//   libyuv where built in), which picked the raster renderer's converter;
// - the OpenGL renderer from present() until the picture is on screen, when
//   a display is there (DISPLAY set; on a machine without a GPU only with
//   STREVANA_SOFTWARE_GL=1, and then the line says it is software OpenGL).
// One line per figure; times are the median of the frames measured.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench.h"
#include "video/gdi_renderer.h"
#include "video/memory_window_surface.h"
#include "video/yuy2_rows.h"

#if STREVANA_OPENGL
#include "platform/opengl/gl_video_plane.h"
#include "platform/opengl/opengl_probe.h"
#include "platform/surface_widget.h"
#endif

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#if defined(STREVANA_HAVE_LIBYUV)
#include <libyuv.h>
#endif

namespace {

using namespace strevana;
using Clock = std::chrono::steady_clock;

struct Case {
  const char* name;
  int sourceWidth, sourceHeight, destWidth, destHeight;
};

constexpr Case kCases[] = {{"CIF->400%", 352, 288, 1408, 1152},
                           {"720p->1080p", 1280, 720, 1920, 1080}};

// A picture with detail everywhere, in the buffer layout of format.
std::vector<uint8_t> picture(OutputFormat format, int w, int h) {
  std::vector<uint8_t> bytes(static_cast<size_t>(bufferBytes(format, w, h)));
  std::mt19937 rng(42);
  for (auto& b : bytes) b = static_cast<uint8_t>(16 + rng() % 220);
  return bytes;
}

// Milliseconds per run: the median of runs taken for about 0.6 s (at least 5).
double medianMs(const std::function<void()>& run) {
  run();  // warm up
  std::vector<double> times;
  const auto end = Clock::now() + std::chrono::milliseconds(600);
  while (times.size() < 5 || Clock::now() < end) {
    const auto start = Clock::now();
    run();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::nth_element(times.begin(), times.begin() + static_cast<long>(times.size() / 2), times.end());
  return times[times.size() / 2];
}

void line(const char* what, const Case& c, double ms) {
  std::printf("present %-12s %-44s %7.2f ms/frame  %6.1f frames/s\n", c.name, what, ms,
              1000.0 / ms);
}

void rasterFigures(const Case& c) {
  for (OutputFormat format : {kFormatYuy2, kFormatBgrx32}) {
    for (auto scaling : {GdiRenderer::Scaling::kNearest, GdiRenderer::Scaling::kSmooth}) {
      MemoryWindowSurface surface(c.destWidth, c.destHeight);
      GdiRenderer renderer;
      renderer.setScaling(scaling);
      if (!renderer.open(&surface, 0, 0, c.sourceWidth, c.sourceHeight, format)) continue;
      uint8_t* bits = nullptr;
      int32_t size = 0, stride = 0;
      renderer.lockBuffer(bits, size, stride);
      const auto bytes = picture(format, c.sourceWidth, c.sourceHeight);
      std::copy(bytes.begin(), bytes.end(), bits);
      renderer.setOutputRect(0, 0, c.destWidth, c.destHeight);
      const std::string what = std::string("raster ") +
                               (scaling == GdiRenderer::Scaling::kSmooth ? "smooth " : "nearest ") +
                               (format == kFormatYuy2 ? "YUY2" : "RGB32");
      line(what.c_str(), c, medianMs([&] { renderer.present(); }));
    }
  }
  // The anchor: Qt scaling an RGB32 picture smoothly into an image.
  QImage source(c.sourceWidth, c.sourceHeight, QImage::Format_RGB32);
  const auto bytes = picture(kFormatBgrx32, c.sourceWidth, c.sourceHeight);
  for (int y = 0; y < c.sourceHeight; ++y) {
    std::copy_n(bytes.data() + static_cast<size_t>(y) * c.sourceWidth * 4, c.sourceWidth * 4,
                source.scanLine(y));
  }
  QImage target(c.destWidth, c.destHeight, QImage::Format_RGB32);
  line("Qt drawImage smooth RGB32 (anchor)", c, medianMs([&] {
         QPainter painter(&target);
         painter.setRenderHint(QPainter::SmoothPixmapTransform);
         painter.drawImage(QRect(0, 0, c.destWidth, c.destHeight), source);
       }));
}

void conversionFigures(const Case& c) {
  const int w = c.sourceWidth, h = c.sourceHeight;
  const auto yuy2 = picture(kFormatYuy2, w, h);
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
  line("YUY2->RGB32 ours (tables, per row)", c, medianMs([&] {
         for (int y = 0; y < h; ++y) {
           yuy2RowToBgrx(yuy2.data() + static_cast<size_t>(y) * w * 2,
                         out.data() + static_cast<size_t>(y) * w * 4, w);
         }
       }));
  SwsContext* sws = sws_getContext(w, h, AV_PIX_FMT_YUYV422, w, h, AV_PIX_FMT_BGRA, SWS_POINT,
                                   nullptr, nullptr, nullptr);
  if (sws != nullptr) {
    const uint8_t* src[4] = {yuy2.data(), nullptr, nullptr, nullptr};
    const int srcStride[4] = {w * 2, 0, 0, 0};
    uint8_t* dst[4] = {out.data(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {w * 4, 0, 0, 0};
    line("YUY2->RGB32 libswscale", c,
         medianMs([&] { sws_scale(sws, src, srcStride, 0, h, dst, dstStride); }));
    sws_freeContext(sws);
  }
#if defined(STREVANA_HAVE_LIBYUV)
  line("YUY2->RGB32 libyuv (BT.601 only)", c,
       medianMs([&] { libyuv::YUY2ToARGB(yuy2.data(), w * 2, out.data(), w * 4, w, h); }));
#endif
}

#if STREVANA_OPENGL
void openGlFigures(int argc, char** argv) {
  if (std::getenv("DISPLAY") == nullptr) {
    std::printf("present OpenGL skipped: no DISPLAY\n");
    return;
  }
  QApplication app(argc, argv);
  const OpenGlProbe probe = probeOpenGl();
  if (!openGlUsableForVideo(probe)) {
    std::printf("present OpenGL skipped: %s\n",
                probe.context ? "software OpenGL (set STREVANA_SOFTWARE_GL=1 to measure it)"
                              : "no OpenGL context");
    return;
  }
  const std::string kind = probe.software ? "software OpenGL, " : "";
  for (const Case& c : kCases) {
    SurfaceWidget window;
    window.setWindowFlags(Qt::FramelessWindowHint);
    window.resizeClient(c.destWidth, c.destHeight);
    window.show();
    auto* plane = dynamic_cast<GlVideoPlane*>(window.videoPlane());
    if (plane == nullptr) continue;
    for (OutputFormat format : {kFormatYuy2, kFormatIyuv, kFormatBgrx32}) {
      auto renderer = createVideoRenderer(&window, 0, 0, c.sourceWidth, c.sourceHeight,
                                          kRendererHardware, format);
      if (!renderer) continue;
      uint8_t* bits = nullptr;
      int32_t size = 0, stride = 0;
      renderer->lockBuffer(bits, size, stride);
      const auto bytes = picture(format, c.sourceWidth, c.sourceHeight);
      std::copy(bytes.begin(), bytes.end(), bits);
      renderer->setOutputRect(0, 0, c.destWidth, c.destHeight);
      // present() on this thread, then the window's paint until on screen.
      const auto toScreen = [&] {
        renderer->present();
        const uint64_t want = plane->framesShown();
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (plane->framesOnScreen() < want && Clock::now() < deadline) {
          QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
      };
      const std::string what = "OpenGL (" + kind +
                               probe.renderer.section(QLatin1Char(' '), 0, 0).toStdString() + ") " +
                               (format == kFormatYuy2   ? "YUY2"
                                : format == kFormatIyuv ? "IYUV"
                                                        : "RGB32");
      line(what.c_str(), c, medianMs(toScreen));
      line(("  of it present() alone " + std::string(format == kFormatYuy2   ? "YUY2"
                                                     : format == kFormatIyuv ? "IYUV"
                                                                             : "RGB32"))
               .c_str(),
           c, medianMs([&] { renderer->present(); }));
    }
  }
}
#endif

}  // namespace

int runPresentBench(int argc, char** argv) {
  for (const Case& c : kCases) {
    rasterFigures(c);
    conversionFigures(c);
  }
#if STREVANA_OPENGL
  openGlFigures(argc, argv);
#else
  (void)argc;
  (void)argv;
  std::printf("present OpenGL skipped: built without the OpenGL renderer\n");
#endif
  return 0;
}
