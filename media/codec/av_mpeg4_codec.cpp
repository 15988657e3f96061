#include "media/codec/av_mpeg4_codec.h"

#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/video_enc_params.h>
#include <libpostproc/postprocess.h>
}

#include "media/codec/ffmpeg_quiet.h"
#include "media/codec/mpeg4_vol_header.h"
#include "media/media_types.h"

namespace strevana {

namespace {

// Slack behind a converted picture in an element, a margin for libswscale.
constexpr uint32_t kPictureTailPadding = 64;

// A decoded picture (a reference to libavcodec's frame) kept until it is
// written out; the converter is the decoder's, shared.
class AvHeldPicture final : public HeldPicture {
 public:
  AvHeldPicture(AVFrame* frame, int width, int height, AVPixelFormat target,
                std::shared_ptr<PictureConverter> converter)
      : frame_(frame),
        width_(width),
        height_(height),
        target_(target),
        converter_(std::move(converter)) {}
  ~AvHeldPicture() override { av_frame_free(&frame_); }
  AvHeldPicture(const AvHeldPicture&) = delete;
  AvHeldPicture& operator=(const AvHeldPicture&) = delete;

  bool writeTo(uint8_t* dst, int32_t dstStride) override {
    return converter_->convert(frame_, width_, height_, target_, dst, dstStride);
  }

