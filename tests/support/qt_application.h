#pragma once
// One QApplication for the whole test binary, offscreen, made on first use.
#include <QApplication>

namespace strevana::testing {

inline QApplication& application() {
  static int argc = 1;
  static char name[] = "strevana-tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

}  // namespace strevana::testing
