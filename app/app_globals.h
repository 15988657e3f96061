#pragma once
// AppGlobals: the shell's one process-wide state record (the only mutable
// global of the program). The shell is plain functions over this record: the
// window procedures, command handlers, dialogs and start-up all read and
// change it.
//
// Threads: UI thread only. The playback thread never touches it; it reaches
// the controller through the controller's own lock.
// Ownership: the record owns the windows, the controller and everything
// else listed; members are declared so that the controller (which draws into
// the windows' surfaces) is destroyed before the windows.
#include <QImage>
#include <QPoint>
#include <QTranslator>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/dialog_state.h"
#include "app/language.h"
#include "app/movie_info_window.h"
#include "app/recent_list.h"
#include "app/url_history.h"
#include "app/yuv_settings.h"
#include "platform/app_window.h"
#include "platform/menu.h"
#include "platform/resource_module.h"
#include "platform/ui_hooks.h"
#include "playback/main_window_host.h"
#include "playback/player_controller.h"

namespace strevana {

// Sizes the main window's client area for the controller.
class ShellWindowHost final : public MainWindowHost {
 public:
  void resizeClient(int32_t width, int32_t height) override;
  bool largestClient(int32_t& width, int32_t& height) const override;
};

struct AppGlobals {
  // Texts of at most 99 characters, from the program's string table.
  static constexpr size_t kShortTextLength = 99;
  // Names the player opens are held in 256 bytes with their terminator.
  static constexpr size_t kMaxNameLength = 255;

  // Where menus, dialogs, accelerators and texts come from; null means the
  // program's own resources.
  const ResourceModule* resourceModule = nullptr;
  std::unique_ptr<ResourceModule> languageModule;  // the loaded language, if any
  std::unique_ptr<QTranslator> qtTranslator;       // Qt's own texts in that language

  std::string titleText;
  std::string mainClassName;
  std::string fullScreenClassName;
  std::string infoClassName;

  std::unique_ptr<AppWindow> mainWindow;
  std::unique_ptr<AppWindow> fullScreenWindow;
  // Where the main window stood when full screen began; it returns there.
  std::optional<QPoint> mainWindowPosition;
  std::unique_ptr<AppWindow> infoWindow;
  // The movie information window's model and canvas while it is open; after
  // infoWindow so that it goes first.
  std::unique_ptr<MovieInfoWindowState> movieInfo;
  ShellWindowHost host;
  std::unique_ptr<PlayerController> controller;

  const AcceleratorTable* accelerators = nullptr;
  std::unique_ptr<Menu> popupMenu;

  std::string backgroundImagePath;
  QImage backgroundImage;  // the background picture at the video's size, 32-bit

  RecentList recentList;
  UrlHistory urlHistory;
  LanguageModuleTable languages;
  YuvSettings yuvSettings;
  NetworkOptionsDialogState networkState;
  SaveStreamDialogState saveState;

  int32_t lastMouseX = 0;
  int32_t lastMouseY = 0;
  uint32_t lastMouseFlags = 0;
  int32_t idleMs = 0;
  int32_t infoRefreshMs = 0;

  // Stand-ins for the user in tests and headless runs.
  UiHooks hooks;

  bool quitPosted = false;
  int32_t quitCode = 0;
};

// The record.
AppGlobals& app();

// Stops the playback thread, then releases the controller and the windows in
// that order and starts a fresh record. For the end of the program (before
// the QApplication goes) and between tests.
void resetAppGlobals();

// The module menus, dialogs, accelerators and texts are read from.
const ResourceModule& currentResources();

// A localised text: up to 255 characters of string id from the current
// resource module, empty when it has none.
std::string resString(int32_t id);

// A dialog template of the current module, or the program's own when the
// module has none.
const DialogTemplate* findDialogTemplate(int32_t id);

// The engine, under the controller's lock.
template <typename F>
auto withEngine(F&& f) {
  return app().controller->withEngine(std::forward<F>(f));
}

}  // namespace strevana
