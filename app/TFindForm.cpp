// The browser window: its components, the event hook for start-up, and the small handlers.
#include "app/TFindForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/BrowserState.h"
#include "app/Clock.h"
#include "app/EcgWindowLink.h"
#include "app/Gridfunctions.h"
#include "app/ScpConfig.h"
#include "app/ShutDown.h"
#include "app/TQSsetup.h"
#include "db/StudyFiles.h"
#include "dicom/util/Log.h"
#include "ecg/Study.h"
#include "platform/ExeFolder.h"
#include "platform/gui/Cp1252.h"
#include "platform/gui/ImageCanvas.h"
#include "platform/gui/ShowModal.h"
#include "platform/gui/UiServices.h"

TFindForm* FindForm = nullptr;
std::string BrowserExeFolderOverride;

namespace {

struct ColumnTitle {
  const char* title;
  int width;
};
constexpr ColumnTitle kColumns[13] = {{"Name", 250},
                                      {"ID", 50},
                                      {"Sex", 50},
                                      {"Age", 50},
                                      {"Study Date", 100},
                                      {"Study Time", 100},
                                      {"Study ID", 50},
                                      {"Modalities", 50},
                                      {"Study Description", 150},
                                      {"Accession N.", 50},
                                      {"Institution", 200},
                                      {"Ref. Physician's Name", 150},
                                      {"Study Instance UID", 300}};

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, int y) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setGeometry(8, y, 81, 28);
  return button;
}

}  // namespace

TFindForm::TFindForm(QWidget* parent) : QWidget(parent) {
  setObjectName("FindForm");
  setWindowTitle(QString(kChartBanner) + " 1.6");
  setFixedSize(868, 571);
  BuildLeftBar();
  BuildFilterBar();
  StringGrid1 = new StringGrid(13, 2, this);
  StringGrid1->setObjectName("StringGrid1");
  StringGrid1->setGeometry(96, 48, 768, 410);
  // The columns were laid out for Tahoma at 8 points; the wider system sans would cut an
  // eight-digit date in "Age" short, so a face of Tahoma's widths stands in where it is missing.
  StringGrid1->setFont(MakePixelFont("Tahoma", PointsToPixels(8), false));
  StringGrid1->onDrawCell = [this](int c, int r, const GridRect& rect, QPainter& painter) {
    DrawCheckBoxCell(*StringGrid1, c, r, rect, painter);
  };
  StringGrid1->onMouseDown = [this](Qt::MouseButton b, int x, int y) {
    StringGrid1MouseDown(b, x, y);
  };
  StringGrid1->onMouseUp = [this](Qt::MouseButton b, int x, int y) { StringGrid1MouseUp(b, x, y); };
  StringGrid1->onDblClick = [this] { StringGrid1DblClick(); };
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setGeometry(0, 571 - 105, 868, 105);
  FormCreate();
}

void TFindForm::BuildLeftBar() {
  Button4 = MakeButton(this, "Button4", "Search", 48);
  Button6 = MakeButton(this, "Button6", "Today", 84);
  Button7 = MakeButton(this, "Button7", "Yesterday", 120);
  Button5 = MakeButton(this, "Button5", "Abort!", 156);
  Button9 = MakeButton(this, "Button9", "Scan Folder", 192);
  Button10 = MakeButton(this, "Button10", "Move Study", 228);
  Button11 = MakeButton(this, "Button11", "Delete Study", 264);
  Button2 = MakeButton(this, "Button2", "Setup", 300);
  Button8 = MakeButton(this, "Button8", "About", 336);
  Button1 = MakeButton(this, "Button1", "End", 420);
  const std::pair<QPushButton*, void (TFindForm::*)()> handlers[] = {
      {Button1, &TFindForm::Button1Click},   {Button2, &TFindForm::Button2Click},
      {Button4, &TFindForm::Button4Click},   {Button5, &TFindForm::Button5Click},
      {Button6, &TFindForm::Button6Click},   {Button7, &TFindForm::Button7Click},
      {Button8, &TFindForm::Button8Click},   {Button9, &TFindForm::Button9Click},
      {Button10, &TFindForm::Button10Click}, {Button11, &TFindForm::Button11Click}};
  for (const auto& [button, handler] : handlers)
    connect(button, &QPushButton::clicked, this, [this, handler = handler] { (this->*handler)(); });
}

void TFindForm::BuildFilterBar() {
  auto label = [this](const QString& text, int x) {
    auto* l = new QLabel(text, this);
    l->setGeometry(x, 2, 100, 16);
  };
  auto edit = [this](const char* name, int x, int w) {
    auto* e = new QLineEdit(this);
    e->setObjectName(name);
    e->setGeometry(x, 18, w, 22);
    return e;
  };
  label("Patient ID", 96);
  Edit1 = edit("Edit1", 96, 100);
  label("Patient Name", 204);
  Edit2 = edit("Edit2", 204, 160);
  CheckBox1 = new QCheckBox("From", this);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->setGeometry(372, 0, 80, 18);
  Edit3 = edit("Edit3", 372, 80);
  CheckBox2 = new QCheckBox("To", this);
  CheckBox2->setObjectName("CheckBox2");
  CheckBox2->setGeometry(460, 0, 80, 18);
  Edit4 = edit("Edit4", 460, 80);
  Edit3->setEnabled(false);
  Edit4->setEnabled(false);
  // The desktop check box reports programmatic changes too; "Today" relies on that.
  connect(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
  connect(CheckBox2, &QCheckBox::toggled, this, [this] { CheckBox2Click(); });
  label("Server", 548);
  ComboBox1 = new QComboBox(this);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setGeometry(548, 18, 180, 22);
  ComboBox1->addItem("Local");
  // User choices only: a programmatic selection runs no handler.
  connect(ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Change(); });
  Button3 = new QPushButton("Echo", this);
  Button3->setObjectName("Button3");
  Button3->setGeometry(736, 16, 70, 26);
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
}

