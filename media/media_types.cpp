#include "media/media_types.h"

#include <cmath>

namespace strevana {

double bytesPerPixel(OutputFormat format) {
  switch (format) {
    case 1:
    case 3: return 1.5;
    case 2: return 2.5;
    case 4:
    case 5:
    case 6:
    case 9: return 2.0;
    case 7:
    case 10: return 3.0;
    case 8:
    case 11: return 4.0;
    default: return 0.0;
  }
}

int32_t rowBytes(OutputFormat format, int32_t width) {
  return static_cast<int32_t>(bytesPerPixel(format) * width);
}

int64_t bufferBytes(OutputFormat format, int32_t width, int32_t height) {
  return static_cast<int64_t>(bytesPerPixel(format) * width * static_cast<double>(height));
}

int32_t videoDecoderFormat(OutputFormat format) {
  switch (format) {
    case 1: return 100;
    case 2: return 101;
    case 4: return 102;
    case 5: return 150;
    case 6: return 140;
    case 7: return 141;
    case 8: return 142;
    case 9: return 143;
    case 10: return 144;
    case 11: return 145;
    default: return 0;
  }
}

}  // namespace strevana
