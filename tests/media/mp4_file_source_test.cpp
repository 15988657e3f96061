#include "media/mp4_file_source.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "media/mp4_test_support.h"

namespace strevana {
namespace {

using namespace test;  // NOLINT: the source-driving helpers

const char* pixfmtOf(OutputFormat f) {
  return f == kFormatIyuv    ? "yuv420p"
         : f == kFormatYuy2  ? "yuyv422"
         : f == kFormatBgr24 ? "bgr24"
                             : "bgra";
}

TEST(Mp4FileSourceOpen, ChoosesTracksAndReadsSizes) {
  struct Case {
    const char* clip;
    int32_t fields[8];  // video codec, audio codec, width, display width, frames, duration, rate,
                        // channels; -1: no such track (codecs) or not checked
  };
  // many_tracks: the Motion JPEG track is skipped, the second MPEG-4 track and
  // the earlier AAC track are not chosen. anamorphic: the display size is kept.
  // clang-format off
  const Case cases[] = {
      {"mpeg4_aac.mp4",     {kVideoCodecMpeg4, kAudioCodecAac,   176, 176, 75, 3000, 44100, 2}},
      {"mpeg4_bframes.mp4", {kVideoCodecMpeg4, kAudioCodecAac,   320, 320, 75, 3000, 22050, 1}},
      {"h263_amrnb.3gp",    {kVideoCodecH263,  kAudioCodecAmrNb, 176, 176, 45, 3000, 8000,  1}},
      {"many_tracks.mp4",   {kVideoCodecMpeg4, kAudioCodecAac,   176, 176, 25, -1,   22050, 1}},
      {"anamorphic.mp4",    {kVideoCodecMpeg4, -1,               176, 256, -1, -1,   -1,    -1}},
      {"aac_only.mp4",      {-1,               kAudioCodecAac,   -1,  -1,  -1, 2000, 48000, -1}},
  };
  // clang-format on
  for (const Case& c : cases) {
    auto s = openClip(c.clip);
    ASSERT_EQ(s->hasVideo * 2 + s->hasAudio, (c.fields[0] >= 0) * 2 + (c.fields[1] >= 0));
    const int64_t got[] = {s->videoCodec, s->audioCodec, s->width,       s->displayWidth,
                           s->frameCount, s->durationMs, s->decodedRate, s->decodedChannels};
    for (size_t i = 0; i < 8; ++i)
      EXPECT_TRUE(c.fields[i] < 0 || got[i] == c.fields[i]) << c.clip << " " << i << " " << got[i];
  }
  auto aac = openClip("mpeg4_aac.mp4");
  EXPECT_EQ(aac->height * 100 + aac->videoTimeScale(), 14425);
  const char* text = reinterpret_cast<const char*>(aac->metadataText.get());  // the file's text
  EXPECT_EQ(aac->metadataLength, text ? std::strlen(text) : 0);
  EXPECT_EQ(std::string(text ? text : "").substr(0, 20), "Title: Fixture clip;");
  EXPECT_EQ(openClip("mpeg4_bframes.mp4")->metadataText, nullptr);
  EXPECT_EQ(openClip("h263_amrnb.3gp")->audioSampleCount, 150);
  EXPECT_NEAR(openClip("anamorphic.mp4")->pixelAspect, 16.0 / 11.0, 1e-9);
  int64_t sums[2] = {0, 0};  // byte counts: the sums of the tracks' sample sizes
  for (uint32_t track : {1u, 2u}) {
    for (const Bytes& sample : test::readTrack("mpeg4_aac.mp4", track).samples)
      sums[track - 1] += sample.size();
  }
  EXPECT_EQ(aac->videoByteCount() * 1000000 + aac->audioByteCount(), sums[0] * 1000000 + sums[1]);
}

TEST(Mp4FileSourceOpen, AudioOnlyFilesShowTheStillPictureAtTheSoundsPosition) {
  const uint32_t still[4 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Mp4FileSource source(fixture("amrwb_only.3gp").c_str(), 0, kFormatBgrx32, 0, nullptr, nullptr,
                       nullptr, nullptr, 0, 4, 3, still);
  ASSERT_EQ(source.hasVideo * 2 + source.hasAudio, 1);
  EXPECT_EQ(source.audioCodec, kAudioCodecAmrWb);
  EXPECT_EQ(source.decodedRate * 10 + source.durationMs, 162000);
  EXPECT_EQ(source.displayWidth * 10 + source.displayHeight, 43);
  source.setOutputFormat(kFormatBgrx32);  // as the engine does
  uint32_t dst[4 * 3 + 8] = {};
  int32_t position = -1;
  setOutput(source, 16000, 1, 16);
  ASSERT_TRUE(pull(source, kRequestAtPosition, 500));  // 20 ms per sample
  ASSERT_TRUE(source.getVideoFrame(kRequestCurrent, 16, nullptr, 0, 0, (uint8_t*)dst, position));
  EXPECT_EQ(0, std::memcmp(dst, still, sizeof still));
  EXPECT_EQ(position, 500);
}

// ---- damaged and hostile files ----

// A copy of a fixture with some of its bytes changed.
std::string damagedCopy(const std::string& clip, const std::string& name,
                        const std::function<void(Bytes&)>& damage) {
  Bytes bytes = test::readFile(fixture(clip));
  damage(bytes);
  test::writeFile(::testing::TempDir() + name, bytes);
  return ::testing::TempDir() + name;
}

size_t findBox(const Bytes& bytes, const char* type, size_t from = 0) {
  for (size_t i = from + 4; i + 4 <= bytes.size(); ++i) {
    if (std::memcmp(bytes.data() + i, type, 4) == 0) return i - 4;
  }
  return std::string::npos;
}

void putBe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

TEST(Mp4FileSourceOpen, GarbledOrBrokenFilesAreRefusedOrPlayedThroughWithoutHarm) {
  test::writeFile(::testing::TempDir() + "noise.mp4", Bytes(5000, 0x5A));
  const std::string paths[] = {
      damagedCopy("mpeg4_bframes.mp4", "garbled.mp4",
                  [](Bytes& b) {
                    const size_t end = std::min(b.size(), findBox(b, "mdat") + 200000);
                    for (size_t i = findBox(b, "mdat") + 2000; i < end; i += 3)
                      b[i] = static_cast<uint8_t>(i * 17u);
                  }),
      // Every other entry of each sample size table claims almost 2 GB.
      damagedCopy("mpeg4_aac.mp4", "huge_sizes.mp4",
                  [](Bytes& b) {
                    for (size_t at = findBox(b, "stsz"); at != std::string::npos;
                         at = findBox(b, "stsz", at + 8)) {
                      const size_t count = size_t{b[at + 18]} << 8 | b[at + 19];  // < 65536
                      for (size_t e = at + 20; e < at + 20 + 4 * count; e += 8)
                        b[e] = 0x7F, b[e + 1] = 0xFF;
                    }
                  }),
      damagedCopy("mpeg4_aac.mp4", "cut_index.mp4",
                  [](Bytes& b) { b.resize(findBox(b, "moov") + 200); }),
      ::testing::TempDir() + "noise.mp4", "/" + std::string(300, 'x') + ".mp4",
      "/nonexistent/clip.mp4"};
  for (const std::string& path : paths) {
    auto source = openClip(path, kFormatBgrx32, kPostfilterBoth);
    const bool opened = source->hasVideo || source->hasAudio;
    EXPECT_TRUE(path == paths[1] || opened == (path == paths[0])) << path;  // huge sizes: either
    if (!opened) continue;
    EXPECT_LT(allPictures(*source).size(), 200u) << path;  // every request comes back
    for (int32_t ms : {0, 700, 1500, 2900, 5000})
      request(*source, kRequestAtPosition, ms), request(*source, kRequestPrevious);
    setOutput(*source, 8000, 1, 8);
    // A sound sample that cannot be read (huge sizes: the first) ends the sound there.
    const int sound = soundRequests(*source, kRequestFirst);
    EXPECT_TRUE(sound < 200 && (sound == 0) == (path == paths[1])) << path << " " << sound;
  }
  // Cut in its media data: plays up to the damage, sound too, and nothing beyond.
  auto cut = openClip("truncated.mp4", kFormatIyuv);
  const auto shown = allPictures(*cut);
  EXPECT_EQ(shown.at(0), test::loadReference("mpeg4_aac.mp4", "yuv420p")[0].md5);
  EXPECT_TRUE(shown.size() > 5 && shown.size() < 75 && cut->frameCount == 75) << shown.size();
  EXPECT_FALSE(request(*cut, kRequestCurrent).ok || request(*cut, kRequestLast).ok);
  EXPECT_TRUE(request(*cut, kRequestFirst).ok);
  setOutput(*cut, cut->decodedRate, cut->decodedChannels, 16);
  EXPECT_GT(soundRequests(*cut, kRequestFirst), 3);
}

// size_40x24's single-chunk video track made to claim `samples` samples of
// `sampleSize` bytes in one chunk; with `tail`, that many zero bytes appended are the chunk.
std::string claimingCopy(const std::string& name, uint32_t samples, uint32_t sampleSize,
                         size_t tail) {
  return damagedCopy("size_40x24.mp4", name, [&](Bytes& b) {
    putBe32(b, findBox(b, "stts") + 16, samples);  // one entry: count, delta
    putBe32(b, findBox(b, "stsc") + 20, samples);  // one entry: first chunk 1, samples per chunk
    putBe32(b, findBox(b, "stsz") + 12, sampleSize);
    putBe32(b, findBox(b, "stsz") + 16, samples);
    if (tail) putBe32(b, findBox(b, "stco") + 16, static_cast<uint32_t>(b.size()));
    b.resize(b.size() + tail, 0);
  });
}

long long bytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value && key != "rchar:") {
  }
  return value;
}

TEST(Mp4FileSourceOpen, OpeningCostsWhatTheIndexNotWhatTheSamplesClaim) {
  // Reordered pictures: presentation times come from the index, not from a pass over the data.
  const long long read = bytesReadSoFar();
  EXPECT_TRUE(openClip("mpeg4_bframes.mp4")->hasVideo);
  EXPECT_LT(bytesReadSoFar() - read,
            static_cast<long long>(std::filesystem::file_size(fixture("mpeg4_bframes.mp4")) / 2));
  // 3 KB claiming 48 million one-byte samples: refused before an index entry is built for each.
  const long before = test::peakResidentKb();
  EXPECT_FALSE(openClip(claimingCopy("claims_48m.mp4", 48000000, 1, 0))->hasVideo);
  EXPECT_LT(test::peakResidentKb() - before, 200 * 1024);
  // Two million 4-byte samples of zeros, none a picture: the samples a seek
  // feeds go to the saved stream, so its size tells how far a seek walked.
  const uint32_t samples = 2000000;
  const std::string saved = ::testing::TempDir() + "no_pictures.m4v";
  {
    auto source = openClip(claimingCopy("no_pictures.mp4", samples, 4, size_t{samples} * 4),
                           kFormatBgrx32, 0, {saved.c_str()});
    EXPECT_EQ(source->frameCount, static_cast<int32_t>(samples));
    request(*source, kRequestAtPosition, 60000);
    request(*source, kRequestNext);
  }
  EXPECT_LT(std::filesystem::file_size(saved), 64u * 1024);
}

// A leak shows here in a plain build too, without a leak checker.
TEST(Mp4FileSourceOpen, ClosedSourcesLeaveNoHeapBehind) {
  const auto cycle = [] {
    for (OutputFormat format : {kFormatYuy2, kFormatBgr24, kFormatBgrx32})
      request(*openClip("mpeg4_aac.mp4", format), kRequestNext);
  };
  cycle();  // one-time tables
  const size_t before = mallinfo2().uordblks;
  for (int i = 0; i < 10; ++i) cycle();
  EXPECT_LT(mallinfo2().uordblks, before + 30 * 8 * 1024);  // under 8 KB a source
}

// ---- pictures against ffmpeg's own decode ----

struct ClipCase {
  const char* clip;
  OutputFormat format;
};

void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.clip << " in format " << c.format; }

