// Plays arbitrary bytes as a raw YUV file. The first six bytes describe it as
// the user would in the dialog (width and height, 16 bits each, frames per
// second, layout and output format); the rest is the file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/yuv_file_source.h"
#include "tests/fuzz/scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace strevana;
  if (size < 6) return 0;
  // Sizes beyond what the file can hold are refused by the source; the
  // picture buffer here is bounded so that the harness itself stays small.
  const int32_t width = static_cast<int16_t>((data[0] << 8) | data[1]);
  const int32_t height = static_cast<int16_t>((data[2] << 8) | data[3]);
  const int32_t rate = static_cast<int8_t>(data[4]);
  const int32_t layout =
      (data[5] & 1) ? YuvFileSource::kLayoutPacked422 : YuvFileSource::kLayoutPlanar420;
  static constexpr OutputFormat kFormats[] = {kFormatYuy2, kFormatBgr24, kFormatBgrx32,
                                              kFormatIyuv};
  const OutputFormat format = kFormats[(data[5] >> 1) & 3];
  const fuzz::ScratchFile file(".yuv", data + 6, size - 6);
  if (!file.written()) return 0;

  YuvFileSource source(file.path(), width, height, rate, layout, format);
  if (source.hasVideo) {
    const int32_t stride = rowBytes(format, source.width) + (data[5] >> 3);
    std::vector<uint8_t> picture(static_cast<size_t>(stride) * static_cast<size_t>(source.height));
    int32_t position = 0;
    for (FrameRequest r : {kRequestFirst, kRequestNext, kRequestLast, kRequestPrevious,
                           kRequestAtPosition, kRequestCurrent, kRequestNextCatchingUp}) {
      position = r == kRequestAtPosition ? source.durationMs / 3 : 0;
      source.getVideoFrame(r, stride, nullptr, 0, 0, picture.data(), position);
    }
  }
  return 0;
}
