#include "platform/app_window.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QTimer>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <gtest/gtest.h>

#include <limits>

#include <vector>

#include "platform/common_dialogs.h"
#include "support/qt_application.h"

namespace strevana {
namespace {

struct Message {
  uint32_t message;
  WParam wParam;
  LParam lParam;
  std::vector<std::string> dropped;
};

std::vector<Message>& log() {
  static std::vector<Message> messages;
  return messages;
}

LResult recordingProc(AppWindow*, uint32_t message, WParam wParam, LParam lParam) {
  Message m{message, wParam, lParam, {}};
  if (message == kWmDropFiles) {
    auto* drop = reinterpret_cast<DroppedFiles*>(wParam);
    m.dropped = drop->names;
    finishDrop(*drop);
  }
  if (message == kWmSizing) {
    auto* r = reinterpret_cast<WindowRect*>(lParam);
    if (r->right - r->left < 350) r->right = r->left + 349;
  }
  log().push_back(std::move(m));
  return message == kWmCreate ? 0 : 1;
}

LResult refusingProc(AppWindow*, uint32_t message, WParam, LParam) {
  return message == kWmCreate ? -1 : 0;
}

std::vector<Message> messagesOf(uint32_t type) {
  std::vector<Message> out;
  for (const auto& m : log()) {
    if (m.message == type) out.push_back(m);
  }
  return out;
}

class AppWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::application();
    log().clear();
    window = AppWindow::create(AppWindow::Style::kMain, recordingProc, "caption", 500, 500);
    ASSERT_NE(window, nullptr);
  }
  std::unique_ptr<AppWindow> window;
};

TEST_F(AppWindowTest, CreationSendsCreateAndCanBeRefused) {
  ASSERT_FALSE(log().empty());
  EXPECT_EQ(log().front().message, kWmCreate);
  EXPECT_EQ(window->caption(), "caption");
  EXPECT_EQ(AppWindow::create(AppWindow::Style::kMain, refusingProc, "x"), nullptr);
}

TEST_F(AppWindowTest, MouseEventsBecomeMessagesWithFlagsAndSignedPositions) {
  const struct {
    QEvent::Type type;
    QPointF at;
    Qt::MouseButton button;
    Qt::MouseButtons held;  // after the event
    Qt::KeyboardModifiers modifiers;
    uint32_t message;
    WParam flags;
  } cases[] = {
      {QEvent::MouseButtonPress,
       {20, 30},
       Qt::LeftButton,
       Qt::LeftButton,
       Qt::ShiftModifier,
       kWmLButtonDown,
       kMkLButton | kMkShift},
      {QEvent::MouseMove,
       {-5, 40},
       Qt::NoButton,
       Qt::LeftButton,
       Qt::NoModifier,
       kWmMouseMove,
       kMkLButton},
      // The released button is no longer down.
      {QEvent::MouseButtonRelease,
       {21, 31},
       Qt::LeftButton,
       Qt::NoButton,
       Qt::NoModifier,
       kWmLButtonUp,
       0},
      {QEvent::MouseButtonPress,
       {7, 8},
       Qt::MiddleButton,
       Qt::MiddleButton,
       Qt::NoModifier,
       kWmMButtonDown,
       kMkMButton},
      {QEvent::MouseButtonRelease,
       {9, 10},
       Qt::RightButton,
       Qt::NoButton,
       Qt::ControlModifier,
       kWmRButtonUp,
       kMkControl},
      // The press comes first, as from any press, so the panel sees it too.
      {QEvent::MouseButtonDblClick,
       {12, -13},
       Qt::LeftButton,
       Qt::LeftButton,
       Qt::NoModifier,
       kWmLButtonDown,
       kMkLButton},
  };
  for (const auto& c : cases) {
    log().clear();
    QMouseEvent e(c.type, c.at, c.at, c.button, c.held, c.modifiers);
    QCoreApplication::sendEvent(window->surface(), &e);
    ASSERT_FALSE(log().empty()) << c.message;
    const Message& m = log().front();
    EXPECT_EQ(m.message, c.message);
    EXPECT_EQ(m.wParam, c.flags) << c.message;
    EXPECT_EQ(mouseX(m.lParam), static_cast<int>(c.at.x())) << c.message;
    EXPECT_EQ(mouseY(m.lParam), static_cast<int>(c.at.y())) << c.message;
  }
  ASSERT_EQ(log().size(), 2u);
  EXPECT_EQ(log().back().message, kWmLButtonDblClk);
  EXPECT_EQ(mouseY(log().back().lParam), -13);
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(window->surface(), &leave);
  EXPECT_EQ(log().back().message, kWmMouseLeave);
}

