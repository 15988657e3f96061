// The recent list: its rules, its registry values across runs, its part of
// the File menu, and opening its entries.
#include "app/recent_list.h"

#include <gtest/gtest.h>

#include <string>

#include "app/app_globals.h"
#include "app/main_window.h"
#include "platform/menu.h"
#include "shell2_support.h"
#include "shell_fixture.h"

namespace strevana {
namespace {

using testing::clearSettings;
using testing::deleteSetting;
using testing::fixture;
using testing::setSetting;
using testing::settingNumber;
using testing::settingString;

std::string nameAt(const RecentList& list, int32_t i) { return list.entries[static_cast<size_t>(i)].name; }
int32_t kindAt(const RecentList& list, int32_t i) { return list.entries[static_cast<size_t>(i)].kind; }

TEST(RecentListTest, ReopenedNameMovesToTheTopWithItsNewKind) {
  RecentList list;
  list.add(kRecentKindFile, "a.mp4");
  list.add(kRecentKindFile, "b.mp4");
  list.add(kRecentKindFile, "c.mp4");
  list.add(kRecentKindUrl, "a.mp4");
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(nameAt(list, 0), "a.mp4");
  EXPECT_EQ(kindAt(list, 0), kRecentKindUrl);
  EXPECT_EQ(nameAt(list, 1), "c.mp4");
  EXPECT_EQ(nameAt(list, 2), "b.mp4");
  // Names differing only in case are different names.
  list.add(kRecentKindFile, "A.mp4");
  EXPECT_EQ(list.count, 4);
}

TEST(RecentListTest, EleventhNameDropsTheOldest) {
  RecentList list;
  for (int i = 0; i < 11; ++i) list.add(kRecentKindFile, "clip" + std::to_string(i));
  ASSERT_EQ(list.count, RecentList::kCapacity);
  EXPECT_EQ(nameAt(list, 0), "clip10");
  EXPECT_EQ(nameAt(list, 9), "clip1");
  // Reopening one already in a full list keeps the others.
  list.add(kRecentKindFile, "clip5");
  EXPECT_EQ(list.count, RecentList::kCapacity);
  EXPECT_EQ(nameAt(list, 0), "clip5");
  EXPECT_EQ(nameAt(list, 9), "clip1");
}

TEST(RecentListTest, TooLongNamesAreRefusedAndOwnNamesSurviveTheShift) {
  RecentList list;
  list.add(kRecentKindFile, "keep.mp4");
  EXPECT_FALSE(list.add(kRecentKindFile, std::string(256, 'x')));
  EXPECT_TRUE(list.add(kRecentKindFile, std::string(255, 'x')));
  ASSERT_EQ(list.count, 2);
  // The name handed in may live in the list itself.
  const std::string& inside = list.entries[1].name;
  list.add(kRecentKindUrl, inside);
  EXPECT_EQ(list.count, 2);
  EXPECT_EQ(nameAt(list, 0), "keep.mp4");
  EXPECT_EQ(kindAt(list, 0), kRecentKindUrl);
}

TEST(RecentListTest, RemoveShiftsLaterEntriesAndIgnoresBadIndexes) {
  RecentList list;
  for (const char* n : {"c", "b", "a"}) list.add(kRecentKindFile, n);
  list.remove(-1);
  list.remove(3);
  EXPECT_EQ(list.count, 3);
  list.remove(0);
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(nameAt(list, 0), "b");
  EXPECT_EQ(nameAt(list, 1), "c");
  EXPECT_TRUE(list.entries[2].name.empty());
}

TEST(RecentMenuTest, TheRecentPartIsReplacedAndNothingElse) {
  Menu file;
  file.appendItem(32771, "&Open");
  file.appendSeparator();
  file.appendItem(105, "E&xit");
  RecentList list;
  list.add(kRecentKindFile, "one.mp4");
  list.add(kRecentKindUrl, "rtsp://host/Tom & Jerry");
  showRecentEntries(file, list);
  showRecentEntries(file, list);  // twice: still one copy
  ASSERT_EQ(file.itemCount(), 6u);
  EXPECT_EQ(file.item(1).kind, Menu::Kind::kSeparator);
  EXPECT_EQ(file.item(3).kind, Menu::Kind::kSeparator);
  EXPECT_EQ(file.item(4).id, 1);
  EXPECT_EQ(file.item(4).text, "rtsp://host/Tom && Jerry");
  EXPECT_EQ(file.item(5).id, 2);
  EXPECT_EQ(file.item(5).text, "one.mp4");
  list.clear();
  showRecentEntries(file, list);
  ASSERT_EQ(file.itemCount(), 3u);
  EXPECT_EQ(file.item(1).kind, Menu::Kind::kSeparator);
  EXPECT_EQ(file.item(2).id, 105);
}

class RecentShellTest : public testing::ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    clearSettings();
  }

