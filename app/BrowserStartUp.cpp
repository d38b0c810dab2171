// The deferred start-up: log, database, server list, the server (unless an accession number was
// given), the local list, then accession-number mode when one was.
#include <QComboBox>
#include <QPlainTextEdit>

#include "app/BrowserState.h"
#include "app/Clock.h"
#include "app/CommandLine.h"
#include "app/EcgWindowLink.h"
#include "app/ScpConfig.h"
#include "app/ServerLink.h"
#include "app/ShutDown.h"
#include "app/TFindForm.h"
#include "app/TQSsetup.h"
#include "db/ObjectsDB.h"
#include "db/SQLdb.h"
#include "db/SeriesDB.h"
#include "db/StudyDB.h"
#include "db/StudyFiles.h"
#include "dicom/util/Log.h"
#include "platform/ExeFolder.h"
#include "platform/Files.h"
#include "platform/gui/Cp1252.h"
#include "platform/gui/UiServices.h"

void TFindForm::StartUp() {
  const std::string logFolder = ExeFolder + "logs/";
  if (!Files().Exists(logFolder)) Files().CreateDirectories(logFolder);
  // The name is fixed for the whole run, also past midnight.
  LogInit(logFolder + DateText(Today()) + "_ecg.log", "Trevalind", "");
  LogLevel = ScpConfig.logLevel;
  if (!Files().Exists(ExeFolder + "database/ecg.db")) {
    Files().CreateDirectories(ExeFolder + "database");
    CreateDatabaseTables();
  }
  const StringGrid& servers = *QSsetup->StringGrid2;
  for (int row = 1; row < servers.RowCount(); ++row) ComboBox1->addItem(servers.Cell(0, row));
  // The node listens before the local list fills: however many studies the list holds, it
  // never keeps the node from answering.
  if (CommandLine.empty()) {
    const std::string storeFolder = ExeFolder + "imagebox/";
    if (!Files().Exists(storeFolder)) Files().CreateDirectories(storeFolder);
    StartDicomServer(ConfigText(ScpConfig.port), ConfigText(ScpConfig.aeTitle), storeFolder);
  }
  ComboBox1->setCurrentIndex(0);
  ComboBox1Change();
  if (!CommandLine.empty()) RunAccessionNumberMode();
}

void TFindForm::CreateDatabaseTables() {
  // The three creations run even after a failed open; each then reports the open's error.
  SQLdb db(DatabaseName, kOpenCreate);
  auto report = [&](bool created, const char* line) {
    AppendMemo(created ? QString(line) : FromCp1252(db.errorText));
  };
  report(StudyDB().CreateTable(db), "Study Table created.");
  report(SeriesDB().CreateTable(db), "Series Table created.");
  report(ObjectsDB().CreateTable(db), "Object Table created.");
}

void TFindForm::RunAccessionNumberMode() {
  hide();
  for (int row = 1; row < StringGrid1->RowCount(); ++row) {
    if (ToCp1252(StringGrid1->Cell(9, row)) != CommandLine) continue;  // byte-exact
    std::vector<std::string> files;
    GetStudyFiles(files, ToCp1252(StringGrid1->Cell(12, row)));
    ShowStudyInEcgWindow(files);
    close();
    return;
  }
  Ui().ShowMessage(this, "Accession Number: " + FromCp1252(CommandLine) + ", wasn't found");
  close();
}
