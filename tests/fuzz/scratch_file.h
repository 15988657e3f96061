#pragma once
// A file per fuzzing process for targets whose code under test opens files by
// name: each input is written to it before the run and removed after.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace strevana::fuzz {

class ScratchFile {
 public:
  ScratchFile(const char* suffix, const uint8_t* data, size_t size) {
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir && *dir ? dir : "/tmp") + "/strevana-fuzz-" + std::to_string(getpid()) +
            suffix;
    if (std::FILE* f = std::fopen(path_.c_str(), "wb")) {
      written_ = size == 0 || std::fwrite(data, 1, size, f) == size;
      written_ = std::fclose(f) == 0 && written_;
    }
  }
  ~ScratchFile() { std::remove(path_.c_str()); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  bool written() const { return written_; }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
  bool written_ = false;
};

}  // namespace strevana::fuzz
