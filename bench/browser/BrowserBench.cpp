// The study browser over its real widgets, offscreen, on a folder that holds a study database:
// how long showing the local list and a click on each column header take until the window has
// repainted, the longest time the window goes without repainting on each path that refreshes the
// list (Local, a header click, Delete Study, Scan Folder, Search), and the process's peak memory.
// Beside each, in the same run, the floor the list cannot beat: the bare query of the study
// database and a stable sort of the column's texts with the same comparison.
//
//   bench_browser FOLDER [--runs N] [--columns 0,4] [--paths] [--import TREE] [--start-up-only]
//
// FOLDER holds trevalind.cfg and database/ecg.db. --paths adds Delete Study (one study per run)
// and Search (every study, through the program's own node); --import TREE adds Scan Folder on
// TREE; --start-up-only ends after start-up. Figures are wall-clock seconds and the process's
// CPU seconds, the minimum over the runs; a gap is the longest of any run.
#include <unistd.h>

#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLocale>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/BrowserState.h"
#include "app/CommandLine.h"
#include "app/EcgWindowLink.h"
#include "app/Gridfunctions.h"
#include "app/ServerLink.h"
#include "app/ShutDown.h"
#include "app/TFindForm.h"
#include "app/TForm2.h"
#include "app/TQSsetup.h"
#include "db/SQLdb.h"
#include "platform/gui/UiServices.h"

namespace {

// Answers every question with OK and keeps messages out of the way.
class AnsweringUi : public UiServices {
 public:
  void ShowMessage(QWidget*, const QString& text) override {
    std::printf("  (message: %s)\n", text.toStdString().c_str());
  }
  std::optional<std::string> OpenFileName(QWidget*) override { return std::nullopt; }
  bool ConfirmPrint(QWidget*, QPrinter&) override { return false; }
  bool OpenUrl(const QUrl&) override { return true; }
  bool Confirm(QWidget*, const QString&, const QString&) override { return true; }
};

double ProcessCpu() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

// Asks the grid to repaint every 5 ms and records when it does: the longest gap between two
// paints while an operation runs is the longest time the user saw a frozen window.
class PaintClock : public QObject {
 public:
  explicit PaintClock(QWidget* viewport) : viewport_(viewport) {
    viewport_->installEventFilter(this);
    heartbeat_.setInterval(5);
    QObject::connect(&heartbeat_, &QTimer::timeout, [this] { viewport_->update(); });
    heartbeat_.start();
    clock_.start();
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      const qint64 now = clock_.nsecsElapsed();
      longestGap_ = std::max(longestGap_, now - lastPaint_);
      lastPaint_ = now;
      ++paints_;
    }
    return false;
  }
  struct Run {
    double seconds;  // until the paint after the operation
    double gap;      // the longest time between two paints meanwhile
    double cpu;      // process CPU time meanwhile (all threads; the machine's load aside)
  };
  // Runs `operation` (which may run its own event loops) and waits for the paint after it.
  Run Measure(const std::function<void()>& operation) {
    viewport_->repaint();  // a fresh paint to count from
    lastPaint_ = clock_.nsecsElapsed();
    longestGap_ = 0;
    const qint64 start = lastPaint_;
    const double cpuStart = ProcessCpu();
    operation();
    const int paints = paints_;
    viewport_->update();
    while (paints_ == paints) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return {(lastPaint_ - start) / 1e9, longestGap_ / 1e9, ProcessCpu() - cpuStart};
  }

 private:
  QWidget* viewport_;
  QTimer heartbeat_;
  QElapsedTimer clock_;
  qint64 lastPaint_ = 0, longestGap_ = 0;
  int paints_ = 0;
};

// The minimum time and CPU over the runs, the slowest run, the longest gap of any run.
struct Figure {
  double seconds = 1e9, slowest = 0, gap = 0, cpu = 1e9;
  void Take(const PaintClock::Run& run) {
    seconds = std::min(seconds, run.seconds);
    slowest = std::max(slowest, run.seconds);
    gap = std::max(gap, run.gap);
    cpu = std::min(cpu, run.cpu);
  }
};

double Seconds(const std::function<void()>& work) {
  QElapsedTimer clock;
  clock.start();
  work();
  return clock.nsecsElapsed() / 1e9;
}

std::vector<int> ParseColumns(const std::string& text) {
  std::vector<int> columns;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) columns.push_back(std::stoi(text.substr(start, end - start)));
    start = end + 1;
  }
  return columns;
}

