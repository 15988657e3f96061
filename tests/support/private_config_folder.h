#pragma once
// A settings folder of the test process's own (XDG_CONFIG_HOME), so that a
// developer's player settings are neither read nor overwritten, removed again
// when the process ends. Call before Qt first reads its settings path.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace strevana::testing {

inline std::string& privateConfigFolder() {
  static std::string folder;
  return folder;
}

// Makes /tmp/PREFIX-XXXXXX the settings home; false when it cannot.
inline bool usePrivateConfigFolder(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
  if (!mkdtemp(pattern.data())) return false;
  privateConfigFolder() = pattern;
  setenv("XDG_CONFIG_HOME", pattern.c_str(), 1);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(privateConfigFolder(), ignored);
  });
  return true;
}

}  // namespace strevana::testing
