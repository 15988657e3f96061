// The real program, started offscreen three times over one settings folder:
// the recent list and the language chosen in one run are what the next run
// starts with.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "shell2_support.h"

namespace strevana {
namespace {

struct PlayerRun {
  int exitCode = -1;
  std::vector<std::string> lines;
};

std::string shellQuoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

class Shell2EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    player = std::string(STREVANA_BINARY_DIR) + "/app/strevana-player";
    if (!std::filesystem::exists(player)) GTEST_SKIP() << "no player at " << player;
    config = testing::makeTempFolder("e2e-config");
    picture = config + "/window.png";
  }

  // Runs the player on name (may be empty) with extra environment settings;
  // it plays a moment, saves a snapshot and closes as Exit would.
  PlayerRun run(const std::string& name, const std::string& environment) {
    std::string commandLine = "env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=" + shellQuoted(config) +
                              " STREVANA_SNAPSHOT=" + shellQuoted(picture) +
                              " STREVANA_SNAPSHOT_AFTER_MS=400 " + environment + " " +
                              shellQuoted(player) + (name.empty() ? "" : " " + shellQuoted(name)) + " 2>&1";
    PlayerRun result;
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer{};
    std::string partial;
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
      partial += buffer.data();
      if (!partial.empty() && partial.back() == '\n') {
        partial.pop_back();
        result.lines.push_back(partial);
        partial.clear();
      }
    }
    if (!partial.empty()) result.lines.push_back(partial);
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
  }

  // The entries printed under one top-level menu: (id, text).
  static std::vector<std::pair<int, std::string>> menu(const PlayerRun& r, const std::string& title) {
    std::vector<std::pair<int, std::string>> items;
    const std::string prefix = "strevana-player: menu " + title + "\t";
    for (const std::string& line : r.lines) {
      if (line.rfind(prefix, 0) != 0) continue;
      std::string rest = line.substr(prefix.size());
      size_t tab = rest.find('\t');
      if (tab == std::string::npos) continue;
      items.emplace_back(std::atoi(rest.substr(0, tab).c_str()), rest.substr(tab + 1));
    }
    return items;
  }

  static std::string joined(const PlayerRun& r) {
    std::string all;
    for (const std::string& l : r.lines) all += l + "\n";
    return all;
  }

  std::string player;
  std::string config;
  std::string picture;
};

TEST_F(Shell2EndToEndTest, RecentEntriesAndTheLanguageSurviveARestart) {
  const std::string first = std::string(STREVANA_FIXTURE_DIR) + "/mpeg4_aac.mp4";
  const std::string second = std::string(STREVANA_FIXTURE_DIR) + "/h263_amrnb.3gp";

  PlayerRun one = run(first, "");
  ASSERT_EQ(one.exitCode, 0) << joined(one);
  PlayerRun two = run(second, "STREVANA_COMMANDS=5001");  // Options > Language > Deutsch
  ASSERT_EQ(two.exitCode, 0) << joined(two);
  EXPECT_EQ(joined(two).find("Cannot open"), std::string::npos) << joined(two);

  PlayerRun three = run("", "STREVANA_PRINT_MENUS=1");
  ASSERT_EQ(three.exitCode, 0) << joined(three);
  auto file = menu(three, "&Datei");
  ASSERT_FALSE(file.empty()) << "menus are not German:\n" << joined(three);
  EXPECT_EQ(file.front().second, "\xC3\x96&ffnen");
  ASSERT_GE(file.size(), 3u);
  EXPECT_EQ(file[file.size() - 2], std::make_pair(1, second));
  EXPECT_EQ(file[file.size() - 1], std::make_pair(2, first));
  EXPECT_EQ(file[file.size() - 3].first, 0) << "a separator in front of the list";
  auto languages = menu(three, "&Optionen/Sprache");
  ASSERT_EQ(languages.size(), 2u) << joined(three);
  EXPECT_EQ(languages[0], std::make_pair(5000, std::string("English")));
  EXPECT_EQ(languages[1], std::make_pair(5001, std::string("Deutsch")));
  EXPECT_FALSE(menu(three, "&Ansicht").empty());
  EXPECT_TRUE(menu(three, "&File").empty());
}

}  // namespace
}  // namespace strevana
