#include "streaming/fmtp_parameters.h"

#include <strings.h>

#include <charconv>

namespace strevana {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

}  // namespace

std::optional<std::string> fmtpValue(std::string_view fmtp, std::string_view name) {
  while (!fmtp.empty()) {
    const size_t end = fmtp.find(';');
    const std::string_view item = fmtp.substr(0, end);
    fmtp = end == std::string_view::npos ? std::string_view() : fmtp.substr(end + 1);
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = trim(item.substr(0, equals));
    if (key.size() == name.size() && ::strncasecmp(key.data(), name.data(), name.size()) == 0) {
      return std::string(trim(item.substr(equals + 1)));
    }
  }
  return std::nullopt;
}

std::optional<uint32_t> fmtpNumber(std::string_view fmtp, std::string_view name, uint32_t limit) {
  const auto text = fmtpValue(fmtp, name);
  if (!text || text->empty()) return std::nullopt;
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size() || value > limit)
    return std::nullopt;
  return value;
}

}  // namespace strevana
