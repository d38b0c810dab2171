#include "app/BackgroundWork.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <deque>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>

namespace {

// What the person at the keyboard does; everything else (paints, timers, posted events) goes on
// while work runs. Touch and tablet input reaches these widgets as the mouse events that Qt makes
// of it.
constexpr QEvent::Type kUserInput[] = {QEvent::KeyPress,
                                       QEvent::KeyRelease,
                                       QEvent::MouseButtonPress,
                                       QEvent::MouseButtonRelease,
                                       QEvent::MouseButtonDblClick,
                                       QEvent::MouseMove,
                                       QEvent::Wheel,
                                       QEvent::ContextMenu};

bool IsUserInput(QEvent::Type type) {
  return std::find(std::begin(kUserInput), std::end(kUserInput), type) != std::end(kUserInput);
}

// Makes a held event again when it is sent on. A mouse or wheel event shares its point with the
// pointing device's record of it, which later input moves on (a copy of the event shares it
// too), so those are made anew from the values they had when they came.
std::function<QEvent*()> Keep(const QEvent& event) {
  if (const auto* wheel = dynamic_cast<const QWheelEvent*>(&event)) {
    const QWheelEvent& w = *wheel;
    return [position = w.position(), global = w.globalPosition(), pixels = w.pixelDelta(),
            angle = w.angleDelta(), buttons = w.buttons(), modifiers = w.modifiers(),
            phase = w.phase(), inverted = w.inverted(), source = w.source(),
            device = w.pointingDevice()] {
      return new QWheelEvent(position, global, pixels, angle, buttons, modifiers, phase, inverted,
                             source, device);
    };
  }
  if (const auto* mouse = dynamic_cast<const QMouseEvent*>(&event)) {
    const QMouseEvent& m = *mouse;
    return [type = m.type(), position = m.position(), scene = m.scenePosition(),
            global = m.globalPosition(), button = m.button(), buttons = m.buttons(),
            modifiers = m.modifiers(), source = m.source(), device = m.pointingDevice()] {
      return new QMouseEvent(type, position, scene, global, button, buttons, modifiers, source,
                             device);
    };
  }
  return [copy = std::shared_ptr<QEvent>(event.clone())] { return copy->clone(); };
}

// Holds the user input that reaches any object while work runs and sends it on afterwards. The
// input is held where the application delivers it, after the window system has passed it on, so
// no platform queue keeps it: a loop that excluded input would leave it in the window system's
// queue, where nothing wakes the main loop for it until the next input arrives. While held input
// waits, new input from the window system queues behind it, so the order stays as it came.
class InputHold : public QObject {
 public:
  void Begin() {
    if (installedOn_ != QCoreApplication::instance()) {
      installedOn_ = QCoreApplication::instance();
      installedOn_->installEventFilter(this);
    }
    ++depth_;
  }
  void End() {
    if (--depth_ > 0 || held_.empty()) return;
    // Sent from the event loop, once the caller has finished with the work's result.
    QMetaObject::invokeMethod(
        this, [this] { Release(); }, Qt::QueuedConnection);
  }

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (!IsUserInput(event->type())) return false;
    // Held input being sent on goes through, with what the window makes of it for its widgets;
    // new input waits behind what is still held.
    if (depth_ == 0 && (sending_ > 0 || held_.empty() || !event->spontaneous())) return false;
    // The press that made a double click reaches no widget (the double click stands for it).
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->flags().testFlag(Qt::MouseEventCreatedDoubleClick))
      return true;
    held_.push_back({receiver, Keep(*event)});
    return true;
  }

 private:
  struct Held {
    QPointer<QObject> receiver;
    std::function<QEvent*()> make;
  };

  // One event at a time, taken before it is sent: a handler it runs may process events, and
  // what it processes then comes next in the same order.
  void Release() {
    while (depth_ == 0 && !held_.empty()) {
      Held next = std::move(held_.front());
      held_.pop_front();
      if (!next.receiver) continue;
      const std::unique_ptr<QEvent> event(next.make());
      ++sending_;
      QCoreApplication::sendEvent(next.receiver, event.get());
      --sending_;
    }
  }

  QPointer<QCoreApplication> installedOn_;
  int depth_ = 0;
  int sending_ = 0;  // held events being sent on, one inside another's handler
  std::deque<Held> held_;
};

InputHold& Hold() {
  static InputHold* const hold = new InputHold;  // lives as long as the process
  return *hold;
}

}  // namespace

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
  if (dispatcher) {
    struct Holding {
      Holding() { Hold().Begin(); }
      ~Holding() { Hold().End(); }
    } holding;
    while (!outcome->done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  outcome->finished.acquire();
  if (outcome->failure) std::rethrow_exception(outcome->failure);
}
