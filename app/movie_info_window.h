#pragma once
// The movie information window ("Movie Info"): a separate window showing what
// is known about the open medium, refreshed by the main window's timer.
//
// The operations' bodies are still open: the window is not shown yet.
//
// Threads: UI thread only.
#include "platform/window_messages.h"

namespace strevana {

class ResourceModule;

void showMovieInfoWindow(const ResourceModule* module, AppWindow* owner);
void refreshMovieInfo();
LResult InfoWindowProc(AppWindow* window, uint32_t message, WParam wParam, LParam lParam);

}  // namespace strevana
