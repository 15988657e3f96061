#include "platform/registry.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <optional>
#include <string>
#include <tuple>

namespace strevana {
namespace {

// Each test binary has settings of its own (see support/test_process.cpp).
TEST(Registry, ValuesSurviveReopeningWithTheirTypesAndGoWhenDeleted) {
  auto key = RegistryKey::open();
  ASSERT_NE(key, nullptr);
  const std::string odd = "a,b;c=d [x] \"q\" @e \xC3\xA4 # not a comment / or \\ that";
  EXPECT_TRUE(key->setString("MRUName0", odd) && key->setNumber("MRUUrl0", 0xFFFFFFFFu));
  key = RegistryKey::open();
  EXPECT_EQ(key->queryString("MRUName0").value_or("?"), odd);
  uint32_t v = 0;
  EXPECT_TRUE(key->queryNumber("MRUUrl0", v) && v == 0xFFFFFFFFu);
  EXPECT_FALSE(key->queryString("MRUUrl0").has_value());  // wrong type
  EXPECT_TRUE(key->deleteValue("MRUName0") && !key->deleteValue("MRUName0"));
  EXPECT_FALSE(RegistryKey::open()->queryString("MRUName0").has_value());
  // Missing values and no name leave the output alone.
  char buffer[RegistryKey::kStringBufferBytes] = "unchanged";
  v = 7;
  EXPECT_FALSE(key->queryString("MRUName0", buffer, sizeof buffer) || key->queryNumber("No", v));
  EXPECT_EQ(std::tuple(std::string(buffer), v), std::tuple("unchanged", 7u));
  EXPECT_FALSE(key->queryNumber(nullptr, v) || key->queryString(nullptr, buffer, sizeof buffer) ||
               key->setString(nullptr, "x") || key->setNumber(nullptr, 1) ||
               key->deleteValue(nullptr));
}

// The settings file is text a user may edit: a number is "dword:" and one to
// eight hex digits, a string "sz:" and the text, and it must fit the reader's
// buffer with its terminating zero.
TEST(Registry, StoredTextIsReadOnlyAsWhatItIs) {
  const std::string a255(255, 'a');
  // clang-format off
  const std::tuple<std::string, std::optional<uint32_t>, std::optional<std::string>> cases[] = {
      {"dword:ffffffff", 0xFFFFFFFFu, {}}, {"dword:0", 0u, {}},      {"dword:", {}, {}},
      {"dword:123456789", {}, {}},         {"dword:12g", {}, {}},    {"sz:", {}, ""},
      {"sz:" + a255, {}, a255},            {"sz:" + a255 + "a", {}, {}}, {"12", {}, {}},
      {"sz:12", {}, "12"},
  };
  // clang-format on
  for (const auto& [stored, number, text] : cases) {
    QSettings(QSettings::IniFormat, QSettings::UserScope, "Korvello", "strevana Player")
        .setValue("Odd", QString::fromStdString(stored));  // written when it goes
    auto key = RegistryKey::open();
    uint32_t v = 0;
    EXPECT_EQ(key->queryNumber("Odd", v) ? std::optional(v) : std::nullopt, number) << stored;
    EXPECT_EQ(key->queryString("Odd"), text) << stored;
  }
}

}  // namespace
}  // namespace strevana
