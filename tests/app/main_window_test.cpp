// The whole shell offscreen: start-up and command line, the menu commands,
// full screen and keys, the movie information window and language switching.
#include "app/main_window.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenuBar>
#include <gtest/gtest.h>

#include <filesystem>

#include "app/language.h"
#include "app/movie_info_window.h"
#include "shell_test.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

using testing::fixture;
using testing::settingString;

constexpr uint32_t kPostfilterIds[] = {kCmdNoPostfilter, kCmdDeblocking, kCmdDeringing,
                                       kCmdDeblockingDeringing, kCmdAutomaticPostfilter};

class MainWindowTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    languageFolder = folder.path();
  }
  static std::vector<uint32_t> checkedPostfilters() {
    std::vector<uint32_t> on;
    for (uint32_t id : kPostfilterIds)
      if (bar().isChecked(id)) on.push_back(id);
    return on;
  }
  static int32_t engine(int32_t (PlaybackEngine::*get)() const) {
    return withEngine([get](PlaybackEngine& e) { return (e.*get)(); });
  }
  static void key(AppWindow* window, Qt::Key k, const char* text = "", bool repeat = false) {
    QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, QString::fromLatin1(text), repeat);
    QCoreApplication::sendEvent(window->surface(), &press);
    settle();
  }
  static int32_t position() { return engine(&PlaybackEngine::positionMs); }
  static void tick() { app().mainWindow->send(kWmTimer, kMainTimerId); }
  testing::ScratchFolder folder;
};

TEST_F(MainWindowTest, StartWithoutCommandLineShowsTheRefreshedMenus) {
  start("");
  AppWindow* main = app().mainWindow.get();
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(main->isVisible() && main->timerActive(kMainTimerId) &&
              main->surface()->acceptDrops() && !app().fullScreenWindow->isVisible());
  EXPECT_EQ(main->caption(), "strevana Player");
  // The hidden entries are gone, the defaults carry their check marks; without
  // a language module there is no Language submenu, and nothing is stored.
  for (uint32_t gone : {kCmdSaveStream, kCmdLoadBackground, kCmdLanguageBase})
    EXPECT_EQ(bar().findItem(gone), nullptr) << gone;
  EXPECT_TRUE(bar().isChecked(kCmdDirectX) && !bar().isChecked(kCmdRepeat) &&
              !bar().isChecked(kCmdFullscreen));
  EXPECT_EQ(checkedPostfilters(), std::vector<uint32_t>{kCmdAutomaticPostfilter});
  EXPECT_FALSE(settingString("Language"));
  const Menu* offered = nullptr;  // a right click offers the popup's first submenu
  app().hooks.popupMenu = [&offered](const Menu& m) { return offered = &m, 0; };
  main->send(kWmRButtonUp, 0, makeMouseLParam(10, 10));
  ASSERT_NE(app().popupMenu, nullptr);
  EXPECT_EQ(offered, app().popupMenu->subMenu(0));
}

TEST_F(MainWindowTest, CommandLineOptionsReachTheEngineMenusAndWindow) {
  const std::string demo = fixture("demo.mp4");
  const std::string yuv = testing::writeYuvFile("cmd.yuv", 176, 144, 10);
  // clang-format off
  const struct { std::string line; int32_t postfilter; uint32_t checked; int32_t directDraw; bool full; int32_t width, height; std::string caption; } cases[] = {
      {"-postfilter 2 -directx 0", 2, kCmdDeringing, 0, false, 0, 0, "strevana Player"},
      {"-zoom 50 " + demo, 4, kCmdAutomaticPostfilter, 1, false, 350, 13 + 120 + 72, demo},  // 350 at least
      {"-zoom " + demo, 4, kCmdAutomaticPostfilter, 1, true, 0, 0, "strevana Player"},  // the name was the zoom: 0
      {yuv, 4, kCmdAutomaticPostfilter, 1, false, 350, 13 + 144 + 72, yuv},
  };
  // clang-format on
  answerDialog = [](Dialog& d) {
    d.click(1001);  // QCIF
    d.click(kIdOk);
  };
  for (const auto& c : cases) {
    start(c.line);
    SCOPED_TRACE(c.line);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(checkedPostfilters(), std::vector<uint32_t>{c.checked});
    EXPECT_EQ(bar().isChecked(kCmdDirectX), c.directDraw == 1);
    EXPECT_EQ(engine(&PlaybackEngine::useDirectDraw), c.directDraw);
    EXPECT_EQ(engine(&PlaybackEngine::postfilter), c.postfilter);
    EXPECT_EQ(controller().isFullScreen(), c.full);
    EXPECT_EQ(bar().isChecked(kCmdFullscreen), c.full);
    EXPECT_EQ(app().mainWindow->caption(), c.caption);
    EXPECT_EQ(c.width ? clientSize() : QSize(0, 0), QSize(c.width, c.height));
  }
  EXPECT_EQ(dialogCaptions, std::vector<std::string>{"YUV Settings"});
}

