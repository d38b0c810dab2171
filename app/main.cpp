// The program entry: the command line is taken before the application object (which would eat
// options such as "-style"), then the four windows are created in their fixed order: the study
// browser (which sets ExeFolder), the setup window (which reads its files from there), the
// folder chooser and the ECG window. Start-up finishes once the event loop runs.
#include <clocale>
#include <csignal>

#include "app/CommandLine.h"
#include "app/EcgWindowLink.h"
#include "app/Screenshots.h"
#include "app/ShutDown.h"
#include "app/TFindForm.h"
#include "app/TForm2.h"
#include "app/TQSsetup.h"
#include "app/TerminationSignals.h"
#include "platform/gui/GuardedApplication.h"

int main(int argc, char** argv) {
  HoldTerminationSignals();
  const std::string commandLine = CommandLineFromArguments(argc, argv);
  std::signal(SIGPIPE, SIG_IGN);
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  GuardedApplication application(qtArgc, qtArgv);
  std::setlocale(LC_NUMERIC, "C");
  // The browser's close runs the shut-down; closing the ECG window must not end the loop.
  application.setQuitOnLastWindowClosed(false);
  FindForm = new TFindForm;
  QSsetup = new TQSsetup;
  Form2 = new TForm2;
  CreateEcgWindow();
  CommandLine = commandLine;
  CloseBrowserOnTerminationSignals();
  FindForm->show();
  ScheduleScreenshotsIfAsked();
  application.exec();
  // Should the loop ever end by itself (a session manager's quit), the program still ends the
  // one way that keeps the database whole and runs no static destructors under live threads.
  ShutDownProgram();
  return 0;
}
