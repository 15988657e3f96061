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
//   STREVANA_COMMANDS=ID[,ID...]
//                               menu commands the main window receives, in
//                               order, once the message loop runs, as if
//                               chosen from the menu (5001: second language).
//   STREVANA_PRINT_MENUS=1      with the snapshot, also print the menu bar,
//                               one line per entry: "menu TITLE<tab>ID<tab>TEXT"
//                               under each submenu's TITLE (ID 0: separator).
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
  std::printf("strevana-player: window %dx%d caption \"%s\" time \"%s\" %s %s\n", picture.width(),
              picture.height(), shown->caption().c_str(), time.c_str(),
              saved ? "saved to" : "could not be saved to", path.c_str());
  std::fflush(stdout);
}

void sendCommands(const std::string& list) {
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    int id = std::atoi(list.substr(start, end - start).c_str());
    AppWindow* window = app().mainWindow.get();
    if (id > 0 && id <= 0xFFFF && window != nullptr && !window->destroyed()) {
      window->send(kWmCommand, makeCommandWParam(static_cast<uint32_t>(id)));
    }
    start = end + 1;
  }
}

void printMenu(const Menu& menu, const std::string& title) {
  for (size_t i = 0; i < menu.itemCount(); ++i) {
    const Menu::Item& item = menu.item(i);
    if (item.kind == Menu::Kind::kPopup) {
      printMenu(*menu.subMenu(i), title.empty() ? item.text : title + "/" + item.text);
    } else {
      std::printf("strevana-player: menu %s\t%d\t%s\n", title.c_str(), item.id, item.text.c_str());
    }
  }
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
      bool printMenus = !environment("STREVANA_PRINT_MENUS").empty();
      QTimer::singleShot(after, [snapshot, printMenus] {
        takeSnapshot(snapshot);
        if (printMenus && app().mainWindow && app().mainWindow->menu()) {
          printMenu(*app().mainWindow->menu(), "");
        }
        if (app().mainWindow) app().mainWindow->destroyWindow();
      });
    }
    std::string commands = environment("STREVANA_COMMANDS");
    if (!commands.empty()) QTimer::singleShot(0, [commands] { sendCommands(commands); });
    exitCode = app().quitPosted ? app().quitCode : QApplication::exec();
  }
  resetAppGlobals();
  return exitCode;
}
