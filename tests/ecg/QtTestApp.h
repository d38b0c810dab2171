// One QApplication for a test executable (fonts and widgets need it), created on first use
// with the offscreen platform and kept to the end of the process.
#pragma once

#include <QApplication>
#include <cstdlib>

#include "platform/gui/GuardedApplication.h"

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "trevalind-test";
  static char* argv[] = {name, nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Never destroyed: Qt's input devices must outlive the static destructors of the test run.
  static GuardedApplication* app = new GuardedApplication(argc, argv);
  return *app;
}
