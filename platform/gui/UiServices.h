// The blocking user interactions of the windows (message boxes and questions, the file and
// print dialogs, handing a URL to the desktop) behind one interface, so tests replace them with
// a recording fake. Add a member here for every new kind of dialog; QtUiServices gives its real
// form.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>
#include <string>

class QPrinter;
class QWidget;

class UiServices {
 public:
  virtual ~UiServices() = default;
  // An information box captioned with the product's display name.
  virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
  // The chosen file as native path bytes, or nothing when cancelled.
  virtual std::optional<std::string> OpenFileName(QWidget* parent) = 0;
  // True when the user confirmed printing on `printer`.
  virtual bool ConfirmPrint(QWidget* parent, QPrinter& printer) = 0;
  // Hands the URL to the desktop; false when nothing could open it (no launcher, say).
  virtual bool OpenUrl(const QUrl& url) = 0;
  // An OK/Cancel question with a caption; true only when OK was pressed. "\r\n" in the text
  // shows as a line break. A stand-in that does not answer it cancels.
  virtual bool Confirm(QWidget* parent, const QString& text, const QString& caption);
};

class QtUiServices : public UiServices {
 public:
  void ShowMessage(QWidget* parent, const QString& text) override;
  std::optional<std::string> OpenFileName(QWidget* parent) override;
  bool ConfirmPrint(QWidget* parent, QPrinter& printer) override;
  bool OpenUrl(const QUrl& url) override;
  bool Confirm(QWidget* parent, const QString& text, const QString& caption) override;
};

// The services in force: the Qt ones unless a test installed its own (not owned; null restores
// the Qt ones).
UiServices& Ui();
void SetUi(UiServices* services);
