// Shared pieces of the application tests: the application object, a temporary folder, a
// recording stand-in for the message boxes, and the running browser with its windows.
#pragma once

#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/gui/UiServices.h"

// Readable test failures for texts and lists of texts.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
  *out << '{' << texts.join("|").toStdString() << '}';
}

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& path() const { return path_; }  // ends with "/"
  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;
  bool Exists(const std::string& name) const;

 private:
  std::string path_;
};

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
// Runs a shell command; its exit status.
int Shell(const std::string& command);
