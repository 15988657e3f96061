#include "protocols/sdp/sdp_decoder.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <string_view>

#include "protocols/rtsp/protocol_log.h"

namespace strevana {
namespace {

constexpr const char* kLogTag = "sdp";
// NTP counts from 1900, Unix from 1970; the difference wraps in 32 bits.
constexpr uint32_t kNtpToUnixOffset = 2208988800u;
constexpr std::size_t kMaxRepeatOffsets = 16;
// Time values above this are refused rather than wrapped.
constexpr uint64_t kMaxTimeValue = 0xFFFFFFFFu;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char toLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

void skipBlanks(std::string_view& s) {
  std::size_t i = 0;
  while (i < s.size() && isBlank(s[i])) ++i;
  s.remove_prefix(i);
}

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Next blank-separated token; the blanks after it are consumed too.
std::string_view takeToken(std::string_view& s) {
  skipBlanks(s);
  std::size_t i = 0;
  while (i < s.size() && !isBlank(s[i])) ++i;
  std::string_view token = s.substr(0, i);
  s.remove_prefix(i);
  skipBlanks(s);
  return token;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (toLower(s[i]) != toLower(prefix[i])) return false;
  }
  return true;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && startsWithNoCase(a, b);
}

// Leading decimal digits of s, consumed; false when there are none or the
// value exceeds maxValue.
bool takeUnsigned(std::string_view& s, uint64_t maxValue, uint64_t& value) {
  std::size_t i = 0;
  uint64_t v = 0;
  while (i < s.size() && isDigit(s[i])) {
    const uint64_t digit = static_cast<uint64_t>(s[i] - '0');
    if (v > (maxValue - digit) / 10) return false;
    v = v * 10 + digit;
    ++i;
  }
  if (i == 0) return false;
  s.remove_prefix(i);
  value = v;
  return true;
}

// A whole text that is one unsigned number, optionally followed by blanks.
bool parseWholeUnsigned(std::string_view s, uint64_t maxValue, uint64_t& value) {
  if (!takeUnsigned(s, maxValue, value)) return false;
  return trimRight(s).empty();
}

// "digits[.digits]" or ".digits", consumed; the value as a double.
bool takeDecimal(std::string_view& s, double& value) {
  std::size_t i = 0;
  while (i < s.size() && isDigit(s[i])) ++i;
  std::size_t digits = i;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i;
    digits += i - digits - 1;
  }
  if (digits == 0) return false;
  double v = 0.0;
  std::string_view text = s.substr(0, i);
  if (text.front() == '.') {
    // from_chars needs a leading digit for the general format.
    std::string padded = "0";
    padded.append(text);
    if (std::from_chars(padded.data(), padded.data() + padded.size(), v).ec != std::errc())
      return false;
  } else if (std::from_chars(text.data(), text.data() + text.size(), v).ec != std::errc()) {
    return false;
  }
  s.remove_prefix(i);
  value = v;
  return true;
}

// Time value of r= and z= lines: digits with optional unit letters d, h, m, s,
// the parts summed ("1h30m" is 5400). Consumes the whole token.
bool parseTimeValue(std::string_view token, uint64_t& seconds) {
  if (token.empty()) return false;
  uint64_t total = 0;
  while (!token.empty()) {
    uint64_t part = 0;
    if (!takeUnsigned(token, kMaxTimeValue, part)) return false;
    uint64_t unit = 1;
    if (!token.empty()) {
      switch (token.front()) {
        case 'd': unit = 86400; break;
        case 'h': unit = 3600; break;
        case 'm': unit = 60; break;
        case 's': unit = 1; break;
        default: return false;
      }
      token.remove_prefix(1);
    }
    total += part * unit;  // both bounded by 2^32, no overflow in 64 bits
    if (total > kMaxTimeValue) return false;
  }
  seconds = total;
  return true;
}

