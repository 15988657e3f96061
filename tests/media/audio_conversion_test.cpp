// convertAudioChunk: every row of the sample conversion table, with rate
// changes, and the worked examples.
#include "media/audio_conversion.h"

#include <gtest/gtest.h>

#include <vector>

namespace strevana {
namespace {

AudioChunk* chunkOf(const std::vector<uint8_t>& bytes) {
  auto* c = new AudioChunk(static_cast<int32_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), c->data.get());
  return c;
}

std::vector<uint8_t> bytesOf(const AudioChunk* c) {
  return {c->data.get(), c->data.get() + c->size};
}

std::vector<uint8_t> le16(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) {
    const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
    out.push_back(static_cast<uint8_t>(u & 0xff));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

std::vector<uint8_t> convert(const std::vector<uint8_t>& in, PcmFormat from, PcmFormat to) {
  AudioChunk* c = chunkOf(in);
  convertAudioChunk(c, from, to);
  auto out = bytesOf(c);
  freeAudioChunkList(c);
  return out;
}

constexpr int kRate = 8000;

TEST(AudioConversion, FromMono8) {
  const std::vector<uint8_t> in = {0, 128, 255};
  EXPECT_EQ(convert(in, {kRate, 1, 8}, {kRate * 2, 1, 8}),
            (std::vector<uint8_t>{0, 0, 128, 128, 255, 255}));
  EXPECT_EQ(convert(in, {kRate, 1, 8}, {kRate, 1, 16}), le16({-32768, 0, 127 * 256}));
  EXPECT_EQ(convert(in, {kRate, 1, 8}, {kRate, 2, 8}),
            (std::vector<uint8_t>{0, 0, 128, 128, 255, 255}));
  EXPECT_EQ(convert(in, {kRate, 1, 8}, {kRate, 2, 16}), le16({-32768, -32768, 0, 0, 32512, 32512}));
}

TEST(AudioConversion, FromMono16) {
  const auto in = le16({-32768, -1, 0, 32767});
  EXPECT_EQ(convert(in, {kRate, 1, 16}, {kRate, 1, 8}), (std::vector<uint8_t>{0, 127, 128, 255}));
  // Half the rate keeps input frames 0 and 2.
  EXPECT_EQ(convert(in, {kRate, 1, 16}, {kRate / 2, 1, 16}), le16({-32768, 0}));
  EXPECT_EQ(convert(in, {kRate, 1, 16}, {kRate, 2, 8}),
            (std::vector<uint8_t>{0, 0, 127, 127, 128, 128, 255, 255}));
  EXPECT_EQ(convert(in, {kRate, 1, 16}, {kRate, 2, 16}),
            le16({-32768, -32768, -1, -1, 0, 0, 32767, 32767}));
}

TEST(AudioConversion, FromStereo8) {
  const std::vector<uint8_t> in = {0, 255, 100, 103, 128, 128};
  EXPECT_EQ(convert(in, {kRate, 2, 8}, {kRate, 1, 8}), (std::vector<uint8_t>{127, 101, 128}));
  EXPECT_EQ(convert(in, {kRate, 2, 8}, {kRate, 1, 16}),
            le16({(0 + 255 - 256) * 128, (203 - 256) * 128, 0}));
  EXPECT_EQ(convert(in, {kRate, 2, 8}, {kRate * 3, 2, 8}).size(), 18u);
  EXPECT_EQ(convert(in, {kRate, 2, 8}, {kRate, 2, 16}), le16({-32768, 32512, -7168, -6400, 0, 0}));
}

TEST(AudioConversion, FromStereo16) {
  const auto in = le16({-32768, -32768, 32767, 32767, -3, 0, 100, -50});
  EXPECT_EQ(convert(in, {kRate, 2, 16}, {kRate, 1, 8}),
            (std::vector<uint8_t>{0, 255, static_cast<uint8_t>((-3 + 65536) >> 9),
                                  static_cast<uint8_t>((50 + 65536) >> 9)}));
  // (L + R) / 2 toward minus infinity: -3 / 2 gives -2.
  EXPECT_EQ(convert(in, {kRate, 2, 16}, {kRate, 1, 16}), le16({-32768, 32767, -2, 25}));
  EXPECT_EQ(convert(in, {kRate, 2, 16}, {kRate, 2, 8}),
            (std::vector<uint8_t>{0, 0, 255, 255, 127, 128, 128, 127}));
  EXPECT_EQ(convert(in, {kRate, 2, 16}, {kRate / 2, 2, 16}), le16({-32768, -32768, -3, 0}));
}

TEST(AudioConversion, WorkedExamples) {
  // 4000 bytes of 16-bit stereo at 44100 Hz to 8-bit mono at 22050 Hz: 500
  // bytes from input frames 0, 2, 4, ...
  std::vector<int> values;
  for (int f = 0; f < 1000; ++f) {
    values.push_back(f * 60 - 30000);
    values.push_back(f * 60 - 30000);
  }
  std::vector<uint8_t> in;
  for (int v : values) {
    const auto bytes = le16({v});
    in.insert(in.end(), bytes.begin(), bytes.end());
  }
  const auto out = convert(in, {44100, 2, 16}, {22050, 1, 8});
  ASSERT_EQ(out.size(), 500u);
  for (size_t i = 0; i < out.size(); ++i) {
    const int s = static_cast<int>(i) * 2 * 60 - 30000;
    ASSERT_EQ(out[i], (s + s + 65536) >> 9) << i;
  }

  // 320 bytes of AMR mono at 8000 Hz on a 16-bit stereo 44100 Hz device:
  // 3528 bytes, each input frame five or six times.
  std::vector<int> amr;
  for (int f = 0; f < 160; ++f) amr.push_back(f);
  std::vector<uint8_t> amrBytes;
  for (int v : amr) {
    amrBytes.push_back(static_cast<uint8_t>(v));
    amrBytes.push_back(0);
  }
  const auto up = convert(amrBytes, {8000, 1, 16}, {44100, 2, 16});
  ASSERT_EQ(up.size(), 3528u);
  std::vector<int> repeats(160, 0);
  for (size_t i = 0; i < up.size(); i += 4) {
    ASSERT_EQ(up[i], up[i + 2]);
    ++repeats[up[i]];
  }
  for (int r : repeats) EXPECT_TRUE(r == 5 || r == 6) << r;

  // Identical formats leave the very same chunk.
  AudioChunk* same = chunkOf(in);
  AudioChunk* before = same;
  convertAudioChunk(same, {44100, 2, 16}, {44100, 2, 16});
  EXPECT_EQ(same, before);
  freeAudioChunkList(same);
}

TEST(AudioConversion, OddSizesAndUnknownFormats) {
  // A trailing partial frame is never read; less than one frame gives nothing.
  EXPECT_EQ(convert({1, 2, 3}, {kRate, 1, 16}, {kRate, 1, 8}).size(), 1u);
  EXPECT_TRUE(convert({1}, {kRate, 2, 16}, {kRate * 6, 2, 16}).empty());
  // Unset output formats leave the chunk as it is.
  EXPECT_EQ(convert({1, 2}, {kRate, 1, 16}, {0, 0, 0}), (std::vector<uint8_t>{1, 2}));
}

}  // namespace
}  // namespace strevana
