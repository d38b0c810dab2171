#include "app/TerminationSignals.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

#include "app/ShutDown.h"
#include "app/TFindForm.h"

namespace {

// The handler may only write to a pipe; the GUI thread reads it.
int signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

sigset_t TerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, signal);
  return set;
}

}  // namespace

void HoldTerminationSignals() {
  const sigset_t set = TerminationSignals();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void CloseBrowserOnTerminationSignals() {
  const sigset_t held = TerminationSignals();
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    ::pthread_sigmask(SIG_UNBLOCK, &held, nullptr);  // left to their default, as before
    return;
  }
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    char byte;
    while (::read(signalPipe[0], &byte, 1) > 0) {
    }
    // Also while a modal window or message box runs its own loop (accession-number mode).
    if (FindForm)
      FindForm->close();
    else
      ShutDownProgram();
  });
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
  ::pthread_sigmask(SIG_UNBLOCK, &held, nullptr);  // a signal held since start is handled now
}
