#include "media/codec/av_audio_codec.h"

#include <cstring>
#include <new>

#include "media/codec/ffmpeg_quiet.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace strevana {

namespace {

class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), bits_(size * 8) {}
  bool has(size_t n) const { return pos_ + n <= bits_; }
  uint32_t read(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
      const uint32_t bit = pos_ < bits_ ? (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1u : 0u;
      v = (v << 1) | bit;
      ++pos_;
    }
    return v;
  }
  size_t position() const { return pos_; }
  size_t size() const { return bits_; }

 private:
  const uint8_t* data_;
  size_t bits_;
  size_t pos_ = 0;
};

uint32_t latmValue(BitReader& r) {
  const int bytes = static_cast<int>(r.read(2)) + 1;
  return r.read(8 * bytes);
}

// Rate and channel count announced by an AudioSpecificConfig, for callers that
// ask before the first frame is decoded.
void rateAndChannelsOf(const std::vector<uint8_t>& asc, int32_t& rate, int32_t& channels) {
  static constexpr int32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                       22050, 16000, 12000, 11025, 8000,  7350};
  BitReader r(asc.data(), asc.size());
  if (!r.has(16)) return;
  if (r.read(5) == 31) r.read(6);
  const uint32_t index = r.read(4);
  if (index == 15) {
    rate = static_cast<int32_t>(r.read(24));
  } else if (index < 13) {
    rate = kRates[index];
  }
  const uint32_t config = r.read(4);
  if (config >= 1 && config <= 6) channels = static_cast<int32_t>(config);
  if (config == 7) channels = 8;
}

}  // namespace

std::vector<uint8_t> audioSpecificConfigFromStreamMuxConfig(const uint8_t* data, size_t size) {
  if (!data || size < 2) return {};
  BitReader r(data, size);
  const uint32_t version = r.read(1);
  if (version == 1 && r.read(1) != 0) return {};    // audioMuxVersionA 1 is reserved
  if (version == 1) latmValue(r);                   // taraBufferFullness
  r.read(1);                                        // allStreamsSameTimeFraming
  r.read(6);                                        // numSubFrames
  if (r.read(4) != 0 || r.read(3) != 0) return {};  // one program, one layer only
  if (version == 1) latmValue(r);                   // ascLen: the rest is the config anyway
  if (!r.has(16)) return {};
  // Re-align the remaining bits; the decoder reads only what it needs.
  std::vector<uint8_t> asc;
  const size_t remaining = r.size() - r.position();
  asc.reserve(remaining / 8 + 1);
  while (r.has(8)) asc.push_back(static_cast<uint8_t>(r.read(8)));
  return asc;
}

CAudioCodecIf* CAudioCodecIf::createInstance(int32_t kind) {
  if (kind != kAudioKindAac && kind != kAudioKindAmr) return nullptr;
  silenceFfmpegLog();
  return new (std::nothrow) AvAudioCodec(kind);
}

void CAudioCodecIf::destroyInstance(CAudioCodecIf*& decoder) {
  delete decoder;
  decoder = nullptr;
}

AvAudioCodec::~AvAudioCodec() { stop(); }

int32_t AvAudioCodec::stop() {
  swr_free(&swr_);
  av_frame_free(&frame_);
  av_packet_free(&packet_);
  avcodec_free_context(&context_);
  return 1;
}

int32_t AvAudioCodec::connectInput(CInStrmPin* pin, int32_t index) {
  if (index != 0) return 0;
  input_ = pin;
  return 1;
}

int32_t AvAudioCodec::connectOutput(COutStrmPin* pin, int32_t index) {
  if (index != 0) return 0;
  output_ = pin;
  return 1;
}

int32_t AvAudioCodec::setChannels(int32_t count) {
  if (count <= 0 || count > 8) return 0;
  channels_ = count;
  return 1;
}

int32_t AvAudioCodec::getChannels(int32_t& count) {
  count =
      context_ && context_->ch_layout.nb_channels > 0 ? context_->ch_layout.nb_channels : channels_;
  return count > 0 ? 1 : 0;
}

int32_t AvAudioCodec::setSampleRate(int32_t rate) {
  if (rate <= 0) return 0;
  rate_ = rate;
  return 1;
}

int32_t AvAudioCodec::getSampleRate(int32_t& rate) {
  rate = context_ && context_->sample_rate > 0 ? context_->sample_rate : rate_;
  return rate > 0 ? 1 : 0;
}

int32_t AvAudioCodec::setConfig(CBufferElem* element) {
  if (!element) return 0;
  config_.assign(element->data(), element->data() + element->size());
  return 1;
}

int32_t AvAudioCodec::setFormat(int32_t code) {
  const bool ok = kind_ == kAudioKindAac ? (code == kAudioFormatGeneric || code == kAudioFormatLatm)
                                         : (code == kAudioFormatAmrNb || code == kAudioFormatAmrWb);
  if (!ok) return 0;
  format_ = code;
  return 1;
}

