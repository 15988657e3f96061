// convertAudioChunk: every row of the sample conversion table, with rate
// changes, and the worked examples.
#include "media/audio_conversion.h"

#include <gtest/gtest.h>

#include <vector>

namespace strevana {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes le16(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) {
    out.push_back(static_cast<uint8_t>(v & 0xff));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xff));
  }
  return out;
}

Bytes convert(const Bytes& in, PcmFormat from, PcmFormat to, AudioChunk** same = nullptr) {
  auto* c = new AudioChunk(static_cast<int32_t>(in.size()));
  std::copy(in.begin(), in.end(), c->data.get());
  AudioChunk* before = c;
  convertAudioChunk(c, from, to);
  if (same) *same = c == before ? c : nullptr;
  Bytes out(c->data.get(), c->data.get() + c->size);
  freeAudioChunkList(c);
  return out;
}

TEST(AudioConversion, EveryLayoutPairAndRateChange) {
  const Bytes mono8 = {0, 128, 255}, stereo8 = {0, 255, 100, 103, 128, 128};
  const Bytes mono16 = le16({-32768, -1, 0, 32767});
  const Bytes stereo16 = le16({-32768, -32768, 32767, 32767, -3, 0, 100, -50});
  const uint8_t s3 = (-3 + 65536) >> 9, s50 = (50 + 65536) >> 9;
  struct Case {
    Bytes in;
    PcmFormat from, to;
    Bytes out;
  };
  // clang-format off
  const Case cases[] = {
      {mono8, {8000, 1, 8}, {16000, 1, 8}, {0, 0, 128, 128, 255, 255}},
      {mono8, {8000, 1, 8}, {8000, 1, 16}, le16({-32768, 0, 127 * 256})},
      {mono8, {8000, 1, 8}, {8000, 2, 8}, {0, 0, 128, 128, 255, 255}},
      {mono8, {8000, 1, 8}, {8000, 2, 16}, le16({-32768, -32768, 0, 0, 32512, 32512})},
      {mono16, {8000, 1, 16}, {8000, 1, 8}, {0, 127, 128, 255}},
      {mono16, {8000, 1, 16}, {4000, 1, 16}, le16({-32768, 0})},  // input frames 0 and 2
      {mono16, {8000, 1, 16}, {8000, 2, 8}, {0, 0, 127, 127, 128, 128, 255, 255}},
      {mono16, {8000, 1, 16}, {8000, 2, 16}, le16({-32768, -32768, -1, -1, 0, 0, 32767, 32767})},
      {stereo8, {8000, 2, 8}, {8000, 1, 8}, {127, 101, 128}},
      {stereo8, {8000, 2, 8}, {8000, 1, 16}, le16({(0 + 255 - 256) * 128, (203 - 256) * 128, 0})},
      {stereo8, {8000, 2, 8}, {16000, 2, 8}, {0, 255, 0, 255, 100, 103, 100, 103, 128, 128, 128, 128}},
      {stereo8, {8000, 2, 8}, {8000, 2, 16}, le16({-32768, 32512, -7168, -6400, 0, 0})},
      {stereo16, {8000, 2, 16}, {8000, 1, 8}, {0, 255, s3, s50}},
      {stereo16, {8000, 2, 16}, {8000, 1, 16}, le16({-32768, 32767, -2, 25})},  // -3 / 2 -> -2
      {stereo16, {8000, 2, 16}, {8000, 2, 8}, {0, 0, 255, 255, 127, 128, 128, 127}},
      {stereo16, {8000, 2, 16}, {4000, 2, 16}, le16({-32768, -32768, -3, 0})},
      // A trailing partial frame is never read; less than one frame gives nothing.
      {{1, 2, 3}, {8000, 1, 16}, {8000, 1, 8}, {0x82}},
      {{1}, {8000, 2, 16}, {48000, 2, 16}, {}},
      {{1, 2}, {8000, 1, 16}, {0, 0, 0}, {1, 2}},  // unset output format: left as it is
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(convert(c.in, c.from, c.to), c.out)
        << c.from.channels << "x" << c.from.bits << "@" << c.from.rate << " -> " << c.to.channels
        << "x" << c.to.bits << "@" << c.to.rate;
  }
}

TEST(AudioConversion, UnevenRateRatioRepeatsFramesEvenlyAndSameFormatKeepsTheChunk) {
  // 320 bytes of AMR mono at 8000 Hz on a 16-bit stereo 44100 Hz device:
  // 3528 bytes, each input frame five or six times.
  Bytes amr;
  for (int f = 0; f < 160; ++f) amr.insert(amr.end(), {static_cast<uint8_t>(f), 0});
  const Bytes up = convert(amr, {8000, 1, 16}, {44100, 2, 16});
  ASSERT_EQ(up.size(), 3528u);
  std::vector<int> repeats(160, 0);
  for (size_t i = 0; i < up.size(); i += 4) {
    ASSERT_EQ(up[i], up[i + 2]);
    ++repeats[up[i]];
  }
  for (int r : repeats) EXPECT_TRUE(r == 5 || r == 6) << r;
  AudioChunk* same = nullptr;
  EXPECT_EQ(convert(amr, {44100, 2, 16}, {44100, 2, 16}, &same), amr);
  EXPECT_NE(same, nullptr);
}

}  // namespace
}  // namespace strevana
