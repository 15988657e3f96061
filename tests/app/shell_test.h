#pragma once
// A whole shell started offscreen for one test: the real windows, controller
// and playback thread, with the user replaced by hooks that record message
// boxes and answer dialogs and open-file requests as the test says.
#include <QCoreApplication>
#include <QSettings>
#include <gtest/gtest.h>

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
#include "support/yuv_file.h"

namespace strevana::testing {

inline std::string fixture(const char* name) {
  return std::string(STREVANA_FIXTURE_DIR) + "/" + name;
}

// Frames of raw YUV 4:2:0 in the process's temporary folder.
inline std::string writeYuvFile(const std::string& name, int width, int height, int frames) {
  return writeYuv420File(::testing::TempDir() + name, width, height, frames);
}

inline std::optional<std::string> settingString(const char* name) {
  return RegistryKey::open()->queryString(name);
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    QSettings(QSettings::IniFormat, QSettings::UserScope, "Korvello", "strevana Player").clear();
  }
  void TearDown() override { resetAppGlobals(); }

  // A fresh shell on commandLine, with the user's part played by the hooks and
  // language modules looked for in languageFolder.
  void start(const std::string& commandLine) {
    resetAppGlobals();
    app().languages.folder = languageFolder;
    UiHooks& h = app().hooks;
    h.messageBox = [this](const MessageBoxRequest& r) {
      boxes.push_back(r);
      return kMbResultOk;
    };
    h.dialog = [this](Dialog& d) {
      dialogCaptions.push_back(d.windowTitle().toStdString());
      answerDialog ? answerDialog(d) : d.click(kIdCancel);
    };
    h.openFile = [this](OpenFileRequest& r) {
      openRequests.push_back(r);
      return answerOpenFile && answerOpenFile(r);
    };
    ASSERT_TRUE(startPlayer(commandLine));
    settle();
  }
  // Lets queued window events (resizes, repaints) arrive.
  static void settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  }
  // The window procedure's answer: 0 when the command was handled.
  static LResult command(uint32_t id) {
    const LResult result = app().mainWindow->send(kWmCommand, makeCommandWParam(id));
    settle();
    return result;
  }
  static Menu& bar() { return *app().mainWindow->menu(); }
  static PlayerController& controller() { return *app().controller; }
  static QSize clientSize() {
    return {app().mainWindow->surface()->clientWidth(),
            app().mainWindow->surface()->clientHeight()};
  }

  std::vector<MessageBoxRequest> boxes;
  std::vector<std::string> dialogCaptions;
  std::vector<OpenFileRequest> openRequests;
  std::function<void(Dialog&)> answerDialog;
  std::function<bool(OpenFileRequest&)> answerOpenFile;
  std::string languageFolder;
};

}  // namespace strevana::testing
