#include "platform/app_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <cstdint>

namespace strevana {

namespace {

uint32_t mouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  uint32_t flags = 0;
  if (buttons & Qt::LeftButton) flags |= kMkLButton;
  if (buttons & Qt::RightButton) flags |= kMkRButton;
  if (buttons & Qt::MiddleButton) flags |= kMkMButton;
  if (modifiers & Qt::ShiftModifier) flags |= kMkShift;
  if (modifiers & Qt::ControlModifier) flags |= kMkControl;
  return flags;
}

// The virtual key of a Qt key, for the few keys the player looks at and the
// plain characters; 0 for the rest.
uint32_t virtualKey(int key) {
  switch (key) {
    case Qt::Key_Escape: return kVkEscape;
    case Qt::Key_Return:
    case Qt::Key_Enter: return kVkReturn;
    case Qt::Key_Space: return kVkSpace;
    case Qt::Key_End: return kVkEnd;
    case Qt::Key_Home: return kVkHome;
    case Qt::Key_Left: return kVkLeft;
    case Qt::Key_Up: return kVkUp;
    case Qt::Key_Right: return kVkRight;
    case Qt::Key_Down: return kVkDown;
    default: break;
  }
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
    return static_cast<uint32_t>(0x70 + key - Qt::Key_F1);
  if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) {
    return static_cast<uint32_t>(key);
  }
  return 0;
}

}  // namespace

AppWindow::AppWindow(Style style, WindowProc proc) : style_(style), proc_(proc) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  surface_ = new SurfaceWidget(this);
  surface_->setMouseTracking(true);
  surface_->setFocusPolicy(Qt::StrongFocus);
  surface_->setEventSink(this);
  setCentralWidget(surface_);
  if (style == Style::kFullScreen) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    if (QScreen* screen = QGuiApplication::primaryScreen()) setGeometry(screen->geometry());
  } else {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  }
}

std::unique_ptr<AppWindow> AppWindow::create(Style style, WindowProc proc,
                                             const std::string& caption, int32_t width,
                                             int32_t height) {
  std::unique_ptr<AppWindow> window(new AppWindow(style, proc));
  window->setCaption(caption);
  if (style == Style::kMain) window->resize(width, height);
  window->lastGeometry_ = window->geometry();
  if (window->send(kWmCreate) == -1) return nullptr;
  window->created_ = true;
  return window;
}

AppWindow::~AppWindow() {
  if (surface_ != nullptr) surface_->setEventSink(nullptr);
  for (auto& [id, timer] : timers_) timer->stop();
}

LResult AppWindow::send(uint32_t message, WParam wParam, LParam lParam) {
  if (proc_ == nullptr) return 0;
  return proc_(this, message, wParam, lParam);
}

void AppWindow::destroyWindow() {
  if (destroyed_) return;
  destroyed_ = true;
  for (auto& [id, timer] : timers_) timer->stop();
  hide();
  send(kWmDestroy);
}

void AppWindow::setMenu(std::unique_ptr<Menu> menu) {
  menu_ = std::move(menu);
  if (menu_) menu_->setChangeCallback([this] { scheduleMenuBar(); });
  drawMenuBar();
}

void AppWindow::scheduleMenuBar() {
  if (menuBarPending_) return;
  menuBarPending_ = true;
  // Deferred: a command chosen from the bar may change the bar while Qt is
  // still inside the action that reported it.
  QMetaObject::invokeMethod(
      this, [this] { drawMenuBar(); }, Qt::QueuedConnection);
}

void AppWindow::drawMenuBar() {
  menuBarPending_ = false;
  if (style_ != Style::kMain) return;
  QMenuBar* bar = menuBar();
  // The bar's menus are its children; clear() only drops their actions, so
  // the old menus go explicitly (later: one of them may be closing still).
  for (QMenu* old : bar->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) old->deleteLater();
  bar->clear();
  if (!menu_) {
    bar->hide();
    return;
  }
  auto onCommand = [this](int32_t id) {
    send(kWmCommand, makeCommandWParam(static_cast<uint32_t>(id)));
  };
  for (size_t i = 0; i < menu_->itemCount(); ++i) {
    const Menu::Item& item = menu_->item(i);
    if (item.kind == Menu::Kind::kPopup) {
      QMenu* sub = bar->addMenu(Menu::qtText(item.text));
      item.submenu->fillQMenu(*sub, onCommand);
    } else if (item.kind == Menu::Kind::kItem) {
      QAction* action = bar->addAction(Menu::qtText(item.text));
      int32_t id = item.id;
      QObject::connect(action, &QAction::triggered, this, [onCommand, id] { onCommand(id); });
    }
  }
  bar->show();
}

