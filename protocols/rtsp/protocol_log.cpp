#include "protocols/rtsp/protocol_log.h"

#include <atomic>

namespace strevana {
namespace {
std::atomic<ProtocolLogHook> gHook{nullptr};
std::atomic<int> gLevel{3};
}  // namespace

void setProtocolLogHook(ProtocolLogHook hook, int maxLevel) {
  gLevel.store(maxLevel);
  gHook.store(hook);
}

void protocolLog(int level, const char* tag, const char* format, ...) {
  ProtocolLogHook hook = gHook.load();
  if (hook == nullptr || level > gLevel.load()) return;
  std::va_list args;
  va_start(args, format);
  hook(level, tag, format, args);
  va_end(args);
}

}  // namespace strevana
