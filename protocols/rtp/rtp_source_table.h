#pragma once
// RtpSourceTable: the remote sources of one session, in 1024 buckets keyed by
// the low 10 bits of the SSRC, each bucket in ascending SSRC order, plus the
// caller's iterator over the sources that hold queued packets.
//
// The table holds at most kMaxSources sources: SSRCs are 32 bits a peer can
// choose freely, so without a cap a stream of made-up SSRCs would grow it
// without end. Creating a source in a full table fails; the session decides
// which source, if any, is evicted first (RtpSession: sources still on
// probation before valid ones).
//
// The iteration visits only valid sources (RtpSource::valid) with queued
// packets: what a source holds while on probation is not handed out.
//
// Owned by RtpSession; used on the thread that drives the session.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "protocols/rtp/rtp_source.h"

namespace strevana {

class RtpSourceTable {
 public:
  static constexpr size_t kBucketCount = 1024;
  static constexpr size_t kMaxSources = 64;

  RtpSource* find(uint32_t ssrc) const;
  // Returns the new source, or null when the SSRC is present or the table full.
  RtpSource* create(uint32_t ssrc);
  // Removes and destroys the source (and its queued packets). Resets the
  // iterator when it stood on that source.
  bool remove(uint32_t ssrc);
  void clear();
  size_t size() const { return count_; }
  bool full() const { return count_ >= kMaxSources; }

  // Iteration over valid sources with queued packets, in bucket then SSRC
  // order.
  bool gotoFirstWithData();
  bool gotoNextWithData();
  RtpSource* current() const { return current_; }

  // Visits every source (bucket then SSRC order). `visit` must not add or
  // remove sources.
  template <typename Visit>
  void forEach(Visit&& visit) const {
    for (const auto& bucket : buckets_) {
      for (const auto& source : bucket) visit(static_cast<const RtpSource&>(*source));
    }
  }
  template <typename Visit>
  void forEach(Visit&& visit) {
    for (auto& bucket : buckets_) {
      for (auto& source : bucket) visit(*source);
    }
  }

 private:
  static size_t bucketOf(uint32_t ssrc) { return ssrc & (kBucketCount - 1); }
  // First source with data at or after (bucket, position).
  bool seekWithData(size_t bucket, size_t position);

  std::array<std::vector<std::unique_ptr<RtpSource>>, kBucketCount> buckets_;
  size_t count_ = 0;
  RtpSource* current_ = nullptr;
  size_t currentBucket_ = 0;
};

}  // namespace strevana