class Mp4FileSourcePictures : public ::testing::TestWithParam<ClipCase> {};

TEST_P(Mp4FileSourcePictures, SeeksLandOnThePictureShownAtThatTime) {
  auto source = openClip(GetParam().clip, GetParam().format);
  const auto reference = test::loadReference(GetParam().clip, pixfmtOf(GetParam().format));
  ASSERT_FALSE(reference.empty());
  const double scale = source->videoTimeScale();
  std::vector<int32_t> positions = {1, 39, 40, 41, 999, 1000, 1001, 2002, 33, 34, 1530, 1600};
  for (int32_t ms = 0; ms <= source->durationMs + 100; ms += 137) positions.push_back(ms);
  for (int32_t ms = source->durationMs; ms >= 0; ms -= 401) positions.push_back(ms);
  for (int32_t ms : positions) {
    const Picture p = request(*source, kRequestAtPosition, ms);
    ASSERT_TRUE(p.ok) << ms;
    const size_t i = test::referenceIndexAt(reference, static_cast<int64_t>(scale * ms * 0.001));
    EXPECT_EQ(p.md5, reference[i].md5) << ms << " ms";
    EXPECT_EQ(p.positionMs, static_cast<int32_t>(reference[i].pts * 1000 / scale)) << ms << " ms";
  }
}

