// The Qt layer under the windows (offscreen): the Windows-1252 table at the GUI boundary, the
// application guard that turns an exception in a handler into a message box, the numeric locale
// it restores, and modal showing with its result.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <clocale>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "dicom/DcmTag.h"
#include "platform/gui/Cp1252.h"
#include "platform/gui/ShowModal.h"
#include "platform/gui/UiServices.h"
#include "tests/ecg/FakeUi.h"
#include "tests/ecg/QtTestApp.h"
#include "tests/support/CommaLocale.h"

namespace {

// The application as the program has it, started under a locale whose numbers are not "C"
// (QApplication takes the user's locale from the environment). The locale is set once, before
// the application exists: setting it again later would undo what the application restored.
QApplication& App() {
  static const bool comma = [] {
    const bool set = UseCommaLocale();
    if (set) setenv("LC_ALL", kCommaLocale, 1);
    return set;
  }();
  EXPECT_TRUE(comma) << "no de_DE.UTF-8 locale with a decimal comma";
  return TestApp();
}

// --- Windows-1252 ---

struct ByteCase {
  unsigned char byte;
  char16_t unicode;
};

class Cp1252Table : public ::testing::TestWithParam<ByteCase> {};

TEST_P(Cp1252Table, BothWays) {
  const std::string bytes(1, static_cast<char>(GetParam().byte));
  const QString text = FromCp1252(bytes);
  ASSERT_EQ(text.size(), 1);
  EXPECT_EQ(text[0].unicode(), GetParam().unicode);
  EXPECT_EQ(ToCp1252(text), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, Cp1252Table,
    ::testing::Values(ByteCase{0x00, 0x0000}, ByteCase{0x41, 0x0041}, ByteCase{0x7F, 0x007F},
                      ByteCase{0x80, 0x20AC}, ByteCase{0x8A, 0x0160}, ByteCase{0x99, 0x2122},
                      ByteCase{0x9F, 0x0178},
                      // the five bytes the code page leaves undefined keep their C1 value
                      ByteCase{0x81, 0x0081}, ByteCase{0x8D, 0x008D}, ByteCase{0x8F, 0x008F},
                      ByteCase{0x90, 0x0090}, ByteCase{0x9D, 0x009D},
                      // Latin-1 above 0x9F
                      ByteCase{0xA0, 0x00A0}, ByteCase{0xC4, 0x00C4}, ByteCase{0xE9, 0x00E9},
                      ByteCase{0xFF, 0x00FF}));

TEST(Cp1252, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const QString text = FromCp1252(all);
  EXPECT_EQ(text.size(), 256);
  EXPECT_EQ(ToCp1252(text), all);
}

TEST(Cp1252, CharactersOutsideTheCodePageBecomeOneQuestionMarkEach) {
  struct Case {
    QString text;
    std::string bytes;
  };
  const Case cases[] = {
      {QString::fromUtf8("M\xC3\xBCller"), "M\xFCller"},
      {QString::fromUtf8("\xE2\x82\xAC 5"), "\x80 5"},
      {QString::fromUtf8("\xCE\xA9"), "?"},              // Greek capital omega
      {QString::fromUtf8("a\xF0\x9F\x98\x80z"), "a?z"},  // beyond 16 bits: a surrogate pair
      {QString::fromUtf8("\xE4\xB8\xAD\xE6\x96\x87"), "??"}};
  for (const Case& c : cases) EXPECT_EQ(ToCp1252(c.text), c.bytes) << c.text.toStdString();
}

// --- the guard ---

// An object whose every event runs `handler`.
class Thrower : public QObject {
 public:
  explicit Thrower(std::function<void()> handler) : handler_(std::move(handler)) {}
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) {
      ++delivered;
      handler_();
    }
    return QObject::event(event);
  }
  int delivered = 0;

 private:
  std::function<void()> handler_;
};

struct GuardCase {
  const char* name;
  std::function<void()> handler;
  const char* message;
};

