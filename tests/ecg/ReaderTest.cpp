// The reader over both sequence shapes and their mixtures, crafted in memory, and over the
// real sample ECG in flat, nested, implicit and big-endian form (made at test time by dcmtk's
// dcmconv). Facts about the sample come from pydicom's reading of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "ecg/Study.h"
#include "tests/ecg/DataSetBuilder.h"

namespace {

// Everything the reader fills, one line per record, for whole-model comparisons.
// With trimNames, source names lose the padding only nested texts keep.
std::string Summary(const TStudy& study, bool trimNames = false) {
  std::ostringstream out;
  out << study.modality << "|" << study.patientName << "|" << study.patientID << "|"
      << study.birthDate << "|" << study.sex << "|" << study.studyDate << "|" << study.studyTime
      << "\n";
  for (const auto& w : study.waveforms) {
    out << "W " << w->originality << " C=" << w->channelCount << " N=" << w->sampleCount
        << " fs=" << w->samplingFrequency << " bytes=" << w->dataLength << "\n";
    for (const auto& c : w->channels) {
      std::string name = c->sourceName;
      while (trimNames && !name.empty() && name.back() == ' ') name.pop_back();
      out << "  [" << name << "] [" << c->units << "] s=" << c->sensitivity
          << " c=" << c->correction << " b=" << c->baseline << "\n";
    }
  }
  return out.str();
}

std::unique_ptr<TStudy> LoadEntries(const Entries& entries, bool explicitVR = true) {
  DcmObj obj;
  obj.explicitVR = explicitVR;
  obj.transferSyntax = "1.2.840.10008.1.2.1";
  AddAll(obj, entries);
  auto study = std::make_unique<TStudy>();
  study->Load(obj);
  return study;
}

// --- one two-channel group in every shape ---

const std::vector<uint8_t> kSamples = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0};

Entries Header() { return {Text(0x0008, 0x0060, "ECG"), Text(0x0010, 0x0010, "Doe^J")}; }
Entries GroupStart() {
  return {Text(0x003A, 0x0004, "ORIGINAL"), U16(0x003A, 0x0005, 2), U32(0x003A, 0x0010, 3),
          Text(0x003A, 0x001A, "500")};
}
Entries GroupEnd() { return {U16(0x5400, 0x1004, 16), Bytes(0x5400, 0x1010, kSamples)}; }
Entries Code(const std::string& value, const std::string& meaning) {
  return {Text(0x0008, 0x0100, value), Text(0x0008, 0x0104, meaning)};
}
Entries FlatSeq(uint16_t g, uint16_t e, const Entries& inner) {
  return Join({{Undefined(g, e), ItemStart()}, inner, {ItemEnd(), SequenceEnd()}});
}

// A channel's contents with its two code sequences flat or nested.
Entries ChannelBody(const std::string& lead, bool flatCodes) {
  Entries source = flatCodes ? FlatSeq(0x003A, 0x0208, Code("ab", lead))
                             : Entries{Nested(0x003A, 0x0208, {Item(Code("ab", lead))})};
  Entries units = flatCodes ? FlatSeq(0x003A, 0x0211, Code("uV", "microvolt"))
                            : Entries{Nested(0x003A, 0x0211, {Item(Code("uV", "microvolt"))})};
  return Join({source, {Text(0x003A, 0x0210, "2.5")}, units, {U16(0x003A, 0x021A, 16)}});
}

Entries FlatChannels(bool flatCodes = true) {
  return Join({{Undefined(0x003A, 0x0200), ItemStart()},
               ChannelBody("II", flatCodes),
               {ItemEnd(), ItemStart()},
               ChannelBody("V1", flatCodes),
               {ItemEnd(), SequenceEnd()}});
}
Entry NestedChannels() {
  return Nested(0x003A, 0x0200, {Item(ChannelBody("II", false)), Item(ChannelBody("V1", false))});
}

