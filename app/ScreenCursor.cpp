#include "app/ScreenCursor.h"

#include <QApplication>
#include <QCursor>

void SetHourglassCursor() {
  if (QApplication::overrideCursor())
    QApplication::changeOverrideCursor(Qt::WaitCursor);
  else
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void SetDefaultCursor() {
  while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}