 private:
  AVFrame* frame_;
  const int width_;
  const int height_;
  const AVPixelFormat target_;
  const std::shared_ptr<PictureConverter> converter_;
};

AVPixelFormat pixelFormatFor(int32_t decoderFormat) {
  switch (decoderFormat) {
    case 100: return AV_PIX_FMT_YUV420P;
    case 150: return AV_PIX_FMT_YUYV422;
    case 144: return AV_PIX_FMT_BGR24;
    case 145: return AV_PIX_FMT_BGRA;
    default: return AV_PIX_FMT_NONE;
  }
}

OutputFormat outputFormatFor(int32_t decoderFormat) {
  switch (decoderFormat) {
    case 100: return kFormatIyuv;
    case 150: return kFormatYuy2;
    case 144: return kFormatBgr24;
    case 145: return kFormatBgrx32;
    default: return 0;
  }
}

const char* postfilterName(int32_t mode) {
  switch (mode) {
    case 1: return "hb:a,vb:a";
    case 2: return "dr:a";
    case 3: return "hb:a,vb:a,dr:a";
    default: return nullptr;
  }
}

// The pixel aspect ratio announced in an MPEG-4 video object layer header
// (ISO/IEC 14496-2 6.2.3), 0/0 when the configuration has none.
// What the configuration's layer header says, in libavcodec's terms.
struct VolFields {
  AVRational aspect{0, 0};
  int width = 0;
  int height = 0;
};

VolFields volFields(const std::vector<uint8_t>& config) {
  const Mpeg4VolHeader h = parseMpeg4VolHeader(config.data(), config.size());
  VolFields fields;
  if (h.aspectNumerator > 0 && h.aspectDenominator > 0) {
    fields.aspect =
        AVRational{static_cast<int>(h.aspectNumerator), static_cast<int>(h.aspectDenominator)};
  }
  fields.width = h.width;
  fields.height = h.height;
  return fields;
}

// True when every plane of a 4:2:0 picture has buffer bytes for width x
// height pixels (the decoder's own buffers extend to whole macroblocks).
bool holdsRows(const AVFrame* f, int width, int height) {
  for (int p = 0; p < 3; ++p) {
    const AVBufferRef* buf =
        p < AV_NUM_DATA_POINTERS ? av_frame_get_plane_buffer(const_cast<AVFrame*>(f), p) : nullptr;
    if (!buf || !f->data[p] || f->linesize[p] <= 0) return false;
    const int w = p ? (width + 1) / 2 : width;
    const int h = p ? (height + 1) / 2 : height;
    if (f->linesize[p] < w) return false;
    const ptrdiff_t start = f->data[p] - buf->data;
    const int64_t end = start + static_cast<int64_t>(f->linesize[p]) * (h - 1) + w;
    if (start < 0 || end > static_cast<int64_t>(buf->size)) return false;
  }
  return true;
}

// Makes `f` a 4:2:0 picture of the given size, its buffers zeroed whenever
// they are (re)allocated.
bool zeroedPicture(AVFrame* f, int width, int height) {
  if (f->data[0] && f->width == width && f->height == height) return true;
  av_frame_unref(f);
  f->format = AV_PIX_FMT_YUV420P;
  f->width = width;
  f->height = height;
  if (av_frame_get_buffer(f, 0) < 0) return false;
  for (AVBufferRef* buf : f->buf) {
    if (buf) std::memset(buf->data, 0, buf->size);
  }
  return true;
}

}  // namespace

Mpeg4CodecIf* Mpeg4CodecIf::createInstance(int32_t) { return new (std::nothrow) AvMpeg4Codec(); }

void Mpeg4CodecIf::destroyInstance(Mpeg4CodecIf*& decoder) {
  delete decoder;
  decoder = nullptr;
}

AvMpeg4Codec::AvMpeg4Codec() { silenceFfmpegLog(); }

AvMpeg4Codec::~AvMpeg4Codec() {
  freePostfilter();
  av_frame_free(&frame_);
  av_frame_free(&filtered_);
  av_frame_free(&ppInput_);
  av_packet_free(&packet_);
  avcodec_free_context(&context_);
}

void AvMpeg4Codec::freePostfilter() {
  if (ppMode_) pp_free_mode(static_cast<pp_mode*>(ppMode_));
  if (ppContext_) pp_free_context(static_cast<pp_context*>(ppContext_));
  ppMode_ = nullptr;
  ppContext_ = nullptr;
  ppModeSet_ = -1;
}

Mpeg4CodecControl* AvMpeg4Codec::getInterface(int32_t id, int32_t) {
  return id == 2 ? this : nullptr;
}

int32_t AvMpeg4Codec::connectInput(CInStrmPin* pin, int32_t index) {
  if (index != 0) return 0;
  input_ = pin;
  return 1;
}

int32_t AvMpeg4Codec::connectOutput(COutStrmPin* pin, int32_t index) {
  if (index == 0) {
    output_ = pin;
  } else if (index == 1) {
    rawOutput_ = pin;
  } else {
    return 0;
  }
  return 1;
}

int32_t AvMpeg4Codec::setPictureSize(int32_t width, int32_t height) {
  if (width < 0 || height < 0) return 0;
  width_ = width;
  height_ = height;
  return 1;
}

int32_t AvMpeg4Codec::getPictureSize(int32_t& width, int32_t& height) {
  width = context_ && context_->width > 0 ? context_->width : width_;
  height = context_ && context_->height > 0 ? context_->height : height_;
  // Nobody said and nothing was decoded yet: the layer header knows.
  if ((width <= 0 || height <= 0) && !h263_) {
    const VolFields fields = volFields(config_);
    width = fields.width;
    height = fields.height;
  }
  return 1;
}

int32_t AvMpeg4Codec::setPostfilter(int32_t mode) {
  if (mode < 0 || mode > 3) return 0;
  postfilter_ = mode;
  // Quantisers are exported only while someone filters with them.
  if (context_) {
    if (mode) {
      context_->export_side_data |= AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
    } else {
      context_->export_side_data &= ~AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
    }
  }
  return 1;
}

int32_t AvMpeg4Codec::getPostfilter(int32_t& mode) {
  mode = postfilter_;
  return 1;
}

int32_t AvMpeg4Codec::setOutputFormat(int32_t decoderFormat, int32_t) {
  if (pixelFormatFor(decoderFormat) == AV_PIX_FMT_NONE) return 0;
  decoderFormat_ = decoderFormat;
  return 1;
}

int32_t AvMpeg4Codec::getInfo(int32_t& value) {
  value = 0;
  if (context_ && context_->profile >= 0 && context_->level >= 0) {
    value = (context_->profile << 8) | (context_->level & 0xff);
  }
  return 1;
}

int32_t AvMpeg4Codec::hasAlpha(int32_t& flag) {
  // libavcodec decodes the rectangular video object only; shape is never output.
  flag = 0;
  return 1;
}

int32_t AvMpeg4Codec::getPixelAspect(uint32_t& numerator, uint32_t& denominator, uint32_t& third) {
  numerator = denominator = 1;
  third = 0;
  AVRational aspect = context_ ? context_->sample_aspect_ratio : AVRational{0, 0};
  // Before the first picture libavcodec may not know it yet; the layer header does.
  if ((aspect.num <= 0 || aspect.den <= 0) && !h263_) aspect = volFields(config_).aspect;
  if (aspect.num > 0 && aspect.den > 0) {
    numerator = static_cast<uint32_t>(aspect.num);
    denominator = static_cast<uint32_t>(aspect.den);
  }
  return 1;
}

int32_t AvMpeg4Codec::setConfig(CBufferElem* element, int32_t) {
  if (!element) return 0;
  config_.assign(element->data(), element->data() + element->size());
  return 1;
}

int32_t AvMpeg4Codec::setH263() {
  h263_ = true;
  return 1;
}

int32_t AvMpeg4Codec::holdPictures(int32_t on) {
  holdPictures_ = on != 0;
  return 1;
}

int32_t AvMpeg4Codec::start() {
  if (!output_ || !input_ || decoderFormat_ == 0 || context_) return 0;
  const AVCodec* codec = avcodec_find_decoder(h263_ ? AV_CODEC_ID_H263 : AV_CODEC_ID_MPEG4);
  if (!codec) return 0;
  context_ = avcodec_alloc_context3(codec);
  frame_ = av_frame_alloc();
  filtered_ = av_frame_alloc();
  ppInput_ = av_frame_alloc();
  packet_ = av_packet_alloc();
  if (!context_ || !frame_ || !filtered_ || !ppInput_ || !packet_) return 0;
  if (!config_.empty()) {
    context_->extradata =
        static_cast<uint8_t*>(av_mallocz(config_.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!context_->extradata) return 0;
    std::memcpy(context_->extradata, config_.data(), config_.size());
    context_->extradata_size = static_cast<int>(config_.size());
  }
  context_->width = width_;
  context_->height = height_;
  context_->thread_count = 1;
  if (postfilter_) context_->export_side_data |= AV_CODEC_EXPORT_DATA_VIDEO_ENC_PARAMS;
  if (avcodec_open2(context_, codec, nullptr) < 0) {
    avcodec_free_context(&context_);
    return 0;
  }
  failed_ = false;
  return 1;
}

int32_t AvMpeg4Codec::seek(uint64_t time) {
  if (context_) avcodec_flush_buffers(context_);
  if (input_) {
    input_->clear();
    input_->resetEndOfStream();
  }
  if (output_) {
    output_->clear();
    output_->setFinished(false);
  }
  if (rawOutput_) {
    rawOutput_->clear();
    rawOutput_->setFinished(false);
  }
  drained_ = false;
  failed_ = false;
  clean_ = false;
  skipping_ = true;
  skipBefore_ = time > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(time);
  return 1;
}

int32_t AvMpeg4Codec::step(int32_t*) {
  if (!context_ || failed_) return 0;
  while (CBufferElem* element = input_->next()) {
    const uint32_t size = element->size();
    const int64_t pts = static_cast<int64_t>(element->desc().time() & INT64_MAX);
    // libavcodec reads a little past the end of a packet: copy into a padded one.
    if (av_new_packet(packet_, static_cast<int>(size)) < 0) {
      CIOStrmPin::freeBufferElem(element);
      failed_ = true;
      return 0;
    }
    if (size) std::memcpy(packet_->data, element->data(), size);
    CIOStrmPin::freeBufferElem(element);
    packet_->pts = pts;
    packet_->dts = AV_NOPTS_VALUE;
    const bool ok = sendAndReceive(packet_);
    av_packet_unref(packet_);
    if (!ok) return 0;
  }
  if (input_->atEndOfStream() && !drained_) {
    drained_ = true;
    sendAndReceive(nullptr);
    output_->setFinished(true);
    if (rawOutput_) rawOutput_->setFinished(true);
  }
  return failed_ ? 0 : 1;
}

bool AvMpeg4Codec::sendAndReceive(const AVPacket* packet) {
  int ret = avcodec_send_packet(context_, packet);
  // A damaged sample only loses its picture.
  if (ret == AVERROR(ENOMEM)) {
    failed_ = true;
    return false;
  }
  for (;;) {
    ret = avcodec_receive_frame(context_, frame_);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret == AVERROR(ENOMEM)) {
      failed_ = true;
      return false;
    }
    if (ret < 0) return true;
    deliver(frame_);
    av_frame_unref(frame_);
    if (failed_) return false;
  }
}

const AVFrame* AvMpeg4Codec::postfilter(AVFrame* frame) {
  const char* name = postfilterName(postfilter_);
  if (!name || frame->format != AV_PIX_FMT_YUV420P) return frame;
  const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_VIDEO_ENC_PARAMS);
  if (!side) return frame;  // no quantisers: filtering blind would only blur
  const auto* params = reinterpret_cast<const AVVideoEncParams*>(side->data);