TEST_F(MainWindowTest, EveryCommandReachesItsAction) {
  start("");
  command(kCmdOpen);
  ASSERT_EQ(openRequests.size(), 1u);
  EXPECT_EQ(
      openRequests[0].filters.at(0).patterns + "|" + std::to_string(openRequests[0].forSaving),
      "*.mp4;*.sdp;*.yuv;*.3gp|0");
  for (int32_t on : {1, 0}) {
    command(kCmdRepeat);
    command(kCmdDirectX);
    EXPECT_EQ(engine(&PlaybackEngine::repeat) * 10 + engine(&PlaybackEngine::useDirectDraw),
              on * 10 + 1 - on);
    EXPECT_EQ(bar().isChecked(kCmdRepeat) * 10 + bar().isChecked(kCmdDirectX), on * 10 + 1 - on);
  }
  for (int32_t mode = 0; mode <= 4; ++mode) {
    EXPECT_EQ(command(kPostfilterIds[mode]), 0);
    EXPECT_EQ(engine(&PlaybackEngine::postfilter), mode);
    EXPECT_EQ(checkedPostfilters(), std::vector<uint32_t>{kPostfilterIds[mode]});
  }
  EXPECT_NE(command(4242), 0);  // unknown ids go to the default handling
  EXPECT_EQ(command(kCmdExit), 0);
  EXPECT_TRUE(app().quitPosted && app().quitCode == 0 && app().mainWindow->destroyed());
  EXPECT_EQ(app().controller, nullptr);
}

TEST_F(MainWindowTest, FullScreenKeysAndClicksInBothWindows) {
  // clang-format off
  const std::tuple<Qt::Key, const char*, bool> kSteps[] = {
      {Qt::Key_Space, " ", false}, {Qt::Key_Space, " ", true}, {Qt::Key_Home, "", false}, {Qt::Key_Right, "", false},
      {Qt::Key_Right, "", true}, {Qt::Key_Right, "", true}, {Qt::Key_Left, "", true}, {Qt::Key_End, "", false},
      {Qt::Key_Home, "", true}, {Qt::Key_Home, "", false}, {Qt::Key_Space, " ", false}};
  // clang-format on
  start(fixture("demo.mp4"));
  app().mainWindow->stopTimer(kMainTimerId);  // timer ticks come from the test alone
  AppWindow* main = app().mainWindow.get();
  AppWindow* full = app().fullScreenWindow.get();
  for (AppWindow* window : {main, full}) {
    key(main, Qt::Key_Escape);  // nothing to leave in the main window
    if (window == full) key(main, Qt::Key_F, "f");
    const bool inFull = window == full;
    EXPECT_TRUE(controller().isFullScreen() == inFull && full->isVisible() == inFull &&
                main->isVisible() != inFull &&
                app().popupMenu->subMenu(0)->isChecked(kCmdFullscreen) == inFull);
    EXPECT_EQ(withEngine([](PlaybackEngine& e) { return e.targetWindow(); }), window->surface());
    std::vector<int32_t> seen;
    for (auto [k, text, repeat] : kSteps) {
      key(window, k, text, repeat);
      seen.push_back(controller().playing() ? -1 : position() >= 9960 ? 9960 : position());
    }
    // Space held does not flicker; the steps repeat, Home and End do not.
    EXPECT_EQ(seen,
              (std::vector<int32_t>{seen[0], seen[0], 0, 40, 80, 120, 80, 9960, 9960, 0, -1}));
    EXPECT_NE(seen[0], -1);
  }
  key(full, Qt::Key_Escape);
  EXPECT_FALSE(controller().isFullScreen() || full->isVisible() || bar().isChecked(kCmdFullscreen));
  // 200 % chosen from the full-screen popup leaves and zooms.
  key(main, Qt::Key_F, "f");
  app().hooks.popupMenu = [](const Menu&) { return static_cast<int32_t>(kCmdZoom200); };
  full->send(kWmRButtonUp, 0, makeMouseLParam(100, 100));
  settle();
  EXPECT_FALSE(controller().isFullScreen());
  EXPECT_EQ(clientSize(), QSize(15 + 17 + 640, 13 + 72 + 480));
}