// Clicks the header of `column`, scrolling it into view first as a user would.
void ClickHeader(StringGrid& grid, int column) {
  QScrollBar* bar = grid.horizontalScrollBar();
  bar->setValue(std::min(column, bar->maximum()));
  QCoreApplication::processEvents();
  const GridRect rect = grid.CellRect(column, 0);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint((rect.left + rect.right) / 2, 10));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: bench_browser FOLDER [--runs N] [--columns 0,4] [--paths] [--import TREE] "
                 "[--start-up-only]\n");
    return 2;
  }
  std::string folder = argv[1];
  if (folder.back() != '/') folder += '/';
  int runs = 3;
  std::vector<int> columns;
  for (int c = 0; c < 13; ++c) columns.push_back(c);
  bool paths = false, startUpOnly = false;
  std::string tree;
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--runs" && i + 1 < argc)
      runs = std::stoi(argv[++i]);
    else if (option == "--columns" && i + 1 < argc)
      columns = ParseColumns(argv[++i]);
    else if (option == "--paths")
      paths = true;
    else if (option == "--import" && i + 1 < argc)
      tree = argv[++i];
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication application(qtArgc, qtArgv);
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setQuitOnLastWindowClosed(false);
  AnsweringUi ui;
  SetUi(&ui);
  SetProcessExitForTests([] {});
  SetEcgWindowShower([](const std::vector<std::string>&) {});
  std::printf("locale: %s, peak memory before the windows: %.1f MB\n",
              QLocale().name().toStdString().c_str(), PeakMegabytes());

  // The windows as the entry creates them; the posted start-up fills the list.
  BrowserExeFolderOverride = folder;
  FindForm = new TFindForm;
  QSsetup = new TQSsetup;
  Form2 = new TForm2;
  FindForm->show();
  const double startUp = Seconds([] { QCoreApplication::processEvents(); });
  StringGrid& grid = *FindForm->StringGrid1;
  const int studies = grid.RowCount() - 1;
  std::printf("studies: %d; start-up (log, database, server, list): %.3f s; peak memory %.1f MB\n",
              studies, startUp, PeakMegabytes());

  if (startUpOnly) {
    std::fflush(stdout);
    ::_exit(0);
  }
  PaintClock paints(grid.viewport());
  // The floor: the query alone, as the list runs it.
  double query = 1e9;
  for (int run = 0; run < runs; ++run)
    query = std::min(query, Seconds([] {
                       SQLdb db(DatabaseName, kOpenReadOnly);
                       std::vector<std::string> rows;
                       db.Query(kLocalStudyListSql, rows);
                     }));
  Figure local;
  for (int run = 0; run < runs; ++run)
    local.Take(paints.Measure([] { emit FindForm->ComboBox1->activated(0); }));
  std::printf(
      "show the list (\"Local\"): %.3f s, CPU %.3f s (longest without repaint %.3f s); the bare "
      "query %.3f s, ratio %.1f\n",
      local.seconds, local.cpu, local.gap, query, local.seconds / query);
  std::printf("  peak memory with the list shown: %.1f MB\n", PeakMegabytes());

  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  double slowest = 0, slowestGap = 0;
  for (int column : columns) {
    QStringList texts;
    for (int row = 1; row < grid.RowCount(); ++row) texts << grid.Cell(column, row);
    double bare = 1e9;
    for (int run = 0; run < runs; ++run) {
      QStringList copy = texts;
      bare = std::min(bare, Seconds([&] {
                        std::stable_sort(copy.begin(), copy.end(),
                                         [&](const QString& a, const QString& b) {
                                           return collator.compare(a, b) < 0;
                                         });
                      }));
    }
    Figure click;
    for (int run = 0; run < runs; ++run) {
      // Each run starts from another order, so every run really moves rows.
      ClickHeader(grid, column == 12 ? 0 : 12);
      click.Take(paints.Measure([&] { ClickHeader(grid, column); }));
    }
    slowest = std::max(slowest, click.slowest);
    slowestGap = std::max(slowestGap, click.gap);
    std::printf(
        "click \"%s\": %.3f s (slowest run %.3f s), CPU %.3f s (longest without repaint %.3f "
        "s); bare stable sort %.3f s, ratio %.1f\n",
        grid.Cell(column, 0).toStdString().c_str(), click.seconds, click.slowest, click.cpu,
        click.gap, bare, click.seconds / bare);
  }
  if (!columns.empty())
    std::printf("slowest header click (%s, any run): %.3f s, longest without repaint %.3f s\n",
                QLocale().name().toStdString().c_str(), slowest, slowestGap);

  if (paths) {
    Figure remove;
    for (int run = 0; run < runs; ++run) {
      grid.verticalScrollBar()->setValue(0);
      SetCellChecked(grid, 0, 1, 1);
      remove.Take(paints.Measure([] { QTest::mouseClick(FindForm->Button11, Qt::LeftButton); }));
    }
    std::printf("Delete Study (one study): %.3f s, CPU %.3f s, longest without repaint %.3f s\n",
                remove.seconds, remove.cpu, remove.gap);
  }
  if (!tree.empty()) {
    Figure scan;
    for (int run = 0; run < runs; ++run) {
      QTimer::singleShot(0, [tree] {
        Form2->setDirectory(tree);
        QTest::mouseClick(Form2->Button1, Qt::LeftButton);
      });
      scan.Take(paints.Measure([] { QTest::mouseClick(FindForm->Button9, Qt::LeftButton); }));
    }
    std::printf("Scan Folder: %.3f s, CPU %.3f s, longest without repaint %.3f s\n", scan.seconds,
                scan.cpu, scan.gap);
  }
  if (paths) {
    // Every study of the own node, once (it takes long).
    const auto search =
        paints.Measure([] { QTest::mouseClick(FindForm->Button4, Qt::LeftButton); });
    std::printf(
        "Search (every study of the own node, %d shown): %.3f s, longest without repaint %.3f s\n",
        grid.RowCount() - 1, search.seconds, search.gap);
  }
  std::printf("peak memory at the end: %.1f MB\n", PeakMegabytes());
  StopAcceptingAssociations();
  std::fflush(stdout);
  ::_exit(0);  // association threads may still be winding down
}
