// The real program on a real X server (Xvfb) under a real window manager
// (openbox), worked with real input (xdotool through XTest): a double click
// on the video enters full screen, two clicks there pause and resume, Escape
// leaves. Afterwards the main window stands where it stood, and the screen
// shows the play button's "on" picture. The test starts its own X server and
// window manager and ends both by their process ids; it is skipped only when
// they cannot start.
#include <QImage>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "opengl/xvfb_server.h"
#include "playback/panel/skin_resources.h"
#include "streaming/stream_test_support.h"

namespace strevana {
namespace {

using testing::ChildProcess;
using testing::TempFolder;
using testing::waitFor;

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int kPlayNormal = 132;  // skin picture ids of the play button
constexpr int kPlayOn = 141;

struct Command {
  bool ok = false;
  std::string output;
};

// Runs a command line on display, its output read whole.
Command run(const std::string& display, const std::string& line) {
  Command result;
  const std::string full = "DISPLAY=" + display + " " + line + " 2>/dev/null";
  FILE* pipe = popen(full.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  result.ok = pclose(pipe) == 0;
  return result;
}

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};

std::optional<Geometry> geometryOf(const std::string& display, const std::string& window) {
  const Command c = run(display, "xdotool getwindowgeometry " + window);
  std::smatch m;
  if (!c.ok ||
      !std::regex_search(c.output, m,
                         std::regex("Position: (-?\\d+),(-?\\d+).*\\n.*Geometry: (\\d+)x(\\d+)"))) {
    return std::nullopt;
  }
  return Geometry{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])};
}

// The first visible window whose title matches pattern, "" when none.
std::string visibleWindow(const std::string& display, const std::string& pattern) {
  const Command c = run(display, "xdotool search --onlyvisible --name '" + pattern + "'");
  if (!c.ok) return {};
  return c.output.substr(0, c.output.find('\n'));
}