std::string format(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

std::string format(const char* fmt, ...) {
  char buffer[1200];
  std::va_list args;
  va_start(args, fmt);
  std::vsnprintf(buffer, sizeof buffer, fmt, args);
  va_end(args);
  return buffer;
}

std::string charText(std::string_view s) {
  return s.empty() ? std::string() : std::string(1, s.front());
}

// Reads lines from memory or a file: CR, LF or any run of them ends a line,
// leading blanks are dropped, blank lines skipped, and the tail of a line
// longer than kSdpMaxLineLength is dropped.
class LineReader {
 public:
  explicit LineReader(SdpInput& input) : input_(input) {}

  // 1 with a line, 0 at the end of the input, kSdpOutOfMemory when the
  // description exceeds its bounds.
  int next(std::string& line) {
    for (;;) {
      line.clear();
      int c = get();
      while (c == '\r' || c == '\n') c = get();
      if (c < 0) return tooLarge_ ? kSdpOutOfMemory : 0;
      while (c >= 0 && c != '\r' && c != '\n') {
        if (line.size() < kSdpMaxLineLength) line.push_back(static_cast<char>(c));
        c = get();
      }
      if (tooLarge_) return kSdpOutOfMemory;
      std::string_view view(line);
      skipBlanks(view);
      if (view.empty()) continue;
      if (++lines_ > kSdpMaxLines) return kSdpOutOfMemory;
      line.erase(0, line.size() - view.size());
      return 1;
    }
  }

 private:
  // Next byte, or -1 at the end; a NUL byte ends the text as in C.
  int get() {
    if (ended_) return -1;
    if (++bytes_ > kSdpMaxBytes) {
      tooLarge_ = true;
      ended_ = true;
      return -1;
    }
    int c;
    if (input_.inMemory) {
      c = position_ < input_.text.size() ? static_cast<unsigned char>(input_.text[position_++])
                                         : -1;
    } else {
      c = std::fgetc(input_.file.get());
      if (c == EOF) c = -1;
    }
    if (c <= 0) {
      ended_ = true;
      return -1;
    }
    return c;
  }

  SdpInput& input_;
  std::size_t position_ = 0;
  std::size_t bytes_ = 0;
  std::size_t lines_ = 0;
  bool ended_ = false;
  bool tooLarge_ = false;
};

class Decoder {
 public:
  explicit Decoder(std::unique_ptr<SdpSession>& first) : first_(first) {}

  int decode(SdpInput& input) {
    LineReader reader(input);
    std::string line;
    bool firstLine = true;
    for (;;) {
      const int got = reader.next(line);
      if (got == 0) return kSdpOk;
      if (got != 1) return fail(got, "Description too large");
      const int rc = decodeLine(line, firstLine);
      firstLine = false;
      if (rc != kSdpOk) return rc;
    }
  }

  // Unlinks and frees the session in progress after a failure.
  void dropCurrentSession() {
    if (currentSlot_ != nullptr && *currentSlot_) {
      currentSlot_->reset();
      --count_;
    }
    current_ = nullptr;
  }

  int count() const { return count_; }
  const std::string& error() const { return error_; }

 private:
  int fail(int code, std::string text) {
    error_ = std::move(text);
    protocolLog(3, kLogTag, "%s", error_.c_str());
    return code;
  }

  int decodeLine(const std::string& line, bool firstLine) {
    std::string_view rest(line);
    const char type = rest.front();
    rest.remove_prefix(1);
    skipBlanks(rest);
    if (rest.empty() || rest.front() != '=') {
      return fail(kSdpErrorLineType, format("More than 1 character code - %s", line.c_str()));
    }
    rest.remove_prefix(1);
    skipBlanks(rest);
    if (firstLine && type != 'v') return fail(kSdpErrorVersion, "Version not 1st statement");
    // Every line after the first belongs to a session: the first is a v= line.
    switch (toLower(type)) {
      case 'v': return version(rest);
      case 'o': return origin(rest);
      case 's': current_->name = std::string(rest); return kSdpOk;
      case 'i':
        (media_ != nullptr ? media_->information : current_->information) = std::string(rest);
        return kSdpOk;
      case 'u': current_->uri = std::string(rest); return kSdpOk;
      case 'e': current_->emails.emplace_back(rest); return kSdpOk;
      case 'p': current_->phones.emplace_back(rest); return kSdpOk;
      case 'c': return connection(rest);
      case 'b': return bandwidth(rest);
      case 't': return time(rest);
      case 'r': return repeat(rest);
      case 'z': return zones(rest);
      case 'k': return key(rest);
      case 'm': return mediaLine(rest);
      case 'a': attribute(rest); return kSdpOk;
      default: return fail(kSdpErrorLineType, format("unknown code - %s", line.c_str()));
    }
  }

  int version(std::string_view value) {
    uint64_t v = 0;
    if (!parseWholeUnsigned(value, kMaxTimeValue, v) || v != 0) {
      return fail(kSdpErrorVersion, format("SDP Version not correct, %.*s",
                                           static_cast<int>(value.size()), value.data()));
    }
    std::unique_ptr<SdpSession>* slot = currentSlot_ == nullptr ? &first_ : &(*currentSlot_)->next;
    while (*slot) slot = &(*slot)->next;
    *slot = std::make_unique<SdpSession>();
    currentSlot_ = slot;
    current_ = slot->get();
    current_->version = 0;
    ++count_;
    media_ = nullptr;
    haveTime_ = false;
    mediaTail_ = &current_->media;
    return kSdpOk;
  }

  int origin(std::string_view value) {
    const std::string_view user = takeToken(value);
    if (user.empty()) return fail(kSdpErrorOrigin, "o=: no username");
    // Identifiers beyond 64 bits are kept saturated: they only have to be
    // numeric, nothing computes with them.
    uint64_t id = 0;
    if (!takeOriginNumber(takeToken(value), id))
      return fail(kSdpErrorOrigin, "Non-numeric session id");
    uint64_t version = 0;
    if (!takeOriginNumber(takeToken(value), version))
      return fail(kSdpErrorOrigin, "Non-numeric session version");
    if (!equalsNoCase(takeToken(value), "IN")) return fail(kSdpErrorOrigin, "o=: no IN statement");
    const std::string_view addressType = takeToken(value);
    if (addressType.empty()) return fail(kSdpErrorOrigin, "o=: No creation address type");
    const std::string_view address = takeToken(value);
    if (address.empty()) return fail(kSdpErrorOrigin, "o=: No creation address");
    if (user == "-") {
      current_->originUser.reset();
    } else {
      current_->originUser = std::string(user);
    }
    current_->sessionId = id;
    current_->sessionVersion = version;
    current_->originAddressType = std::string(addressType);
    current_->originAddress = std::string(address);
    return kSdpOk;
  }

  static bool takeOriginNumber(std::string_view token, uint64_t& value) {
    if (token.empty()) return false;
    uint64_t v = 0;
    for (char c : token) {
      if (!isDigit(c)) return false;
      const uint64_t digit = static_cast<uint64_t>(c - '0');
      v = (v > (UINT64_MAX - digit) / 10) ? UINT64_MAX : v * 10 + digit;
    }
    value = v;
    return true;
  }

  int connection(std::string_view value) {
    if (!equalsNoCase(takeToken(value), "IN"))
      return fail(kSdpErrorConnection, "IN statement missing from c");
    const std::string_view networkType = takeToken(value);
    if (networkType.empty()) return fail(kSdpErrorConnection, "No connection type in c=");
    std::string_view address = takeToken(value);
    if (address.empty()) return fail(kSdpErrorConnection, "No connection address in c=");
    SdpConnection result;
    result.networkType = std::string(networkType);
    const std::size_t slash = address.find('/');
    if (slash != std::string_view::npos) {
      std::string_view after = address.substr(slash + 1);
      address = address.substr(0, slash);
      uint64_t ttl = 0;
      if (!takeUnsigned(after, 0xFFFFFFFFu, ttl))
        return fail(kSdpErrorConnection, "No multicast TTL in c=");
      result.ttl = static_cast<uint32_t>(ttl);
      if (!after.empty()) {
        std::string_view count = after.substr(1);
        uint64_t n = 0;
        if (after.front() != '/' || !takeUnsigned(count, 0xFFFFFFFFu, n) || !count.empty()) {
          return fail(kSdpErrorConnection, format("c=: garbage after multicast ttl %.*s",
                                                  static_cast<int>(after.size()), after.data()));
        }
        result.addressCount = static_cast<uint32_t>(n);
      }
    }
    result.address = std::string(address);
    result.used = true;
    (media_ != nullptr ? media_->connection : current_->connection) = std::move(result);
    return kSdpOk;
  }

  int bandwidth(std::string_view value) {
    const std::size_t colon = value.find(':');
    if (colon == std::string_view::npos) return fail(kSdpErrorBandwidth, "No colon in bandwidth");
    const std::string_view modifier = trimRight(value.substr(0, colon));
    std::string_view number = value.substr(colon + 1);
    skipBlanks(number);
    if (number.empty()) return fail(kSdpErrorBandwidth, "No bandwidth in bandwidth");
    uint64_t v = 0;
    if (!parseWholeUnsigned(number, 0xFFFFFFFFu, v)) {
      return fail(kSdpErrorBandwidth, format("Error in decoding bandwidth value %.*s",
                                             static_cast<int>(number.size()), number.data()));
    }
    SdpBandwidth entry;
    entry.value = static_cast<uint32_t>(v);
    if (equalsNoCase(modifier, "as")) {
      entry.kind = SdpBandwidthKind::kApplicationSpecific;
    } else if (equalsNoCase(modifier, "ct")) {
      entry.kind = SdpBandwidthKind::kConferenceTotal;
    } else {
      entry.kind = SdpBandwidthKind::kOther;
      entry.name = std::string(modifier);
    }
    (media_ != nullptr ? media_->bandwidths : current_->bandwidths).push_back(std::move(entry));
    return kSdpOk;
  }

  static uint32_t ntpToUnix(uint64_t ntp) {
    const uint32_t low = static_cast<uint32_t>(ntp);
    return low == 0 ? 0 : low - kNtpToUnixOffset;
  }

  int time(std::string_view value) {
    uint64_t start = 0;
    uint64_t stop = 0;
    if (value.empty() || !isDigit(value.front())) {
      return fail(kSdpErrorTime,
                  format("t= statement has illegal first character %s", charText(value).c_str()));
    }
    takeOriginNumber(digitsOf(value), start);
    value.remove_prefix(digitsOf(value).size());
    std::string_view after = value;
    skipBlanks(after);
    if (value.empty() || !isBlank(value.front()) || after.empty() || !isDigit(after.front())) {
      const std::string_view bad = (!value.empty() && isBlank(value.front())) ? after : value;
      return fail(kSdpErrorTime, format("t= statement has illegal character after 1st number %s",
                                        charText(bad).c_str()));
    }
    takeOriginNumber(digitsOf(after), stop);
    SdpTime entry;
    entry.start = ntpToUnix(start);
    entry.stop = ntpToUnix(stop);
    current_->times.push_back(std::move(entry));
    haveTime_ = true;
    return kSdpOk;
  }

  static std::string_view digitsOf(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isDigit(s[i])) ++i;
    return s.substr(0, i);
  }

  int repeat(std::string_view value) {
    if (!haveTime_) return kSdpOk;
    const std::string original(value);
    SdpRepeat entry;
    uint64_t v = 0;
    if (!parseTimeValue(takeToken(value), v))
      return fail(kSdpErrorRepeat, "r=: bad repeat interval " + original);
    if (v == 0) return fail(kSdpErrorRepeat, "r=: zero repeat interval " + original);
    entry.interval = static_cast<uint32_t>(v);
    if (!parseTimeValue(takeToken(value), v))
      return fail(kSdpErrorRepeat, "r=: bad active duration " + original);
    entry.activeDuration = static_cast<uint32_t>(v);
    while (!value.empty() && entry.offsets.size() < kMaxRepeatOffsets) {
      if (!parseTimeValue(takeToken(value), v))
        return fail(kSdpErrorRepeat, "r=: bad repeat offset " + original);
      entry.offsets.push_back(static_cast<uint32_t>(v));
    }
    if (entry.offsets.empty()) return fail(kSdpErrorRepeat, "r=: no repeat offsets " + original);
    current_->times.back().repeats.push_back(std::move(entry));
    return kSdpOk;
  }

  int zones(std::string_view value) {
    const std::string original(value);
    std::vector<SdpZoneAdjustment> list;
    while (!value.empty()) {
      const std::string_view timeToken = takeToken(value);
      std::string_view offsetToken = takeToken(value);
      uint64_t time = 0;
      uint64_t offset = 0;
      const bool negative = !offsetToken.empty() && offsetToken.front() == '-';
      if (negative) offsetToken.remove_prefix(1);
      if (!parseTimeValue(timeToken, time) || !parseTimeValue(offsetToken, offset)) {
        return fail(kSdpErrorZone, "z=: malformed time zone adjustments " + original);
      }
      SdpZoneAdjustment entry;
      entry.time = static_cast<uint32_t>(time);
      entry.offset = negative ? -static_cast<int64_t>(offset) : static_cast<int64_t>(offset);
      list.push_back(entry);
    }
    if (list.empty()) return fail(kSdpErrorZone, "z=: malformed time zone adjustments " + original);
    current_->zoneAdjustments = std::move(list);
    return kSdpOk;
  }

  int key(std::string_view value) {
    SdpKey result;
    std::string_view rest = value;
    if (startsWithNoCase(rest, "prompt") && trimRight(rest.substr(6)).empty()) {
      result.method = SdpKeyMethod::kPrompt;
    } else {
      static constexpr struct {
        const char* name;
        SdpKeyMethod method;
      } kMethods[] = {{"clear", SdpKeyMethod::kClear},
                      {"base64", SdpKeyMethod::kBase64},
                      {"uri", SdpKeyMethod::kUri}};
      bool found = false;
      for (const auto& m : kMethods) {
        const std::string_view name(m.name);
        if (!startsWithNoCase(rest, name)) continue;
        std::string_view after = rest.substr(name.size());
        skipBlanks(after);
        if (after.empty() || after.front() != ':') continue;
        result.method = m.method;
        result.key = std::string(after.substr(1));
        found = true;
        break;
      }
      if (!found) {
        return fail(kSdpErrorKey, format("key statement keyword error %.*s",
                                         static_cast<int>(value.size()), value.data()));
      }
    }
    (media_ != nullptr ? media_->key : current_->key) = std::move(result);
    return kSdpOk;
  }

  int mediaLine(std::string_view value) {
    const std::string original(value);
    auto media = std::make_unique<SdpMedia>();
    const std::string_view type = takeToken(value);
    if (type.empty()) return fail(kSdpErrorMedia, "No media type");
    media->mediaType = std::string(type);
    std::string_view port = takeToken(value);
    uint64_t number = 0;
    if (port.empty() || !isDigit(port.front()) || !takeUnsigned(port, 0xFFFF, number)) {
      return fail(kSdpErrorMedia, "Illegal port number in media " + original);
    }
    media->port = static_cast<uint16_t>(number);
    if (!port.empty()) {
      if (port.front() != '/')
        return fail(kSdpErrorMedia, "Illegal port number in media " + original);
      port.remove_prefix(1);
      if (port.empty() && value.empty()) return fail(kSdpErrorMedia, "Missing keywords in media");
      if (!takeUnsigned(port, 0xFFFF, number) || !port.empty()) {
        return fail(kSdpErrorMedia, "Illegal port number in media " + original);
      }
      media->portCount = static_cast<uint16_t>(number);
    }
    const std::string_view transport = takeToken(value);
    if (transport.empty()) return fail(kSdpErrorMedia, "No transport in media");
    media->protocol = std::string(transport);
    if (value.empty() || !(isAlpha(value.front()) || isDigit(value.front()))) {
      return fail(kSdpErrorMedia, "No format in media " + original);
    }
    std::unique_ptr<SdpFormat>* formatTail = &media->formats;
    while (!value.empty()) {
      auto entry = std::make_unique<SdpFormat>();
      entry->format = std::string(takeToken(value));
      *formatTail = std::move(entry);
      formatTail = &(*formatTail)->next;
    }
    media->session = current_;
    *mediaTail_ = std::move(media);
    media_ = mediaTail_->get();
    mediaTail_ = &media_->next;
    return kSdpOk;
  }

  // --- attributes -------------------------------------------------------

  enum class Attr {
    kRtpMap,
    kCat,
    kFmtp,
    kKeywds,
    kTool,
    kCharset,
    kSdpLang,
    kLang,
    kType,
    kOrient,
    kControl,
    kEtag,
    kRecvOnly,
    kSendRecv,
    kSendOnly,
    kPtime,
    kQuality,
    kFrameRate,
    kRange
  };

  struct AttrEntry {
    const char* name;
    bool needsColon;
    bool skipBlanks;
    Attr attr;
  };

  void attribute(std::string_view value) {
    // clang-format off
    static constexpr AttrEntry kTable[] = {
        {"rtpmap", true, true, Attr::kRtpMap},     {"cat", true, true, Attr::kCat},
        {"fmtp", true, true, Attr::kFmtp},         {"keywds", true, false, Attr::kKeywds},
        {"tool", true, true, Attr::kTool},         {"charset", true, true, Attr::kCharset},
        {"sdplang", true, true, Attr::kSdpLang},   {"lang", true, true, Attr::kLang},
        {"type", true, true, Attr::kType},         {"orient", true, true, Attr::kOrient},
        {"control", true, true, Attr::kControl},   {"etag", true, true, Attr::kEtag},
        {"recvonly", false, false, Attr::kRecvOnly}, {"sendrecv", false, false, Attr::kSendRecv},
        {"sendonly", false, false, Attr::kSendOnly}, {"ptime", true, true, Attr::kPtime},
        {"quality", true, true, Attr::kQuality},   {"framerate", true, true, Attr::kFrameRate},
        {"range", true, true, Attr::kRange},
    };
    // clang-format on
    bool accepted = false;
    for (const AttrEntry& entry : kTable) {
      const std::string_view name(entry.name);
      if (!startsWithNoCase(value, name)) continue;
      if (value.size() > name.size()) {
        const char after = value[name.size()];
        if (!isBlank(after) && after != ':') continue;
      }
      std::string_view rest = value.substr(name.size());
      if (entry.needsColon) {
        skipBlanks(rest);
        if (rest.empty() || rest.front() != ':') break;
        rest.remove_prefix(1);
        if (entry.skipBlanks) skipBlanks(rest);
      }
      accepted = handle(entry.attr, rest);
      break;
    }
    if (!accepted)
      (media_ != nullptr ? media_->attributes : current_->attributes).emplace_back(value);
  }

  static bool setOnce(std::optional<std::string>& field, std::string_view value) {
    if (field) return false;
    field = std::string(value);
    return true;
  }

  bool handle(Attr attr, std::string_view rest) {
    switch (attr) {
      case Attr::kRtpMap: return rtpMap(rest);
      case Attr::kCat: return categories(rest);
      case Attr::kFmtp: return formatParameters(rest);
      case Attr::kKeywds: return setOnce(current_->keywds, rest);
      case Attr::kTool: return setOnce(current_->tool, rest);
      case Attr::kCharset: return setOnce(current_->charset, rest);
      case Attr::kSdpLang:
        return setOnce(media_ != nullptr ? media_->sdplang : current_->sdplang, rest);
      case Attr::kLang: return setOnce(media_ != nullptr ? media_->lang : current_->lang, rest);
      case Attr::kType: return conferenceType(rest);
      case Attr::kOrient: return orientation(rest);
      case Attr::kControl:
        return setOnce(media_ != nullptr ? media_->control : current_->control, rest);
      case Attr::kEtag: return setOnce(current_->etag, rest);
      case Attr::kRecvOnly: direction().recvOnly = true; return true;
      case Attr::kSendRecv: direction().sendRecv = true; return true;
      case Attr::kSendOnly: direction().sendOnly = true; return true;
      case Attr::kPtime:
        return mediaNumber(rest, media_ != nullptr ? &media_->ptime : nullptr,
                           media_ != nullptr ? &media_->ptimePresent : nullptr);
      case Attr::kQuality:
        return mediaNumber(rest, media_ != nullptr ? &media_->quality : nullptr,
                           media_ != nullptr ? &media_->qualityPresent : nullptr);
      case Attr::kFrameRate: return frameRate(rest);
      case Attr::kRange: return range(rest, media_ != nullptr ? media_->range : current_->range);
    }
    return false;
  }

  SdpDirection& direction() { return media_ != nullptr ? media_->direction : current_->direction; }

  // The format of the current media that the value starts with, or null.
  SdpFormat* findFormat(std::string_view value) const {
    if (media_ == nullptr) return nullptr;
    for (SdpFormat* f = media_->formats.get(); f != nullptr; f = f->next.get()) {
      const std::string_view name(f->format);
      if (!startsWithNoCase(value, name)) continue;
      if (value.size() == name.size() || isBlank(value[name.size()])) return f;
    }
    return nullptr;
  }

  bool rtpMap(std::string_view value) {
    SdpFormat* format = findFormat(value);
    if (format == nullptr || format->rtpMap) return false;
    std::string_view rest = value.substr(format->format.size());
    skipBlanks(rest);
    std::size_t end = 0;
    while (end < rest.size() && rest[end] != '/' && !isBlank(rest[end])) ++end;
    if (end == 0) return false;
    SdpRtpMap map;
    map.encodingName = std::string(rest.substr(0, end));
    rest.remove_prefix(end);
    if (!rest.empty() && rest.front() == '/') {
      rest.remove_prefix(1);
      std::size_t clockEnd = 0;
      while (clockEnd < rest.size() && rest[clockEnd] != '/' && !isBlank(rest[clockEnd]))
        ++clockEnd;
      uint64_t clock = 0;
      if (!parseWholeUnsigned(rest.substr(0, clockEnd), 0xFFFFFFFFu, clock)) return false;
      map.clockRate = static_cast<uint32_t>(clock);
      rest.remove_prefix(clockEnd);
      if (!rest.empty() && rest.front() == '/') {
        rest.remove_prefix(1);
        uint64_t parameter = 0;
        if (takeUnsigned(rest, 0xFFFFFFFFu, parameter))
          map.encodingParameter = static_cast<uint32_t>(parameter);
      }
    }
    format->rtpMap = std::move(map);
    return true;
  }

  bool formatParameters(std::string_view value) {
    SdpFormat* format = findFormat(value);
    if (format == nullptr || format->formatParameters) return false;
    std::string_view rest = value.substr(std::min(value.size(), format->format.size() + 1));
    skipBlanks(rest);
    format->formatParameters = std::string(rest);
    return true;
  }

  bool categories(std::string_view value) {
    if (current_->categories) return false;
    std::vector<uint32_t> list;
    for (;;) {
      std::size_t i = 0;
      while (i < value.size() && (isBlank(value[i]) || value[i] == '.')) ++i;
      value.remove_prefix(i);
      uint64_t n = 0;
      if (!takeUnsigned(value, 0xFFFFFFFFu, n) || n == 0) break;
      list.push_back(static_cast<uint32_t>(n));
    }
    if (list.empty()) return false;
    current_->categories = std::move(list);
    return true;
  }

  bool conferenceType(std::string_view value) {
    if (current_->conferenceType != 0) return false;
    static constexpr const char* kNames[] = {"broadcast", "meeting", "moderated", "test", "H332"};
    for (int i = 0; i < 5; ++i) {
      if (startsWithNoCase(value, kNames[i])) {
        current_->conferenceType = i + 1;
        return true;
      }
    }
    current_->conferenceType = 6;
    current_->conferenceTypeText = std::string(value);
    return true;
  }

  bool orientation(std::string_view value) {
    if (media_ == nullptr || media_->orientation != 0) return false;
    static constexpr const char* kNames[] = {"portrait", "landscape", "seascape"};
    for (int i = 0; i < 3; ++i) {
      if (startsWithNoCase(value, kNames[i])) {
        media_->orientation = i + 1;
        return true;
      }
    }
    media_->orientation = 4;
    media_->orientationText = std::string(value);
    return true;
  }

  static bool mediaNumber(std::string_view value, uint32_t* target, bool* present) {
    if (target == nullptr) return false;
    uint64_t n = 0;
    if (!parseWholeUnsigned(value, 0xFFFFFFFFu, n)) return false;
    *target = static_cast<uint32_t>(n);
    *present = true;
    return true;
  }

  bool frameRate(std::string_view value) {
    if (media_ == nullptr) return false;
    double rate = 0.0;
    if (!takeDecimal(value, rate) || !trimRight(value).empty()) return false;
    media_->frameRate = rate;
    media_->frameRatePresent = true;
    return true;
  }

  // npt time: seconds, m:s or h:m:s, with an optional fraction.
  static bool takeNptTime(std::string_view& s, double& seconds) {
    uint64_t fields[3] = {0, 0, 0};
    int count = 0;
    for (;;) {
      uint64_t v = 0;
      if (!takeUnsigned(s, kMaxTimeValue, v)) return false;
      fields[count++] = v;
      if (count < 3 && s.size() >= 2 && s.front() == ':' && isDigit(s[1])) {
        s.remove_prefix(1);
        continue;
      }
      break;
    }
    double fraction = 0.0;
    if (!s.empty() && s.front() == '.') {
      std::string_view digits = s;
      if (!takeDecimal(digits, fraction)) {
        s.remove_prefix(1);  // "12." is 12 seconds
        fraction = 0.0;
      } else {
        s = digits;
      }
    }
    double total = 0.0;
    for (int i = 0; i < count; ++i) total = total * 60.0 + static_cast<double>(fields[i]);
    seconds = total + fraction;
    return true;
  }

  // smpte time: hours:minutes:seconds[:frames[.subframes]].
  static bool takeSmpteTime(std::string_view& s, double frameRate, double& seconds) {
    uint64_t h = 0, m = 0, sec = 0;
    if (!takeUnsigned(s, kMaxTimeValue, h) || s.empty() || s.front() != ':') return false;
    s.remove_prefix(1);
    if (!takeUnsigned(s, kMaxTimeValue, m) || s.empty() || s.front() != ':') return false;
    s.remove_prefix(1);
    if (!takeUnsigned(s, kMaxTimeValue, sec)) return false;
    double frames = 0.0;
    if (s.size() >= 2 && s.front() == ':' && isDigit(s[1])) {
      s.remove_prefix(1);
      if (!takeDecimal(s, frames)) return false;
    }
    seconds = static_cast<double>(h) * 3600.0 + static_cast<double>(m) * 60.0 +
              static_cast<double>(sec) + frames / frameRate;
    return true;
  }

  static bool range(std::string_view value, SdpRange& target) {
    if (target.valid) return false;
    SdpRange result;
    if (startsWithNoCase(value, "npt")) {
      result.npt = true;
      value.remove_prefix(3);
    } else if (startsWithNoCase(value, "smpte")) {
      value.remove_prefix(5);
      double rate = 0.0;
      if (startsWithNoCase(value, "-30-drop")) {
        value.remove_prefix(8);
        rate = 29.97;
      } else if (!value.empty() && value.front() == '-') {
        value.remove_prefix(1);
        if (!takeDecimal(value, rate)) return false;
      }
      result.smpteFrameRate = rate == 0.0 ? 30.0 : rate;
    } else {
      return false;
    }
    skipBlanks(value);
    if (value.empty() || value.front() != '=') return false;
    value.remove_prefix(1);
    skipBlanks(value);
    const auto takeTime = [&result](std::string_view& s, double& t) {
      return result.npt ? takeNptTime(s, t) : takeSmpteTime(s, result.smpteFrameRate, t);
    };
    // RFC 2326 3.6: an npt range may start "now" (a live session); its
    // duration is unknown whatever end it names.
    const bool now = result.npt && startsWithNoCase(value, "now");
    if (now) {
      value.remove_prefix(3);
    } else if (!takeTime(value, result.start)) {
      return false;
    }
    skipBlanks(value);
    if (value.empty() || value.front() != '-') return false;
    value.remove_prefix(1);
    skipBlanks(value);
    if (value.empty()) {
      result.openEnd = true;
    } else if (!takeTime(value, result.end) || !trimRight(value).empty()) {
      return false;
    }
    if (now) {
      result.startNow = true;
      result.openEnd = true;
    }
    result.valid = true;
    target = result;
    return true;
  }

  std::unique_ptr<SdpSession>& first_;
  std::unique_ptr<SdpSession>* currentSlot_ = nullptr;
  SdpSession* current_ = nullptr;
  SdpMedia* media_ = nullptr;
  std::unique_ptr<SdpMedia>* mediaTail_ = nullptr;
  bool haveTime_ = false;
  int count_ = 0;
  std::string error_;
};

}  // namespace

int decodeSdp(SdpInput* input, std::unique_ptr<SdpSession>& first, int& count,
              std::string* errorText) {
  first.reset();
  count = 0;
  if (errorText != nullptr) errorText->clear();
  if (input == nullptr || input->version != 1 || (!input->inMemory && !input->file)) {
    if (errorText != nullptr) *errorText = "No input";
    protocolLog(3, kLogTag, "No input");
    return kSdpErrorInput;
  }
  int rc = kSdpOk;
  std::string error;
  {
    Decoder decoder(first);
    try {
      rc = decoder.decode(*input);
      error = decoder.error();
    } catch (const std::bad_alloc&) {
      rc = kSdpOutOfMemory;
      error = "Out of memory";
    }
    if (rc != kSdpOk) decoder.dropCurrentSession();
    count = decoder.count();
  }
  input->file.reset();
  if (errorText != nullptr) *errorText = std::move(error);
  return rc;
}

}  // namespace strevana