TEST_F(AppWindowTest, KeysAndAccelerators) {
  const AcceleratorTable* table = ResourceModule::program().findAccelerators(109);
  ASSERT_NE(table, nullptr);
  window->setAccelerators(table);
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(window->surface(), &escape);
  QKeyEvent altQuestion(QEvent::KeyPress, Qt::Key_Question, Qt::AltModifier | Qt::ShiftModifier,
                        QStringLiteral("?"));
  QCoreApplication::sendEvent(window->surface(), &altQuestion);
  QKeyEvent altSlash(QEvent::KeyPress, Qt::Key_Slash, Qt::AltModifier, QStringLiteral("/"));
  QCoreApplication::sendEvent(window->surface(), &altSlash);
  QKeyEvent plainSlash(QEvent::KeyPress, Qt::Key_Slash, Qt::NoModifier, QStringLiteral("/"));
  QCoreApplication::sendEvent(window->surface(), &plainSlash);

  auto keys = messagesOf(kWmKeyDown);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].wParam, kVkEscape);
  auto commands = messagesOf(kWmCommand);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(loWord(commands[0].wParam), 104);
  EXPECT_EQ(loWord(commands[1].wParam), 104);
  EXPECT_EQ(AppWindow::matchAccelerator(*table, Qt::Key_Question, Qt::NoModifier, "?"), 0);
}

TEST_F(AppWindowTest, PlayerKeysArriveAsVirtualKeysWithTheirRepeatFlag) {
  const struct {
    Qt::Key key;
    const char* text;
    bool autoRepeat;
    uint32_t vk;
  } cases[] = {{Qt::Key_Space, " ", false, kVkSpace}, {Qt::Key_Left, "", false, kVkLeft},
               {Qt::Key_Left, "", true, kVkLeft},     {Qt::Key_Right, "", true, kVkRight},
               {Qt::Key_Home, "", false, kVkHome},    {Qt::Key_End, "", false, kVkEnd},
               {Qt::Key_F, "f", false, 'F'}};
  for (const auto& c : cases) {
    QKeyEvent key(QEvent::KeyPress, c.key, Qt::NoModifier, QString::fromLatin1(c.text),
                  c.autoRepeat);
    QCoreApplication::sendEvent(window->surface(), &key);
  }
  const auto keys = messagesOf(kWmKeyDown);
  ASSERT_EQ(keys.size(), std::size(cases));
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i].wParam, cases[i].vk) << i;
    EXPECT_EQ((keys[i].lParam & kKeyRepeatFlag) != 0, cases[i].autoRepeat) << i;
  }
}

TEST_F(AppWindowTest, DroppedFilesArriveInOrder) {
  window->setDropTarget(true);
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/tmp/a one.mp4"), QUrl::fromLocalFile("/tmp/b.yuv"),
                QUrl("http://example.invalid/x"), QUrl::fromLocalFile("/tmp/c.3gp")});
  // Qt delivers a drop to the widget that accepted the drag's entry.
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window->surface(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window->surface(), &drop);
  auto drops = messagesOf(kWmDropFiles);
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(drops[0].dropped,
            (std::vector<std::string>{"/tmp/a one.mp4", "/tmp/b.yuv", "/tmp/c.3gp"}));
}

