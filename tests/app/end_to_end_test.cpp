// The real program, started offscreen: it plays a raw YUV file after the
// settings dialog and saves a picture of its window that shows the skin, the
// picture and a time read-out that moved on; and over three runs on one
// settings folder, the recent list and the language chosen in one run are
// what the next run starts with.
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "shell_test.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

struct PlayerRun {
  int exitCode = -1;
  std::string output;
  QImage picture;
  std::string caption;
  std::string timeText;
};

const std::string kPlayer = std::string(STREVANA_BINARY_DIR) + "/app/strevana-player";

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::application();
    if (!QFileInfo::exists(QString::fromStdString(kPlayer)))
      GTEST_SKIP() << "the player is not built";
    ASSERT_FALSE(folder.path().empty());
  }

  // Runs the player on name (may be empty) in the folder's settings; it plays
  // for afterMs, saves a snapshot and closes as Exit would.
  PlayerRun run(const std::string& name, int afterMs,
                const std::vector<std::pair<QString, QString>>& extra) {
    PlayerRun result;
    const QString snapshot = QString::fromStdString(folder.file("window.png"));
    QFile::remove(snapshot);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(folder.file("config")));
    env.insert("STREVANA_SNAPSHOT", snapshot);
    env.insert("STREVANA_SNAPSHOT_AFTER_MS", QString::number(afterMs));
    for (const auto& [key, value] : extra) env.insert(key, value);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QString::fromStdString(kPlayer),
                  name.empty() ? QStringList() : QStringList{QString::fromStdString(name)});
    if (!process.waitForFinished(60000)) {
      process.kill();
      process.waitForFinished(5000);
      return result;
    }
    result.exitCode = process.exitCode();
    result.output = process.readAll().toStdString();
    result.picture.load(snapshot);
    QRegularExpressionMatch m = QRegularExpression("caption \"([^\"]*)\" time \"([^\"]*)\"")
                                    .match(QString::fromStdString(result.output));
    if (m.hasMatch()) {
      result.caption = m.captured(1).toStdString();
      result.timeText = m.captured(2).toStdString();
    }
    return result;
  }

  testing::ScratchFolder folder{"strevana-e2e"};
};

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

TEST_F(EndToEnd, PlaysARawYuvFileAfterTheSettingsDialog) {
  const std::string path = testing::writeYuvFile("e2e.yuv", 352, 288, 100);
  PlayerRun r = run(path, 1500, {{"STREVANA_AUTO_ANSWER", "ok"}});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  ASSERT_FALSE(r.picture.isNull()) << r.output;
  EXPECT_EQ(r.caption, path);
  const QImage& p = r.picture;
  EXPECT_EQ(p.width(), 15 + 352 + 17);  // CIF at 100 % inside the skin's frame
  // The skin: the frame's bottom strip (72 pixels high) is drawn, not black.
  EXPECT_GT(nonBlackShare(p, QRect(0, p.height() - 70, p.width(), 60)), 0.6);
  // The video area around the middle of the picture shows the medium.
  EXPECT_GT(nonBlackShare(p, QRect(p.width() / 2 - 40, (p.height() - 72) / 2 - 20, 80, 60)), 0.9);
  EXPECT_FALSE(r.timeText.empty()) << r.output;
  EXPECT_NE(r.timeText, "00:00:00:00");
}

// The entries printed under one top-level menu: (id, text).
std::vector<std::pair<int, std::string>> printedMenu(const PlayerRun& r, const std::string& title) {
  std::vector<std::pair<int, std::string>> items;
  const QRegularExpression line("^strevana-player: menu " +
                                QRegularExpression::escape(QString::fromStdString(title)) +
                                "\t(\\d+)\t(.*)$");
  for (const QString& text : QString::fromStdString(r.output).split('\n')) {
    QRegularExpressionMatch m = line.match(text);
    if (m.hasMatch()) items.emplace_back(m.captured(1).toInt(), m.captured(2).toStdString());
  }
  return items;
}

TEST_F(EndToEnd, RecentEntriesAndTheLanguageSurviveARestart) {
  const std::string clip = testing::fixture("mpeg4_aac.mp4");
  PlayerRun one = run(clip, 300, {});
  ASSERT_EQ(one.exitCode, 0) << one.output;
  // Options > Language > Deutsch; what cannot be opened is reported, not waited on.
  PlayerRun two = run("/nonexistent/clip.mp4", 300, {{"STREVANA_COMMANDS", "5001"}});
  ASSERT_EQ(two.exitCode, 0) << two.output;
  EXPECT_NE(two.output.find("Error: Cannot open /nonexistent/clip.mp4"), std::string::npos)
      << two.output;

  PlayerRun three = run("", 300, {{"STREVANA_PRINT_MENUS", "1"}});
  ASSERT_EQ(three.exitCode, 0) << three.output;
  EXPECT_EQ(three.caption, "strevana Player");
  auto file = printedMenu(three, "&Datei");
  ASSERT_GE(file.size(), 3u) << "menus are not German:\n" << three.output;
  EXPECT_EQ(file.front().second, "\xC3\x96&ffnen");
  EXPECT_EQ(file.back(), std::make_pair(1, clip));
  EXPECT_EQ(file[file.size() - 2].first, 0) << "a separator in front of the list";
  EXPECT_EQ(printedMenu(three, "&Optionen/Sprache"),
            (std::vector<std::pair<int, std::string>>{{5000, "English"}, {5001, "Deutsch"}}));
  EXPECT_TRUE(printedMenu(three, "&File").empty());
}

}  // namespace
}  // namespace strevana