TEST_P(Mp4FileSourcePictures, StepsForwardAndBackInPresentationOrder) {
  auto source = openClip(GetParam().clip, GetParam().format);
  const auto reference = test::loadReference(GetParam().clip, pixfmtOf(GetParam().format));
  ASSERT_GT(reference.size(), 20u);  // the frame count may hold pictures an edit hides
  const auto expectStep = [&](FrameRequest what, size_t i) {
    const Picture p = request(*source, what);
    ASSERT_TRUE(p.ok) << "request " << what << " to " << i;
    EXPECT_EQ(p.md5, reference[i].md5) << "request " << what << " to " << i;
  };
  expectStep(kRequestFirst, 0);
  expectStep(kRequestPrevious, 0);  // back from the first finds the first again
  for (size_t i = 1; i < reference.size(); ++i)
    expectStep(i % 2 ? kRequestNext : kRequestNextCatchingUp, i);
  expectStep(kRequestCurrent, reference.size() - 1);
  EXPECT_FALSE(request(*source, kRequestNext).ok);  // the end, and "current" fails there too
  EXPECT_FALSE(request(*source, kRequestCurrent).ok);
  expectStep(kRequestLast, reference.size() - 1);
  const size_t here = reference.size() - 20;
  for (size_t i = reference.size() - 1; i-- > here;) expectStep(kRequestPrevious, i);
  for (size_t i = here + 1; i < here + 6; ++i) expectStep(kRequestNext, i);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, Mp4FileSourcePictures,
    ::testing::Values(
        ClipCase{"mpeg4_aac.mp4", kFormatIyuv}, ClipCase{"mpeg4_aac.mp4", kFormatYuy2},
        ClipCase{"mpeg4_aac.mp4", kFormatBgr24}, ClipCase{"mpeg4_aac.mp4", kFormatBgrx32},
        ClipCase{"mpeg4_bframes.mp4", kFormatIyuv}, ClipCase{"mpeg4_bframes.mp4", kFormatYuy2},
        ClipCase{"mpeg4_bframes.mp4", kFormatBgrx32}, ClipCase{"h263_amrnb.3gp", kFormatYuy2},
        ClipCase{"h263_amrnb.3gp", kFormatBgr24}, ClipCase{"ntsc_30000.mp4", kFormatIyuv},
        // The edit starts inside a group of pictures: the key picture before it is
        // decoded but never shown, at the start or after any seek.
        ClipCase{"edit_midgop.mp4", kFormatYuy2}));

