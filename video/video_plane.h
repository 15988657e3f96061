#pragma once
// VideoPlane: the part of a window where the display hardware shows
// pictures, for DirectDrawRenderer. On this platform it is an OpenGL surface
// over the window's display rectangle (platform/gl_video_plane.h): the plane
// uploads each picture in its own format as textures and converts and scales
// it on the GPU.
//
// Threads: a Qt OpenGL context belongs to the user-interface thread, while
// renderers run on whichever thread holds the controller lock (the playback
// thread for frames, the UI thread for resizes and recreation). So nothing
// here touches OpenGL or waits for the UI thread: showFrame() and withdraw() store
// what is asked for under the plane's own mutex and schedule a repaint; the
// window uploads and draws the newest picture in its own paint, on the UI
// thread. A frame handed to showFrame() is never written again by the renderer
// (it makes a fresh one, or reuses one the plane has let go of).
//
// Whether a plane is usable is decided on the UI thread before any renderer
// asks (making a context there), and it stays unusable once drawing failed:
// the renderer's next present then fails and the engine falls back to the
// raster renderer.
//
// Ownership: the window owns its plane; the plane shares ownership of the
// frame it shows with the renderer that made it.
#include <QRect>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/media_types.h"

namespace strevana {

// One picture in a renderer buffer's layout: formats 1 and 3 planar 4:2:0
// (luma rows of width bytes, then the two chroma planes of width/2 x height/2
// in the format's order), 5 packed 4:2:2, 10 B G R, 11 B G R X; rows packed
// without padding, top row first.
struct VideoPlaneFrame {
  OutputFormat format = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bits;
};

class VideoPlane {
 public:
  virtual ~VideoPlane() = default;

  // Whether this plane can show pictures. Any thread.
  virtual bool usable() const = 0;
  // Shows frame scaled into display (client coordinates of the window; the
  // plane shows the part inside the window) from the next paint on.
  // False when the plane is not usable. Any thread; never blocks on painting.
  virtual bool showFrame(std::shared_ptr<const VideoPlaneFrame> frame, const QRect& display) = 0;
  // Stops showing a picture; the window's own content shows again. Any thread.
  virtual void withdraw() = 0;
};

}  // namespace strevana
