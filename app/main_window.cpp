#include "app/main_window.h"

#include <QCoreApplication>
#include <QImage>

#include <algorithm>
#include <cstdint>

#include "app/app_globals.h"
#include "app/command_line.h"
#include "app/dialogs.h"
#include "app/language.h"
#include "app/movie_info_window.h"
#include "app/player_keys.h"
#include "app/recent_list.h"
#include "media/yuv_file_source.h"
#include "platform/common_dialogs.h"

namespace strevana {

namespace {

// The idle counter stops growing here; only "at least 500 ms" matters.
constexpr int32_t kIdleCeilingMs = 1 << 24;

constexpr uint32_t kPostfilterCommands[] = {kCmdNoPostfilter, kCmdDeblocking, kCmdDeringing,
                                            kCmdDeblockingDeringing, kCmdAutomaticPostfilter};

void checkFullscreenEntries(bool on) {
  AppGlobals& g = app();
  if (g.mainWindow && g.mainWindow->menu()) g.mainWindow->menu()->checkItem(kCmdFullscreen, on);
  if (g.popupMenu) {
    if (Menu* first = g.popupMenu->subMenu(0)) first->checkItem(kCmdFullscreen, on);
  }
}

void checkBarEntry(uint32_t id, bool on) {
  AppGlobals& g = app();
  if (g.mainWindow && g.mainWindow->menu())
    g.mainWindow->menu()->checkItem(static_cast<int32_t>(id), on);
}

void setPostfilter(PostfilterMode mode) {
  withEngine([mode](PlaybackEngine& e) {
    e.setPostfilter(mode);
    return 0;
  });
  refreshPostfilterChecks();
}

bool handleCommand(AppWindow* window, uint32_t id) {
  AppGlobals& g = app();
  if (id >= 1 && static_cast<int64_t>(id) <= g.recentList.count) {
    openRecentEntry(window, id);
    return true;
  }
  if (id >= kCmdLanguageBase && static_cast<int64_t>(id) < kCmdLanguageBase + g.languages.count) {
    applyLanguage(static_cast<int32_t>(id - kCmdLanguageBase));
    return true;
  }
  switch (id) {
    case kCmdOpen: showOpenFileDialog(window, ""); return true;
    case kCmdOpenUrl: runOpenUrlDialog(window); return true;
    case kCmdLoadBackground: chooseBackgroundImage(&currentResources(), window); return true;
    case kCmdMovieInfo: showMovieInfoWindow(&currentResources(), window); return true;
    case kCmdExit: window->destroyWindow(); return true;
    case kCmdZoom25: setViewMode(25); return true;
    case kCmdZoom50: setViewMode(50); return true;
    case kCmdZoom100: setViewMode(100); return true;
    case kCmdZoom200: setViewMode(200); return true;
    case kCmdZoom400: setViewMode(400); return true;
    case kCmdFullscreen: setViewMode(0); return true;
    case kCmdRepeat: {
      if (!g.controller) return true;
      int32_t now = withEngine([](PlaybackEngine& e) {
        e.setRepeat(e.repeat() ? 0 : 1);
        return e.repeat();
      });
      checkBarEntry(kCmdRepeat, now != 0);
      return true;
    }
    case kCmdDirectX: {
      if (!g.controller) return true;
      bool on = withEngine([](PlaybackEngine& e) { return e.useDirectDraw() != 0; });
      g.controller->setUseDirectDraw(!on);
      checkBarEntry(kCmdDirectX, !on);
      return true;
    }
    case kCmdAutomaticPostfilter: setPostfilter(kPostfilterAuto); return true;
    case kCmdDeblocking: setPostfilter(kPostfilterDeblock); return true;
    case kCmdDeringing: setPostfilter(kPostfilterDering); return true;
    case kCmdDeblockingDeringing: setPostfilter(kPostfilterBoth); return true;
    case kCmdNoPostfilter: setPostfilter(kPostfilterNone); return true;
    case kCmdNetworkOptions: networkOptionsCommand(window); return true;
    case kCmdSaveStream: saveStreamCommand(window); return true;
    case kCmdAbout: runAboutDialog(window); return true;
    default: return false;
  }
}

void onMouse(WParam flags, LParam lParam) {
  AppGlobals& g = app();
  g.lastMouseX = mouseX(lParam);
  g.lastMouseY = mouseY(lParam);
  uint32_t word = static_cast<uint32_t>(flags);
  // Plain moves are thinned to one per 100 ms while no button state changes.
  if (g.idleMs < 100 && word == g.lastMouseFlags) return;
  int32_t kind = kMouseMove;
  if (word & kMkLButton) {
    kind = kMouseDown;
  } else if (g.lastMouseFlags & kMkLButton) {
    kind = kMouseRelease;
  }
  if (g.controller) g.controller->onPanelMouse(g.lastMouseX, g.lastMouseY, kind);
  g.lastMouseFlags = word;
  g.idleMs = 0;
}

void onTimer() {
  AppGlobals& g = app();
  g.infoRefreshMs += 100;
  if (g.infoRefreshMs > 1000) {
    refreshMovieInfo();
    g.infoRefreshMs = 0;
  }
  g.idleMs = std::min(g.idleMs + 100, kIdleCeilingMs);
  if (g.idleMs < 500) return;
  // While the mouse rests, the panel sees the last position again, so a
  // held button keeps firing.
  int32_t kind = (g.lastMouseFlags & kMkLButton) ? kMouseDown : kMouseMove;
  if (g.controller) g.controller->onPanelMouse(g.lastMouseX, g.lastMouseY, kind);
}

void onKey(WParam key, LParam flags) {
  AppGlobals& g = app();
  if (!g.controller) return;
  using Action = PlayerController::PanelAction;
  switch (keyAction(static_cast<uint32_t>(key), (flags & kKeyRepeatFlag) != 0,
                    g.controller->isFullScreen())) {
    case KeyAction::kTogglePlay: g.controller->perform(Action::kTogglePlay); break;
    case KeyAction::kStepBackward: g.controller->perform(Action::kStepBackward); break;
    case KeyAction::kStepForward: g.controller->perform(Action::kStepForward); break;
    case KeyAction::kRewind: g.controller->perform(Action::kRewind); break;
    case KeyAction::kToEnd: g.controller->perform(Action::kToEnd); break;
    case KeyAction::kToggleFullScreen:
    case KeyAction::kLeaveFullScreen: setViewMode(0); break;
    case KeyAction::kNone: break;
  }
}

void onDoubleClick(LParam lParam) {
  AppGlobals& g = app();
  if (!g.controller || !g.controller->inVideoArea(mouseX(lParam), mouseY(lParam))) return;
  // In full screen the first click of the pair paused or resumed: the
  // double click only changes the view.
  if (g.controller->isFullScreen())
    g.controller->perform(PlayerController::PanelAction::kTogglePlay);
  setViewMode(0);
  // The release that ends the pair belongs to the double click: in the
  // window shown now it must not count as a click of its own.
  g.lastMouseFlags = 0;
}

void onMouseLeave() {
  AppGlobals& g = app();
  // The timer replays the last position while the pointer rests: it must
  // not bring the hover back.
  g.lastMouseX = g.lastMouseY = INT16_MIN;
  if (g.controller) g.controller->endHover();
}

void onRightButtonUp(AppWindow* window, LParam lParam) {
  AppGlobals& g = app();
  if (!g.popupMenu) return;
  Menu* first = g.popupMenu->subMenu(0);
  if (first == nullptr) return;
  QPoint screen = window->clientToScreen(QPoint(mouseX(lParam), mouseY(lParam)));
  window->trackPopupMenu(*first, screen, g.hooks);
}

void postQuit(int32_t code) {
  AppGlobals& g = app();
  g.quitPosted = true;
  g.quitCode = code;
  if (QCoreApplication::instance() != nullptr) QCoreApplication::exit(code);
}

}  // namespace

void clampSizing(WParam edge, WindowRect& r) {
  if (r.right - r.left < 350) {
    if (edge == kSizeLeft || edge == kSizeTopLeft || edge == kSizeBottomLeft) {
      r.left = r.right - 349;
    } else {
      r.right = r.left + 349;
    }
  }
  if (r.bottom - r.top < 150) {
    if (edge == kSizeTop || edge == kSizeTopLeft || edge == kSizeTopRight) {
      r.top = r.bottom - 149;
    } else {
      r.bottom = r.top + 149;
    }
  }
}

bool nameFits(const std::string& name) { return name.size() <= AppGlobals::kMaxNameLength; }

LResult MainWindowProc(AppWindow* window, uint32_t message, WParam wParam, LParam lParam) {
  AppGlobals& g = app();
  switch (message) {
    case kWmCreate:
      if (const MenuTemplate* t = currentResources().findMenu(171))
        g.popupMenu = Menu::fromTemplate(*t);
      return 0;
    case kWmDestroy:
      if (window != g.mainWindow.get()) return 0;
      shutdownShell();
      return 0;
    case kWmMove:
    case kWmEraseBackground:
      if (g.controller) g.controller->layoutPanel();
      return 1;
    case kWmPaint: return 0;
    case kWmKeyDown: onKey(wParam, lParam); return 0;
    case kWmCommand: return handleCommand(window, loWord(wParam)) ? 0 : 1;
    case kWmTimer: onTimer(); return 0;
    case kWmMouseMove:
    case kWmLButtonDown:
    case kWmLButtonUp: onMouse(wParam, lParam); return 0;
    case kWmLButtonDblClk: onDoubleClick(lParam); return 0;
    case kWmMouseLeave: onMouseLeave(); return 0;
    case kWmRButtonUp: onRightButtonUp(window, lParam); return 0;
    case kWmMButtonDown:
      g.lastMouseX = mouseX(lParam);
      g.lastMouseY = mouseY(lParam);
      if (g.controller) g.controller->setVideoPoint(g.lastMouseX, g.lastMouseY);
      return 0;
    case kWmSizing:
      if (lParam != 0) clampSizing(wParam, *reinterpret_cast<WindowRect*>(lParam));
      return 0;
    case kWmDropFiles: {
      auto* drop = reinterpret_cast<DroppedFiles*>(wParam);
      if (drop == nullptr) return 0;
      if (!drop->names.empty()) {
        std::string first = drop->names.front();
        openLocalFile(g.mainWindow.get(), first);
      }
      finishDrop(*drop);
      return 0;
    }
    default: return 0;
  }
}

void shutdownShell() {
  AppGlobals& g = app();
  if (g.controller) {
    g.controller->stopPlaybackLoop();
    g.controller.reset();
  }
  g.backgroundImage = QImage();
  if (g.fullScreenWindow) g.fullScreenWindow->hide();
  if (g.mainWindow) g.mainWindow->stopTimer(kMainTimerId);
  saveRecentList();
  postQuit(0);
}

void setViewMode(int32_t zoom) {
  AppGlobals& g = app();
  if (!g.controller) return;
  if (g.controller->isFullScreen()) {
    g.controller->setFullScreenWindow(nullptr);
    if (g.fullScreenWindow) g.fullScreenWindow->hide();
    if (g.mainWindow) {
      // A window manager places a window shown again as it likes, unless it
      // comes with a position of its own.
      if (g.mainWindowPosition) {
        g.mainWindow->showAt(*g.mainWindowPosition);
      } else {
        g.mainWindow->show();
      }
    }
    g.mainWindowPosition.reset();
    checkFullscreenEntries(false);
    if (zoom != 0) g.controller->setZoom(zoom);
  } else if (zoom != 0) {
    g.controller->setZoom(zoom);
  } else {
    if (!g.fullScreenWindow) return;
    g.controller->setFullScreenWindow(std::make_unique<DrawContext>(g.fullScreenWindow->surface()));
    g.fullScreenWindow->show();
    if (g.mainWindow) {
      g.mainWindowPosition = g.mainWindow->pos();
      g.mainWindow->hide();
    }
    checkFullscreenEntries(true);
  }
}

void refreshPostfilterChecks() {
  AppGlobals& g = app();
  if (!g.controller || !g.mainWindow || !g.mainWindow->menu()) return;
  PostfilterMode mode = withEngine([](PlaybackEngine& e) { return e.postfilter(); });
  if (mode < 0 || mode > 4) return;
  for (int32_t m = 0; m <= 4; ++m) {
    g.mainWindow->menu()->checkItem(static_cast<int32_t>(kPostfilterCommands[m]), m == mode);
  }
}

void refreshMenus() {
  AppGlobals& g = app();
  if (!g.mainWindow || !g.mainWindow->menu()) return;
  Menu* bar = g.mainWindow->menu();
  bool fullScreen = g.controller && g.controller->isFullScreen();
  bar->checkItem(kCmdFullscreen, fullScreen);
  if (g.controller) {
    auto [repeat, directDraw] = withEngine([](PlaybackEngine& e) {
      return std::pair<bool, bool>(e.repeat() != 0, e.useDirectDraw() != 0);
    });
    bar->checkItem(kCmdRepeat, repeat);
    bar->checkItem(kCmdDirectX, directDraw);
  }
  refreshPostfilterChecks();
  if (Menu* options = bar->subMenu(2)) {
    options->deleteItem(kCmdSaveStream);
    if (g.languages.count > 0) {
      // Replace a Language submenu appended by an earlier refresh.
      size_t last = options->itemCount();
      if (last > 0 && options->item(last - 1).kind == Menu::Kind::kPopup) {
        const Menu* sub = options->subMenu(last - 1);
        if (sub != nullptr && sub->findItem(kCmdLanguageBase) != nullptr)
          options->deletePosition(last - 1);
      }
      auto languages = std::make_unique<Menu>();
      for (int32_t i = 0; i < g.languages.count; ++i) {
        languages->appendItem(static_cast<int32_t>(kCmdLanguageBase) + i,
                              g.languages.entries[static_cast<size_t>(i)].displayName,
                              i == g.languages.current);
      }
      options->appendPopup(std::move(languages), resString(150));
      g.mainWindow->drawMenuBar();
    }
  }
  if (Menu* file = bar->subMenu(0)) file->deleteItem(kCmdLoadBackground);
}

void showOpenError(const std::string& name) {
  showMessageBox(app().hooks, nullptr, resString(141) + " " + name, resString(145), kMbOk);
}

void openLocalFile(AppWindow* window, const std::string& name) {
  AppGlobals& g = app();
  if (!g.controller) return;
  if (!nameFits(name)) {
    showOpenError(name);
    refreshMovieInfo();
    return;
  }
  if (hasExtension(name, ".yuv")) {
    if (runYuvSettingsDialog(g.mainWindow.get()) != kIdOk) {
      refreshMovieInfo();
      return;
    }
    YuvOpenParameters p = g.yuvSettings.read();
    auto source = std::make_unique<YuvFileSource>(name.c_str(), p.width, p.height,
                                                  p.framesPerSecond, p.layout, kFormatYuy2);
    // A file too short for one frame (or a size the source cannot use) gives a
    // source without video: refused like any file the factory rejects.
    if (source->hasVideo && g.controller->openYuvSource(std::move(source))) {
      window->setCaption(name);
      g.controller->layoutPanel();
    } else {
      showOpenError(name);
    }
    refreshMovieInfo();
    return;
  }
  if (g.controller->openFile(name.c_str())) {
    addRecentEntry(kRecentKindFile, name.c_str());
    window->setCaption(name);
    applyBackgroundImage();
    g.controller->layoutPanel();
    refreshMovieInfo();
  } else {
    showOpenError(name);
    refreshMovieInfo();
  }
}

void openRecentEntry(AppWindow* window, uint32_t id) {
  AppGlobals& g = app();
  if (!g.controller || id < 1 || static_cast<int64_t>(id) > g.recentList.count) return;
  // A copy: the list is reordered by addRecentEntry below.
  RecentEntry entry = g.recentList.entries[id - 1];
  int ok = 0;
  if (nameFits(entry.name)) {
    ok = entry.kind == kRecentKindUrl ? g.controller->openStream(entry.name.c_str())
                                      : g.controller->openFile(entry.name.c_str());
  }
  if (!ok) {
    showOpenError(entry.name);
    refreshMovieInfo();
    return;
  }
  addRecentEntry(entry.kind, entry.name.c_str());
  window->setCaption(entry.name);
  applyBackgroundImage();
  g.controller->layoutPanel();
  refreshMovieInfo();
}

namespace {

// Whether the last stream was refused for want of a (right) login.
bool loginRefused() {
  return withEngine([](PlaybackEngine& e) { return e.openFailedStatus() == 401; });
}

}  // namespace

void openUrlFromDialog(AppWindow* window, const std::string& url) {
  AppGlobals& g = app();
  // A password typed into the URL is used, never kept or shown.
  const std::string shown = urlWithoutPassword(url);
  g.urlHistory.record(shown);
  if (!g.controller) return;
  bool opened = nameFits(url) && g.controller->openStream(url.c_str());
  if (!opened && loginRefused()) {
    // The server wants a login: ask once, and say so when it is refused.
    const std::optional<RtspCredentials> login = runLoginDialog(g.mainWindow.get(), url);
    if (login) {
      const std::string withLogin = urlWithCredentials(url, *login);
      opened = nameFits(withLogin) && g.controller->openStream(withLogin.c_str());
      if (!opened && loginRefused()) {
        showMessageBox(app().hooks, nullptr, resString(151) + " " + shown, resString(145), kMbOk);
        refreshMovieInfo();
        return;
      }
    }
  }
  if (!opened) {
    showOpenError(shown);
    refreshMovieInfo();
    return;
  }
  addRecentEntry(kRecentKindUrl, shown.c_str());
  window->setCaption(shown);
  applyBackgroundImage();
  g.controller->layoutPanel();
  refreshMovieInfo();
}

void showOpenFileDialog(AppWindow* owner, const std::string& initialName) {
  OpenFileRequest request;
  request.owner = owner;
  request.filterIndex = 1;
  request.initialName = initialName;
  request.filters = {
      {"All Files (*.mp4;*.3gp;*.sdp;*.yuv)", "*.mp4;*.sdp;*.yuv;*.3gp"},
      {"MPEG-4 File (*.mp4)", "*.mp4"},
      {"3gp (*.3gp)", "*.3gp"},
      {"YUV (*.yuv)", "*.yuv;*.raw"},
      {"SDP (*.sdp)", "*.sdp"},
  };
  if (showOpenFileName(app().hooks, request)) openLocalFile(owner, request.fileName);
}

void chooseBackgroundImage(const ResourceModule* /*module*/, AppWindow* owner) {
  OpenFileRequest request;
  request.owner = owner;
  request.filterIndex = 1;
  request.filters = {{"Windows Bitmap (*.bmp)", "*.bmp"}};
  if (!showOpenFileName(app().hooks, request)) return;
  // A name that does not fit the path buffer cannot be loaded, which is
  // ignored like any picture that fails to load.
  if (!nameFits(request.fileName)) return;
  app().backgroundImagePath = request.fileName;
  applyBackgroundImage();
  if (app().controller) app().controller->layoutPanel();
}

void applyBackgroundImage() {
  AppGlobals& g = app();
  if (g.backgroundImagePath.empty() || !g.controller) return;
  auto size = withEngine([](PlaybackEngine& e) {
    const MediaSource* s = e.source();
    return s == nullptr ? std::pair<int32_t, int32_t>(-1, -1)
                        : std::pair<int32_t, int32_t>(s->width, s->height);
  });
  if (size.first < 0) return;
  QImage picture(QString::fromStdString(g.backgroundImagePath));
  if (picture.isNull() || size.first <= 0 || size.second <= 0) return;
  g.backgroundImage =
      picture.convertToFormat(QImage::Format_RGB32)
          .scaled(size.first, size.second, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  if (g.backgroundImage.bytesPerLine() != static_cast<qsizetype>(size.first) * 4) return;
  g.controller->setOverlayImage(size.first, size.second, g.backgroundImage.constBits());
}

}  // namespace strevana
