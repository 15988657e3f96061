#include "media/audio_conversion.h"

#include "media/media_source.h"

namespace strevana {

namespace {

bool usable(const PcmFormat& f) {
  return f.rate > 0 && f.channels > 0 && (f.bits == 8 || f.bits == 16);
}

int32_t read16(const uint8_t* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

void write16(uint8_t* p, int32_t v) {
  const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
  p[0] = static_cast<uint8_t>(u & 0xff);
  p[1] = static_cast<uint8_t>(u >> 8);
}

}  // namespace

void convertAudioChunk(AudioChunk*& chunk, const PcmFormat& from, const PcmFormat& to) {
  if (!chunk) return;
  if (from.rate == to.rate && from.channels == to.channels && from.bits == to.bits) return;
  if (!usable(from) || !usable(to)) return;

  const double ratio = static_cast<double>(to.rate) / from.rate;
  const int32_t inFrame = from.bits / 8 * from.channels;
  const int32_t outFrame = to.bits / 8 * to.channels;
  const int64_t inFrames = chunk->size / inFrame;
  int64_t outBytes =
      static_cast<int64_t>(static_cast<double>(chunk->size) * outFrame * ratio / inFrame);
  outBytes -= outBytes % outFrame;
  if (inFrames == 0) outBytes = 0;  // not one whole input frame to pick from
  if (outBytes > INT32_MAX) outBytes = INT32_MAX - (INT32_MAX % outFrame);

  auto* result = new AudioChunk(static_cast<int32_t>(outBytes));
  const bool inMono = from.channels == 1;
  const bool in8 = from.bits == 8;
  const bool outMono = to.channels == 1;
  const bool out8 = to.bits == 8;
  const uint8_t* in = chunk->data.get();
  uint8_t* out = result->data.get();
  const int64_t frames = outBytes / outFrame;
  for (int64_t i = 0; i < frames; ++i) {
    int64_t f = static_cast<int64_t>(static_cast<double>(i) / ratio);
    if (f >= inFrames) f = inFrames - 1;  // guards against rounding at the very end
    const uint8_t* s = in + f * inFrame;
    uint8_t* d = out + i * outFrame;
    if (inMono) {
      if (in8) {
        const int32_t u = s[0];
        if (out8) {
          d[0] = s[0];
          if (!outMono) d[1] = s[0];
        } else {
          write16(d, (u - 128) * 256);
          if (!outMono) write16(d + 2, (u - 128) * 256);
        }
      } else {
        const int32_t v = read16(s);
        if (out8) {
          d[0] = static_cast<uint8_t>((v + 32768) >> 8);
          if (!outMono) d[1] = d[0];
        } else {
          write16(d, v);
          if (!outMono) write16(d + 2, v);
        }
      }
    } else if (in8) {
      const int32_t l = s[0];
      const int32_t r = s[1];
      if (outMono) {
        if (out8) {
          d[0] = static_cast<uint8_t>((l + r) >> 1);
        } else {
          write16(d, (l + r - 256) * 128);
        }
      } else if (out8) {
        d[0] = s[0];
        d[1] = s[1];
      } else {
        write16(d, (l - 128) * 256);
        write16(d + 2, (r - 128) * 256);
      }
    } else {
      const int32_t l = read16(s);
      const int32_t r = read16(s + 2);
      if (outMono) {
        if (out8) {
          d[0] = static_cast<uint8_t>((l + r + 65536) >> 9);
        } else {
          write16(d, (l + r) >> 1);  // arithmetic shift: rounds toward minus infinity
        }
      } else if (out8) {
        d[0] = static_cast<uint8_t>((l + 32768) >> 8);
        d[1] = static_cast<uint8_t>((r + 32768) >> 8);
      } else {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = s[3];
      }
    }
  }
  delete chunk;
  chunk = result;
}

void convertAudioChunk(AudioChunk*& chunk, const MediaSource& source) {
  convertAudioChunk(chunk,
                    PcmFormat{source.decodedRate, source.decodedChannels, source.decodedBits},
                    PcmFormat{source.outputRate, source.outputChannels, source.outputBits});
}

}  // namespace strevana
