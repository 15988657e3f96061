#pragma once
// The standard modal prompts: message boxes (QMessageBox) and the file
// dialog (QFileDialog with the filters as given), for opening or, with
// request.forSaving, for saving. Each first offers the request to the
// matching hook, so tests answer without a person.
//
// Threads: UI thread only.
#include <cstdint>
#include <string>

#include "platform/ui_hooks.h"

namespace strevana {

// Shows text with caption; returns the button pressed (kMbResultOk).
int32_t showMessageBox(const UiHooks& hooks, QWidget* owner, const std::string& text,
                       const std::string& caption, uint32_t type = kMbOk);

// Shows the file dialog; true with request.fileName set when confirmed.
bool showOpenFileName(const UiHooks& hooks, OpenFileRequest& request);

// The Qt name filter for one filter pair: the description followed by the
// patterns in parentheses, blank-separated, which is what QFileDialog matches
// and shows. A description that ends in a parenthesised pattern list of its
// own ("All Files (*.mp4;*.3gp)") loses it, so each pattern shows once; a
// pattern given twice shows once.
std::string qtNameFilter(const FileFilter& filter);

}  // namespace strevana