TEST_F(AppWindowTest, TimerTicksArriveAsTimerMessages) {
  window->startTimer(1, 5);
  EXPECT_TRUE(window->timerActive(1));
  QElapsedTimer clock;
  clock.start();
  while (messagesOf(kWmTimer).size() < 2 && clock.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  auto ticks = messagesOf(kWmTimer);
  ASSERT_GE(ticks.size(), 2u);
  EXPECT_EQ(ticks[0].wParam, 1u);
  window->stopTimer(1);
  EXPECT_FALSE(window->timerActive(1));
}

TEST_F(AppWindowTest, ClosingSendsDestroyOnceAndStopsTimers) {
  window->startTimer(1, 100);
  window->show();
  window->close();
  window->destroyWindow();
  EXPECT_EQ(messagesOf(kWmDestroy).size(), 1u);
  EXPECT_FALSE(window->timerActive(1));
  EXPECT_TRUE(window->destroyed());
}

TEST_F(AppWindowTest, FullScreenWindowCoversThePrimaryScreenAndIsNotClosed) {
  auto full = AppWindow::create(AppWindow::Style::kFullScreen, recordingProc, "full");
  ASSERT_NE(full, nullptr);
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(full->geometry(), screen->geometry());
  EXPECT_TRUE(full->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(full->windowFlags() & Qt::WindowStaysOnTopHint);
  full->show();
  full->close();
  EXPECT_TRUE(full->isVisible());
  EXPECT_TRUE(messagesOf(kWmDestroy).empty());
}

TEST_F(AppWindowTest, ClientSizeKeepsTheTopLeftCorner) {
  window->setMenu(Menu::fromTemplate(*ResourceModule::program().findMenu(109)));
  window->move(40, 30);
  window->show();
  QCoreApplication::processEvents();
  window->setClientSize(382, 373);
  QCoreApplication::processEvents();
  EXPECT_EQ(window->surface()->width(), 382);
  EXPECT_EQ(window->surface()->height(), 373);
  EXPECT_EQ(window->surface()->clientWidth(), 382);
  EXPECT_EQ(window->pos(), QPoint(40, 30));
  // Resizing the client area asks the procedure to redraw everything.
  EXPECT_FALSE(messagesOf(kWmEraseBackground).empty());
}

TEST_F(AppWindowTest, HugeClientSizesStopAtQtsLargestWindow) {
  // Hidden, with a menu bar: the bar's height is added to the client's.
  window->setMenu(Menu::fromTemplate(*ResourceModule::program().findMenu(109)));
  window->setClientSize(200, 300);
  const int extraH = window->height() - 300;
  ASSERT_GT(extraH, 0);
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  const struct {
    int32_t width, height;
    QSize window;
  } cases[] = {
      {200, kMax, QSize(200, QWIDGETSIZE_MAX)},
      {kMax, 300, QSize(QWIDGETSIZE_MAX, 300 + extraH)},
      {kMax, kMax, QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)},
      {200, QWIDGETSIZE_MAX - extraH + 1, QSize(200, QWIDGETSIZE_MAX)},
      {200, 300, QSize(200, 300 + extraH)},
  };
  for (const auto& c : cases) {
    window->setClientSize(c.width, c.height);
    EXPECT_EQ(window->size(), c.window) << c.width << " x " << c.height;
  }
}

TEST_F(AppWindowTest, MenuChoicesAndPopupsSendCommands) {
  window->setMenu(Menu::fromTemplate(*ResourceModule::program().findMenu(109)));
  UiHooks hooks;
  const Menu* offered = nullptr;
  hooks.popupMenu = [&](const Menu& m) {
    offered = &m;
    return 32781;
  };
  Menu* popupSource = window->menu()->subMenu(1);
  window->trackPopupMenu(*popupSource, QPoint(0, 0), hooks);
  EXPECT_EQ(offered, popupSource);
  auto commands = messagesOf(kWmCommand);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(loWord(commands[0].wParam), 32781);
  // The visible bar follows the model.
  window->menu()->checkItem(32772, true);
  QCoreApplication::processEvents();
  bool found = false;
  for (QAction* top : window->menuBar()->actions()) {
    if (top->menu() == nullptr) continue;
    for (QAction* a : top->menu()->actions()) {
      if (a->data().toInt() == 32772) {
        found = true;
        EXPECT_TRUE(a->isChecked());
        a->trigger();
      }
    }
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(loWord(messagesOf(kWmCommand).back().wParam), 32772);
  // Rebuilding the bar does not pile up old menus.
  for (int i = 0; i < 5; ++i) {
    window->menu()->checkItem(32772, i % 2 == 0);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  EXPECT_EQ(window->menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 4);
}

TEST(CommonDialogs, HooksAnswerInsteadOfTheUser) {
  UiHooks hooks;
  MessageBoxRequest seen;
  hooks.messageBox = [&](const MessageBoxRequest& r) {
    seen = r;
    return kMbResultOk;
  };
  EXPECT_EQ(showMessageBox(hooks, nullptr, "Cannot open x", "Error"), kMbResultOk);
  EXPECT_EQ(seen.text, "Cannot open x");
  EXPECT_EQ(seen.caption, "Error");
  hooks.openFile = [](OpenFileRequest& r) {
    r.fileName = std::string(300, 'n');
    r.chosenFilter = 4;
    return true;
  };
  OpenFileRequest request;
  request.filters = {{"YUV (*.yuv)", "*.yuv;*.raw"}};
  ASSERT_TRUE(showOpenFileName(hooks, request));
  EXPECT_EQ(request.fileName.size(), 300u);  // never cut here
}

TEST(CommonDialogs, FilterTextsShowEachPatternOnce) {
  const struct {
    FileFilter filter;
    const char* shown;
  } cases[] = {
      {{"All Files (*.mp4;*.3gp;*.sdp;*.yuv)", "*.mp4;*.sdp;*.yuv;*.3gp"},
       "All Files (*.mp4 *.sdp *.yuv *.3gp)"},
      {{"YUV (*.yuv)", "*.yuv;*.raw"}, "YUV (*.yuv *.raw)"},
      {{"MPEG-4 Video ES", "*.m4v"}, "MPEG-4 Video ES (*.m4v)"},
      {{"Twice", "*.mp4;*.mp4; *.3gp"}, "Twice (*.mp4 *.3gp)"},
      {{"Version (2)", "*.txt"}, "Version (2) (*.txt)"},  // not a pattern list
  };
  for (const auto& c : cases) EXPECT_EQ(qtNameFilter(c.filter), c.shown) << c.filter.description;
}

// Qt's own dialog, answered from inside its modal loop like a user would.
TEST(CommonDialogs, SavingAcceptsANewNameAndOpeningOnlyAnExistingOne) {
  testing::application();
  const std::string folder = ::testing::TempDir() + "common_dialogs_saving";
  QDir(QString::fromStdString(folder)).removeRecursively();
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
  const std::string fresh = folder + "/new.m4v";
  bool sawSaveMode = false;
  bool sawOpenMode = false;
  const auto answer = [&](const std::string& name, bool confirm) {
    QTimer::singleShot(0, [&, name, confirm] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      if (dialog->acceptMode() == QFileDialog::AcceptSave)
        sawSaveMode = dialog->fileMode() == QFileDialog::AnyFile;
      if (dialog->acceptMode() == QFileDialog::AcceptOpen)
        sawOpenMode = dialog->fileMode() == QFileDialog::ExistingFile;
      dialog->selectFile(QString::fromStdString(name));
      if (confirm) {
        static_cast<QDialog*>(dialog)->accept();  // as the dialog's own button does
      } else {
        dialog->reject();
      }
    });
  };
  UiHooks real;
  OpenFileRequest save;
  save.forSaving = true;
  save.filters = {{"MPEG-4 Video ES", "*.m4v"}};
  answer(fresh, true);
  ASSERT_TRUE(showOpenFileName(real, save));
  EXPECT_TRUE(sawSaveMode);
  EXPECT_EQ(save.fileName, fresh);

  // Opening wants a file that exists (Qt's dialog refuses other names).
  OpenFileRequest open;
  open.filters = save.filters;
  answer(fresh, false);
  EXPECT_FALSE(showOpenFileName(real, open));
  EXPECT_TRUE(sawOpenMode);
  QDir(QString::fromStdString(folder)).removeRecursively();
}

}  // namespace
}  // namespace strevana
