#pragma once
// DirectDrawRenderer: the hardware renderer. On this platform it is built on
// OpenGL through Qt: the window's VideoPlane uploads each picture as
// textures in the buffer's own format (planar 4:2:0 IYUV and YV12, packed
// 4:2:2 YUY2, B G R and B G R X), converts YUV to RGB in a shader with the
// colour converters' equations (scaled luma, as yuy2_rows.h) and scales it
// with linear filtering (BilinearScaler's sampling) into the display
// rectangle, so it draws the same picture as the raster renderer.
//
// open() fails, and the engine's fallback chain (raster renderer, then
// format 10) takes over, when the window has no usable plane: memory
// surfaces, Qt's offscreen platform, a context that cannot be made, and a
// software OpenGL (Mesa's llvmpipe and the like) unless
// STREVANA_SOFTWARE_GL=1 asks for it (the raster path is cheaper there).
//
// The frame buffer is plain memory: lockBuffer() hands it out (rows exactly
// rowBytes(format, width) apart; for the planar formats the stride is the
// luma row, width bytes, and the chroma planes follow at half that), and
// present() copies it into a frame the plane shows, so the source may decode
// the next picture into the buffer while the last one is on screen.
// setOutputRect() fits the picture as every renderer does and hands the plane
// the new display rectangle; the plane's drawing state that depends on the
// size is re-made in its next paint.
//
// Threads and ownership: as VideoRenderer; the plane belongs to the window,
// which outlives the renderer. Pictures larger than kMaxDimension on a side
// are refused.
#include <cstdint>
#include <memory>
#include <vector>

#include "video/video_plane.h"
#include "video/video_renderer.h"

namespace strevana {

class DirectDrawRenderer final : public VideoRenderer {
 public:
  static constexpr int32_t kMaxDimension = 8192;

  DirectDrawRenderer() = default;
  ~DirectDrawRenderer() override;

  bool open(WindowSurface* window, int32_t x, int32_t y, int32_t width, int32_t height,
            OutputFormat format) override;
  bool close() override;
  bool setOutputRect(int32_t x, int32_t y, int32_t width, int32_t height) override;
  bool lockBuffer(uint8_t*& bits, int32_t& size, int32_t& stride) override;
  bool unlockBuffer() override;
  bool present() override;

 private:
  // A frame the plane does not hold any more, or a new one.
  std::shared_ptr<VideoPlaneFrame> freeFrame();

  VideoPlane* plane_ = nullptr;
  std::vector<uint8_t> bits_;
  int32_t stride_ = 0;
  // The frames handed to the plane, reused once it has let go of them.
  std::shared_ptr<VideoPlaneFrame> frames_[2];
};

}  // namespace strevana
