// The decoder libraries driven directly through their pins.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "media/codec/audio_codec_if.h"
#include "media/codec/av_audio_codec.h"
#include "media/codec/mp4_file.h"
#include "media/codec/mpeg4_codec_if.h"
#include "media/mp4_test_support.h"

namespace strevana {
namespace {

using test::fixture;

std::vector<std::vector<uint8_t>> trackSamples(CMp4Track* track, uint32_t limit) {
  std::vector<std::vector<uint8_t>> out;
  uint32_t count = 0;
  track->getSampleCount(count);
  for (uint32_t n = 1; n <= count && n <= limit; ++n) {
    uint32_t size = 0, length = 0;
    track->getSampleSize(n, size);
    std::vector<uint8_t> bytes(size);
    track->readSample(n, size, length, bytes.data());
    out.push_back(bytes);
  }
  return out;
}

// A video decoder delivering YUY2 (decoder format 150) through its own pins,
// all freed when the test ends, also on an early return.
struct YuyvDecoderRig {
  YuyvDecoderRig()
      : decoder(Mpeg4CodecIf::createInstance(0)),
        control(decoder->getInterface(2, 0)),
        in(CInStrmPin::createInstance(1024)),
        out(COutStrmPin::createInstance(1024)) {
    control->setOutputFormat(150, 0);
    control->connectInput(in, 0);
    control->connectOutput(out, 0);
  }
  ~YuyvDecoderRig() {
    Mpeg4CodecIf::destroyInstance(decoder);
    CInStrmPin::destroyInstance(in);
    COutStrmPin::destroyInstance(out);
  }
  YuyvDecoderRig(const YuyvDecoderRig&) = delete;
  YuyvDecoderRig& operator=(const YuyvDecoderRig&) = delete;

