#include "platform/opengl/gl_video_plane.h"

#include <QMetaObject>
#include <QOpenGLContext>
#include <QPaintEvent>

#include "platform/opengl/gl_picture_shader.h"
#include "platform/opengl/opengl_probe.h"

namespace strevana {

namespace {

GlPictureKind kindOf(OutputFormat format) {
  switch (format) {
    case kFormatYuy2: return GlPictureKind::kPacked422;
    case kFormatIyuv:
    case kFormatYv12: return GlPictureKind::kPlanar420;
    default: return GlPictureKind::kRgb;
  }
}

// Two triangles over the whole viewport.
constexpr float kQuad[] = {-1.f, -1.f, 1.f, -1.f, -1.f, 1.f, -1.f, 1.f, 1.f, -1.f, 1.f, 1.f};

}  // namespace

GlVideoPlane* GlVideoPlane::create(QWidget* parent) {
  if (!openGlUsableForVideo(probeOpenGl())) return nullptr;
  return new GlVideoPlane(parent);
}

GlVideoPlane::GlVideoPlane(QWidget* parent) : QOpenGLWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  QWidget::hide();
  connect(this, &QOpenGLWidget::frameSwapped, this,
          [this] { onScreenSequence_.store(drawnSequence_); });
}

GlVideoPlane::~GlVideoPlane() {
  if (!glReady_) return;
  makeCurrent();
  glDeleteTextures(3, textures_.data());
  quad_.destroy();
  for (auto& p : programs_) p.reset();
  doneCurrent();
}

bool GlVideoPlane::showFrame(std::shared_ptr<const VideoPlaneFrame> frame, const QRect& display) {
  if (!usable() || !frame) return false;
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frame_ = std::move(frame);
    display_ = display;
    requestSequence_ = shownSequence_.fetch_add(1) + 1;
    post = !applyPosted_;
    applyPosted_ = true;
  }
  if (post)
    QMetaObject::invokeMethod(
        this, [this] { applyOnUiThread(); }, Qt::QueuedConnection);
  return true;
}

void GlVideoPlane::withdraw() {
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frame_.reset();
    display_ = QRect();
    post = !applyPosted_;
    applyPosted_ = true;
  }
  if (post)
    QMetaObject::invokeMethod(
        this, [this] { applyOnUiThread(); }, Qt::QueuedConnection);
}

void GlVideoPlane::applyOnUiThread() {
  QRect display;
  bool hasFrame = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    applyPosted_ = false;
    display = display_;
    hasFrame = frame_ != nullptr;
  }
  const QRect visible = display.intersected(parentWidget()->rect());
  if (!hasFrame || visible.isEmpty() || !usable()) {
    QWidget::hide();
    return;
  }
  drawnDisplay_ = display;
  if (geometry() != visible) setGeometry(visible);
  if (isHidden()) QWidget::show();
  update();
}

void GlVideoPlane::fail() {
  usable_.store(false, std::memory_order_release);
  QMetaObject::invokeMethod(
      this, [this] { QWidget::hide(); }, Qt::QueuedConnection);
}

void GlVideoPlane::paintEvent(QPaintEvent* event) {
  QOpenGLWidget::paintEvent(event);
  // Qt could not make (or lost) the widget's context: nothing was drawn.
  if (!isValid()) fail();
}

void GlVideoPlane::initializeGL() {
  initializeOpenGLFunctions();
  const QSurfaceFormat format = context()->format();
  // Luminance textures are gone from core profiles.
  if (!context()->isOpenGLES() && format.profile() == QSurfaceFormat::CoreProfile) {
    fail();
    return;
  }
  const GlPictureKind kinds[] = {GlPictureKind::kRgb, GlPictureKind::kPacked422,
                                 GlPictureKind::kPlanar420};
  for (GlPictureKind kind : kinds) {
    auto program = std::make_unique<QOpenGLShaderProgram>();
    if (!program->addShaderFromSourceCode(QOpenGLShader::Vertex, glPictureVertexShader()) ||
        !program->addShaderFromSourceCode(QOpenGLShader::Fragment, glPictureFragmentShader(kind))) {
      fail();
      return;
    }
    program->bindAttributeLocation("position", 0);
    if (!program->link()) {
      fail();
      return;
    }
    programs_[static_cast<int>(kind)] = std::move(program);
  }
  glGenTextures(3, textures_.data());
  for (unsigned int texture : textures_) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  }
  quad_ = QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
  if (!quad_.create() || !quad_.bind()) {
    fail();
    return;
  }
  quad_.allocate(kQuad, sizeof(kQuad));
  quad_.release();
  glReady_ = glGetError() == GL_NO_ERROR;
  if (!glReady_) fail();
}

