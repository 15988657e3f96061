#include "media/mp4_file_source.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "media/mp4_test_support.h"

namespace strevana {
namespace {

using test::fixture;

std::unique_ptr<Mp4FileSource> openClip(const std::string& name, OutputFormat format = kFormatYuy2,
                                        PostfilterMode postfilter = 0) {
  return std::make_unique<Mp4FileSource>(fixture(name).c_str(), 0, format, postfilter, nullptr,
                                         nullptr, nullptr, nullptr, 0, 64, 48, nullptr);
}

const char* pixfmtOf(OutputFormat format) {
  switch (format) {
    case kFormatIyuv: return "yuv420p";
    case kFormatYuy2: return "yuyv422";
    case kFormatBgr24: return "bgr24";
    default: return "bgra";
  }
}

// Decodes one picture of a source into a tightly packed buffer.
struct Picture {
  bool ok = false;
  int32_t positionMs = 0;
  std::string md5;
};

Picture request(Mp4FileSource& source, FrameRequest what, int32_t positionMs = 0) {
  const int32_t stride = rowBytes(source.outputFormat, source.width);
  std::vector<uint8_t> buffer(
      static_cast<size_t>(bufferBytes(source.outputFormat, source.width, source.height)));
  Picture p;
  p.positionMs = positionMs;
  p.ok = source.getVideoFrame(what, stride, nullptr, 0, 0, buffer.data(), p.positionMs);
  if (p.ok) p.md5 = test::md5Of(buffer.data(), buffer.size());
  return p;
}

std::unique_ptr<Mp4FileSource> openPath(const std::string& path, OutputFormat format = kFormatYuy2,
                                        PostfilterMode postfilter = 0) {
  return std::make_unique<Mp4FileSource>(path.c_str(), 0, format, postfilter, nullptr, nullptr,
                                         nullptr, nullptr, 0, 0, 0, nullptr);
}

// Pulls one audio request and frees what it brought.
bool pull(Mp4FileSource& source, FrameRequest what, int32_t timeMs = 0) {
  AudioChunk* chunks = nullptr;
  uint8_t changed = 0;
  const bool ok = source.getAudio(what, chunks, timeMs, changed);
  freeAudioChunkList(chunks);
  return ok;
}

TEST(Mp4FileSourceOpen, ChoosesTracksAndReadsSizes) {
  struct Case {
    const char* clip;
    bool video, audio;
    int32_t videoCodec, audioCodec, width, height, displayWidth, displayHeight, frames, durationMs,
        rate, channels;
    const char* metadata;  // nullptr: none
  } cases[] = {
      {"mpeg4_aac.mp4", true, true, kVideoCodecMpeg4, kAudioCodecAac, 176, 144, 176, 144, 75, 3000,
       44100, 2,
       "Title: Fixture clip;Date: 2026-12-06;(c): Korvello test media;Description: Test pattern "
       "with tone"},
      {"mpeg4_bframes.mp4", true, true, kVideoCodecMpeg4, kAudioCodecAac, 320, 240, 320, 240, 75,
       3000, 22050, 1, nullptr},
      {"h263_amrnb.3gp", true, true, kVideoCodecH263, kAudioCodecAmrNb, 176, 144, 176, 144, 45,
       3000, 8000, 1, nullptr},
      // The Motion JPEG track is skipped, the second MPEG-4 track and the earlier AAC track are not
      // chosen.
      {"many_tracks.mp4", true, true, kVideoCodecMpeg4, -1, 176, 144, 176, 144, 25, -1, 22050, 1,
       nullptr},
      // Non-square pixels keep the file's display size.
      {"anamorphic.mp4", true, false, -1, -1, 176, 144, 256, 144, -1, -1, -1, -1, nullptr},
      {"aac_only.mp4", false, true, -1, -1, -1, -1, -1, -1, -1, 2000, 48000, -1,
       "Title: Only sound"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clip);
    auto source = openClip(c.clip);
    ASSERT_EQ(source->hasVideo, c.video);
    ASSERT_EQ(source->hasAudio, c.audio);
    const auto check = [](int32_t want, int64_t got) {
      if (want >= 0) {
        EXPECT_EQ(got, want);
      }
    };
    if (c.video) check(c.videoCodec, source->videoCodec);
    if (c.audio) check(c.audioCodec, source->audioCodec);
    check(c.width, source->width);
    check(c.height, source->height);
    check(c.displayWidth, source->displayWidth);
    check(c.displayHeight, source->displayHeight);
    check(c.frames, source->frameCount);
    check(c.durationMs, source->durationMs);
    check(c.rate, source->decodedRate);
    check(c.channels, source->decodedChannels);
    if (c.metadata) {
      ASSERT_TRUE(source->metadataText);
      EXPECT_STREQ(reinterpret_cast<const char*>(source->metadataText.get()), c.metadata);
      EXPECT_EQ(source->metadataLength, std::strlen(c.metadata));
    } else if (c.audio) {
      EXPECT_EQ(source->metadataText, nullptr);
      EXPECT_EQ(source->metadataLength, 0u);
    }
  }
  auto aac = openClip("mpeg4_aac.mp4");
  EXPECT_EQ(aac->videoTimeScale(), 25u);
  EXPECT_EQ(aac->decodedBits, 16);
  EXPECT_GT(aac->audioSampleCount, 100);
  EXPECT_EQ(openClip("h263_amrnb.3gp")->audioSampleCount, 150);
  EXPECT_NEAR(openClip("anamorphic.mp4")->pixelAspect, 16.0 / 11.0, 1e-9);
}

TEST(Mp4FileSourceOpen, AudioOnlyFilesUseTheStillPicture) {
  const uint32_t still[4 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Mp4FileSource source(fixture("amrwb_only.3gp").c_str(), 0, kFormatBgrx32, 0, nullptr, nullptr,
                       nullptr, nullptr, 0, 4, 3, still);
  ASSERT_FALSE(source.hasVideo);
  ASSERT_TRUE(source.hasAudio);
  EXPECT_EQ(source.audioCodec, kAudioCodecAmrWb);
  EXPECT_EQ(source.decodedRate, 16000);
  EXPECT_EQ(source.durationMs, 2000);
  EXPECT_EQ(source.width, 4);
  EXPECT_EQ(source.displayWidth, 4);
  EXPECT_EQ(source.displayHeight, 3);
  EXPECT_EQ(source.videoByteCount(), -1);
  EXPECT_GT(source.audioByteCount(), 0);
  source.setOutputFormat(kFormatBgrx32);

  std::vector<uint32_t> dst(4 * 3 + 8, 0);
  int32_t position = -1;
  ASSERT_TRUE(source.getVideoFrame(kRequestNext, 4 * 4, nullptr, 0, 0,
                                   reinterpret_cast<uint8_t*>(dst.data()), position));
  EXPECT_EQ(0, std::memcmp(dst.data(), still, sizeof still));
  EXPECT_EQ(position, 0);

  // The position follows the audio samples (20 ms each).
  AudioChunk* chunks = nullptr;
  int32_t timeMs = 500;
  uint8_t changed = 1;
  source.outputRate = 16000;
  source.outputChannels = 1;
  source.outputBits = 16;
  ASSERT_TRUE(source.getAudio(kRequestAtPosition, chunks, timeMs, changed));
  freeAudioChunkList(chunks);
  EXPECT_EQ(changed, 0);
  ASSERT_TRUE(source.getVideoFrame(kRequestCurrent, 16, nullptr, 0, 0,
                                   reinterpret_cast<uint8_t*>(dst.data()), position));
  EXPECT_EQ(position, 500);
  int32_t h = -1, m = -1, s = -1, f = -1;
  ASSERT_TRUE(source.getTimecode(h, m, s, f));
  EXPECT_EQ(f, 0);
}

TEST(Mp4FileSourceOpen, ByteCountsAreTheSumOfAllSamples) {
  auto source = openClip("mpeg4_aac.mp4");
  CMp4File* file = nullptr;
  ASSERT_EQ(CMp4File::createInstance(file), kMp4Ok);
  ASSERT_EQ(file->open(fixture("mpeg4_aac.mp4").c_str(), 0, 0), kMp4Ok);
  int64_t sums[3] = {0, 0, 0};
  for (uint32_t t = 1; t <= 2; ++t) {
    CMp4Track* track = nullptr;
    ASSERT_EQ(file->getTrack(t, track), kMp4Ok);
    int32_t type = 0;
    track->getType(type);
    uint32_t count = 0, size = 0;
    track->getSampleCount(count);
    for (uint32_t n = 1; n <= count; ++n) {
      ASSERT_EQ(track->getSampleSize(n, size), kMp4Ok);
      sums[type] += size;
    }
    file->releaseTrack(track);
  }
  CMp4File::destroyInstance(file);
  EXPECT_EQ(source->videoByteCount(), sums[kMp4TrackVideo]);
  EXPECT_EQ(source->audioByteCount(), sums[kMp4TrackAudio]);
  // The fixture is ~96 kB, nearly all of it samples.
  EXPECT_GT(sums[1] + sums[2], 80000);
}

TEST(Mp4FileSourceOpen, DamagedFilesFailOrStopCleanly) {
  // Garbage with an MP4 name.
  const std::string garbage = ::testing::TempDir() + "garbage.mp4";
  {
    std::vector<uint8_t> bytes(5000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7919u >> 3);
    FILE* f = std::fopen(garbage.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  auto bad = openPath(garbage);
  EXPECT_FALSE(bad->hasVideo || bad->hasAudio);
  // Names longer than the name field are refused rather than cut.
  const std::string longName = std::string(300, 'x') + ".mp4";
  for (const std::string& name : {longName, std::string("/nonexistent/clip.mp4")}) {
    auto none = openPath(name);
    EXPECT_FALSE(none->hasVideo || none->hasAudio) << name;
  }

  // A file cut in its media data opens and plays up to the damage.
  auto cut = openClip("truncated.mp4", kFormatIyuv);
  ASSERT_TRUE(cut->hasVideo);
  EXPECT_EQ(cut->frameCount, 75);
  auto reference = test::loadReference("mpeg4_aac.mp4", "yuv420p");
  Picture p = request(*cut, kRequestFirst);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.md5, reference[0].md5);
  int shown = 1;
  while (request(*cut, kRequestNext).ok) {
    ++shown;
    ASSERT_LT(shown, 76);
  }
  EXPECT_GT(shown, 5);
  EXPECT_LT(shown, 75);
  EXPECT_FALSE(request(*cut, kRequestCurrent).ok);
  // Seeking beyond the damage ends without a picture rather than hanging.
  EXPECT_FALSE(request(*cut, kRequestLast).ok);
  EXPECT_TRUE(request(*cut, kRequestFirst).ok);

  cut->outputRate = cut->decodedRate;
  cut->outputChannels = cut->decodedChannels;
  cut->outputBits = 16;
  int pulls = 0;
  while (pull(*cut, kRequestNext)) ASSERT_LT(++pulls, 200);
  EXPECT_GT(pulls, 3);
}

// Writes a copy of a fixture with some of its bytes replaced.
std::string damagedCopy(const std::string& clip, const std::string& name,
                        const std::function<void(std::vector<uint8_t>&)>& damage) {
  auto bytes = test::readFile(fixture(clip));
  damage(bytes);
  const std::string path = ::testing::TempDir() + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

size_t findBox(const std::vector<uint8_t>& bytes, const char* type) {
  for (size_t i = 4; i + 4 <= bytes.size(); ++i) {
    if (std::memcmp(bytes.data() + i, type, 4) == 0) return i - 4;
  }
  return std::string::npos;
}

// Plays a source through: every request must come back, none may hang.
void playThrough(Mp4FileSource& source) {
  int32_t w = std::max(source.width, 1), h = std::max(source.height, 1);
  std::vector<uint8_t> buffer(static_cast<size_t>(bufferBytes(source.outputFormat, w, h)) + 64);
  int32_t position = 0;
  int steps = 0;
  bool ok = source.getVideoFrame(kRequestFirst, rowBytes(source.outputFormat, w), nullptr, 0, 0,
                                 buffer.data(), position);
  while (ok && steps++ < 1000) {
    ok = source.getVideoFrame(kRequestNext, rowBytes(source.outputFormat, w), nullptr, 0, 0,
                              buffer.data(), position);
  }
  EXPECT_LT(steps, 1000);
  for (int32_t ms : {0, 700, 1500, 2900, 5000}) {
    position = ms;
    source.getVideoFrame(kRequestAtPosition, rowBytes(source.outputFormat, w), nullptr, 0, 0,
                         buffer.data(), position);
    source.getVideoFrame(kRequestPrevious, rowBytes(source.outputFormat, w), nullptr, 0, 0,
                         buffer.data(), position);
  }
  source.outputRate = 8000;
  source.outputChannels = 1;
  source.outputBits = 8;
  int pulls = 0;
  for (bool more = pull(source, kRequestFirst); more && pulls++ < 1000;)
    more = pull(source, kRequestNext);
  EXPECT_LT(pulls, 1000);
}

TEST(Mp4FileSourceOpen, GarbledMediaDataPlaysThroughWithoutHarm) {
  const std::string path =
      damagedCopy("mpeg4_bframes.mp4", "garbled_mdat.mp4", [](std::vector<uint8_t>& b) {
        const size_t mdat = findBox(b, "mdat");
        ASSERT_NE(mdat, std::string::npos);
        for (size_t i = mdat + 2000; i < b.size() && i < mdat + 200000; i += 3)
          b[i] = static_cast<uint8_t>(i * 17u);
      });
  auto source = openPath(path, kFormatBgrx32, 3);
  ASSERT_TRUE(source->hasVideo);
  playThrough(*source);
}

TEST(Mp4FileSourceOpen, ImpossibleSampleSizesAreNotBelieved) {
  const std::string path =
      damagedCopy("mpeg4_aac.mp4", "huge_sizes.mp4", [](std::vector<uint8_t>& b) {
        // Every other entry of each sample size table claims almost 2 GB.
        for (size_t at = findBox(b, "stsz"); at != std::string::npos;) {
          const size_t count = (size_t{b[at + 16]} << 24) | (size_t{b[at + 17]} << 16) |
                               (size_t{b[at + 18]} << 8) | b[at + 19];
          for (size_t i = 0; i < count; i += 2) {
            const size_t e = at + 20 + 4 * i;
            if (e + 4 > b.size()) break;
            b[e] = 0x7F;
            b[e + 1] = 0xFF;
          }
          const size_t next = findBox(
              std::vector<uint8_t>(b.begin() + static_cast<ptrdiff_t>(at) + 8, b.end()), "stsz");
          at = next == std::string::npos ? next : at + 8 + next;
        }
      });
  auto source = openPath(path);
  if (source->hasVideo || source->hasAudio) playThrough(*source);
}

void putBe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The single-chunk video track of a size_* clip made to claim `samples`
// samples of `sampleSize` bytes each, in one chunk at `chunkOffset` (0: where
// it was); `tail` bytes of zeros are appended.
std::string claimingCopy(const std::string& name, uint32_t samples, uint32_t sampleSize,
                         size_t tail) {
  return damagedCopy("size_40x24.mp4", name, [&](std::vector<uint8_t>& b) {
    const size_t stts = findBox(b, "stts"), stsc = findBox(b, "stsc"), stsz = findBox(b, "stsz");
    const size_t stco = findBox(b, "stco");
    ASSERT_TRUE(stts != std::string::npos && stsc != std::string::npos &&
                stsz != std::string::npos && stco != std::string::npos);
    putBe32(b, stts + 16, samples);  // one entry: count, delta
    putBe32(b, stsc + 20, samples);  // one entry: first chunk 1, samples per chunk
    putBe32(b, stsz + 12, sampleSize);
    putBe32(b, stsz + 16, samples);
    if (tail) {
      putBe32(b, stco + 16, static_cast<uint32_t>(b.size()));
      b.resize(b.size() + tail, 0);
    }
  });
}

TEST(Mp4FileSourceOpen, MoreSamplesThanTheFileHasBytesAreRefusedAtOnce) {
  // 3 KB claiming 48 million one-byte samples: libavformat would build an
  // index entry for each (gigabytes) before anything could be refused.
  const auto peakKb = [] {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
  };
  const long before = peakKb();
  auto source = openPath(claimingCopy("claims_48m.mp4", 48000000, 1, 0));
  EXPECT_FALSE(source->hasVideo);
  EXPECT_LT(peakKb() - before, 200 * 1024);
}

TEST(Mp4FileSourceOpen, SamplesWithoutPicturesDoNotMakeASeekWalkTheTrack) {
  // Two million 4-byte samples of zeros: none yields a picture. Opening seeks
  // to the start; the samples a seek feeds go to the saved stream, so its
  // size tells how far the seek walked.
  const uint32_t samples = 2000000;
  const std::string path = claimingCopy("no_pictures.mp4", samples, 4, size_t{samples} * 4);
  const std::string saved = ::testing::TempDir() + "no_pictures.m4v";
  std::remove(saved.c_str());
  {
    Mp4FileSource source(path.c_str(), 0, kFormatBgrx32, 0, saved.c_str(), nullptr, nullptr,
                         nullptr, 0, 0, 0, nullptr);
    ASSERT_TRUE(source.hasVideo);
    EXPECT_EQ(source.frameCount, static_cast<int32_t>(samples));
    std::vector<uint8_t> buffer(static_cast<size_t>(bufferBytes(kFormatBgrx32, 40, 24)));
    int32_t position = 60000;
    source.getVideoFrame(kRequestAtPosition, 160, nullptr, 0, 0, buffer.data(), position);
    // One step forward gives up after a bounded number of samples too.
    source.getVideoFrame(kRequestNext, 160, nullptr, 0, 0, buffer.data(), position);
  }
  EXPECT_LT(std::filesystem::file_size(saved), 64u * 1024);
}

long long bytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return 0;
}

TEST(Mp4FileSourceOpen, ReorderedPicturesOpenWithoutReadingTheMediaData) {
  // Presentation times come from the composition offsets in the index, not
  // from a pass over every packet: opening a film costs what a clip costs.
  const std::string path = fixture("mpeg4_bframes.mp4");
  const long long before = bytesReadSoFar();
  auto source = openPath(path);
  const long long read = bytesReadSoFar() - before;
  ASSERT_TRUE(source->hasVideo);
  EXPECT_LT(read, static_cast<long long>(std::filesystem::file_size(path) / 2));
}

TEST(Mp4FileSourceOpen, CutIndexFailsToOpen) {
  const std::string path =
      damagedCopy("mpeg4_aac.mp4", "cut_index.mp4", [](std::vector<uint8_t>& b) {
        const size_t moov = findBox(b, "moov");
        ASSERT_NE(moov, std::string::npos);
        b.resize(moov + 200);
      });
  EXPECT_FALSE(openPath(path)->hasVideo || openPath(path)->hasAudio);
}

// ---- pictures against ffmpeg's own decode ----

struct ClipCase {
  const char* clip;
  OutputFormat format;
};

// Named in test output by its fields (not its bytes, padding included).
void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.clip << " in format " << c.format; }

class Mp4FileSourcePictures : public ::testing::TestWithParam<ClipCase> {};

TEST_P(Mp4FileSourcePictures, SeeksLandOnThePictureShownAtThatTime) {
  const ClipCase c = GetParam();
  auto source = openClip(c.clip, c.format);
  ASSERT_TRUE(source->hasVideo);
  auto reference = test::loadReference(c.clip, pixfmtOf(c.format));
  ASSERT_FALSE(reference.empty());
  const double scale = source->videoTimeScale();
  // Forward, backward and scattered positions, including the ends.
  std::vector<int32_t> positions;
  for (int32_t ms = 0; ms <= source->durationMs + 100; ms += 137) positions.push_back(ms);
  for (int32_t ms = source->durationMs; ms >= 0; ms -= 401) positions.push_back(ms);
  for (int32_t ms : {1, 39, 40, 41, 999, 1000, 1001, 2002, 33, 34, 1530, 1560, 1600})
    positions.push_back(ms);
  for (int32_t ms : positions) {
    Picture p = request(*source, kRequestAtPosition, ms);
    ASSERT_TRUE(p.ok) << c.clip << " at " << ms;
    const auto t = static_cast<int64_t>(scale * ms * 0.001);
    const size_t i = test::referenceIndexAt(reference, t);
    EXPECT_EQ(p.md5, reference[i].md5) << c.clip << " at " << ms << " ms";
    EXPECT_EQ(p.positionMs,
              static_cast<int32_t>(reference[i].pts * 1000 / source->videoTimeScale()));
  }
}

TEST_P(Mp4FileSourcePictures, StepsForwardAndBackInPresentationOrder) {
  const ClipCase c = GetParam();
  auto source = openClip(c.clip, c.format);
  auto reference = test::loadReference(c.clip, pixfmtOf(c.format));
  ASSERT_EQ(reference.size(), static_cast<size_t>(source->frameCount));

  Picture p = request(*source, kRequestFirst);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.md5, reference[0].md5);
  // Back from the first picture finds the first one again.
  p = request(*source, kRequestPrevious);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.md5, reference[0].md5);
  for (size_t i = 1; i < reference.size(); ++i) {
    p = request(*source, i % 2 ? kRequestNext : kRequestNextCatchingUp);
    ASSERT_TRUE(p.ok) << i;
    EXPECT_EQ(p.md5, reference[i].md5) << "step " << i;
  }
  // The current picture again, then the end: false, and "current" fails too.
  EXPECT_EQ(request(*source, kRequestCurrent).md5, reference.back().md5);
  EXPECT_FALSE(request(*source, kRequestNext).ok);
  EXPECT_FALSE(request(*source, kRequestCurrent).ok);

