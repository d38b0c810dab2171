#include "ecg/window/TForm1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QShowEvent>
#include <QStandardPaths>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

#include "dicom/DcmObj.h"
#include "ecg/NumberText.h"
#include "ecg/window/ChartView.h"
#include "ecg/window/Printing.h"
#include "platform/ExeFolder.h"
#include "platform/gui/Cp1252.h"
#include "platform/gui/GuardedApplication.h"
#include "platform/gui/ShowModal.h"
#include "platform/gui/UiServices.h"

bool RedDragging = false;
bool GreenDragging = false;
TForm1* Form1 = nullptr;

namespace {

constexpr int kClientWidth = 1008;
constexpr int kClientHeight = 672;
constexpr int kPanelHeight = 64;
constexpr float kPixelsPerMv = 40.0f;
constexpr float kGridStep = 20.0f;
constexpr int kArrowStep = 5;
constexpr int kGrabDistance = 10;

bool IsEcgModality(const std::string& modality) {
  return modality == "ECG" || modality == "HD" || modality == "AU" || modality == "EPS";
}

// A separator of the user's locale as one Windows-1252 byte: a space of any kind (French groups
// with U+202F) becomes a blank, anything else outside the code page the fallback.
char SeparatorByte(const QString& text, char fallback) {
  if (text.size() != 1) return fallback;
  if (text[0].isSpace()) return text[0].unicode() == 0xA0 ? '\xA0' : ' ';
  const std::string byte = ToCp1252(text);
  return byte == "?" ? fallback : byte[0];
}

QToolButton* MakeButton(QWidget* parent, const char* name, const QString& hint, int x) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setGeometry(x, 8, 50, 50);
  button->setToolTip(hint);
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), canvas_(nullptr) {
  setObjectName("Form1");
  setWindowTitle(kEcgWindowCaption);
  QFont formFont = MakePixelFont("Tahoma", PointsToPixels(8), false);
  formFont.setStyleStrategy(QFont::PreferDefault);
  setFont(formFont);
  Image1 = new ChartView(this);
  Image1->setObjectName("Image1");
  setCentralWidget(Image1);
  canvas_.SetImage(&Image1->image);
  CreateMenus();
  CreatePanel();
  resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  setWindowState(Qt::WindowMaximized);

  // Every handler runs guarded: an exception is shown before it can unwind through Qt.
  Image1->onMouseDown = [this](int x, int) { RunGuarded([&] { Image1MouseDown(x); }); };
  Image1->onMouseMove = [this](int x, int y) { RunGuarded([&] { Image1MouseMove(x, y); }); };
  Image1->onMouseUp = [this] { RunGuarded([&] { Image1MouseUp(); }); };
  // X11 maximises after the first show, so the threshold follows every resize.
  Image1->onResize = [this] { PanelThreshold = ImageHeight() - kPanelHeight; };

  const QLocale locale;
  SetNumberSeparators(SeparatorByte(locale.decimalPoint(), '.'),
                      SeparatorByte(locale.groupSeparator(), ','));
  FormCreate();
}

void TForm1::FormCreate() { FileList.clear(); }  // no list until the browser hands one over

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::CreateMenus() {
  MainMenu1File = menuBar()->addMenu("&File");
  Open1 = MainMenu1File->addAction("&Open", this, Guarded([this] { Open1Click(); }));
  Print1 = MainMenu1File->addAction("&Print", this, Guarded([this] { Print1Click(); }));
  Exit1 = MainMenu1File->addAction("&Exit", this, Guarded([this] { Exit1Click(); }));
  QMenu* help = menuBar()->addMenu("&Help");
  About1 = help->addAction("&About", this, Guarded([this] { About1Click(); }));
}

