#pragma once
// The shell's modal dialogs: Open URL (170), Network Options (176), YUV
// Settings (172), Save RTP streams as (177), Login (178) and About (103),
// each built from
// the current resource module's template, and the command flows that move
// values between the dialogs' records and the PlaybackEngine.
//
// Choices made here:
// - The Open URL field is read whole (up to the history's 1023 characters);
//   a URL longer than the 255 characters a name may have is then refused
//   with "Cannot open" rather than opened cut short.
// - YUV Settings: a user width or height above 2147483647 is not a valid
//   number (it would turn negative); the rate field is read without regard
//   to the user's locale (a full stop is the decimal point, as the field
//   shows it).
// - A Browse choice longer than a save path's 1023 characters leaves the
//   path label unchanged, like a cancelled Browse.
//
// Threads: UI thread only.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/window_messages.h"
#include "protocols/rtsp/rtsp_credentials.h"

namespace strevana {

int32_t runOpenUrlDialog(AppWindow* owner);
int32_t runNetworkOptionsDialog(AppWindow* owner);
int32_t runYuvSettingsDialog(AppWindow* owner);
int32_t runSaveStreamDialog(AppWindow* owner);
int32_t runAboutDialog(AppWindow* owner);
// Login (178) for a server that refused `url` without one: the URL is shown
// without its password; the user name typed, and the password, or none on
// Cancel.
std::optional<RtspCredentials> runLoginDialog(AppWindow* owner, const std::string& url);

// Command 32787: engine -> state, dialog, state -> engine on OK.
void networkOptionsCommand(AppWindow* owner);
// Command 32793: engine -> state, dialog, state -> engine on OK.
void saveStreamCommand(AppWindow* owner);

// The rate field's text: "%5.2f" in the C locale.
std::string formatRate(double rate);
// atof's reading of text in the C locale: leading blanks, the longest number
// at the front, 0 when there is none.
double parseRate(const std::string& text);

}  // namespace strevana