  p = request(*source, kRequestLast);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.md5, reference.back().md5);
  for (size_t i = reference.size() - 1; i-- > reference.size() - 20;) {
    p = request(*source, kRequestPrevious);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.md5, reference[i].md5) << "back to " << i;
  }
  // Stepping on after going back continues in order.
  const size_t here = reference.size() - 20;
  for (size_t i = here + 1; i < here + 6; ++i) {
    p = request(*source, kRequestNext);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.md5, reference[i].md5) << "forward again to " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Clips, Mp4FileSourcePictures,
                         ::testing::Values(ClipCase{"mpeg4_aac.mp4", kFormatIyuv},
                                           ClipCase{"mpeg4_aac.mp4", kFormatYuy2},
                                           ClipCase{"mpeg4_aac.mp4", kFormatBgr24},
                                           ClipCase{"mpeg4_aac.mp4", kFormatBgrx32},
                                           ClipCase{"mpeg4_bframes.mp4", kFormatIyuv},
                                           ClipCase{"mpeg4_bframes.mp4", kFormatYuy2},
                                           ClipCase{"mpeg4_bframes.mp4", kFormatBgrx32},
                                           ClipCase{"h263_amrnb.3gp", kFormatYuy2},
                                           ClipCase{"h263_amrnb.3gp", kFormatBgr24},
                                           ClipCase{"ntsc_30000.mp4", kFormatIyuv}),
                         [](const ::testing::TestParamInfo<ClipCase>& info) {
                           std::string n = info.param.clip;
                           n = n.substr(0, n.find('.')) + "_" + std::to_string(info.param.format);
                           return n;
                         });

