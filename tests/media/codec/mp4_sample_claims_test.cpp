#include "media/codec/mp4_sample_claims.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace strevana {
namespace {

using Bytes = std::vector<uint8_t>;

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

Bytes moovWith(const Bytes& stblContent) {
  return box("moov", box("trak", box("mdia", box("minf", box("stbl", stblContent)))));
}

Mp4SampleClaims scan(const Bytes& bytes) {
  std::FILE* f = std::tmpfile();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  const Mp4SampleClaims c = scanMp4SampleClaims(f);
  std::fclose(f);
  return c;
}

TEST(Mp4SampleClaims, CountsAndBoundsOfHandMadeFiles) {
  const Bytes padding(4000, 0);
  const Bytes mdat = box("mdat", padding);
  Bytes stsz64 = cat({Bytes{0, 0, 0, 1}, Bytes{'s', 't', 's', 'z'}});
  for (uint8_t v : {0, 0, 0, 0, 0, 0, 0, 28}) stsz64.push_back(v);  // 64-bit size: 28 bytes
  for (uint32_t f : {0u, 1u, 99999u}) be32(stsz64, f);
  struct Case {
    const char* what;
    Bytes file;
    uint64_t largest;
    bool impossible;
  } cases[] = {
      {"honest table", cat({mdat, moovWith(fullBox("stsz", {0, 2, 10, 20}))}), 2, false},
      {"uniform size, count beyond the file", cat({mdat, moovWith(fullBox("stsz", {1, 48000000}))}),
       48000000, true},
      {"compact sizes", cat({mdat, moovWith(fullBox("stz2", {8, 70000}))}), 70000, true},
      {"largest of two tracks",
       cat({mdat,
            box("moov",
                cat({box("trak", box("mdia", box("minf", box("stbl", fullBox("stsz", {4, 30}))))),
                     box("trak",
                         box("mdia", box("minf", box("stbl", fullBox("stsz", {4, 3000})))))}))}),
       3000, false},
      {"track runs of fragments add up",
       cat({mdat, box("moof", cat({box("traf", fullBox("trun", {3000})),
                                   box("traf", fullBox("trun", {3000}))}))}),
       6000, true},
      {"64-bit box size", cat({mdat, moovWith(stsz64)}), 99999, true},
      {"stsz outside the sample table is not a track's", cat({mdat, fullBox("stsz", {1, 90000})}),
       0, false},
      {"count read before a box that runs past its parent",
       cat({mdat, moovWith(cat(
                      {fullBox("stsz", {1, 80000}), Bytes{0, 0, 0x10, 0, 'f', 'r', 'e', 'e'}}))}),
       80000, true},
      {"stsz too short for its count",
       cat({mdat, moovWith(box("stsz", Bytes{0, 0, 0, 0, 0, 0, 0, 1}))}), 0, false},
      {"empty file", Bytes{}, 0, false},
  };
  for (const Case& c : cases) {
    const Mp4SampleClaims claims = scan(c.file);
    EXPECT_EQ(claims.fileBytes, static_cast<int64_t>(c.file.size())) << c.what;
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

}  // namespace
}  // namespace strevana