TEST_F(MainWindowTest, MovieInfoWindowAndLanguageSwitchAtRunTime) {
  std::filesystem::copy_file(
      std::filesystem::path(STREVANA_TEST_DATA_DIR "/../../resources/lang/strevanaPlayer_de.lang")
          .lexically_normal(),
      folder.file("strevanaPlayer_de.lang"));
  start("");
  refreshMovieInfo();  // closed: nothing happens
  command(kCmdMovieInfo);
  MovieInfoWindowState* state = app().movieInfo.get();
  AppWindow* window = app().infoWindow.get();
  ASSERT_TRUE(state && window && window->isVisible());
  EXPECT_EQ(window->caption() + "|" + state->info.source, "Movie Info|-");
  command(kCmdMovieInfo);  // a second one does nothing
  EXPECT_EQ(app().infoWindow.get(), window);
  const std::string clip = fixture("demo.mp4");
  openLocalFile(app().mainWindow.get(), clip);
  EXPECT_EQ(state->info.videoSize, "320x240 pixel");
  EXPECT_NE(state->lastLayout.find("Created with:"), nullptr);
  // The timer refreshes every 1100 ms; a failed open refreshes too.
  state->info.videoSize = "stale";
  app().infoRefreshMs = 0;
  for (int i = 0; i < 10; ++i) tick();
  EXPECT_EQ(state->info.videoSize, "stale");
  tick();
  EXPECT_EQ(state->info.videoSize, "320x240 pixel");
  openLocalFile(app().mainWindow.get(), "/nonexistent/x.mp4");
  EXPECT_EQ(state->info.videoSize, "-");
  openLocalFile(app().mainWindow.get(), clip);
  command(kCmdLanguageBase + 1);  // Deutsch
  EXPECT_EQ(app().languages.current, 1);
  EXPECT_EQ(settingString("Language"), "strevanaPlayer_de.lang");
  EXPECT_EQ(app().mainWindow->menuBar()->actions().at(0)->text(), "&Datei");
  const Menu* options = bar().subMenu(2);  // Language is the last entry
  const Menu* languages = options->subMenu(options->itemCount() - 1);
  EXPECT_EQ(options->item(options->itemCount() - 1).text, "Sprache");
  EXPECT_TRUE(languages->item(1).checked && !languages->item(0).checked);
  EXPECT_EQ(bar().findItem(kCmdSaveStream), nullptr);  // still taken out
  EXPECT_EQ(app().popupMenu->item(0).text, "Ansicht");
  EXPECT_EQ(app().accelerators, currentResources().findAccelerators(109));
  EXPECT_NE(app().qtTranslator, nullptr) << "Qt's German catalogue is missing";
  EXPECT_EQ(app().infoWindow->caption(), "Filminformationen");
  EXPECT_NE(state->lastLayout.find("Erstellt mit:"), nullptr);
  EXPECT_EQ(state->info.videoSize + "|" + state->info.sampleDepth, "320x240 Pixel|16 Bit");
  boxes.clear();
  openLocalFile(app().mainWindow.get(), "/nonexistent/x.mp4");
  EXPECT_EQ(boxes.at(0).text + "|" + boxes[0].caption,
            "Kann nicht \xC3\xB6"
            "ffnen: /nonexistent/x.mp4|Fehler");
  // A module gone before it is chosen falls back to the program.
  std::filesystem::remove(folder.file("strevanaPlayer_de.lang"));
  command(kCmdLanguageBase + 1);
  EXPECT_EQ(app().languages.current, 0);
  EXPECT_EQ(bar().item(0).text, "&File");
  EXPECT_EQ(settingString("Language"), "application");
  // Closing drops the model; the next "Movie Info" makes a new window.
  window->close();
  settle();
  EXPECT_EQ(app().movieInfo, nullptr);
  command(kCmdMovieInfo);
  ASSERT_NE(app().movieInfo, nullptr);
  EXPECT_TRUE(app().infoWindow->isVisible());
}

}  // namespace
}  // namespace strevana