TEST(Mp4FileSourceFormat, ChangeReDecodesTheSamePicture) {
  auto source = openClip("mpeg4_bframes.mp4", kFormatYuy2);
  auto yuy2 = test::loadReference("mpeg4_bframes.mp4", "yuyv422");
  auto bgr = test::loadReference("mpeg4_bframes.mp4", "bgr24");
  auto bgra = test::loadReference("mpeg4_bframes.mp4", "bgra");
  Picture p = request(*source, kRequestAtPosition, 1530);
  ASSERT_TRUE(p.ok);
  const size_t i =
      test::referenceIndexAt(yuy2, static_cast<int64_t>(source->videoTimeScale() * 1.530));
  EXPECT_EQ(p.md5, yuy2[i].md5);
  EXPECT_FALSE(source->prefersRgbOutput());

  ASSERT_TRUE(source->setOutputFormat(kFormatBgr24));
  EXPECT_EQ(source->outputFormat, kFormatBgr24);
  p = request(*source, kRequestCurrent);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.md5, bgr[i].md5);
  EXPECT_EQ(p.positionMs, static_cast<int32_t>(bgr[i].pts * 1000 / source->videoTimeScale()));
  // And on from there in the new format.
  p = request(*source, kRequestNext);
  EXPECT_EQ(p.md5, bgr[i + 1].md5);

  ASSERT_TRUE(source->setOutputFormat(kFormatBgrx32));
  p = request(*source, kRequestCurrent);
  EXPECT_EQ(p.md5, bgra[i + 1].md5) << p.positionMs << " " << i << " " << bgra[i + 1].pts;
}

