#include "platform/gui/GuardedApplication.h"

#include <clocale>
#include <new>

#include "platform/gui/UiServices.h"

QString DefaultExceptionMessage(const std::exception* error) {
  if (error == nullptr) return QStringLiteral("Unknown exception");
  if (dynamic_cast<const std::bad_alloc*>(error) != nullptr) return QStringLiteral("Out of memory");
  return QString::fromLocal8Bit(error->what());
}

void ShowException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& exception) {
    Ui().ShowMessage(nullptr, DefaultExceptionMessage(&exception));
  } catch (...) {
    Ui().ShowMessage(nullptr, DefaultExceptionMessage(nullptr));
  }
}

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {
  std::setlocale(LC_NUMERIC, "C");
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowException(std::current_exception());
  }
  return false;
}
