// The local list's order, through the real browser: after the fill and after every header click
// the rows whose keys differ stand in ascending order, case-insensitive by the locale, and rows
// whose keys compare equal keep the order they had before (the database's order for the fill,
// the previous order for a click). And the node answers while a slow list is still filling.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QCollator>
#include <QComboBox>
#include <QLocale>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/Clock.h"
#include "app/Gridfunctions.h"
#include "app/TFindForm.h"
#include "db/SQLdb.h"
#include "platform/gui/Cp1252.h"
#include "tests/app/AppTestSupport.h"

namespace {

using Study = std::array<std::string, 13>;

// One study per row, its texts in the grid's column order: Name, ID, Sex, Age (birth date),
// Study Date, Study Time, Study ID, Modalities, Study Description, Accession N., Institution,
// Ref. Physician's Name, Study Instance UID. The names differ in their bytes (the database
// orders them by bytes) but several compare equal without case; accents set names apart.
const Study kNamedStudies[] = {
    {"Émile^Zoë", "P10", "M", "19800101", "20240101", "080000", "1", "ECG", "Resting", "A1",
     "Hôpital", "Dr^A", "1.1"},
    {"emile^zoe", "p10", "m", "", "20231231", "", "2", "ECG", "resting", "a1", "hopital", "",
     "1.2"},
    {"Emile^Zoe", "P2", "", "19800101", "20240101", "080000", "10", "HD", "", "A2", "Hôpital",
     "dr^a", "1.3"},
    {"EMILE^ZOE", "", "F", "2000", "", "235959", "1", "ECG-HD", "Resting", "A10", "", "Dr^B",
     "1.4"},
    {"", "P1", "M", "19800101", "20240101", "080000", "", "ECG", "Holter", "", "Clinic", "Dr^A",
     "1.5"},
    {"Zoë^Ann", "P3", "f", "19991231", "20240102", "120000", "3", "ecg", "Holter", "A3", "clinic",
     "DR^A", "1.6"},
    {"Zoe^Ann", "P3", "F", "19991231", "2024", "12", "3", "HD", "HOLTER", "A3", "Clinic", "Dr^Á",
     "1.7"},
    {"adams^bob", "P4", "M", "", "20240101", "080000", "2", "ECG", "", "A4", "", "", "1.8"},
    {"Adams^Bob", "P4", "", "19550505", "20221130", "", "2", "ECG", "Resting", "A4", "", "Dr^A",
     "1.9"},
    {"ADAMS^BOB", "p4", "m", "19550505", "", "080000", "", "HD", "resting", "a4", "CLINIC", "",
     "1.10"},
    {"Müller^Jürgen", "P5", "M", "19700101", "20240101", "235959", "10", "ECG", "Holter", "A5",
     "Hôpital", "Dr^B", "1.11"},
    {"Mueller^Juergen", "P5", "M", "19700101", "20240101", "080000", "1", "ECG", "holter", "A5",
     "hôpital", "dr^b", "1.12"},
    {"Baker^Al", "P6", "F", "19700101", "20231231", "120000", "3", "ECG", "Resting", "A6", "Clinic",
     "Dr^A", "1.13"},
};

// The named studies and many more: a sort of up to 16 rows in the standard library runs as an
// insertion sort, which keeps equal keys in order even where the sort is not stable, so the
// list needs rows enough for the partitioning steps that move them. Each name differs from all
// others in its bytes (its case) but falls into one of three groups that compare equal; every
// other column takes a few values, repeating with periods of its own, so equal keys meet in
// every column and in every order that an earlier click left.
std::vector<Study> MakeStudies() {
  std::vector<Study> studies(std::begin(kNamedStudies), std::end(kNamedStudies));
  const char* names[] = {"garcia^ana", "lee^kim", "olsen^per"};
  const char* ids[] = {"P7", "p7", "P8", "p8"};
  const char* sexes[] = {"M", "F", "m", "f", ""};
  const char* births[] = {"19800101", "19991231"};
  const char* dates[] = {"20240101", "20231231", "20240102"};
  const char* times[] = {"080000", "120000", "", "235959"};
  const char* studyIds[] = {"1", "2", "10", "3", ""};
  const char* modalities[] = {"ECG", "ecg", "HD"};
  const char* descriptions[] = {"Resting", "resting", "Holter", "HOLTER"};
  const char* accessions[] = {"A7", "a7"};
  const char* institutions[] = {"Clinic", "CLINIC", "clinic"};
  const char* physicians[] = {"Dr^A", "dr^a", "DR^A", "Dr^B"};
  for (size_t i = 0; i < 51; ++i) {
    std::string name = names[i % 3];
    size_t letter = 0;  // the bits of i / 3 say which letters are capitals
    for (char& c : name)
      if (std::isalpha(static_cast<unsigned char>(c)) && ((i / 3) >> letter++ & 1))
        c = char(std::toupper(static_cast<unsigned char>(c)));
    studies.push_back({name, ids[i % 4], sexes[i % 5], births[i % 2], dates[i % 3], times[i % 4],
                       studyIds[i % 5], modalities[i % 3], descriptions[i % 4], accessions[i % 2],
                       institutions[i % 3], physicians[i % 4], "1." + std::to_string(14 + i)});
  }
  return studies;
}
const std::vector<Study> kStudies = MakeStudies();
const int kRows = int(kStudies.size());
constexpr int kUidColumn = 12;

QString Text(int study, int column) {
  return QString::fromStdString(kStudies[size_t(study)][size_t(column)]);
}

// The rows `before` (indexes into kStudies) sorted by `column` with an exchange sort, then each
// run of equal keys put back into its order in `before`: the only order that keeps differing
// keys ascending and equal ones in their previous order.
std::vector<int> ExpectedOrder(const std::vector<int>& before, int column) {
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::vector<int> rows = before;
  for (size_t i = 0; i + 1 < rows.size(); ++i)
    for (size_t j = i + 1; j < rows.size(); ++j)
      if (collator.compare(Text(rows[i], column), Text(rows[j], column)) > 0)
        std::swap(rows[i], rows[j]);
  auto position = [&](int study) {
    return std::find(before.begin(), before.end(), study) - before.begin();
  };
  for (size_t i = 0; i < rows.size();) {
    size_t end = i + 1;
    while (end < rows.size() &&
           collator.compare(Text(rows[i], column), Text(rows[end], column)) == 0)
      ++end;
    std::sort(rows.begin() + long(i), rows.begin() + long(end),
              [&](int a, int b) { return position(a) < position(b); });
    i = end;
  }
  return rows;
}

QStringList Uids(const std::vector<int>& studies) {
  QStringList uids;
  for (int study : studies) uids << Text(study, kUidColumn);
  return uids;
}

class BrowserSort : public testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QString(GetParam())));
    SetTodayForTests([] { return QDate(2024, 3, 1); });
    folder.Write("trevalind.cfg", ConfigRecord(port, "KORVA", 1));
    browser = std::make_unique<RunningBrowser>(folder.path());
    SQLdb db("ecg", kOpenReadWrite);
    ASSERT_TRUE(db.isOpen);
    for (const auto& study : kStudies) {
      SqlValues values;
      for (const std::string& text : study)
        values.emplace_back(ToCp1252(QString::fromStdString(text)));
      ASSERT_EQ(db.Exec("INSERT INTO Study (PatientName, PatientID, PatientSex, PatientBD, "
                        "StudyDate, StudyTime, StudyID, StudyModality, StudyDescription, "
                        "AccessionNumber, InstitutionName, ReferPhysician, StudyInstanceUID) "
                        "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)",
                        values),
                0);
    }
  }
  void TearDown() override {
    browser.reset();
    SetTodayForTests({});
    QLocale::setDefault(QLocale(QLocale::C));
  }
  QStringList GridUids() const {
    QStringList uids;
    for (int row = 1; row < FindForm->StringGrid1->RowCount(); ++row)
      uids << FindForm->StringGrid1->Cell(kUidColumn, row);
    return uids;
  }
  // A click in the middle of the column's title, scrolled into view as a user would.
  void ClickHeader(int column) {
    StringGrid& grid = *FindForm->StringGrid1;
    grid.horizontalScrollBar()->setValue(std::min(column, grid.horizontalScrollBar()->maximum()));
    const GridRect rect = grid.CellRect(column, 0);
    ASSERT_FALSE(rect.IsEmpty()) << column;
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {},
                      QPoint((rect.left + rect.right) / 2, 10));
  }
  TempFolder folder;
  RecordingUi ui;
  const std::string port = FreePort();
  std::unique_ptr<RunningBrowser> browser;
};

