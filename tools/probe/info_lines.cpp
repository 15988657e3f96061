#include "info_lines.h"

#include <cstring>

namespace probe {

std::string shortened(const char* name) {
  const size_t n = std::strlen(name);
  if (n == 0) return "-";
  return n <= 39 ? std::string(name) : "..." + std::string(name + n - 35);
}

std::string duration(int32_t ms) {
  if (ms == -1) return "-";
  const int h = ms / 3600000;
  const int rest = ms % 3600000;
  const int m = rest / 60000;
  const int s = rest % 60000 / 1000;
  if (h > 0) return format("%d:%.2d:%.2d", h, m, s);
  if (m > 0) return format("%d:%.2d", m, s);
  return format("%.2lf %s", s + (rest % 1000) * 0.001, "sec");
}

std::string size(int32_t w, int32_t h) {
  return w > 0 && h > 0 ? format("%dx%d %s", w, h, "pixel") : "-";
}

std::string positive(int32_t v, const char* unit) {
  if (v <= 0) return "-";
  return unit ? format("%d %s", v, unit) : format("%d", v);
}

void line(const char* label, const std::string& value) {
  std::printf("%s: %s\n", label, value.c_str());
}

const char* videoCodecName(int32_t code) {
  return code == 1 ? "MPEG-4" : code == 4 ? "H.263" : "-";
}

const char* audioCodecName(int32_t code) {
  return code == 2 ? "AAC" : code == 5 ? "AMR-WB" : code == 6 ? "AMR-NB" : "-";
}

}  // namespace probe
