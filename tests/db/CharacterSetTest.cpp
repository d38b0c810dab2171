// Received text into the database's one encoding: the shared characters of Windows-1252 and
// Latin-1, everything else "?". Registration converts by the data set's declaration and leaves
// the data set's own bytes alone.
#include <gtest/gtest.h>

#include "db/CharacterSet.h"
#include "db/LocalQuery.h"
#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/StoreNames.h"
#include "dicom/DcmObj.h"
#include "tests/db/DbTestSupport.h"

namespace {

struct ConversionCase {
  const char* what;
  ReceivedCharacterSet from;
  std::string text;
  std::string stored;
};

const ConversionCase kConversions[] = {
    {"umlauts in UTF-8", ReceivedCharacterSet::Utf8, "M\xC3\x9CLLER^J\xC3\x96RG",
     "M\xDCLLER^J\xD6RG"},
    {"the last shared character", ReceivedCharacterSet::Utf8, "\xC3\xBF", "\xFF"},
    {"a no-break space", ReceivedCharacterSet::Utf8, "\xC2\xA0", "\xA0"},
    {"euro sign, only Windows-1252 has it", ReceivedCharacterSet::Utf8, "5\xE2\x82\xAC", "5?"},
    {"a C1 control", ReceivedCharacterSet::Utf8,
     "A\xC2\x85"
     "B",
     "A?B"},
    {"Polish L", ReceivedCharacterSet::Utf8, "\xC5\x81UKASZ", "?UKASZ"},
    {"four bytes, one character", ReceivedCharacterSet::Utf8, "\xF0\x9F\x98\x80!", "?!"},
    {"lone continuation byte", ReceivedCharacterSet::Utf8,
     "A\x80"
     "B",
     "A?B"},
    {"truncated at the end", ReceivedCharacterSet::Utf8, "AB\xC3", "AB?"},
    {"truncated before ASCII", ReceivedCharacterSet::Utf8,
     "\xE2\x82"
     "A",
     "?A"},
    {"overlong slash", ReceivedCharacterSet::Utf8, "\xC0\xAF", "?"},
    {"overlong in three bytes", ReceivedCharacterSet::Utf8, "\xE0\x81\x81", "?"},
    {"surrogate", ReceivedCharacterSet::Utf8, "\xED\xA0\x80", "?"},
    {"beyond U+10FFFF", ReceivedCharacterSet::Utf8, "\xF4\x90\x80\x80", "?"},
    {"no lead byte at all", ReceivedCharacterSet::Utf8, "\xFF\xFE", "??"},
    {"Latin-1 letters stay", ReceivedCharacterSet::Latin1,
     "GR\xC5"
     "BERG^S\xD8REN",
     "GR\xC5"
     "BERG^S\xD8REN"},
    {"Latin-1 C1 byte the browser would misread", ReceivedCharacterSet::Latin1, "K\x85NIG",
     "K?NIG"},
    {"undeclared bytes stay", ReceivedCharacterSet::AsStored, "K\x85\xC3\x9C", "K\x85\xC3\x9C"},
    {"ASCII is ASCII", ReceivedCharacterSet::Utf8, "DOE^JOHN 1.2.3", "DOE^JOHN 1.2.3"},
};

TEST(CharacterSet, ReceivedTextBecomesTheDatabasesEncoding) {
  for (const ConversionCase& c : kConversions) {
    EXPECT_EQ(ToDatabaseText(c.text, c.from), c.stored) << c.what;
    // No text above holds a "?" of its own: each one in the stored form was made by the
    // conversion.
    EXPECT_EQ(DatabaseHolds(c.text, c.from), c.stored.find('?') == std::string::npos) << c.what;
  }
  EXPECT_TRUE(DatabaseHolds("WHO?", ReceivedCharacterSet::Utf8));
}

TEST(CharacterSet, DeclarationsThatAreConverted) {
  struct Case {
    const char* declared;  // nullptr: no (0008,0005)
    ReceivedCharacterSet read;
  } cases[] = {{"ISO_IR 192", ReceivedCharacterSet::Utf8},
               {"ISO_IR 100", ReceivedCharacterSet::Latin1},
               {"ISO_IR 144", ReceivedCharacterSet::AsStored},
               {"", ReceivedCharacterSet::AsStored},
               {nullptr, ReceivedCharacterSet::AsStored}};
  for (const Case& c : cases) {
    DcmObj dataSet;
    if (c.declared) dataSet.Insert(new DcmTag(0x0008, 0x0005, std::string(c.declared), "CS"));
    EXPECT_EQ(DeclaredCharacterSet(dataSet), c.read) << (c.declared ? c.declared : "none");
  }
  EXPECT_TRUE(HasBytesAbove7F("M\xDCLLER"));
  EXPECT_FALSE(HasBytesAbove7F("MUELLER"));
}

class CharacterSetRegistration : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    CreateStudyDatabase();
  }
};

