#include "playback/player_snapshot.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "playback/panel/draw_context.h"
#include "playback/panel/skin_resources.h"
#include "gui_application.h"
#include "playback_fakes.h"

namespace strevana {
namespace {

using testing::TempDir;
using testing::writeYuv420File;
using testing::yuvGrey;

using testing::ensureGuiApplication;
using testing::expectPanel;

const std::string kDemo = std::string(STREVANA_FIXTURE_DIR) + "/demo.mp4";
const std::string kTool = std::string(STREVANA_BINARY_DIR) + "/tools/snapshot/strevana-snapshot";

uint32_t rgbOf(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xffffff; }
int greyOf(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xff; }

TEST(PlayerSnapshotTest, RawYuvWindowShowsPanelTimeLetterboxedPictureAndZoom) {
  ensureGuiApplication();
  TempDir dir;
  SnapshotOptions o;
  o.file = writeYuv420File(dir.path() / "clip.yuv", 176, 144, 25);
  o.yuvWidth = 176;
  o.yuvHeight = 144;
  o.atMs = 400;
  const SnapshotResult r = renderPlayerSnapshot(o);
  ASSERT_FALSE(r.image.isNull()) << r.error;
  // Zoom 100: the 176-pixel picture needs the 350-pixel minimum width.
  expectPanel(r.image, 350, 13 + 144 + 72);
  // Video area 318 x 144 at (15, 13): the picture fills its height, centred
  // between black bars.
  EXPECT_NEAR(greyOf(r.image, 15 + 71, 13), yuvGrey(10), 3);
  EXPECT_NEAR(greyOf(r.image, 15 + 71 + 175, 13 + 143), yuvGrey(10), 3);
  EXPECT_EQ(rgbOf(r.image, 15 + 70, 80), 0u);
  EXPECT_EQ(rgbOf(r.image, 15 + 71 + 176, 80), 0u);
  // Slider knob at 400 / 1000 of the 228 pixels it can travel.
  const QImage knob = loadSkinBitmap(169)->image();
  EXPECT_EQ(r.image.pixel(19 + 91 + 8, 169 + 4), knob.pixel(8, 4));

  o.frameOnly = true;
  const SnapshotResult frame = renderPlayerSnapshot(o);
  ASSERT_FALSE(frame.image.isNull()) << frame.error;
  EXPECT_EQ(frame.image.size(), QSize(176, 144));
  EXPECT_NEAR(greyOf(frame.image, 0, 0), yuvGrey(10), 3);

  // Zoom resizes the window around the scaled picture.
  o.frameOnly = false;
  o.atMs = 80;
  o.zoomPercent = 200;
  const SnapshotResult zoomed = renderPlayerSnapshot(o);
  ASSERT_FALSE(zoomed.image.isNull()) << zoomed.error;
  expectPanel(zoomed.image, 32 + 352, 85 + 288);
  EXPECT_NEAR(greyOf(zoomed.image, 15, 13), yuvGrey(2), 3);
  EXPECT_NEAR(greyOf(zoomed.image, 15 + 351, 13 + 287), yuvGrey(2), 3);
}

TEST(PlayerSnapshotTest, Mp4WindowShowsThePictureAndTheTime) {
  if (!std::filesystem::exists(kDemo)) GTEST_SKIP() << "fixture missing: " << kDemo;
  ensureGuiApplication();
  SnapshotOptions o;
  o.file = kDemo;
  o.atMs = 2000;
  const SnapshotResult window = renderPlayerSnapshot(o);
  ASSERT_FALSE(window.image.isNull()) << window.error;
  expectPanel(window.image, 32 + 320, 85 + 240);
  o.frameOnly = true;
  const SnapshotResult frame = renderPlayerSnapshot(o);
  ASSERT_FALSE(frame.image.isNull()) << frame.error;
  ASSERT_EQ(frame.image.size(), QSize(320, 240));
  // The 320 x 240 video area shows the picture unscaled.
  int colourful = 0;
  for (int y = 0; y < 240; y += 16) {
    for (int x = 0; x < 320; x += 16) {
      EXPECT_EQ(window.image.pixel(15 + x, 13 + y), frame.image.pixel(x, y)) << x << "," << y;
      const QColor c = frame.image.pixelColor(x, y);
      colourful += c.saturation() > 100;
    }
  }
  EXPECT_GT(colourful, 50);  // the test pattern, not black

  // At 50 % the 160 x 120 picture sits between black bars in the 318-wide area.
  o.frameOnly = false;
  o.zoomPercent = 50;
  const SnapshotResult half = renderPlayerSnapshot(o);
  ASSERT_FALSE(half.image.isNull()) << half.error;
  expectPanel(half.image, 350, 85 + 120);
  const int left = 15 + (318 - 160) / 2;
  for (int y = 13; y < 13 + 120; y += 10) {
    EXPECT_EQ(rgbOf(half.image, left - 1, y), 0u) << y;
    EXPECT_EQ(rgbOf(half.image, left + 160, y), 0u) << y;
  }
  // (How the picture is scaled is the scaler's own test.)
}

TEST(PlayerSnapshotTest, FrameOfAnAudioOnlyFileOutlivesTheRenderer) {
  const std::string file = std::string(STREVANA_FIXTURE_DIR) + "/aac_only.mp4";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "fixture missing: " << file;
  ensureGuiApplication();
  SnapshotOptions o;
  o.file = file;
  o.atMs = 500;
  o.frameOnly = true;
  // The renderer holding the still picture is gone when the result is read:
  // the image must own its pixels (AddressSanitizer reports a shared buffer).
  const SnapshotResult a = renderPlayerSnapshot(o);
  ASSERT_FALSE(a.image.isNull()) << a.error;
  const SnapshotResult b = renderPlayerSnapshot(o);
  ASSERT_FALSE(b.image.isNull()) << b.error;
  EXPECT_EQ(a.image, b.image);
}

TEST(PlayerSnapshotTest, UnopenableFileIsReported) {
  ensureGuiApplication();
  SnapshotOptions o;
  o.file = "/nonexistent/clip.mp4";
  const SnapshotResult r = renderPlayerSnapshot(o);
  EXPECT_TRUE(r.image.isNull());
  EXPECT_EQ(r.error, "Cannot open /nonexistent/clip.mp4");
}

// The command line itself, when it has been built.
class SnapshotToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kTool)) GTEST_SKIP() << "tool not built: " << kTool;
  }
  int run(const std::string& args) {
    const std::string cmd = "QT_QPA_PLATFORM=offscreen '" + kTool + "' " + args + " 2>/dev/null";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  TempDir dir;
};

