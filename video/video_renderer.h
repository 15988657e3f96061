#pragma once
// VideoRenderer: owns one frame buffer in a chosen OutputFormat and copies it,
// scaled with the picture's aspect ratio kept, into a rectangle of a window
// surface. The engine makes one per medium and window with
// createVideoRenderer, locks the buffer, lets the source decode straight into
// it, unlocks it and presents it.
//
// Threads: a renderer has no lock of its own; it is used only with the
// controller's lock held (playback thread for frames, UI thread for resizes,
// repaints and recreation). present() takes the surface's buffer mutex for the
// copy itself.
//
// Ownership: the renderer does not own the WindowSurface it draws into; the
// surface must outlive the renderer (the engine recreates the renderer
// whenever its window changes). The frame buffer belongs to the renderer.
#include <cstdint>
#include <memory>

#include "media/media_types.h"

namespace strevana {

class WindowSurface;

// Kinds for createVideoRenderer.
constexpr int32_t kRendererHardware = 1;  // DirectDrawRenderer (OpenGL)
constexpr int32_t kRendererRaster = 2;    // GdiRenderer

class VideoRenderer {
 public:
  VideoRenderer() = default;
  VideoRenderer(const VideoRenderer&) = delete;
  VideoRenderer& operator=(const VideoRenderer&) = delete;

  // Slots, in this order.
  virtual ~VideoRenderer() = default;  // 0
  // Stores the window, the picture rectangle, the visible rectangle (= the
  // picture rectangle), a display rectangle of 0 and the format; derived
  // classes call it first and then make their buffer. False: unusable.
  virtual bool open(WindowSurface* window, int32_t x, int32_t y, int32_t width, int32_t height,
                    OutputFormat format);  // 1
  virtual bool close();                    // 2
  // The visible part of the picture; only its aspect ratio matters to the
  // fitting below.
  virtual bool setSourceRect(int32_t x, int32_t y, int32_t width, int32_t height);  // 3
  // Aspect fitting: the display rectangle becomes the largest rectangle of the
  // visible part's aspect ratio centred in (x, y, width, height). A visible
  // rectangle or target without area cannot be fitted and is shown filling the
  // target as given.
  virtual bool setOutputRect(int32_t x, int32_t y, int32_t width, int32_t height);  // 4
  // A writable buffer of size bytes, rows stride bytes apart, top row first.
  virtual bool lockBuffer(uint8_t*& bits, int32_t& size, int32_t& stride) = 0;  // 5
  virtual bool unlockBuffer();                                                  // 6
  // Draws the buffer into the display rectangle of the window.
  virtual bool present() = 0;  // 7
  // Fills the buffer with black for its format (see video_renderer.cpp).
  virtual bool clear();  // 8

  WindowSurface* window() const { return window_; }
  OutputFormat format() const { return format_; }
  int32_t imageX() const { return imageX_; }
  int32_t imageY() const { return imageY_; }
  int32_t imageWidth() const { return imageWidth_; }
  int32_t imageHeight() const { return imageHeight_; }
  int32_t displayX() const { return displayX_; }
  int32_t displayY() const { return displayY_; }
  int32_t displayWidth() const { return displayWidth_; }
  int32_t displayHeight() const { return displayHeight_; }
  int32_t outputX() const { return outputX_; }
  int32_t outputY() const { return outputY_; }
  int32_t outputWidth() const { return outputWidth_; }
  int32_t outputHeight() const { return outputHeight_; }
  int32_t sourceX() const { return sourceX_; }
  int32_t sourceY() const { return sourceY_; }
  int32_t sourceWidth() const { return sourceWidth_; }
  int32_t sourceHeight() const { return sourceHeight_; }

 protected:
  WindowSurface* window_ = nullptr;
  int32_t imageX_ = 0, imageY_ = 0, imageWidth_ = -1, imageHeight_ = -1;
  int32_t displayX_ = 0, displayY_ = 0, displayWidth_ = 0, displayHeight_ = 0;
  int32_t outputX_ = 0, outputY_ = 0, outputWidth_ = 0, outputHeight_ = 0;
  int32_t sourceX_ = 0, sourceY_ = 0, sourceWidth_ = 0, sourceHeight_ = 0;
  OutputFormat format_ = 0;
};

// kind 2 makes a GdiRenderer, kind 1 a DirectDrawRenderer; any other kind
// gives null. The renderer is opened on window with the picture rectangle and
// format; a failed open (a window without a usable video plane, for the
// hardware kind) gives null, and the engine's fallback chain takes over.
std::unique_ptr<VideoRenderer> createVideoRenderer(WindowSurface* window, int32_t x, int32_t y,
                                                   int32_t width, int32_t height, int32_t kind,
                                                   OutputFormat format);

}  // namespace strevana
