// The query records: filling from data sets (top-level elements only) and the identifiers
// they write.
#include <cstring>

#include "db/ImageInfo.h"
#include "db/ObjectsDB.h"
#include "db/SeriesInfo.h"
#include "db/StudyInfo.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/Tags.h"
#include "dicom/util/TextUtil.h"
#include "tests/db/DbTestSupport.h"

namespace {

class RecordsTest : public DbTest {};

// An element holding exactly these bytes (odd lengths included: no pad is added).
DcmTag* Raw(uint16_t group, uint16_t element, const std::string& bytes, const char* vr) {
  auto* tag = new DcmTag(group, element, std::string(), vr);
  tag->SetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return tag;
}

bool HoldsElementAnywhere(const DcmObj& dataSet, uint16_t group, uint16_t element,
                          const std::string& text) {
  for (const auto& entry : dataSet.items)
    if (entry->kind() == DcmEntry::Kind::Tag) {
      const auto& tag = static_cast<const DcmTag&>(*entry);
      if (tag.group == group && tag.element == element && tag.GetString() == text) return true;
    }
  return false;
}

// A Request Attributes Sequence of undefined length carries another study's UID and accession
// number after the top-level ones; taking them made the Study and Series rows name a study
// whose folder and objects lie elsewhere.
TEST_F(RecordsTest, ValuesInsideSequencesNeverReplaceTopLevelFields) {
  const std::string path = folder + "nested.dcm";
  ASSERT_EQ(RunPython("make_nested.py '" + path + "'"), 0);
  DcmObj object;
  ASSERT_TRUE(object.Read(path));
  ASSERT_TRUE(HoldsElementAnywhere(object, 0x0020, 0x000D, "9.9.9"));  // kept flat in the list

  StudyInfo study;
  study.ReadDCO(object);
  EXPECT_EQ(study.StudyInstanceUID, "1.2.3");
  EXPECT_EQ(study.AccessionNumber, "ACC1");
  SeriesInfo series;
  series.ReadDCO(object);
  EXPECT_EQ(series.StudyInstanceUID, "1.2.3");
  EXPECT_EQ(series.SeriesInstanceUID, "1.2.3.4");
  ImageInfo image;  // the inner sequence's delimiter must not end the skip
  image.ReadDCO(object);
  EXPECT_EQ(image.StudyInstanceUID, "1.2.3");
  EXPECT_EQ(image.SeriesInstanceUID, "1.2.3.4");
  EXPECT_EQ(image.SOPInstanceUID, "1.2.3.4.5.6");
  EXPECT_EQ(image.InstanceNumber, "3");
}

// An undefined-length element that opens no sequence (here a private OB) made the records count
// every later element as inside a sequence, so they missed the UIDs GetString reads.
TEST_F(RecordsTest, RecordsAndGetStringAgreeOnWhatIsTopLevel) {
  DcmObj object;
  auto* opaque = new DcmTag(0x0009, 0x1010, std::string(), "OB");
  opaque->length = kUndefinedLength;
  object.Add(opaque);
  object.Add(Raw(0x0008, 0x0018, "1.2.3.4.5", "UI"));
  object.Add(Raw(0x0020, 0x000D, "1.2.3", "UI"));
  object.Add(Raw(0x0020, 0x000E, "1.2.3.4", "UI"));
  ASSERT_EQ(object.GetString(tag::kStudyInstanceUID), "1.2.3");

  StudyInfo study;
  study.ReadDCO(object);
  SeriesInfo series;
  series.ReadDCO(object);
  ImageInfo image;
  image.ReadDCO(object);
  for (const std::string* read :
       {&study.StudyInstanceUID, &series.StudyInstanceUID, &image.StudyInstanceUID})
    EXPECT_EQ(*read, object.GetString(tag::kStudyInstanceUID));
  EXPECT_EQ(series.SeriesInstanceUID, object.GetString(tag::kSeriesInstanceUID));
  EXPECT_EQ(image.SOPInstanceUID, object.GetString(tag::kSOPInstanceUID));
}

TEST_F(RecordsTest, StudyInfoTakesTrimmedTextsAndTheLaterModality) {
  DcmObj object;
  object.Add(new DcmTag(0x0008, 0x0060, std::string("ECG")));
  object.Add(new DcmTag(0x0008, 0x0061, std::string("ECG\\HD")));
  object.Add(new DcmTag(0x0010, 0x0010, std::string(" DOE,JOHN ")));
  object.Add(Raw(0x0020, 0x000D, std::string("1.2.3\0", 6), "UI"));
  object.Add(Raw(0x0010, 0x0020, "PID7", "LO"));
  object.Add(Raw(0x0010, 0x0020, "", "LO"));  // an empty later value leaves the field
  StudyInfo study;
  study.ReadDCO(object);
  EXPECT_EQ(study.StudyModality, "ECG\\HD");
  EXPECT_EQ(study.PatientName, "DOE^JOHN");
  EXPECT_EQ(study.StudyInstanceUID, "1.2.3");
  EXPECT_EQ(study.PatientID, "PID7");
  EXPECT_EQ(study.StationName, "");
}

TEST_F(RecordsTest, ImageInfoReadsUnsignedShortsAndNeverFailsOnUnusedNumbers) {
  DcmObj object;
  object.Add(Raw(0x0028, 0x0002, std::string("\x01", 1), "US"));  // one byte: counts as 0
  object.Add(Raw(0x0028, 0x0010, std::string("\x00\x02", 2), "US"));
  object.Add(Raw(0x0028, 0x0011, "abc ", "IS"));  // not a number: stored as 0, reading goes on
  object.Add(Raw(0x0028, 0x0101, "12", "IS"));
  object.Add(Raw(0x0028, 0x0008, " 5", "IS"));
  object.Add(Raw(0x0018, 0x1210, "K1 ", "SH"));
  ImageInfo image;
  image.ReadDCO(object);
  EXPECT_EQ(image.SamplesPerPixel, 0);
  EXPECT_EQ(image.Rows, 512);
  EXPECT_EQ(image.Columns, 0);
  EXPECT_EQ(image.BitsStored, 12);
  EXPECT_EQ(image.NumberOfFrames, " 5");      // untrimmed
  EXPECT_EQ(image.ConvolutionKernel, "K1 ");  // untrimmed
}

TEST_F(RecordsTest, ImageNumbersAreDecimalSigned32BitOrZero) {
  struct Case {
    std::string text;
    int value;
  } cases[] = {{"12", 12},
               {"", 0},
               {"$1F", 0},
               {"0x1F", 0},
               {"2147483647", 2147483647},
               {"2147483648", 0},
               {"-2147483648", -2147483647 - 1},
               {"-5", -5},
               {"+5", 5},
               {"+-5", 0},
               {"-", 0},
               {"12a", 0},
               {"1.5", 0}};
  for (const Case& c : cases) EXPECT_EQ(DecimalOrZero(c.text), c.value) << c.text;
}

struct Written {
  uint16_t group;
  uint16_t element;
  std::string vr;
  std::string bytes;
};

std::vector<Written> Elements(const DcmObj& identifier) {
  std::vector<Written> out;
  for (int i = 0; i < identifier.Count(); ++i) {
    const DcmTag* tag = identifier.TagAt(i);
    out.push_back(
        {tag->group, tag->element, tag->VR(), std::string(tag->data.begin(), tag->data.end())});
  }
  return out;
}

TEST_F(RecordsTest, WriteDCOAppendsTheLevelKeysInTagOrder) {
  StudyInfo study;
  study.PatientName = "DOE*";
  study.StudyInstanceUID = "1.2.3";
  DcmObj studyKeys;
  study.WriteDCO(studyKeys);
  const auto s = Elements(studyKeys);
  ASSERT_EQ(s.size(), 13u);
  EXPECT_EQ(s[3].bytes, "STUDY ");
  EXPECT_EQ(s[8].bytes, "DOE*");
  EXPECT_EQ(s[12].bytes, std::string("1.2.3\0", 6));
  for (size_t i = 1; i < s.size(); ++i)
    EXPECT_LT((uint32_t(s[i - 1].group) << 16) | s[i - 1].element,
              (uint32_t(s[i].group) << 16) | s[i].element);

  SeriesInfo series;
  DcmObj seriesKeys;
  series.WriteDCO(seriesKeys);
  const auto r = Elements(seriesKeys);
  ASSERT_EQ(r.size(), 13u);
  EXPECT_EQ(r[2].bytes, "SERIES");
  EXPECT_EQ(r[4].group, 0x0008);
  EXPECT_EQ(r[4].element, 0x0080);
  EXPECT_EQ(r[4].vr, "CS");

  ImageInfo image;
  DcmObj imageKeys;
  image.WriteDCO(imageKeys);
  const auto m = Elements(imageKeys);
  ASSERT_EQ(m.size(), 16u);
  EXPECT_EQ(m[7].bytes, "IMAGE ");
  int empty = 0;
  for (const auto& e : m) empty += e.bytes.empty();
  EXPECT_EQ(empty, 15);
}

}  // namespace
