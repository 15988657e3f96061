// The recent list: its rules as plain data, its registry values, its part of
// the File menu, and opening its entries from the shell.
#include "app/recent_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/menu.h"
#include "platform/registry.h"
#include "shell_test.h"

namespace strevana {
namespace {

using testing::clearSettings;
using testing::fixture;
using testing::settingNumber;
using testing::settingString;

// "f:name" or "u:name" per entry, top first.
std::string listed(const RecentList& list) {
  std::string out;
  for (int32_t i = 0; i < list.count; ++i) {
    const RecentEntry& e = list.entries[static_cast<size_t>(i)];
    out += (e.kind == kRecentKindUrl ? "u:" : "f:") + e.name + (i + 1 < list.count ? " " : "");
  }
  return out;
}

TEST(RecentListTest, AddingFollowsTheListRules) {
  const struct {
    std::vector<std::pair<int32_t, std::string>> adds;
    std::string expected;
  } cases[] = {
      // A reopened name moves to the top with its new kind; any nonzero kind is a URL.
      {{{0, "a"}, {0, "b"}, {0, "c"}, {7, "a"}}, "u:a f:c f:b"},
      {{{1, "a"}, {0, "a"}}, "f:a"},
      // Names are compared byte for byte.
      {{{0, "a"}, {0, "A"}}, "f:A f:a"},
      // 255 bytes fit; 256 are refused, leaving the list as it was.
      {{{0, "keep"}, {0, std::string(256, 'x')}}, "f:keep"},
      {{{0, std::string(255, 'x')}}, "f:" + std::string(255, 'x')},
  };
  for (const auto& c : cases) {
    RecentList list;
    for (const auto& [kind, name] : c.adds) EXPECT_EQ(list.add(kind, name), name.size() <= 255);
    EXPECT_EQ(listed(list), c.expected);
  }
}

TEST(RecentListTest, TheEleventhNameDropsTheOldestAndAReopenedOneKeepsTheRest) {
  RecentList list;
  for (int i = 0; i < 11; ++i) list.add(kRecentKindFile, std::to_string(i));
  EXPECT_EQ(listed(list), "f:10 f:9 f:8 f:7 f:6 f:5 f:4 f:3 f:2 f:1");
  list.add(kRecentKindFile, "5");
  EXPECT_EQ(listed(list), "f:5 f:10 f:9 f:8 f:7 f:6 f:4 f:3 f:2 f:1");
  // The name handed in may live in the list itself.
  const std::string& inside = list.entries[9].name;
  list.add(kRecentKindUrl, inside);
  EXPECT_EQ(listed(list), "u:1 f:5 f:10 f:9 f:8 f:7 f:6 f:4 f:3 f:2");
}

TEST(RecentListTest, RemoveShiftsLaterEntriesAndIgnoresBadIndexes) {
  RecentList list;
  for (const char* n : {"c", "b", "a"}) list.add(kRecentKindFile, n);
  list.remove(-1);
  list.remove(3);
  list.remove(0);
  EXPECT_EQ(listed(list), "f:b f:c");
  EXPECT_TRUE(list.entries[2].name.empty());
}

class RecentRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearSettings();
    key = RegistryKey::open();
  }
  void seed(int32_t index, const std::string& name, uint32_t kind) {
    key->setString(recentNameValue(index).c_str(), name);
    key->setNumber(recentKindValue(index).c_str(), kind);
  }
  RecentList read() const {
    RecentList list;
    list.read(*key);
    return list;
  }
  std::unique_ptr<RegistryKey> key;
};

TEST_F(RecentRegistryTest, ValuesRoundTripWithTheirKinds) {
  RecentList list;
  list.add(kRecentKindFile, "/clips/b.mp4");
  list.add(5, "rtsp://127.0.0.1/a");
  list.write(*key);
  EXPECT_EQ(key->queryString("MRUName0").value_or(""), "rtsp://127.0.0.1/a");
  uint32_t kind = 7;
  ASSERT_TRUE(key->queryNumber("MRUUrl0", kind));
  EXPECT_EQ(kind, 1u);
  ASSERT_TRUE(key->queryNumber("MRUUrl1", kind));
  EXPECT_EQ(kind, 0u);
  EXPECT_FALSE(key->queryString("MRUName2"));
  EXPECT_EQ(listed(read()), "u:rtsp://127.0.0.1/a f:/clips/b.mp4");
}

