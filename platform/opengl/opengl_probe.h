#pragma once
// What OpenGL this process can have for its windows, found once on the
// user-interface thread by making a context (in QSurfaceFormat's default
// format) and asking it who renders.
//
// A software OpenGL (Mesa's llvmpipe, softpipe or swrast) counts as no
// hardware: drawing there costs more processor time than the raster path.
// Tests that want the OpenGL path on a machine without a GPU set
// STREVANA_SOFTWARE_GL=1, read each time a window asks.
//
// Threads: UI thread only (contexts and offscreen surfaces are made there).
#include <QString>

namespace strevana {

struct OpenGlProbe {
  bool context = false;   // a context could be made current
  bool software = false;  // ... but it renders on the processor
  QString renderer;       // GL_RENDERER, for diagnostics
};

// Makes a context and an offscreen surface, asks, and releases both. On Qt's
// offscreen and minimal platforms nothing is tried: they have no GPU.
OpenGlProbe probeOpenGl();

// Whether a window should show pictures through OpenGL given probe.
bool openGlUsableForVideo(const OpenGlProbe& probe);

}  // namespace strevana
