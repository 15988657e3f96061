#include "platform/menu.h"

#include <QMenu>
#include <gtest/gtest.h>

#include "support/qt_application.h"

namespace strevana {
namespace {

std::unique_ptr<Menu> programMenuBar() {
  const MenuTemplate* t = ResourceModule::program().findMenu(109);
  EXPECT_NE(t, nullptr);
  return Menu::fromTemplate(*t);
}

TEST(Menu, SubmenusByPositionAndEntriesByCommand) {
  auto bar = programMenuBar();
  ASSERT_EQ(bar->itemCount(), 4u);
  Menu* file = bar->subMenu(0);
  Menu* options = bar->subMenu(2);
  ASSERT_NE(file, nullptr);
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(bar->subMenu(9), nullptr);
  EXPECT_EQ(file->item(0).id, 32771);
  // Found through submenus, from the bar and from the submenu alike.
  ASSERT_NE(bar->findItem(32783), nullptr);
  EXPECT_EQ(bar->findItem(32783)->text, "De-Ringing");
  EXPECT_NE(options->findItem(32783), nullptr);
  EXPECT_EQ(file->findItem(32783), nullptr);
  EXPECT_EQ(bar->findItem(99999), nullptr);
}

TEST(Menu, CheckMarksByCommand) {
  auto bar = programMenuBar();
  EXPECT_FALSE(bar->isChecked(32781));
  EXPECT_TRUE(bar->checkItem(32781, true));
  EXPECT_TRUE(bar->isChecked(32781));
  EXPECT_TRUE(bar->subMenu(1)->isChecked(32781));
  EXPECT_TRUE(bar->checkItem(32781, false));
  EXPECT_FALSE(bar->isChecked(32781));
  EXPECT_FALSE(bar->checkItem(12345, true));
}

TEST(Menu, DeleteByCommandTakesTheFirstMatchAndZeroFindsSeparators) {
  auto bar = programMenuBar();
  Menu* file = bar->subMenu(0);
  size_t before = file->itemCount();
  EXPECT_TRUE(file->deleteItem(32782));
  EXPECT_EQ(file->itemCount(), before - 1);
  EXPECT_FALSE(file->deleteItem(32782));
  // The File menu's only separator goes with id 0.
  EXPECT_TRUE(file->deleteItem(0));
  EXPECT_FALSE(file->deleteItem(0));
  for (size_t i = 0; i < file->itemCount(); ++i) {
    EXPECT_NE(file->item(i).kind, Menu::Kind::kSeparator);
  }
  EXPECT_TRUE(bar->subMenu(2)->deletePosition(2));  // the Postfilter popup
  EXPECT_EQ(bar->findItem(32783), nullptr);
  EXPECT_FALSE(bar->deletePosition(4));
  // Deleting through the bar reaches into submenus.
  EXPECT_TRUE(bar->deleteItem(32793));
  EXPECT_EQ(bar->findItem(32793), nullptr);
}

TEST(Menu, AppendingAndChangeNotification) {
  auto bar = programMenuBar();
  int changes = 0;
  bar->setChangeCallback([&] { ++changes; });
  Menu* options = bar->subMenu(2);
  auto languages = std::make_unique<Menu>();
  languages->appendItem(5000, "English", true);
  languages->appendItem(5001, "Deutsch");
  options->appendPopup(std::move(languages), "Language");
  EXPECT_EQ(changes, 1);  // the submenu's own appends happened before it joined
  Menu* added = options->subMenu(options->itemCount() - 1);
  ASSERT_NE(added, nullptr);
  EXPECT_TRUE(bar->isChecked(5000));
  added->checkItem(5001, true);
  EXPECT_EQ(changes, 2);  // a change deep inside reaches the bar's callback
  bar->checkItem(5001, true);
  EXPECT_EQ(changes, 2);  // no change, no notification
  options->appendSeparator();
  options->appendItem(7, "seven");
  EXPECT_EQ(changes, 4);
}

TEST(Menu, QtViewCarriesTextsChecksAndCommands) {
  testing::application();
  auto bar = programMenuBar();
  bar->checkItem(32779, true);
  QMenu view;
  std::vector<int32_t> chosen;
  bar->subMenu(2)->fillQMenu(view, [&](int32_t id) { chosen.push_back(id); });
  QMenu* postfilter = nullptr;
  for (QAction* a : view.actions()) {
    if (a->menu() != nullptr) postfilter = a->menu();
  }
  ASSERT_NE(postfilter, nullptr);
  QAction* deblock = nullptr;
  for (QAction* a : postfilter->actions()) {
    if (a->data().toInt() == 32779) deblock = a;
  }
  ASSERT_NE(deblock, nullptr);
  EXPECT_TRUE(deblock->isChecked());
  EXPECT_EQ(deblock->text(), "De-Blocking");
  deblock->trigger();
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0], 32779);
}

}  // namespace
}  // namespace strevana
