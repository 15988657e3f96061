#include "platform/resource_module.h"

#include <gtest/gtest.h>

#include <fstream>
#include <tuple>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace strevana {
namespace {

// A value is the rest of the line, trimmed, or a quoted text with escapes.
TEST(ResourceModuleParse, StringValuesKeepQuotedBlanksAndEscapes) {
  const std::pair<const char*, const char*> cases[] = {
      // the line, its text (null: refused)
      // clang-format off
      {"1 = \"  padded  \"", "  padded  "},   {"1 = a \"quoted\" word", "a \"quoted\" word"},
      {R"(1 = "tab\there \"q\" back\\slash\n \q")", "tab\there \"q\" back\\slash\n \\q"},
      {"1 =", ""},                  {"1 = x = y", "x = y"},   {"1\t=\tDeutsch\t\r", "Deutsch"},
      {"1 = \xC3\xB6l", "\xC3\xB6l"}, {"1 = \"\"", ""},     {"1 = \"unterminated", nullptr},
      {"1 = \"", nullptr},          {"1 = \"a\"b\"", nullptr},
      // clang-format on
  };
  for (const auto& [line, text] : cases) {
    auto m = ResourceModule::parse(std::string("\xEF\xBB\xBF# c\r\n[strings]\r\n  # comment\n") +
                                   line + "\n");
    std::string s;
    ASSERT_EQ(m->findString(1, s), text != nullptr) << line;
    EXPECT_EQ(s, text ? text : "") << line;
    EXPECT_EQ(m->errors().empty(), text != nullptr) << line;
  }
}

TEST(ResourceModuleParse, MalformedLinesAreSkippedAndReportedUpToABound) {
  auto m = ResourceModule::parse(
      "stray = outside\n[strings]\nabc = not an id\n70000 = id too large\n-1 = negative\n"
      "8 = ok\n8 = second\n[bogus 1]\n9 = ignored\n[menu x]\n[dialog 5\n[strings]\n"
      "10 = after\n12 = " +
      std::string(ResourceModule::kMaxLineBytes - 4, 'x') +
      "\n13 = " + std::string(ResourceModule::kMaxLineBytes - 5, 'x') + "\n11 = fine\n");
  std::string s;
  EXPECT_FALSE(m->findString(9, s) || m->findString(12, s));  // 12: a byte too long
  EXPECT_TRUE(m->findString(8, s) && s == "ok");              // the first definition wins
  EXPECT_TRUE(m->findString(10, s) && m->findString(11, s) && m->findString(13, s));
  ASSERT_EQ(m->errors().size(), 9u);  // lines in an unknown section are no error
  EXPECT_NE(m->errors().front().find("line 1"), std::string::npos);
  // Garbage of every byte, and more bad lines than are worth reporting.
  std::string garbage = "[strings]\n";
  for (int c = 0; c < 256; ++c) garbage += static_cast<char>(c);
  for (int i = 0; i < 1500; ++i) garbage += "\nbad";
  EXPECT_EQ(ResourceModule::parse(garbage)->errors().size(), 1000u);
}

// A menu as text: ids, "-" for separators, popups' entries in braces.
std::string shape(const std::vector<MenuItemTemplate>& items) {
  std::string text;
  for (const auto& i : items) {
    text += text.empty() ? "" : " ";
    text += i.kind == MenuItemTemplate::Kind::kPopup ? i.text + "{" + shape(i.children) + "}"
            : i.id                                   ? std::to_string(i.id)
                                                     : "-";
  }
  return text;
}

TEST(ResourceModuleParse, MenusCloseUnbalancedPopupsAndBoundNesting) {
  std::string text = "[menu 1]\nend\npopup = A\nitem 5 = five\nitem 0 = zero id\nitem x = bad\n";
  for (int i = 0; i < 20; ++i) text += "popup = deep\n";
  text += "item 6 = lost\n";
  for (int i = 0; i < 20; ++i) text += "end\n";
  text += "end\npopup = B\nitem 7 = seven\nseparator\n";  // B never ends
  auto m = ResourceModule::parse(text);
  const MenuTemplate* menu = m->findMenu(1);
  ASSERT_NE(menu, nullptr);
  // Depth is bounded: the innermost popups were dropped with their items.
  EXPECT_EQ(shape(menu->items), "A{5 deep{deep{deep{deep{deep{deep{deep{}}}}}}}} B{7 -}");
  EXPECT_FALSE(m->errors().empty());
}

