#include "streaming/payload_config.h"

#include <cctype>

namespace strevana {
namespace {

bool isAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// Letters beyond F count as digits of the value (their nibble is 0), as the
// length rule counts them; only the hex digits carry a value.
uint8_t nibble(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  return 0;
}

const std::string* formatParameters(const MediaEntry* entry) {
  const SdpFormat* format = firstFormat(entry);
  if (!format || !format->formatParameters) return nullptr;
  return &*format->formatParameters;
}

}  // namespace

std::optional<size_t> containsNoCase(std::string_view text, std::string_view needle) {
  if (needle.size() > text.size()) return std::nullopt;
  for (size_t at = 0; at + needle.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < needle.size() && std::tolower(static_cast<unsigned char>(text[at + i])) ==
                                    std::tolower(static_cast<unsigned char>(needle[i]))) {
      ++i;
    }
    if (i == needle.size()) return at + needle.size();
  }
  return std::nullopt;
}

uint32_t configLength(const MediaEntry* entry) {
  const std::string* fmtp = formatParameters(entry);
  if (!fmtp) return 0;
  const auto at = containsNoCase(*fmtp, "config=");
  if (!at) return 0;
  uint32_t count = 0;
  for (size_t i = *at; i < fmtp->size() && isAlnum((*fmtp)[i]); ++i) ++count;
  return count / 2;
}

namespace {

// Decodes up to `length` bytes of the digits after "config=" (the rules of
// decodeConfig); returns how many bytes were written.
uint32_t decodeDigits(std::string_view digits, uint8_t* destination, uint32_t length) {
  uint32_t n = 0;
  for (; n < length; ++n) {
    const size_t i = 2 * static_cast<size_t>(n);
    if (i >= digits.size() || !isAlnum(digits[i])) break;
    destination[n] = static_cast<uint8_t>(nibble(digits[i]) << 4);
    if (i + 1 >= digits.size() || !isAlnum(digits[i + 1])) return n + 1;
    destination[n] = static_cast<uint8_t>(destination[n] | nibble(digits[i + 1]));
  }
  return n;
}

}  // namespace

int32_t decodeConfig(const MediaEntry* entry, uint8_t* destination, uint32_t length) {
  const std::string* fmtp = formatParameters(entry);
  if (!fmtp) return kConfigMissing;
  const auto at = containsNoCase(*fmtp, "config=");
  if (!at) return kConfigMissing;
  decodeDigits(std::string_view(*fmtp).substr(*at), destination, length);
  return 0;
}

std::vector<uint8_t> configBytes(std::string_view fmtp) {
  const auto at = containsNoCase(fmtp, "config=");
  if (!at) return {};
  const std::string_view digits = fmtp.substr(*at);
  size_t count = 0;
  while (count < digits.size() && isAlnum(digits[count])) ++count;
  std::vector<uint8_t> bytes(count / 2);
  bytes.resize(decodeDigits(digits, bytes.data(), static_cast<uint32_t>(bytes.size())));
  return bytes;
}

}  // namespace strevana
