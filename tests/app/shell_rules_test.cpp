// The shell's rules that need no window: the command line, the recent list and its registry values,
// the window sizing rule, and which language modules are offered.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "app/command_line.h"
#include "app/language.h"
#include "app/qt_translations.h"
#include "app/recent_list.h"
#include "shell_test.h"
#include "support/temp_folder.h"

namespace strevana {
namespace {

// "zoom|name|options" with options as p<value> (postfilter) and d<value>
// (DirectX) in the order written, and "-" for no name.
std::string parsed(const std::string& text) {
  ParsedCommandLine p = parseCommandLineText(text);
  std::string out = std::to_string(p.zoom) + "|" + p.name.value_or("-") + "|";
  for (const CommandLineOption& o : p.options)
    out += (o.kind == CommandLineOption::Kind::kPostfilter ? "p" : "d") + std::to_string(o.value);
  return out;
}

TEST(CommandLine, OptionsZoomAndName) {
  // clang-format off
  const std::pair<std::string, const char*> cases[] = {
      {"   \t ", "100|-|"}, {"\"\"", "100|-|"},
      {"-zoom 50 clip.mp4", "50|clip.mp4|"}, {"-zoom50 clip.mp4", "50|clip.mp4|"},
      {"-zoom\t200\tclip.mp4", "200|clip.mp4|"}, {"-zoom -25 a", "-25|a|"},
      {"-zoom +25 a", "25|a|"}, {"-zoom 10 -zoom 399 a", "399|a|"},
      {"-zoom", "0|-|"}, {"-zoom big clip.mp4", "0|clip.mp4|"},
      {"-zoom 50x,y clip.mp4", "50|clip.mp4|"}, {"-zoom -99999999999 a", "-2147483648|a|"},
      {"-zoom 401 a", "400|a|"}, {"-zoom 99999999999 a", "400|a|"},
      {"-zoom 1000 -zoom 25 a", "25|a|"},
      {"-postfilter 2 -directx 0 -postfilter3 clip.mp4", "100|clip.mp4|p2d0p3"},
      {"-directx1 -postfilter4 a", "100|a|d1p4"}, {"-directx", "100|-|d0"},
      {"\"/media/my clips/a b.mp4\"", "100|/media/my clips/a b.mp4|"},
      {"-zoom 50 \"/media/a b.mp4\"", "50|\"/media/a b.mp4|"}, {"clip.mp4\"  ", "100|clip.mp4|"},
      {"a \"quoted\" name.mp4", "100|a \"quoted\" name.mp4|"},
      {"clip.mp4 -zoom 50", "100|clip.mp4 -zoom 50|"}, {"-Zoom 50 a", "100|-Zoom 50 a|"},
      {"  lead.mp4", "100|lead.mp4|"}, {std::string("a.mp4\0tail", 10), "100|a.mp4|"},
  };
  // clang-format on
  for (const auto& [text, expected] : cases) EXPECT_EQ(parsed(text), expected) << text;
  EXPECT_TRUE(parseCommandLineText("").empty);
  EXPECT_FALSE(parseCommandLineText(" ").empty);
  const char* argv[] = {"strevana-player", "-zoom", "50", "/media/a b.mp4", nullptr};
  EXPECT_EQ(joinArguments(4, argv), "-zoom 50 /media/a b.mp4");
  EXPECT_EQ(joinArguments(1, argv), "");
}

// "f:name" or "u:name" per entry, top first.
std::string listed(const RecentList& list) {
  std::string out;
  for (int32_t i = 0; i < list.count; ++i) {
    const RecentEntry& e = list.entries[static_cast<size_t>(i)];
    out += (i ? " " : "") + std::string(e.kind == kRecentKindUrl ? "u:" : "f:") + e.name;
  }
  return out;
}

TEST(RecentList, AddingAndRemovingFollowTheListRules) {
  const std::string x255(255, 'x');
  // clang-format off
  const struct { std::vector<std::pair<int32_t, std::string>> adds; std::string expected; } cases[] = {
      {{{0, "a"}, {0, "b"}, {0, "c"}, {7, "a"}}, "u:a f:c f:b"},  // moved up, any nonzero kind is a URL
      {{{1, "a"}, {0, "a"}}, "f:a"}, {{{0, "a"}, {0, "A"}}, "f:A f:a"}, {{{0, x255}}, "f:" + x255},
      {{{0, "keep"}, {0, std::string(256, 'x')}}, "f:keep"},  // refused whole
  };
  // clang-format on
  for (const auto& c : cases) {
    RecentList list;
    for (const auto& [kind, name] : c.adds) EXPECT_EQ(list.add(kind, name), name.size() <= 255);
    EXPECT_EQ(listed(list), c.expected);
  }
  RecentList list;
  for (int i = 0; i < 11; ++i) list.add(kRecentKindFile, std::to_string(i));
  EXPECT_EQ(listed(list), "f:10 f:9 f:8 f:7 f:6 f:5 f:4 f:3 f:2 f:1");
  list.add(kRecentKindFile, "5");
  list.add(kRecentKindUrl, list.entries[9].name);  // a name from the list itself
  EXPECT_EQ(listed(list), "u:1 f:5 f:10 f:9 f:8 f:7 f:6 f:4 f:3 f:2");
  for (int32_t bad : {-1, 10, 0}) list.remove(bad);
  EXPECT_EQ(listed(list), "f:5 f:10 f:9 f:8 f:7 f:6 f:4 f:3 f:2");
  EXPECT_TRUE(list.entries[9].name.empty());
}

TEST(RecentList, RegistryValuesRoundTripAndReadingStopsAtABrokenEntry) {
  QSettings(QSettings::IniFormat, QSettings::UserScope, "Korvello", "strevana Player").clear();
  auto key = RegistryKey::open();
  const auto seed = [&](int32_t i, const std::string& name, uint32_t kind) {
    key->setString(recentNameValue(i).c_str(), name);
    key->setNumber(recentKindValue(i).c_str(), kind);
  };
  const auto read = [&] {
    RecentList list;
    list.read(*key);
    return listed(list);
  };
  for (const char* spoil : {"long", "MRUUrl2", "MRUName2", ""}) {
    for (int32_t i = 0; i < 5; ++i) seed(i, std::to_string(i), static_cast<uint32_t>(i % 2 * 7));
    if (std::string(spoil) == "long")
      seed(2, std::string(256, 'n'), 0);
    else if (*spoil)
      key->deleteValue(spoil);
    EXPECT_EQ(read(), *spoil ? "f:0 u:1" : "f:0 u:1 f:2 u:3 f:4") << spoil;
  }
  RecentList list;
  list.add(kRecentKindFile, "/new/1");
  list.add(5, "rtsp://127.0.0.1/a");
  list.write(*key);
  EXPECT_EQ(read(), "u:rtsp://127.0.0.1/a f:/new/1 f:2 u:3 f:4");  // older values stay
}

TEST(MainWindowSizing, ClampsByTheDraggedEdge) {
  // clang-format off
  const struct { uint32_t edge; WindowRect in, out; } cases[] = {
      {kSizeLeft, {100, 100, 400, 500}, {51, 100, 400, 500}},
      {kSizeBottomLeft, {100, 100, 400, 500}, {51, 100, 400, 500}},
      {kSizeRight, {100, 100, 400, 500}, {100, 100, 449, 500}},
      {kSizeTop, {100, 100, 600, 200}, {100, 51, 600, 200}},
      {kSizeTopRight, {100, 100, 600, 200}, {100, 51, 600, 200}},
      {kSizeBottom, {100, 100, 600, 200}, {100, 100, 600, 249}},
      {kSizeTopLeft, {0, 0, 10, 10}, {-339, -139, 10, 10}},
      {kSizeBottomRight, {0, 0, 10, 10}, {0, 0, 349, 149}},
      {kSizeLeft, {0, 0, 350, 150}, {0, 0, 350, 150}},
  };
  // clang-format on
  for (const auto& c : cases) {
    WindowRect r = c.in;
    clampSizing(c.edge, r);
    EXPECT_EQ(std::tie(r.left, r.top, r.right, r.bottom),
              std::tie(c.out.left, c.out.top, c.out.right, c.out.bottom))
        << "edge " << c.edge;
  }
}

std::string smallModule(const std::string& displayName) {
  return "[strings]\n141 = Impossible d'ouvrir\n2000 = " + displayName + "\n";
}

TEST(LanguageScan, NamedModulesWithADisplayNameTenAtMostInNameOrder) {
  std::map<std::string, std::string> ten;
  for (int i = 0; i <= 10; ++i)
    ten["strevanaPlayer_" + std::to_string(10 + i) + ".lang"] = smallModule(std::to_string(i));
  ten["strevanaPlayer_13x.lang"] = "[strings]\n141 = x\n";  // no name: its slot goes to the next
  const std::string a254(254, 'a');
  // clang-format off
  const struct { std::map<std::string, std::string> files; std::string expected; } cases[] = {
      {{}, ""},
      // Other names, and modules without string 2000: a single choice is no choice.
      {{{"other_de.lang", smallModule("X")}, {"strevanaPlayer_de.txt", smallModule("X")},
        {"StrevanaPlayer_de.lang", smallModule("X")}, {"strevanaPlayer_a.lang", "[strings]\n141 = N\n"},
        {"strevanaPlayer_b.lang", ""}}, ""},
      {{{"strevanaPlayer_fr.lang", smallModule("Fran\xC3\xA7" "ais")}},
       "application=English;strevanaPlayer_fr.lang=Fran\xC3\xA7" "ais;"},
      // A display name is cut at 255 bytes, never inside a character.
      {{{"strevanaPlayer_.lang", smallModule(a254 + "\xC3\xA4")}}, "application=English;strevanaPlayer_.lang=" + a254 + ";"},
      {ten, "application=English;" "strevanaPlayer_10.lang=0;strevanaPlayer_11.lang=1;strevanaPlayer_12.lang=2;"
            "strevanaPlayer_13.lang=3;strevanaPlayer_14.lang=4;strevanaPlayer_15.lang=5;"
            "strevanaPlayer_16.lang=6;strevanaPlayer_17.lang=7;strevanaPlayer_18.lang=8;"},
  };
  // clang-format on
  for (const auto& c : cases) {
    testing::ScratchFolder folder;
    for (const auto& [name, text] : c.files) std::ofstream(folder.file(name)) << text;
    LanguageModuleTable t;
    t.scan(folder.path());
    std::string out;
    for (int32_t i = 0; i < t.count; ++i)
      out += t.entries[i].fileName + "=" + t.entries[i].displayName + ";";
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(t.indexOf("strevanaPlayer_18.lang"), t.count == 10 ? 9 : 0);
    EXPECT_EQ(t.indexOf("strevanaPlayer_19.lang"), 0);
  }
  // clang-format off
  const std::pair<const char*, const char*> languages[] = {
      {"strevanaPlayer_de.lang", "de"}, {"strevanaPlayer_pt_BR.lang", "pt_BR"}, {"strevanaPlayer_.lang", ""},
      {"application", ""}, {"other_de.lang", ""}};
  // clang-format on
  for (const auto& [file, language] : languages)
    EXPECT_EQ(languageOfModule(file), language) << file;
}

}  // namespace
}  // namespace strevana
