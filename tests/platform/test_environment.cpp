// Every test binary of this folder keeps its settings in a private folder
// (removed at exit), so a developer's own player settings are neither read
// nor overwritten. Set before main(): Qt fixes the settings path at its
// first use.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "support/private_config_folder.h"

namespace {

const bool kConfigured = [] {
  const bool made = strevana::testing::usePrivateConfigFolder("strevana-platform-tests");
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return made;
}();

TEST(TestEnvironment, SettingsFolderIsPrivate) {
  ASSERT_TRUE(kConfigured);
  EXPECT_NE(std::string(std::getenv("XDG_CONFIG_HOME")).find("strevana-platform-tests-"),
            std::string::npos);
}

}  // namespace

// Fontconfig keeps its caches for the life of the process and never frees
// them; that is not ours to fix, and would otherwise fail every run under
// LeakSanitizer that draws text.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
