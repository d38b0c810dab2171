// Data elements: constructors and padding, value accessors (bounded, locale-free), dictionary
// lookups and the one-line dump.
#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>

#include "dicom/DcmTag.h"
#include "tests/dicom/TestSupport.h"
#include "tests/support/CommaLocale.h"

namespace {

std::string ValueOf(const DcmTag& t) { return std::string(t.data.begin(), t.data.end()); }

struct TextCase {
  const char* text;
  const char* vr;  // null: from the dictionary
  uint32_t length;
  std::string stored;
  const char* storedVR;
};

TEST(DcmTagConstruct, TextIsPaddedToEvenLength) {
  const TextCase cases[] = {
      {"1.2.3", "UI", 6, std::string("1.2.3\0", 6), "UI"},
      {"ABC", "CS", 4, "ABC ", "CS"},
      {"", "CS", 0, "", "CS"},
      {"Doe^John", nullptr, 8, "Doe^John", "PN"},
      {"X", "", 2, "X ", ""},  // an empty VR is not read past its end and stays unset
  };
  for (const auto& c : cases) {
    DcmTag t(0x0010, 0x0010, std::string(c.text), c.vr);
    SCOPED_TRACE(c.text);
    EXPECT_EQ(t.length, c.length);
    EXPECT_EQ(ValueOf(t), c.stored);
    EXPECT_EQ(t.VR(), c.storedVR);
  }
}

TEST(DcmTagConstruct, DefaultIsAllZero) {
  DcmTag t;
  EXPECT_EQ(t.group, 0);
  EXPECT_EQ(t.element, 0);
  EXPECT_EQ(std::memcmp(t.vr, "\0\0\0\0", 4), 0);
  EXPECT_EQ(t.length, 0u);
  EXPECT_TRUE(t.data.empty());
  EXPECT_STREQ(t.ClassName(), "DcmTag");
}

TEST(DcmTagConstruct, UndefinedLengthKeepsNoValueAndUnknownBecomesSequence) {
  DcmTag unknown(0x0009, 0x1010, kUndefinedLength, nullptr, nullptr);
  EXPECT_EQ(unknown.VR(), "SQ");
  EXPECT_TRUE(unknown.data.empty());
  EXPECT_EQ(unknown.length, kUndefinedLength);
  DcmTag given(0x0009, 0x1010, kUndefinedLength, nullptr, "OB");
  EXPECT_EQ(given.VR(), "OB");
  DcmTag known(0x0008, 0x1140, kUndefinedLength, nullptr, nullptr);
  EXPECT_EQ(known.VR(), "SQ");
  DcmTag defined(0x0009, 0x1010, 4, "abcd", nullptr);
  EXPECT_EQ(defined.VR(), "UN");
}

TEST(DcmTagConstruct, NumbersAreLittleEndian) {
  DcmTag u16(0x0028, 0x0010, static_cast<uint16_t>(0x0102), "US");
  EXPECT_EQ(u16.data, (Bytes{0x02, 0x01}));
  EXPECT_EQ(u16.length, 2u);
  DcmTag u32(0x0000, 0x0000, static_cast<uint32_t>(1), "UL");
  EXPECT_EQ(u32.data, (Bytes{0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(u32.GetULong(), 1u);
  EXPECT_EQ(u16.GetUShort(), 0x0102);
}

TEST(DcmTagAccess, ShortValuesGiveZero) {
  DcmTag one(0x0028, 0x0010, 1, "\x07", "US");  // padded to 2 bytes: 07 20
  EXPECT_EQ(one.GetUShort(), 0x2007);
  DcmTag raw;
  raw.group = 0x0028;
  raw.element = 0x0010;
  raw.SetData("\x07", 1);
  EXPECT_EQ(raw.GetUShort(), 0);
  EXPECT_EQ(raw.GetULong(), 0u);
  raw.SetData("\x01\x02\x03", 3);
  EXPECT_EQ(raw.GetUShort(), 0x0201);
  EXPECT_EQ(raw.GetULong(), 0u);
  DcmTag none;
  EXPECT_EQ(none.GetUShort(), 0);
  EXPECT_EQ(none.GetString(), "");
  EXPECT_EQ(none.GetFloat(), 0.0f);
}

DcmTag Raw(const std::string& bytes) {
  DcmTag t;
  t.group = 0x0010;
  t.element = 0x0020;
  t.SetData(bytes.data(), static_cast<uint32_t>(bytes.size()));
  return t;
}

TEST(DcmTagAccess, GetStringTrimsControlBytesAndStopsAtNul) {
  const std::pair<std::string, std::string> cases[] = {
      {"  ABC  ", "ABC"}, {std::string("AB\0CD", 5), "AB"}, {"    ", ""},
      {"\t\r\nX\n", "X"}, {"\x80\xE9 ", "\x80\xE9"},  // bytes of 0x80 and above stay
      {"A\\B", "A\\B"},   {"unterminated", "unterminated"},
  };
  for (const auto& [value, wanted] : cases) {
    EXPECT_EQ(Raw(value).GetString(), wanted) << value;
  }
}

TEST(DcmTagAccess, GetFloatParsesLikeStrtodInTheCLocale) {
  const std::pair<std::string, float> cases[] = {
      {"0.5", 0.5f}, {"  1.25\\2.5", 1.25f}, {"abc", 0.0f}, {"+3", 3.0f}, {"-2.5e1 ", -25.0f},
      {"7", 7.0f},   {"1,5", 1.0f},
  };
  for (const auto& [value, wanted] : cases) EXPECT_FLOAT_EQ(Raw(value).GetFloat(), wanted) << value;
  // A value without terminator is never read past: "12" followed by digits outside the value.
  const char memory[] = "129999";
  DcmTag bounded;
  bounded.SetData(memory, 2);
  EXPECT_FLOAT_EQ(bounded.GetFloat(), 12.0f);
}

TEST(DcmTagDictionary, LookupVRAndName) {
  const struct {
    uint16_t g, e;
    const char* vr;
    const char* name;
  } cases[] = {
      {0x0010, 0x0010, "PN", "Patient's Name"},
      {0x0009, 0x0010, "UN", "*** Unidentified ***"},
      {0x0019, 0x0000, "UN", "*** Unidentified ***"},
      {0x0008, 0x0000, "UL", "Group Length"},
      {0xFFFE, 0xE000, "DL", "Item"},
      {0x7FE0, 0x0000, "UL", "Group 7FE0 Length"},
  };
  for (const auto& c : cases) {
    DcmTag t;
    t.group = c.g;
    t.element = c.e;
    EXPECT_EQ(t.GetName(), c.name);
    t.LookupVR();
    EXPECT_EQ(t.VR(), c.vr);
  }
}

TEST(DcmTagDump, Lines) {
  auto tag = [](uint16_t g, uint16_t e, const Bytes& value, const char* vr) {
    DcmTag t;
    t.group = g;
    t.element = e;
    t.SetVR(vr);
    t.SetData(value.data(), static_cast<uint32_t>(value.size()));
    return t;
  };
  EXPECT_EQ(tag(0x0028, 0x0010, {0x00, 0x02}, "US").DumpLine(0), "(0028,0010),  2, US, Rows: 512");
  EXPECT_EQ(tag(0x0028, 0x0010, {0x00, 0x02}, "US").DumpLine(1), "(0028,0010),  2, US, Rows: 512");
  EXPECT_EQ(tag(0x0028, 0x0010, {0x00, 0x02}, "US").DumpLine(3),
            "......(0028,0010),  2, US, Rows: 512");
  EXPECT_EQ(tag(0x0008, 0x0000, {0xFF, 0xFF, 0xFF, 0xFF}, "UL").DumpLine(0),
            "(0008,0000),  4, UL, Group Length: -1");
  EXPECT_EQ(tag(0x0028, 0x0010, {1, 0, 2, 0, 3, 0}, "US").DumpLine(0),
            "(0028,0010),  6, US, Rows: Vector!!");
  // A 2-byte SS is not sign-extended.
  EXPECT_EQ(tag(0x0028, 0x0106, {0xFF, 0xFF}, "SS").DumpLine(0),
            "(0028,0106),  2, SS, Smallest Image Pixel Value US or: 65535");
  EXPECT_EQ(tag(0x0018, 0x0050, Text("2.5 "), "DS").DumpLine(0),
            "(0018,0050),  4, DS, Slice Thickness: 2.5 ");
  EXPECT_EQ(tag(0x0008, 0x0016, Text("1.2.840.10008.5.1.4.1.1.9.1.1\0"s), "UI").DumpLine(0),
            "(0008,0016), 30, UI, SOP Class UID: 1.2.840.10008.5.1.4.1.1.9.1.1 "
            "(Twelve Lead ECG Waveform Storage) ");
  EXPECT_EQ(tag(0x0008, 0x0018, Text("1.2.3.4"), "UI").DumpLine(0),
            "(0008,0018),  7, UI, SOP Instance UID: 1.2.3.4");
  // A 4-byte FD value as a float with two decimals: 0.5, little endian.
  EXPECT_EQ(tag(0x0040, 0x9224, {0x00, 0x00, 0x00, 0x3F}, "FD").DumpLine(0),
            "(0040,9224),  4, FD, Real World Value Intercept:  0.50");
  // 255 bytes or more: nothing after ": ".
  EXPECT_EQ(tag(0x0010, 0x4000, Bytes(256, 'a'), "LT").DumpLine(0),
            "(0010,4000), 256, LT, Patient Comments: ");
  EXPECT_EQ(tag(0x0010, 0x4000, Bytes(254, 'a'), "LT").DumpLine(0).size(),
            std::string("(0010,4000), 254, LT, Patient Comments: ").size() + 254);
  // An unterminated text value is shown up to its length only.
  EXPECT_EQ(tag(0x0010, 0x0020, Text("ABCD"), "LO").DumpLine(0),
            "(0010,0020),  4, LO, Patient ID: ABCD");
  // Undefined length shows -1 and no value; an item header has no VR.
  DcmTag item(0xFFFE, 0xE000, kUndefinedLength, nullptr, "");
  EXPECT_EQ(item.DumpLine(0), "(FFFE,E000), -1, , Item: ");
  DcmTag sequence(0x0008, 0x1115, kUndefinedLength, nullptr, nullptr);
  EXPECT_EQ(sequence.DumpLine(0), "(0008,1115), -1, SQ, Referenced Series Sequence: ");
  EXPECT_EQ(tag(0x0009, 0x1001, Text("ab"), "UN").DumpLine(0),
            "(0009,1001),  2, UN, *** Unidentified ***: ab");
}

// Under a German locale, strtod and "%5.2f" would use a decimal comma; values and dumps must not.
TEST(DcmTagLocale, ParsingAndDumpIgnoreTheProcessLocale) {
  ASSERT_TRUE(UseCommaLocale());
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  EXPECT_STREQ(probe, "0,5");  // the locale is really in effect
  EXPECT_FLOAT_EQ(Raw("0.5").GetFloat(), 0.5f);
  DcmTag fl;
  fl.group = 0x0040;
  fl.element = 0x9224;
  fl.SetVR("FD");
  const uint8_t half[4] = {0x00, 0x00, 0x00, 0x3F};
  fl.SetData(half, 4);
  EXPECT_EQ(fl.DumpLine(0), "(0040,9224),  4, FD, Real World Value Intercept:  0.50");
  setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
}

}  // namespace
