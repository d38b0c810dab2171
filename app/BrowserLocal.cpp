// The local study list: filling it from the study database, sorting it, deleting studies.
#include <QCollator>
#include <QCoreApplication>
#include <QLocale>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "app/BackgroundWork.h"
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

constexpr int kColumns = 13;
// Grid column <- field of a "SELECT * FROM STUDY" row (numbered from 1).
constexpr int kStudyFieldOfColumn[kColumns] = {13, 12, 14, 15, 2, 3, 4, 8, 5, 6, 10, 7, 1};

}  // namespace

bool CaseInsensitiveLess(QStringView a, QStringView b) {
  // Units that are equal fold equally and leave the same state behind, so the first unequal one
  // decides; a high surrogate before it stays, as it may pair with that unit.
  qsizetype same = std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
  if (same > 0 && a[same - 1].isHighSurrogate()) --same;
  return a.sliced(same).compare(b.sliced(same), Qt::CaseInsensitive) < 0;
}

GridTextLess ListOrder() {
  auto collator = std::make_shared<QCollator>();
  collator->setCaseSensitivity(Qt::CaseInsensitive);
  // Without a language the collator compares the texts case-insensitively unit by unit, and
  // long shared beginnings (the instance UIDs of one site) can be skipped.
  if (collator->locale().language() == QLocale::C) return CaseInsensitiveLess;
  // The comparison owns its collator, so it serves the thread that made it.
  return [collator](QStringView a, QStringView b) { return collator->compare(a, b) < 0; };
}

namespace {

// The study rows of `sql` as the list shows them, in its order by name; nothing when the
// database cannot be opened or the query fails. Touches no widget, so it runs beside the
// event loop.
std::optional<std::vector<GridRow>> LoadStudyRows(const std::string& sql) {
  SQLdb db(DatabaseName, kOpenReadOnly);
  if (!db.isOpen) {
    LogWrite("ERROR, Couldn't open database");
    return std::nullopt;
  }
  std::vector<std::string> lines;
  if (db.Query(sql, lines) != 0) return std::nullopt;
  std::vector<GridRow> rows(lines.size());
  for (size_t k = 0; k < lines.size(); ++k) {
    GridRow& row = rows[k];
    row.texts.resize(kColumns);
    row.objects.assign(kColumns, 0);
    for (int c = 0; c < kColumns; ++c)
      row.texts[size_t(c)] = FromCp1252(GetField(kStudyFieldOfColumn[c], ";", lines[k]));
    std::string().swap(lines[k]);  // the texts are in the row now
  }
  StableSortRows(rows, 0, 0, ListOrder());
  return rows;
}

}  // namespace

void FillLocalStudyList(StringGrid& grid, const std::string& sql) {
  // The query and the rows' first order are made off the GUI thread: a large list must not
  // keep the window from repainting.
  std::optional<std::vector<GridRow>> rows;
  RunBesideEventLoop([&rows, &sql] { rows = LoadStudyRows(sql); });
  if (!rows) return;
  std::vector<GridRow> replaced;
  {
    // The window repaints once, when the list stands.
    GridUpdate update(grid);
    // One row per result line; with none, the one empty row.
    const int count = int(rows->size());
    if (count == 0) rows->emplace_back();
    replaced = grid.SetRows(1, std::move(*rows));
    for (int row = 1; row <= count; ++row) SetCellCheckBox(grid, 0, row, 0, 1);
  }
  // Freeing the texts of a large list that was shown before takes long, too.
  RunBesideEventLoop([&replaced] { std::vector<GridRow>().swap(replaced); });
}

void FillStudyRow(StringGrid& grid, const StudyInfo& study, int row) {
  SetCellCheckBox(grid, 0, row, 0, 1);
  const std::pair<int, const std::string*> cells[] = {
      {0, &study.PatientName},      {1, &study.PatientID},        {4, &study.StudyDate},
      {5, &study.StudyTime},        {6, &study.StudyID},          {7, &study.StudyModality},
      {8, &study.StudyDescription}, {9, &study.AccessionNumber},  {10, &study.InstitutionName},
      {11, &study.ReferPhysician},  {12, &study.StudyInstanceUID}};
  for (const auto& [column, text] : cells) grid.SetCell(column, row, FromCp1252(*text));
}

void SortGridByColumn(StringGrid& grid, int column) { grid.StableSortRows(1, column, ListOrder()); }

void TFindForm::Button11Click() {
  if (!LocalSelected()) return;
  if (!Ui().Confirm(this, "Are you sure you want to delete those studies?", "WARNING")) return;
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
      // Each of its statements waits for the disk: the study goes beside the event loop.
      if (!study.StudyInstanceUID.empty()) RunBesideEventLoop([&study, &db] { study.Delete(db); });
      SetCellChecked(*StringGrid1, 0, row, 0);
      QCoreApplication::processEvents();
    }
    // Compacting a large database takes long: the connection goes to a worker meanwhile.
    RunBesideEventLoop([&db] { db.Exec("VACUUM"); });
  }
  FillLocalStudyList(*StringGrid1, kLocalStudyListSql);
}