Entries AllFlat() {
  return Join({Header(),
               {Undefined(0x5400, 0x0100), ItemStart()},
               GroupStart(),
               FlatChannels(),
               GroupEnd(),
               {ItemEnd(), SequenceEnd()}});
}
Entries AllNested() {
  return Join(
      {Header(),
       {Nested(0x5400, 0x0100, {Item(Join({GroupStart(), {NestedChannels()}, GroupEnd()}))})}});
}

const char* const kTwoLeadModel =
    "ECG|Doe^J|||||\n"
    "W ORIGINAL C=2 N=3 fs=500 bytes=12\n"
    "  [II] [uV] s=2.5 c=1 b=0\n"
    "  [V1] [uV] s=2.5 c=1 b=0\n";

struct ShapeCase {
  const char* name;
  Entries (*build)();
};

class ReaderShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(ReaderShapes, GiveTheSameModel) {
  EXPECT_EQ(Summary(*LoadEntries(GetParam().build())), kTwoLeadModel);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ReaderShapes,
    ::testing::Values(
        ShapeCase{"AllFlat", AllFlat}, ShapeCase{"AllNested", AllNested},
        // an undefined-length Waveform Sequence whose item has a defined length
        ShapeCase{"FlatSequenceNestedItem",
                  [] {
                    return Join({Header(),
                                 {Undefined(0x5400, 0x0100)},
                                 {Item(Join({GroupStart(), {NestedChannels()}, GroupEnd()}))},
                                 {SequenceEnd()}});
                  }},
        // a defined-length Channel Definition Sequence inside the flat shape
        ShapeCase{"FlatWithNestedChannelDefinitions",
                  [] {
                    return Join({Header(),
                                 {Undefined(0x5400, 0x0100), ItemStart()},
                                 GroupStart(),
                                 {NestedChannels()},
                                 GroupEnd(),
                                 {ItemEnd(), SequenceEnd()}});
                  }},
        // defined-length Channel Source and Units Sequences inside the flat shape
        ShapeCase{"FlatWithNestedCodes",
                  [] {
                    return Join({Header(),
                                 {Undefined(0x5400, 0x0100), ItemStart()},
                                 GroupStart(),
                                 FlatChannels(false),
                                 GroupEnd(),
                                 {ItemEnd(), SequenceEnd()}});
                  }},
        // an undefined-length Channel Definition Sequence inside a defined-length item
        ShapeCase{"NestedWithFlatChannelDefinitions",
                  [] {
                    return Join(
                        {Header(),
                         {Nested(0x5400, 0x0100,
                                 {Item(Join({GroupStart(), FlatChannels(), GroupEnd()}))})}});
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

// Undefined-length items inside a defined-length Channel Definition Sequence lie flat in it:
// each item's defined-length Channel Source Sequence opens the next channel, in order.
TEST(Reader, DefinedLengthChannelSequenceWithUndefinedLengthItems) {
  const Entries items = Join({{ItemStart()},
                              ChannelBody("II", false),
                              {ItemEnd(), ItemStart()},
                              ChannelBody("V1", false),
                              {ItemEnd()}});
  auto study = LoadEntries(
      Join({Header(),
            {Nested(0x5400, 0x0100,
                    {Item(Join({GroupStart(), {Nested(0x003A, 0x0200, items)}, GroupEnd()}))})}}));
  EXPECT_EQ(Summary(*study), kTwoLeadModel);
}

// Inside a defined-length channel item, an undefined-length code sequence has no value bytes
// to parse and the flat code elements after it are not read: name and units stay empty.
TEST(Reader, FlatCodeSequencesInADefinedLengthChannelItemLeaveTextsEmpty) {
  auto study = LoadEntries(
      Join({Header(),
            {Nested(0x5400, 0x0100,
                    {Item(Join({GroupStart(),
                                {Nested(0x003A, 0x0200, {Item(ChannelBody("II", true))})},
                                GroupEnd()}))})}}));
  ASSERT_EQ(study->waveforms.size(), 1u);
  ASSERT_EQ(study->waveforms[0]->channels.size(), 1u);
  const TChannel& channel = *study->waveforms[0]->channels[0];
  EXPECT_EQ(channel.sourceName, "");
  EXPECT_EQ(channel.units, "");
  EXPECT_EQ(channel.sensitivity, 2.5f);
  study->waveforms[0]->Prepare(1008, 40.0f);
  EXPECT_EQ(channel.label, "");  // no units: no label, one stored unit per pixel
  EXPECT_EQ(channel.unitsPerPixel, 1.0f);
}

// Patient attributes inside a flat sequence count like any other top-level entry: the last one
// in entry order is shown.
TEST(Reader, RepeatedPatientAttributesTakeTheLastInEntryOrder) {
  auto study = LoadEntries(Join({Header(),
                                 FlatSeq(0x0040, 0x0275, {Text(0x0010, 0x0010, "Roe^R")}),
                                 {Undefined(0x5400, 0x0100), ItemStart()},
                                 GroupStart(),
                                 FlatChannels(),
                                 GroupEnd(),
                                 {ItemEnd(), SequenceEnd()}}));
  EXPECT_EQ(study->patientName, "Roe^R");
  EXPECT_EQ(study->waveforms.size(), 1u);
}

// An explicit-VR little-endian item holding a Code Value and a Code Meaning, as the value of a
// code sequence kept as a plain element.
std::vector<uint8_t> CodeItemBytes(const std::string& value, const std::string& meaning) {
  std::vector<uint8_t> body;
  auto element = [&](uint16_t e, const char* vr, const std::string& text) {
    const uint8_t head[] = {0x08,
                            0x00,
                            static_cast<uint8_t>(e),
                            static_cast<uint8_t>(e >> 8),
                            static_cast<uint8_t>(vr[0]),
                            static_cast<uint8_t>(vr[1]),
                            static_cast<uint8_t>(text.size()),
                            0};
    body.insert(body.end(), std::begin(head), std::end(head));
    body.insert(body.end(), text.begin(), text.end());
  };
  element(0x0100, "SH", value);
  element(0x0104, "LO", meaning);
  std::vector<uint8_t> item = {0xFE, 0xFF, 0x00, 0xE0, static_cast<uint8_t>(body.size()), 0, 0, 0};
  item.insert(item.end(), body.begin(), body.end());
  return item;
}

Entry SequenceValue(uint16_t e, const std::vector<uint8_t>& bytes) {
  return std::make_shared<DcmTag>(0x003A, e, static_cast<uint32_t>(bytes.size()),
                                  static_cast<const void*>(bytes.data()), "SQ");
}

// Code sequences held as plain elements are parsed from their value bytes; bytes that are no
// data set give empty texts and nothing worse.
TEST(Reader, CodeSequencesHeldAsValuesAreParsed) {
  struct Case {
    std::vector<uint8_t> source, units;
    const char *name, *unitsCode;
  };
  const std::vector<uint8_t> garbage = {0xFE, 0xFF, 0x00, 0xE0, 0xFF, 0xFF, 0xFF, 0x7F, 0x08, 0x00};
  const Case cases[] = {
      {CodeItemBytes("ab", "Lead"), CodeItemBytes("uV", "microvolt"), "Lead", "uV"},
      {garbage, {0x08, 0x00, 0x00}, "", ""}};
  for (const Case& c : cases) {
    auto study = LoadEntries(Join(
        {Header(),
         {Nested(0x5400, 0x0100,
                 {Item(Join(
                     {GroupStart(),
                      {Nested(0x003A, 0x0200,
                              {Item({SequenceValue(0x0208, c.source), Text(0x003A, 0x0210, "2.5"),
                                     SequenceValue(0x0211, c.units)})})},
                      GroupEnd()}))})}}));
    ASSERT_EQ(study->waveforms.size(), 1u);
    ASSERT_EQ(study->waveforms[0]->channels.size(), 1u);
    EXPECT_EQ(study->waveforms[0]->channels[0]->sourceName, c.name);
    EXPECT_EQ(study->waveforms[0]->channels[0]->units, c.unitsCode);
  }
}

TEST(Reader, TwoGroupsInFileOrder) {
  const Entries second =
      Join({{Text(0x003A, 0x0004, "DERIVED"), U32(0x003A, 0x0010, 1)}, FlatChannels(), GroupEnd()});
  auto study = LoadEntries(Join({Header(),
                                 {Undefined(0x5400, 0x0100), ItemStart()},
                                 GroupStart(),
                                 FlatChannels(),
                                 GroupEnd(),
                                 {ItemEnd(), ItemStart()},
                                 second,
                                 {ItemEnd(), SequenceEnd()}}));
  ASSERT_EQ(study->waveforms.size(), 2u);
  EXPECT_EQ(study->waveforms[0]->originality, "ORIGINAL");
  EXPECT_EQ(study->waveforms[1]->originality, "DERIVED");
  EXPECT_EQ(study->waveforms[1]->channels.size(), 2u);
}

TEST(Reader, RepeatedWaveformDataAndBitsStoredAddOnce) {
  // A second Waveform Data or Bits Stored must not append the same record twice.
  auto study = LoadEntries(Join({Header(),
                                 {Undefined(0x5400, 0x0100), ItemStart()},
                                 GroupStart(),
                                 FlatChannels(),
                                 {U16(0x003A, 0x021A, 16)},
                                 GroupEnd(),
                                 GroupEnd(),
                                 {ItemEnd(), SequenceEnd()}}));
  ASSERT_EQ(study->waveforms.size(), 1u);
  EXPECT_EQ(study->waveforms[0]->channels.size(), 2u);
}

TEST(Reader, StickyFlagTakesTheNextCodeMeaning) {
  // A Channel Source Sequence without Code Meaning: the next (0008,0104) becomes the name, and
  // the units still get their code, whether the units item lies flat or has a defined length.
  const Entries noMeaning = FlatSeq(0x003A, 0x0208, {Text(0x0008, 0x0100, "ab")});
  // (the defined-length item's text keeps the blank that pads it to even length)
  const std::pair<Entries, std::string> cases[] = {
      {FlatSeq(0x003A, 0x0211, Code("uV", "microvolt")), "microvolt"},
      {{Undefined(0x003A, 0x0211), Item(Code("uV", "microvolt")), SequenceEnd()}, "microvolt "}};
  for (const auto& [units, name] : cases) {
    const Entries body = Join({noMeaning, units, {U16(0x003A, 0x021A, 16)}});
    auto study = LoadEntries(Join({Header(),
                                   {Undefined(0x5400, 0x0100), ItemStart()},
                                   GroupStart(),
                                   {Undefined(0x003A, 0x0200), ItemStart()},
                                   body,
                                   {ItemEnd(), SequenceEnd()},
                                   GroupEnd(),
                                   {ItemEnd(), SequenceEnd()}}));
    ASSERT_EQ(study->waveforms.size(), 1u);
    ASSERT_EQ(study->waveforms[0]->channels.size(), 1u);
    const TChannel& channel = *study->waveforms[0]->channels[0];
    EXPECT_EQ(channel.sourceName, name);
    EXPECT_EQ(channel.units, "uV");
    EXPECT_EQ(channel.sensitivity, 1.0f);  // absent: 1.0
  }
}

TEST(Reader, LongCodeMeaningsAreKeptWhole) {
  for (size_t length : {64u, 200u}) {
    const std::string meaning(length, 'M');
    auto study = LoadEntries(Join(
        {Header(),
         {Nested(
             0x5400, 0x0100,
             {Item(Join({GroupStart(),
                         {Nested(0x003A, 0x0200,
                                 {Item({Nested(0x003A, 0x0208, {Item(Code("ab", meaning))})})})},
                         GroupEnd()}))})}}));
    ASSERT_EQ(study->waveforms.size(), 1u);
    ASSERT_EQ(study->waveforms[0]->channels.size(), 1u);
    EXPECT_EQ(study->waveforms[0]->channels[0]->sourceName, meaning);
  }
}

TEST(Reader, HugeSampleCountIsClampedAndPrepareStaysWithinTheData) {
  for (uint32_t count : {0xFFFFFFFFu, 0x7FFFFFFFu}) {
    auto study = LoadEntries(Join({Header(),
                                   {Undefined(0x5400, 0x0100), ItemStart()},
                                   {Text(0x003A, 0x0004, "ORIGINAL"), U32(0x003A, 0x0010, count),
                                    Text(0x003A, 0x001A, "1e30")},
                                   FlatChannels(),
                                   GroupEnd(),
                                   {ItemEnd(), SequenceEnd()}}));
    ASSERT_EQ(study->waveforms.size(), 1u);
    TWaveform& waveform = *study->waveforms[0];
    EXPECT_EQ(waveform.sampleCount, INT32_MAX);
    waveform.Prepare(1008, 40.0f);
    EXPECT_EQ(waveform.channels[0]->samples.size(), 3u);  // 12 bytes / (2 x 2 channels)
    EXPECT_EQ(waveform.channels[1]->samples[2], 6);
  }
}

TEST(Reader, UndefinedLengthWaveformDataGivesNoBytes) {
  auto study = LoadEntries(Join({Header(),
                                 {Undefined(0x5400, 0x0100), ItemStart()},
                                 GroupStart(),
                                 FlatChannels(),
                                 {Undefined(0x5400, 0x1010)},
                                 {ItemEnd(), SequenceEnd()}}));
  ASSERT_EQ(study->waveforms.size(), 1u);
  EXPECT_EQ(study->waveforms[0]->dataLength, 0u);
  study->waveforms[0]->Prepare(1008, 40.0f);
  EXPECT_TRUE(study->waveforms[0]->channels[0]->samples.empty());
}

TEST(Reader, WaveformDataBeforeAnyGroupIsIgnored) {
  auto study = LoadEntries(Join({Header(),
                                 {Undefined(0x5400, 0x0100), ItemStart()},
                                 GroupEnd(),
                                 {ItemEnd(), SequenceEnd()}}));
  EXPECT_TRUE(study->waveforms.empty());
}

TEST(Reader, BigEndianValuesFollowTheTransferSyntax) {
  DcmObj obj;
  obj.explicitVR = true;
  obj.transferSyntax = "1.2.840.10008.1.2.2";
  const std::vector<uint8_t> count = {0, 0, 0, 3}, channels = {0, 2}, bits = {0, 16};
  const std::vector<uint8_t> samples = {0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6};
  auto fix = [&](Entries entries) {
    for (Entry& e : entries) {
      auto* tag = dynamic_cast<DcmTag*>(e.get());
      if (!tag) continue;
      if (tag->group == 0x003A && tag->element == 0x0010) tag->data = count;
      if (tag->group == 0x003A && tag->element == 0x0005) tag->data = channels;
      if (tag->group == 0x003A && tag->element == 0x021A) tag->data = bits;
      if (tag->group == 0x5400 && tag->element == 0x1010) tag->data = samples;
    }
    return entries;
  };
  AddAll(obj, fix(AllFlat()));
  TStudy study;
  study.Load(obj);
  ASSERT_EQ(study.waveforms.size(), 1u);
  EXPECT_EQ(Summary(study), kTwoLeadModel);
  study.waveforms[0]->Prepare(1008, 40.0f);
  EXPECT_EQ(study.waveforms[0]->channels[1]->samples, (std::vector<int16_t>{2, 4, 6}));
}

// --- the real sample in four encodings ---

struct Encoding {
  const char* name;
  const char* options;  // dcmconv's
  bool nested;          // explicit lengths: sequences become nested objects
};

class SampleEncodings : public ::testing::TestWithParam<Encoding> {
 public:
  static void SetUpTestSuite() {
    folder = std::filesystem::temp_directory_path() / ("ecg-reader-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(folder); }
  static std::unique_ptr<TStudy> Load(const std::string& path) {
    DcmObj obj;
    EXPECT_TRUE(obj.Read(path)) << path;
    auto study = std::make_unique<TStudy>();
    study->Load(obj);
    return study;
  }
  static std::filesystem::path folder;
};
std::filesystem::path SampleEncodings::folder;

TEST_P(SampleEncodings, SameModelAsTheOriginal) {
  const std::string source = std::string(PYDICOM_TEST_FILES) + "/waveform_ecg.dcm";
  const std::string path = (folder / (std::string(GetParam().name) + ".dcm")).string();
  const std::string command =
      "dcmconv " + std::string(GetParam().options) + " '" + source + "' '" + path + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  auto original = Load(source);
  auto variant = Load(path);
  ASSERT_EQ(original->waveforms.size(), 2u);
  ASSERT_EQ(variant->waveforms.size(), 2u);
  EXPECT_EQ(Summary(*variant, true), Summary(*original));
  // The one difference: only nested texts keep their padding ("Lead II" is stored with a blank).
  EXPECT_EQ(variant->waveforms[0]->channels[1]->sourceName,
            GetParam().nested ? "Lead II " : "Lead II");
  // The samples after de-interleaving agree in every encoding.
  original->waveforms[0]->Prepare(1008, 40.0f);
  variant->waveforms[0]->Prepare(1008, 40.0f);
  EXPECT_EQ(variant->waveforms[0]->channels[1]->label,
            GetParam().nested ? "Lead II  0.5 mV/div" : "Lead II 0.5 mV/div");
  for (size_t i = 0; i < 12; ++i) {
    EXPECT_EQ(variant->waveforms[0]->channels[i]->samples,
              original->waveforms[0]->channels[i]->samples)
        << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Encodings, SampleEncodings,
                         ::testing::Values(Encoding{"Flat", "-e", false},
                                           Encoding{"Nested", "+e", true},
                                           Encoding{"ImplicitNested", "+ti +e", true},
                                           Encoding{"ImplicitFlat", "+ti -e", false},
                                           Encoding{"BigEndianNested", "+tb +e", true},
                                           Encoding{"BigEndianFlat", "+tb -e", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SampleFile, FactsAsPydicomReadsThem) {
  DcmObj obj;
  ASSERT_TRUE(obj.Read(std::string(PYDICOM_TEST_FILES) + "/waveform_ecg.dcm"));
  TStudy study;
  study.Load(obj);
  EXPECT_EQ(study.modality, "ECG");
  EXPECT_EQ(study.patientName, "Anonymous");
  EXPECT_EQ(study.patientID, "642341");
  EXPECT_EQ(study.birthDate, "19710123");
  EXPECT_EQ(study.sex, "F");
  EXPECT_EQ(study.studyDate + " " + study.studyTime, "20130125 105919");
  ASSERT_EQ(study.waveforms.size(), 2u);
  const TWaveform& original = *study.waveforms[0];
  EXPECT_EQ(original.originality, "ORIGINAL");
  EXPECT_EQ(original.sampleCount, 10000);
  EXPECT_EQ(original.samplingFrequency, 1000.0f);
  EXPECT_EQ(original.dataLength, 240000u);
  EXPECT_EQ(study.waveforms[1]->originality, "DERIVED");
  EXPECT_EQ(study.waveforms[1]->sampleCount, 1200);
  const char* leads[12] = {"Lead I (Einthoven)",
                           "Lead II",
                           "Lead III",
                           "Lead aVR",
                           "Lead aVL",
                           "Lead aVF",
                           "Lead V1",
                           "Lead V2",
                           "Lead V3",
                           "Lead V4",
                           "Lead V5",
                           "Lead V6"};
  ASSERT_EQ(original.channels.size(), 12u);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(original.channels[i]->sourceName, leads[i]);
    EXPECT_EQ(original.channels[i]->units, "uV");
    EXPECT_EQ(original.channels[i]->sensitivity, 1.25f);
  }
  study.waveforms[0]->Prepare(1008, 40.0f);
  EXPECT_EQ(original.channels[0]->label, "Lead I (Einthoven) 0.5 mV/div");
  // pydicom: samples 1 and 5000 of leads I-III are (65, 85, 20) and (43, 55, 12).
  EXPECT_EQ(original.channels[0]->samples[1], 65);
  EXPECT_EQ(original.channels[1]->samples[1], 85);
  EXPECT_EQ(original.channels[2]->samples[5000], 12);
}

}  // namespace