TEST(Mp4FileSourceFormat, DestinationStrideWiderThanARow) {
  // Pictures converted straight into the destination and pictures copied
  // from the decoder's own buffer (post-filtered ones) alike: the same as
  // into a tight buffer, and the gap between rows is left alone.
  for (PostfilterMode postfilter : {kPostfilterNone, kPostfilterBoth}) {
    for (OutputFormat format : {kFormatYuy2, kFormatBgr24, kFormatBgrx32}) {
      SCOPED_TRACE("format " + std::to_string(format) + " postfilter " +
                   std::to_string(postfilter));
      const Picture tight =
          request(*openClip("mpeg4_aac.mp4", format, postfilter), kRequestAtPosition, 2000);
      auto source = openClip("mpeg4_aac.mp4", format, postfilter);
      const int32_t row = rowBytes(format, source->width);
      const int32_t stride = row + 100;
      std::vector<uint8_t> dst(static_cast<size_t>(stride) * source->height, 0xAB);
      int32_t position = 2000;
      ASSERT_TRUE(
          source->getVideoFrame(kRequestAtPosition, stride, nullptr, 0, 0, dst.data(), position));
      std::vector<uint8_t> packed;
      for (int32_t y = 0; y < source->height; ++y) {
        packed.insert(packed.end(), dst.begin() + y * stride, dst.begin() + y * stride + row);
        ASSERT_EQ(dst[static_cast<size_t>(y) * stride + row], 0xAB) << "row " << y;
      }
      EXPECT_EQ(test::md5Of(packed.data(), packed.size()), tight.md5);
    }
  }
}