  // libpostproc filters the partial 8x8 blocks at the right and bottom edges
  // through scratch rows it never initialises, so those pixels changed from
  // run to run. The decoder's pictures hold whole macroblocks (their buffers
  // are aligned to 16 rows and columns), so the filter runs over whole
  // macroblocks and only the visible part is used.
  const int mbWidth = (frame->width + 15) / 16;
  const int mbHeight = (frame->height + 15) / 16;
  const int codedWidth = mbWidth * 16;
  const int codedHeight = mbHeight * 16;
  if (!holdsRows(frame, codedWidth, codedHeight)) return frame;

  if (!ppContext_ || ppWidth_ != codedWidth || ppHeight_ != codedHeight) {
    freePostfilter();
    ppContext_ = pp_get_context(codedWidth, codedHeight, PP_CPU_CAPS_AUTO | PP_FORMAT_420);
    ppWidth_ = codedWidth;
    ppHeight_ = codedHeight;
  }
  if (ppModeSet_ != postfilter_) {
    if (ppMode_) pp_free_mode(static_cast<pp_mode*>(ppMode_));
    ppMode_ = pp_get_mode_by_name_and_quality(name, PP_QUALITY_MAX);
    ppModeSet_ = postfilter_;
  }
  if (!ppContext_ || !ppMode_) return frame;

