// The study browser, the program's main window: the local study list, remote search and
// retrieve, delete, folder import, echo test and the message pane. Everything runs on the GUI
// thread; long operations run inside their handlers and process events between steps, so
// "Abort!" can be clicked (and other handlers can run re-entrantly).
//
// Start-up is finished by a posted event of type kStartUpEvent, delivered once the event loop
// runs, when all windows exist and the command line is stored.
#pragma once

#include <QEvent>
#include <QWidget>
#include <string>

#include "app/StringGrid.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class SQLdb;
class StudyInfo;

// An event type of the application's own range, which the constructor posts to the window itself.
inline constexpr QEvent::Type kStartUpEvent = QEvent::Type(0x8191);

// Fills the grid with the local studies of `sql`, a box in column 0 of each row, then sorts by
// name. The grid stays as it was when the database cannot be opened or the query fails. The
// query runs beside the event loop (BackgroundWork.h): the window repaints meanwhile and timers
// and posted events are served; user input waits until the list stands.
void FillLocalStudyList(StringGrid& grid, const std::string& sql);
// One search result into a row; the Sex and Age cells are not written.
void FillStudyRow(StringGrid& grid, const StudyInfo& study, int row);
// Sorts the rows below the header by one column, ascending and case-insensitive by the user's
// locale; rows with equal keys keep their order. Rows move whole (texts and slots).
void SortGridByColumn(StringGrid& grid, int column);
// The list's order, made for the calling thread: ascending and case-insensitive by the user's
// locale, as QCollator compares.
GridTextLess ListOrder();
// QStringView::compare without case, less than 0: the collator's comparison when the locale has
// no language.
bool CaseInsensitiveLess(QStringView a, QStringView b);

class TFindForm : public QWidget {
  Q_OBJECT
 public:
  explicit TFindForm(QWidget* parent = nullptr);

  void StartUp();
  void CreateDatabaseTables();
  void ComboBox1Change();
  void StringGrid1MouseDown(Qt::MouseButton button, int x, int y);
  void StringGrid1MouseUp(Qt::MouseButton button, int x, int y);
  void StringGrid1DblClick();
  void Button1Click();   // End
  void Button2Click();   // Setup
  void Button3Click();   // Echo
  void Button4Click();   // Search
  void Button5Click();   // Abort!
  void Button6Click();   // Today
  void Button7Click();   // Yesterday
  void Button8Click();   // About
  void Button9Click();   // Scan Folder
  void Button10Click();  // Move Study
  void Button11Click();  // Delete Study
  void CheckBox1Click();
  void CheckBox2Click();
  // Imports one folder ("/"-terminated) and its sub-folders through `db`.
  void ImportFolder(SQLdb& db, const std::string& folder);

  QPushButton *Button1, *Button2, *Button3, *Button4, *Button5, *Button6, *Button7, *Button8,
      *Button9, *Button10, *Button11;
  QLineEdit *Edit1, *Edit2, *Edit3, *Edit4;
  QCheckBox *CheckBox1, *CheckBox2;
  QComboBox* ComboBox1;
  StringGrid* StringGrid1;
  QPlainTextEdit* Memo1;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  bool Dispatch(QEvent* event);
  void FormCreate();
  void BuildLeftBar();
  void BuildFilterBar();
  void RunAccessionNumberMode();
  void AppendMemo(const QString& line);
  bool LocalSelected() const;
  void ImportFile(SQLdb& db, const std::string& path, const std::string& name);

  bool started_ = false;
  int lastPressRow_ = -1;
};

extern TFindForm* FindForm;
// Tests that create the browser in their own process point it at a temporary folder ("/"-ended)
// instead of the folder of the running executable.
extern std::string BrowserExeFolderOverride;