void TFindForm::FormCreate() {
  for (int c = 0; c < 13; ++c) {
    StringGrid1->SetCell(c, 0, kColumns[c].title);
    StringGrid1->SetColWidth(c, kColumns[c].width);
  }
  const QString today = QString::fromStdString(DateText(Today()));
  Edit3->setText(today);
  Edit4->setText(today);
  ExeFolder = BrowserExeFolderOverride.empty() ? ExecutableFolder() : BrowserExeFolderOverride;
  QCoreApplication::postEvent(this, new QEvent(kStartUpEvent));
}

bool TFindForm::event(QEvent* event) { return Dispatch(event); }

bool TFindForm::Dispatch(QEvent* event) {
  if (event->type() == kStartUpEvent) {
    if (!started_) {
      started_ = true;
      StartUp();
    }
    return true;
  }
  return QWidget::event(event);
}

void TFindForm::AppendMemo(const QString& line) { Memo1->appendPlainText(line); }

bool TFindForm::LocalSelected() const { return ComboBox1->currentIndex() == 0; }

void TFindForm::closeEvent(QCloseEvent* event) {
  event->accept();
  ShutDownProgram();
}

void TFindForm::Button1Click() { close(); }

void TFindForm::Button5Click() { AbortRequested = true; }

void TFindForm::CheckBox1Click() { Edit3->setEnabled(CheckBox1->isChecked()); }
void TFindForm::CheckBox2Click() { Edit4->setEnabled(CheckBox2->isChecked()); }

void TFindForm::Button6Click() {
  CheckBox1->setChecked(true);
  CheckBox2->setChecked(true);
  const QString today = QString::fromStdString(DateText(Today()));
  Edit3->setText(today);
  Edit4->setText(today);
}

void TFindForm::Button7Click() {
  CheckBox1->setChecked(true);
  CheckBox2->setChecked(true);
  const QDate today = Today();
  Edit3->setText(QString::fromStdString(DateText(today.addDays(-1))));
  Edit4->setText(QString::fromStdString(DateText(today)));
}

void TFindForm::Button8Click() {
  Ui().ShowMessage(this, QString(kChartBanner) + "\nVersion 1.6\nAll rights reserved.");
}

void TFindForm::ComboBox1Change() {
  const int index = ComboBox1->currentIndex();
  if (index == 0) {
    RemoteHost = "127.0.0.1";
    RemotePort = ConfigText(ScpConfig.port);
    RemoteAETitle = ConfigText(ScpConfig.aeTitle);
    FillLocalStudyList(*StringGrid1, kLocalStudyListSql);
    Button11->setEnabled(true);
    Button10->setEnabled(false);
    return;
  }
  StringGrid& servers = *QSsetup->StringGrid2;
  if (index < 1 || index >= servers.RowCount()) return;  // no such node
  RemoteAETitle = ToCp1252(servers.Cell(0, index));
  RemoteHost = ToCp1252(servers.Cell(1, index));
  RemotePort = ToCp1252(servers.Cell(2, index));
  StringGrid1->SetRowCount(2);
  // Texts and slots: a box left over from the local list must not send an empty UID.
  StringGrid1->EmptyRow(1);
  Button11->setEnabled(false);
  Button10->setEnabled(true);
}

void TFindForm::StringGrid1MouseDown(Qt::MouseButton, int x, int y) {
  int column = 0, row = -1;
  lastPressRow_ = StringGrid1->MouseToCell(x, y, column, row) ? row : -1;
  if (HitCellCheckBox(*StringGrid1, x, y, column, row) &&
      CellHasCheckBox(*StringGrid1, column, row))
    SetCellChecked(*StringGrid1, column, row, IsCellChecked(*StringGrid1, column, row) ? 0 : 1);
}

void TFindForm::StringGrid1MouseUp(Qt::MouseButton, int x, int y) {
  if (y >= StringGrid::kRowHeight) return;
  for (int c = 0; c < StringGrid1->ColCount(); ++c) {
    const GridRect rect = StringGrid1->CellRect(c, 0);
    if (rect.left < x && x < rect.right) {
      SortGridByColumn(*StringGrid1, c);
      return;
    }
  }
}

void TFindForm::StringGrid1DblClick() {
  if (lastPressRow_ <= 0) return;  // the header, or no cell
  const int row = StringGrid1->Row();
  if (!LocalSelected()) {
    SetCellChecked(*StringGrid1, 0, row, 1);
    Button10Click();
    return;
  }
  std::vector<std::string> files;
  GetStudyFiles(files, ToCp1252(StringGrid1->Cell(12, row)));
  ShowStudyInEcgWindow(files);
}

void TFindForm::Button2Click() {
  ShowModal(*QSsetup);
  ComboBox1->clear();
  ComboBox1->addItem("Local");
  const StringGrid& servers = *QSsetup->StringGrid2;
  for (int row = 1; row < servers.RowCount(); ++row) ComboBox1->addItem(servers.Cell(0, row));
  ComboBox1->setCurrentIndex(0);
  LogLevel = ScpConfig.logLevel;
}