TEST(Mp4FileSourceFormat, PictureLargerThanTheSourceSaysIsClipped) {
  // The decoder makes 64x48 pictures (rows that could be converted straight
  // into the destination); the source says 64x40 or 60x48: only the top left
  // part is written, nothing past the destination.
  struct Case {
    int32_t width, height;
  };
  for (Case c : {Case{64, 40}, Case{60, 48}}) {
    for (OutputFormat format : {kFormatYuy2, kFormatBgr24, kFormatBgrx32}) {
      SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " format " +
                   std::to_string(format));
      auto source = openClip("size_64x48.mp4", format);
      source->width = c.width;
      source->height = c.height;
      const int32_t row = rowBytes(format, c.width);
      std::vector<uint8_t> dst(static_cast<size_t>(row) * c.height + 256, 0xAB);
      int32_t position = 0;
      ASSERT_TRUE(source->getVideoFrame(kRequestFirst, row, nullptr, 0, 0, dst.data(), position));
      for (size_t i = static_cast<size_t>(row) * c.height; i < dst.size(); ++i)
        ASSERT_EQ(dst[i], 0xAB) << i;
      // The rows written are the whole picture's.
      auto full = openClip("size_64x48.mp4", format);
      const int32_t fullRow = rowBytes(format, 64);
      std::vector<uint8_t> reference(static_cast<size_t>(fullRow) * 48);
      ASSERT_TRUE(
          full->getVideoFrame(kRequestFirst, fullRow, nullptr, 0, 0, reference.data(), position));
      for (int32_t y = 0; y < c.height; ++y) {
        ASSERT_TRUE(std::equal(dst.begin() + y * row, dst.begin() + (y + 1) * row,
                               reference.begin() + y * fullRow))
            << "row " << y;
      }
    }
  }
}