int32_t AvAudioCodec::init() {
  if (context_ || !input_ || !output_) return 0;
  AVCodecID id = AV_CODEC_ID_NONE;
  std::vector<uint8_t> extradata;
  if (kind_ == kAudioKindAac) {
    id = AV_CODEC_ID_AAC;
    extradata = format_ == kAudioFormatLatm
                    ? audioSpecificConfigFromStreamMuxConfig(config_.data(), config_.size())
                    : config_;
    if (extradata.empty()) return 0;
  } else {
    const int32_t format =
        format_ >= 0 ? format_ : (rate_ == 16000 ? kAudioFormatAmrWb : kAudioFormatAmrNb);
    id = format == kAudioFormatAmrWb ? AV_CODEC_ID_AMR_WB : AV_CODEC_ID_AMR_NB;
  }
  const AVCodec* codec = avcodec_find_decoder(id);
  if (!codec) return 0;
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !packet_) {
    stop();
    return 0;
  }
  if (!extradata.empty()) {
    context_->extradata =
        static_cast<uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!context_->extradata) {
      stop();
      return 0;
    }
    std::memcpy(context_->extradata, extradata.data(), extradata.size());
    context_->extradata_size = static_cast<int>(extradata.size());
  }
  if (rate_ > 0) context_->sample_rate = rate_;
  if (kind_ == kAudioKindAmr) {
    av_channel_layout_default(&context_->ch_layout, 1);
    if (context_->sample_rate <= 0) context_->sample_rate = id == AV_CODEC_ID_AMR_WB ? 16000 : 8000;
  } else if (channels_ > 0) {
    av_channel_layout_default(&context_->ch_layout, channels_);
  }
  context_->thread_count = 1;
  if (avcodec_open2(context_, codec, nullptr) < 0) {
    stop();
    return 0;
  }
  if (kind_ == kAudioKindAac) {
    int32_t rate = 0, channels = 0;
    rateAndChannelsOf(extradata, rate, channels);
    if (context_->sample_rate <= 0 && rate > 0) rate_ = rate;
    if (context_->ch_layout.nb_channels <= 0 && channels > 0) channels_ = channels;
  }
  drained_ = false;
  return 1;
}

int32_t AvAudioCodec::decode() {
  if (!context_) return 0;
  while (CBufferElem* element = input_->next()) {
    const uint8_t* data = element->data();
    size_t size = element->size();
    if (format_ == kAudioFormatLatm) {
      // PayloadLengthInfo: bytes of 255 continue the length.
      size_t length = 0;
      size_t i = 0;
      while (i < size) {
        const uint8_t b = data[i++];
        length += b;
        if (b != 255) break;
      }
      data += i;
      size = length < size - i ? length : size - i;
    }
    if (av_new_packet(packet_, static_cast<int>(size)) < 0) {
      CIOStrmPin::freeBufferElem(element);
      return 0;
    }
    if (size) std::memcpy(packet_->data, data, size);
    // The sound carries the time stamp of the access unit it came from.
    packet_->pts = static_cast<int64_t>(element->desc().time() & INT64_MAX);
    CIOStrmPin::freeBufferElem(element);
    const bool ok = sendAndReceive(packet_);
    av_packet_unref(packet_);
    if (!ok) return 0;
  }
  if (input_->atEndOfStream() && !drained_) {
    drained_ = true;
    sendAndReceive(nullptr);
    output_->setFinished(true);
  }
  return 1;
}

bool AvAudioCodec::sendAndReceive(const AVPacket* packet) {
  int ret = avcodec_send_packet(context_, packet);
  if (ret == AVERROR(ENOMEM)) return false;
  for (;;) {
    ret = avcodec_receive_frame(context_, frame_);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret == AVERROR(ENOMEM)) return false;
    if (ret < 0) return true;  // a damaged access unit only loses its sound
    const bool ok = deliver(frame_);
    av_frame_unref(frame_);
    if (!ok) return false;
  }
}

bool AvAudioCodec::deliver(const AVFrame* frame) {
  const int channels = frame->ch_layout.nb_channels;
  if (channels <= 0 || frame->nb_samples <= 0 || frame->sample_rate <= 0) return true;
  if (!swr_ || swrFormat_ != frame->format || swrRate_ != frame->sample_rate ||
      swrChannels_ != channels) {
    swr_free(&swr_);
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    if (swr_alloc_set_opts2(&swr_, &layout, AV_SAMPLE_FMT_S16, frame->sample_rate,
                            const_cast<AVChannelLayout*>(&frame->ch_layout),
                            static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                            nullptr) < 0 ||
        swr_init(swr_) < 0) {
      swr_free(&swr_);
      return false;
    }
    swrFormat_ = frame->format;
    swrRate_ = frame->sample_rate;
    swrChannels_ = channels;
  }
  const uint32_t bytes =
      static_cast<uint32_t>(frame->nb_samples) * static_cast<uint32_t>(channels) * 2u;
  CBufferElem* element = output_->obtain(bytes);
  if (!element) return false;
  uint8_t* out[1] = {element->data()};
  const int got = swr_convert(swr_, out, frame->nb_samples,
                              const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  if (got < 0) {
    CIOStrmPin::freeBufferElem(element);
    return false;
  }
  element->setSize(static_cast<uint32_t>(got) * static_cast<uint32_t>(channels) * 2u);
  const int64_t pts = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
  element->desc().setTime64(pts == AV_NOPTS_VALUE || pts < 0 ? 0 : static_cast<uint64_t>(pts));
  if (output_->deliver(element) != kPinOk) CIOStrmPin::freeBufferElem(element);
  return true;
}

}  // namespace strevana
