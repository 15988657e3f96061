// Every test binary of this folder keeps its settings in a private folder, so
// a developer's own player settings are neither read nor overwritten. Set
// before main(): Qt fixes the settings path at its first use.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

namespace {

const bool kConfigured = [] {
  char pattern[] = "/tmp/strevana-platform-tests-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir != nullptr) setenv("XDG_CONFIG_HOME", dir, 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return dir != nullptr;
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
