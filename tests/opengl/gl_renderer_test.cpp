// The hardware renderer on a real X display (a private Xvfb with Mesa's
// OpenGL): what reaches the window is grabbed back from the X server and
// compared with the raster renderer's picture of the same frame. The
// platform tests run this binary as a child process.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <link.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QScreen>
#include <QWindow>
#include <QtCore/qtestsupport_core.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "media/colour/yuv_converter.h"
#include "media/yuv_file_source.h"
#include "platform/opengl/gl_video_plane.h"
#include "platform/opengl/opengl_probe.h"
#include "platform/surface_widget.h"
#include "playback/playback_engine.h"
#include "support/child_output.h"
#include "support/temp_folder.h"
#include "video/direct_draw_renderer.h"
#include "video/gdi_renderer.h"
#include "video/memory_window_surface.h"

extern char** environ;

namespace strevana {
namespace {

// One QApplication on Qt's xcb platform, on a private Xvfb, with software
// OpenGL asked for (STREVANA_SOFTWARE_GL=1: Mesa's llvmpipe is all a test
// machine has). With STREVANA_TEST_WITHOUT_OPENGL=1 no context can be made
// there: Xvfb without GLX, Qt's xcb platform without OpenGL. Xvfb picks a
// free display itself (-displayfd), goes when its last client does
// (-terminate), and is ended by its process id.
class Display final : public ::testing::Environment {
 public:
  void SetUp() override {
    const bool noOpenGl = qEnvironmentVariable("STREVANA_TEST_WITHOUT_OPENGL") == "1";
    if (noOpenGl) setenv("QT_XCB_GL_INTEGRATION", "none", 1);
    std::vector<std::string> args = {"Xvfb",        "-displayfd", "3",   "-screen",   "0",
                                     "1280x800x24", "-nolisten",  "tcp", "-terminate"};
    if (noOpenGl) args.insert(args.end(), {"-extension", "GLX"});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);  // the display number comes here
    for (int fd : {1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&xvfb, "Xvfb", &actions, nullptr, argv.data(), environ) != 0) xvfb = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    pollfd ready{fds[0], POLLIN, 0};
    std::string number;  // read to its end: Xvfb dies writing to a closed pipe
    char c = 0;
    while (xvfb > 0 && poll(&ready, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') {
      number += c;
    }
    close(fds[0]);
    if (number.empty()) return;  // no display: the tests skip
    setenv("DISPLAY", (":" + number).c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("STREVANA_SOFTWARE_GL", "1", 1);
    app = std::make_unique<QApplication>(this->argc, this->argv);
    // Mesa's driver would be unloaded when Qt closes its display, before a
    // leak check at exit could name it in the caches it keeps.
    probeOpenGl();
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
          const std::string name = info->dlpi_name ? info->dlpi_name : "";
          if (name.find("_dri.so") != std::string::npos) {
            dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
          }
          return 0;
        },
        nullptr);
  }
  void TearDown() override {
    app.reset();  // before its X server goes
    if (xvfb <= 0) return;
    kill(xvfb, SIGTERM);
    while (waitpid(xvfb, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid_t xvfb = -1;
  std::unique_ptr<QApplication> app;
  int argc = 1;
  char name[24] = "strevana-opengl-tests";
  char* argv[2] = {name, nullptr};
};
Display* const kDisplay =
    static_cast<Display*>(::testing::AddGlobalTestEnvironment(new Display));  // gtest owns it

class OpenGlRendererTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kDisplay->app) GTEST_SKIP() << "no X display (is Xvfb installed?)";
  }
};

constexpr int32_t kW = 176, kH = 144;

// A 4:2:0 picture (Y, then U and V planes): eight 75 % colour bars over the
// top two thirds, below them a luma ramp under an opposite chroma sweep.
std::vector<uint8_t> bars() {
  static const uint8_t kBars[8][3] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44},
                                      {112, 72, 58},   {84, 184, 198}, {65, 100, 212},
                                      {35, 212, 114},  {16, 128, 128}};
  std::vector<uint8_t> p(kW * kH * 3 / 2);
  uint8_t *u = p.data() + kW * kH, *v = u + kW * kH / 4;
  for (int32_t y = 0; y < kH; ++y) {
    for (int32_t x = 0; x < kW; ++x) {
      const bool top = y < kH * 2 / 3;
      p[y * kW + x] = top ? kBars[x * 8 / kW][0] : static_cast<uint8_t>(16 + x * 219 / (kW - 1));
      const int c = (y / 2) * (kW / 2) + x / 2, sweep = 64 + x * 128 / kW;
      u[c] = top ? kBars[x * 8 / kW][1] : static_cast<uint8_t>(sweep);
      v[c] = top ? kBars[x * 8 / kW][2] : static_cast<uint8_t>(255 - sweep);
    }
  }
  return p;
}

