// The MP4 container: reading a file's samples within the caller's buffers,
// and the quick scan of what a (hostile) file claims before it is indexed.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <initializer_list>

#include "media/codec/mp4_sample_claims.h"
#include "media/mp4_test_support.h"

namespace strevana {
namespace {

using test::Bytes;

void be32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
}

Bytes box(const char* type, const Bytes& body) {
  Bytes b;
  be32(b, static_cast<uint32_t>(body.size() + 8));
  b.insert(b.end(), type, type + 4);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

// A full box: version and flags, then the given 32-bit fields.
Bytes fullBox(const char* type, std::initializer_list<uint32_t> fields) {
  Bytes body;
  be32(body, 0);
  for (uint32_t f : fields) be32(body, f);
  return box(type, body);
}

Bytes trak(const Bytes& stblContent) {
  return box("trak", box("mdia", box("minf", box("stbl", stblContent))));
}

Bytes moovWith(const Bytes& stblContent) { return box("moov", trak(stblContent)); }

Mp4SampleClaims scan(const Bytes& bytes) {
  std::FILE* f = std::tmpfile();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  const Mp4SampleClaims c = scanMp4SampleClaims(f);
  std::fclose(f);
  return c;
}

TEST(Mp4SampleClaims, CountsAndBoundsOfHandMadeFiles) {
  Bytes stsz64 = cat({Bytes{0, 0, 0, 1}, Bytes{'s', 't', 's', 'z'}});
  for (uint8_t v : {0, 0, 0, 0, 0, 0, 0, 28}) stsz64.push_back(v);  // 64-bit size: 28 bytes
  for (uint32_t f : {0u, 1u, 99999u}) be32(stsz64, f);
  const Bytes traf = box("traf", fullBox("trun", {3000}));
  const Bytes runPastParent = Bytes{0, 0, 0x10, 0, 'f', 'r', 'e', 'e'};
  struct Case {
    const char* what;
    Bytes afterData;  // what follows 4000 bytes of sample data (none: an empty file)
    uint64_t largest;
    bool impossible;
  };
  // clang-format off
  const Case cases[] = {
      {"honest table", moovWith(fullBox("stsz", {0, 2, 10, 20})), 2, false},
      {"count beyond the file", moovWith(fullBox("stsz", {1, 48000000})), 48000000, true},
      {"compact sizes", moovWith(fullBox("stz2", {8, 70000})), 70000, true},
      {"largest of two tracks",
       box("moov", cat({trak(fullBox("stsz", {4, 30})), trak(fullBox("stsz", {4, 3000}))})),
       3000, false},
      {"fragments' track runs add up", box("moof", cat({traf, traf})), 6000, true},
      {"64-bit box size", moovWith(stsz64), 99999, true},
      {"stsz outside the sample table is not a track's", fullBox("stsz", {1, 90000}), 0, false},
      {"count read before a box that runs past its parent",
       moovWith(cat({fullBox("stsz", {1, 80000}), runPastParent})), 80000, true},
      {"stsz too short for its count", moovWith(box("stsz", {0, 0, 0, 0, 0, 0, 0, 1})), 0, false},
      {"empty file", {}, 0, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    const Bytes file =
        c.afterData.empty() ? Bytes{} : cat({box("mdat", Bytes(4000, 0)), c.afterData});
    const Mp4SampleClaims claims = scan(file);
    EXPECT_EQ(claims.fileBytes, static_cast<int64_t>(file.size())) << c.what;
    EXPECT_EQ(claims.largestTrackCount, c.largest) << c.what;
    EXPECT_EQ(claimsImpossibleSampleCount(claims), c.impossible) << c.what;
  }
}

TEST(Mp4SampleClaims, ZeroSizedAndNestedEmptyBoxesEnd) {
  // A size of 0 runs to the end of the parent; a box smaller than its header
  // ends the walk instead of looping on it.
  Bytes zero =
      cat({box("mdat", Bytes(100, 0)), Bytes{0, 0, 0, 0, 'm', 'o', 'o', 'v'}, box("trak", {})});
  EXPECT_EQ(scan(zero).largestTrackCount, 0u);
  Bytes tiny = cat({box("free", {}), Bytes{0, 0, 0, 4, 'f', 'r', 'e', 'e'}, Bytes(64, 0)});
  EXPECT_FALSE(scan(tiny).readable);
}

using Read = std::function<MP4Err(uint32_t room, uint32_t& length, uint8_t* into)>;

TEST(Mp4File, ConfigSamplesAndUserTextNeverOverrunTheBuffer) {
  CMp4File* file = nullptr;
  CMp4File::createInstance(file);
  ASSERT_EQ(file->open(test::fixture("mpeg4_aac.mp4").c_str(), 0, 0), kMp4Ok);
  CMp4Track* video = nullptr;
  ASSERT_EQ(file->getTrack(1, video), kMp4Ok);
  uint32_t configSize = 0, sampleSize = 0, textSize = 0, length = 0;
  ASSERT_EQ(video->getConfigSize(1, configSize), kMp4Ok);
  ASSERT_EQ(video->getSampleSize(1, sampleSize), kMp4Ok);
  ASSERT_EQ(file->getUserText("eng", nullptr, textSize, 0), kMp4Ok);
  // clang-format off
  const struct { uint32_t size; Read read; } readers[] = {
      {configSize, [&](auto n, auto& l, auto p) { return video->getConfig(1, n, l, p); }},
      {sampleSize, [&](auto n, auto& l, auto p) { return video->readSample(1, n, l, p); }},
      {textSize, [&](auto n, auto& l, auto p) {
         l = n;
         return file->getUserText("eng", reinterpret_cast<char*>(p), l, 0);
       }}};
  // clang-format on
  for (const auto& r : readers) {
    ASSERT_GT(r.size, 10u);
    std::vector<uint8_t> buffer(r.size + 4, 0xEE);
    EXPECT_EQ(r.read(r.size - 1, length, buffer.data()), kMp4ErrBufferTooSmall) << r.size;
    EXPECT_EQ(buffer, std::vector<uint8_t>(r.size + 4, 0xEE)) << r.size;
    ASSERT_EQ(r.read(r.size, length, buffer.data()), kMp4Ok) << r.size;
    EXPECT_EQ(length, r.size);
    EXPECT_EQ(buffer[r.size], 0xEE) << r.size;
    buffer.resize(r.size);
    const std::string text(buffer.begin(), buffer.end());
    EXPECT_TRUE(text.find("\0\0\1", 0, 3) == 0 || text.find("Title: Fixture clip;") == 0) << text;
  }
  EXPECT_NE(video->getSampleSize(0, sampleSize), kMp4Ok);
  EXPECT_NE(video->getSampleSize(76, sampleSize), kMp4Ok);
  std::vector<uint8_t> buffer(100);
  EXPECT_NE(video->readSample(76, 100, length, buffer.data()), kMp4Ok);
  EXPECT_NE(file->getUserText("deu", nullptr, length, 0), kMp4Ok);
  file->releaseTrack(video);
  CMp4File::destroyInstance(file);
}

}  // namespace
}  // namespace strevana
