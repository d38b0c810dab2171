// The local study list: filling it from the study database, sorting it, deleting studies.
#include <QCollator>
#include <QCoreApplication>
#include <QLocale>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
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

namespace {

QCollator ListCollator(const QLocale& locale) {
  QCollator collator(locale);
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  return collator;
}

// Without a language the collator compares the texts case-insensitively unit by unit, and long
// shared beginnings (the instance UIDs of one site) can be skipped.
bool HasLanguage(const QLocale& locale) { return locale.language() != QLocale::C; }

// A text's place in the list's order where the locale has a language: its collation key, which
// orders as the collator compares. The collator puts an empty text before every other one, even
// before a text of ignorable characters whose key is the same, so emptiness is kept beside it.
struct ListKey {
  QCollatorSortKey key;
  bool empty;
};

ListKey MakeListKey(const QCollator& collator, QStringView text) {
  // The key is made at once, while the text it borrows stands.
  return {collator.sortKey(QString::fromRawData(text.data(), text.size())), text.isEmpty()};
}

bool ListKeyLess(const ListKey& a, const ListKey& b) {
  if (a.empty || b.empty) return a.empty && !b.empty;
  return a.key.compare(b.key) < 0;
}

// How many threads share out a column of `count` texts: one for a short column, at most four.
size_t PartsFor(size_t count) {
  constexpr size_t kTextsPerPart = 8192;
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp<size_t>(count / kTextsPerPart, 1, std::min<size_t>(4, cores));
}

// Runs part(0) to part(parts - 1) at once, part 0 on the calling thread.
void RunParts(size_t parts, const std::function<void(size_t)>& part) {
  std::vector<std::jthread> helpers;
  for (size_t p = 1; p < parts; ++p) helpers.emplace_back(part, p);
  part(0);
}

// Merges the sorted runs of `entries` that `bounds` delimit (runs + 1 positions) into one run,
// neighbours in pairs at once. Where keys tie, the entries of the earlier run come first, so a
// stable sort of each run gives a stable sort of the whole.
template <typename Entry, typename Less>
void MergeRuns(std::vector<Entry>& entries, std::vector<size_t> bounds, const Less& less) {
  while (bounds.size() > 2) {
    RunParts((bounds.size() - 1) / 2, [&](size_t pair) {
      const auto at = [&](size_t bound) { return entries.begin() + long(bounds[bound]); };
      std::inplace_merge(at(2 * pair), at(2 * pair + 1), at(2 * pair + 2), less);
    });
    std::vector<size_t> merged;
    for (size_t bound = 0; bound < bounds.size(); bound += 2) merged.push_back(bounds[bound]);
    if (merged.back() != bounds.back()) merged.push_back(bounds.back());  // a run left alone
    bounds = std::move(merged);
  }
}

template <typename Entry>
std::vector<size_t> Indexes(const std::vector<Entry>& entries) {
  std::vector<size_t> order;
  order.reserve(entries.size());
  for (const Entry& entry : entries) order.push_back(entry.second);
  return order;
}

// The list's order of one column, stable: texts that compare equal keep their order. The sort
// moves (key, index) entries, never the texts. A long column is shared out among a few threads:
// each sorts one part of it (where the locale has a language, after making that part's
// collation keys with a collator of its own, as a collator serves one thread), and the sorted
// parts are merged.
std::vector<size_t> ListSortOrder(const std::vector<QStringView>& texts) {
  const QLocale locale;
  const size_t parts = PartsFor(texts.size());
  std::vector<size_t> bounds;
  for (size_t p = 0; p <= parts; ++p) bounds.push_back(texts.size() * p / parts);
  if (!HasLanguage(locale)) {
    using Entry = std::pair<QStringView, size_t>;
    std::vector<Entry> entries;
    entries.reserve(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) entries.emplace_back(texts[i], i);
    const auto less = [](const Entry& a, const Entry& b) {
      return CaseInsensitiveLess(a.first, b.first);
    };
    RunParts(parts, [&](size_t p) {
      std::stable_sort(entries.begin() + long(bounds[p]), entries.begin() + long(bounds[p + 1]),
                       less);
    });
    MergeRuns(entries, bounds, less);
    return Indexes(entries);
  }
  using Entry = std::pair<const ListKey*, size_t>;
  std::vector<std::vector<ListKey>> keys(parts);
  std::vector<Entry> entries(texts.size());
  const auto less = [](const Entry& a, const Entry& b) { return ListKeyLess(*a.first, *b.first); };
  RunParts(parts, [&](size_t p) {
    const QCollator collator = ListCollator(locale);
    std::vector<ListKey>& partKeys = keys[p];
    partKeys.reserve(bounds[p + 1] - bounds[p]);
    for (size_t i = bounds[p]; i < bounds[p + 1]; ++i)
      partKeys.push_back(MakeListKey(collator, texts[i]));
    for (size_t i = bounds[p]; i < bounds[p + 1]; ++i) entries[i] = {&partKeys[i - bounds[p]], i};
    std::stable_sort(entries.begin() + long(bounds[p]), entries.begin() + long(bounds[p + 1]),
                     less);
  });
  MergeRuns(entries, bounds, less);
  return Indexes(entries);
}

}  // namespace

GridTextLess ListOrder() {
  const QLocale locale;
  if (!HasLanguage(locale)) return CaseInsensitiveLess;
  auto collator = std::make_shared<QCollator>(ListCollator(locale));
  // The comparison owns its collator, so it serves the thread that made it. It compares as the
  // list's sort does, through the texts' keys.
  return [collator](QStringView a, QStringView b) {
    return ListKeyLess(MakeListKey(*collator, a), MakeListKey(*collator, b));
  };
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
  SortRows(rows, 0, 0, ListSortOrder);
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

void SortGridByColumn(StringGrid& grid, int column) { grid.SortRows(1, column, ListSortOrder); }

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