TEST(ResourceModuleParse, DialogControlsValidateClassesGeometryAndFlags) {
  auto m = ResourceModule::parse(
      "[dialog 9]\ncaption = Test\nrect = 1 2 300 200\nfont = 9 DejaVu Sans\n"
      "edit 100 1 2 30 12 number disabled = 5\nwidget 101 1 2 3 4 = unknown class\n"
      "edit 102 1 2 0 4 = zero width\nedit 103 1 2 = too few numbers\n"
      "radio 104 1 2 3 4 shiny = unknown flag kept\ncombo 105 1 2 3 4 dropdown sort = \n"
      "rect = 1 2\nfont = huge Arial\nfont = 73 Big\n[dialog 9]\ncaption = duplicate\n"
      "[dialog 0]\nrect = 0 0 1 1\nfont = 1 Tiny\n");  // the smallest there are
  const DialogTemplate* d = m->findDialog(9);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(std::tie(d->caption, d->x, d->y, d->width, d->height, d->fontPoints, d->fontName),
            std::tuple("Test", 1, 2, 300, 200, 9, "DejaVu Sans"));
  using Control = std::tuple<ControlClass, int32_t, uint32_t, std::string>;
  std::vector<Control> controls;
  for (const auto& c : d->controls) controls.emplace_back(c.controlClass, c.id, c.flags, c.text);
  EXPECT_EQ(controls, (std::vector<Control>{
                          {ControlClass::kEdit, 100, kControlNumber | kControlDisabled, "5"},
                          {ControlClass::kRadioButton, 104, 0, "unknown flag kept"},
                          {ControlClass::kComboBox, 105, kControlDropDown | kControlSort, ""}}));
  EXPECT_EQ(m->errors().size(), 8u);
  ASSERT_NE(m->findDialog(0), nullptr);
  EXPECT_EQ(std::tie(m->findDialog(0)->width, m->findDialog(0)->fontPoints), std::tuple(1, 1));
}

TEST(ResourceModuleParse, AcceleratorKeySpecs) {
  auto m = ResourceModule::parse(
      "[accelerators 3]\n1 = Ctrl+Shift+O\n2 = alt++\n3 = F1\n4 = Alt+\n0 = Alt+x\n");
  const AcceleratorTable* t = m->findAccelerators(3);
  ASSERT_NE(t, nullptr);
  using Entry = std::tuple<int32_t, bool, bool, bool, std::string>;  // command, ctrl, shift, alt
  std::vector<Entry> entries;
  for (const auto& e : t->entries) entries.emplace_back(e.command, e.ctrl, e.shift, e.alt, e.key);
  EXPECT_EQ(entries, (std::vector<Entry>{{1, true, true, false, "O"},
                                         {2, false, false, true, "+"},
                                         {3, false, false, false, "F1"},
                                         {4, false, false, false, "Alt+"}}));  // a key "Alt+"
  EXPECT_EQ(m->errors().size(), 1u);                                           // command 0
}

// `count` times `entry`, in as many sections (`header` 1], 2], ...) as the
// per-list bound needs.
std::string repeated(const std::string& header, const std::string& entry, size_t count) {
  constexpr size_t kList = ResourceModule::kMaxItemsPerList;
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i % kList == 0) text += header + std::to_string(1 + i / kList) + "]\n";
    text += entry;
  }
  return text;
}

// Menu entries (separators and popups too, at any depth) and dialog controls
// are capped over the whole module: one more refuses it whole.
TEST(ResourceModuleParse, ModulesPastTheMenuOrControlCapAreRefusedWhole) {
  constexpr size_t kItems = ResourceModule::kMaxMenuItems;
  constexpr size_t kControls = ResourceModule::kMaxDialogControls;
  const auto items = [](size_t n) { return repeated("[menu ", "item 7 = x\n", n); };
  const auto controls = [](size_t n) { return repeated("[dialog ", "static -1 1 1 1 1 = x\n", n); };
  std::string popup = "popup = p\n";  // of one entry and 511 separators
  for (size_t i = 1; i < ResourceModule::kMaxItemsPerList; ++i) popup += "separator\n";
  popup += "end\n";
  const std::pair<std::string, bool> cases[] = {
      // the text, whether accepted
      // clang-format off
      {items(kItems), true}, {items(kItems + 1), false}, {controls(kControls), true},
      {controls(kControls + 1), false}, {items(kItems) + controls(kControls), true},
      {repeated("[menu ", popup, 8), true}, {repeated("[menu ", popup, 9), false},
      // clang-format on
  };
  for (const auto& [text, accepted] : cases) {
    ASSERT_LE(text.size(), ResourceModule::kMaxFileBytes);
    auto m = ResourceModule::parse(text);
    ASSERT_EQ(m != nullptr, accepted) << text.size() << " bytes";
    EXPECT_TRUE(!m || m->errors().empty()) << m->errors().front();
  }
}

// A file of exactly the size cap loads whole, to its last byte; one byte
// more and it is refused like an unreadable one.
TEST(ResourceModuleLoad, FilesPastTheSizeCapAreRefusedLikeUnreadableOnes) {
  testing::ScratchFolder folder;
  const std::string path = folder.file("strevanaPlayer_big.lang");
  const std::string head = "[strings]\n", tail = "2000 = Big";
  const size_t padding = ResourceModule::kMaxFileBytes - head.size() - tail.size();
  for (size_t extra = 0; extra < 2; ++extra) {
    std::ofstream(path, std::ios::binary) << head << std::string(padding + extra, '\n') << tail;
    auto m = ResourceModule::load(path);
    std::string s;
    EXPECT_EQ(m && m->findString(2000, s) && s == "Big", extra == 0) << extra;
  }
  EXPECT_EQ(ResourceModule::load(folder.file("missing.lang")), nullptr);
}

}  // namespace
}  // namespace strevana
