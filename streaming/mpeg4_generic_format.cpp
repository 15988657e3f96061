#include "streaming/mpeg4_generic_format.h"

#include <strings.h>

#include <algorithm>

#include "streaming/bit_reader.h"
#include "streaming/fmtp_parameters.h"
#include "streaming/payload_config.h"

namespace strevana {
namespace {

// ISO/IEC 14496-3 1.6.3.4 samplingFrequencyIndex.
constexpr uint32_t kSamplingRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                         22050, 16000, 12000, 11025, 8000,  7350};

// The sampling rate of an AudioSpecificConfig, 0 when it cannot be read.
uint32_t samplingRateOf(const std::vector<uint8_t>& config) {
  BitReader r(config.data(), config.size() * 8);
  if (r.read(5) == 31) r.read(6);  // audioObjectType escape
  const uint32_t index = r.read(4);
  const uint32_t rate = index == 15 ? r.read(24) : (index < 13 ? kSamplingRates[index] : 0);
  return r.overrun() ? 0 : rate;
}

// First time + index x duration. Indices and durations come from the
// network, so the arithmetic wraps instead of overflowing.
int64_t timeAt(int64_t timestamp, int64_t index, int64_t duration) {
  return static_cast<int64_t>(static_cast<uint64_t>(timestamp) +
                              static_cast<uint64_t>(index) * static_cast<uint64_t>(duration));
}

}  // namespace

Mpeg4GenericFormat::Mpeg4GenericFormat(const PayloadFormatParameters& parameters) {
  const std::string_view fmtp = parameters.formatParameters;
  if (const auto mode = fmtpValue(fmtp, "mode")) {
    if (::strcasecmp(mode->c_str(), "AAC-hbr") == 0) {
      layout_.sizeLength = 13;
      layout_.indexLength = 3;
      layout_.indexDeltaLength = 3;
    } else if (::strcasecmp(mode->c_str(), "AAC-lbr") == 0) {
      layout_.sizeLength = 6;
      layout_.indexLength = 2;
      layout_.indexDeltaLength = 2;
    }
  }
  const auto field = [&](std::string_view name, uint32_t& value) {
    if (const auto n = fmtpNumber(fmtp, name, kMaxFieldBits)) value = *n;
  };
  field("sizeLength", layout_.sizeLength);
  field("indexLength", layout_.indexLength);
  field("indexDeltaLength", layout_.indexDeltaLength);
  field("CTSDeltaLength", layout_.ctsDeltaLength);
  field("DTSDeltaLength", layout_.dtsDeltaLength);
  field("randomAccessIndication", layout_.randomAccessIndication);
  field("streamStateIndication", layout_.streamStateIndication);
  field("auxiliaryDataSizeLength", layout_.auxiliaryDataSizeLength);
  layout_.randomAccessIndication = layout_.randomAccessIndication ? 1 : 0;
  if (const auto n = fmtpNumber(fmtp, "constantSize", UINT32_MAX)) layout_.constantSize = *n;
  if (const auto n = fmtpNumber(fmtp, "constantDuration", UINT32_MAX); n && *n > 0) {
    layout_.duration = *n;
  } else {
    const uint32_t rate = samplingRateOf(configBytes(fmtp));
    if (rate > 0 && parameters.clockRate > 0) {
      layout_.duration = std::max<int64_t>(1, kDefaultFrameSamples * parameters.clockRate / rate);
    }
  }
}

bool Mpeg4GenericFormat::hasHeaderSection() const {
  return layout_.sizeLength || layout_.indexLength || layout_.indexDeltaLength ||
         layout_.ctsDeltaLength || layout_.dtsDeltaLength || layout_.randomAccessIndication ||
         layout_.streamStateIndication;
}

void Mpeg4GenericFormat::reset() {
  partial_.clear();
  partialSize_ = 0;
  reassembling_ = false;
}

PayloadResult Mpeg4GenericFormat::depacketize(const RtpFrame& frame,
                                              std::vector<AccessUnit>& units) {
  completed_.clear();
  if (!frame.data) return PayloadResult::kOk;
  const size_t before = units.size();
  int64_t nextIndex = -1;  // the first packet takes its AU-Index
  size_t at = 0;
  const auto run = [&](size_t length) {
    const PayloadResult result = packet(frame.data + at, length, frame.timestamp, nextIndex, units);
    at += length;
    return result;
  };
  PayloadResult result = PayloadResult::kOk;
  if (frame.packetSizes.empty()) {
    result = run(frame.size);
  } else {
    for (const uint32_t length : frame.packetSizes) {
      if (length > frame.size - at) {
        result = PayloadResult::kMalformed;
        break;
      }
      result = run(length);
      if (result != PayloadResult::kOk) break;
    }
  }
  if (result != PayloadResult::kOk) {
    units.resize(before);
    completed_.clear();
    reset();
  }
  return result;
}