// ---- output formats ----

TEST(Mp4FileSourceFormat, ChangeReDecodesTheSamePicture) {
  auto source = openClip("mpeg4_bframes.mp4", kFormatYuy2);
  const auto yuy2 = test::loadReference("mpeg4_bframes.mp4", "yuyv422");
  const auto bgr = test::loadReference("mpeg4_bframes.mp4", "bgr24");
  const auto bgra = test::loadReference("mpeg4_bframes.mp4", "bgra");
  const size_t i = test::referenceIndexAt(yuy2, source->videoTimeScale() * 1530 / 1000);
  EXPECT_EQ(request(*source, kRequestAtPosition, 1530).md5, yuy2[i].md5);
  EXPECT_FALSE(source->prefersRgbOutput());
  ASSERT_TRUE(source->setOutputFormat(kFormatBgr24));
  const Picture p = request(*source, kRequestCurrent);
  EXPECT_EQ(p.md5, bgr[i].md5);
  EXPECT_EQ(p.positionMs, static_cast<int32_t>(bgr[i].pts * 1000 / source->videoTimeScale()));
  EXPECT_EQ(request(*source, kRequestNext).md5, bgr[i + 1].md5);  // on from there
  ASSERT_TRUE(source->setOutputFormat(kFormatBgrx32));
  EXPECT_EQ(request(*source, kRequestCurrent).md5, bgra[i + 1].md5);
  // Past the end there is no picture: a format change does not bring one back.
  allPictures(*source);
  ASSERT_TRUE(source->setOutputFormat(kFormatYuy2));
  EXPECT_FALSE(request(*source, kRequestCurrent).ok);
  EXPECT_EQ(request(*source, kRequestFirst).md5, yuy2[0].md5);

  // A format without a decoder is refused, at opening or later: no picture
  // until a format with one.
  EXPECT_FALSE(openClip("mpeg4_aac.mp4", kFormatYv12)->hasVideo);
  EXPECT_FALSE(source->createVideoDecoder(kFormatYv12, 0));
  EXPECT_EQ(source->outputFormat, kFormatYuy2);
  EXPECT_FALSE(source->setOutputFormat(kFormatYv12));
  for (FrameRequest r : {kRequestFirst, kRequestAtPosition, kRequestPrevious, kRequestCurrent})
    EXPECT_FALSE(request(*source, r).ok) << r;
  ASSERT_TRUE(source->setOutputFormat(kFormatYuy2));
  EXPECT_FALSE(request(*source, kRequestCurrent).ok);
  EXPECT_EQ(request(*source, kRequestFirst).md5, yuy2[0].md5);
}