// The whole screen from xwd (TrueColor, pixels of 24 or 32 bits).
QImage grabScreen(const std::string& display) {
  const Command c = run(display, "xwd -root -silent");
  const std::string& d = c.output;
  if (!c.ok || d.size() < 100) return {};
  const auto field = [&d](int index) {
    const auto* p = reinterpret_cast<const unsigned char*>(d.data()) + 4 * index;
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
  };
  const uint32_t headerSize = field(0), width = field(4), height = field(5), byteOrder = field(7),
                 bitsPerPixel = field(11), bytesPerLine = field(12), colours = field(19);
  const size_t start = headerSize + static_cast<size_t>(colours) * 12;
  const uint32_t pixelBytes = bitsPerPixel / 8;
  if ((pixelBytes != 3 && pixelBytes != 4) || bytesPerLine < width * pixelBytes ||
      d.size() < start + static_cast<size_t>(bytesPerLine) * height)
    return {};
  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
  for (uint32_t y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const unsigned char*>(d.data()) + start +
                      static_cast<size_t>(y) * bytesPerLine;
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
    for (uint32_t x = 0; x < width; ++x) {
      const unsigned char* p = row + pixelBytes * x;
      // Least significant byte first: blue, green, red.
      const uint32_t v = byteOrder == 0 ? (p[0] | p[1] << 8 | p[2] << 16)
                                        : (pixelBytes == 4 ? (p[1] << 16 | p[2] << 8 | p[3])
                                                           : (p[0] << 16 | p[1] << 8 | p[2]));
      out[x] = qRgb((v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff);
    }
  }
  return image;
}

// Whether picture appears pixel for pixel somewhere inside area of screen.
bool shows(const QImage& screen, const QRect& area, const QImage& picture) {
  const QRect r = area.intersected(screen.rect());
  for (int y = r.top(); y + picture.height() <= r.bottom() + 1; ++y) {
    for (int x = r.left(); x + picture.width() <= r.right() + 1; ++x) {
      bool same = true;
      for (int py = 0; same && py < picture.height(); ++py) {
        const auto* s = reinterpret_cast<const QRgb*>(screen.constScanLine(y + py)) + x;
        const auto* p = reinterpret_cast<const QRgb*>(picture.constScanLine(py));
        for (int px = 0; px < picture.width(); ++px) {
          if ((s[px] & 0xffffff) != (p[px] & 0xffffff)) {
            same = false;
            break;
          }
        }
      }
      if (same) return true;
    }
  }
  return false;
}

TEST(DesktopEndToEnd, FullScreenByClicksUnderAWindowManager) {
  TempFolder folder;
  testing::XvfbServer xvfb;
  if (!xvfb.start(kScreenWidth, kScreenHeight))
    GTEST_SKIP() << "Xvfb could not start: " << xvfb.error();
  const std::string display = xvfb.display();
  ChildProcess openbox({"env", "DISPLAY=" + display, "openbox", "--sm-disable"},
                       folder.file("openbox.log"));
  // A window manager announces itself with the desktops it manages.
  if (!openbox.started() ||
      !waitFor([&] { return run(display, "xdotool get_num_desktops").ok; }, 10000)) {
    GTEST_SKIP() << "openbox could not start: " << openbox.output();
  }

  // Repeat on, so that the clip cannot end while the test works.
  ChildProcess player({"env", "DISPLAY=" + display, "QT_QPA_PLATFORM=xcb",
                       "XDG_CONFIG_HOME=" + folder.file("config"), "STREVANA_COMMANDS=32772",
                       std::string(STREVANA_BINARY_DIR) + "/app/strevana-player",
                       std::string(STREVANA_FIXTURE_DIR) + "/demo.mp4"},
                      folder.file("player.log"));
  ASSERT_TRUE(player.started());
  std::string main;
  ASSERT_TRUE(
      waitFor([&] { return !(main = visibleWindow(display, "demo\\.mp4$")).empty(); }, 20000))
      << player.output();
  ASSERT_TRUE(run(display, "xdotool windowmove --sync " + main + " 130 90").ok);
  std::optional<Geometry> before;
  ASSERT_TRUE(
      waitFor([&] { return (before = geometryOf(display, main)) && before->x != 0; }, 5000));

  // A double click on the video (above the panel's 72 pixels) enters full screen.
  const std::string onVideo =
      std::to_string(before->width / 2) + " " + std::to_string(before->height / 3);
  ASSERT_TRUE(run(display, "xdotool mousemove --window " + main + " " + onVideo +
                               " click --repeat 2 --delay 60 1")
                  .ok);
  std::string full;
  ASSERT_TRUE(
      waitFor([&] { return !(full = visibleWindow(display, "^strevana Player$")).empty(); }, 5000))
      << "no full-screen window: " << player.output();
  // Pause, then resume, by single clicks (apart by more than a double click).
  for (int i = 0; i < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ASSERT_TRUE(run(display, "xdotool mousemove 500 400 click 1").ok);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  ASSERT_TRUE(run(display, "xdotool windowactivate --sync " + full + " key Escape").ok);
  ASSERT_TRUE(waitFor([&] { return visibleWindow(display, "^strevana Player$").empty(); }, 5000));
  ASSERT_TRUE(waitFor([&] { return !visibleWindow(display, "demo\\.mp4$").empty(); }, 5000));

  // Back where it stood.
  std::optional<Geometry> after;
  ASSERT_TRUE(waitFor([&] { return (after = geometryOf(display, main)).has_value(); }, 5000));
  EXPECT_EQ(after->x, before->x);
  EXPECT_EQ(after->y, before->y);

  // The pointer rests on the video; the screen shows the play button on.
  ASSERT_TRUE(run(display, "xdotool mousemove --window " + main + " " + onVideo).ok);
  const std::unique_ptr<SkinBitmap> on = loadSkinBitmap(kPlayOn);
  const std::unique_ptr<SkinBitmap> normal = loadSkinBitmap(kPlayNormal);
  ASSERT_TRUE(on && normal && !on->isNull());
  // Searched on the whole screen: the full-screen window is gone, and where
  // the window manager reports a window and where it draws it differ by the
  // frame.
  const QRect window(0, 0, kScreenWidth, kScreenHeight);
  QImage screen;
  const bool buttonOn = waitFor(
      [&] {
        screen = grabScreen(display);
        return !screen.isNull() && shows(screen, window, on->image());
      },
      5000);
  EXPECT_TRUE(buttonOn) << "the play button does not show its \"on\" picture";
  if (!buttonOn && !screen.isNull())
    screen.save(QString::fromStdString(::testing::TempDir() + "desktop-e2e.png"));
  EXPECT_FALSE(shows(screen, window, normal->image()));
  player.stop();
  openbox.stop();
}

}  // namespace
}  // namespace strevana
