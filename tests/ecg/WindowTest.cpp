// The ECG window through real Qt events (offscreen): activation, File > Open, keys, the cursor
// buttons and dragging, the bottom panel, and printing, with the dialogs replaced by a fake.
#include <gtest/gtest.h>

#include <QFrame>
#include <QLocale>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <cstdlib>
#include <filesystem>

#include "ecg/NumberText.h"
#include "ecg/window/ChartView.h"
#include "ecg/window/TForm1.h"
#include "platform/ExeFolder.h"
#include "platform/gui/ShowModal.h"
#include "tests/ecg/FakeUi.h"
#include "tests/ecg/QtTestApp.h"

namespace {

const std::string kSample = std::string(PYDICOM_TEST_FILES) + "/waveform_ecg.dcm";
const std::string kCtImage = std::string(PYDICOM_TEST_FILES) + "/CT_small.dcm";

class EcgWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder = std::filesystem::temp_directory_path() / ("ecg-window-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    // A second ECG that differs from the sample by its patient name.
    other = (folder / "other.dcm").string();
    std::filesystem::copy_file(kSample, other, std::filesystem::copy_options::overwrite_existing);
    const std::string command = "dcmodify -nb -m '(0010,0010)=Other' '" + other + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    // The sample without its Waveform Sequence, and with its modality in lower case.
    noWaves = Variant("no-waves.dcm", "-e '(5400,0100)'");
    lowerCase = Variant("lower-case.dcm", "-m '(0008,0060)=ecg'");
  }
  static std::string Variant(const std::string& name, const std::string& change) {
    const std::string path = (folder / name).string();
    std::filesystem::copy_file(kSample, path, std::filesystem::copy_options::overwrite_existing);
    const std::string command = "dcmodify -nb " + change + " '" + path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(folder); }

  void SetUp() override {
    TestApp();
    form = std::make_unique<TForm1>();
    form->setWindowState(Qt::WindowNoState);
  }

  // Shows the window with its client area (the chart) at the 1008 x 672 the chart is laid
  // out for.
  void Show(std::vector<std::string> files = {}) {
    form->SetFileList(files);
    form->show();
    QCoreApplication::processEvents();
    const QSize client = form->Image1->size();
    if (client != QSize(1008, 672)) {
      form->resize(form->size() + QSize(1008, 672) - client);
      QCoreApplication::processEvents();
    }
    ASSERT_EQ(form->Image1->size(), QSize(1008, 672));
  }

  void Key(Qt::Key key) {
    QTest::keyClick(form->windowHandle(), key);
    QCoreApplication::processEvents();
  }

  QImage Chart() const { return form->Image1->image.copy(); }

  FakeUi ui;
  std::unique_ptr<TForm1> form;
  static std::filesystem::path folder;
  static std::string other, noWaves, lowerCase;
};
std::filesystem::path EcgWindow::folder;
std::string EcgWindow::other, EcgWindow::noWaves, EcgWindow::lowerCase;

TEST_F(EcgWindow, ActivationOpensOnlyTheFirstFile) {
  form->show();  // first at the default size: no chart before any file
  form->hide();
  form->SetFileList({kSample, kCtImage});
  Show({kSample, kCtImage});
  ASSERT_TRUE(form->CurrentStudy);
  EXPECT_EQ(form->CurrentStudy->patientName, "Anonymous");
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(form->Image1->image.size(), QSize(1008, 672));
}

TEST_F(EcgWindow, ReactivationAfterFileOpenKeepsTheChosenFile) {
  Show({kSample});
  ui.fileToOpen = other;
  form->Open1->trigger();
  ASSERT_TRUE(form->CurrentStudy);
  EXPECT_EQ(form->CurrentStudy->patientName, "Other");
  // Qt re-activates a window after every dialog; offscreen never does, so send one by hand.
  QEvent activate(QEvent::WindowActivate);
  QCoreApplication::sendEvent(form.get(), &activate);
  EXPECT_EQ(form->CurrentStudy->patientName, "Other");
}

