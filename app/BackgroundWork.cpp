#include "app/BackgroundWork.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <exception>
#include <memory>

void RunBesideEventLoop(const std::function<void()>& work) {
  QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher();
  // The pool's threads are kept between calls: a search waits beside the loop once per
  // response, and a thread made and joined each time would cost more than many waits.
  struct Outcome {
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    QSemaphore finished;
  };
  auto outcome = std::make_shared<Outcome>();
  QThreadPool::globalInstance()->start([outcome, dispatcher, &work] {
    try {
      work();
    } catch (...) {
      outcome->failure = std::current_exception();
    }
    outcome->done = true;
    outcome->finished.release();
    // The wake-up is kept until the loop next waits, so it cannot be missed.
    if (dispatcher) dispatcher->wakeUp();
  });
  while (dispatcher && !outcome->done)
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
  outcome->finished.acquire();
  if (outcome->failure) std::rethrow_exception(outcome->failure);
}
