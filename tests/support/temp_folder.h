#pragma once
// Temporary folders that remove themselves: ScratchFolder for one test, and the
// test process's own folder, which holds the settings (XDG_CONFIG_HOME) and
// everything written under TMPDIR (gtest's TempDir(), QTemporaryDir,
// std::filesystem::temp_directory_path()), removed when the process ends.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace strevana::testing {

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& stem = "strevana-test") {
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Empty when the folder could not be made.
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Makes /tmp/STEM-XXXXXX the process's settings home and TMPDIR, removed at
// exit. Call from a static initializer, before Qt first reads its settings
// path; false when the folder cannot be made.
inline bool useProcessTempFolder(const char* stem) {
  static std::string folder;
  folder = std::string("/tmp/") + stem + "-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) return false;
  setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
  setenv("TMPDIR", folder.c_str(), 1);
  // Only by the process that made it: a forked child that exits must not
  // take its parent's folder along.
  static const pid_t owner = getpid();
  std::atexit([] {
    if (getpid() != owner) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  });
  return true;
}

}  // namespace strevana::testing
