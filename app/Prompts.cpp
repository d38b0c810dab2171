// The Qt form of the question box.
#include "app/Prompts.h"

#include <QMessageBox>

namespace {

class QtPrompts : public Prompts {
 public:
  bool Confirm(QWidget* parent, const QString& text, const QString& caption) override {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return QMessageBox::question(parent, caption, shown, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
  }
};

QtPrompts qtPrompts;
Prompts* installed = nullptr;

}  // namespace

Prompts& PromptsInForce() { return installed ? *installed : qtPrompts; }
void SetPrompts(Prompts* prompts) { installed = prompts; }
