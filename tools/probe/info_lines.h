#pragma once
// The movie information window's value formats, as text lines for
// strevana-probe (unit words in English). Shared by the file and the
// stream probes.
#include <cstdint>
#include <cstdio>
#include <string>

namespace probe {

template <typename... Values>
std::string format(const char* pattern, Values... values) {
  char text[128];
  std::snprintf(text, sizeof text, pattern, values...);
  return text;
}

// Up to 39 characters whole, else "..." and the last 35; "-" when empty.
std::string shortened(const char* name);
std::string duration(int32_t ms);
std::string size(int32_t w, int32_t h);
std::string positive(int32_t v, const char* unit);
void line(const char* label, const std::string& value);
const char* videoCodecName(int32_t code);
const char* audioCodecName(int32_t code);

}  // namespace probe
