#include "app/player_keys.h"

#include "platform/window_messages.h"

namespace strevana {

KeyAction keyAction(uint32_t virtualKey, bool autoRepeat, bool fullScreen) {
  switch (virtualKey) {
    case kVkLeft: return KeyAction::kStepBackward;
    case kVkRight: return KeyAction::kStepForward;
    default: break;
  }
  if (autoRepeat) return KeyAction::kNone;
  switch (virtualKey) {
    case kVkSpace: return KeyAction::kTogglePlay;
    case kVkHome: return KeyAction::kRewind;
    case kVkEnd: return KeyAction::kToEnd;
    case 'F': return KeyAction::kToggleFullScreen;
    case kVkEscape: return fullScreen ? KeyAction::kLeaveFullScreen : KeyAction::kNone;
    default: return KeyAction::kNone;
  }
}

}  // namespace strevana