// A UTF-8 name was registered as its bytes, so the browser and every C-FIND response showed each
// umlaut as two wrong characters.
TEST_F(CharacterSetRegistration, TextColumnsAreConvertedAndTheDataSetKeepsItsBytes) {
  const std::string utf8Name = "M\xC3\x9CLLER^J\xC3\x96RG";
  DcmObj object;
  MakeObject(object, "1.2.50", "1.2.50.1", "1.2.50.1.1",
             {{0x0008, 0x0005, "ISO_IR 192"},
              {0x0010, 0x0010, utf8Name},
              {0x0008, 0x1030, "\xC3\x89TUDE \xE2\x82\xAC"},
              {0x0008, 0x103E, "S\xC3\xA9rie"}});
  ASSERT_TRUE(RegisterinDB("PEER", object, "20240105", MakeStudyFolderName(object),
                           MakeSeriesFolderName(object)));
  // hex() shows the stored bytes themselves, whatever the shell's locale does with them.
  // The name in its stored form too: "^" a blank.
  EXPECT_EQ(Sqlite("SELECT hex(PatientName), hex(StudyDescription) FROM Study"),
            std::vector<std::string>{"4DDC4C4C4552204AD65247|C954554445203F"});
  EXPECT_EQ(Sqlite("SELECT hex(SeriesDescription) FROM Series"),
            std::vector<std::string>{"53E9726965"});
  EXPECT_EQ(object.GetString(0x0010, 0x0010), utf8Name);
  EXPECT_EQ(object.GetString(0x0008, 0x0005), "ISO_IR 192");
}

