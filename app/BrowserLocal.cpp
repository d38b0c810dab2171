// The local study list: filling it from the study database, sorting it, deleting studies.
#include <QCollator>
#include <QCoreApplication>
#include <vector>

#include "app/BrowserState.h"
#include "app/Gridfunctions.h"
#include "app/ScreenCursor.h"
#include "app/TFindForm.h"
#include "db/SQLdb.h"
#include "db/StudyDB.h"
#include "db/StudyInfo.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "platform/gui/Cp1252.h"
#include "platform/gui/UiServices.h"

namespace {

// Grid column <- field of a "SELECT * FROM STUDY" row (numbered from 1).
constexpr int kStudyFieldOfColumn[13] = {13, 12, 14, 15, 2, 3, 4, 8, 5, 6, 10, 7, 1};

}  // namespace

void FillLocalStudyList(StringGrid& grid, const std::string& sql) {
  SQLdb db(DatabaseName, kOpenReadOnly);
  if (!db.isOpen) {
    LogWrite("ERROR, Couldn't open database");
    return;
  }
  std::vector<std::string> rows;
  if (db.Query(sql, rows) != 0) return;
  grid.SetRowCount(2);
  grid.EmptyRow(1);
  for (size_t k = 0; k < rows.size(); ++k) {
    const int row = int(k) + 1;
    SetCellCheckBox(grid, 0, row, 0, 1);
    for (int c = 0; c < 13; ++c)
      grid.SetCell(c, row, FromCp1252(GetField(kStudyFieldOfColumn[c], ";", rows[k])));
    grid.SetRowCount(grid.RowCount() + 1);
  }
  if (grid.RowCount() > 2) grid.SetRowCount(grid.RowCount() - 1);
  SortGridByColumn(grid, 0);
}

void FillStudyRow(StringGrid& grid, const StudyInfo& study, int row) {
  SetCellCheckBox(grid, 0, row, 0, 1);
  const std::pair<int, const std::string*> cells[] = {
      {0, &study.PatientName},      {1, &study.PatientID},       {4, &study.StudyDate},
      {5, &study.StudyTime},        {6, &study.StudyID},         {7, &study.StudyModality},
      {8, &study.StudyDescription}, {9, &study.AccessionNumber}, {10, &study.InstitutionName},
      {11, &study.ReferPhysician},  {12, &study.StudyInstanceUID}};
  for (const auto& [column, text] : cells) grid.SetCell(column, row, FromCp1252(*text));
}

void SortGridByColumn(StringGrid& grid, int column) {
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  const int last = grid.RowCount() - 1;
  for (int i = 1; i < last; ++i)
    for (int j = i + 1; j <= last; ++j)
      if (collator.compare(grid.Cell(column, i), grid.Cell(column, j)) > 0) {
        const GridRow saved = grid.RowData(j);
        grid.SetRowData(j, grid.RowData(i));
        grid.SetRowData(i, saved);
      }
}

void TFindForm::Button11Click() {
  if (!LocalSelected()) return;
  if (!Ui().Confirm(this, "Are you sure you want to delete those studies?", "WARNING"))
    return;
  {
    SQLdb db(DatabaseName, kOpenReadWrite);
    if (!db.isOpen) {
      LogWrite("ERROR, Couldn't open database");
      return;
    }
    WaitCursor cursor;
    for (int row = 1; row < StringGrid1->RowCount(); ++row) {
      if (!IsCellChecked(*StringGrid1, 0, row)) continue;
      // The study row goes by its primary key alone: the grid's Patient ID has lost its ";".
      // The name from the row only tells the log whose study goes.
      StudyDB study;
      study.StudyInstanceUID = ToCp1252(StringGrid1->Cell(12, row));
      study.PatientName = ToCp1252(StringGrid1->Cell(0, row));
      if (!study.StudyInstanceUID.empty())
        study.Delete(db, [] { QCoreApplication::processEvents(); });
      SetCellChecked(*StringGrid1, 0, row, 0);
      QCoreApplication::processEvents();
    }
    db.Exec("VACUUM");
  }
  FillLocalStudyList(*StringGrid1, kLocalStudyListSql);
}
