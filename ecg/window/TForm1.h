// The ECG window: one ECG object at a time as the calibrated chart, with measurement cursors,
// arrow-key scrolling, a bottom panel of cursor buttons that appears near the bottom edge, and
// printing on one landscape page. The study browser fills FileList and shows it modally; on its
// own (ShowStandaloneEcgWindow) a file is opened through File > Open.
#pragma once

#include <QMainWindow>
#include <memory>
#include <string>
#include <vector>

#include "ecg/Study.h"
#include "platform/gui/ImageCanvas.h"

class ChartView;
class QAction;
class QFrame;
class QMenu;
class QToolButton;

// Set while the mouse button that grabbed that cursor is held.
extern bool RedDragging;
extern bool GreenDragging;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The paths to show (native bytes); the window keeps its own copy, so the caller may free its
  // list at once. Only the first entry is opened, once per showing.
  void SetFileList(const std::vector<std::string>& paths) { FileList = paths; }

  void OpenEcgFile(const std::string& path);

  void FormCreate();
  void FormActivate();
  void FormClose();
  bool FormShortCut(int key);  // true when the key was handled (the four arrows)
  void Open1Click();
  void Print1Click();
  void Exit1Click();
  void About1Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  void SpeedButton3Click();
  void Image1MouseDown(int x);
  void Image1MouseMove(int x, int y);
  void Image1MouseUp();

  std::vector<std::string> FileList;
  std::unique_ptr<TStudy> CurrentStudy;
  int ScrollOffset = 0;
  int PanelThreshold = 0;

  QMenu* MainMenu1File = nullptr;
  QAction* Open1 = nullptr;
  QAction* Print1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* About1 = nullptr;
  ChartView* Image1 = nullptr;
  QFrame* Panel1 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  QToolButton* SpeedButton3 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateMenus();
  void CreatePanel();
  void Redraw();
  using CursorDrawing = void (TWaveform::*)(Canvas&, int32_t, int32_t) const;
  // A cursor button toggled: down puts the cursor at startX and draws it, up takes it off and
  // redraws the chart.
  void ToggleCursor(const QToolButton& button, int32_t TWaveform::*cursorX, int32_t startX,
                    CursorDrawing drawCursor);
  int ImageWidth() const;
  int ImageHeight() const;

  ImageCanvas canvas_;
};

// The window's caption and the chart's banner.
inline constexpr const char* kEcgWindowCaption = kChartBanner;

// The one ECG window of the program, created on first use.
TForm1& EcgWindow();
extern TForm1* Form1;

// Shows the ECG window modally with no files, for opening one through File > Open; returns when
// it closes. Needs a running QApplication.
void ShowStandaloneEcgWindow();
