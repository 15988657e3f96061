#pragma once
// AppWindow: a top-level window of the player (the main window with its menu
// bar, or the frameless full-screen window) whose client area is a
// SurfaceWidget. It turns Qt's events into the window messages its window
// procedure handles, so main and full-screen window share one procedure and
// tests can send the same messages directly:
//   menu choices and accelerators -> kWmCommand (id in the low word)
//   the window's timers           -> kWmTimer (timer id)
//   mouse in the client area      -> kWmMouseMove / kWmLButtonDown / kWmLButtonUp /
//                                    kWmMButtonDown / kWmRButtonUp, flags word and
//                                    client position (signed 16-bit each); the
//                                    second press of a double click is
//                                    kWmLButtonDown followed by kWmLButtonDblClk
//   the pointer leaving the client area -> kWmMouseLeave
//   keys                          -> kWmKeyDown (virtual key; Escape is 27;
//                                    lParam kKeyRepeatFlag on auto-repeat)
//   a user resize                 -> kWmSizing with the proposed rectangle and
//                                    the dragged edge; a changed rectangle is applied
//   client resize, first show     -> kWmEraseBackground
//   moving the window             -> kWmMove
//   files dropped on it           -> kWmDropFiles (DroppedFiles*)
//   closing                       -> kWmDestroy (once)
//
// Threads: UI thread only; the surface's back buffer may be drawn into from
// any thread (see SurfaceWidget). Ownership: the window owns its menu, its
// surface and its timers; the accelerator table is not owned.
#include <QMainWindow>
#include <QPoint>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/menu.h"
#include "platform/resource_module.h"
#include "platform/surface_widget.h"
#include "platform/ui_hooks.h"
#include "platform/window_messages.h"

class QTimer;

namespace strevana {

class AppWindow : public QMainWindow, private SurfaceEventSink {
 public:
  enum class Style {
    kMain,        // caption, system menu, resizable frame, minimize box
    kFullScreen,  // frameless, on top, covering the primary screen
  };

  // Creates the window (hidden) and sends kWmCreate; null when the procedure
  // answers kWmCreate with -1.
  static std::unique_ptr<AppWindow> create(Style style, WindowProc proc, const std::string& caption,
                                           int32_t width = 500, int32_t height = 500);
  ~AppWindow() override;

  Style style() const { return style_; }
  SurfaceWidget* surface() const { return surface_; }

  // Sends a message to the window procedure at once.
  LResult send(uint32_t message, WParam wParam = 0, LParam lParam = 0);
  // Sends kWmDestroy (once) and hides the window.
  void destroyWindow();
  bool destroyed() const { return destroyed_; }

  // The menu bar (main window only); replacing it destroys the old one.
  void setMenu(std::unique_ptr<Menu> menu);
  Menu* menu() const { return menu_.get(); }
  // Rebuilds the visible menu bar from the menu model (done on its own after
  // every change, deferred to the event loop).
  void drawMenuBar();

  // Keys matching an entry arrive as kWmCommand instead of kWmKeyDown.
  void setAccelerators(const AcceleratorTable* table) { accelerators_ = table; }
  // The command an accelerator table gives a key press, or 0.
  static int32_t matchAccelerator(const AcceleratorTable& table, int key,
                                  Qt::KeyboardModifiers modifiers, const QString& text);

  void setCaption(const std::string& caption);
  std::string caption() const;

  // Starts (or restarts) timer id with the period; its ticks arrive as kWmTimer.
  void startTimer(uint32_t id, int32_t periodMs);
  void stopTimer(uint32_t id);
  bool timerActive(uint32_t id) const;

  // Moves and resizes so that the client area has the given size, keeping
  // the window's top-left corner. Sizes below 1 are 1; the window is never
  // larger than Qt allows (QWIDGETSIZE_MAX), however large the size asked.
  void setClientSize(int32_t width, int32_t height);
  // The largest client area that keeps the whole window (frame and menu bar
  // included) inside its screen's available area; empty without a screen.
  QSize largestClientSize() const;
  QPoint clientToScreen(QPoint client) const;
  // Shows the window with its frame's top-left corner at position (as from
  // pos()), given as the user's choice so that a window manager keeps it
  // instead of placing the window anew.
  void showAt(QPoint position);

  // Shows menu's entries at a screen position and sends the chosen command
  // (hooks.popupMenu answers instead when set).
  void trackPopupMenu(const Menu& menu, QPoint screenPosition, const UiHooks& hooks);

  // Accepts files dropped on the client area (off by default).
  void setDropTarget(bool on);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  AppWindow(Style style, WindowProc proc);
  bool surfaceEvent(SurfaceWidget& widget, QEvent* event) override;
  bool mouseMessage(QEvent* event);
  bool keyMessage(QKeyEvent* event);
  bool dropMessage(QEvent* event);
  void scheduleMenuBar();
  // What the window adds around its client area (menu bar; the frame is
  // not part of it).
  QSize clientExtra() const;

  Style style_;
  WindowProc proc_;
  SurfaceWidget* surface_ = nullptr;
  std::unique_ptr<Menu> menu_;
  bool menuBarPending_ = false;
  const AcceleratorTable* accelerators_ = nullptr;
  std::map<uint32_t, QTimer*> timers_;
  bool destroyed_ = false;
  bool created_ = false;
  bool applyingSizing_ = false;
  QRect lastGeometry_;
};

}  // namespace strevana
