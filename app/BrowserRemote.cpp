// Search, retrieve and echo against the selected node. The search and the retrieve process
// events between responses so "Abort!" can be clicked; the echo is one blocking exchange.
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <chrono>
#include <exception>
#include <memory>
#include <thread>

#include "app/BackgroundWork.h"
#include "app/BrowserState.h"
#include "app/Gridfunctions.h"
#include "app/ScpConfig.h"
#include "app/ScreenCursor.h"
#include "app/SearchFilter.h"
#include "app/TFindForm.h"
#include "db/StudyInfo.h"
#include "dicom/util/Log.h"
#include "net/PDU_Service.h"
#include "net/client/ClientOperations.h"
#include "platform/gui/Cp1252.h"
#include "platform/gui/UiServices.h"

namespace {

constexpr int kTimeoutSeconds = 60;
constexpr int kPending = 0xFF00;
constexpr int kPendingWarning = 0xFF01;

std::string OwnAeTitle() { return ConfigText(ScpConfig.aeTitle); }

// An abandoned move may still send responses; only a new association is sure to be clean.
void AbortAssociation(PDU_Service& pdu) { pdu.abortRQ.Write(pdu.Link); }

}  // namespace

void TFindForm::Button4Click() {
  if (Edit1->text().isEmpty() && Edit2->text().isEmpty() && !CheckBox1->isChecked() &&
      !CheckBox2->isChecked() &&
      !Ui().Confirm(this, "Have no filters\r\nSearch can take very long", "WARNING"))
    return;
  StringGrid& grid = *StringGrid1;
  grid.SetRowCount(2);
  grid.EmptyRow(1);
  QueryRecords records;
  auto query = std::make_unique<StudyInfo>();
  if (!Edit2->text().isEmpty()) query->PatientName = ToCp1252(Edit2->text());
  if (!Edit1->text().isEmpty()) query->PatientID = ToCp1252(Edit1->text());
  const std::string from = ToCp1252(Edit3->text()), to = ToCp1252(Edit4->text());
  if (CheckBox1->isChecked() && CheckBox2->isChecked())
    query->StudyDate = from + " - " + to;
  else if (CheckBox1->isChecked())
    query->StudyDate = from + " -";
  else if (CheckBox2->isChecked())
    query->StudyDate = "- " + to;
  records.studies.push_back(std::move(query));

  WaitCursor cursor;
  auto pdu = std::make_unique<PDU_Service>();
  AbortRequested = false;
  int shown = 0;
  size_t next = 0;
  int status = kPending;
  if (OpenAssociation(*pdu, RemoteHost, RemotePort, OwnAeTitle(), RemoteAETitle,
                      kStudyRootFindClass, kTimeoutSeconds) &&
      WriteFindRQ(*pdu, records, kStudyRootFindClass, "STUDY")) {
    // Rows come one per response, often thousands a second: the grid repaints and its scroll
    // bar follows once per batch of them, not once per row.
    constexpr qint64 kBatchMilliseconds = 100;
    GridUpdate batch(grid);
    QElapsedTimer batchClock;
    batchClock.start();
    while (status == kPending || status == kPendingWarning) {
      if (batchClock.hasExpired(kBatchMilliseconds)) {
        grid.EndUpdate();
        grid.BeginUpdate();
        batchClock.restart();
      }
      // A node may take long before its first response (it queries all its studies first):
      // the wait runs beside the event loop so the window keeps repainting meanwhile.
      RunBesideEventLoop([&] { status = ReadFindRSP(*pdu, records, "STUDY"); });
      if (status == -1 || status == 0 || AbortRequested) break;
      try {
        if (next < records.studies.size()) {
          const StudyInfo& study = *records.studies[next];
          if (ListedInSearch(study.StudyModality)) {
            FillStudyRow(grid, study, shown + 1);
            QCoreApplication::processEvents();
            grid.SetRowCount(grid.RowCount() + 1);
            ++shown;
          }
          ++next;
        }
      } catch (const std::exception&) {
        LogWrite("ERROR, Exception assigning StudyInfo at row: " + std::to_string(shown));
      }
    }
  }
  if (grid.RowCount() > 2) grid.SetRowCount(grid.RowCount() - 1);
  SortGridByColumn(grid, 0);
  if (status == 0)
    AppendMemo("Study Query OK!, found " + QString::number(records.studies.size()) + " studies");
  else
    AppendMemo("ERROR: Study Query Failed!");
  pdu->Close();
}

void TFindForm::Button10Click() {
  WaitCursor cursor;
  if (LocalSelected()) return;
  auto open = [this](PDU_Service& pdu) {
    if (OpenAssociation(pdu, RemoteHost, RemotePort, OwnAeTitle(), RemoteAETitle,
                        kStudyRootMoveClass, kTimeoutSeconds))
      return true;
    AppendMemo("Association Failed!");
    return false;
  };
  auto pdu = std::make_unique<PDU_Service>();
  if (!open(*pdu)) {
    pdu->Close();
    return;
  }
  StringGrid& grid = *StringGrid1;
  for (int row = 1; row < grid.RowCount(); ++row) {
    if (!IsCellChecked(grid, 0, row)) continue;
    const std::string uid = ToCp1252(grid.Cell(12, row));
    // An empty key would match every study of the node.
    if (uid.empty()) {
      SetCellChecked(grid, 0, row, 0);
      continue;
    }
    if (!pdu) {
      pdu = std::make_unique<PDU_Service>();
      if (!open(*pdu)) break;  // the rows not handled stay checked
    }
    int status = kPending, remaining = 0;
    AbortRequested = false;
    QueryRecords records;
    records.studies.push_back(std::make_unique<StudyInfo>());
    records.studies.back()->StudyInstanceUID = uid;
    if (WriteMoveRQ(*pdu, records, kStudyRootMoveClass, "STUDY", OwnAeTitle())) {
      do {
        status = ReadMoveRSP(*pdu, remaining);
        if (remaining != 0) AppendMemo("Faltan: " + QString::number(remaining));
        QCoreApplication::processEvents();
      } while (status == kPending && !AbortRequested);
    }
    AppendMemo(status == 0 ? "Move Ok!" : "ERROR: Move Failed!");
    if (AbortRequested) {
      AbortAssociation(*pdu);
      pdu.reset();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    SetCellChecked(grid, 0, row, 0);
  }
  if (pdu) pdu->Close();
}

void TFindForm::Button3Click() {
  const bool ok = EchoSCU(RemoteHost, RemotePort, OwnAeTitle(), RemoteAETitle, kTimeoutSeconds);
  AppendMemo((ok ? "Echo OK!: " : "Echo Failed!: ") + FromCp1252(RemoteAETitle));
}
