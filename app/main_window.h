#pragma once
// The main window's procedure and the operations it uses: opening by name,
// the error box, zoom and full screen, menu check marks, the open dialog and
// the background picture. MainWindowProc serves the main window and the
// full-screen window alike; the timer and dropped files only ever reach the
// main window.
//
// Choices made here:
// - A name longer than the 255 characters the player's name buffers hold is
//   refused with the "Cannot open" message instead of being opened under a
//   cut name (a different file or URL).
// - A raw YUV file that gives no frame (shorter than one frame, missing, or
//   a size the source cannot use) is refused with "Cannot open" instead of
//   being opened as an empty medium.
// - The full-screen window is left with Escape, F, a double click or the
//   Fullscreen command; its close request is ignored, as the window lives for
//   the whole run. Leaving it puts the main window back where it stood.
// - A double click toggles full screen on the video only (the panel keeps
//   its buttons); in the full-screen window, where a click pauses or
//   resumes, the pair of clicks leaves playback as it was.
// - Leaving the main window's client area (through an edge, onto the menu
//   bar, under a dialog) ends every hover picture.
// - The Language submenu is appended by refreshMenus only once: a second
//   refresh replaces the one it appended before.
//
// Threads: UI thread only.
#include <cstdint>
#include <string>

#include "platform/window_messages.h"

namespace strevana {

class ResourceModule;

// Command ids.
constexpr uint32_t kCmdAbout = 104;
constexpr uint32_t kCmdExit = 105;
constexpr uint32_t kCmdOpen = 32771;
constexpr uint32_t kCmdRepeat = 32772;
constexpr uint32_t kCmdZoom25 = 32773;
constexpr uint32_t kCmdZoom50 = 32774;
constexpr uint32_t kCmdZoom100 = 32775;
constexpr uint32_t kCmdZoom200 = 32776;
constexpr uint32_t kCmdZoom400 = 32777;
constexpr uint32_t kCmdDirectX = 32778;
constexpr uint32_t kCmdDeblocking = 32779;
constexpr uint32_t kCmdOpenUrl = 32780;
constexpr uint32_t kCmdFullscreen = 32781;
constexpr uint32_t kCmdLoadBackground = 32782;
constexpr uint32_t kCmdDeringing = 32783;
constexpr uint32_t kCmdDeblockingDeringing = 32784;
constexpr uint32_t kCmdNoPostfilter = 32785;
constexpr uint32_t kCmdMovieInfo = 32786;
constexpr uint32_t kCmdNetworkOptions = 32787;
constexpr uint32_t kCmdAutomaticPostfilter = 32792;
constexpr uint32_t kCmdSaveStream = 32793;
constexpr uint32_t kCmdLanguageBase = 5000;

// Timer 1, every 100 ms.
constexpr uint32_t kMainTimerId = 1;
constexpr int32_t kMainTimerPeriodMs = 100;

LResult MainWindowProc(AppWindow* window, uint32_t message, WParam wParam, LParam lParam);

// 0 toggles full screen; any other value leaves full screen if needed and
// zooms to that percentage.
void setViewMode(int32_t zoom);
void refreshMenus();
void refreshPostfilterChecks();

void openLocalFile(AppWindow* window, const std::string& name);
void openRecentEntry(AppWindow* window, uint32_t id);
void openUrlFromDialog(AppWindow* window, const std::string& url);
void showOpenError(const std::string& name);
void showOpenFileDialog(AppWindow* owner, const std::string& initialName);
void chooseBackgroundImage(const ResourceModule* module, AppWindow* owner);
void applyBackgroundImage();

// The shutdown sequence of the main window's destruction.
void shutdownShell();

// The main window's sizing rule: at least 350 x 150 pixels outside; the
// edges being dragged (edge is a kSize* value) move, the others stay.
void clampSizing(WParam edge, WindowRect& r);

// Whether name fits the player's 256-byte name buffers.
bool nameFits(const std::string& name);

}  // namespace strevana