// Keys were compared as the bytes the peer sent, whatever its identifier declared, so a peer
// writing UTF-8 found nothing for a name registered from UTF-8 or Latin-1. A key now goes
// through the conversion registered text went through; an undeclared key is its bytes as ever.
TEST_F(CharacterSetRegistration, KeysAreConvertedAsRegisteredTextWas) {
  DcmObj utf8, latin1;
  MakeObject(utf8, "1.2.51", "1.2.51.1", "1.2.51.1.1",
             {{0x0008, 0x0005, "ISO_IR 192"},
              {0x0010, 0x0010, "M\xC3\x9CLLER^J\xC3\x96RG"},
              {0x0008, 0x1030, "\xC3\x89TUDE \xE2\x82\xAC"},
              {0x0008, 0x103E, "S\xC3\xA9rie"}});
  MakeObject(latin1, "1.2.52", "1.2.52.1", "1.2.52.1.1",
             {{0x0008, 0x0005, "ISO_IR 100"}, {0x0010, 0x0010, "M\xDCLLER^ANNA"}});
  // Two patients whose names the database cannot hold (stored as "?" runs), and one whose
  // undeclared bytes are stored as they stand, a Windows-1252 ellipsis among them.
  DcmObj greek, cyrillic, undeclared;
  MakeObject(greek, "1.2.54", "1.2.54.1", "1.2.54.1.1",
             {{0x0008, 0x0005, "ISO_IR 192"},
              {0x0010, 0x0010, "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD^\xCE\x95"},
              {0x0010, 0x0020, "P54"},
              {0x0008, 0x103E, "\xCE\xA3\xCE\xB5"}});
  MakeObject(cyrillic, "1.2.55", "1.2.55.1", "1.2.55.1.1",
             {{0x0008, 0x0005, "ISO_IR 192"},
              {0x0010, 0x0010, "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD^\xD0\x98"},
              {0x0010, 0x0020, "P55"},
              {0x0008, 0x103E, "\xD0\xA1\xD0\xB5"}});
  MakeObject(undeclared, "1.2.56", "1.2.56.1", "1.2.56.1.1",
             {{0x0010, 0x0010, "K\x85NIG"}, {0x0010, 0x0020, "P56"}});
  for (DcmObj* object : {&utf8, &latin1, &greek, &cyrillic, &undeclared})
    ASSERT_TRUE(RegisterinDB("PEER", *object, "20240105", MakeStudyFolderName(*object),
                             MakeSeriesFolderName(*object)));
  struct KeyCase {
    const char* what;
    const char* declared;  // nullptr: no (0008,0005)
    const char* level;
    uint16_t group, element;
    std::string key;
    size_t found;
  };
  const KeyCase cases[] = {
      {"UTF-8 key", "ISO_IR 192", "STUDY", 0x0010, 0x0010, "M\xC3\x9CL*", 2},
      {"UTF-8 key, the whole name", "ISO_IR 192", "STUDY", 0x0010, 0x0010,
       "M\xC3\x9CLLER^J\xC3\x96RG", 1},
      {"Latin-1 key", "ISO_IR 100", "STUDY", 0x0010, 0x0010, "M\xDCLLER^ANNA", 1},
      {"undeclared key: its bytes", nullptr, "STUDY", 0x0010, 0x0010, "M\xDCL*", 2},
      {"undeclared UTF-8 bytes stay bytes", nullptr, "STUDY", 0x0010, 0x0010, "M\xC3\x9CL*", 0},
      {"letter case beyond A to Z counts", "ISO_IR 192", "STUDY", 0x0010, 0x0010, "m\xC3\xBCl*", 0},
      {"letter case within A to Z does not", "ISO_IR 192", "STUDY", 0x0010, 0x0010, "m\xC3\x9Cl*",
       2},
      {"Latin-1 key, both copies", "ISO_IR 100", "STUDY", 0x0010, 0x0010, "M\xDCL*", 2},
      // A character the database cannot hold is "?" in the row, where it stands for any such
      // character: a key holding one matches nothing, its own row included.
      {"UTF-8 key beyond Latin-1", "ISO_IR 192", "STUDY", 0x0008, 0x1030,
       "\xC3\x89TUDE \xE2\x82\xAC", 0},
      {"Greek key", "ISO_IR 192", "STUDY", 0x0010, 0x0010, "\xCE\x95\xCE\xBB\xCE\xBB*", 0},
      {"Cyrillic key", "ISO_IR 192", "STUDY", 0x0010, 0x0010, "\xD0\x98\xD0\xB2\xD0\xB0*", 0},
      {"Greek name whole", "ISO_IR 192", "STUDY", 0x0010, 0x0010,
       "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD^\xCE\x95", 0},
      {"malformed UTF-8", "ISO_IR 192", "STUDY", 0x0010, 0x0010, "\xFF\xFF*", 0},
      {"Greek key at SERIES level", "ISO_IR 192", "SERIES", 0x0008, 0x103E, "\xCE\xA3\xCE\xB5", 0},
      {"Greek key at IMAGE level", "ISO_IR 192", "IMAGE", 0x0020, 0x000D, "1.2.54\xCE\xA3", 0},
      // A Latin-1 C1 control is no ellipsis: a Latin-1 key holding one finds no one, where
      // the same bytes undeclared find the name stored with them.
      {"Latin-1 key with a C1 control", "ISO_IR 100", "STUDY", 0x0010, 0x0010, "K\x85N*", 0},
      {"undeclared key with the same byte", nullptr, "STUDY", 0x0010, 0x0010, "K\x85N*", 1},
      // "?" typed in a key is an ordinary character, undeclared or not.
      {"typed question marks", nullptr, "STUDY", 0x0010, 0x0010, "???*", 2},
      {"typed question marks in UTF-8", "ISO_IR 192", "STUDY", 0x0010, 0x0010, "???*", 2},
      // Such a patient is still found by the other keys.
      {"Patient ID of the Greek patient", "ISO_IR 192", "STUDY", 0x0010, 0x0020, "P54", 1},
      {"UTF-8 key at SERIES level", "ISO_IR 192", "SERIES", 0x0008, 0x103E, "S\xC3\xA9r", 1},
      {"Latin-1 key at SERIES level", "ISO_IR 100", "SERIES", 0x0008, 0x103E, "S\xE9rie", 1},
      {"undeclared key at SERIES level", nullptr, "SERIES", 0x0008, 0x103E, "S\xC3\xA9rie", 0},
  };
  for (const KeyCase& c : cases) {
    DcmObj identifier;
    if (c.declared) identifier.Add(new DcmTag(0x0008, 0x0005, std::string(c.declared), "CS"));
    identifier.Add(new DcmTag(c.group, c.element, c.key));
    std::vector<std::string> rows;
    std::string columns;
    int count = 0;
    ASSERT_TRUE(QueryLocalDatabase(identifier, rows, columns, count, c.level)) << c.what;
    EXPECT_EQ(rows.size(), c.found) << c.what;
  }
}

