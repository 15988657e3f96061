#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

namespace strevana {
namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto key = RegistryKey::open();
    ASSERT_NE(key, nullptr);
    for (const char* n : {"MRUName0", "MRUUrl0", "Language", "Odd"}) key->deleteValue(n);
  }
};

TEST_F(RegistryTest, MissingValuesFail) {
  auto key = RegistryKey::open();
  char buffer[RegistryKey::kStringBufferBytes] = "unchanged";
  EXPECT_FALSE(key->queryString("MRUName0", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "unchanged");
  uint32_t v = 7;
  EXPECT_FALSE(key->queryNumber("MRUUrl0", v));
  EXPECT_EQ(v, 7u);
  // No name is never a value.
  EXPECT_FALSE(key->queryNumber(nullptr, v));
  EXPECT_FALSE(key->queryString(nullptr, buffer, sizeof buffer));
  EXPECT_FALSE(key->setString(nullptr, "x"));
  EXPECT_FALSE(key->setNumber(nullptr, 1));
  EXPECT_FALSE(key->deleteValue(nullptr));
  EXPECT_FALSE(key->deleteValue("MRUName0"));
}

TEST_F(RegistryTest, ValuesSurviveReopeningWithTheirTypes) {
  {
    auto key = RegistryKey::open();
    EXPECT_TRUE(key->setString("MRUName0", "/media/clip one.mp4"));
    EXPECT_TRUE(key->setNumber("MRUUrl0", 0xFFFFFFFFu));
    EXPECT_TRUE(key->setString("Language", "12"));  // a string, though it looks like a number
  }
  auto key = RegistryKey::open();
  EXPECT_EQ(key->queryString("MRUName0").value_or("?"), "/media/clip one.mp4");
  uint32_t v = 0;
  EXPECT_TRUE(key->queryNumber("MRUUrl0", v));
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_FALSE(key->queryNumber("Language", v));  // wrong type
  EXPECT_FALSE(key->queryString("MRUUrl0").has_value());
  EXPECT_EQ(key->queryString("Language").value_or("?"), "12");
}

TEST_F(RegistryTest, StringsMustFitTheReadBuffer) {
  auto key = RegistryKey::open();
  ASSERT_TRUE(key->setString("MRUName0", std::string(255, 'a')));
  EXPECT_EQ(key->queryString("MRUName0").value_or("").size(), 255u);
  ASSERT_TRUE(key->setString("MRUName0", std::string(256, 'a')));
  EXPECT_FALSE(key->queryString("MRUName0").has_value());
  char small[4];
  ASSERT_TRUE(key->setString("MRUName0", "abc"));
  EXPECT_TRUE(key->queryString("MRUName0", small, sizeof small));
  ASSERT_TRUE(key->setString("MRUName0", "abcd"));
  EXPECT_FALSE(key->queryString("MRUName0", small, sizeof small));
}

TEST_F(RegistryTest, TextWithIniSpecialCharactersRoundTrips) {
  const std::string odd = "a,b;c=d [x] \"q\" @e \xC3\xA4 # not a comment";
  {
    auto key = RegistryKey::open();
    ASSERT_TRUE(key->setString("Odd", odd));
  }
  EXPECT_EQ(RegistryKey::open()->queryString("Odd").value_or("?"), odd);
}

}  // namespace
}  // namespace strevana
