#pragma once
// Text needs a GUI application; one (offscreen unless the environment names a
// platform) serves the whole test binary. It is a function-local static so
// that it is destroyed at exit: Qt then releases its font caches, which the
// leak checker would otherwise report.
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>

namespace strevana::testing {

inline void ensureGuiApplication() {
  if (QCoreApplication::instance()) return;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "strevana_playback_tests";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
}

}  // namespace strevana::testing