void TForm1::CreatePanel() {
  Panel1 = new QFrame(Image1);
  Panel1->setObjectName("Panel1");
  Panel1->setAutoFillBackground(true);
  QPalette shadow = Panel1->palette();
  shadow.setColor(QPalette::Window, QColor(128, 128, 128));
  Panel1->setPalette(shadow);
  Panel1->setGeometry(0, 0, kClientWidth, kPanelHeight);
  Panel1->hide();

  SpeedButton2 = MakeButton(Panel1, "SpeedButton2", "Measurement Cursor", 128);
  SpeedButton2->setText("Red");
  SpeedButton2->setCheckable(true);
  SpeedButton3 = MakeButton(Panel1, "SpeedButton3", "Measurement Cursor", 184);
  SpeedButton3->setText("Green");
  SpeedButton3->setCheckable(true);
  SpeedButton1 = MakeButton(Panel1, "SpeedButton1", "Send Feedback", 264);
  SpeedButton1->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
  SpeedButton1->setIconSize(QSize(32, 32));
  // clicked() fires for the user's toggles only, never for setChecked().
  connect(SpeedButton2, &QToolButton::clicked, this, Guarded([this] { SpeedButton2Click(); }));
  connect(SpeedButton3, &QToolButton::clicked, this, Guarded([this] { SpeedButton3Click(); }));
  connect(SpeedButton1, &QToolButton::clicked, this, Guarded([this] { SpeedButton1Click(); }));
}

int TForm1::ImageWidth() const {
  return Image1->image.isNull() ? Image1->width() : Image1->image.width();
}

int TForm1::ImageHeight() const {
  return Image1->image.isNull() ? Image1->height() : Image1->image.height();
}

void TForm1::Redraw() {
  CurrentStudy->Draw(canvas_, ImageWidth(), ImageHeight(), kGridStep, ScrollOffset,
                     SpeedButton2->isChecked(), SpeedButton3->isChecked());
}

void TForm1::OpenEcgFile(const std::string& path) {
  DcmObj object;
  if (!object.Read(path)) {
    Ui().ShowMessage(this, "ERROR: Reading File");
    return;
  }
  CurrentStudy = std::make_unique<TStudy>();
  CurrentStudy->Load(object);
  if (!IsEcgModality(CurrentStudy->modality)) {
    Ui().ShowMessage(this, "ERROR: Wrong Modality");
    CurrentStudy.reset();
    return;
  }
  if (CurrentStudy->waveforms.empty()) {
    Ui().ShowMessage(this, "ERROR: Couldn't find any waves");
    CurrentStudy.reset();
    return;
  }
  // The chart bitmap takes the widget's size of this moment; the layout keeps it until the
  // next file is opened.
  if (Image1->image.size() != Image1->size() && !Image1->size().isEmpty()) {
    Image1->image = QImage(Image1->size(), QImage::Format_RGB32);
    Image1->image.fill(Qt::white);
  }
  const int W = ImageWidth(), H = ImageHeight();
  CurrentStudy->waveforms[0]->Prepare(W, kPixelsPerMv);
  SpeedButton2->setChecked(false);
  SpeedButton3->setChecked(false);
  ScrollOffset = 0;
  CurrentStudy->Draw(canvas_, W, H, kGridStep, 0, false, false);
  Image1->update();
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (windowHandle() != nullptr) windowHandle()->installEventFilter(this);
  // Once per showing: Qt re-activates the window after every message box and dialog, which
  // must not reopen the first file over the one the user chose.
  if (!event->spontaneous()) RunGuarded([this] { FormActivate(); });
}

void TForm1::FormActivate() {
  PanelThreshold = ImageHeight() - kPanelHeight;
  Panel1->hide();
  if (!FileList.empty()) OpenEcgFile(FileList.front());
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  QMainWindow::closeEvent(event);
}

void TForm1::FormClose() { CurrentStudy.reset(); }

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  // The window handle is the first receiver of a key press: acting there sees each press once,
  // before the menus.
  if (watched == windowHandle() && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    bool handled = false;
    RunGuarded([&] { handled = FormShortCut(key); });
    return handled;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TForm1::FormShortCut(int key) {
  bool handled = false;
  switch (key) {
    case Qt::Key_Left:
      ScrollOffset = std::max(ScrollOffset - kArrowStep, 0);
      handled = true;
      break;
    case Qt::Key_Right:
      ScrollOffset = std::min(ScrollOffset + kArrowStep, ImageWidth());
      handled = true;
      break;
    case Qt::Key_Up:
    case Qt::Key_Down:
      handled = true;
      break;
    default:
      break;
  }
  if (CurrentStudy) Redraw();
  Image1->update();
  return handled;
}

void TForm1::Open1Click() {
  if (const auto path = Ui().OpenFileName(this)) OpenEcgFile(*path);
}

void TForm1::Print1Click() {
  // With no chart there is nothing to scale to the page.
  const QImage& image = Image1->image;
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) return;
  QPrinter printer(QPrinter::HighResolution);
  if (QPrinterInfo::availablePrinters().isEmpty()) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QStandardPaths::writableLocation(QStandardPaths::HomeLocation) +
                              "/ecg-chart.pdf");
  }
  if (!Ui().ConfirmPrint(this, printer)) return;
  printer.setPageOrientation(QPageLayout::Landscape);  // after the dialog, which may reset it
  QPainter painter;
  if (!painter.begin(&printer)) {
    Ui().ShowMessage(this, "ERROR: Printing");
    return;
  }
  const int result = PrintChart(painter, printer.width(), printer.height(), image);
  painter.end();
  if (result != 0) Ui().ShowMessage(this, "ERROR: Printing");
}

