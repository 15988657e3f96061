// The real program, started offscreen: it plays a raw YUV file after the
// settings dialog and saves a picture of its window that shows the skin, the
// picture and a time read-out that moved on; and over three runs on one
// settings folder, the recent list and the language chosen in one run are
// what the next run starts with.
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "shell_test.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { testing::application(); }

  // Runs the player on name in the folder's settings; it plays for afterMs,
  // prints and saves a snapshot and closes as Exit would. The exit code and
  // everything printed.
  std::pair<int, QString> run(const QString& name, int afterMs,
                              const std::vector<std::pair<QString, QString>>& extra) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(folder.file("config")));
    env.insert("STREVANA_SNAPSHOT", QString::fromStdString(folder.file("window.png")));
    env.insert("STREVANA_SNAPSHOT_AFTER_MS", QString::number(afterMs));
    for (const auto& [key, value] : extra) env.insert(key, value);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QString(STREVANA_BINARY_DIR) + "/app/strevana-player",
                  name.isEmpty() ? QStringList() : QStringList{name});
    if (!process.waitForFinished(60000)) process.kill();
    process.waitForFinished(5000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
  }

  testing::ScratchFolder folder{"strevana-e2e"};
};

double litShare(const QImage& image, const QRect& area) {
  int64_t lit = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x)
      lit += qRed(image.pixel(x, y)) + qGreen(image.pixel(x, y)) + qBlue(image.pixel(x, y)) > 48;
  }
  return static_cast<double>(lit) / (area.width() * area.height());
}

TEST_F(EndToEnd, PlaysARawYuvFileAfterTheSettingsDialog) {
  const QString path = QString::fromStdString(testing::writeYuvFile("e2e.yuv", 352, 288, 100));
  const auto [exitCode, output] = run(path, 1500, {{"STREVANA_AUTO_ANSWER", "ok"}});
  ASSERT_EQ(exitCode, 0) << output.toStdString();
  const QImage p(QString::fromStdString(folder.file("window.png")));
  ASSERT_EQ(p.width(), 15 + 352 + 17) << output.toStdString();  // CIF at 100 % in the skin
  EXPECT_TRUE(output.contains("caption \"" + path + "\"")) << output.toStdString();
  EXPECT_FALSE(output.contains("time \"00:00:00:00\"")) << output.toStdString();
  EXPECT_FALSE(output.contains("strevana-player: menu"));  // only when asked for
  // The skin's bottom strip is drawn; the video area shows the medium.
  EXPECT_GT(litShare(p, QRect(0, p.height() - 70, p.width(), 60)), 0.6);
  EXPECT_GT(litShare(p, QRect(p.width() / 2 - 40, (p.height() - 72) / 2 - 20, 80, 60)), 0.9);
}

TEST_F(EndToEnd, RecentEntriesAndTheLanguageSurviveARestart) {
  const QString clip = QString(STREVANA_FIXTURE_DIR) + "/mpeg4_aac.mp4";
  ASSERT_EQ(run(clip, 300, {}).first, 0);
  // Options > Language > Deutsch; what cannot be opened is reported, not waited on.
  const auto [exitCode, output] =
      run("/nonexistent/clip.mp4", 300, {{"STREVANA_COMMANDS", "5001"}});
  ASSERT_EQ(exitCode, 0) << output.toStdString();
  EXPECT_TRUE(output.contains("Error: Cannot open /nonexistent/clip.mp4")) << output.toStdString();
  const auto [lastCode, last] = run("", 300, {{"STREVANA_PRINT_MENUS", "1"}});
  ASSERT_EQ(lastCode, 0) << last.toStdString();
  // The menus as printed: "menu <top-level/submenu>\t<id>\t<text>", separators with id 0.
  QStringList menus = last.split('\n').filter(QRegularExpression("^strevana-player: menu "));
  menus.replaceInStrings("strevana-player: menu ", "");
  EXPECT_EQ(menus.filter(QRegularExpression("^&Datei\t")),
            (QStringList{"&Datei\t32771\t\xC3\x96&ffnen",
                         "&Datei\t32780\t&URL \xC3\xB6"
                         "ffnen",
                         "&Datei\t32786\tFilm&informationen", "&Datei\t0\t",
                         "&Datei\t105\t&Beenden", "&Datei\t0\t", "&Datei\t1\t" + clip}))
      << last.toStdString();
  EXPECT_EQ(menus.filter("Sprache"),
            (QStringList{"&Optionen/Sprache\t5000\tEnglish", "&Optionen/Sprache\t5001\tDeutsch"}));
  EXPECT_TRUE(menus.filter("&File").isEmpty());
}

}  // namespace
}  // namespace strevana
