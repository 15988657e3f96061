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
