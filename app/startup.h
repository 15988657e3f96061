#pragma once
// Start-up of the shell: window texts, the main and full-screen windows, the
// controller with its skin and playback thread, the timer, the command line
// and the language, in the order the rest of the shell relies on.
//
// Threads: UI thread; startPlayer starts the playback thread.
#include <cstdint>
#include <string>

namespace strevana {

// How the main window is first shown.
enum class ShowState { kNormal, kHidden };

// Loads the window texts and the program icon.
void registerWindowClasses();
// Creates the main window, controller, skin, still picture, thread, timer,
// full-screen window and recent menu; false when the main window could not
// be made.
bool createMainWindows(ShowState show);
// Applies a command line (options, then one name to open).
void parseCommandLine(const std::string& text);
// Everything before the message loop: false when the main window could not
// be made (the program then ends with 0).
bool startPlayer(const std::string& commandLine, ShowState show = ShowState::kNormal);

}  // namespace strevana