TEST(Mp4FileSourceFormat, DestinationStridesAndSmallerSizesLeaveTheRestAlone) {
  // Converted straight into the destination or copied from the decoder's
  // buffer (post-filtered): rows as in a tight buffer, nothing between or past
  // them. The 64x48 clip read as 64x40 and 60x48: only the top left part is written.
  // clang-format off
  const std::tuple<const char*, int32_t, int32_t, int32_t> cases[] = {
      {"mpeg4_aac.mp4", 176, 144, 100}, {"size_64x48.mp4", 64, 40, 0},
      {"size_64x48.mp4", 60, 48, 0}};
  // clang-format on
  for (const auto& [clip, width, height, gap] : cases) {
    for (PostfilterMode postfilter : {kPostfilterNone, kPostfilterBoth}) {
      for (OutputFormat format : {kFormatYuy2, kFormatBgr24, kFormatBgrx32}) {
        SCOPED_TRACE(::testing::Message() << clip << " " << width << " format " << format
                                          << " postfilter " << postfilter);
        auto full = openClip(clip, format, postfilter);
        const int32_t fullRow = rowBytes(format, full->width);
        Bytes reference(static_cast<size_t>(fullRow) * full->height);
        int32_t position = 0;
        ASSERT_TRUE(
            full->getVideoFrame(kRequestFirst, fullRow, nullptr, 0, 0, reference.data(), position));
        auto source = openClip(clip, format, postfilter);
        std::tie(source->width, source->height) = std::tuple(width, height);
        const int32_t row = rowBytes(format, width), stride = row + gap;
        Bytes dst(static_cast<size_t>(stride) * height + 256, 0xAB), want = dst;
        for (int32_t y = 0; y < height; ++y)
          std::copy_n(reference.begin() + y * fullRow, row, want.begin() + y * stride);
        ASSERT_TRUE(
            source->getVideoFrame(kRequestFirst, stride, nullptr, 0, 0, dst.data(), position));
        EXPECT_TRUE(dst == want);
      }
    }
  }
}

