// Shared pieces of the application tests: the application object, a recording stand-in for the
// message boxes, and the running browser with its windows. The temporary folder and the shell
// runner are the tests' common ones (tests/support).
#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/gui/UiServices.h"
#include "tests/support/Shell.h"
#include "tests/support/TempFolder.h"

// Readable test failures for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
  *out << '{' << texts.join("|").toStdString() << '}';
}

// Records every message and confirmation; answers confirmations from a script (default OK).
class RecordingUi : public UiServices {
 public:
  RecordingUi();
  ~RecordingUi() override;
  void ShowMessage(QWidget*, const QString& text) override { messages << text; }
  std::optional<std::string> OpenFileName(QWidget*) override { return std::nullopt; }
  bool ConfirmPrint(QWidget*, QPrinter&) override { return false; }
  bool OpenUrl(const QUrl&) override { return true; }
  bool Confirm(QWidget*, const QString& text, const QString& caption) override {
    questions << caption + "|" + text;
    return confirmAnswer;
  }
  QStringList messages, questions;
  bool confirmAnswer = true;
};

// The four windows as the entry creates them, in `folder`, started by the posted start-up
// event; the process stays alive through shut-down.
struct RunningBrowser {
  explicit RunningBrowser(const std::string& folder, const std::string& commandLine = "");
  ~RunningBrowser();
  std::vector<std::vector<std::string>> ecgWindowShowings;
  bool exited = false;
};

// Clicks `button` at the first event-loop pass at which `condition` holds: the long handlers
// process events between their steps, so this is how a user's click lands in the middle.
class ClickWhen {
 public:
  ClickWhen(std::function<bool()> condition, class QPushButton* button);

 private:
  QTimer timer_;
};

// "port", "AE", level as the 68-byte record.
std::string ConfigRecord(const std::string& port, const std::string& aeTitle, int32_t level);
// A loopback port the OS just handed out (and released again).
std::string FreePort();
