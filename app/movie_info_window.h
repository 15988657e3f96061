#pragma once
// The movie information window ("Movie Info", class "QviewInfo"): a separate,
// non-modal window that shows the MovieInfo model of the open medium. It is
// drawn directly into its window surface through a plain Widget canvas of the
// panel toolkit, every time the model is refreshed (after every open and
// every 1.1 s from the main window's timer), when its background is erased
// or it is moved, and after a language change.
//
// Choices made here:
// - The window's inside (not its frame) is 400 x 460 pixels and cannot be
//   resized, like the fixed frame it has.
// - String 106 of the resource module, when a module carries one, is drawn
//   centred at the top after every full drawing (where a paint would put it);
//   the program's own resources have none.
// - The metadata closing line (the encoder's mark, or the text after the
//   last ";") is drawn on the line below the last tag line rather than over
//   it.
// - Choosing "Movie Info" while the window is open does nothing; closing the
//   window drops the model, and the window object itself goes at the next
//   open or at the end of the run.
//
// Threads: UI thread only. The model is read from the source under the
// controller's lock; drawing happens on the UI thread.
// Ownership: AppGlobals owns the window (infoWindow) and its state
// (movieInfo); the state's canvas draws through its own DrawContext bound to
// the window's surface.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/movie_info.h"
#include "platform/window_messages.h"
#include "playback/panel/draw_context.h"
#include "playback/panel/widget.h"

namespace strevana {

class ResourceModule;
class WindowSurface;

// Colours of the window.
constexpr Colour kInfoBackground = rgb(170, 190, 210);
constexpr Colour kInfoOutline = rgb(153, 164, 187);
constexpr Colour kInfoText = rgb(0, 0, 0);
constexpr Colour kInfoSeparatorDark = rgb(30, 40, 50);
constexpr Colour kInfoSeparatorLight = rgb(230, 240, 255);

constexpr int32_t kInfoWindowWidth = 400;
constexpr int32_t kInfoWindowHeight = 460;
constexpr int32_t kInfoFontHeight = 9;

// One text the layout placed: (x, y) is its top-left corner, or its
// top-right corner when right-aligned; blocks are word-wrapped texts.
struct PlacedText {
  int32_t x = 0;
  int32_t y = 0;
  bool rightAligned = false;
  bool block = false;
  std::string text;
};

// What one drawing of the layout did, for checks.
struct MovieInfoLayout {
  int32_t lineHeight = 0;
  std::vector<PlacedText> texts;
  std::vector<int32_t> separatorRows;  // y of each separator's dark line

  // The first text placed with exactly that content, or null.
  const PlacedText* find(const std::string& text) const;
};

// Draws the whole layout of info onto canvas (sized to its context's client
// area first), labels in the current resource module's language.
MovieInfoLayout drawMovieInfo(const MovieInfo& info, Widget& canvas);

// The model and drawing objects of the open window.
struct MovieInfoWindowState {
  explicit MovieInfoWindowState(WindowSurface* surface);
  MovieInfoWindowState(const MovieInfoWindowState&) = delete;
  MovieInfoWindowState& operator=(const MovieInfoWindowState&) = delete;

  MovieInfo info;
  DrawContext context;
  Widget canvas;
  MovieInfoLayout lastLayout;  // what the last drawing placed
};

// The unit words of the current resource module.
MovieInfoUnits currentMovieInfoUnits();

void showMovieInfoWindow(const ResourceModule* module, AppWindow* owner);
void refreshMovieInfo();
// After a language change: the caption and every label in the new language.
void relayoutMovieInfoWindow();
LResult InfoWindowProc(AppWindow* window, uint32_t message, WParam wParam, LParam lParam);

}  // namespace strevana
