#include "platform/dialog.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "support/qt_application.h"

namespace strevana {
namespace {

struct Recorded {
  uint32_t message;
  uint32_t id;
};

const DialogTemplate& programDialog(int32_t id) {
  const DialogTemplate* t = ResourceModule::program().findDialog(id);
  EXPECT_NE(t, nullptr);
  return *t;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::application(); }
};

TEST_F(DialogTest, ControlsAreBuiltByIdInDialogUnits) {
  Dialog d(programDialog(176), nullptr, {});
  ASSERT_NE(d.item(1037), nullptr);
  ASSERT_NE(d.item(1039), nullptr);
  ASSERT_NE(d.item(kIdOk), nullptr);
  EXPECT_EQ(d.item(4242), nullptr);
  EXPECT_EQ(d.windowTitle(), "Network Options");
  QRect edit = d.item(1037)->geometry();
  EXPECT_EQ(edit.x(), static_cast<int>(107LL * d.unitX1000() / 1000));
  EXPECT_EQ(edit.y(), static_cast<int>(21LL * d.unitY1000() / 1000));
  EXPECT_EQ(d.width(), static_cast<int>(204LL * d.unitX1000() / 1000));
  // Units come from the font: a plausible 8-point font is 4-12 pixels wide.
  EXPECT_GT(d.unitX1000(), 1000);
  EXPECT_LT(d.unitX1000(), 3500);
  EXPECT_GT(d.unitY1000(), 1000);
}

TEST_F(DialogTest, NumbersParseLikeDialogIntegerFields) {
  Dialog d(programDialog(176), nullptr, {});
  const struct {
    const char* text;
    bool isSigned;
    std::optional<int64_t> value;
  } cases[] = {
      {"42", false, 42},
      {"  7 ", false, 7},
      {"4294967295", false, 4294967295LL},
      {"4294967296", false, {}},
      {"", false, {}},
      {"   ", false, {}},
      {"12a", false, {}},
      {"-3", false, {}},
      {"+3", false, {}},
      {"1 2", false, {}},
      {"-3", true, -3},
      {"+3", true, {}},
      {"-2147483648", true, -2147483648LL},
      {"2147483647", true, 2147483647},
      {"2147483648", true, {}},
      {"-2147483649", true, {}},
      {" -5 ", true, -5},
      {"-", true, {}},
      {"\t5", false, {}},
  };
  for (const auto& c : cases) {
    d.setItemText(1037, c.text);
    EXPECT_EQ(d.itemNumber(1037, c.isSigned), c.value) << c.text << (c.isSigned ? " signed" : "");
  }
  EXPECT_FALSE(d.itemNumber(4242, false).has_value());
  d.setItemNumber(1039, 6970);
  EXPECT_EQ(d.itemText(1039), "6970");
  d.setItemText(1039, "123456");
  EXPECT_EQ(d.itemText(1039, 3), "123");
}

TEST_F(DialogTest, RadioGroupsAreSeparateAndDisabledControlsIgnoreClicks) {
  std::vector<Recorded> seen;
  Dialog d(programDialog(172), nullptr, [&](Dialog&, uint32_t m, WParam w, LParam) -> LResult {
    seen.push_back({m, loWord(w)});
    return 1;
  });
  d.click(1002);
  d.click(1011);
  d.click(1017);
  EXPECT_TRUE(d.isChecked(1002));
  EXPECT_TRUE(d.isChecked(1011));
  EXPECT_TRUE(d.isChecked(1017));
  d.click(1005);
  EXPECT_TRUE(d.isChecked(1005));
  EXPECT_FALSE(d.isChecked(1002));
  EXPECT_TRUE(d.isChecked(1011));  // another group
  EXPECT_FALSE(d.isEnabled(1018));
  d.click(1018);  // always disabled
  EXPECT_FALSE(d.isChecked(1018));
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[3].message, kWmCommand);
  EXPECT_EQ(seen[3].id, 1005u);
  EXPECT_FALSE(d.isEnabled(1008));
  d.enableItem(1008, true);
  EXPECT_TRUE(d.isEnabled(1008));
}