// The bars in a renderer buffer's layout, converted where the format needs.
std::vector<uint8_t> barsIn(OutputFormat format) {
  const std::vector<uint8_t> p = bars();
  const uint8_t *y = p.data(), *u = y + kW * kH, *v = u + kW * kH / 4;
  auto converter = createYuvConverter(0);
  std::vector<uint8_t> out(static_cast<size_t>(bufferBytes(format, kW, kH)));
  switch (format) {
    case kFormatIyuv: return p;
    case kFormatYv12:
      std::copy(y, u, out.begin());
      std::copy(v, v + kW * kH / 4, out.begin() + kW * kH);
      std::copy(u, v, out.begin() + kW * kH * 5 / 4);
      return out;
    case kFormatYuy2:
      converter->toYuy2(out.data(), kW, y, kW, kH, kW, u, v, kW / 2, kH / 2, kW / 2);
      return out;
    default: {
      std::vector<uint8_t> bgr(kW * kH * 3);
      converter->toBgr24(bgr.data(), kW * 3, y, kW, kH, kW, u, v, kW / 2, kH / 2, kW / 2, 0);
      if (format == kFormatBgr24) return bgr;
      for (size_t i = 0; i < kW * kH; ++i) std::copy_n(&bgr[3 * i], 3, &out[4 * i]);
      return out;
    }
  }
}

void fill(VideoRenderer& r, const std::vector<uint8_t>& bytes) {
  uint8_t* bits = nullptr;
  int32_t size = 0, stride = 0;
  ASSERT_TRUE(r.lockBuffer(bits, size, stride));
  ASSERT_EQ(static_cast<size_t>(size), bytes.size());
  std::copy(bytes.begin(), bytes.end(), bits);
}

// The raster renderer's picture of the bars in a window of size, and the
// rectangle it drew them in.
QImage rasterPicture(OutputFormat format, QSize size, QRect& display) {
  MemoryWindowSurface surface(size.width(), size.height());
  GdiRenderer raster;
  const OutputFormat f = format == kFormatIyuv || format == kFormatYv12 ? kFormatBgr24 : format;
  EXPECT_TRUE(raster.open(&surface, 0, 0, kW, kH, f));
  fill(raster, barsIn(f));
  raster.setOutputRect(0, 0, size.width(), size.height());
  EXPECT_TRUE(raster.present());
  display =
      QRect(raster.displayX(), raster.displayY(), raster.displayWidth(), raster.displayHeight());
  return surface.snapshot();
}

// Peak signal-to-noise ratio of shown against expected inside display (dB,
// 100 when identical); pixels outside it must be exactly black.
void expectSamePicture(const QImage& expected, const QImage& shown, const QRect& display) {
  ASSERT_EQ(shown.size(), expected.size());
  double sum = 0;
  int64_t n = 0, outside = 0;
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      const QRgb p = expected.pixel(x, y), q = shown.pixel(x, y);
      const bool in = display.contains(x, y);
      outside += !in && (q & 0xffffff) != 0;
      for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
        sum += in * d * d;
      n += 3 * in;
    }
  }
  EXPECT_GE(sum == 0 ? 100 : 10 * std::log10(255.0 * 255.0 * n / sum), 40.0);
  EXPECT_EQ(outside, 0);
}

QImage grab(SurfaceWidget& window) {
  const QImage image = window.screen()->grabWindow(window.winId()).toImage();
  return image.convertToFormat(QImage::Format_RGB32);
}

