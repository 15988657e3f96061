#pragma once
// UrlHistory: the URLs typed into the Open URL dialog during this run, oldest
// first, newest last, at most ten, never twice. In memory only.
//
// Threads: UI thread. Plain value type.
#include <cstddef>
#include <string>
#include <vector>

namespace strevana {

class UrlHistory {
 public:
  static constexpr size_t kCapacity = 10;
  // A URL is held in 1024 bytes with its terminator.
  static constexpr size_t kMaxUrlLength = 1023;

  // Makes url the newest entry: an equal entry moves to the end, a full
  // history drops its oldest. A URL longer than kMaxUrlLength is not kept
  // (it could only be kept cut, which would be another URL).
  void record(const std::string& url);

  size_t count() const { return urls_.size(); }
  const std::string& at(size_t index) const { return urls_.at(index); }
  const std::vector<std::string>& urls() const { return urls_; }

 private:
  std::vector<std::string> urls_;
};

}  // namespace strevana