TEST_F(EcgWindow, RefusedFilesShowTheirMessage) {
  struct Case {
    std::string path;
    const char* message;
    bool studyKept;
  };
  const Case cases[] = {{"/nonexistent/x.dcm", "ERROR: Reading File", true},
                        {kCtImage, "ERROR: Wrong Modality", false},
                        {lowerCase, "ERROR: Wrong Modality", false},
                        {noWaves, "ERROR: Couldn't find any waves", false}};
  for (const Case& c : cases) {
    ui.messages.clear();
    Show({kSample});
    const TStudy* before = form->CurrentStudy.get();
    const QImage picture = Chart();
    form->OpenEcgFile(c.path);
    EXPECT_EQ(ui.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(form->CurrentStudy.get() == before, c.studyKept) << c.path;
    EXPECT_EQ(Chart(), picture);  // the old picture stays
    form->ScrollOffset = 0;
    Key(Qt::Key_Right);
    if (!c.studyKept) {
      EXPECT_EQ(Chart(), picture);  // no study: keys no longer redraw
    }
    form->hide();
  }
}

TEST_F(EcgWindow, ArrowKeysScrollWithinTheImageWidth) {
  Show({kSample});
  for (int i = 0; i < 300; ++i) Key(Qt::Key_Right);
  EXPECT_EQ(form->ScrollOffset, 1008);
  for (int i = 0; i < 300; ++i) Key(Qt::Key_Left);
  EXPECT_EQ(form->ScrollOffset, 0);
  // At 0 a left arrow still redraws: a scribble on the chart disappears.
  const QImage clean = Chart();
  form->Image1->image.setPixel(600, 600, 0xFF00FF);
  Key(Qt::Key_Left);
  EXPECT_EQ(form->ScrollOffset, 0);
  EXPECT_EQ(Chart(), clean);
  Key(Qt::Key_Up);
  Key(Qt::Key_Down);
  EXPECT_EQ(form->ScrollOffset, 0);
}

// The window lays the chart out at 40 pixels per millivolt: the first lead's 1 mV calibration
// pulse rises from its baseline at y 190 to y 150, on the chart the window shows.
TEST_F(EcgWindow, ChartIsCalibratedAtFortyPixelsPerMillivolt) {
  Show({kSample});
  const QImage chart = Chart();
  auto black = [&](int x, int y) { return (chart.pixel(x, y) & 0xFFFFFF) == 0; };
  EXPECT_TRUE(black(3, 190));   // the baseline before the pulse
  EXPECT_TRUE(black(7, 151));   // its rising edge
  EXPECT_TRUE(black(15, 150));  // its top, 40 pixels up
  EXPECT_FALSE(black(15, 149));
  EXPECT_FALSE(black(15, 151));
  EXPECT_TRUE(black(22, 170));  // its falling edge
}

TEST_F(EcgWindow, EscapeDoesNotClose) {
  Show({kSample});
  Key(Qt::Key_Escape);
  EXPECT_TRUE(form->isVisible());
}

TEST_F(EcgWindow, PanelFollowsThePointerNearTheBottom) {
  Show();
  EXPECT_EQ(form->PanelThreshold, 672 - 64);
  QTest::mouseMove(form->Image1, QPoint(300, form->PanelThreshold + 1));
  QCoreApplication::processEvents();
  EXPECT_TRUE(form->Panel1->isVisible());
  EXPECT_EQ(form->Panel1->geometry(), QRect(0, 608, 1008, 64));
  // The panel itself now lies under the pointer at the threshold row, so that move reaches the
  // image's handler only by hand; a real move back up hides it as well.
  form->Image1MouseMove(300, form->PanelThreshold);
  EXPECT_FALSE(form->Panel1->isVisible());
  QTest::mouseMove(form->Image1, QPoint(300, form->PanelThreshold + 10));
  QTest::mouseMove(form->Image1, QPoint(300, 300));
  QCoreApplication::processEvents();
  EXPECT_FALSE(form->Panel1->isVisible());
}

// Pixels that differ between two charts outside the readout rows (the times at y 80..99 and each
// lead's row at baseline - 70).
int DifferencesOutsideReadouts(const QImage& a, const QImage& b) {
  int count = 0;
  for (int y = 0; y < a.height(); ++y) {
    const bool readout = (y >= 80 && y < 100) || ((y - 120) % 90 >= 0 && (y - 120) % 90 < 20);
    if (readout) continue;
    for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
  }
  return count;
}

TEST_F(EcgWindow, RedCursorDragReturnsToThePlainPicture) {
  Show({kSample});
  const QImage plain = Chart();
  form->SpeedButton2->click();
  ASSERT_EQ(form->CurrentStudy->waveforms[0]->redX, 252);
  const QImage redDown = Chart();
  EXPECT_GT(DifferencesOutsideReadouts(plain, redDown), 0);  // the line
  EXPECT_EQ(redDown.pixel(252, 650) & 0xFFFFFF, 0xFF0000u);  // red over white
  QTest::mousePress(form->Image1, Qt::LeftButton, {}, QPoint(252, 400));
  QTest::mouseMove(form->Image1, QPoint(300, 400));
  EXPECT_EQ(form->CurrentStudy->waveforms[0]->redX, 300);
  QTest::mouseMove(form->Image1, QPoint(252, 400));
  QTest::mouseRelease(form->Image1, Qt::LeftButton, {}, QPoint(252, 400));
  EXPECT_EQ(DifferencesOutsideReadouts(redDown, Chart()), 0);
  EXPECT_FALSE(RedDragging);
  // Button up: the chart is redrawn without the cursor.
  form->SpeedButton2->click();
  EXPECT_EQ(form->CurrentStudy->waveforms[0]->redX, 0);
  EXPECT_EQ(Chart(), plain);
}

TEST_F(EcgWindow, GrabDistanceIsBelowTenPixels) {
  Show({kSample});
  form->SpeedButton2->click();  // red at 252
  form->SpeedButton3->click();  // green at 277
  struct Case {
    int x;
    bool red, green;
  };
  const Case cases[] = {{261, true, false}, {262, false, false}, {243, true, false},
                        {268, false, true}, {286, false, true},  {287, false, false}};
  for (const Case& c : cases) {
    QTest::mousePress(form->Image1, Qt::LeftButton, {}, QPoint(c.x, 400));
    EXPECT_EQ(RedDragging, c.red) << c.x;
    EXPECT_EQ(GreenDragging, c.green) << c.x;
    QTest::mouseRelease(form->Image1, Qt::LeftButton, {}, QPoint(c.x, 400));
  }
  // Green dragged next to red: with both within reach, red is grabbed.
  QTest::mousePress(form->Image1, Qt::LeftButton, {}, QPoint(277, 400));
  QTest::mouseMove(form->Image1, QPoint(258, 400));
  QTest::mouseRelease(form->Image1, Qt::LeftButton, {}, QPoint(258, 400));
  ASSERT_EQ(form->CurrentStudy->waveforms[0]->greenX, 258);
  QTest::mousePress(form->Image1, Qt::LeftButton, {}, QPoint(255, 400));
  EXPECT_TRUE(RedDragging);
  EXPECT_FALSE(GreenDragging);
  QTest::mouseRelease(form->Image1, Qt::LeftButton, {}, QPoint(255, 400));
}

TEST_F(EcgWindow, PrintWithoutAChartDoesNothing) {
  form->Print1->trigger();
  EXPECT_EQ(ui.printDialogs, 0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(EcgWindow, PrintThatCannotStartReportsIt) {
  Show({kSample});
  ui.printToFile = "/nonexistent-folder/chart.pdf";
  form->Print1->trigger();
  EXPECT_EQ(ui.messages, std::vector<std::string>{"ERROR: Printing"});
}

TEST_F(EcgWindow, PrintToPdfPlacesTheChartAcrossThePageCentred) {
  Show({kSample});
  const std::string pdf = (folder / "chart.pdf").string();
  ui.printToFile = pdf;
  form->Image1->image.fill(Qt::black);  // a solid chart, so its edges are sharp on the page
  form->Print1->trigger();
  ASSERT_TRUE(ui.messages.empty());
  const std::string png = (folder / "page").string();
  const std::string command = "pdftoppm -r 72 -png -singlefile '" + pdf + "' '" + png + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  QImage page(QString::fromStdString(png + ".png"));
  ASSERT_FALSE(page.isNull());
  EXPECT_GT(page.width(), page.height());  // landscape
  auto rowIsWhite = [&](int y) {
    for (int x = 0; x < page.width(); ++x) {
      if ((page.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) return false;
    }
    return true;
  };
  int top = 0, bottom = page.height() - 1;
  while (top < page.height() && rowIsWhite(top)) ++top;
  while (bottom > top && rowIsWhite(bottom)) --bottom;
  const int middle = (top + bottom) / 2;
  int left = 0, right = page.width() - 1;
  while (left < right && (page.pixel(left, middle) & 0xFFFFFF) != 0) ++left;
  while (right > left && (page.pixel(right, middle) & 0xFFFFFF) != 0) --right;
  const double chartWidth = right - left + 1, chartHeight = bottom - top + 1;
  // As wide as the printable area (its margins are equal), as high as width x 672 / 1008, and
  // centred vertically on the page.
  EXPECT_NEAR(left, page.width() - 1 - right, 2.0);
  EXPECT_GT(chartWidth, page.width() * 0.85);
  EXPECT_NEAR(chartHeight, chartWidth * 672.0 / 1008.0, 2.0);
  EXPECT_NEAR(top, page.height() - 1 - bottom, 2.0);
}

// The caption and the About box carry the product's display name, as the study browser does.
TEST_F(EcgWindow, CaptionAndAboutShowTheDisplayName) {
  EXPECT_EQ(form->windowTitle(), "Trevalind ECG");
  form->About1->trigger();
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].rfind("Trevalind ECG\nVersion 1.6\n", 0), 0u) << ui.messages[0];
}

// "Send Feedback" handed the desktop a README that neither the build nor a copied program had
// beside the executable, and nothing told the user when it could not be opened: it opens the
// README beside the executable, and says so when there is none or nothing opens it.
TEST_F(EcgWindow, FeedbackOpensTheReadmeBesideTheExecutableOrSaysItCannot) {
  struct Case {
    bool readmePresent, urlOpens, opened;
  } cases[] = {{true, true, true}, {false, true, false}, {true, false, false}};
  const std::string savedExeFolder = ExeFolder;
  ExeFolder = (folder / "exe").string() + "/";
  const std::string readme = ExeFolder + "README.md";
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "readme " << c.readmePresent << " opens " << c.urlOpens);
    std::filesystem::remove_all(folder / "exe");
    std::filesystem::create_directories(folder / "exe");
    if (c.readmePresent) std::filesystem::copy_file(TREVALIND_SOURCE_DIR "/README.md", readme);
    ui.urls.clear();
    ui.messages.clear();
    ui.urlOpens = c.urlOpens;
    form->SpeedButton1->click();
    if (c.readmePresent) {
      ASSERT_EQ(ui.urls.size(), 1u);
      EXPECT_EQ(ui.urls[0], QUrl::fromLocalFile(QString::fromStdString(readme)));
    } else {
      EXPECT_TRUE(ui.urls.empty());
    }
    if (c.opened) {
      EXPECT_TRUE(ui.messages.empty());
    } else {
      EXPECT_EQ(ui.messages,
                std::vector<std::string>{"ERROR: Couldn't open the feedback page " + readme});
    }
  }
  ExeFolder = savedExeFolder;
}

