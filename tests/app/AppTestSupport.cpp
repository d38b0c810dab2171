#include "tests/app/AppTestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <clocale>
#include <cstring>

#include "app/BrowserState.h"
#include "app/CommandLine.h"
#include "app/EcgWindowLink.h"
#include "app/ScpConfig.h"
#include "app/ServerLink.h"
#include "app/ShutDown.h"
#include "app/TFindForm.h"
#include "app/TForm2.h"
#include "app/TQSsetup.h"
#include "dicom/util/Log.h"
#include "platform/ExeFolder.h"
#include "tests/support/LoopbackPort.h"

// The font library keeps caches for the life of the process; they are not leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\nleak:libfreetype\n";
}

namespace {

// One application object per test process (each test runs in its own process).
class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "1");
    application_ = new QApplication(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setQuitOnLastWindowClosed(false);
  }

 private:
  QApplication* application_ = nullptr;
};

[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

RecordingUi::RecordingUi() { SetUi(this); }

RecordingUi::~RecordingUi() { SetUi(nullptr); }

RunningBrowser::RunningBrowser(const std::string& folder, const std::string& commandLine) {
  ScpConfig = ScpConfigRecord{};
  AbortRequested = false;
  ChosenFolder.clear();
  SetProcessExitForTests([this] { exited = true; });
  SetEcgWindowShower(
      [this](const std::vector<std::string>& files) { ecgWindowShowings.push_back(files); });
  BrowserExeFolderOverride = folder;
  FindForm = new TFindForm;
  QSsetup = new TQSsetup;
  Form2 = new TForm2;
  CommandLine = commandLine;
  FindForm->show();
  QCoreApplication::processEvents();  // delivers the start-up event
}

RunningBrowser::~RunningBrowser() {
  StopAcceptingAssociations();
  delete Form2;
  delete QSsetup;
  delete FindForm;
  Form2 = nullptr;
  QSsetup = nullptr;
  FindForm = nullptr;
  LogFree();
  SetProcessExitForTests({});
  SetEcgWindowShower({});
  BrowserExeFolderOverride.clear();
}

ClickWhen::ClickWhen(std::function<bool()> condition, QPushButton* button) {
  timer_.setInterval(0);
  QObject::connect(&timer_, &QTimer::timeout, [this, condition, button] {
    if (!condition()) return;
    timer_.stop();
    QTest::mouseClick(button, Qt::LeftButton);
  });
  timer_.start();
}

std::string ConfigRecord(const std::string& port, const std::string& aeTitle, int32_t level) {
  std::string record(kConfigRecordSize, '\0');
  std::memcpy(&record[0], port.data(), port.size());
  std::memcpy(&record[32], aeTitle.data(), aeTitle.size());
  for (int i = 0; i < 4; ++i) record[64 + i] = char(uint32_t(level) >> (8 * i));
  return record;
}

std::string FreePort() { return std::to_string(FreeLoopbackPort()); }