  static Menu& fileMenu() { return *bar().subMenu(0); }
  // The File menu's recent entries, in order.
  static std::vector<std::string> menuEntries() {
    std::vector<std::string> names;
    const Menu& file = fileMenu();
    for (size_t i = 0; i < file.itemCount(); ++i) {
      const Menu::Item& item = file.item(i);
      if (item.kind == Menu::Kind::kItem && item.id >= 1 && item.id <= 10) {
        EXPECT_EQ(item.id, static_cast<int32_t>(names.size()) + 1);
        names.push_back(item.text);
      }
    }
    return names;
  }
  static void seed(int32_t index, const std::string& name, uint32_t kind) {
    setSetting(recentNameValue(index).c_str(), name);
    setSetting(recentKindValue(index).c_str(), kind);
  }
};

TEST_F(RecentShellTest, RoundTripThroughTheRegistry) {
  start("");
  EXPECT_EQ(app().recentList.count, 0);
  EXPECT_TRUE(menuEntries().empty());
  addRecentEntry(kRecentKindFile, "/clips/a.mp4");
  addRecentEntry(kRecentKindUrl, "rtsp://127.0.0.1/b");
  addRecentEntry(kRecentKindFile, "/clips/c.mp4");
  addRecentEntry(kRecentKindUrl, "/clips/a.mp4");  // reopened, now as a URL
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{"/clips/a.mp4", "/clips/c.mp4", "rtsp://127.0.0.1/b"}));
  command(kCmdExit);  // saves at shutdown
  EXPECT_EQ(settingString("MRUName0"), "/clips/a.mp4");
  EXPECT_EQ(settingNumber("MRUUrl0"), 1u);
  EXPECT_EQ(settingString("MRUName1"), "/clips/c.mp4");
  EXPECT_EQ(settingNumber("MRUUrl1"), 0u);
  EXPECT_EQ(settingNumber("MRUUrl2"), 1u);
  EXPECT_FALSE(settingString("MRUName3"));

  resetAppGlobals();
  start("");
  ASSERT_EQ(app().recentList.count, 3);
  EXPECT_EQ(app().recentList.entries[0].kind, kRecentKindUrl);
  EXPECT_EQ(app().recentList.entries[2].kind, kRecentKindUrl);
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{"/clips/a.mp4", "/clips/c.mp4", "rtsp://127.0.0.1/b"}));
}

TEST_F(RecentShellTest, TheEleventhNameDropsTheOldestOnDiskToo) {
  for (int32_t i = 0; i < 10; ++i) seed(i, "/clips/" + std::to_string(9 - i) + ".mp4", 0);
  start("");
  ASSERT_EQ(app().recentList.count, 10);
  addRecentEntry(kRecentKindUrl, "rtsp://127.0.0.1/eleventh");
  EXPECT_EQ(menuEntries().size(), 10u);
  saveRecentList();
  EXPECT_EQ(settingString("MRUName0"), "rtsp://127.0.0.1/eleventh");
  EXPECT_EQ(settingString("MRUName9"), "/clips/1.mp4");
  EXPECT_FALSE(settingString("MRUName10"));
  resetAppGlobals();
  start("");
  ASSERT_EQ(app().recentList.count, 10);
  EXPECT_EQ(menuEntries().front(), "rtsp://127.0.0.1/eleventh");
  EXPECT_EQ(menuEntries().back(), "/clips/1.mp4");
}

