#include "platform/gui/UiServices.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

#include "platform/ProductName.h"

namespace {
UiServices* installed = nullptr;
}  // namespace

void QtUiServices::ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox::information(parent, kProductDisplayName, text);
}

std::optional<std::string> QtUiServices::OpenFileName(QWidget* parent) {
  const QString name = QFileDialog::getOpenFileName(parent);
  if (name.isEmpty()) return std::nullopt;
  return QFile::encodeName(name).toStdString();
}

bool QtUiServices::ConfirmPrint(QWidget* parent, QPrinter& printer) {
  QPrintDialog dialog(&printer, parent);
  return dialog.exec() == QDialog::Accepted;
}

bool QtUiServices::OpenUrl(const QUrl& url) { return QDesktopServices::openUrl(url); }

bool UiServices::Confirm(QWidget*, const QString&, const QString&) { return false; }

bool QtUiServices::Confirm(QWidget* parent, const QString& text, const QString& caption) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return QMessageBox::question(parent, caption, shown, QMessageBox::Ok | QMessageBox::Cancel,
                               QMessageBox::Ok) == QMessageBox::Ok;
}

UiServices& Ui() {
  static QtUiServices qtServices;
  return installed != nullptr ? *installed : qtServices;
}

void SetUi(UiServices* services) { installed = services; }
