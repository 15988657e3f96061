// strevana-player [-zoom N] [-postfilter N] [-directx N] [FILE|URL]
//
// Environment for headless runs and end-to-end tests (not shown to users):
//   STREVANA_SNAPSHOT=PATH      after a while, save what the player's window
//                               shows as a PNG, print one line describing it
//                               (size, caption, time text) and close the
//                               player as Exit would.
//   STREVANA_SNAPSHOT_AFTER_MS  how long to play first (default 3000).
//   STREVANA_AUTO_ANSWER=ok|cancel
//                               answer every dialog with OK or Cancel at once,
//                               and print message boxes instead of waiting.
// With STREVANA_SNAPSHOT set, message boxes are printed too, so a headless
// run never waits for a person.
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_globals.h"
#include "app/command_line.h"
#include "app/startup.h"
#include "platform/dialog.h"

namespace {

using namespace strevana;

std::string environment(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

void printMessageBoxes(UiHooks& hooks) {
  hooks.messageBox = [](const MessageBoxRequest& r) {
    std::fprintf(stderr, "strevana-player: %s: %s\n", r.caption.c_str(), r.text.c_str());
    return kMbResultOk;
  };
}

void takeSnapshot(const std::string& path) {
  AppGlobals& g = app();
  AppWindow* shown = g.mainWindow.get();
  if (g.fullScreenWindow && g.fullScreenWindow->isVisible()) shown = g.fullScreenWindow.get();
  if (shown == nullptr) return;
  QImage picture = shown->grab().toImage();
  bool saved = picture.save(QString::fromStdString(path), "PNG");
  std::string time = g.controller ? g.controller->timeText() : std::string();
  std::printf("strevana-player: window %dx%d caption \"%s\" time \"%s\" %s %s\n",
              picture.width(), picture.height(), shown->caption().c_str(), time.c_str(),
              saved ? "saved to" : "could not be saved to", path.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  std::string commandLine = joinArguments(argc, argv);

  AppGlobals& g = app();
  std::string snapshot = environment("STREVANA_SNAPSHOT");
  std::string answer = environment("STREVANA_AUTO_ANSWER");
  if (!snapshot.empty() || !answer.empty()) printMessageBoxes(g.hooks);
  if (answer == "ok" || answer == "cancel") {
    int32_t button = answer == "ok" ? kIdOk : kIdCancel;
    g.hooks.dialog = [button](Dialog& d) { d.click(button); };
    g.hooks.openFile = [](OpenFileRequest&) { return false; };
  }

  int exitCode = 0;
  if (startPlayer(commandLine)) {
    if (!snapshot.empty()) {
      int after = 3000;
      std::string ms = environment("STREVANA_SNAPSHOT_AFTER_MS");
      if (!ms.empty()) after = std::max(0, std::atoi(ms.c_str()));
      QTimer::singleShot(after, [snapshot] {
        takeSnapshot(snapshot);
        if (app().mainWindow) app().mainWindow->destroyWindow();
      });
    }
    exitCode = app().quitPosted ? app().quitCode : QApplication::exec();
  }
  resetAppGlobals();
  return exitCode;
}
