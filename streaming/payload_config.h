#pragma once
// The decoder configuration carried in an fmtp line's "config=" parameter
// (RFC 3016 section 5.2, RFC 3640 section 4.1): hexadecimal digits, two per
// byte. Pure functions, any thread.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "streaming/media_entry.h"

namespace strevana {

inline constexpr int32_t kConfigMissing = 9999999;

// Position in `text` just after the first occurrence of `needle`, compared
// without regard to case; none when it does not occur.
std::optional<size_t> containsNoCase(std::string_view text, std::string_view needle);

// Bytes of the configuration: the count of letters and digits after
// "config=" (any case) in the first format's fmtp value, halved and rounded
// down; 0 when there is no such parameter.
uint32_t configLength(const MediaEntry* entry);
// Decodes up to `length` bytes into `destination`; 0, or kConfigMissing when
// the format has no fmtp value or it holds no "config=". Decoding stops at
// the first character that is not a letter or digit (the result is still 0);
// a lone final digit is ignored.
int32_t decodeConfig(const MediaEntry* entry, uint8_t* destination, uint32_t length);
// The same decoding straight from an fmtp value: every byte the "config="
// parameter holds (empty when there is none).
std::vector<uint8_t> configBytes(std::string_view fmtp);

}  // namespace strevana