// ---- picture sizes that are not multiples of 16 ----

TEST(Mp4FileSourceSizes, EveryFormatMatchesFfmpegWithoutOverrunningThePicture) {
  // Sizes libswscale overran (it writes whole SIMD blocks; valgrind shows an
  // overrun of the exactly sized buffer), and 64x48, whose rows it fills
  // exactly and so writes straight into the caller's buffer.
  int filterChanged = 0;
  for (const char* size :
       {"40x24", "120x72", "360x200", "2x2", "8x6", "14x10", "41x31", "33x17", "64x48"}) {
    const std::string clip = std::string("size_") + size + ".mp4";
    for (OutputFormat format : {kFormatIyuv, kFormatYuy2, kFormatBgr24, kFormatBgrx32}) {
      SCOPED_TRACE(clip + " format " + std::to_string(format));
      // glibc fills new memory with the perturb byte: a pixel nobody wrote
      // (the post-filter leaves edge pixels alone) would change with it.
      mallopt(M_PERTURB, 0x55);
      const std::vector<std::string> pictures = allPictures(*openClip(clip, format));
      auto source = openClip(clip, format, kPostfilterBoth);
      const std::vector<std::string> filtered = allPictures(*source);
      mallopt(M_PERTURB, 0xAA);
      EXPECT_EQ(allPictures(*openClip(clip, format, kPostfilterBoth)), filtered);
      mallopt(M_PERTURB, 0);
      filterChanged += filtered != pictures;
      source->setPostfilter(0);  // off at run time: the unfiltered pictures again
      EXPECT_EQ(allPictures(*source), pictures);
      ASSERT_EQ(pictures.size(), 10u);
      const auto reference = test::loadReference(clip, pixfmtOf(format));
      if (reference.empty()) continue;  // ffmpeg writes no 4:2:x of odd sizes
      ASSERT_EQ(reference.size(), 10u);
      for (size_t i = 0; i < pictures.size(); ++i) EXPECT_EQ(pictures[i], reference[i].md5) << i;
    }
  }
  EXPECT_GT(filterChanged, 0);
}

// ---- sound and timecode ----

