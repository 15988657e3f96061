#pragma once
// Helpers for the recent-list, language and movie-information tests: the
// settings store as the player sees it, and folders of language modules.
#include <QSettings>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace strevana::testing {

// Empties the player's settings (the tests' private XDG_CONFIG_HOME).
inline void clearSettings() {
  QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Korvello"),
                     QStringLiteral("strevana Player"));
  settings.clear();
  settings.sync();
}

inline std::optional<std::string> settingString(const char* name) {
  auto key = RegistryKey::open();
  if (!key) return std::nullopt;
  return key->queryString(name);
}

inline std::optional<uint32_t> settingNumber(const char* name) {
  auto key = RegistryKey::open();
  uint32_t value = 0;
  if (!key || !key->queryNumber(name, value)) return std::nullopt;
  return value;
}

inline void setSetting(const char* name, const std::string& text) {
  auto key = RegistryKey::open();
  ASSERT_TRUE(key);
  key->setString(name, text);
}

inline void setSetting(const char* name, uint32_t value) {
  auto key = RegistryKey::open();
  ASSERT_TRUE(key);
  key->setNumber(name, value);
}

inline void deleteSetting(const char* name) {
  auto key = RegistryKey::open();
  ASSERT_TRUE(key);
  key->deleteValue(name);
}

// A fresh, empty folder under the test temp folder.
inline std::string makeTempFolder(const char* stem) {
  std::string pattern = ::testing::TempDir() + stem + "-XXXXXX";
  char* made = mkdtemp(pattern.data());
  EXPECT_NE(made, nullptr);
  return pattern;
}

inline void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// The German module shipped with the player.
inline std::string germanModuleSource() {
  return (std::filesystem::path(STREVANA_TEST_DATA_DIR) / ".." / ".." / "resources" /
          "lang" / "strevanaPlayer_de.lang")
      .lexically_normal()
      .string();
}

}  // namespace strevana::testing