void TForm1::Exit1Click() { close(); }

void TForm1::About1Click() {
  Ui().ShowMessage(this, QString(kEcgWindowCaption) +
                             "\nVersion 1.6\nCopyright (C) the Trevalind developers. "
                             "All rights reserved.");
}

void TForm1::SpeedButton1Click() {
  // The build places the README beside the executable; a program copied without it, or a
  // desktop without a launcher, gets a message instead of nothing at all.
  const QString page = QFile::decodeName(QByteArray::fromStdString(ExeFolder + "README.md"));
  if (!QFileInfo(page).isFile() || !Ui().OpenUrl(QUrl::fromLocalFile(page)))
    Ui().ShowMessage(this, "ERROR: Couldn't open the feedback page " + page);
}

void TForm1::SpeedButton2Click() {
  ToggleCursor(*SpeedButton2, &TWaveform::redX, ImageWidth() / 4, &TWaveform::DrawRedCursor);
}

void TForm1::SpeedButton3Click() {
  ToggleCursor(*SpeedButton3, &TWaveform::greenX, ImageWidth() / 4 + 25,
               &TWaveform::DrawGreenCursor);
}

void TForm1::ToggleCursor(const QToolButton& button, int32_t TWaveform::*cursorX, int32_t startX,
                          CursorDrawing drawCursor) {
  if (CurrentStudy) {
    TWaveform& waveform = *CurrentStudy->waveforms[0];
    const int W = ImageWidth();
    if (button.isChecked()) {
      waveform.*cursorX = startX;
      (waveform.*drawCursor)(canvas_, W, ScrollOffset);
      waveform.DrawCursorDifference(canvas_, W, ScrollOffset);
    } else {
      waveform.*cursorX = 0;
      Redraw();
    }
  }
  Image1->update();
}

void TForm1::Image1MouseDown(int x) {
  if (CurrentStudy) {
    const TWaveform& waveform = *CurrentStudy->waveforms[0];
    if (SpeedButton2->isChecked() && std::abs(waveform.redX - x) < kGrabDistance) {
      RedDragging = true;
    } else if (SpeedButton3->isChecked() && std::abs(waveform.greenX - x) < kGrabDistance) {
      GreenDragging = true;
    }
  }
  Image1->update();
}

void TForm1::Image1MouseMove(int x, int y) {
  if (CurrentStudy) {
    TWaveform& waveform = *CurrentStudy->waveforms[0];
    const int W = ImageWidth();
    // The line is drawn again at the old x, which removes it, and once at the new x.
    auto move = [&](int32_t TWaveform::*cursorX, CursorDrawing drawCursor) {
      (waveform.*drawCursor)(canvas_, W, ScrollOffset);
      waveform.*cursorX = x;
      (waveform.*drawCursor)(canvas_, W, ScrollOffset);
    };
    if (SpeedButton2->isChecked() && RedDragging) {
      move(&TWaveform::redX, &TWaveform::DrawRedCursor);
    }
    if (SpeedButton3->isChecked() && GreenDragging) {
      move(&TWaveform::greenX, &TWaveform::DrawGreenCursor);
    }
    waveform.DrawCursorDifference(canvas_, W, ScrollOffset);
    Image1->update();
  }
  if (y > PanelThreshold) {
    Panel1->setGeometry(0, PanelThreshold, ImageWidth(), kPanelHeight);
    Panel1->show();
    Panel1->raise();
  } else {
    Panel1->hide();
  }
}

void TForm1::Image1MouseUp() {
  RedDragging = false;
  GreenDragging = false;
}

TForm1& EcgWindow() {
  if (Form1 == nullptr) Form1 = new TForm1;
  return *Form1;
}

void ShowStandaloneEcgWindow() {
  TForm1& window = EcgWindow();
  window.SetFileList({});
  ShowModal(window);
}