int32_t AppWindow::matchAccelerator(const AcceleratorTable& table, int key,
                                    Qt::KeyboardModifiers modifiers, const QString& text) {
  bool alt = (modifiers & Qt::AltModifier) != 0;
  bool ctrl = (modifiers & Qt::ControlModifier) != 0;
  bool shift = (modifiers & Qt::ShiftModifier) != 0;
  for (const auto& entry : table.entries) {
    if (entry.alt != alt || entry.ctrl != ctrl) continue;
    QString wanted = QString::fromStdString(entry.key);
    bool letter = wanted.size() == 1 && wanted[0].isLetter();
    bool single = wanted.size() == 1;
    // Punctuation such as "?" needs Shift on some layouts and not on others,
    // so Shift only counts for letters and named keys.
    if ((!single || letter) && entry.shift != shift) continue;
    if (single) {
      if (text.compare(wanted, letter ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0) {
        return entry.command;
      }
      QKeySequence seq(wanted);
      if (seq.count() == 1 && seq[0].key() == key) return entry.command;
    } else {
      QKeySequence seq = QKeySequence::fromString(wanted, QKeySequence::PortableText);
      if (seq.count() == 1 && seq[0].key() == key) return entry.command;
    }
  }
  return 0;
}

void AppWindow::setCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
}

std::string AppWindow::caption() const { return windowTitle().toStdString(); }

void AppWindow::startTimer(uint32_t id, int32_t periodMs) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(this);
    QObject::connect(timer, &QTimer::timeout, this, [this, id] { send(kWmTimer, id); });
  }
  timer->start(periodMs);
}

void AppWindow::stopTimer(uint32_t id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

bool AppWindow::timerActive(uint32_t id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

void AppWindow::setClientSize(int32_t width, int32_t height) {
  if (width < 1) width = 1;
  if (height < 1) height = 1;
  if (layout() != nullptr) layout()->activate();
  const int extraW = clientExtra().width();
  const int extraH = clientExtra().height();
  // In 64 bits: the client size may be as large as an int32_t holds.
  const auto outer = [](int32_t client, int extra) {
    return static_cast<int>(std::min<int64_t>(int64_t{client} + extra, QWIDGETSIZE_MAX));
  };
  resize(outer(width, extraW), outer(height, extraH));
}

QSize AppWindow::clientExtra() const {
  int extraW = this->width() - surface_->width();
  int extraH = this->height() - surface_->height();
  if (extraW < 0 || extraH < 0 || !surface_->isVisible()) {
    extraW = 0;
    extraH = (menu_ && style_ == Style::kMain) ? menuBar()->sizeHint().height() : 0;
  }
  return QSize(extraW, extraH);
}

QSize AppWindow::largestClientSize() const {
  QScreen* screen = this->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {};
  const QRect available = screen->availableGeometry();
  // The frame the window manager draws (nothing before the first show).
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize extra = clientExtra();
  return QSize(std::max(1, available.width() - frame.width() - extra.width()),
               std::max(1, available.height() - frame.height() - extra.height()));
}

void AppWindow::showAt(QPoint position) {
  move(position);
  // An explicit position on the native window is what makes Qt ask the
  // window manager for it (USPosition) when the window is mapped again.
  if (QWindow* native = windowHandle()) native->setFramePosition(position);
  show();
}

QPoint AppWindow::clientToScreen(QPoint client) const { return surface_->mapToGlobal(client); }

void AppWindow::trackPopupMenu(const Menu& menu, QPoint screenPosition, const UiHooks& hooks) {
  int32_t chosen = 0;
  if (hooks.popupMenu) {
    chosen = hooks.popupMenu(menu);
  } else {
    QMenu popup(this);
    menu.fillQMenu(popup, [&chosen](int32_t id) { chosen = id; });
    popup.exec(screenPosition);
  }
  if (chosen != 0) send(kWmCommand, makeCommandWParam(static_cast<uint32_t>(chosen)));
}

void AppWindow::setDropTarget(bool on) { surface_->setAcceptDrops(on); }

void AppWindow::closeEvent(QCloseEvent* event) {
  if (style_ == Style::kFullScreen) {
    // The full-screen window lives for the whole run; it is left with
    // Escape or the Fullscreen command, not closed.
    event->ignore();
    return;
  }
  event->accept();
  destroyWindow();
}

void AppWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (created_ && !destroyed_) send(kWmMove, 0, makeMouseLParam(x(), y()));
  lastGeometry_ = geometry();
}

void AppWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  QRect now = geometry();
  if (created_ && !destroyed_ && !applyingSizing_ && event->spontaneous() &&
      style_ == Style::kMain) {
    bool leftMoved = now.left() != lastGeometry_.left();
    bool topMoved = now.top() != lastGeometry_.top();
    bool bottomMoved = now.bottom() != lastGeometry_.bottom();
    uint32_t edge = kSizeBottomRight;
    if (leftMoved) {
      edge = topMoved ? kSizeTopLeft : (bottomMoved ? kSizeBottomLeft : kSizeLeft);
    } else if (topMoved) {
      edge = now.right() != lastGeometry_.right() ? kSizeTopRight : kSizeTop;
    } else if (now.right() == lastGeometry_.right()) {
      edge = kSizeBottom;
    } else if (!bottomMoved) {
      edge = kSizeRight;
    }
    WindowRect proposed{now.left(), now.top(), now.right() + 1, now.bottom() + 1};
    send(kWmSizing, edge, reinterpret_cast<LParam>(&proposed));
    QRect wanted(proposed.left, proposed.top, proposed.right - proposed.left,
                 proposed.bottom - proposed.top);
    if (wanted != now && wanted.width() > 0 && wanted.height() > 0) {
      applyingSizing_ = true;
      setGeometry(wanted);
      applyingSizing_ = false;
      now = geometry();
    }
  }
  lastGeometry_ = now;
}

void AppWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  lastGeometry_ = geometry();
}

void AppWindow::keyPressEvent(QKeyEvent* event) {
  if (!keyMessage(event)) QMainWindow::keyPressEvent(event);
}

bool AppWindow::keyMessage(QKeyEvent* event) {
  if (accelerators_ != nullptr) {
    int32_t command =
        matchAccelerator(*accelerators_, event->key(), event->modifiers(), event->text());
    if (command != 0) {
      send(kWmCommand, makeCommandWParam(static_cast<uint32_t>(command), 1));
      return true;
    }
  }
  uint32_t vk = virtualKey(event->key());
  if (vk == 0) return false;
  send(kWmKeyDown, vk, event->isAutoRepeat() ? kKeyRepeatFlag : 0);
  return true;
}

bool AppWindow::dropMessage(QEvent* event) {
  if (!surface_->acceptDrops()) return false;
  if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
    auto* drag = static_cast<QDragMoveEvent*>(event);
    if (drag->mimeData()->hasUrls()) drag->acceptProposedAction();
    return true;
  }
  auto* dropEvent = static_cast<QDropEvent*>(event);
  DroppedFiles drop;
  for (const QUrl& url : dropEvent->mimeData()->urls()) {
    if (url.isLocalFile()) drop.names.push_back(url.toLocalFile().toStdString());
  }
  if (drop.names.empty()) return true;
  dropEvent->acceptProposedAction();
  send(kWmDropFiles, reinterpret_cast<WParam>(&drop), 0);
  return true;
}

bool AppWindow::surfaceEvent(SurfaceWidget& /*widget*/, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: return mouseMessage(event);
    case QEvent::Leave:
      // Through an edge, onto the menu bar, or under a dialog.
      if (created_ && !destroyed_) send(kWmMouseLeave);
      return false;
    case QEvent::KeyPress: return keyMessage(static_cast<QKeyEvent*>(event));
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: return dropMessage(event);
    case QEvent::Resize:
    case QEvent::Show:
      if (created_ && !destroyed_) send(kWmEraseBackground);
      return false;
    default: return false;
  }
}

bool AppWindow::mouseMessage(QEvent* event) {
  auto* mouse = static_cast<QMouseEvent*>(event);
  QPoint p = mouse->position().toPoint();
  LParam where = makeMouseLParam(p.x(), p.y());
  WParam flags = mouseFlags(mouse->buttons(), mouse->modifiers());
  switch (event->type()) {
    case QEvent::MouseMove: send(kWmMouseMove, flags, where); return true;
    case QEvent::MouseButtonPress:
      if (mouse->button() == Qt::LeftButton) send(kWmLButtonDown, flags, where);
      if (mouse->button() == Qt::MiddleButton) send(kWmMButtonDown, flags, where);
      return true;
    case QEvent::MouseButtonDblClick:
      // The second press of a double click: the press, then the double click.
      if (mouse->button() == Qt::LeftButton) {
        send(kWmLButtonDown, flags, where);
        send(kWmLButtonDblClk, flags, where);
      }
      if (mouse->button() == Qt::MiddleButton) send(kWmMButtonDown, flags, where);
      return true;
    case QEvent::MouseButtonRelease:
      if (mouse->button() == Qt::LeftButton) send(kWmLButtonUp, flags, where);
      if (mouse->button() == Qt::RightButton) send(kWmRButtonUp, flags, where);
      return true;
    default: return false;
  }
}

}  // namespace strevana
