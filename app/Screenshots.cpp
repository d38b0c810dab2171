#include "app/Screenshots.h"

#include <QDir>
#include <QPixmap>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

#include "app/Gridfunctions.h"
#include "app/ShutDown.h"
#include "app/TFindForm.h"
#include "db/StudyFiles.h"
#include "ecg/window/TForm1.h"
#include "platform/gui/Cp1252.h"

void ScheduleScreenshotsIfAsked() {
  const QString folder = qEnvironmentVariable("TREVALIND_SCREENSHOTS");
  if (folder.isEmpty()) return;
  QTimer::singleShot(4000, [folder] {
    QDir().mkpath(folder);
    // The first row ticked, as a user marks a study to delete or retrieve.
    SetCellChecked(*FindForm->StringGrid1, 0, 1, 1);
    FindForm->grab().save(folder + "/study-browser.png");
    // The columns right of the view, scrolled in as far as they go.
    QScrollBar* columns = FindForm->StringGrid1->horizontalScrollBar();
    columns->setValue(columns->maximum());
    FindForm->grab().save(folder + "/study-browser-right.png");
    columns->setValue(0);
    SetCellChecked(*FindForm->StringGrid1, 0, 1, 0);
    std::vector<std::string> files;
    GetStudyFiles(files, ToCp1252(FindForm->StringGrid1->Cell(12, 1)));
    TForm1& window = EcgWindow();
    window.SetFileList(files);
    window.show();
    QTimer::singleShot(1000, [folder, &window] {
      window.grab().save(folder + "/ecg-window.png");
      // Both cursors on, at their start positions: the times, the amplitudes and the
      // differences beside the header and the labels.
      window.SpeedButton2->click();
      window.SpeedButton3->click();
      window.grab().save(folder + "/ecg-window-cursors.png");
      ShutDownProgram();
    });
  });
}