TEST(Mp4FileSourceFormat, FormatsWithoutDecoderAreRefused) {
  auto source = openClip("mpeg4_aac.mp4", kFormatYv12);
  EXPECT_FALSE(source->hasVideo);  // the decoder could not be made for YV12
  EXPECT_TRUE(source->hasAudio);
  auto ok = openClip("mpeg4_aac.mp4", kFormatYuy2);
  EXPECT_FALSE(ok->createVideoDecoder(kFormatYv12, 0));
  EXPECT_EQ(ok->outputFormat, kFormatYuy2);
}

TEST(Mp4FileSourceFormat, PostfilterChangesPicturesButNotTheirCount) {
  auto plain = openClip("mpeg4_bframes.mp4", kFormatIyuv, 0);
  auto filtered = openClip("mpeg4_bframes.mp4", kFormatIyuv, 3);
  int differing = 0;
  for (int i = 0; i < 10; ++i) {
    Picture a = request(*plain, i ? kRequestNext : kRequestFirst);
    Picture b = request(*filtered, i ? kRequestNext : kRequestFirst);
    ASSERT_TRUE(a.ok && b.ok);
    EXPECT_EQ(a.positionMs, b.positionMs);
    differing += a.md5 != b.md5;
  }
  EXPECT_GT(differing, 0);
  // Switching it off at run time gives the unfiltered pictures again.
  filtered->setPostfilter(0);
  EXPECT_EQ(request(*plain, kRequestNext).md5, request(*filtered, kRequestNext).md5);
}

// ---- picture sizes that are not multiples of 16 ----

// Every picture of a clip, stepping forward from the first.
std::vector<std::string> allPictures(Mp4FileSource& source) {
  std::vector<std::string> md5s;
  for (Picture p = request(source, kRequestFirst); p.ok && md5s.size() < 100;
       p = request(source, kRequestNext)) {
    md5s.push_back(p.md5);
  }
  return md5s;
}

