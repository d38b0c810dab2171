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
  // One thread, kept between calls: a search waits beside the loop once per response, and a
  // thread made and joined each time would cost more than many waits. Being one, it allocates
  // from one heap arena, so what one call frees the next can use again. A call made while
  // another waits (from a timer) queues behind it; neither waits for the other.
  static QThreadPool* const pool = [] {
    auto* threads = new QThreadPool;
    threads->setMaxThreadCount(1);
    return threads;
  }();
  struct Outcome {
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    QSemaphore finished;
  };
  auto outcome = std::make_shared<Outcome>();
  pool->start([outcome, dispatcher, &work] {
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
