#include "platform/menu.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace strevana {
namespace {

// Submenus are found by position, entries by command at any depth. Every
// change anywhere in the tree reaches the bar's callback once; setting what
// already is, or a command that is not there, changes nothing. Deleting by
// command takes the first match at any depth (0: separators), by position
// only in the menu itself.
TEST(Menu, EntriesByCommandAtAnyDepthAndChangesNotifyTheBarOnce) {
  // The program's menu bar: File, View, Options (with the Postfilter popup), Help.
  const MenuTemplate* t = ResourceModule::program().findMenu(109);
  ASSERT_NE(t, nullptr);
  auto bar = Menu::fromTemplate(*t);
  ASSERT_TRUE(bar->itemCount() == 4 && bar->subMenu(3) && !bar->subMenu(4));
  EXPECT_EQ(bar->findItem(32783)->text, "De-Ringing");
  EXPECT_EQ(bar->subMenu(0)->findItem(32783), nullptr);
  int changes = 0;
  bar->setChangeCallback([&] { ++changes; });
  Menu* file = bar->subMenu(0);
  Menu* options = bar->subMenu(2);
  auto languages = std::make_unique<Menu>();
  languages->appendItem(5000, "English", true);
  languages->appendItem(5001, "Deutsch");
  options->appendPopup(std::move(languages), "Language");
  EXPECT_EQ(changes, 1);  // the submenu's own appends happened before it joined
  EXPECT_TRUE(bar->isChecked(5000));
  // A change, what it returns, the callbacks so far.
  const std::tuple<std::function<bool()>, bool, int> steps[] = {
      // clang-format off
      {[&] { return options->subMenu(6)->checkItem(5001, true); }, true, 2},
      {[&] { return bar->checkItem(5001, true); }, true, 2},
      {[&] { return bar->enableItem(5001, false); }, true, 3},
      {[&] { return bar->checkItem(12345, true) || bar->enableItem(12345, false); }, false, 3},
      {[&] { return bar->enableItem(5001, false); }, true, 3},
      {[&] { options->appendSeparator(); return true; }, true, 4},
      {[&] { options->appendItem(7, "seven"); return true; }, true, 5},
      {[&] { return bar->deleteItem(7); }, true, 6},
      {[&] { return file->deleteItem(32782); }, true, 7},
      {[&] { return file->deleteItem(32782); }, false, 7},
      {[&] { return file->deleteItem(0); }, true, 8},  // its only separator
      {[&] { return file->deleteItem(0); }, false, 8},
      {[&] { return bar->deleteItem(32793); }, true, 9},
      {[&] { return options->deletePosition(2); }, true, 10},  // the Postfilter popup
      {[&] { return bar->deletePosition(4); }, false, 10},
      // clang-format on
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    const auto& [change, result, after] = steps[i];
    EXPECT_EQ(change(), result) << "step " << i;
    EXPECT_EQ(changes, after) << "step " << i;
  }
  EXPECT_TRUE(!bar->findItem(5001)->enabled && !bar->findItem(32783) && !bar->findItem(32793));
  EXPECT_EQ(file->itemCount(), 4u);
}

}  // namespace
}  // namespace strevana
