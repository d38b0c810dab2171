// The application object with the class library's default exception handling: an exception that
// escapes an event handler is shown in a message box and the program goes on, instead of
// unwinding through Qt (which Qt does not allow). It also keeps numbers in the C locale, since
// Qt sets the user's locale at start-up and DICOM values never depend on it.
#pragma once

#include <QApplication>
#include <exception>

// The text the default handler shows for an exception: its what(), or a fixed text for the
// cases the class library named itself.
QString DefaultExceptionMessage(const std::exception* error);

class GuardedApplication : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};
