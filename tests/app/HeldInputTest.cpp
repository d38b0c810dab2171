// Input given while the local list reloads. The reload's wait used to leave keys and clicks in
// the window system's queue, where nothing woke the main loop for them once the list stood: they
// showed only when the next input arrived, and a header click that did get through sorted the
// list that was about to be replaced, so it was lost. Input given meanwhile must act on nothing
// until the list stands, and then take effect, in the order it was given, without any further
// event.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "app/Clock.h"
#include "app/TFindForm.h"
#include "db/SQLdb.h"
#include "tests/app/AppTestSupport.h"

namespace {

constexpr int kUidColumn = 12;

// Quits `loop` when a mouse button is released on the watched object, once the release has been
// handled.
class ReleaseWatch : public QObject {
 public:
  explicit ReleaseWatch(QEventLoop& loop) : loop_(loop) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonRelease)
      QTimer::singleShot(0, &loop_, [this] { loop_.quit(); });
    return false;
  }

 private:
  QEventLoop& loop_;
};

QStringList Column(const StringGrid& grid, int column) {
  QStringList texts;
  for (int row = 1; row < grid.RowCount(); ++row) texts << grid.Cell(column, row);
  return texts;
}

TEST(HeldInput, AKeyAndAHeaderClickGivenDuringAReloadTakeEffectRightAfterIt) {
  SetTodayForTests([] { return QDate(2024, 3, 1); });
  TempFolder folder;
  RecordingUi ui;
  const std::string port = FreePort();
  folder.Write("trevalind.cfg", ConfigRecord(port, "KORVA", 1));
  RunningBrowser browser(folder.path());
  {
    // By name the rows stand in one order, by instance UID in the reverse one.
    SQLdb db("ecg", kOpenReadWrite);
    ASSERT_TRUE(db.isOpen);
    for (const auto& [name, uid] :
         {std::pair{"Adams^Ann", "1.3"}, {"Baker^Bob", "1.2"}, {"Clark^Cy", "1.1"}})
      ASSERT_EQ(db.Exec("INSERT INTO Study (PatientName, StudyModality, StudyInstanceUID) "
                        "VALUES (?, 'ECG', ?)",
                        {name, uid}),
                0);
  }
  // No blinking text cursor: its timer would wake the main loop and hide a missed wake-up.
  const int flashTime = QApplication::cursorFlashTime();
  QApplication::setCursorFlashTime(0);
  StringGrid& grid = *FindForm->StringGrid1;
  QWindow* window = FindForm->windowHandle();
  ASSERT_NE(window, nullptr);

  // The reload waits for a lock on the database until the input has been given.
  sqlite3* lock = nullptr;
  ASSERT_EQ(sqlite3_open((folder.path() + "database/ecg.db").c_str(), &lock), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(lock, "PRAGMA locking_mode = EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(lock, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  QString textDuringReload = "(not looked at)";
  QTimer::singleShot(0, [&] {
    // Inside the reload's wait: a click into Patient ID, two keys, then a click on the title of
    // "Study Instance UID", through the window as the window system hands them over. The second
    // click moves the pointer on before the first one has been sent on.
    QLineEdit& edit = *FindForm->Edit1;
    QTest::mouseClick(window, Qt::LeftButton, {}, edit.mapTo(FindForm, edit.rect().center()));
    QTest::keyClick(window, Qt::Key_4, Qt::NoModifier);
    QTest::keyClick(window, Qt::Key_2, Qt::NoModifier);
    const GridRect title = grid.CellRect(kUidColumn, 0);
    const QPoint inTitle((title.left + title.right) / 2, 10);
    if (!title.IsEmpty())
      QTest::mouseClick(window, Qt::LeftButton, {}, grid.viewport()->mapTo(FindForm, inTitle));
    QTimer::singleShot(100, [&] {
      textDuringReload = FindForm->Edit1->text();
      sqlite3_exec(lock, "COMMIT", nullptr, nullptr, nullptr);
      sqlite3_close(lock);
    });
  });
  // The title must be in view for the click; the UID column is the last one.
  grid.horizontalScrollBar()->setValue(grid.horizontalScrollBar()->maximum());
  emit FindForm->ComboBox1->activated(0);  // "Local"
  EXPECT_TRUE(textDuringReload.isEmpty())
      << "a key acted while the list was reloading: " << textDuringReload.toStdString();

  // The main loop as the program runs it: only what the input itself causes may end the wait.
  QEventLoop loop;
  ReleaseWatch watch(loop);
  grid.viewport()->installEventFilter(&watch);
  bool timedOut = false;
  QTimer::singleShot(5000, &loop, [&] {
    timedOut = true;
    loop.quit();
  });
  loop.exec();
  grid.viewport()->removeEventFilter(&watch);
  EXPECT_FALSE(timedOut) << "the input took effect only when something else woke the loop";
  EXPECT_EQ(FindForm->Edit1->text(), "42");
  EXPECT_EQ(Column(grid, kUidColumn), QStringList({"1.1", "1.2", "1.3"}))
      << "the header click was lost";
  QApplication::setCursorFlashTime(flashTime);
  SetTodayForTests({});
}

}  // namespace
