// The application object with the class library's default exception handling: an exception that
// escapes an event handler is shown in a message box and the program goes on, instead of
// unwinding through Qt (which Qt does not allow). It also keeps numbers in the C locale, since
// Qt sets the user's locale at start-up and DICOM values never depend on it.
//
// notify() is the last line: an exception that reaches it has already unwound through Qt's own
// frames, which skip their clean-up (a few bytes leak per exception). Handlers connected to
// signals are therefore wrapped with Guarded, which stops the exception before Qt sees it.
#pragma once

#include <QApplication>
#include <exception>
#include <utility>

// The text the default handler shows for an exception: its what(), or a fixed text for the
// cases the class library named itself.
QString DefaultExceptionMessage(const std::exception* error);

// Shows the exception in a message box with its default text.
void ShowException(std::exception_ptr error);

// Runs a handler; an exception it throws is shown and goes no further.
template <typename Handler>
void RunGuarded(Handler&& handler) {
  try {
    handler();
  } catch (...) {
    ShowException(std::current_exception());
  }
}

// A handler for QObject::connect (it takes no signal arguments) that runs under RunGuarded.
template <typename Handler>
auto Guarded(Handler handler) {
  return [handler = std::move(handler)]() mutable { RunGuarded(handler); };
}

class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
