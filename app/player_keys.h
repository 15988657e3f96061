#pragma once
// The keys people know from other players, on top of the accelerator table
// (which stays as the resources give it): Space plays or pauses, Left and
// Right step back and forward, Home and End rewind and go to the end, F
// toggles full screen, Escape leaves it. They reach the main and the
// full-screen window's procedure as kWmKeyDown; a dialog or the information
// window that has the focus keeps them, so they never act behind one.
//
// Choices made here:
// - Held down, only the steps repeat; Space, F, Home and End act once per
//   press, so a long press cannot make full screen or playback flicker.
// - The letter works in either case and is the same on German keyboards,
//   so it is not translated with the language module.
//
// Threads: none of its own (a pure mapping).
#include <cstdint>

namespace strevana {

enum class KeyAction {
  kNone,
  kTogglePlay,
  kStepBackward,
  kStepForward,
  kRewind,
  kToEnd,
  kToggleFullScreen,
  kLeaveFullScreen,
};

KeyAction keyAction(uint32_t virtualKey, bool autoRepeat, bool fullScreen);

}  // namespace strevana
