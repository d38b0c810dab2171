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
  // The files being written and a registration in progress finish first; one that hangs must
  // not keep the program alive.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  const bool gated = WritingObjects.try_lock_until(deadline);
  const bool locked = RegisterBusy.try_lock_until(deadline);
  LogFree();
  if (ProcessExit()) {
    if (locked) RegisterBusy.unlock();
    if (gated) WritingObjects.unlock();
    ProcessExit()();
    return;
  }
  ::_exit(0);
}
