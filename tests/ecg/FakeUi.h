// A recording stand-in for the message boxes and dialogs, installed for one test.
#pragma once

#include <QPrinter>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/gui/UiServices.h"

class FakeUi : public UiServices {
 public:
  FakeUi() { SetUi(this); }
  ~FakeUi() override { SetUi(nullptr); }

  void ShowMessage(QWidget*, const QString& text) override {
    messages.push_back(text.toStdString());
  }
  std::optional<std::string> OpenFileName(QWidget*) override {
    ++openDialogs;
    if (!openDialogError.empty()) throw std::runtime_error(openDialogError);
    return fileToOpen;
  }
  bool ConfirmPrint(QWidget*, QPrinter& printer) override {
    ++printDialogs;
    if (!printToFile.empty()) {
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(QString::fromStdString(printToFile));
    }
    return confirmPrint;
  }
  bool OpenUrl(const QUrl& url) override {
    urls.push_back(url);
    return urlOpens;
  }

  std::vector<std::string> messages;
  std::optional<std::string> fileToOpen;
  std::string openDialogError;  // when set, the open dialog throws with this text
  std::string printToFile;
  bool confirmPrint = true;
  bool urlOpens = true;  // what OpenUrl answers
  int openDialogs = 0, printDialogs = 0;
  std::vector<QUrl> urls;
};
