// The stream pins, the decoder libraries driven directly through them, and
// convertAudioChunk (every row of the sample conversion table, with rate changes).
#include <gtest/gtest.h>

#include "media/audio_conversion.h"
#include "media/codec/audio_codec_if.h"
#include "media/codec/av_audio_codec.h"
#include "media/codec/mpeg4_codec_if.h"
#include "media/codec/stream_pin.h"
#include "media/mp4_test_support.h"

namespace strevana {
namespace {

using test::Bytes;

CBufferElem* elementOf(const Bytes& bytes, uint64_t time = 0) {
  CBufferElem* e = nullptr;
  EXPECT_EQ(CIOStrmPin::allocateBufferElem(e, static_cast<uint32_t>(bytes.size())), kPinOk);
  std::copy(bytes.begin(), bytes.end(), e->data());
  e->desc().setTime(static_cast<uint32_t>(time), static_cast<uint32_t>(time >> 32));
  return e;
}

TEST(StreamPin, InputPinIsAFifoWithItsCapacityAndEnd) {
  CInStrmPin* pin = CInStrmPin::createInstance(2);
  CBufferElem *a = elementOf(Bytes(1), 1ull << 33), *b = elementOf(Bytes(1), 2),
              *c = elementOf(Bytes(1), 3);
  EXPECT_EQ(pin->put(a), kPinOk);
  EXPECT_EQ(a, nullptr);  // ownership passed
  EXPECT_EQ(pin->put(b), kPinOk);
  EXPECT_EQ(pin->put(c), kPinFull);
  ASSERT_NE(c, nullptr);  // still the caller's
  EXPECT_EQ(pin->count(), 2u);
  CBufferElem* got[3] = {pin->next()};
  EXPECT_EQ(pin->put(c), kPinOk);
  pin->endOfStream();
  got[1] = pin->next();
  EXPECT_FALSE(pin->atEndOfStream());  // one element still queued
  got[2] = pin->next();
  EXPECT_TRUE(pin->atEndOfStream());
  pin->resetEndOfStream();
  EXPECT_FALSE(pin->atEndOfStream());
  for (uint64_t i = 0; i < 3; ++i) {
    EXPECT_EQ(got[i]->desc().time(), i ? i + 1 : 1ull << 33) << i;
    CIOStrmPin::freeBufferElem(got[i]);
  }
  CInStrmPin::destroyInstance(pin);
  EXPECT_EQ(pin, nullptr);
}

// A decoder's pins, freed with it.
struct Pins {
  CInStrmPin* in = CInStrmPin::createInstance(1024);
  COutStrmPin* out = COutStrmPin::createInstance(1024);
  ~Pins() {
    CInStrmPin::destroyInstance(in);
    COutStrmPin::destroyInstance(out);
  }
};

// A video decoder delivering YUY2 (decoder format 150), without one of
// format, input or output pin when `missing` is 1, 2 or 3.
struct VideoRig : Pins {
  explicit VideoRig(int missing = 0) {
    if (missing != 1) control->setOutputFormat(150, 0);
    if (missing != 2) control->connectInput(in, 0);
    if (missing != 3) control->connectOutput(out, 0);
  }
  ~VideoRig() { Mpeg4CodecIf::destroyInstance(decoder); }
  Mpeg4CodecIf* decoder = Mpeg4CodecIf::createInstance(0);
  Mpeg4CodecControl* control = decoder->getInterface(2, 0);
};

TEST(Mpeg4Codec, SetUpCallsAndTheirResults) {
  VideoRig rig;
  EXPECT_EQ(rig.decoder->getInterface(1, 0), nullptr);
  for (int32_t f : {100, 144, 145, 150, 101, 102, 140, 141, 142, 143, 0, 999})  // 4 decodable
    EXPECT_EQ(rig.control->setOutputFormat(f, 0) != 0,
              f == 100 || f == 144 || f == 145 || f == 150);
  int32_t alpha = 7, info = 7, value = 0;
  EXPECT_NE(rig.control->hasAlpha(alpha), 0);
  rig.control->getInfo(info);  // nothing known before the start
  EXPECT_EQ(alpha + info, 0);
  EXPECT_EQ(rig.control->setPostfilter(4), 0);
  EXPECT_NE(rig.control->setPostfilter(2), 0);
  rig.control->getPostfilter(value);
  EXPECT_EQ(value, 2);
  for (int missing = 0; missing < 4; ++missing)  // the start needs both pins and a format
    EXPECT_EQ(VideoRig(missing).control->start() != 0, missing == 0) << missing;
}

TEST(Mpeg4Codec, JoinedAfterAKeyPictureSizesFromTheConfigAndBlanksUntilTheNextOne) {
  const auto clip = test::readTrack("mpeg4_aac.mp4", 1, 75);
  ASSERT_FALSE(clip.samples.empty());
  VideoRig rig;
  CBufferElem* config = elementOf(clip.config);
  rig.control->setConfig(config, 0);
  CIOStrmPin::freeBufferElem(config);
  ASSERT_NE(rig.control->start(), 0);
  // A stream's receiver knows no container: the layer header gives the size.
  int32_t w = 0, h = 0;
  rig.control->getPictureSize(w, h);
  EXPECT_EQ(w * 1000 + h, 176144);
  // Joined after the first key picture: what comes before the next one (a
  // group of 12 pictures) is predicted from nothing.
  const size_t nextKey = 12;
  int32_t run = 1;
  int blanked = 0, clean = 0;
  for (size_t n = 1; n < clip.samples.size(); ++n) {
    CBufferElem* e = elementOf(clip.samples[n], n);
    ASSERT_EQ(rig.in->put(e), kPinOk);
    rig.decoder->step(&run);
    for (CBufferElem* picture = nullptr; rig.out->take(picture) == kPinOk;) {
      const bool beforeKey = picture->desc().time() < nextKey;
      EXPECT_EQ(picture->desc().needsBlanking(), beforeKey ? 1 : 0) << picture->desc().time();
      (beforeKey ? blanked : clean) += 1;
      CIOStrmPin::freeBufferElem(picture);
    }
  }
  EXPECT_GT(clean, 10);
  EXPECT_GT(blanked, 0);
}

// Decodes access units with one audio decoder set-up (destroyed after):
// all PCM, and the time of each output element.
struct Decoded {
  Bytes pcm;
  std::vector<uint64_t> times;
  int32_t rate = 0;
};

Decoded decodeAll(CAudioCodecIf* decoder, const std::vector<Bytes>& units, uint64_t time0 = 0) {
  Pins pins;
  decoder->connectInput(pins.in, 0);
  decoder->connectOutput(pins.out, 0);
  Decoded d;
  EXPECT_NE(decoder->init(), 0);
  for (size_t n = 0; n < units.size(); ++n) {
    CBufferElem* e = elementOf(units[n], time0 + 1024 * n);
    pins.in->put(e);
    EXPECT_NE(decoder->decode(), 0);
    for (CBufferElem* o = nullptr; pins.out->take(o) == kPinOk;) {
      d.pcm.insert(d.pcm.end(), o->data(), o->data() + o->size());
      d.times.push_back(o->desc().time());
      CIOStrmPin::freeBufferElem(o);
    }
  }
  decoder->getSampleRate(d.rate);
  decoder->stop();
  CAudioCodecIf::destroyInstance(decoder);
  return d;
}

CAudioCodecIf* aacDecoder(const Bytes& config, int32_t format) {
  CAudioCodecIf* decoder = CAudioCodecIf::createInstance(kAudioKindAac);
  CBufferElem* e = elementOf(config);
  decoder->setConfig(e);
  CIOStrmPin::freeBufferElem(e);
  decoder->setFormat(format);
  return decoder;
}

TEST(AudioCodec, AmrRatesWithoutASetUpRateComeFromTheFormat) {
  EXPECT_EQ(CAudioCodecIf::createInstance(5), nullptr);
  // clang-format off
  const std::tuple<const char*, uint32_t, int32_t, int32_t> cases[] = {
      {"amrwb_only.3gp", 1, kAudioFormatAmrWb, 16000}, {"h263_amrnb.3gp", 2, kAudioFormatAmrNb, 8000}};
  // clang-format on
  for (const auto& [clip, track, format, rate] : cases) {
    const auto samples = test::readTrack(clip, track, 10).samples;
    ASSERT_EQ(samples.size(), 10u);
    CAudioCodecIf* decoder = CAudioCodecIf::createInstance(kAudioKindAmr);
    EXPECT_EQ(decoder->setFormat(kAudioFormatLatm), 0);
    EXPECT_NE(decoder->setFormat(format), 0);
    decoder->setChannels(1);
    const Decoded d = decodeAll(decoder, samples);
    EXPECT_EQ(d.rate, rate) << clip;
    EXPECT_EQ(d.pcm.size(), 10u * rate / 50 * 2) << clip;  // 20 ms of 16-bit mono per frame
  }
}

TEST(AudioCodec, LatmPayloadsDecodeLikeRawAccessUnitsWithTheirTimes) {
  // StreamMuxConfig: audioMuxVersion 0, same time framing, 0 subframes, 1
  // program, 1 layer, AAC-LC 44.1 kHz stereo (0x12 0x10), frameLengthType 0.
  const Bytes smc = {0x40, 0x00, 0x24, 0x20, 0x3F, 0xC0}, twoPrograms = {0x40, 0x02, 0x24, 0x20};
  const Bytes asc = audioSpecificConfigFromStreamMuxConfig(smc.data(), smc.size());
  EXPECT_EQ(Bytes(asc.begin(), asc.begin() + std::min<size_t>(asc.size(), 2)), (Bytes{0x12, 0x10}));
  EXPECT_TRUE(audioSpecificConfigFromStreamMuxConfig(twoPrograms.data(), 4).empty());
  EXPECT_TRUE(audioSpecificConfigFromStreamMuxConfig(nullptr, 0).empty());

  const auto clip = test::readTrack("mpeg4_aac.mp4", 2, 8);
  std::vector<Bytes> latm;
  for (const Bytes& s : clip.samples) {
    Bytes p(s.size() / 255, 255);  // PayloadLengthInfo
    p.push_back(static_cast<uint8_t>(s.size() % 255));
    p.insert(p.end(), s.begin(), s.end());
    latm.push_back(p);
  }
  const uint64_t time0 = 5000000000ull;  // past 32 bits
  const Decoded raw = decodeAll(aacDecoder(clip.config, kAudioFormatGeneric), clip.samples, time0);
  EXPECT_EQ(raw.pcm.size(), 8u * 1024u * 4u);
  ASSERT_EQ(raw.times.size(), 8u);  // each with the time of its access unit
  for (size_t n = 0; n < raw.times.size(); ++n) EXPECT_EQ(raw.times[n], time0 + 1024 * n);
  EXPECT_EQ(decodeAll(aacDecoder(smc, kAudioFormatLatm), latm).pcm, raw.pcm);
}

// ---- conversion for the sound device ----

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
