// Every test of this binary keeps its settings in a private folder and runs
// Qt offscreen. Set before main(): Qt fixes the settings path at first use.
#include <cstdlib>

namespace {

const bool kConfigured = [] {
  char pattern[] = "/tmp/strevana-app-tests-XXXXXX";
  const char* dir = mkdtemp(pattern);
  if (dir != nullptr) setenv("XDG_CONFIG_HOME", dir, 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return dir != nullptr;
}();

}  // namespace

// Fontconfig keeps its caches for the life of the process and never frees
// them; that is not ours to fix, and would otherwise fail every run under
// LeakSanitizer that draws text.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