PayloadResult Mpeg4GenericFormat::packet(const uint8_t* p, size_t size, int64_t timestamp,
                                         int64_t& nextIndex, std::vector<AccessUnit>& units) {
  const Layout& l = layout_;
  size_t at = 0;
  headers_.clear();
  if (hasHeaderSection()) {
    // RFC 3640 3.2.1: AU-headers-length in bits, then the headers, padded to
    // whole bytes.
    if (size < 2) return PayloadResult::kMalformed;
    const size_t bits = static_cast<size_t>(p[0]) << 8 | p[1];
    const size_t bytes = (bits + 7) / 8;
    if (bytes > size - 2) return PayloadResult::kMalformed;
    BitReader r(p + 2, bits);
    while (r.remaining() > 0) {
      const size_t start = r.position();
      Header h;
      h.size = l.sizeLength ? r.read(l.sizeLength) : l.constantSize;
      if (headers_.empty()) {
        const int64_t index = r.read(l.indexLength);
        h.index = nextIndex < 0 ? index : nextIndex;
      } else {
        h.index = headers_.back().index + 1 + r.read(l.indexDeltaLength);
      }
      if (l.ctsDeltaLength && r.read(1)) r.skip(l.ctsDeltaLength);
      if (l.dtsDeltaLength && r.read(1)) r.skip(l.dtsDeltaLength);
      r.skip(l.randomAccessIndication + l.streamStateIndication);
      if (r.overrun()) return PayloadResult::kMalformed;  // a header cut short
      // Headers after the first may have no bits at all (only an AU-Index
      // announced): the rest of the section then cannot be read.
      if (r.position() == start) return PayloadResult::kMalformed;
      headers_.push_back(h);
    }
    if (headers_.empty()) return PayloadResult::kMalformed;
    at = 2 + bytes;
  }
  if (l.auxiliaryDataSizeLength) {
    // RFC 3640 3.2.2: auxiliary-data-size in bits, then the data, padded.
    BitReader r(p + at, (size - at) * 8);
    const size_t auxBits = r.read(l.auxiliaryDataSizeLength);
    if (r.overrun()) return PayloadResult::kMalformed;
    const size_t bytes = (l.auxiliaryDataSizeLength + auxBits + 7) / 8;
    if (bytes > size - at) return PayloadResult::kMalformed;
    at += bytes;
  }
  const uint8_t* data = p + at;
  const size_t dataSize = size - at;
  const int64_t first = nextIndex < 0 ? 0 : nextIndex;

  if (!hasHeaderSection()) {
    // No headers: constant-size units filling the packet, or one unit.
    if (dataSize == 0) return PayloadResult::kOk;
    const size_t unit = l.constantSize ? l.constantSize : dataSize;
    if (dataSize % unit != 0) return PayloadResult::kMalformed;
    int64_t index = first;
    for (size_t off = 0; off < dataSize; off += unit, ++index) {
      units.push_back(
          {data + off, static_cast<uint32_t>(unit), timeAt(timestamp, index, l.duration)});
    }
    nextIndex = index;
    reassembling_ = false;
    return PayloadResult::kOk;
  }

  if (headers_.size() == 1 && headers_[0].size > dataSize) {
    // RFC 3640 3.2.3: a fragment carries the size of the whole unit; the
    // fragments that follow it carry the same size.
    const Header& h = headers_[0];
    if (!reassembling_ || partialSize_ != h.size) {
      reset();
      reassembling_ = true;
      partialSize_ = h.size;
      partialTime_ = timeAt(timestamp, h.index, l.duration);
    }
    if (dataSize > partialSize_ - partial_.size()) return PayloadResult::kMalformed;
    partial_.insert(partial_.end(), data, data + dataSize);
    if (partial_.size() < partialSize_) {
      nextIndex = h.index;
      return PayloadResult::kOk;
    }
    completed_.push_back(std::move(partial_));
    units.push_back({completed_.back().data(), partialSize_, partialTime_});
    reset();
    nextIndex = h.index + 1;
    return PayloadResult::kOk;
  }
  // Whole units; a fragment still being collected was abandoned by the
  // sender.
  reset();
  size_t off = 0;
  for (const Header& h : headers_) {
    if (h.size > dataSize - off) return PayloadResult::kMalformed;
    if (h.size > 0) units.push_back({data + off, h.size, timeAt(timestamp, h.index, l.duration)});
    off += h.size;
  }
  nextIndex = headers_.back().index + 1;
  return PayloadResult::kOk;
}

}  // namespace strevana