// Sizes libswscale overran, and 64x48, whose rows it fills exactly and so
// writes straight into the caller's buffer.
const char* const kOddSizes[] = {"40x24", "120x72", "360x200", "2x2",  "8x6",
                                 "14x10", "41x31",  "33x17",   "64x48"};
const OutputFormat kAllFormats[] = {kFormatIyuv, kFormatYuy2, kFormatBgr24, kFormatBgrx32};

TEST(Mp4FileSourceSizes, EveryFormatMatchesFfmpegWithoutOverrunningThePicture) {
  // libswscale writes whole SIMD blocks; a buffer sized exactly for these
  // widths was overrun (run under valgrind to see it in the plain build).
  for (const char* size : kOddSizes) {
    const std::string clip = std::string("size_") + size + ".mp4";
    for (OutputFormat format : kAllFormats) {
      for (PostfilterMode postfilter : {kPostfilterNone, kPostfilterBoth}) {
        SCOPED_TRACE(clip + " format " + std::to_string(format) + " postfilter " +
                     std::to_string(postfilter));
        auto source = openClip(clip, format, postfilter);
        ASSERT_TRUE(source->hasVideo);
        const std::vector<std::string> pictures = allPictures(*source);
        EXPECT_EQ(pictures.size(), 10u);
        const auto reference = test::loadReference(clip, pixfmtOf(format));
        if (postfilter != kPostfilterNone || reference.empty()) continue;
        ASSERT_EQ(pictures.size(), reference.size());
        for (size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(pictures[i], reference[i].md5) << i;
      }
    }
  }
}

TEST(Mp4FileSourceSizes, PicturesDoNotDependOnWhatFreshMemoryHeld) {
  // glibc fills new allocations with the perturb byte: any pixel that nobody
  // wrote (the post-filter leaves edge pixels alone) changes with it.
  auto decodeWith = [](int perturb, const std::string& clip, OutputFormat format) {
    mallopt(M_PERTURB, perturb);
    auto source = openClip(clip, format, kPostfilterBoth);
    auto pictures = allPictures(*source);
    source.reset();
    mallopt(M_PERTURB, 0);
    return pictures;
  };
  for (const char* size : {"41x31", "120x72", "14x10"}) {
    const std::string clip = std::string("size_") + size + ".mp4";
    for (OutputFormat format : kAllFormats) {
      EXPECT_EQ(decodeWith(0x55, clip, format), decodeWith(0xAA, clip, format))
          << clip << " " << format;
    }
  }
}

// ---- edit lists ----

TEST(Mp4FileSourceEditList, FirstPictureIsTheOneAtTheEditStart) {
  // The edit starts inside a group of pictures: the key picture before it is
  // decoded but never shown, at the start or after any seek.
  auto source = openClip("edit_midgop.mp4", kFormatYuy2);
  ASSERT_TRUE(source->hasVideo);
  const auto reference = test::loadReference("edit_midgop.mp4", "yuyv422");
  ASSERT_GT(reference.size(), 20u);
  Picture p = request(*source, kRequestFirst);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.md5, reference[0].md5);
  EXPECT_EQ(p.positionMs, 0);
  for (size_t i = 1; i < 12; ++i)
    EXPECT_EQ(request(*source, kRequestNext).md5, reference[i].md5) << i;
  for (int32_t ms : {0, 1, 39, 40, 500}) {
    const size_t i = test::referenceIndexAt(
        reference, static_cast<int64_t>(source->videoTimeScale() * ms / 1000.0));
    EXPECT_EQ(request(*source, kRequestAtPosition, ms).md5, reference[i].md5) << ms;
  }
  EXPECT_EQ(request(*source, kRequestAtPosition, 40).md5, reference[1].md5);
  EXPECT_EQ(request(*source, kRequestPrevious).md5, reference[0].md5);
}

TEST(Mp4FileSourceEditList, SoundIsFfmpegsDecodeWithoutTheEncoderDelay) {
  // The AAC encoder delay (and, after the cut, the sound before the edit
  // start) is decoded but not played: the PCM equals ffmpeg's, which honours
  // the edit list, from the first sample on.
  for (const char* clip : {"aac_only.mp4", "edit_midgop.mp4"}) {
    auto source = openClip(clip);
    ASSERT_TRUE(source->hasAudio) << clip;
    source->outputRate = source->decodedRate;
    source->outputChannels = source->decodedChannels;
    source->outputBits = 16;
    const std::vector<uint8_t> reference = test::readFile(fixture(std::string(clip) + ".s16le"));
    std::vector<uint8_t> pcm;
    for (FrameRequest r = kRequestFirst; pcm.size() < 48000 * 4; r = kRequestNext) {
      AudioChunk* chunks = nullptr;
      int32_t timeMs = 0;
      uint8_t changed = 0;
      if (!source->getAudio(r, chunks, timeMs, changed)) break;
      for (AudioChunk* c = chunks; c; c = c->next)
        pcm.insert(pcm.end(), c->data.get(), c->data.get() + c->size);
      freeAudioChunkList(chunks);
    }
    ASSERT_GE(reference.size(), pcm.size()) << clip;
    ASSERT_GT(pcm.size(), 4096u) << clip;
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), reference.begin())) << clip;
  }
}

// ---- timecode ----

