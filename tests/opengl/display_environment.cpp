#include "display_environment.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/opengl/opengl_probe.h"
#include "xvfb_server.h"

namespace strevana::testing {

namespace {

// Mesa's driver is unloaded when Qt closes its display, before a leak check
// at exit could name it in the caches it keeps: once a context has loaded
// it, it stays mapped.
void keepOpenGlDriverLoaded() {
  probeOpenGl();
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void*) {
        const std::string name = info->dlpi_name ? info->dlpi_name : "";
        if (name.find("_dri.so") != std::string::npos) {
          dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        }
        return 0;
      },
      nullptr);
}

class DisplayEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* without = std::getenv("STREVANA_TEST_WITHOUT_OPENGL");
    const bool noOpenGl = without != nullptr && std::string(without) == "1";
    std::vector<std::string> extra;
    if (noOpenGl) {
      extra = {"-extension", "GLX"};
      setenv("QT_XCB_GL_INTEGRATION", "none", 1);
    }
    if (!server_.start(1280, 800, extra)) {
      reason_ = "no X display for the OpenGL tests: " + server_.error();
      return;
    }
    setenv("DISPLAY", server_.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("STREVANA_SOFTWARE_GL", "1", 1);
    // No desktop session here: keep Qt from looking for one.
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_SESSION_TYPE");
    app_ = std::make_unique<QApplication>(argc_, argv_);
    keepOpenGlDriverLoaded();
  }

  void TearDown() override {
    app_.reset();  // before its X server goes
    server_.stop();
  }

  QApplication* application() const { return app_.get(); }
  const std::string& reason() const { return reason_; }

 private:
  XvfbServer server_;
  std::unique_ptr<QApplication> app_;
  std::string reason_;
  int argc_ = 1;
  char name_[24] = "strevana-opengl-tests";
  char* argv_[2] = {name_, nullptr};
};

DisplayEnvironment* const kEnvironment = [] {
  auto* environment = new DisplayEnvironment;
  ::testing::AddGlobalTestEnvironment(environment);  // gtest owns it
  return environment;
}();

}  // namespace

QApplication* displayApplication() { return kEnvironment->application(); }
const std::string& displaySkipReason() { return kEnvironment->reason(); }

}  // namespace strevana::testing

// Fontconfig, D-Bus (Qt's xcb platform keeps a connection) and Mesa keep
// process-lifetime allocations that are never freed; not ours, and they
// would fail every run under LeakSanitizer.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libdbus-1.so\nleak:swrast_dri.so\nleak:libLLVM\n";
}
