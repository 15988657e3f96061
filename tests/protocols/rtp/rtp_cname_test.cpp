#include "protocols/rtp/rtp_cname.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

namespace strevana {
namespace {

TEST(RtpCnameTest, IsUserAtHostWithFallbacks) {
  EXPECT_EQ(composeCname("anna", "studio"), "anna@studio");
  EXPECT_EQ(composeCname(std::nullopt, "studio"), "curuser@studio");
  EXPECT_EQ(composeCname("anna", std::nullopt), "anna@unknown-host");
  EXPECT_EQ(composeCname("", ""), "curuser@unknown-host");
}

TEST(RtpCnameTest, IsCutToWhatAnSdesItemCarries) {
  EXPECT_EQ(composeCname(std::string(200, 'u'), std::string(200, 'h')).size(), 255u);
}

TEST(RtpCnameTest, LocalNameEndsWithThisHostsName) {
  char host[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  const std::string cname = localCname();
  const auto at = cname.find('@');
  ASSERT_NE(at, std::string::npos);
  EXPECT_GT(at, 0u);
  EXPECT_EQ(cname.substr(at + 1), host);
  // Running without a login session still yields an account name.
  EXPECT_TRUE(lookUpUserName().has_value());
}

}  // namespace
}  // namespace strevana
