#include "platform/gui/GuardedApplication.h"

#include <clocale>
#include <new>

#include "platform/gui/UiServices.h"

QString DefaultExceptionMessage(const std::exception* error) {
  if (error == nullptr) return QStringLiteral("Unknown exception");
  if (dynamic_cast<const std::bad_alloc*>(error) != nullptr) return QStringLiteral("Out of memory");
  return QString::fromLocal8Bit(error->what());
}

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {
  std::setlocale(LC_NUMERIC, "C");
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    Ui().ShowMessage(nullptr, DefaultExceptionMessage(&error));
  } catch (...) {
    Ui().ShowMessage(nullptr, DefaultExceptionMessage(nullptr));
  }
  return false;
}
