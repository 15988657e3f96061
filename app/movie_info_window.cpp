// Open: the movie information window is not built yet; the main window
// already calls these at the right moments.
#include "app/movie_info_window.h"

namespace strevana {

void showMovieInfoWindow(const ResourceModule* /*module*/, AppWindow* /*owner*/) {}

void refreshMovieInfo() {}

LResult InfoWindowProc(AppWindow* /*window*/, uint32_t /*message*/, WParam /*wParam*/,
                       LParam /*lParam*/) {
  return 0;
}

}  // namespace strevana