  // One quantiser per 16x16 macroblock, as libpostproc expects.
  quantisers_.assign(static_cast<size_t>(mbWidth) * mbHeight, 2);
  for (unsigned i = 0; i < params->nb_blocks; ++i) {
    const AVVideoBlockParams* b =
        av_video_enc_params_block(const_cast<AVVideoEncParams*>(params), i);
    const int x = b->src_x / 16;
    const int y = b->src_y / 16;
    if (x < 0 || y < 0 || x >= mbWidth || y >= mbHeight) continue;
    int q = params->qp + b->delta_qp;
    q = q < 1 ? 1 : (q > 127 ? 127 : q);
    quantisers_[static_cast<size_t>(y) * mbWidth + x] = static_cast<int8_t>(q);
  }

  // The filters also read a little left of and above the picture: from a
  // copy whose margins are zero, not from the decoder's unwritten padding.
  if (!zeroedPicture(ppInput_, codedWidth, codedHeight) ||
      !zeroedPicture(filtered_, codedWidth, codedHeight)) {
    return frame;
  }
  av_image_copy(ppInput_->data, ppInput_->linesize, const_cast<const uint8_t**>(frame->data),
                frame->linesize, AV_PIX_FMT_YUV420P, codedWidth, codedHeight);
  const uint8_t* src[3] = {ppInput_->data[0], ppInput_->data[1], ppInput_->data[2]};
  uint8_t* dst[3] = {filtered_->data[0], filtered_->data[1], filtered_->data[2]};
  // The exported values are MPEG-2 style (twice the MPEG-4 quantiser).
  const int pictType = (frame->pict_type & 7) | PP_PICT_TYPE_QP2;
  pp_postprocess(src, ppInput_->linesize, dst, filtered_->linesize, codedWidth, codedHeight,
                 quantisers_.data(), mbWidth, static_cast<pp_mode*>(ppMode_),
                 static_cast<pp_context*>(ppContext_), pictType);
  return filtered_;
}

void AvMpeg4Codec::deliver(AVFrame* frame) {
  int64_t pts = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) pts = 0;
  if (skipping_) {
    if (pts < skipBefore_) return;
    skipping_ = false;
  }
  const int width = frame->width;
  const int height = frame->height;
  if (width <= 0 || height <= 0) return;
  const AVFrame* picture = postfilter(frame);

  const int64_t bytes = bufferBytes(outputFormatFor(decoderFormat_), width, height);
  if (bytes <= 0 || bytes > INT32_MAX) return;
  CBufferElem* element = output_->obtain(static_cast<uint32_t>(bytes) + kPictureTailPadding);
  if (!element) {
    failed_ = true;
    return;
  }
  element->setSize(static_cast<uint32_t>(bytes));
  const AVPixelFormat target = pixelFormatFor(decoderFormat_);
  if (holdPictures_ && picture == frame && target != AV_PIX_FMT_YUV420P) {
    AVFrame* ref = av_frame_clone(frame);
    if (ref) element->hold(std::make_unique<AvHeldPicture>(ref, width, height, target, converter_));
  }
  if (!element->heldPicture() &&
      !converter_->convert(picture, width, height, target, element->data(),
                           rowBytes(outputFormatFor(decoderFormat_), width))) {
    CIOStrmPin::freeBufferElem(element);
    failed_ = true;
    return;
  }
  element->desc().setTime64(static_cast<uint64_t>(pts < 0 ? 0 : pts));
  element->desc().setSize(width, height);
  if (frame->key_frame || frame->pict_type == AV_PICTURE_TYPE_I) clean_ = true;
  element->desc().setNeedsBlanking(clean_ ? 0 : 1);
  if (output_->deliver(element) != kPinOk) {
    CIOStrmPin::freeBufferElem(element);
    failed_ = true;  // nobody takes the pictures: stop rather than pile up
    return;
  }

  if (rawOutput_ && picture->format == AV_PIX_FMT_YUV420P) {
    const uint32_t rawBytes =
        static_cast<uint32_t>(width) * height + 2u * (width / 2) * (height / 2);
    CBufferElem* raw = rawOutput_->obtain(rawBytes);
    if (!raw) return;
    copyPlanar(picture, raw->data(), width, height);
    raw->desc().setTime64(static_cast<uint64_t>(pts < 0 ? 0 : pts));
    raw->desc().setSize(width, height);
    if (rawOutput_->deliver(raw) != kPinOk) CIOStrmPin::freeBufferElem(raw);
  }
}

}  // namespace strevana
