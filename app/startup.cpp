#include "app/startup.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "app/app_globals.h"
#include "app/command_line.h"
#include "app/dialogs.h"
#include "app/language.h"
#include "app/main_window.h"
#include "app/recent_list.h"
#include "media/yuv_file_source.h"
#include "playback/panel/skin_resources.h"

namespace strevana {

namespace {

std::string shortText(int32_t id) {
  std::string text;
  ResourceModule::program().findString(id, text);
  if (text.size() > AppGlobals::kShortTextLength) text.resize(AppGlobals::kShortTextLength);
  return text;
}

void openNamed(const std::string& name) {
  AppGlobals& g = app();
  PlayerController& c = *g.controller;
  if (!nameFits(name)) {
    showOpenError(name);
    return;
  }
  switch (classifyName(name)) {
    case NameKind::kUrl:
      if (c.openStream(name.c_str())) {
        addRecentEntry(kRecentKindUrl, name.c_str());
        g.mainWindow->setCaption(name);
      } else {
        showOpenError(name);
      }
      return;
    case NameKind::kRawYuv: {
      if (runYuvSettingsDialog(g.mainWindow.get()) != kIdOk) return;
      YuvOpenParameters p = g.yuvSettings.read();
      auto source = std::make_unique<YuvFileSource>(name.c_str(), p.width, p.height,
                                                    p.framesPerSecond, p.layout, kFormatYuy2);
      if (source->hasVideo && c.openYuvSource(std::move(source))) {
        g.mainWindow->setCaption(name);
        c.layoutPanel();
      } else {
        showOpenError(name);
      }
      return;
    }
    case NameKind::kFile:
      if (c.openFile(name.c_str())) {
        addRecentEntry(kRecentKindFile, name.c_str());
        g.mainWindow->setCaption(name);
      } else {
        showOpenError(name);
      }
      return;
  }
}

}  // namespace

void registerWindowClasses() {
  // Qt has no window classes; what they carried is the program icon.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return;
  QIcon icon;
  for (int32_t id : {kIconSmall, kIconLarge}) {
    for (const QImage& image : loadIconImages(id)) icon.addPixmap(QPixmap::fromImage(image));
  }
  if (!icon.isNull()) QApplication::setWindowIcon(icon);
}

bool createMainWindows(ShowState show) {
  AppGlobals& g = app();
  g.resourceModule = &ResourceModule::program();
  g.mainWindow = AppWindow::create(AppWindow::Style::kMain, MainWindowProc, g.titleText, 500, 500);
  if (!g.mainWindow) return false;
  if (const MenuTemplate* bar = currentResources().findMenu(109)) {
    g.mainWindow->setMenu(Menu::fromTemplate(*bar));
  }
  g.controller = std::make_unique<PlayerController>(
      std::make_unique<DrawContext>(g.mainWindow->surface()), &g.host);
  g.controller->loadSkin();
  QImage still = loadStillPicture();
  if (!still.isNull() && still.format() == QImage::Format_RGB32 &&
      still.bytesPerLine() == static_cast<qsizetype>(still.width()) * 4) {
    const auto* pixels = reinterpret_cast<const uint32_t*>(still.constBits());
    int32_t w = still.width();
    int32_t h = still.height();
    withEngine([&](PlaybackEngine& e) {
      e.setStillPicture(w, h, pixels);
      return 0;
    });
  }
  if (show == ShowState::kNormal) g.mainWindow->show();
  refreshMenus();
  g.controller->startPlaybackThread();
  g.mainWindow->startTimer(kMainTimerId, kMainTimerPeriodMs);
  g.fullScreenWindow =
      AppWindow::create(AppWindow::Style::kFullScreen, MainWindowProc, g.titleText);
  if (g.fullScreenWindow) g.fullScreenWindow->hide();
  rebuildRecentMenu();
  return true;
}

void parseCommandLine(const std::string& text) {
  ParsedCommandLine parsed = parseCommandLineText(text);
  if (parsed.empty) return;
  AppGlobals& g = app();
  for (const CommandLineOption& option : parsed.options) {
    if (option.kind == CommandLineOption::Kind::kPostfilter) {
      int32_t mode = option.value;
      withEngine([mode](PlaybackEngine& e) {
        e.setPostfilter(mode);
        return 0;
      });
    } else {
      g.controller->setUseDirectDraw(option.value != 0);
    }
  }
  if (parsed.name) openNamed(*parsed.name);
  setViewMode(parsed.zoom);
  refreshMenus();
}

bool startPlayer(const std::string& commandLine, ShowState show) {
  AppGlobals& g = app();
  g.backgroundImagePath.clear();
  g.titleText = shortText(103);
  g.mainClassName = shortText(109);
  g.fullScreenClassName = shortText(110);
  g.infoClassName = shortText(111);
  registerWindowClasses();
  if (!createMainWindows(show)) return false;
  g.accelerators = ResourceModule::program().findAccelerators(109);
  g.mainWindow->setAccelerators(g.accelerators);
  if (g.fullScreenWindow) g.fullScreenWindow->setAccelerators(g.accelerators);
  parseCommandLine(commandLine);
  g.mainWindow->setDropTarget(true);
  enumerateLanguageModules();
  applyLanguage(g.languages.count > 0 ? readLanguageSetting() : 0);
  return true;
}

}  // namespace strevana