TEST_P(BrowserSort, FillAndEveryHeaderClickKeepDifferingKeysSortedAndEqualKeysInOrder) {
  // The database hands the rows over ordered by the bytes of the name.
  std::vector<int> order(kRows);
  for (int i = 0; i < kRows; ++i) order[size_t(i)] = i;
  std::sort(order.begin(), order.end(),
            [](int a, int b) { return ToCp1252(Text(a, 0)) < ToCp1252(Text(b, 0)); });
  emit FindForm->ComboBox1->activated(0);  // "Local"
  order = ExpectedOrder(order, 0);
  ASSERT_EQ(GridUids(), Uids(order));

  // Every column, then some again from other orders, so equal keys meet different histories.
  StringGrid& grid = *FindForm->StringGrid1;
  SetCellChecked(grid, 0, 3, 1);
  const QString checked = grid.Cell(kUidColumn, 3);
  for (int column : {4, 0, 2, 1, 3, 5, 6, 7, 8, 9, 10, 11, 12, 2, 4, 11, 0, 0}) {
    ClickHeader(column);
    order = ExpectedOrder(order, column);
    ASSERT_EQ(GridUids(), Uids(order)) << "after a click on column " << column;
    for (int row = 1; row <= kRows; ++row)
      EXPECT_EQ(IsCellChecked(grid, 0, row), grid.Cell(kUidColumn, row) == checked) << row;
  }
  // Every text travelled with its row.
  for (int row = 1; row <= kRows; ++row) {
    const int study = order[size_t(row - 1)];
    for (int column = 0; column < 13; ++column)
      EXPECT_EQ(grid.Cell(column, row), Text(study, column)) << row << "," << column;
  }
}

