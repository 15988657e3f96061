#pragma once
// Diagnostic hook shared by the protocol libraries (RTSP client, SDP decoder).
// The player never installs a hook, so by default nothing is written; tools
// and tests may install one to see why a peer's message was refused.
// The hook and level are process-wide atomics, so any thread may log; the
// hook itself must be safe to call from whichever thread runs a protocol call.
#include <cstdarg>

namespace strevana {

// level 0 (emergency) to 7 (debug); tag names the component ("rtsp", "sdp").
using ProtocolLogHook = void (*)(int level, const char* tag, const char* format, std::va_list args);

void setProtocolLogHook(ProtocolLogHook hook, int maxLevel);

// Calls the hook when one is installed and level <= the installed level.
void protocolLog(int level, const char* tag, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace strevana