// What the X server has in the window once every picture handed to its
// plane has been drawn and put on screen.
QImage grabWhenDrawn(SurfaceWidget& window) {
  auto* plane = dynamic_cast<GlVideoPlane*>(window.videoPlane());
  EXPECT_NE(plane, nullptr);
  if (plane == nullptr) return QImage();
  EXPECT_TRUE(QTest::qWaitFor([&] {
    return plane->framesShown() > 0 && plane->framesOnScreen() == plane->framesShown() &&
           plane->isVisible();
  })) << "shown "
      << plane->framesShown() << ", on screen " << plane->framesOnScreen();
  return grab(window);
}

std::unique_ptr<SurfaceWidget> shownWindow(int width, int height) {
  auto window = std::make_unique<SurfaceWidget>();
  window->setWindowFlags(Qt::FramelessWindowHint);
  window->resizeClient(width, height);
  window->show();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->windowHandle()->isExposed(); }));
  return window;
}

// Every format, enlarged into a wide window (bars left and right), a tall
// one (bars above and below) and reduced, presented from another thread as
// the playback thread does: the display rectangle is the raster renderer's,
// the picture inside it matches the raster picture, the bars stay black.
TEST_F(OpenGlRendererTest, DrawsEveryFormatAsTheRasterRendererDoes) {
  auto window = shownWindow(640, 360);
  for (OutputFormat format : {kFormatIyuv, kFormatYv12, kFormatYuy2, kFormatBgr24, kFormatBgrx32}) {
    auto renderer = createVideoRenderer(window.get(), 0, 0, kW, kH, kRendererHardware, format);
    ASSERT_NE(dynamic_cast<DirectDrawRenderer*>(renderer.get()), nullptr) << format;
    fill(*renderer, barsIn(format));
    for (QSize size : {QSize(640, 360), QSize(300, 400), QSize(120, 90)}) {
      SCOPED_TRACE(std::to_string(format) + " in " + std::to_string(size.width()) + " x " +
                   std::to_string(size.height()));
      window->resizeClient(size.width(), size.height());
      ASSERT_TRUE(QTest::qWaitFor([&] { return window->clientSize() == size; }));
      std::thread playback([&] {
        EXPECT_TRUE(renderer->setOutputRect(0, 0, size.width(), size.height()));
        EXPECT_TRUE(renderer->present());
      });
      playback.join();
      QRect display;
      const QImage expected = rasterPicture(format, size, display);
      EXPECT_EQ(QRect(renderer->displayX(), renderer->displayY(), renderer->displayWidth(),
                      renderer->displayHeight()),
                display);
      expectSamePicture(expected, grabWhenDrawn(*window), display);
    }
  }
}

// The plane shows only while it has a picture: before the first, and after
// the renderer closes, the window's own content shows; no picture is none.
TEST_F(OpenGlRendererTest, ThePlaneShowsOnlyWhileItHasAPicture) {
  auto window = shownWindow(320, 240);
  auto* plane = dynamic_cast<GlVideoPlane*>(window->videoPlane());
  ASSERT_NE(plane, nullptr);
  window->paint().image().fill(0xff2040ffu);
  window->invalidate(QRect(0, 0, 320, 240));
  const auto ownContent = [&] { return grab(*window).pixel(160, 120) == 0xff2040ffu; };
  EXPECT_TRUE(QTest::qWaitFor(ownContent));
  EXPECT_FALSE(plane->isVisible());
  EXPECT_FALSE(plane->showFrame(nullptr, QRect(0, 0, 320, 240)));
  auto renderer = createVideoRenderer(window.get(), 0, 0, kW, kH, kRendererHardware, kFormatBgrx32);
  ASSERT_NE(renderer, nullptr);
  fill(*renderer, barsIn(kFormatBgrx32));
  ASSERT_TRUE(renderer->setOutputRect(0, 0, 320, 240));
  ASSERT_TRUE(renderer->present());
  EXPECT_NE(grabWhenDrawn(*window).pixel(160, 120), 0xff2040ffu);
  renderer.reset();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !plane->isVisible() && ownContent(); }));
}

