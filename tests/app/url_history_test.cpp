#include "app/url_history.h"

#include <gtest/gtest.h>

namespace strevana {
namespace {

std::string url(int i) { return "rtsp://host/stream" + std::to_string(i); }

TEST(UrlHistory, KeepsOrderDropsTheOldestAndNeverHoldsTwice) {
  UrlHistory h;
  for (int i = 0; i < 3; ++i) h.record(url(i));
  EXPECT_EQ(h.urls(), (std::vector<std::string>{url(0), url(1), url(2)}));
  // Re-entering moves to the newest place.
  h.record(url(0));
  EXPECT_EQ(h.urls(), (std::vector<std::string>{url(1), url(2), url(0)}));
  h.record(url(0));  // the newest again: nothing moves
  EXPECT_EQ(h.count(), 3u);
  for (int i = 3; i < 10; ++i) h.record(url(i));
  ASSERT_EQ(h.count(), 10u);
  EXPECT_EQ(h.at(0), url(1));
  h.record(url(10));  // the eleventh distinct URL drops the oldest
  ASSERT_EQ(h.count(), 10u);
  EXPECT_EQ(h.at(0), url(2));
  EXPECT_EQ(h.at(9), url(10));
  h.record(url(5));
  EXPECT_EQ(h.count(), 10u);
  EXPECT_EQ(h.at(9), url(5));
  EXPECT_EQ(h.at(0), url(2));
}

TEST(UrlHistory, UrlsAreComparedByteForByte) {
  UrlHistory h;
  h.record("rtsp://h/A");
  h.record("rtsp://h/a");
  EXPECT_EQ(h.count(), 2u);
}

TEST(UrlHistory, OverlongUrlsAreNotKeptCut) {
  UrlHistory h;
  h.record(std::string(UrlHistory::kMaxUrlLength, 'u'));
  EXPECT_EQ(h.count(), 1u);
  h.record(std::string(UrlHistory::kMaxUrlLength + 1, 'v'));
  EXPECT_EQ(h.count(), 1u);
}

}  // namespace
}  // namespace strevana
