// The generated data dictionary: the rows the program relies on exactly, and the table's shape.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "dicom/Dictionary.h"

namespace {

struct Row {
  uint16_t group, element;
  const char* vr;
  const char* name;
};

void ExpectRow(const Row& r) {
  const DictionaryRow* row = LookupDictionary(r.group, r.element);
  ASSERT_NE(row, nullptr) << std::hex << r.group << "," << r.element;
  EXPECT_EQ(std::string(row->vr, 2), r.vr) << r.name;
  EXPECT_STREQ(row->name, r.name);
  EXPECT_EQ(row->vr[2], 0);
  EXPECT_EQ(row->vr[3], 0);
}

TEST(Dictionary, ChoiceRowsHoldOneVRAndKeepTheRestInTheName) {
  const Row rows[] = {
      {0x0028, 0x0104, "SS", "Smallest Valid Pixel Value US or (RET)"},
      {0x0028, 0x0105, "SS", "Largest Valid Pixel Value US or (RET)"},
      {0x0028, 0x0106, "SS", "Smallest Image Pixel Value US or"},
      {0x0028, 0x0107, "SS", "Largest Image Pixel Value US or"},
      {0x0028, 0x0108, "SS", "Smallest Pixel Value in Series US or"},
      {0x0028, 0x0109, "SS", "Largest Pixel Value in Series US or"},
      {0x0028, 0x0110, "SS", "Smallest Image Pixel Value in Plane US or"},
      {0x0028, 0x0111, "SS", "Largest Image Pixel Value in Plane US or"},
      {0x0028, 0x0120, "SS", "Pixel Padding Value US or"},
      {0x0028, 0x1100, "SS", "Gray Lookup Table Descriptor US or (RET)"},
      {0x0028, 0x1101, "SS", "Red Palette Color Lookup Table Descriptor US or"},
      {0x0028, 0x1102, "SS", "Green Palette Color Lookup Table Descriptor US or"},
      {0x0028, 0x1103, "SS", "Blue Palette Color Lookup Table Descriptor US or"},
      {0x0028, 0x1200, "US", "Gray Lookup Table Data US or SS or OW  (RET)"},
      {0x0040, 0x9211, "SS", "Real World Value Last Value Mapped US or"},
      {0x0040, 0x9216, "SS", "Real World Value First Value Mapped US or"},
      {0x0060, 0x3004, "SS", "Histogram First Bin Value US or"},
      {0x0060, 0x3006, "SS", "Histogram Last Bin Value US or"},
      {0x5000, 0x200C, "OB", "Audio Sample Data OW or (RET)"},
      {0x5000, 0x3000, "OB", "Curve Data OW or (RET)"},
      {0x5400, 0x0110, "OW", "Channel Minimum Value OB or"},
      {0x5400, 0x0112, "OW", "Channel Maximum Value OB or"},
      {0x5400, 0x100A, "OW", "Waveform Padding Value OB or"},
      {0x5400, 0x1010, "OW", "Waveform Data OB or"},
      {0x6000, 0x3000, "OW", "Overlay Data OB or"},
  };
  for (const auto& r : rows) ExpectRow(r);
}

TEST(Dictionary, ItemsPixelTypesAndSpecialRows) {
  const Row rows[] = {
      {0xFFFE, 0xE000, "DL", "Item"},
      {0xFFFE, 0xE00D, "DL", "Item Delimitation Item"},
      {0xFFFE, 0xE0DD, "DL", "Sequence Delimitation Item"},
      {0x7FE0, 0x0010, "OW", "Pixel Data"},
      {0x5600, 0x0010, "OF", "First Order Phase Correction Angle"},
      {0x5600, 0x0020, "OF", "Spectroscopy Data"},
      {0xFFFC, 0xFFFC, "OB", "Data Set Trailing Padding"},
      {0x7FE0, 0x0000, "UL", "Group 7FE0 Length"},
      {0x0010, 0x0010, "PN", "Patient's Name"},
      {0x0008, 0x0016, "UI", "SOP Class UID"},
      {0x0000, 0x0100, "US", "Command Field"},
  };
  for (const auto& r : rows) ExpectRow(r);
}

TEST(Dictionary, GroupLengthRows) {
  const uint16_t groups[] = {0x0000, 0x0002, 0x0004, 0x0008, 0x0010, 0x0012, 0x0018, 0x0020,
                             0x0022, 0x0028, 0x0032, 0x0038, 0x003A, 0x0040, 0x0042, 0x0050,
                             0x0054, 0x0060, 0x0070, 0x0072, 0x0088, 0x0100, 0x0400, 0x2000,
                             0x2010, 0x2020, 0x2030, 0x2040, 0x2050, 0x2100, 0x2110, 0x2120,
                             0x2130, 0x2200, 0x3002, 0x3004, 0x3006, 0x3008, 0x300A, 0x300C,
                             0x300E, 0x4000, 0x4008, 0x5000, 0x5200, 0x5400, 0x5600, 0x6000};
  for (uint16_t g : groups) ExpectRow({g, 0x0000, "UL", "Group Length"});
}

TEST(Dictionary, FileMetaCommandAndRepeatingGroups) {
  std::set<uint16_t> meta;
  int commands = 0;
  for (const DictionaryRow* r = DataDictionary; r->vr[0]; ++r) {
    if (r->group == 0x0002) meta.insert(r->element);
    if (r->group == 0x0000) {
      ++commands;
      EXPECT_LE(r->element, 0x1031);
    }
    EXPECT_EQ(r->group % 2, 0) << "private group " << std::hex << r->group;
    // Repeating groups appear at 5000 and 6000 only.
    if ((r->group & 0xFF00) == 0x5000 || (r->group & 0xFF00) == 0x6000) {
      EXPECT_EQ(r->group & 0x00FF, 0);
    }
  }
  EXPECT_EQ(meta, (std::set<uint16_t>{0x0000, 0x0001, 0x0002, 0x0003, 0x0010, 0x0012, 0x0013,
                                      0x0016, 0x0100, 0x0102}));
  EXPECT_GE(commands, 24);
  EXPECT_NE(LookupDictionary(0x0004, 0x1220), nullptr);  // directory group
  EXPECT_EQ(LookupDictionary(0x5002, 0x3000), nullptr);
  EXPECT_EQ(LookupDictionary(0x0009, 0x0010), nullptr);
}

TEST(Dictionary, NoTagTwiceValidVRsAndAZeroTerminator) {
  std::set<uint32_t> seen;
  size_t rows = 0, retired = 0;
  const DictionaryRow* r = DataDictionary;
  for (; r->vr[0]; ++r, ++rows) {
    EXPECT_TRUE(seen.insert(uint32_t(r->group) << 16 | r->element).second)
        << std::hex << r->group << "," << r->element;
    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(r->vr[0])) &&
                std::isupper(static_cast<unsigned char>(r->vr[1])));
    ASSERT_NE(r->name, nullptr);
    const std::string name = r->name;
    if (name.size() > 6 && name.compare(name.size() - 6, 6, " (RET)") == 0) ++retired;
  }
  EXPECT_EQ(r->group, 0);
  EXPECT_EQ(r->element, 0);
  EXPECT_EQ(std::memcmp(r->vr, "\0\0\0\0", 4), 0);
  EXPECT_GT(rows, 4000u);
  EXPECT_GT(retired, 200u);
}

// Lookups answer what a scan of the table in order answers: the first row of a tag, and nothing
// for tags without a row (neighbours of every row included).
TEST(Dictionary, LookupAgreesWithAScanInTableOrder) {
  auto scan = [](uint16_t group, uint16_t element) -> const DictionaryRow* {
    for (const DictionaryRow* r = DataDictionary; r->vr[0]; ++r) {
      if (r->group == group && r->element == element) return r;
    }
    return nullptr;
  };
  for (const DictionaryRow* r = DataDictionary; r->vr[0]; ++r) {
    EXPECT_EQ(LookupDictionary(r->group, r->element), scan(r->group, r->element))
        << std::hex << r->group << "," << r->element;
    const uint16_t next = static_cast<uint16_t>(r->element + 1);
    EXPECT_EQ(LookupDictionary(r->group, next), scan(r->group, next));
  }
  EXPECT_EQ(LookupDictionary(0x0000, 0x0000), scan(0x0000, 0x0000));
  EXPECT_EQ(LookupDictionary(0xFFFF, 0xFFFF), nullptr);
}

}  // namespace
