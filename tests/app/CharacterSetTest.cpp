// Patient names beyond ASCII, sent by storescu in UTF-8 and in Latin-1, read back through the
// browser's list (the real widgets, offscreen), through its search of the local node, and
// through dcmtk's findscu, whose responses pydicom decodes from their own declaration.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/Clock.h"
#include "app/Gridfunctions.h"
#include "app/TFindForm.h"
#include "tests/app/AppTestSupport.h"

namespace {

const std::string kScript = TREVALIND_SOURCE_DIR "/tests/app/named_ecgs.py";

struct NamedPatient {
  const char* patientId;
  const char* shown;     // UTF-8: what every reader shows, "^" as a blank as stored
  const char* declared;  // by a C-FIND response: only one beyond ASCII declares Latin-1
};
// Characters Latin-1 lacks are shown as "?", as is the byte 0x85, which Latin-1 reads as a
// control character and Windows-1252 as an ellipsis.
const NamedPatient kPatients[] = {
    {"L1", "GRÅBERG SØREN", "ISO_IR 100"},
    {"L2", "K?NIG ANNA", ""},
    {"U1", "MÜLLER JÖRG", "ISO_IR 100"},
    {"U2", "?UKASZ ?Ó?W", "ISO_IR 100"},
};

class CharacterSets : public testing::Test {
 protected:
  void SetUp() override {
    SetTodayForTests([] { return QDate(2024, 3, 1); });
    folder.Write("trevalind.cfg", ConfigRecord(port, "KORVA", 1));
    ASSERT_EQ(Shell("/usr/bin/python3 " + kScript + " make '" + folder.path() + "sent'"), 0);
    browser = std::make_unique<RunningBrowser>(folder.path());
    ASSERT_EQ(Shell("storescu -aec KORVA 127.0.0.1 " + port + " '" + folder.path() + "sent'/*.dcm"),
              0);
  }
  void TearDown() override {
    browser.reset();
    SetTodayForTests({});
  }
  // "PatientID|name|declaration" lines of the files, names decoded by pydicom.
  std::string Names(const std::string& files) {
    EXPECT_EQ(Shell("/usr/bin/python3 " + kScript + " names " + files + " > '" + folder.path() +
                    "names.out'"),
              0);
    return folder.Read("names.out");
  }
  TempFolder folder;
  RecordingUi ui;
  const std::string port = FreePort();
  std::unique_ptr<RunningBrowser> browser;
};

// Names declared as UTF-8 were registered as their bytes, and the browser and every C-FIND
// response (which declared no character set) showed each umlaut as two wrong characters.
TEST_F(CharacterSets, NamesComeBackAsTheyWereSent) {
  FindForm->ComboBox1Change();  // the local list
  StringGrid& grid = *FindForm->StringGrid1;
  ASSERT_EQ(grid.RowCount(), 5);
  for (const NamedPatient& patient : kPatients) {
    int row = 1;
    while (row < grid.RowCount() && grid.Cell(1, row) != patient.patientId) ++row;
    ASSERT_LT(row, grid.RowCount()) << patient.patientId;
    EXPECT_EQ(grid.Cell(0, row), QString::fromUtf8(patient.shown)) << patient.patientId;
  }

  // The browser's search of the local node goes through our own C-FIND service.
  FindForm->Edit1->setText("U1");
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  ASSERT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cell(0, 1), QString::fromUtf8("MÜLLER JÖRG"));

  const std::string responses = folder.path() + "responses";
  ASSERT_EQ(Shell("mkdir -p '" + responses + "' && findscu -S -X -od '" + responses +
                  "' -aec KORVA 127.0.0.1 " + port +
                  " -k QueryRetrieveLevel=STUDY -k PatientName -k PatientID"),
            0);
  std::string expected;
  for (const NamedPatient& patient : kPatients)
    expected +=
        std::string(patient.patientId) + "|" + patient.shown + "|" + patient.declared + "\n";
  EXPECT_EQ(Names("'" + responses + "'/rsp*.dcm"), expected);

  // The stored files keep their own bytes and declarations ("^" blank as ever).
  EXPECT_EQ(Names("$(find '" + folder.path() + "imagebox' -name '*.dcm')"),
            "L1|GRÅBERG SØREN|ISO_IR 100\nL2|K\u0085NIG ANNA|ISO_IR 100\n"
            "U1|MÜLLER JÖRG|ISO_IR 192\nU2|ŁUKASZ ŻÓŁW|ISO_IR 192\n");
}

}  // namespace
