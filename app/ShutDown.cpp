#include "app/ShutDown.h"

#include <unistd.h>

#include <chrono>

#include "app/ServerLink.h"
#include "db/Register.h"
#include "dicom/util/Log.h"

namespace {
std::function<void()>& ProcessExit() {
  static std::function<void()> exitProcess;
  return exitProcess;
}
}  // namespace

void SetProcessExitForTests(std::function<void()> exitProcess) {
  ProcessExit() = std::move(exitProcess);
}

void ShutDownProgram() {
  StopAcceptingAssociations();
  // A registration in progress finishes first; one that hangs must not keep the program alive.
  const bool locked = RegisterBusy.try_lock_for(std::chrono::seconds(10));
  LogFree();
  if (ProcessExit()) {
    if (locked) RegisterBusy.unlock();
    ProcessExit()();
    return;
  }
  ::_exit(0);
}