INSTANTIATE_TEST_SUITE_P(Locales, BrowserSort, testing::Values("C", "en_US"),
                         [](const auto& info) { return std::string(info.param); });

// The list compares without the collator when the locale has no language, skipping what two
// texts share. It must order every pair as the collator does: shared beginnings of any length,
// a text that begins the other, case, accents, characters beyond 16 bits whose surrogate pairs
// differ only in their second half, and empty texts.
TEST(ListOrder, OrdersEveryPairAsTheCollatorDoes) {
  const QString texts[] = {
      "",
      "a",
      "A",
      "b",
      "1.2.840.10008.5.1.4.1.1.9.1.1",
      "1.2.840.10008.5.1.4.1.1.9.1.2",
      "1.2.840.10008.5.1.4.1.1.9.1",
      "1.2.840.10008.5.1.4.1.1.9.1.10",
      "Émile^Zoë",
      "émile^zoë",
      "Emile^Zoe",
      "EMILE^ZOE",
      "Müller",
      "MÜLLER",
      "Mueller",
      "ǅemal",
      "ǆemal",
      "ß",
      "ẞ",
      "x" + QString::fromUcs4(U"\U00010400"),  // DESERET CAPITAL LONG I
      "x" + QString::fromUcs4(U"\U00010428"),  // its small letter
      "x" + QString::fromUcs4(U"\U00010401"),
      "x" + QString::fromUcs4(U"\U0001D400"),
      "x\uFFFD",
  };
  for (const char* locale : {"C", "en_US", "de_DE"}) {
    QLocale::setDefault(QLocale(QString(locale)));
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    const GridTextLess less = ListOrder();
    for (const QString& a : texts)
      for (const QString& b : texts)
        EXPECT_EQ(less(a, b), collator.compare(a, b) < 0)
            << locale << ": " << a.toStdString() << " < " << b.toStdString();
  }
  QLocale::setDefault(QLocale(QLocale::C));
}

// Counts the paints of one widget while `counting` holds.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(const std::atomic<bool>& counting) : counting_(counting) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && counting_) ++paints;
    return false;
  }
  std::atomic<int> paints{0};

 private:
  const std::atomic<bool>& counting_;
};

// Start-up filled the list before it started the server, so the node did not answer for as
// long as the list took, and the window did not repaint meanwhile. The list here waits for a
// lock on the database; the node must answer an echo and the window repaint meanwhile, and only
// then is the lock released.
TEST(BrowserStartUp, TheNodeAnswersAndTheWindowRepaintsWhileTheListIsStillFilling) {
  SetTodayForTests([] { return QDate(2024, 3, 1); });
  TempFolder folder;
  RecordingUi ui;
  const std::string port = FreePort();
  folder.Write("trevalind.cfg", ConfigRecord(port, "KORVA", 1));
  std::make_unique<RunningBrowser>(folder.path()).reset();  // creates the database

  sqlite3* lock = nullptr;
  ASSERT_EQ(sqlite3_open((folder.path() + "database/ecg.db").c_str(), &lock), SQLITE_OK);
  // The index runs with write-ahead logging, where a writer leaves readers alone: only a
  // connection in exclusive locking mode keeps the list's query waiting, until it closes.
  ASSERT_EQ(sqlite3_exec(lock, "PRAGMA locking_mode = EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(lock, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  // The list cannot stand before the lock goes, so an echo answered before that was answered
  // while the list was filling. The wait stays well below the list's 10 s busy time-out, after
  // which the list would give up and a late server would answer all the same.
  std::atomic<bool> echoedDuringFill{false}, locked{true};
  PaintCounter counter(locked);
  QTimer heartbeat;  // asks the grid for a paint as a window uncovered by the user would
  QObject::connect(&heartbeat, &QTimer::timeout, [&counter] {
    if (!FindForm) return;
    QWidget* viewport = FindForm->StringGrid1->viewport();
    viewport->removeEventFilter(&counter);
    viewport->installEventFilter(&counter);
    viewport->update();
  });
  heartbeat.start(20);
  std::thread echo([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    // The lock is held until the node has answered and the window has painted at least once,
    // so a quick answer does not end the fill before a paint could be counted.
    while ((!echoedDuringFill || counter.paints == 0) &&
           std::chrono::steady_clock::now() < deadline) {
      if (!echoedDuringFill &&
          Shell("echoscu -to 2 -aec KORVA 127.0.0.1 " + port + " 2>/dev/null") == 0)
        echoedDuringFill = true;
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    locked = false;
    sqlite3_exec(lock, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(lock);
  });
  auto browser = std::make_unique<RunningBrowser>(folder.path());
  echo.join();
  EXPECT_TRUE(echoedDuringFill);
  EXPECT_GT(counter.paints.load(), 0);
  heartbeat.stop();
  browser.reset();
  SetTodayForTests({});
}

}  // namespace