TEST_F(RecentRegistryTest, ReadingStopsAtTheFirstIncompleteEntry) {
  const struct {
    const char* spoil;  // value taken away or made unreadable at entry 2
    const char* expected;
  } cases[] = {{"", "f:0 u:1 f:2 u:3"},
               {"MRUUrl2", "f:0 u:1"},
               {"MRUName2", "f:0 u:1"},
               {"long", "f:0 u:1"}};
  for (const auto& c : cases) {
    for (int32_t i = 0; i < 4; ++i) seed(i, std::to_string(i), static_cast<uint32_t>(i % 2 * 7));
    if (std::string(c.spoil) == "long") {
      seed(2, std::string(256, 'n'), 0);
    } else if (*c.spoil != '\0') {
      key->deleteValue(c.spoil);
    }
    EXPECT_EQ(listed(read()), c.expected) << c.spoil;
  }
}

TEST_F(RecentRegistryTest, WritingLeavesHigherValuesOfEarlierRuns) {
  for (int32_t i = 0; i < 5; ++i) seed(i, "/old/" + std::to_string(i), 0);
  RecentList list;
  list.add(kRecentKindFile, "/new/1");
  list.add(kRecentKindUrl, "/new/0");
  list.write(*key);
  EXPECT_EQ(listed(read()), "u:/new/0 f:/new/1 f:/old/2 f:/old/3 f:/old/4");
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
  // The File menu's recent entries, in order.
  static std::vector<std::string> menuEntries() {
    std::vector<std::string> names;
    const Menu& file = *bar().subMenu(0);
    for (size_t i = 0; i < file.itemCount(); ++i) {
      const Menu::Item& item = file.item(i);
      if (item.kind == Menu::Kind::kItem && item.id >= 1 && item.id <= 10) {
        EXPECT_EQ(item.id, static_cast<int32_t>(names.size()) + 1);
        names.push_back(item.text);
      }
    }
    return names;
  }
  static void seed(const std::vector<std::string>& names) {
    RecentList list;
    for (auto it = names.rbegin(); it != names.rend(); ++it) list.add(kRecentKindFile, *it);
    list.write(*RegistryKey::open());
  }
};

TEST_F(RecentShellTest, OpenedFilesAndEntriesMoveToTheTopAndAreSavedAtExit) {
  const std::string first = fixture("h263_amrnb.3gp");
  const std::string second = fixture("mpeg4_aac.mp4");
  seed({first, "/clips/older.mp4"});
  start("");
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{first, "/clips/older.mp4"}));
  openLocalFile(app().mainWindow.get(), second);
  openLocalFile(app().mainWindow.get(), second);
  command(2);  // entry 2 is now the first file
  ASSERT_TRUE(boxes.empty()) << boxes.front().text;
  EXPECT_EQ(app().mainWindow->caption(), first);
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{first, second, "/clips/older.mp4"}));
  // Commands beyond the list do nothing.
  command(4);
  EXPECT_TRUE(boxes.empty());
  command(kCmdExit);
  EXPECT_EQ(settingString("MRUName1"), second);
  EXPECT_EQ(settingNumber("MRUUrl1"), 0u);
  EXPECT_EQ(settingString("MRUName2"), "/clips/older.mp4");
}

TEST_F(RecentShellTest, AnEntryThatFailsLeavesTheListAsItWas) {
  const std::string missing = ::testing::TempDir() + "gone-since-last-run.mp4";
  const std::string other = fixture("mpeg4_aac.mp4");
  seed({missing, other});
  start("");
  command(1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Cannot open " + missing);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(app().mainWindow->caption(), "strevana Player");
  EXPECT_EQ(menuEntries(), (std::vector<std::string>{missing, other}));
}

}  // namespace
}  // namespace strevana
