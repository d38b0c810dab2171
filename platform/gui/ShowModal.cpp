#include "platform/gui/ShowModal.h"

#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace {

constexpr const char* kResultProperty = "modalResult";

// Ends the loop once the window is closed (its close accepted) or destroyed.
class CloseWatcher : public QObject {
 public:
  CloseWatcher(QWidget& window, QEventLoop& loop) : window_(&window), loop_(loop) {
    window.installEventFilter(this);
  }
  ~CloseWatcher() override {
    if (window_) window_->removeEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Hide) loop_.quit();
    return false;
  }

 private:
  QPointer<QWidget> window_;
  QEventLoop& loop_;
};

}  // namespace

void SetModalResult(QWidget& window, ModalResult result) {
  window.setProperty(kResultProperty, static_cast<int>(result));
}

ModalResult GetModalResult(const QWidget& window) {
  const QVariant value = window.property(kResultProperty);
  return value.isValid() ? static_cast<ModalResult>(value.toInt()) : ModalResult::None;
}

ModalResult ShowModal(QWidget& window) {
  SetModalResult(window, ModalResult::None);
  window.setWindowModality(Qt::ApplicationModal);
  QEventLoop loop;
  QPointer<QWidget> guard(&window);
  CloseWatcher watcher(window, loop);
  QObject::connect(&window, &QObject::destroyed, &loop, &QEventLoop::quit);
  window.show();
  if (window.isVisible()) loop.exec(QEventLoop::DialogExec);
  if (!guard) return ModalResult::Cancel;
  const ModalResult result = GetModalResult(window);
  return result == ModalResult::None ? ModalResult::Cancel : result;
}
