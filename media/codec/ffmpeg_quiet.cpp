#include "media/codec/ffmpeg_quiet.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace strevana {

void silenceFfmpegLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

}  // namespace strevana