// The Users row's values join the peer's keys and are converted with them, so they are written
// in the identifier's declaration first: a row's "SÜD" (Latin-1) still narrows a UTF-8 search.
TEST_F(CharacterSetRegistration, UsersRowValuesNarrowInTheKeysCharacterSet) {
  DcmObj object;
  MakeObject(object, "1.2.53", "1.2.53.1", "1.2.53.1.1",
             {{0x0008, 0x0005, "ISO_IR 192"},
              {0x0008, 0x0080,
               "KLINIK S\xC3\x9C"
               "D"}});
  ASSERT_TRUE(RegisterinDB("PEER", object, "20240105", MakeStudyFolderName(object),
                           MakeSeriesFolderName(object)));
  {
    SQLdb users("vesmora", kOpenCreate);
    ASSERT_EQ(users.Exec("CREATE TABLE Users (UserName VARCHAR(64) PRIMARY KEY, PassWord "
                         "VARCHAR(64), Rights INTEGER, TransSyntax INTEGER, PhysicianName "
                         "VARCHAR(128), InstitutionName VARCHAR(128), StudyDescription "
                         "VARCHAR(128), StudyModality VARCHAR(128))"),
              0);
    ASSERT_EQ(users.Exec("INSERT INTO Users VALUES ('NODE', '', 0, 0, '', ?, '', '')",
                         {std::string("S\xDC"
                                      "D")}),
              0);
  }
  for (const char* declared : {"ISO_IR 192", "ISO_IR 100", ""}) {
    DcmObj identifier;
    if (*declared) identifier.Add(new DcmTag(0x0008, 0x0005, std::string(declared), "CS"));
    identifier.Add(new DcmTag(0x0020, 0x000D, std::string()));
    ASSERT_TRUE(ModifyQueryByUser("NODE", identifier)) << declared;
    std::vector<std::string> rows;
    std::string columns;
    int count = 0;
    ASSERT_TRUE(QueryLocalDatabase(identifier, rows, columns, count, "STUDY")) << declared;
    EXPECT_EQ(rows.size(), 1u) << declared;
  }
  // Every character the database holds comes back from UTF-8 as it went in.
  std::string held;
  for (int c = 0x01; c <= 0xFF; ++c)
    if (c < 0x80 || c >= 0xA0) held += static_cast<char>(c);
  EXPECT_EQ(ToDatabaseText(FromDatabaseText(held, ReceivedCharacterSet::Utf8),
                           ReceivedCharacterSet::Utf8),
            held);
}

}  // namespace
