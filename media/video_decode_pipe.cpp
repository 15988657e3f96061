#include "media/video_decode_pipe.h"

#include <algorithm>
#include <cstring>

#include "media/media_source.h"
#include "media/picture_compositor.h"
#include "media/stream_saving.h"

namespace strevana {

std::unique_ptr<VideoDecodePipe> VideoDecodePipe::create(const Setup& setup) {
  const int32_t decoderFormat = videoDecoderFormat(setup.format);
  if (decoderFormat == 0) return nullptr;
  std::unique_ptr<VideoDecodePipe> pipe(new VideoDecodePipe());
  pipe->decoder_ = Mpeg4CodecIf::createInstance(0);
  pipe->input_ = CInStrmPin::createInstance(kPinCapacity);
  pipe->output_ = COutStrmPin::createInstance(kPinCapacity);
  pipe->control_ = pipe->decoder_ ? pipe->decoder_->getInterface(2, 0) : nullptr;
  if (!pipe->decoder_ || !pipe->input_ || !pipe->output_ || !pipe->control_) return nullptr;
  Mpeg4CodecControl& control = *pipe->control_;
  control.setPostfilter(setup.postfilter);
  if (!control.setOutputFormat(decoderFormat, 0)) return nullptr;
  control.connectInput(pipe->input_, 0);
  control.connectOutput(pipe->output_, 0);
  if (setup.rawSaveOutput) {
    pipe->rawOutput_ = COutStrmPin::createInstance(kPinCapacity);
    if (pipe->rawOutput_) control.connectOutput(pipe->rawOutput_, 1);
  }
  control.setPictureSize(setup.width, setup.height);
  if (setup.h263) control.setH263();
  // Pictures are converted where they are copied out, into the renderer's buffer.
  control.holdPictures(1);

  if (setup.config && setup.configLength > 0 && setup.configLength <= kMaxConfigBytes) {
    CBufferElem* config = nullptr;
    if (CIOStrmPin::allocateBufferElem(config, setup.configLength) == kPinOk) {
      std::memcpy(config->data(), setup.config, setup.configLength);
      control.setConfig(config, 0);
      CIOStrmPin::freeBufferElem(config);
    }
  }
  if (!control.start()) return nullptr;
  control.getInfo(pipe->info_);
  uint32_t a = 1, b = 1, c = 0;
  control.getPixelAspect(a, b, c);
  if (b != 0) pipe->pixelAspect_ = static_cast<double>(a) / b;
  pipe->step();
  return pipe;
}

VideoDecodePipe::~VideoDecodePipe() {
  CIOStrmPin::freeBufferElem(current_);
  Mpeg4CodecIf::destroyInstance(decoder_);
  control_ = nullptr;
  CInStrmPin::destroyInstance(input_);
  COutStrmPin::destroyInstance(output_);
  COutStrmPin::destroyInstance(rawOutput_);
}

void VideoDecodePipe::step() {
  int32_t run = 1;
  decoder_->step(&run);
}

PostfilterMode VideoDecodePipe::postfilter() {
  int32_t mode = 0;
  control_->getPostfilter(mode);
  return mode;
}

bool VideoDecodePipe::hasAlpha() {
  int32_t flag = 0;
  return control_->hasAlpha(flag) && flag != 0;
}

void VideoDecodePipe::dropCurrentPicture() {
  if (current_) output_->releaseElement(current_);
  CIOStrmPin::freeBufferElem(current_);  // only if the pin would not take it back
}

void VideoDecodePipe::takePicture(MediaSource* saveTo) {
  dropCurrentPicture();
  output_->take(current_);
  if (!rawOutput_) return;
  CBufferElem* raw = nullptr;
  if (rawOutput_->take(raw) == kPinOk && raw) {
    if (saveTo) writeRawVideoPicture(*saveTo, raw->data(), raw->size());
    CIOStrmPin::freeBufferElem(raw);
  }
}

bool VideoDecodePipe::copyPicture(const MediaSource& source, uint8_t* dst, int32_t dstStride,
                                  const uint8_t* backgroundBits, int32_t backgroundWidth,
                                  int32_t backgroundHeight) {
  if (!current_) return false;
  if (!dst) return true;
  const int32_t width = source.width;
  const int32_t height = source.height;
  const OutputFormat format = source.outputFormat;
  const int32_t pictureWidth = current_->desc().width();
  const int32_t pictureHeight = current_->desc().height();
  if (HeldPicture* held = current_->heldPicture()) {
    // The whole picture is converted straight into dst; anything else
    // (clipping, compositing) works from the element's own bytes.
    if (pictureWidth == width && pictureHeight == height && dstStride >= rowBytes(format, width) &&
        !hasAlpha()) {
      held->writeTo(dst, dstStride);
      return true;
    }
    const bool written = held->writeTo(current_->data(), rowBytes(format, pictureWidth));
    current_->hold(nullptr);
    if (!written) return true;
  }
  uint8_t* data = nullptr;
  uint32_t size = 0;
  CIOStrmPin::getData(current_, data, size);
  if (!data) return true;
  if (hasAlpha() && format == kFormatBgrx32) {
    if (pictureWidth == width && pictureHeight == height &&
        static_cast<int64_t>(size) >= static_cast<int64_t>(width) * height * 4) {
      compositePicture(data, width, height, backgroundBits, backgroundWidth, backgroundHeight,
                       source.objectPositionX, source.objectPositionY, dstStride, dst);
    }
    return true;
  }
  const int32_t dstRow = rowBytes(format, width);
  const int32_t srcRow = rowBytes(format, pictureWidth);
  if (dstStride == dstRow && srcRow == dstRow && pictureHeight == height) {
    const int64_t bytes = std::min<int64_t>(size, bufferBytes(format, width, height));
    std::memcpy(dst, data, static_cast<size_t>(bytes));
    return true;
  }
  const int32_t rows = std::min(height, pictureHeight);
  const int32_t n = std::min(dstRow, srcRow);
  for (int32_t y = 0; y < rows && n > 0; ++y) {
    const int64_t from = static_cast<int64_t>(y) * srcRow;
    if (from + n > size) break;
    std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstStride, data + from, static_cast<size_t>(n));
  }
  return true;
}

}  // namespace strevana
