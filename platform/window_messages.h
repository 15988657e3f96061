#pragma once
// The window messages the player's window procedures handle, with the word
// and long parameters packed the way the procedures read them. The Qt
// widgets turn their events into these (AppWindow), and tests send them
// directly, so all handling stays in one table per window.
#include <cstdint>
#include <string>
#include <vector>

namespace strevana {

class AppWindow;

using WParam = uintptr_t;
using LParam = intptr_t;
using LResult = intptr_t;
using WindowProc = LResult (*)(AppWindow* window, uint32_t message, WParam wParam, LParam lParam);

constexpr uint32_t kWmCreate = 0x0001;
constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmMove = 0x0003;
constexpr uint32_t kWmPaint = 0x000F;
constexpr uint32_t kWmClose = 0x0010;
constexpr uint32_t kWmEraseBackground = 0x0014;
constexpr uint32_t kWmKeyDown = 0x0100;
constexpr uint32_t kWmInitDialog = 0x0110;
constexpr uint32_t kWmCommand = 0x0111;
constexpr uint32_t kWmTimer = 0x0113;
constexpr uint32_t kWmMouseMove = 0x0200;
constexpr uint32_t kWmLButtonDown = 0x0201;
constexpr uint32_t kWmLButtonUp = 0x0202;
constexpr uint32_t kWmLButtonDblClk = 0x0203;
constexpr uint32_t kWmRButtonUp = 0x0205;
constexpr uint32_t kWmMButtonDown = 0x0207;
constexpr uint32_t kWmSizing = 0x0214;
constexpr uint32_t kWmDropFiles = 0x0233;
constexpr uint32_t kWmMouseLeave = 0x02A3;

// Mouse flags word (the word parameter of mouse messages).
constexpr uint32_t kMkLButton = 0x0001;
constexpr uint32_t kMkRButton = 0x0002;
constexpr uint32_t kMkShift = 0x0004;
constexpr uint32_t kMkControl = 0x0008;
constexpr uint32_t kMkMButton = 0x0010;

// Virtual keys the shell looks at (letters and digits are their ASCII codes).
constexpr uint32_t kVkReturn = 13;
constexpr uint32_t kVkEscape = 27;
constexpr uint32_t kVkSpace = 32;
constexpr uint32_t kVkEnd = 35;
constexpr uint32_t kVkHome = 36;
constexpr uint32_t kVkLeft = 37;
constexpr uint32_t kVkUp = 38;
constexpr uint32_t kVkRight = 39;
constexpr uint32_t kVkDown = 40;
// kWmKeyDown's lParam: set when the key was already down (auto-repeat).
constexpr LParam kKeyRepeatFlag = LParam{1} << 30;

// Dialog results and standard button ids.
constexpr int32_t kIdOk = 1;
constexpr int32_t kIdCancel = 2;

// Button notification in the high word of a dialog's command.
constexpr uint32_t kBnClicked = 0;

// The dragged edge of a sizing window (word parameter of kWmSizing).
constexpr uint32_t kSizeLeft = 1;
constexpr uint32_t kSizeRight = 2;
constexpr uint32_t kSizeTop = 3;
constexpr uint32_t kSizeTopLeft = 4;
constexpr uint32_t kSizeTopRight = 5;
constexpr uint32_t kSizeBottom = 6;
constexpr uint32_t kSizeBottomLeft = 7;
constexpr uint32_t kSizeBottomRight = 8;

// The proposed window rectangle of kWmSizing, pointed to by the long
// parameter; the procedure may change it in place.
struct WindowRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// The files of one drop, pointed to by the word parameter of kWmDropFiles.
struct DroppedFiles {
  std::vector<std::string> names;  // local paths, UTF-8
  bool finished = false;           // set by finishDrop()
};
inline void finishDrop(DroppedFiles& drop) { drop.finished = true; }

constexpr uint16_t loWord(uintptr_t v) { return static_cast<uint16_t>(v & 0xFFFF); }
constexpr uint16_t hiWord(uintptr_t v) { return static_cast<uint16_t>((v >> 16) & 0xFFFF); }
// Mouse positions travel as two signed 16-bit values.
constexpr LParam makeMouseLParam(int32_t x, int32_t y) {
  return static_cast<LParam>((static_cast<uint32_t>(static_cast<uint16_t>(x))) |
                             (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}
constexpr int32_t mouseX(LParam l) { return static_cast<int16_t>(l & 0xFFFF); }
constexpr int32_t mouseY(LParam l) { return static_cast<int16_t>((l >> 16) & 0xFFFF); }
constexpr WParam makeCommandWParam(uint32_t id, uint32_t notification = 0) {
  return static_cast<WParam>((id & 0xFFFF) | ((notification & 0xFFFF) << 16));
}

}  // namespace strevana