  Mpeg4CodecIf* decoder;
  Mpeg4CodecControl* control;
  CInStrmPin* in;
  COutStrmPin* out;
};

// A fixture clip's track as the decoders see it: its first samples and its
// decoder configuration.
struct ClipTrack {
  std::vector<std::vector<uint8_t>> samples;
  std::vector<uint8_t> config;
};

ClipTrack readTrack(const char* clip, uint32_t index, uint32_t limit) {
  ClipTrack t;
  CMp4File* file = nullptr;
  CMp4File::createInstance(file);
  CMp4Track* track = nullptr;
  if (file && file->open(fixture(clip).c_str(), 0, 0) == kMp4Ok &&
      file->getTrack(index, track) == kMp4Ok && track) {
    t.samples = trackSamples(track, limit);
    uint32_t size = 0, length = 0;
    if (track->getConfigSize(1, size) == kMp4Ok && size > 0) {
      t.config.resize(size);
      track->getConfig(1, size, length, t.config.data());
      t.config.resize(std::min(length, size));
    }
    file->releaseTrack(track);
    file->close();
  }
  CMp4File::destroyInstance(file);
  return t;
}

CBufferElem* elementOf(const std::vector<uint8_t>& bytes, uint64_t time = 0) {
  CBufferElem* e = nullptr;
  CIOStrmPin::allocateBufferElem(e, static_cast<uint32_t>(bytes.size()));
  std::copy(bytes.begin(), bytes.end(), e->data());
  e->desc().setTime(static_cast<uint32_t>(time), static_cast<uint32_t>(time >> 32));
  return e;
}

TEST(Mpeg4Codec, SetUpCallsAndTheirResults) {
  Mpeg4CodecIf* decoder = Mpeg4CodecIf::createInstance(0);
  ASSERT_NE(decoder, nullptr);
  EXPECT_EQ(decoder->getInterface(1, 0), nullptr);
  Mpeg4CodecControl* control = decoder->getInterface(2, 0);
  ASSERT_NE(control, nullptr);
  for (int32_t f : {101, 102, 140, 141, 142, 143, 0, 999})
    EXPECT_EQ(control->setOutputFormat(f, 0), 0) << f;
  for (int32_t f : {100, 144, 145, 150}) EXPECT_NE(control->setOutputFormat(f, 0), 0) << f;
  int32_t flag = 7;
  EXPECT_NE(control->hasAlpha(flag), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(control->setPostfilter(4), 0);
  EXPECT_NE(control->setPostfilter(2), 0);
  int32_t mode = 0;
  control->getPostfilter(mode);
  EXPECT_EQ(mode, 2);
  // start needs its pins.
  EXPECT_EQ(control->start(), 0);
  Mpeg4CodecIf::destroyInstance(decoder);
  EXPECT_EQ(decoder, nullptr);
}

TEST(Mpeg4Codec, GarbageInputGivesNoPictureAndEndsCleanly) {
  YuyvDecoderRig rig;
  auto* decoder = rig.decoder;
  auto* control = rig.control;
  auto* in = rig.in;
  auto* out = rig.out;
  control->setPictureSize(176, 144);
  ASSERT_NE(control->start(), 0);
  std::vector<uint8_t> junk(3000);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 131u + 7u);
  junk[0] = 0;
  junk[1] = 0;
  junk[2] = 1;
  junk[3] = 0xB6;
  int32_t run = 1;
  for (int i = 0; i < 5; ++i) {
    CBufferElem* e = elementOf(junk, static_cast<uint64_t>(i));
    ASSERT_EQ(in->put(e), kPinOk);
    decoder->step(&run);
  }
  in->endOfStream();
  decoder->step(&run);
  EXPECT_NE(out->isFinished(), 0);
  // Whatever came out has the promised size.
  CBufferElem* picture = nullptr;
  while (out->take(picture) == kPinOk) {
    EXPECT_EQ(picture->size(),
              static_cast<uint32_t>(picture->desc().width() * picture->desc().height() * 2));
    CIOStrmPin::freeBufferElem(picture);
  }
}

// The coding type of the first VOP in a sample (0 intra), or -1.
int vopType(const std::vector<uint8_t>& sample) {
  for (size_t i = 0; i + 4 < sample.size(); ++i) {
    if (sample[i] == 0 && sample[i + 1] == 0 && sample[i + 2] == 1 && sample[i + 3] == 0xB6)
      return sample[i + 4] >> 6;
  }
  return -1;
}

TEST(Mpeg4Codec, JoinedAfterAKeyPictureSizesFromTheConfigAndBlanksUntilTheNextOne) {
  const ClipTrack clip = readTrack("mpeg4_aac.mp4", 1, 75);
  const auto& samples = clip.samples;
  const auto& config = clip.config;
  ASSERT_FALSE(samples.empty());

  YuyvDecoderRig rig;
  auto* decoder = rig.decoder;
  auto* control = rig.control;
  auto* in = rig.in;
  auto* out = rig.out;
  CBufferElem* configElement = elementOf(config);
  control->setConfig(configElement, 0);
  CIOStrmPin::freeBufferElem(configElement);
  ASSERT_NE(control->start(), 0);
  // A stream's receiver knows no container: the layer header gives the size.
  int32_t w = 0, h = 0;
  control->getPictureSize(w, h);
  EXPECT_EQ(w, 176);
  EXPECT_EQ(h, 144);

  // Joined after the first key picture: what comes before the next one is
  // predicted from nothing.
  size_t nextKey = 1;
  while (nextKey < samples.size() && vopType(samples[nextKey]) != 0) ++nextKey;
  ASSERT_LT(nextKey, samples.size());
  int32_t run = 1;
  int blanked = 0, clean = 0;
  for (size_t n = 1; n < samples.size(); ++n) {
    CBufferElem* e = elementOf(samples[n], n);
    ASSERT_EQ(in->put(e), kPinOk);
    decoder->step(&run);
    CBufferElem* picture = nullptr;
    while (out->take(picture) == kPinOk) {
      const bool beforeKey = picture->desc().time() < nextKey;
      EXPECT_EQ(picture->desc().needsBlanking(), beforeKey ? 1 : 0) << picture->desc().time();
      (beforeKey ? blanked : clean) += 1;
      CIOStrmPin::freeBufferElem(picture);
    }
  }
  EXPECT_GT(clean, 10);
  EXPECT_GT(blanked, 0);
}

TEST(AudioCodec, SoundCarriesTheTimeOfItsAccessUnit) {
  const ClipTrack clip = readTrack("mpeg4_aac.mp4", 2, 6);
  const auto& samples = clip.samples;
  const auto& asc = clip.config;
  ASSERT_FALSE(samples.empty());
  CAudioCodecIf* decoder = CAudioCodecIf::createInstance(kAudioKindAac);
  CBufferElem* config = elementOf(asc);
  decoder->setConfig(config);
  CIOStrmPin::freeBufferElem(config);
  decoder->setFormat(kAudioFormatGeneric);
  CInStrmPin* in = CInStrmPin::createInstance(1024);
  COutStrmPin* out = COutStrmPin::createInstance(1024);
  decoder->connectInput(in, 0);
  decoder->connectOutput(out, 0);
  ASSERT_NE(decoder->init(), 0);
  for (size_t n = 0; n < samples.size(); ++n) {
    const uint64_t time = 5000000000ull + 1024 * n;  // past 32 bits
    CBufferElem* e = elementOf(samples[n], time);
    in->put(e);
    ASSERT_NE(decoder->decode(), 0);
    CBufferElem* pcm = nullptr;
    ASSERT_EQ(out->take(pcm), kPinOk);
    EXPECT_EQ(pcm->desc().time(), time);
    CIOStrmPin::freeBufferElem(pcm);
  }
  decoder->stop();
  CAudioCodecIf::destroyInstance(decoder);
  CInStrmPin::destroyInstance(in);
  COutStrmPin::destroyInstance(out);
}

// Decodes samples with one audio decoder set-up, all PCM concatenated.
std::vector<uint8_t> decodeAll(CAudioCodecIf* decoder,
                               const std::vector<std::vector<uint8_t>>& samples) {
  CInStrmPin* in = CInStrmPin::createInstance(1024);
  COutStrmPin* out = COutStrmPin::createInstance(1024);
  decoder->connectInput(in, 0);
  decoder->connectOutput(out, 0);
  std::vector<uint8_t> pcm;
  EXPECT_NE(decoder->init(), 0);
  for (const auto& s : samples) {
    CBufferElem* e = elementOf(s);
    in->put(e);
    EXPECT_NE(decoder->decode(), 0);
    CBufferElem* o = nullptr;
    while (out->take(o) == kPinOk) {
      pcm.insert(pcm.end(), o->data(), o->data() + o->size());
      CIOStrmPin::freeBufferElem(o);
    }
  }
  decoder->stop();
  CAudioCodecIf* d = decoder;
  CAudioCodecIf::destroyInstance(d);
  CInStrmPin::destroyInstance(in);
  COutStrmPin::destroyInstance(out);
  return pcm;
}

TEST(AudioCodec, KindsAndFormats) {
  EXPECT_EQ(CAudioCodecIf::createInstance(5), nullptr);
  CAudioCodecIf* amr = CAudioCodecIf::createInstance(kAudioKindAmr);
  ASSERT_NE(amr, nullptr);
  EXPECT_EQ(amr->setFormat(kAudioFormatLatm), 0);
  EXPECT_NE(amr->setFormat(kAudioFormatAmrWb), 0);
  CAudioCodecIf::destroyInstance(amr);
  EXPECT_EQ(amr, nullptr);
}

TEST(AudioCodec, AmrWbFromRateAndChannels) {
  const auto samples = readTrack("amrwb_only.3gp", 1, 10).samples;
  ASSERT_EQ(samples.size(), 10u);
  CAudioCodecIf* decoder = CAudioCodecIf::createInstance(kAudioKindAmr);
  decoder->setChannels(1);
  decoder->setSampleRate(16000);
  decoder->setFormat(kAudioFormatAmrWb);
  const auto pcm = decodeAll(decoder, samples);
  EXPECT_EQ(pcm.size(), 10u * 320u * 2u);  // 20 ms at 16 kHz per frame
}

TEST(AudioCodec, StreamMuxConfigGivesTheAudioSpecificConfig) {
  // audioMuxVersion 0, same time framing, 0 subframes, 1 program, 1 layer,
  // then AAC-LC 44.1 kHz stereo (0x12 0x10), frameLengthType 0, fullness 0xFF.
  const std::vector<uint8_t> smc = {0x40, 0x00, 0x24, 0x20, 0x3F, 0xC0};
  const auto asc = audioSpecificConfigFromStreamMuxConfig(smc.data(), smc.size());
  ASSERT_GE(asc.size(), 2u);
  EXPECT_EQ(asc[0], 0x12);
  EXPECT_EQ(asc[1], 0x10);
  // More than one program is not supported.
  const std::vector<uint8_t> twoPrograms = {0x40, 0x02, 0x24, 0x20};
  EXPECT_TRUE(
      audioSpecificConfigFromStreamMuxConfig(twoPrograms.data(), twoPrograms.size()).empty());
  EXPECT_TRUE(audioSpecificConfigFromStreamMuxConfig(nullptr, 0).empty());
}

TEST(AudioCodec, LatmPayloadsDecodeLikeRawAccessUnits) {
  const ClipTrack clip = readTrack("mpeg4_aac.mp4", 2, 8);
  const auto& samples = clip.samples;
  const auto& asc = clip.config;
  ASSERT_GE(asc.size(), 2u);
  ASSERT_EQ(asc[0], 0x12);
  ASSERT_EQ(asc[1], 0x10);

  CAudioCodecIf* generic = CAudioCodecIf::createInstance(kAudioKindAac);
  CBufferElem* config = elementOf(asc);
  generic->setConfig(config);
  generic->setFormat(kAudioFormatGeneric);
  const auto expected = decodeAll(generic, samples);

  std::vector<std::vector<uint8_t>> latm;
  for (const auto& s : samples) {
    std::vector<uint8_t> p;
    size_t n = s.size();
    while (n >= 255) {
      p.push_back(255);
      n -= 255;
    }
    p.push_back(static_cast<uint8_t>(n));
    p.insert(p.end(), s.begin(), s.end());
    latm.push_back(p);
  }
  CAudioCodecIf* viaLatm = CAudioCodecIf::createInstance(kAudioKindAac);
  CBufferElem* smc = elementOf({0x40, 0x00, 0x24, 0x20, 0x3F, 0xC0});
  viaLatm->setConfig(smc);
  viaLatm->setFormat(kAudioFormatLatm);
  const auto got = decodeAll(viaLatm, latm);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(expected.size(), 8u * 1024u * 4u);
  CIOStrmPin::freeBufferElem(config);
  CIOStrmPin::freeBufferElem(smc);
}

}  // namespace
}  // namespace strevana
