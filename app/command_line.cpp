#include "app/command_line.h"

#include <algorithm>
#include <cstring>

namespace strevana {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// atoi's rules: leading blanks, an optional sign, digits up to the first
// non-digit; no digits gives 0. Values past 32 bits saturate instead of
// wrapping.
int32_t readNumber(const std::string& s, size_t pos) {
  while (pos < s.size() && isBlank(s[pos])) ++pos;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '-' || s[pos] == '+')) {
    negative = s[pos] == '-';
    ++pos;
  }
  int64_t value = 0;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
    value = value * 10 + (s[pos] - '0');
    if (value > 2147483648LL) value = 2147483648LL;
    ++pos;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) value = 2147483647LL;
  return static_cast<int32_t>(value);
}

bool startsWith(const std::string& s, size_t pos, const char* prefix) {
  size_t n = std::strlen(prefix);
  return s.compare(pos, n, prefix) == 0;
}

}  // namespace

ParsedCommandLine parseCommandLineText(const std::string& input) {
  ParsedCommandLine result;
  // A text with an embedded terminator ends there, as a C string would.
  std::string text = input.substr(0, input.find('\0'));
  if (text.empty()) return result;
  result.empty = false;

  size_t pos = text[0] == '"' ? 1 : 0;
  std::string s = text.substr(pos);
  while (!s.empty() && isBlank(s.back())) s.pop_back();
  if (!s.empty() && s.back() == '"') s.pop_back();
  if (s.empty()) return result;

  size_t i = 0;
  while (true) {
    while (i < s.size() && isBlank(s[i])) ++i;
    if (i >= s.size()) break;
    size_t valueStart;
    if (startsWith(s, i, "-zoom")) {
      valueStart = i + 5;
      result.zoom = std::min(readNumber(s, valueStart), kMaxCommandLineZoom);
    } else if (startsWith(s, i, "-postfilter")) {
      valueStart = i + 11;
      result.options.push_back({CommandLineOption::Kind::kPostfilter, readNumber(s, valueStart)});
    } else if (startsWith(s, i, "-directx")) {
      valueStart = i + 8;
      result.options.push_back({CommandLineOption::Kind::kDirectX, readNumber(s, valueStart)});
    } else {
      result.name = s.substr(i);
      break;
    }
    // Past the value (and the blanks before it): on to the next blank or
    // control character, so anything glued to the value is skipped.
    i = valueStart;
    while (i < s.size() && isBlank(s[i])) ++i;
    while (i < s.size() && !isBlank(s[i]) && !isControl(s[i])) ++i;
    if (i >= s.size()) break;
  }
  return result;
}

std::string joinArguments(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr) break;
    if (i > 1) text += ' ';
    text += argv[i];
  }
  return text;
}

bool hasExtension(const std::string& name, const char* ext) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  return name.compare(dot, std::string::npos, ext) == 0;
}

NameKind classifyName(const std::string& name) {
  size_t colon = name.find(':');
  if (colon != std::string::npos && name.compare(colon + 1, 2, "//") == 0) return NameKind::kUrl;
  if (hasExtension(name, ".yuv")) return NameKind::kRawYuv;
  return NameKind::kFile;
}

}  // namespace strevana
