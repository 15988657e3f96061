#pragma once
// What the SDP decoder reads: a description held in memory (a DESCRIBE body,
// the text after "buff://") or a description file, opened when the input is
// made so that a missing file is reported before decoding starts.
// Made and owned by the caller on one thread; decodeSdp consumes it (a file
// input is closed when decoding finishes) and the caller drops it afterwards.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace strevana {

struct SdpInput {
  int version = 1;  // anything else makes decodeSdp refuse the input
  bool inMemory = false;
  std::string text;      // memory input
  std::string fileName;  // file input
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, FileCloser> file;  // open until decoding ends
};

// The text is copied; it ends at its first NUL byte, as a C text would.
std::unique_ptr<SdpInput> makeSdpMemoryInput(std::string_view text);

// Null when the file cannot be opened for reading.
std::unique_ptr<SdpInput> makeSdpFileInput(const std::string& fileName);

}  // namespace strevana