// Opens `frames` pictures of colour bars, a raw YUV file in `folder`, on the
// engine in the whole of `window`.
bool openBars(PlaybackEngine& engine, SurfaceWidget& window, const testing::ScratchFolder& folder,
              int frames) {
  const std::vector<uint8_t> p = bars();
  std::ofstream out(folder.file("bars.yuv"), std::ios::binary);
  for (int i = 0; i < frames; ++i) out.write(reinterpret_cast<const char*>(p.data()), p.size());
  out.close();
  engine.setVideoWindow(&window, 0, 0, window.clientWidth(), window.clientHeight());
  return engine.openSource(std::make_unique<YuvFileSource>(folder.file("bars.yuv").c_str(), kW, kH,
                                                           25, 1, kFormatYuy2)) == 1;
}

// Through the engine: a raw YUV file opens on the OpenGL renderer (format 5),
// keeps its picture through a resize, and into a full-screen window also
// after playing to its end.
TEST_F(OpenGlRendererTest, ResizeAndFullScreenKeepThePicture) {
  testing::ScratchFolder folder;
  auto main = shownWindow(400, 300);
  ManualMillisecondClock clock;
  PlaybackEngine engine(clock);
  ASSERT_TRUE(openBars(engine, *main, folder, 3));
  EXPECT_EQ(engine.rendererKind(), kRendererHardware);
  auto expectPicture = [&](SurfaceWidget& window, QSize size, const char* when) {
    SCOPED_TRACE(when);
    QRect display;
    const QImage expected = rasterPicture(kFormatYuy2, size, display);
    expectSamePicture(expected, grabWhenDrawn(window), display);
  };
  expectPicture(*main, QSize(400, 300), "opened");
  main->resizeClient(500, 200);
  ASSERT_TRUE(QTest::qWaitFor([&] { return main->clientWidth() == 500; }));
  engine.setVideoWindow(main.get(), 0, 0, 500, 200);
  expectPicture(*main, QSize(500, 200), "resized");
  ASSERT_EQ(engine.play(), 1);
  for (int i = 0; i < 20 && engine.tick() == 1; ++i) clock.advance(40);
  const QSize screen = main->screen()->geometry().size();
  auto full = shownWindow(screen.width(), screen.height());
  engine.setVideoWindow(full.get(), 0, 0, screen.width(), screen.height());
  EXPECT_EQ(engine.rendererKind(), kRendererHardware);
  expectPicture(*full, screen, "full screen after the end");
  engine.setVideoWindow(main.get(), 0, 0, 500, 200);  // windows outlive their renderers
}

// Without a plane (software OpenGL not asked for is no hardware; a display
// without OpenGL has none at all) the engine's raster renderer shows the
// picture.
void expectRasterFallback() {
  testing::ScratchFolder folder;
  auto window = shownWindow(352, 288);
  EXPECT_EQ(window->videoPlane(), nullptr);
  ManualMillisecondClock clock;
  PlaybackEngine engine(clock);
  ASSERT_TRUE(openBars(engine, *window, folder, 1));
  EXPECT_EQ(engine.rendererKind(), kRendererRaster);
  QRect display;
  const QImage expected = rasterPicture(kFormatYuy2, QSize(352, 288), display);
  EXPECT_TRUE(QTest::qWaitFor([&] { return grab(*window) == expected; }));
}

TEST_F(OpenGlRendererTest, SoftwareOpenGlNotAskedForLeavesTheRasterRenderer) {
  unsetenv("STREVANA_SOFTWARE_GL");
  expectRasterFallback();
  setenv("STREVANA_SOFTWARE_GL", "1", 1);
}

// Runs only in the process the next test starts, on a display without OpenGL.
TEST_F(OpenGlRendererTest, DISABLED_NoContextLeavesTheRasterRenderer) { expectRasterFallback(); }

TEST_F(OpenGlRendererTest, AContextThatCannotBeMadeFallsBackToTheRasterRenderer) {
  const std::string cmd =
      "STREVANA_TEST_WITHOUT_OPENGL=1 '" +
      std::filesystem::read_symlink("/proc/self/exe").string() +
      "' --gtest_also_run_disabled_tests"
      " --gtest_filter=OpenGlRendererTest.DISABLED_NoContextLeavesTheRasterRenderer";
  const auto [status, output] = testing::runForOutput(cmd);
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

}  // namespace
}  // namespace strevana

// Fontconfig, D-Bus (Qt's xcb platform keeps a connection) and Mesa keep
// process-lifetime allocations that are never freed; not ours, and they
// would fail every run under LeakSanitizer.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:swrast_dri.so\nleak:libLLVM\n";
}
