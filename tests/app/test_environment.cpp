// Every test of this binary keeps its settings in a private folder (removed
// at exit) and runs Qt offscreen. Set before main(): Qt fixes the settings
// path at first use.
#include <cstdlib>

#include "support/private_config_folder.h"

namespace {

const bool kConfigured = [] {
  const bool made = strevana::testing::usePrivateConfigFolder("strevana-app-tests");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return made;
}();

}  // namespace

// Fontconfig keeps its caches for the life of the process and never frees
// them; that is not ours to fix, and would otherwise fail every run under
// LeakSanitizer that draws text.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
