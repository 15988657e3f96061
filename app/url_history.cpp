#include "app/url_history.h"

namespace strevana {

void UrlHistory::record(const std::string& url) {
  if (url.size() > kMaxUrlLength) return;
  const size_t n = urls_.size();
  // Entries 0 to n - 2 are searched; the newest needs no move when it
  // matches, and rewriting it in place keeps it where it is.
  size_t i = n == 0 ? 0 : n - 1;
  for (size_t k = 0; k + 1 < n; ++k) {
    if (urls_[k] == url) {
      i = k;
      break;
    }
  }
  if (n > 0 && urls_[i] == url) {
    urls_.erase(urls_.begin() + static_cast<std::ptrdiff_t>(i));
    urls_.push_back(url);
    return;
  }
  if (n == kCapacity) urls_.erase(urls_.begin());
  urls_.push_back(url);
}

}  // namespace strevana
