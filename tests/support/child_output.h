#pragma once
// Runs a shell command to its end: its exit status as pclose() gives it (-1
// when it could not start) and everything it wrote on either stream.
#include <cstdio>
#include <string>
#include <utility>

namespace strevana::testing {

inline std::pair<int, std::string> runForOutput(const std::string& command) {
  FILE* child = popen((command + " 2>&1").c_str(), "r");
  if (child == nullptr) return {-1, ""};
  std::string output;
  char chunk[4096];
  while (size_t n = fread(chunk, 1, sizeof chunk, child)) output.append(chunk, n);
  return {pclose(child), output};
}

}  // namespace strevana::testing