TEST(Mp4FileSourceTimecode, FramesFollowTheTimeScale) {
  struct Case {
    const char* clip;
    int32_t ms;
    int32_t frames;
  } cases[] = {
      {"mpeg4_aac.mp4", 1240, 6},      // scale 25: t = 31, 31 mod 25
      {"ntsc_30000.mp4", 1035, 1},     // scale 30000: t = 31031 -> 1031 / 1001
      {"ntsc_2997.mp4", 1500, 14},     // scale 2997: t = 4400 -> 1403 / 100
      {"mpeg4_bframes.mp4", 1500, 0},  // any other scale
      {"h263_amrnb.3gp", 1500, 0},     // H.263 always reads 0
  };
  for (const auto& c : cases) {
    auto source = openClip(c.clip);
    Picture p = request(*source, kRequestAtPosition, c.ms);
    ASSERT_TRUE(p.ok) << c.clip;
    int32_t h = -1, m = -1, s = -1, f = -1;
    ASSERT_TRUE(source->getTimecode(h, m, s, f));
    EXPECT_EQ(h, 0);
    EXPECT_EQ(m, 0);
    EXPECT_EQ(s, p.positionMs / 1000) << c.clip;
    EXPECT_EQ(f, c.frames) << c.clip;
  }
  // Set and read back; H.263 hides the frames.
  auto h263 = openClip("h263_amrnb.3gp");
  h263->setTimecode(1, 2, 3, 4);
  int32_t h = 0, m = 0, s = 0, f = 9;
  h263->getTimecode(h, m, s, f);
  EXPECT_EQ(h * 10000 + m * 100 + s, 10203);
  EXPECT_EQ(f, 0);
}

// ---- audio ----

int64_t pcmBytes(AudioChunk* chunks) {
  int64_t total = 0;
  for (AudioChunk* c = chunks; c; c = c->next) total += c->size;
  return total;
}

TEST(Mp4FileSourceAudio, RequestsMoveTheCurrentSample) {
  auto source = openClip("h263_amrnb.3gp");
  source->outputRate = 8000;
  source->outputChannels = 1;
  source->outputBits = 16;
  AudioChunk* chunks = nullptr;
  int32_t timeMs = 0;
  uint8_t changed = 7;

  ASSERT_TRUE(source->getAudio(kRequestFirst, chunks, timeMs, changed));
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(source->currentAudioSample(), 1);
  EXPECT_EQ(pcmBytes(chunks), 320);  // one 20 ms AMR-NB frame
  freeAudioChunkList(chunks);
  chunks = nullptr;

  // Next, back, back below the first (stays there), a position (20 ms per
  // sample: 1000 ms starts sample 51), and the end: request 2 sits on
  // count - 1, the next request plays the last sample and the one after fails.
  const struct {
    FrameRequest what;
    int32_t timeMs, sample;
  } steps[] = {{kRequestNext, 0, 2},
               {kRequestPrevious, 0, 1},
               {kRequestPrevious, 0, 1},
               {kRequestAtPosition, 1010, 51},
               {kRequestLast, 0, source->audioSampleCount - 1}};
  for (const auto& step : steps) {
    ASSERT_TRUE(pull(*source, step.what, step.timeMs)) << step.what;
    EXPECT_EQ(source->currentAudioSample(), step.sample) << step.what;
  }
  ASSERT_TRUE(pull(*source, kRequestNext, 0));
  EXPECT_EQ(source->currentAudioSample(), source->audioSampleCount);
  EXPECT_FALSE(source->getAudio(kRequestNext, chunks, timeMs, changed));
  EXPECT_EQ(chunks, nullptr);
  EXPECT_FALSE(source->getAudio(kRequestCurrent, chunks, timeMs, changed));
}

TEST(Mp4FileSourceAudio, ConvertsToTheDeviceFormat) {
  auto source = openClip("mpeg4_aac.mp4");
  source->outputRate = 22050;
  source->outputChannels = 1;
  source->outputBits = 8;
  AudioChunk* chunks = nullptr;
  int32_t timeMs = 1000;
  uint8_t changed = 0;
  ASSERT_TRUE(source->getAudio(kRequestAtPosition, chunks, timeMs, changed));
  // One AAC frame: 1024 stereo 16-bit samples at 44.1 kHz -> 512 bytes 8-bit mono at 22.05 kHz.
  EXPECT_EQ(pcmBytes(chunks), 512);
  // The tone is not silence.
  int loud = 0;
  for (int32_t i = 0; i < chunks->size; ++i) loud += std::abs(chunks->data[i] - 128) >= 8;
  EXPECT_GT(loud, 50);
  freeAudioChunkList(chunks);
}

TEST(Mp4FileSourceAudio, WithoutAudioEveryRequestFails) {
  auto source = openClip("anamorphic.mp4");
  AudioChunk* chunks = nullptr;
  int32_t timeMs = 0;
  uint8_t changed = 3;
  EXPECT_FALSE(source->getAudio(kRequestFirst, chunks, timeMs, changed));
  EXPECT_EQ(changed, 0);
  EXPECT_EQ(source->audioByteCount(), -1);
}

}  // namespace
}  // namespace strevana
