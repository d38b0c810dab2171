#include "app/Screenshots.h"

#include <QDir>
#include <QPixmap>
#include <QTimer>

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
    FindForm->grab().save(folder + "/study-browser.png");
    std::vector<std::string> files;
    GetStudyFiles(files, ToCp1252(FindForm->StringGrid1->Cell(12, 1)));
    TForm1& window = EcgWindow();
    window.SetFileList(files);
    window.show();
    QTimer::singleShot(1000, [folder, &window] {
      window.grab().save(folder + "/ecg-window.png");
      ShutDownProgram();
    });
  });
}