void GlVideoPlane::uploadPlane(int index, int internalFormat, int format, int width, int height,
                               const uint8_t* bits) {
  glActiveTexture(GL_TEXTURE0 + index);
  glBindTexture(GL_TEXTURE_2D, textures_[static_cast<size_t>(index)]);
  const QSize size(width, height);
  if (textureSizes_[static_cast<size_t>(index)] != size || uploadedFormat_ == 0) {
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, GL_UNSIGNED_BYTE,
                 bits);
    textureSizes_[static_cast<size_t>(index)] = size;
  } else {
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, bits);
  }
}

bool GlVideoPlane::upload(const VideoPlaneFrame& frame) {
  const int w = frame.width;
  const int h = frame.height;
  const uint8_t* bits = frame.bits.data();
  if (frame.format != uploadedFormat_) uploadedFormat_ = 0;  // every plane anew
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  switch (frame.format) {
    case kFormatBgr24: uploadPlane(0, GL_RGB, GL_RGB, w, h, bits); break;
    case kFormatBgrx32: uploadPlane(0, GL_RGBA, GL_RGBA, w, h, bits); break;
    case kFormatYuy2: uploadPlane(0, GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, w, h, bits); break;
    case kFormatIyuv:
    case kFormatYv12: {
      const int cw = w / 2;
      const int ch = h / 2;
      uploadPlane(0, GL_LUMINANCE, GL_LUMINANCE, w, h, bits);
      static const uint8_t kNeutral = 128;
      if (cw == 0 || ch == 0) {
        uploadPlane(1, GL_LUMINANCE, GL_LUMINANCE, 1, 1, &kNeutral);
        uploadPlane(2, GL_LUMINANCE, GL_LUMINANCE, 1, 1, &kNeutral);
        break;
      }
      const uint8_t* first = bits + static_cast<size_t>(w) * h;
      const uint8_t* second = first + static_cast<size_t>(cw) * ch;
      const bool uFirst = frame.format == kFormatIyuv;
      uploadPlane(1, GL_LUMINANCE, GL_LUMINANCE, cw, ch, uFirst ? first : second);
      uploadPlane(2, GL_LUMINANCE, GL_LUMINANCE, cw, ch, uFirst ? second : first);
      break;
    }
    default: return false;
  }
  uploadedFormat_ = frame.format;
  glActiveTexture(GL_TEXTURE0);
  return glGetError() == GL_NO_ERROR;
}

void GlVideoPlane::paintGL() {
  glClearColor(0.f, 0.f, 0.f, 1.f);
  glClear(GL_COLOR_BUFFER_BIT);
  if (!glReady_) return;
  std::shared_ptr<const VideoPlaneFrame> frame;
  uint64_t sequence = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frame = frame_;
    sequence = requestSequence_;
  }
  if (!frame || drawnDisplay_.isEmpty()) return;
  if (sequence != uploadedSequence_) {
    if (!upload(*frame)) {
      fail();
      return;
    }
    uploadedSequence_ = sequence;
  }
  QOpenGLShaderProgram& program = *programs_[static_cast<int>(kindOf(frame->format))];
  program.bind();
  program.setUniformValue("plane0", 0);
  program.setUniformValue("plane1", 1);
  program.setUniformValue("plane2", 2);
  program.setUniformValue("sourceSize", QVector2D(frame->width, frame->height));
  program.setUniformValue("chromaSize",
                          QVector2D(std::max(frame->width / 2, 1), std::max(frame->height / 2, 1)));
  program.setUniformValue("displaySize", QVector2D(drawnDisplay_.width(), drawnDisplay_.height()));
  const QPoint offset = geometry().topLeft() - drawnDisplay_.topLeft();
  program.setUniformValue("offset", QVector2D(offset.x(), offset.y()));
  program.setUniformValue("viewHeight", static_cast<GLfloat>(height()));
  program.setUniformValue("pixelRatio", static_cast<GLfloat>(devicePixelRatioF()));
  for (int i = 0; i < 3; ++i) {
    glActiveTexture(GL_TEXTURE0 + i);
    glBindTexture(GL_TEXTURE_2D, textures_[static_cast<size_t>(i)]);
  }
  glActiveTexture(GL_TEXTURE0);
  quad_.bind();
  program.enableAttributeArray(0);
  program.setAttributeBuffer(0, GL_FLOAT, 0, 2);
  glDrawArrays(GL_TRIANGLES, 0, 6);
  program.disableAttributeArray(0);
  quad_.release();
  program.release();
  drawnSequence_ = sequence;
}

}  // namespace strevana
