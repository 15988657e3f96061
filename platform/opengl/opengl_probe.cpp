#include "platform/opengl/opengl_probe.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <cstdlib>
#include <cstring>

namespace strevana {

OpenGlProbe probeOpenGl() {
  OpenGlProbe probe;
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
    return probe;
  }
  QOpenGLContext context;
  context.setFormat(QSurfaceFormat::defaultFormat());
  if (!context.create()) return probe;
  QOffscreenSurface surface;
  surface.setFormat(context.format());
  surface.create();
  if (!surface.isValid() || !context.makeCurrent(&surface)) return probe;
  const auto* name = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
  probe.renderer = QString::fromLatin1(name != nullptr ? name : "");
  context.doneCurrent();
  probe.context = true;
  const QString lower = probe.renderer.toLower();
  probe.software = lower.contains(QLatin1String("llvmpipe")) ||
                   lower.contains(QLatin1String("softpipe")) ||
                   lower.contains(QLatin1String("swrast")) ||
                   lower.contains(QLatin1String("software rasterizer"));
  return probe;
}

bool openGlUsableForVideo(const OpenGlProbe& probe) {
  if (!probe.context) return false;
  if (!probe.software) return true;
  const char* allow = std::getenv("STREVANA_SOFTWARE_GL");
  return allow != nullptr && std::strcmp(allow, "1") == 0;
}

}  // namespace strevana