class Guard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(Guard, ShowsTheExceptionAndGoesOn) {
  App();
  FakeUi ui;
  Thrower thrower(GetParam().handler);
  QEvent first(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&thrower, &first));
  EXPECT_EQ(ui.messages, std::vector<std::string>{GetParam().message});
  // The program goes on: the next event is delivered as usual.
  QEvent second(QEvent::User);
  QCoreApplication::sendEvent(&thrower, &second);
  EXPECT_EQ(thrower.delivered, 2);
  EXPECT_EQ(ui.messages.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Exceptions, Guard,
    ::testing::Values(GuardCase{"Runtime",
                                [] { throw std::runtime_error("Cannot open the store"); },
                                "Cannot open the store"},
                      GuardCase{"OutOfRange",
                                [] { throw std::out_of_range("List index out of bounds (3)"); },
                                "List index out of bounds (3)"},
                      GuardCase{"BadAlloc", [] { throw std::bad_alloc(); }, "Out of memory"},
                      GuardCase{"NotAnException", [] { throw 42; }, "Unknown exception"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GuardInTheEventLoop, ATimerHandlerThatThrows) {
  App();
  FakeUi ui;
  // The handler throws inside a running loop; the loop goes on and ends as asked.
  QEventLoop loop;
  QTimer::singleShot(0, [] { throw std::runtime_error("timer"); });
  QTimer::singleShot(20, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_EQ(ui.messages, std::vector<std::string>{"timer"});
}

// A connected handler is guarded before Qt's frames: shown, the button usable again, and
// nothing of Qt's left behind (the leak checker runs on every test).
TEST(GuardInTheEventLoop, AGuardedButtonHandlerThatThrows) {
  App();
  FakeUi ui;
  QToolButton button;
  QObject::connect(&button, &QToolButton::clicked,
                   Guarded([] { throw std::runtime_error("clicked"); }));
  button.show();
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"clicked"});
  EXPECT_FALSE(button.isDown());
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(ui.messages.size(), 2u);
}

// Qt takes the user's locale at start-up; DICOM decimal strings must still read with a point.
TEST(GuardedApplicationLocale, NumbersStayInTheCLocale) {
  App();
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  DcmTag sensitivity(0x003A, 0x0210, std::string("1.25"));
  EXPECT_FLOAT_EQ(sensitivity.GetFloat(), 1.25f);
}

// --- message boxes ---

struct BoxCase {
  const char* name;
  std::function<void()> show;
  const char* caption;
  const char* text;
};

class MessageBoxes : public ::testing::TestWithParam<BoxCase> {};

// Message boxes were captioned with the executable's file name, "trevalind": the real boxes
// carry the product's display name, and a question its own caption.
TEST_P(MessageBoxes, CarryTheirCaption) {
  App();
  QString caption, text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    caption = box->windowTitle();
    text = box->text();
    box->button(box->buttons().size() > 1 ? QMessageBox::Cancel : QMessageBox::Ok)->click();
  });
  GetParam().show();
  EXPECT_EQ(caption, GetParam().caption);
  EXPECT_EQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, MessageBoxes,
    ::testing::Values(
        BoxCase{"Message", [] { QtUiServices().ShowMessage(nullptr, "ERROR: Reading File"); },
                "Trevalind ECG", "ERROR: Reading File"},
        BoxCase{"Question",
                [] { QtUiServices().Confirm(nullptr, "Have no filters\r\nSearch", "WARNING"); },
                "WARNING", "Have no filters\nSearch"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- modal showing ---

// A main window that refuses the first `refusals` close requests.
class Window : public QMainWindow {
 public:
  int refusals = 0;
  int closeRequests = 0;

 protected:
  void closeEvent(QCloseEvent* event) override {
    ++closeRequests;
    if (refusals > 0) {
      --refusals;
      event->ignore();
      return;
    }
    QMainWindow::closeEvent(event);
  }
};

TEST(ShowModal, ReturnsTheResultSetBeforeClosing) {
  App();
  struct Case {
    bool setResult;
    ModalResult result, expected;
  };
  const Case cases[] = {{true, ModalResult::Ok, ModalResult::Ok},
                        {true, ModalResult::No, ModalResult::No},
                        {false, ModalResult::None, ModalResult::Cancel}};
  Window window;
  for (const Case& c : cases) {
    Qt::WindowModality during = Qt::NonModal;
    QTimer::singleShot(0, &window, [&] {
      during = window.windowModality();
      if (c.setResult) SetModalResult(window, c.result);
      window.close();
    });
    // The same window shown again starts without the previous showing's result.
    EXPECT_EQ(ShowModal(window), c.expected);
    EXPECT_EQ(during, Qt::ApplicationModal);
    EXPECT_FALSE(window.isVisible());
  }
}

TEST(ShowModal, ARefusedCloseKeepsTheLoopRunning) {
  App();
  Window window;
  window.refusals = 1;
  QTimer::singleShot(0, &window, [&] { window.close(); });
  QTimer::singleShot(30, &window, [&] {
    EXPECT_TRUE(window.isVisible());
    SetModalResult(window, ModalResult::Yes);
    window.close();
  });
  EXPECT_EQ(ShowModal(window), ModalResult::Yes);
  EXPECT_EQ(window.closeRequests, 2);
}

TEST(ShowModal, AWindowDestroyedWhileShownEndsTheLoop) {
  App();
  auto* window = new Window;
  QTimer::singleShot(0, window, [window] { window->deleteLater(); });
  EXPECT_EQ(ShowModal(*window), ModalResult::Cancel);
}

TEST(ShowModal, NestedShowingsReturnInnerFirst) {
  App();
  Window outer, inner;
  std::vector<std::string> order;
  QTimer::singleShot(0, &outer, [&] {
    QTimer::singleShot(0, &inner, [&] {
      SetModalResult(inner, ModalResult::Ok);
      inner.close();
    });
    order.push_back(ShowModal(inner) == ModalResult::Ok ? "inner ok" : "inner other");
    EXPECT_TRUE(outer.isVisible());
    outer.close();
  });
  ShowModal(outer);
  order.push_back("outer");
  EXPECT_EQ(order, (std::vector<std::string>{"inner ok", "outer"}));
}

}  // namespace
