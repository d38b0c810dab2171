// The browser's link to the ECG window.
#include "app/EcgWindowLink.h"

#include "ecg/window/TForm1.h"
#include "platform/gui/ShowModal.h"

namespace {
EcgWindowShower& Installed() {
  static EcgWindowShower shower;
  return shower;
}
}  // namespace

void SetEcgWindowShower(EcgWindowShower shower) { Installed() = std::move(shower); }

void ShowStudyInEcgWindow(const std::vector<std::string>& files) {
  if (Installed()) {
    Installed()(files);
    return;
  }
  TForm1& window = EcgWindow();
  window.SetFileList(files);
  ShowModal(window);
}

QWidget* CreateEcgWindow() { return &EcgWindow(); }
