#include "platform/resource_module.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>
#include <vector>

namespace strevana {
namespace {

TEST(ResourceModuleParse, QuotedTextsKeepBlanksAndEscapes) {
  auto m = ResourceModule::parse(
      "[strings]\n"
      "1 = \"  padded  \"\n"
      "2 = a \"quoted\" word\n"
      "3 = \"tab\\there \\\"q\\\" back\\\\slash\\n \\q\"\n"
      "4 =\n"
      "5 = x = y\n");
  std::string s;
  ASSERT_TRUE(m->findString(1, s));
  EXPECT_EQ(s, "  padded  ");
  ASSERT_TRUE(m->findString(2, s));
  EXPECT_EQ(s, "a \"quoted\" word");
  ASSERT_TRUE(m->findString(3, s));
  EXPECT_EQ(s, "tab\there \"q\" back\\slash\n \\q");  // an unknown escape stays as written
  ASSERT_TRUE(m->findString(4, s));
  EXPECT_EQ(s, "");
  ASSERT_TRUE(m->findString(5, s));
  EXPECT_EQ(s, "x = y");
  EXPECT_TRUE(m->errors().empty());
}

TEST(ResourceModuleParse, BomCrLfCommentsAndUtf8) {
  auto m = ResourceModule::parse(
      "\xEF\xBB\xBF# c\r\n[strings]\r\n  # indented comment\r\n"
      "2000\t=\tDeutsch\t\r\n141 = Kann nicht \xC3\xB6"
      "ffnen\r\n");
  std::string s;
  ASSERT_TRUE(m->findString(2000, s));
  EXPECT_EQ(s, "Deutsch");
  ASSERT_TRUE(m->findString(141, s));
  EXPECT_EQ(s,
            "Kann nicht \xC3\xB6"
            "ffnen");
  EXPECT_TRUE(m->errors().empty());
}

TEST(ResourceModuleParse, MalformedLinesAreSkippedAndReported) {
  auto m = ResourceModule::parse(
      "stray = outside\n"
      "[strings]\n"
      "abc = not an id\n"
      "70000 = id too large\n"
      "-1 = negative\n"
      "7 = \"unterminated\n"
      "8 = ok\n"
      "8 = second\n"
      "[bogus 1]\n"
      "9 = ignored\n"
      "[menu x]\n"
      "[dialog 5\n"
      "[strings]\n"
      "10 = after\n");
  std::string s;
  EXPECT_FALSE(m->findString(7, s));
  EXPECT_FALSE(m->findString(9, s));
  ASSERT_TRUE(m->findString(8, s));
  EXPECT_EQ(s, "ok");  // the first definition wins
  ASSERT_TRUE(m->findString(10, s));
  EXPECT_GE(m->errors().size(), 9u);
  EXPECT_NE(m->errors().front().find("line 1"), std::string::npos);
}

TEST(ResourceModuleParse, MenusCloseUnbalancedPopupsAndBoundNesting) {
  std::string text = "[menu 1]\nend\npopup = A\nitem 5 = five\nitem 0 = zero id\nitem x = bad\n";
  for (int i = 0; i < 20; ++i) text += "popup = deep\n";
  text += "item 6 = lost\n";
  for (int i = 0; i < 20; ++i) text += "end\n";
  text += "end\npopup = B\nitem 7 = seven\n";  // B never ends
  auto m = ResourceModule::parse(text);
  const MenuTemplate* menu = m->findMenu(1);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->items.size(), 2u);
  EXPECT_EQ(menu->items[1].text, "B");
  ASSERT_EQ(menu->items[1].children.size(), 1u);
  EXPECT_EQ(menu->items[1].children[0].id, 7);
  // Depth is bounded: the innermost popups were dropped with their items.
  int depth = 0;
  const MenuItemTemplate* p = &menu->items[0];
  while (!p->children.empty() && p->children.back().kind == MenuItemTemplate::Kind::kPopup) {
    p = &p->children.back();
    ++depth;
  }
  EXPECT_LT(depth, ResourceModule::kMaxMenuDepth);
  EXPECT_EQ(menu->items[0].children[0].id, 5);
  EXPECT_FALSE(m->errors().empty());
}

TEST(ResourceModuleParse, DialogControlsValidateClassesGeometryAndFlags) {
  auto m = ResourceModule::parse(
      "[dialog 9]\n"
      "caption = Test\n"
      "rect = 1 2 300 200\n"
      "font = 9 DejaVu Sans\n"
      "edit 100 1 2 30 12 number disabled = 5\n"
      "widget 101 1 2 3 4 = unknown class\n"
      "edit 102 1 2 0 4 = zero width\n"
      "edit 103 1 2 = too few numbers\n"
      "radio 104 1 2 3 4 shiny = unknown flag kept\n"
      "rect = 1 2\n"
      "font = huge Arial\n"
      "font = 73 Big\n"
      "[dialog 9]\n"
      "caption = duplicate\n");
  const DialogTemplate* d = m->findDialog(9);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->caption, "Test");
  EXPECT_EQ(d->x, 1);
  EXPECT_EQ(d->width, 300);
  EXPECT_EQ(d->fontPoints, 9);
  EXPECT_EQ(d->fontName, "DejaVu Sans");
  ASSERT_EQ(d->controls.size(), 2u);
  EXPECT_EQ(d->controls[0].flags, kControlNumber | kControlDisabled);
  EXPECT_EQ(d->controls[0].text, "5");
  EXPECT_EQ(d->controls[1].id, 104);
  EXPECT_EQ(d->controls[1].flags, 0u);
  EXPECT_EQ(m->errors().size(), 8u);
  // The smallest font, size and section id there are.
  auto small = ResourceModule::parse(
      "[dialog 0]\nrect = 0 0 1 1\nfont = 1 Tiny\n[menu 0]\nitem 1 = one\n"
      "[menu 0]\nitem 2 = two\n");
  ASSERT_NE(small->findDialog(0), nullptr);
  EXPECT_EQ(small->findDialog(0)->width, 1);
  EXPECT_EQ(small->findDialog(0)->fontPoints, 1);
  ASSERT_NE(small->findMenu(0), nullptr);
  ASSERT_EQ(small->findMenu(0)->items.size(), 1u);
  EXPECT_EQ(small->findMenu(0)->items[0].id, 1);  // the first of two sections wins
  EXPECT_EQ(small->errors().size(), 1u);
}

