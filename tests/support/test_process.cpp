// Linked into every test binary: the process keeps its settings and
// temporary files (TMPDIR, gtest's TempDir()) in a folder of its own, removed
// at exit, so that a developer's player settings are neither read nor
// overwritten and nothing is left in /tmp; Qt runs offscreen. Set before
// main(): Qt fixes the settings path at first use.
#include <cstdlib>

#include "support/temp_folder.h"

namespace {

[[maybe_unused]] const bool kProcessFolderMade = [] {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  return strevana::testing::useProcessTempFolder("strevana-tests");
}();

}  // namespace

// Fontconfig keeps its caches for the life of the process and never frees
// them; that is not ours to fix, and would otherwise fail every run under
// LeakSanitizer that draws text.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