TEST_F(SnapshotToolTest, WritesAPngOfTheWindow) {
  const std::string yuv = writeYuv420File(dir.path() / "clip.yuv", 176, 144, 25);
  const std::string out = (dir.path() / "yuv.png").string();
  ASSERT_EQ(run("'" + yuv + "' --at 200 -o '" + out + "' --size 176x144 --rate 25 --layout 420"),
            0);
  QImage img(QString::fromStdString(out));
  ASSERT_FALSE(img.isNull());
  expectPanel(img.convertToFormat(QImage::Format_RGB32), 350, 229);
  EXPECT_NEAR(greyOf(img, 175, 80), yuvGrey(5), 3);
}

TEST_F(SnapshotToolTest, RejectsBadArgumentsAndUnopenableFiles) {
  const std::string out = (dir.path() / "x.png").string();
  EXPECT_EQ(run("--at 0 -o '" + out + "'"), 2);                     // no file
  EXPECT_EQ(run("a.yuv --at soon -o '" + out + "'"), 2);            // not a number
  EXPECT_EQ(run("a.yuv --at 0 -o '" + out + "' --size 176"), 2);    // no height
  EXPECT_EQ(run("a.yuv --at 0 -o '" + out + "' --layout 444"), 2);  // unknown layout
  EXPECT_EQ(run("/nonexistent/a.mp4 --at 0 -o '" + out + "'"), 1);
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace
}  // namespace strevana