TEST(ResourceModuleParse, AcceleratorKeySpecs) {
  auto m = ResourceModule::parse(
      "[accelerators 3]\n1 = Ctrl+Shift+O\n2 = alt++\n3 = F1\n4 = Alt+\n0 = Alt+x\n");
  const AcceleratorTable* t = m->findAccelerators(3);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->entries.size(), 4u);
  EXPECT_TRUE(t->entries[0].ctrl && t->entries[0].shift && !t->entries[0].alt);
  EXPECT_EQ(t->entries[0].key, "O");
  EXPECT_TRUE(t->entries[1].alt);
  EXPECT_EQ(t->entries[1].key, "+");
  EXPECT_EQ(t->entries[2].key, "F1");
  EXPECT_EQ(t->entries[2].command, 3);
  EXPECT_EQ(t->entries[3].key, "Alt+");  // a trailing "+" is the key itself
  EXPECT_FALSE(t->entries[3].alt);
  EXPECT_EQ(m->errors().size(), 1u);  // command 0
}

TEST(ResourceModuleParse, OverlongLinesAndGarbageStayBounded) {
  std::string text = "[strings]\n1 = " + std::string(ResourceModule::kMaxLineBytes, 'x') + "\n";
  for (int c = 0; c < 256; ++c) text += static_cast<char>(c);
  text += "\n2 = fine\n";
  auto m = ResourceModule::parse(text);
  std::string s;
  EXPECT_FALSE(m->findString(1, s));
  EXPECT_TRUE(m->findString(2, s));
}

