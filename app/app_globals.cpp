#include "app/app_globals.h"

namespace strevana {

namespace {

std::unique_ptr<AppGlobals>& holder() {
  static std::unique_ptr<AppGlobals> instance = std::make_unique<AppGlobals>();
  return instance;
}

}  // namespace

AppGlobals& app() { return *holder(); }

void resetAppGlobals() {
  AppGlobals& g = app();
  if (g.controller) {
    g.controller->stopPlaybackLoop();
    g.controller.reset();
  }
  g.infoWindow.reset();
  g.fullScreenWindow.reset();
  g.mainWindow.reset();
  holder() = std::make_unique<AppGlobals>();
}

void ShellWindowHost::resizeClient(int32_t width, int32_t height) {
  if (app().mainWindow) app().mainWindow->setClientSize(width, height);
}

bool ShellWindowHost::largestClient(int32_t& width, int32_t& height) const {
  if (!app().mainWindow) return false;
  const QSize largest = app().mainWindow->largestClientSize();
  if (largest.isEmpty()) return false;
  width = largest.width();
  height = largest.height();
  return true;
}

const ResourceModule& currentResources() {
  const ResourceModule* m = app().resourceModule;
  return m != nullptr ? *m : ResourceModule::program();
}

std::string resString(int32_t id) {
  std::string text;
  if (!currentResources().findString(id, text)) return {};
  // Cut at 255 bytes, but never inside a UTF-8 sequence.
  if (text.size() > 255) {
    size_t cut = 255;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  return text;
}

const DialogTemplate* findDialogTemplate(int32_t id) {
  if (const DialogTemplate* t = currentResources().findDialog(id)) return t;
  return ResourceModule::program().findDialog(id);
}

}  // namespace strevana