TEST(Mp4FileSourceAudio, SoundIsFfmpegsDecodeWithoutTheEncoderDelay) {
  // The encoder delay (and sound before the edit start) is decoded but not played.
  for (const char* clip : {"aac_only.mp4", "edit_midgop.mp4"}) {
    auto source = openClip(clip);
    setOutput(*source, source->decodedRate, source->decodedChannels, 16);
    const Bytes reference = test::readFile(fixture(std::string(clip) + ".s16le"));
    Bytes pcm;
    for (FrameRequest r = kRequestFirst; pcm.size() < 48000 * 4 && pull(*source, r, 0, &pcm);)
      r = kRequestNext;
    ASSERT_GE(reference.size(), pcm.size()) << clip;
    ASSERT_GT(pcm.size(), 4096u) << clip;
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), reference.begin())) << clip;
  }
  // Converted for the device: one AAC frame of 1024 stereo 16-bit samples at
  // 44.1 kHz is 512 bytes of 8-bit mono at 22.05 kHz, the tone not silence.
  auto source = openClip("mpeg4_aac.mp4");
  setOutput(*source, 22050, 1, 8);
  Bytes pcm;
  ASSERT_TRUE(pull(*source, kRequestAtPosition, 1000, &pcm));
  ASSERT_EQ(pcm.size(), 512u);
  EXPECT_GT(std::count_if(pcm.begin(), pcm.end(), [](uint8_t b) { return std::abs(b - 128) > 8; }),
            50);
}

TEST(Mp4FileSourceAudio, RequestsMoveTheCurrentSample) {
  auto source = openClip("h263_amrnb.3gp");
  setOutput(*source, 8000, 1, 16);
  Bytes pcm;
  ASSERT_TRUE(pull(*source, kRequestFirst, 0, &pcm));
  EXPECT_EQ(pcm.size(), 320u);  // one 20 ms AMR-NB frame
  // Back below the first stays there; 1010 ms lies in sample 51 (20 ms
  // each); "last" sits on count - 1, the next plays the last sample, then none.
  const int32_t count = source->audioSampleCount;
  // clang-format off
  const struct { FrameRequest what; int32_t timeMs, sample; } steps[] = {
      {kRequestNext, 0, 2}, {kRequestPrevious, 0, 1}, {kRequestPrevious, 0, 1},
      {kRequestAtPosition, 1010, 51}, {kRequestLast, 0, count - 1}, {kRequestNext, 0, count}};
  // clang-format on
  for (const auto& step : steps) {
    ASSERT_TRUE(pull(*source, step.what, step.timeMs)) << step.what;
    EXPECT_EQ(source->currentAudioSample(), step.sample) << step.what;
  }
  EXPECT_FALSE(pull(*source, kRequestNext) || pull(*source, kRequestCurrent));
  auto silent = openClip("anamorphic.mp4");  // no audio track: every request fails
  EXPECT_FALSE(pull(*silent, kRequestFirst));
  EXPECT_EQ(silent->audioByteCount(), -1);
}

TEST(Mp4FileSourceTimecode, FramesFollowTheTimeScale) {
  // clang-format off
  const std::tuple<const char*, int32_t, int32_t> cases[] = {
      {"mpeg4_aac.mp4", 1240, 6},      // scale 25: t = 31, 31 mod 25
      {"ntsc_30000.mp4", 1035, 1},     // scale 30000: t = 31031 -> 1031 / 1001
      {"ntsc_2997.mp4", 1500, 14},     // scale 2997: t = 4400 -> 1403 / 100
      {"mpeg4_bframes.mp4", 1500, 0},  // any other scale
      {"h263_amrnb.3gp", 1500, 0},     // H.263 always reads 0
  };
  // clang-format on
  int32_t h = -1, m = -1, s = -1, f = -1;
  for (const auto& [clip, ms, frames] : cases) {
    auto source = openClip(clip);
    const Picture p = request(*source, kRequestAtPosition, ms);
    ASSERT_TRUE(p.ok && source->getTimecode(h, m, s, f)) << clip;
    EXPECT_EQ(h * 10000 + m * 100 + s, p.positionMs / 1000) << clip;
    EXPECT_EQ(f, frames) << clip;
  }
}

}  // namespace
}  // namespace strevana