TEST_F(RecentShellTest, AnyNonzeroKindIsAUrl) {
  seed(0, "rtsp://x/y", 7);
  start("");
  ASSERT_EQ(app().recentList.count, 1);
  EXPECT_EQ(app().recentList.entries[0].kind, kRecentKindUrl);
}

TEST_F(RecentShellTest, AMissingKindValueEndsTheListOnTheNextStart) {
  for (int32_t i = 0; i < 4; ++i) seed(i, "/clips/" + std::to_string(i) + ".mp4", 0);
  deleteSetting("MRUUrl2");
  start("");
  EXPECT_EQ(app().recentList.count, 2);
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{"/clips/0.mp4", "/clips/1.mp4"}));
}

TEST_F(RecentShellTest, ANameTooLongForTheReadBufferEndsTheList) {
  seed(0, "/clips/ok.mp4", 0);
  seed(1, std::string(256, 'n'), 0);
  seed(2, "/clips/after.mp4", 0);
  start("");
  EXPECT_EQ(app().recentList.count, 1);
}

TEST_F(RecentShellTest, HigherValuesOfEarlierRunsAreLeftBehind) {
  for (int32_t i = 0; i < 5; ++i) seed(i, "/old/" + std::to_string(i) + ".mp4", 0);
  start("");
  app().recentList.clear();
  addRecentEntry(kRecentKindFile, "/new/1.mp4");
  addRecentEntry(kRecentKindUrl, "/new/0.mp4");
  saveRecentList();
  EXPECT_EQ(settingString("MRUName0"), "/new/0.mp4");
  EXPECT_EQ(settingString("MRUName1"), "/new/1.mp4");
  EXPECT_EQ(settingString("MRUName2"), "/old/2.mp4");
  EXPECT_EQ(settingString("MRUName4"), "/old/4.mp4");
}

TEST_F(RecentShellTest, OpeningAFileTwiceKeepsOneEntryAtTheTop) {
  seed(0, "/clips/older.mp4", 0);
  start("");
  const std::string clip = fixture("mpeg4_aac.mp4");
  openLocalFile(app().mainWindow.get(), clip);
  openLocalFile(app().mainWindow.get(), clip);
  ASSERT_TRUE(boxes.empty()) << boxes.front().text;
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{clip, "/clips/older.mp4"}));
  // Exactly one separator in front of the list, and the File menu's own
  // separator (before Exit) is still there.
  const Menu& file = fileMenu();
  size_t separators = 0;
  for (size_t i = 0; i < file.itemCount(); ++i) separators += file.item(i).kind == Menu::Kind::kSeparator;
  EXPECT_EQ(separators, 2u);
  EXPECT_EQ(file.item(file.itemCount() - 3).kind, Menu::Kind::kSeparator);
  EXPECT_EQ(file.item(file.itemCount() - 4).id, static_cast<int32_t>(kCmdExit));
}

TEST_F(RecentShellTest, ARecentEntryOpensAndMovesToTheTop) {
  const std::string first = fixture("h263_amrnb.3gp");
  const std::string second = fixture("mpeg4_aac.mp4");
  seed(0, first, 0);
  seed(1, second, 0);
  start("");
  command(2);
  ASSERT_TRUE(boxes.empty()) << boxes.front().text;
  EXPECT_EQ(app().mainWindow->caption(), second);
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{second, first}));
  EXPECT_EQ(app().recentList.entries[0].kind, kRecentKindFile);
}

TEST_F(RecentShellTest, ARecentEntryThatFailsLeavesTheListAsItWas) {
  const std::string missing = ::testing::TempDir() + "gone-since-last-run.mp4";
  const std::string other = fixture("mpeg4_aac.mp4");
  seed(0, other, 0);
  seed(1, missing, 0);
  start("");
  const std::string caption = app().mainWindow->caption();
  command(2);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot open " + missing);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(app().mainWindow->caption(), caption);
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{other, missing}));
  // Commands beyond the list do nothing.
  command(3);
  EXPECT_EQ(boxes.size(), 1u);
}

}  // namespace
}  // namespace strevana
