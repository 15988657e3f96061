#pragma once
// GlVideoPlane: the VideoPlane of a SurfaceWidget, an OpenGL child widget
// laid over the part of the display rectangle inside the window. It uploads
// the newest picture as textures in the buffer's own format and draws it
// converted and scaled by the shaders of gl_picture_shader.h.
//
// Threads (see VideoPlane): showFrame() and withdraw() come from whichever
// thread holds the controller lock; they only store the request under the
// plane's mutex and post one queued call to the UI thread, which moves,
// shows or hides the widget and schedules a paint. All OpenGL work happens
// in paintGL(), on the UI thread, in the context Qt made for the widget.
//
// Usability: create() probes OpenGL (opengl_probe.h) and gives no plane when
// it cannot be had or is software-only without STREVANA_SOFTWARE_GL=1. A
// plane whose own context or programs fail later turns unusable, so the
// renderer's next present fails and the engine goes back to the raster
// renderer.
//
// The widget lets mouse events through to the window below and never takes
// the focus, so the window's own handling sees every input as before.
//
// Ownership: a child of its SurfaceWidget, destroyed with it. Renderers that
// use it must be gone by then (as for every WindowSurface).
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QOpenGLWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "video/video_plane.h"

namespace strevana {

class GlVideoPlane final : public QOpenGLWidget, public VideoPlane, protected QOpenGLFunctions {
 public:
  // A plane over parent, or null when this process has no OpenGL a plane
  // should use. UI thread.
  static GlVideoPlane* create(QWidget* parent);

  ~GlVideoPlane() override;

  bool usable() const override { return usable_.load(std::memory_order_acquire); }
  bool showFrame(std::shared_ptr<const VideoPlaneFrame> frame, const QRect& display) override;
  void withdraw() override;

  // Pictures handed to showFrame() so far, and how many of them had been
  // drawn when the window last reached the screen; for tests and
  // diagnostics. Any thread.
  uint64_t framesShown() const { return shownSequence_.load(); }
  uint64_t framesOnScreen() const { return onScreenSequence_.load(); }

 protected:
  void initializeGL() override;
  void paintGL() override;
  void paintEvent(QPaintEvent* event) override;

 private:
  explicit GlVideoPlane(QWidget* parent);
  void applyOnUiThread();
  void fail();
  bool upload(const VideoPlaneFrame& frame);
  void uploadPlane(int index, int internalFormat, int format, int width, int height,
                   const uint8_t* bits);

  std::atomic<bool> usable_{true};

  std::mutex mutex_;  // guards the request below
  std::shared_ptr<const VideoPlaneFrame> frame_;
  QRect display_;
  bool applyPosted_ = false;
  uint64_t requestSequence_ = 0;  // the sequence number of frame_
  std::atomic<uint64_t> shownSequence_{0};

  // UI thread only.
  uint64_t drawnSequence_ = 0;
  std::atomic<uint64_t> onScreenSequence_{0};
  QRect drawnDisplay_;
  uint64_t uploadedSequence_ = 0;
  OutputFormat uploadedFormat_ = 0;
  std::array<unsigned int, 3> textures_{};
  std::array<QSize, 3> textureSizes_{};
  std::unique_ptr<QOpenGLShaderProgram> programs_[3];
  QOpenGLBuffer quad_;
  bool glReady_ = false;
};

}  // namespace strevana
