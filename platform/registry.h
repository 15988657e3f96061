#pragma once
// RegistryKey: the player's settings key, "SOFTWARE\Korvello\strevana Player"
// under the current user, kept in QSettings("Korvello", "strevana Player")
// (an INI file under $XDG_CONFIG_HOME/Korvello/). Callers keep the registry's
// model: named values of two types, string and 32-bit number; a value that is
// missing, of the other type, or too long for the caller's buffer is a failure.
//
// Values are stored with their type in front ("sz:" text, "dword:" eight hex
// digits) so that a string that looks like a number stays a string and the
// file stays readable by hand.
//
// Threads: UI thread only. Ownership: a key is opened for one read or write
// and closed (flushed) when it goes out of scope.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QSettings;

namespace strevana {

class RegistryKey {
 public:
  // Reads of strings use buffers of this size (text plus terminator).
  static constexpr size_t kStringBufferBytes = 256;
  // The key's path as the player names it.
  static constexpr const char* kPath = "SOFTWARE\\Korvello\\strevana Player";

  // Opens the key, creating it when missing. Null only when the settings
  // store cannot be used at all.
  static std::unique_ptr<RegistryKey> open();
  ~RegistryKey();
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Copies the string value into buffer (zero-terminated). False when the
  // value is missing, not a string, or does not fit bufferBytes with its
  // terminator; the buffer is then left unchanged.
  bool queryString(const char* name, char* buffer, size_t bufferBytes) const;
  // Same as queryString into a std::string, with the 256-byte limit.
  std::optional<std::string> queryString(const char* name) const;
  // False when the value is missing or not a 32-bit number.
  bool queryNumber(const char* name, uint32_t& value) const;

  bool setString(const char* name, const std::string& text);
  bool setNumber(const char* name, uint32_t value);
  bool deleteValue(const char* name);

 private:
  explicit RegistryKey(std::unique_ptr<QSettings> settings);
  std::unique_ptr<QSettings> settings_;
};

}  // namespace strevana
