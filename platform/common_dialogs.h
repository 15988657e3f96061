#pragma once
// The standard modal prompts: message boxes (QMessageBox) and the open-file
// dialog (QFileDialog with the filters as given). Each first offers the
// request to the matching hook, so tests answer without a person.
//
// Threads: UI thread only.
#include <cstdint>
#include <string>

#include "platform/ui_hooks.h"

namespace strevana {

// Shows text with caption; returns the button pressed (kMbResultOk).
int32_t showMessageBox(const UiHooks& hooks, QWidget* owner, const std::string& text,
                       const std::string& caption, uint32_t type = kMbOk);

// Shows the open-file dialog; true with request.fileName set when confirmed.
bool showOpenFileName(const UiHooks& hooks, OpenFileRequest& request);

// The Qt name filter for one filter pair: the description followed by the
// patterns in parentheses, blank-separated, which is what QFileDialog matches.
std::string qtNameFilter(const FileFilter& filter);

}  // namespace strevana
