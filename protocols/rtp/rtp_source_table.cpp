#include "protocols/rtp/rtp_source_table.h"

#include <algorithm>

namespace strevana {
namespace {

auto lowerBound(const std::vector<std::unique_ptr<RtpSource>>& bucket, uint32_t ssrc) {
  return std::lower_bound(
      bucket.begin(), bucket.end(), ssrc,
      [](const std::unique_ptr<RtpSource>& s, uint32_t v) { return s->ssrc() < v; });
}

}  // namespace

RtpSource* RtpSourceTable::find(uint32_t ssrc) const {
  const auto& bucket = buckets_[bucketOf(ssrc)];
  auto it = lowerBound(bucket, ssrc);
  return (it != bucket.end() && (*it)->ssrc() == ssrc) ? it->get() : nullptr;
}

RtpSource* RtpSourceTable::create(uint32_t ssrc) {
  if (full()) return nullptr;
  auto& bucket = buckets_[bucketOf(ssrc)];
  auto it = lowerBound(bucket, ssrc);
  if (it != bucket.end() && (*it)->ssrc() == ssrc) return nullptr;
  it = bucket.insert(it, std::make_unique<RtpSource>(ssrc));
  ++count_;
  return it->get();
}

bool RtpSourceTable::remove(uint32_t ssrc) {
  auto& bucket = buckets_[bucketOf(ssrc)];
  auto it = lowerBound(bucket, ssrc);
  if (it == bucket.end() || (*it)->ssrc() != ssrc) return false;
  if (current_ == it->get()) current_ = nullptr;
  bucket.erase(it);
  --count_;
  return true;
}

void RtpSourceTable::clear() {
  for (auto& bucket : buckets_) bucket.clear();
  count_ = 0;
  current_ = nullptr;
  currentBucket_ = 0;
}

bool RtpSourceTable::seekWithData(size_t bucket, size_t position) {
  for (size_t b = bucket; b < kBucketCount; ++b, position = 0) {
    const auto& chain = buckets_[b];
    for (size_t i = position; i < chain.size(); ++i) {
      if (chain[i]->valid() && chain[i]->hasPackets()) {
        current_ = chain[i].get();
        currentBucket_ = b;
        return true;
      }
    }
  }
  current_ = nullptr;
  return false;
}

bool RtpSourceTable::gotoFirstWithData() { return seekWithData(0, 0); }

bool RtpSourceTable::gotoNextWithData() {
  if (current_ == nullptr) return false;
  // Resume just after the current source's SSRC within its bucket; the
  // position is found again by SSRC, so it stays right across insertions.
  const auto& chain = buckets_[currentBucket_];
  auto it = std::upper_bound(
      chain.begin(), chain.end(), current_->ssrc(),
      [](uint32_t v, const std::unique_ptr<RtpSource>& s) { return v < s->ssrc(); });
  return seekWithData(currentBucket_, static_cast<size_t>(it - chain.begin()));
}

}  // namespace strevana