TEST_F(DialogTest, CheckBoxesToggleOnClick) {
  Dialog d(programDialog(177), nullptr,
           [](Dialog&, uint32_t, WParam, LParam) -> LResult { return 0; });
  EXPECT_FALSE(d.isChecked(1043));
  d.click(1043);
  EXPECT_TRUE(d.isChecked(1043));
  d.click(1043);
  EXPECT_FALSE(d.isChecked(1043));
  d.setChecked(1059, true);
  EXPECT_TRUE(d.isChecked(1059));
  EXPECT_EQ(d.itemText(1048), "-");
}

TEST_F(DialogTest, ComboInsertKeepsTheGivenOrder) {
  Dialog d(programDialog(170), nullptr, {});
  d.comboInsert(1000, -1, "rtsp://c/3");
  d.comboInsert(1000, -1, "rtsp://b/2");
  d.comboInsert(1000, -1, "rtsp://a/1");
  ASSERT_EQ(d.comboCount(1000), 3);
  EXPECT_EQ(d.comboText(1000, 0), "rtsp://c/3");
  EXPECT_EQ(d.comboText(1000, 2), "rtsp://a/1");
  EXPECT_EQ(d.itemText(1000), "");  // inserting does not fill the edit field
  d.setItemText(1000, "rtsp://typed/x");
  EXPECT_EQ(d.itemText(1000), "rtsp://typed/x");
  EXPECT_EQ(d.comboText(1000, 3), "");
  EXPECT_EQ(d.comboText(1000, -1), "");
}

TEST_F(DialogTest, RunHandsTheDialogToTheHookAndReturnsItsResult) {
  std::vector<Recorded> seen;
  DialogProc proc = [&](Dialog& d, uint32_t m, WParam w, LParam) -> LResult {
    seen.push_back({m, loWord(w)});
    if (m == kWmInitDialog) d.setItemText(1037, "5");
    if (m == kWmCommand && loWord(w) == kIdOk) d.endDialog(kIdOk);
    return 1;
  };
  UiHooks hooks;
  std::string shown;
  hooks.dialog = [&](Dialog& d) {
    shown = d.itemText(1037);
    d.click(kIdOk);
  };
  EXPECT_EQ(Dialog::run(&programDialog(176), nullptr, proc, hooks), kIdOk);
  EXPECT_EQ(shown, "5");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, kWmInitDialog);
  EXPECT_EQ(seen[1].id, static_cast<uint32_t>(kIdOk));

  // Escape and the close box arrive as Cancel.
  seen.clear();
  hooks.dialog = [&](Dialog& d) { d.reject(); };
  DialogProc cancelling = [&](Dialog& d, uint32_t m, WParam w, LParam) -> LResult {
    seen.push_back({m, loWord(w)});
    if (m == kWmCommand && loWord(w) == kIdCancel) d.endDialog(kIdCancel);
    return 1;
  };
  EXPECT_EQ(Dialog::run(&programDialog(176), nullptr, cancelling, hooks), kIdCancel);
  EXPECT_EQ(seen.back().id, static_cast<uint32_t>(kIdCancel));

  // A hook that leaves the dialog open ends it as Cancel; no template fails.
  hooks.dialog = [](Dialog&) {};
  EXPECT_EQ(Dialog::run(&programDialog(176), nullptr, proc, hooks), kIdCancel);
  EXPECT_EQ(Dialog::run(nullptr, nullptr, proc, hooks), -1);
}

TEST_F(DialogTest, RealModalLoopEndsThroughTheProcedure) {
  // Without a hook the dialog runs its own loop; a queued click ends it.
  DialogProc proc = [](Dialog& d, uint32_t m, WParam w, LParam) -> LResult {
    if (m == kWmInitDialog) {
      QTimer::singleShot(0, &d, [&d] { d.click(kIdOk); });
    }
    if (m == kWmCommand && loWord(w) == kIdOk) d.endDialog(kIdOk);
    return 1;
  };
  EXPECT_EQ(Dialog::run(&programDialog(103), nullptr, proc, UiHooks{}), kIdOk);
}

TEST_F(DialogTest, IconControlsAskTheProviderForTheirPicture) {
  int32_t asked = 0;
  IconProvider icons = [&](int32_t id, int32_t size) {
    asked = id;
    QPixmap p(size, size);
    p.fill(Qt::red);
    return p;
  };
  Dialog d(programDialog(103), nullptr, {}, icons);
  EXPECT_EQ(asked, 108);
  EXPECT_EQ(d.windowTitle(), "Info");
}

}  // namespace
}  // namespace strevana