// The browser frees its list as soon as the modal showing ends; every showing opens the first
// file afresh, with the cursors off and no scroll.
TEST_F(EcgWindow, EachModalShowingOpensTheFirstFileAfresh) {
  {
    std::vector<std::string> handedOver = {other, kSample};
    form->SetFileList(handedOver);
  }
  std::vector<std::string> seen;
  auto inspectThenClose = [&](bool scribble) {
    QTimer::singleShot(0, form.get(), [&, scribble] {
      ASSERT_TRUE(form->CurrentStudy);
      seen.push_back(form->CurrentStudy->patientName + " scroll " +
                     std::to_string(form->ScrollOffset) + " red " +
                     std::to_string(form->CurrentStudy->waveforms[0]->redX) +
                     (form->SpeedButton2->isChecked() ? " down" : " up"));
      if (scribble) {
        Key(Qt::Key_Right);
        form->SpeedButton2->click();
      }
      form->close();
    });
  };
  inspectThenClose(true);
  ShowModal(*form);
  EXPECT_FALSE(form->CurrentStudy);  // closing drops the study
  inspectThenClose(false);
  ShowModal(*form);
  EXPECT_EQ(seen, (std::vector<std::string>{"Other scroll 0 red 0 up", "Other scroll 0 red 0 up"}));
}

TEST_F(EcgWindow, AnExceptionInAHandlerIsShownAndTheWindowGoesOn) {
  Show({kSample});
  ui.openDialogError = "Out of resources";
  form->Open1->trigger();
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Out of resources"});
  ASSERT_TRUE(form->CurrentStudy);
  Key(Qt::Key_Right);
  EXPECT_EQ(form->ScrollOffset, 5);
}

// Amplitudes take the separators of the user's locale, as single bytes of the code page.
TEST_F(EcgWindow, AmplitudeSeparatorsFollowTheLocale) {
  struct Case {
    QLocale::Language language;
    QLocale::Territory territory;
    const char* text;
  };
  const Case cases[] = {{QLocale::German, QLocale::Germany, "1.234,5000"},
                        {QLocale::French, QLocale::France, "1 234,5000"},
                        {QLocale::English, QLocale::UnitedStates, "1,234.5000"}};
  for (const Case& c : cases) {
    QLocale::setDefault(QLocale(c.language, c.territory));
    TForm1 window;
    EXPECT_EQ(FormatFloat(1234.5), c.text) << c.text;
  }
  QLocale::setDefault(QLocale::c());
  SetNumberSeparators('.', ',');
}

}  // namespace