// A module of `items` menu items and `controls` dialog controls, spread over
// as many menus and dialogs as the per-list bound needs.
std::string moduleWith(size_t items, size_t controls) {
  std::string text = "[strings]\n2000 = Big\n";
  for (size_t i = 0; i < items; ++i) {
    if (i % ResourceModule::kMaxItemsPerList == 0) {
      text += "[menu " + std::to_string(1 + i / ResourceModule::kMaxItemsPerList) + "]\n";
    }
    text += "item 7 = x\n";
  }
  for (size_t i = 0; i < controls; ++i) {
    if (i % ResourceModule::kMaxItemsPerList == 0) {
      text += "[dialog " + std::to_string(1 + i / ResourceModule::kMaxItemsPerList) + "]\n";
    }
    text += "static -1 1 1 1 1 = x\n";
  }
  return text;
}

size_t menuEntries(const std::vector<MenuItemTemplate>& items) {
  size_t n = items.size();
  for (const auto& item : items) n += menuEntries(item.children);
  return n;
}

TEST(ResourceModuleParse, ModulesPastTheMenuOrControlCapAreRefusedWhole) {
  constexpr size_t kItems = ResourceModule::kMaxMenuItems;
  constexpr size_t kControls = ResourceModule::kMaxDialogControls;
  struct Case {
    size_t items, controls;
    bool accepted;
  };
  // clang-format off
  const Case cases[] = {
      {kItems, 0, true},          {kItems + 1, 0, false},
      {0, kControls, true},       {0, kControls + 1, false},
      {kItems, kControls, true},  {kItems + 1, kControls + 1, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.items) + " items, " + std::to_string(c.controls) + " controls");
    auto m = ResourceModule::parse(moduleWith(c.items, c.controls));
    ASSERT_EQ(m != nullptr, c.accepted);
    if (!c.accepted) continue;
    EXPECT_TRUE(m->errors().empty()) << m->errors().front();
    size_t items = 0, controls = 0;
    for (int32_t id = 1; id <= 9; ++id) {
      if (const MenuTemplate* menu = m->findMenu(id)) items += menuEntries(menu->items);
      if (const DialogTemplate* dialog = m->findDialog(id)) controls += dialog->controls.size();
    }
    EXPECT_EQ(items, c.items);
    EXPECT_EQ(controls, c.controls);
  }
}

TEST(ResourceModuleParse, SeparatorsAndPopupsCountTowardsTheMenuCap) {
  // Popups of one popup entry and 511 separators each: 8 of them are exactly
  // the cap; 512 of them (262144 entries) still fit within the file size cap.
  const struct {
    size_t popups;
    bool accepted;
  } cases[] = {{8, true}, {9, false}, {ResourceModule::kMaxItemsPerList, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.popups) + " popups");
    std::string text = "[menu 109]\n";
    for (size_t p = 0; p < c.popups; ++p) {
      text += "popup = p\n";
      for (size_t i = 1; i < ResourceModule::kMaxItemsPerList; ++i) text += "separator\n";
      text += "end\n";
    }
    ASSERT_LE(text.size(), ResourceModule::kMaxFileBytes);
    auto m = ResourceModule::parse(text);
    ASSERT_EQ(m != nullptr, c.accepted);
    if (m) {
      EXPECT_EQ(menuEntries(m->findMenu(109)->items), ResourceModule::kMaxMenuItems);
    }
  }
}

TEST(ResourceModuleLoad, FilesPastTheSizeOrTheMenuCapAreRefusedLikeUnreadableOnes) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.filePath("strevanaPlayer_big.lang").toStdString();
  const std::string head = "[strings]\n2000 = Big\n";
  const struct {
    std::string text;
    bool loads;
  } cases[] = {
      {head + std::string(ResourceModule::kMaxFileBytes - head.size(), '\n'), true},
      {head + std::string(ResourceModule::kMaxFileBytes - head.size() + 1, '\n'), false},
      {moduleWith(ResourceModule::kMaxMenuItems + 1, 0), false},
  };
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.text;
    EXPECT_EQ(ResourceModule::load(path) != nullptr, c.loads) << c.text.size() << " bytes";
  }
}

TEST(ResourceModuleLoad, MissingFileGivesNull) {
  EXPECT_EQ(ResourceModule::load("/nonexistent/strevanaPlayer_x.lang"), nullptr);
}

}  // namespace
}  // namespace strevana
