#pragma once
// A whole shell started offscreen for one test: the real windows, controller
// and playback thread, with the user replaced by hooks that record message
// boxes and answer dialogs and open-file requests as the test says; and the
// settings store as the player sees it.
#include <QCoreApplication>
#include <QSettings>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/app_globals.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "platform/dialog.h"
#include "platform/registry.h"
#include "support/qt_application.h"

namespace strevana::testing {

inline std::string fixture(const char* name) {
  return std::string(STREVANA_FIXTURE_DIR) + "/" + name;
}

// Writes frames of a raw YUV 4:2:0 file (in the process's temporary folder),
// each a flat colour.
inline std::string writeYuvFile(const std::string& name, int width, int height, int frames) {
  std::string path = ::testing::TempDir() + name;
  std::ofstream out(path, std::ios::binary);
  std::vector<char> frame(static_cast<size_t>(width) * height * 3 / 2);
  for (int f = 0; f < frames; ++f) {
    std::fill(frame.begin(), frame.begin() + width * height, static_cast<char>(60 + f));
    std::fill(frame.begin() + width * height, frame.end(), static_cast<char>(200));
    out.write(frame.data(), static_cast<std::streamsize>(frame.size()));
  }
  return path;
}

// The German module shipped with the player.
inline std::string germanModuleSource() {
  return (std::filesystem::path(STREVANA_TEST_DATA_DIR) / ".." / ".." / "resources" / "lang" /
          "strevanaPlayer_de.lang")
      .lexically_normal()
      .string();
}

// Empties the player's settings (the process's private XDG_CONFIG_HOME).
inline void clearSettings() {
  QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Korvello"),
                     QStringLiteral("strevana Player"));
  settings.clear();
  settings.sync();
}

inline std::optional<std::string> settingString(const char* name) {
  return RegistryKey::open()->queryString(name);
}

inline std::optional<uint32_t> settingNumber(const char* name) {
  uint32_t value = 0;
  if (!RegistryKey::open()->queryNumber(name, value)) return std::nullopt;
  return value;
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    resetAppGlobals();
    clearSettings();
    UiHooks& h = app().hooks;
    h.messageBox = [this](const MessageBoxRequest& r) {
      boxes.push_back(r);
      return kMbResultOk;
    };
    h.dialog = [this](Dialog& d) {
      dialogCaptions.push_back(d.windowTitle().toStdString());
      if (answerDialog) {
        answerDialog(d);
      } else {
        d.click(kIdCancel);
      }
    };
    h.openFile = [this](OpenFileRequest& r) {
      openRequests.push_back(r);
      if (!answerOpenFile) return false;
      return answerOpenFile(r);
    };
    h.popupMenu = [this](const Menu& m) {
      popups.push_back(&m);
      return 0;
    };
  }

  void TearDown() override { resetAppGlobals(); }

  void start(const std::string& commandLine) {
    ASSERT_TRUE(startPlayer(commandLine));
    settle();
  }

  // Lets queued window events (resizes, repaints) arrive.
  static void settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }

  // The window procedure's answer: 0 when the command was handled.
  static LResult command(uint32_t id, AppWindow* window = nullptr) {
    if (window == nullptr) window = app().mainWindow.get();
    const LResult result = window->send(kWmCommand, makeCommandWParam(id));
    settle();
    return result;
  }

  static Menu& bar() { return *app().mainWindow->menu(); }
  static PlayerController& controller() { return *app().controller; }
  static int32_t clientWidth() { return app().mainWindow->surface()->clientWidth(); }
  static int32_t clientHeight() { return app().mainWindow->surface()->clientHeight(); }

  std::vector<MessageBoxRequest> boxes;
  std::vector<std::string> dialogCaptions;
  std::vector<OpenFileRequest> openRequests;
  std::vector<const Menu*> popups;
  std::function<void(Dialog&)> answerDialog;
  std::function<bool(OpenFileRequest&)> answerOpenFile;
};

}  // namespace strevana::testing
