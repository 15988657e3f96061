#pragma once
// One Qt application for the whole test binary, offscreen, made on first use:
// a QApplication where the binary links Qt Widgets, a QGuiApplication where
// it has Qt Gui only. Never destroyed: static objects of the tests may still
// hold Qt objects when the process ends.
#if __has_include(<QApplication>)
#include <QApplication>
#else
#include <QGuiApplication>
#endif

namespace strevana::testing {

inline QGuiApplication& application() {
#if __has_include(<QApplication>)
  using Application = QApplication;
#else
  using Application = QGuiApplication;
#endif
  static int argc = 1;
  static char name[] = "strevana-tests";
  static char* argv[] = {name, nullptr};
  static Application* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new Application(argc, argv);
  }();
  return *app;
}

}  // namespace strevana::testing
