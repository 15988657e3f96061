// The real program, started offscreen on a generated MP4 file and on a raw
// YUV file: it must play, and the picture it saves of its window must show
// the skin, a picture in the video area and a time read-out that moved on.
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "shell_fixture.h"

namespace strevana {
namespace {

struct PlayerRun {
  int exitCode = -1;
  std::string output;
  QImage picture;
  std::string caption;
  std::string timeText;
};

std::string playerPath() { return std::string(STREVANA_BINARY_DIR) + "/app/strevana-player"; }

PlayerRun runPlayer(const QStringList& arguments, const QString& answer, const std::string& tag) {
  testing::application();
  PlayerRun run;
  QString snapshot = QString::fromStdString(::testing::TempDir() + "e2e-" + tag + ".png");
  QFile::remove(snapshot);
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("STREVANA_SNAPSHOT", snapshot);
  env.insert("STREVANA_SNAPSHOT_AFTER_MS", "1500");
  if (!answer.isEmpty()) env.insert("STREVANA_AUTO_ANSWER", answer);
  process.setProcessEnvironment(env);
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(QString::fromStdString(playerPath()), arguments);
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished(5000);
    return run;
  }
  run.exitCode = process.exitCode();
  run.output = process.readAll().toStdString();
  run.picture.load(snapshot);
  QRegularExpression line("caption \"([^\"]*)\" time \"([^\"]*)\"");
  QRegularExpressionMatch m = line.match(QString::fromStdString(run.output));
  if (m.hasMatch()) {
    run.caption = m.captured(1).toStdString();
    run.timeText = m.captured(2).toStdString();
  }
  return run;
}

double nonBlackShare(const QImage& image, const QRect& area) {
  QRect r = area.intersected(image.rect());
  if (r.isEmpty()) return 0.0;
  int64_t lit = 0;
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      QRgb p = image.pixel(x, y);
      if (qRed(p) + qGreen(p) + qBlue(p) > 48) ++lit;
    }
  }
  return static_cast<double>(lit) / (static_cast<double>(r.width()) * r.height());
}

void expectPlayedWindow(const PlayerRun& run, const std::string& name) {
  ASSERT_EQ(run.exitCode, 0) << run.output;
  ASSERT_FALSE(run.picture.isNull()) << run.output;
  EXPECT_EQ(run.caption, name);
  const QImage& p = run.picture;
  // The skin: the frame's bottom strip (72 pixels high) is drawn, not black.
  EXPECT_GT(nonBlackShare(p, QRect(0, p.height() - 70, p.width(), 60)), 0.6);
  // The video area around the middle of the picture shows the medium.
  QRect middle(p.width() / 2 - 40, (p.height() - 72) / 2 - 20, 80, 60);
  EXPECT_GT(nonBlackShare(p, middle), 0.9);
  // The time read-out moved on from zero.
  EXPECT_FALSE(run.timeText.empty()) << run.output;
  EXPECT_NE(run.timeText, "00:00:00:00");
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFileInfo::exists(QString::fromStdString(playerPath()))) {
      GTEST_SKIP() << "the player is not built: " << playerPath();
    }
  }
};

TEST_F(EndToEnd, PlaysTheGeneratedMp4) {
  std::string clip = testing::fixture("demo.mp4");
  PlayerRun run = runPlayer({QString::fromStdString(clip)}, QString(), "mp4");
  expectPlayedWindow(run, clip);
  // 320 x 240 video at 100 % inside the skin's frame.
  EXPECT_EQ(run.picture.width(), 15 + 320 + 17);
}

TEST_F(EndToEnd, PlaysARawYuvFileAfterTheSettingsDialog) {
  std::string path = testing::writeYuvFile("e2e.yuv", 352, 288, 100);
  PlayerRun run = runPlayer({QString::fromStdString(path)}, "ok", "yuv");
  expectPlayedWindow(run, path);
  EXPECT_EQ(run.picture.width(), 15 + 352 + 17);
}

TEST_F(EndToEnd, ReportsWhatItCannotOpenAndStillRuns) {
  PlayerRun run = runPlayer({"/nonexistent/clip.mp4"}, QString(), "missing");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Error: Cannot open /nonexistent/clip.mp4"), std::string::npos)
      << run.output;
  EXPECT_EQ(run.caption, "strevana Player");
  EXPECT_FALSE(run.picture.isNull());
}

}  // namespace
}  // namespace strevana
