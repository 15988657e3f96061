#include "platform/dialog.h"

#include <QFontMetrics>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

#include "support/qt_application.h"

namespace strevana {
namespace {

const DialogTemplate& programDialog(int32_t id) {
  testing::application();
  const DialogTemplate* t = ResourceModule::program().findDialog(id);
  EXPECT_NE(t, nullptr);
  return *t;
}

// A horizontal dialog unit is a quarter of the font's average character
// width (of the alphabet), a vertical one an eighth of its height.
TEST(Dialog, ControlsAreBuiltByIdInDialogUnitsOfTheFont) {
  Dialog d(programDialog(176), nullptr, {});
  ASSERT_TRUE(d.item(1037) && d.item(1039) && d.item(kIdOk) && !d.item(4242));
  EXPECT_EQ(d.windowTitle(), "Network Options");
  // Enter presses OK, whichever button has the focus.
  EXPECT_TRUE(qobject_cast<QPushButton*>(d.item(kIdOk))->isDefault() &&
              !qobject_cast<QPushButton*>(d.item(kIdCancel))->autoDefault());
  const QFontMetrics metrics(d.font());
  const double average =
      metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0;
  const QRect edit = d.item(1037)->geometry();
  EXPECT_NEAR(edit.x(), 107 * average / 4, 1.0);
  EXPECT_NEAR(edit.y(), 21 * metrics.height() / 8.0, 1.0);
  EXPECT_NEAR(d.width(), 204 * average / 4, 1.0);
}

TEST(Dialog, NumbersParseLikeDialogIntegerFields) {
  Dialog d(programDialog(176), nullptr, {});
  const std::tuple<const char*, bool, std::optional<int64_t>> cases[] = {
      // text, signed, value
      // clang-format off
      {"42", false, 42},     {"  7 ", false, 7},   {"4294967295", false, 4294967295LL},
      {"4294967296", false, {}}, {"", false, {}},  {"   ", false, {}},  {"12a", false, {}},
      {"-3", false, {}},     {"+3", false, {}},    {"1 2", false, {}},   {"\t5", false, {}},
      {"-3", true, -3},      {"+3", true, {}},     {"-2147483648", true, -2147483648LL},
      {"2147483647", true, 2147483647}, {"2147483648", true, {}}, {"-2147483649", true, {}},
      {" -5 ", true, -5},    {"-", true, {}},
      // clang-format on
  };
  for (const auto& [text, isSigned, value] : cases) {
    d.setItemText(1037, text);
    EXPECT_EQ(d.itemNumber(1037, isSigned), value) << text << (isSigned ? " signed" : "");
  }
  EXPECT_FALSE(d.itemNumber(4242, false).has_value());
  d.setItemNumber(1039, 6970);
  EXPECT_EQ(d.itemText(1039), "6970");
  d.setItemText(1039, "123456");
  EXPECT_EQ(d.itemText(1039, 3), "123");
}

// Radio buttons in separate groups, disabled controls
// ignoring clicks; every click the procedure sees as a command.
TEST(Dialog, ClicksFollowEachControlsKind) {
  std::vector<uint32_t> commands;
  DialogProc proc = [&](Dialog&, uint32_t m, WParam w, LParam) -> LResult {
    if (m == kWmCommand) commands.push_back(loWord(w));
    return 1;
  };
  Dialog d(programDialog(172), nullptr, proc);
  for (int32_t id : {1002, 1011, 1017, 1005, 1018}) d.click(id);
  // 1005 took its group from 1002.
  EXPECT_TRUE(!d.isChecked(1002) && d.isChecked(1005) && d.isChecked(1011) && d.isChecked(1017));
  EXPECT_FALSE(d.isEnabled(1018) || d.isChecked(1018));
  EXPECT_EQ(commands, (std::vector<uint32_t>{1002, 1011, 1017, 1005}));
  EXPECT_FALSE(d.isEnabled(1008));
  d.enableItem(1008, true);
  EXPECT_TRUE(d.isEnabled(1008));
  // A combo box keeps the order entries were inserted in, apart from its edit.
  Dialog combo(programDialog(170), nullptr, {});
  for (const char* url : {"rtsp://c/3", "rtsp://b/2", "rtsp://a/1"})
    combo.comboInsert(1000, -1, url);
  combo.setItemText(1000, "rtsp://typed/x");
  EXPECT_EQ(std::tuple(combo.comboCount(1000), combo.comboText(1000, 0), combo.comboText(1000, 2),
                       combo.comboText(1000, 3), combo.comboText(1000, -1), combo.itemText(1000)),
            std::tuple(3, "rtsp://c/3", "rtsp://a/1", "", "", "rtsp://typed/x"));
}

// The procedure ends the dialog with its result; a hook stands in for the
// user, or the dialog runs its own modal loop. Escape and the close box
// arrive as Cancel, and a dialog left open ends as Cancel.
TEST(Dialog, RunEndsWithWhatTheProcedureSays) {
  std::vector<uint32_t> seen;
  DialogProc proc = [&](Dialog& d, uint32_t m, WParam w, LParam) -> LResult {
    seen.push_back(m == kWmCommand ? loWord(w) : m);
    if (m == kWmInitDialog) d.setItemText(1037, "5");
    if (m == kWmCommand) d.endDialog(loWord(w));
    if (m == kWmCommand) d.endDialog(99);  // only the first end counts
    return 1;
  };
  UiHooks hooks;
  std::string shown;
  hooks.dialog = [&](Dialog& d) {
    shown = d.itemText(1037);
    d.click(kIdOk);
    d.click(kIdCancel);  // ended: no more commands
  };
  EXPECT_EQ(Dialog::run(&programDialog(176), nullptr, proc, hooks), kIdOk);
  EXPECT_EQ(std::tuple(shown, seen), std::tuple("5", std::vector<uint32_t>{kWmInitDialog, kIdOk}));
  hooks.dialog = [&](Dialog& d) { d.reject(); };
  EXPECT_EQ(Dialog::run(&programDialog(176), nullptr, proc, hooks), kIdCancel);
  hooks.dialog = [](Dialog&) {};
  EXPECT_EQ(Dialog::run(&programDialog(176), nullptr, proc, hooks), kIdCancel);
  EXPECT_EQ(Dialog::run(nullptr, nullptr, proc, hooks), -1);
  // Its own loop, with the icon its provider draws; a queued click ends it.
  int32_t asked = 0;
  IconProvider icons = [&](int32_t id, int32_t size) {
    asked = id;
    return QPixmap(size, size);
  };
  DialogProc clicking = [](Dialog& d, uint32_t m, WParam w, LParam) -> LResult {
    if (m == kWmInitDialog) QTimer::singleShot(0, &d, [&d] { d.click(kIdOk); });
    if (m == kWmInitDialog) QTimer::singleShot(5000, &d, [&d] { d.reject(); });  // a deadline
    if (m == kWmCommand) d.endDialog(loWord(w));
    return 1;
  };
  EXPECT_EQ(Dialog::run(&programDialog(103), nullptr, clicking, UiHooks{}, icons), kIdOk);
  EXPECT_EQ(asked, 108);
}

}  // namespace
}  // namespace strevana
