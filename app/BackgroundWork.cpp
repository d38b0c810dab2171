#include "app/BackgroundWork.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <exception>
#include <thread>

void RunBesideEventLoop(const std::function<void()>& work) {
  QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
  std::atomic<bool> done{false};
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
    // The wake-up is kept until the loop next waits, so it cannot be missed.
    if (dispatcher) dispatcher->wakeUp();
  });
  while (dispatcher && !done)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
  worker.join();
  if (failure) std::rethrow_exception(failure);
}
