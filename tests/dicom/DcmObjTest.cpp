// Data sets: order of insertion among top-level entries, replacement, group-length bookkeeping,
// flat structures, lookups, index errors and the dump.
#include <gtest/gtest.h>

#include <stdexcept>

#include "dicom/DcmObj.h"
#include "tests/dicom/TestSupport.h"

namespace {

DcmTag* Element(uint16_t g, uint16_t e, const std::string& text, const char* vr = nullptr) {
  return new DcmTag(g, e, text, vr);
}
DcmTag* Opener(uint16_t g, uint16_t e, const char* vr = "SQ") {
  return new DcmTag(g, e, kUndefinedLength, nullptr, vr);
}
DcmTag* Marker(uint16_t e, uint32_t length = 0) {
  return new DcmTag(0xFFFE, e, length, nullptr, "");
}
DcmTag* GroupLength(uint16_t g, uint32_t value) { return new DcmTag(g, 0x0000, value, "UL"); }

// The list as "gggg,eeee" texts, "[gggg,eeee]" for nested data sets.
std::vector<std::string> Tags(const DcmObj& obj) {
  std::vector<std::string> out;
  for (int i = 0; i < obj.Count(); ++i) {
    const DcmTag* t = obj.TagAt(i) ? obj.TagAt(i) : obj.ObjAt(i)->header.get();
    char text[16];
    std::snprintf(text, sizeof text, obj.TagAt(i) ? "%04X,%04X" : "[%04X,%04X]", t->group,
                  t->element);
    out.push_back(text);
  }
  return out;
}

using Names = std::vector<std::string>;

TEST(DcmObjInsert, KeepsTagOrder) {
  DcmObj obj;
  obj.Insert(Element(0x0010, 0x0020, "ID"));
  EXPECT_EQ(Tags(obj), (Names{"0010,0020"}));
  obj.Clear();
  obj.Add(Element(0x0008, 0x0020, "20240101"));
  obj.Add(Element(0x0010, 0x0010, "Doe"));
  obj.Add(Element(0x0010, 0x0030, "19700101"));
  obj.Insert(Element(0x0010, 0x0020, "ID"));
  EXPECT_EQ(Tags(obj), (Names{"0008,0020", "0010,0010", "0010,0020", "0010,0030"}));
  obj.Insert(Element(0xFFFC, 0xFFFC, ""));  // the highest tag goes last
  obj.Insert(Element(0x0002, 0x0010, "1.2"));
  EXPECT_EQ(Tags(obj).front(), "0002,0010");
  EXPECT_EQ(Tags(obj).back(), "FFFC,FFFC");
}

TEST(DcmObjInsert, ReplacesAnEqualTagKeepingItsVR) {
  DcmObj obj;
  obj.Add(Element(0x0010, 0x0010, "Doe", "LO"));
  obj.Insert(Element(0x0010, 0x0010, "Smith^Anna"));
  ASSERT_EQ(obj.Count(), 1);
  EXPECT_EQ(obj.GetString(0x0010, 0x0010), "Smith^Anna");
  EXPECT_EQ(obj.TagAt(0)->VR(), "LO");
  EXPECT_EQ(obj.TagAt(0)->length, 10u);
}

TEST(DcmObjInsert, PassesOverFlatSequencesAndPixelFragments) {
  DcmObj obj;
  obj.Add(Element(0x0008, 0x0005, "ISO_IR 100"));
  obj.Add(Opener(0x0008, 0x1110));
  obj.Add(Marker(0xE000, kUndefinedLength));
  obj.Add(Element(0x0008, 0x1150, "1.2"));
  obj.Add(Marker(0xE00D));
  obj.Add(Marker(0xE0DD));
  obj.Add(Element(0x0010, 0x0010, "Doe"));
  obj.Insert(Element(0x0008, 0x0020, "20240101"));
  EXPECT_EQ(Tags(obj)[1], "0008,0020");
  // A tag that exists only inside the flat sequence is not found there and not replaced.
  obj.Insert(Element(0x0008, 0x1150, "9.9"));
  EXPECT_EQ(obj.Count(), 9);
  EXPECT_EQ(Tags(obj)[7], "0008,1150");
  EXPECT_EQ(obj.TagAt(4)->GetString(), "1.2");
  EXPECT_EQ(obj.GetString(0x0008, 0x1150), "9.9");

  DcmObj image;
  image.Add(Element(0x0028, 0x0010, "x"));
  image.Add(Opener(0x7FE0, 0x0010, "OB"));
  image.Add(Marker(0xE000));
  image.Add(new DcmTag(0xFFFE, 0xE000, 4, "\x01\x02\x03\x04", ""));
  image.Add(Marker(0xE0DD));
  image.SetString(0x0028, 0x2110, "01");
  EXPECT_EQ(Tags(image),
            (Names{"0028,0010", "0028,2110", "7FE0,0010", "FFFE,E000", "FFFE,E000", "FFFE,E0DD"}));
  // After the closing delimiter, entries are top-level again.
  image.Insert(Element(0xFFFC, 0xFFFC, ""));
  EXPECT_EQ(Tags(image).back(), "FFFC,FFFC");
}

TEST(DcmObjInsert, UndefinedLengthUnknownIsAnOpener) {
  // A private sequence read in explicit VR as "UN" of undefined length: its items hold a
  // (0010,0020) that must not hide the data set's own.
  DcmObj obj;
  obj.Add(Opener(0x0009, 0x1010, "UN"));
  obj.Add(Marker(0xE000, kUndefinedLength));
  obj.Add(Element(0x0010, 0x0020, "inner"));
  obj.Add(Marker(0xE00D));
  obj.Add(Marker(0xE0DD));
  obj.Add(Element(0x0010, 0x0020, "outer"));
  EXPECT_EQ(obj.GetString(0x0010, 0x0020), "outer");
  // Stray delimiters never drive the depth negative.
  DcmObj stray;
  stray.Add(Marker(0xE0DD));
  stray.Add(Marker(0xE00D));
  stray.Add(Element(0x0010, 0x0020, "found"));
  EXPECT_EQ(stray.GetString(0x0010, 0x0020), "found");
}

TEST(DcmObjInsert, GroupLengthBookkeeping) {
  DcmObj obj;
  obj.Add(GroupLength(0x0008, 100));
  obj.Add(Element(0x0008, 0x0020, "20240101"));
  obj.Insert(Element(0x0008, 0x0030, "120000"));  // 6 bytes + 8
  EXPECT_EQ(obj.TagAt(0)->GetULong(), 114u);
  obj.Insert(Element(0x0008, 0x0020, "2024010112"));  // 8 -> 10 bytes
  EXPECT_EQ(obj.TagAt(0)->GetULong(), 116u);
  obj.Insert(Element(0x0008, 0x0050, "A1"));  // appended at the end
  EXPECT_EQ(obj.TagAt(0)->GetULong(), 126u);
  obj.Insert(Element(0x0010, 0x0010, "Doe"));  // another group: unchanged
  EXPECT_EQ(obj.TagAt(0)->GetULong(), 126u);
  // Inserting the group length itself sets it, unchanged by its own former value.
  obj.Insert(GroupLength(0x0008, 42));
  EXPECT_EQ(obj.TagAt(0)->GetULong(), 42u);

  // A command set: the group length at index 0 follows the same rules.
  DcmObj command;
  command.Add(GroupLength(0x0000, 0));
  command.Insert(new DcmTag(0x0000, 0x0100, static_cast<uint16_t>(0x0001)));
  EXPECT_EQ(command.TagAt(0)->GetULong(), 10u);
  EXPECT_EQ(command.GetUShort(0x0000, 0x0100), 1);
}

// An element inserted before another one of its group must grow the group length by its 8-byte
// header and its value, as an appended one does, or the group is written shorter than it is.
TEST(DcmObjInsert, GroupLengthGrowsForAnElementInsertedBeforeAnother) {
  DcmObj obj;
  obj.Add(GroupLength(0x0008, 14));
  obj.Add(Element(0x0008, 0x0030, "120000"));       // 8 + 6
  obj.Insert(Element(0x0008, 0x0020, "20240101"));  // 8 + 8, in front of (0008,0030)
  EXPECT_EQ(Tags(obj), (Names{"0008,0000", "0008,0020", "0008,0030"}));
  EXPECT_EQ(obj.TagAt(0)->GetULong(), 30u);
}

TEST(DcmObjInsert, ReplacingAFlatOpenerRemovesItsContent) {
  DcmObj obj;
  obj.Add(GroupLength(0x0008, 40));
  obj.Add(Opener(0x0008, 0x1110));
  obj.Add(Marker(0xE000, kUndefinedLength));
  obj.Add(Opener(0x0008, 0x1199));  // nested flat sequence inside the item
  obj.Add(Marker(0xE0DD));
  obj.Add(Marker(0xE00D));
  obj.Add(Marker(0xE0DD));
  obj.Add(Element(0x0010, 0x0010, "Doe"));
  obj.Insert(new DcmTag(0x0008, 0x1110, 4, "abcd", "SQ"));
  EXPECT_EQ(Tags(obj), (Names{"0008,0000", "0008,1110", "0010,0010"}));
  EXPECT_EQ(obj.TagAt(1)->length, 4u);
  EXPECT_EQ(obj.TagAt(0)->GetULong(), 44u);  // the undefined former length counts as 0

  DcmObj image;
  image.Add(Opener(0x7FE0, 0x0010, "OB"));
  image.Add(Marker(0xE000));
  image.Add(new DcmTag(0xFFFE, 0xE000, 2, "\x01\x02", ""));
  image.Add(Marker(0xE0DD));
  image.Add(Element(0xFFFC, 0xFFFC, ""));
  image.Insert(new DcmTag(0x7FE0, 0x0010, 2, "\x00\x00", "OW"));
  EXPECT_EQ(Tags(image), (Names{"7FE0,0010", "FFFC,FFFC"}));
}

TEST(DcmObjInsertSequence, PlacesAfterAnEqualTagAndSetsTheHeader) {
  DcmObj obj;
  obj.explicitVR = true;
  obj.Add(Element(0x0040, 0x0020, "X"));
  obj.InsertSequence(0x0040, 0x0100, new DcmObj);
  obj.Add(Element(0x0040, 0x0200, "Y"));
  auto* second = new DcmObj;
  obj.InsertSequence(0x0040, 0x0100, second);
  EXPECT_EQ(Tags(obj), (Names{"0040,0020", "[0040,0100]", "[0040,0100]", "0040,0200"}));
  EXPECT_EQ(obj.ObjAt(2), second);
  EXPECT_TRUE(second->explicitVR);
  EXPECT_EQ(second->header->VR(), "SQ");
  auto* item = new DcmObj;
  second->InsertSequence(0xFFFE, 0xE000, item);
  EXPECT_EQ(item->header->VR(), "");
  auto* odd = new DcmObj;
  obj.InsertSequence(0x0041, 0xE000, odd);  // element E000 has no VR either
  EXPECT_EQ(odd->header->VR(), "");
}

TEST(DcmObjLookup, SeesTopLevelElementsOnly) {
  DcmObj obj;
  auto* nested = new DcmObj;
  nested->Add(Element(0x0010, 0x0020, "nested"));
  obj.InsertSequence(0x0008, 0x1115, nested);
  obj.Add(Opener(0x0008, 0x1120));
  obj.Add(Marker(0xE000, kUndefinedLength));
  obj.Add(Element(0x0010, 0x0030, "flat"));
  obj.Add(Marker(0xE00D));
  obj.Add(Marker(0xE0DD));
  EXPECT_EQ(obj.GetString(0x0010, 0x0020), "");
  EXPECT_EQ(obj.GetString(0x0010, 0x0030), "");
  EXPECT_EQ(obj.GetString(0x0008, 0x1115), "");  // a nested data set is not an element
  EXPECT_EQ(obj.GetUShort(0x0028, 0x0010), 0);
}

TEST(DcmObjList, IndexErrorsThrowAndLeaveTheListUnchanged) {
  DcmObj obj;
  obj.Add(Element(0x0010, 0x0010, "Doe"));
  obj.Add(new DcmObj);
  EXPECT_STREQ(obj.ClassNameAt(0), "DcmTag");
  EXPECT_STREQ(obj.ClassNameAt(1), "DcmObj");
  EXPECT_EQ(obj.ObjAt(0), nullptr);
  EXPECT_EQ(obj.TagAt(1), nullptr);
  EXPECT_THROW(obj.ClassNameAt(2), std::out_of_range);
  EXPECT_THROW(obj.ClassNameAt(-1), std::out_of_range);
  EXPECT_THROW(obj.TagAt(2), std::out_of_range);
  EXPECT_THROW(obj.ObjAt(5), std::out_of_range);
  EXPECT_THROW(obj.Delete(2), std::out_of_range);
  EXPECT_THROW(obj.InsertAt(Element(1, 1, "x"), 3), std::out_of_range);
  EXPECT_EQ(obj.Count(), 2);
  obj.InsertAt(Element(0x0008, 0x0020, "d"), 2);
  obj.InsertAt(Element(0x0008, 0x0010, "c"), 0);
  EXPECT_EQ(Tags(obj), (Names{"0008,0010", "0010,0010", "[0000,0000]", "0008,0020"}));
  obj.Delete(2);
  EXPECT_EQ(obj.Count(), 3);
}

TEST(DcmObjList, ClearKeepsTheProperties) {
  DcmObj obj;
  obj.transferSyntax = kExplicitLE;
  obj.photometricInterpretation = "RGB";
  obj.explicitVR = true;
  obj.header->group = 0x0008;
  obj.Add(Element(0x0010, 0x0010, "Doe"));
  obj.Clear();
  EXPECT_EQ(obj.Count(), 0);
  EXPECT_EQ(obj.transferSyntax, kExplicitLE);
  EXPECT_EQ(obj.photometricInterpretation, "RGB");
  EXPECT_TRUE(obj.explicitVR);
  EXPECT_EQ(obj.header->group, 0x0008);
  DcmObj fresh;
  EXPECT_EQ(fresh.transferSyntax, "1.2.840.10008.1.2");
  EXPECT_FALSE(fresh.explicitVR);
  EXPECT_STREQ(fresh.ClassName(), "DcmObj");
}

TEST(DcmObjDump, NestedSetsIndentFromTheItemsElements) {
  DcmObj obj;
  auto* sequence = new DcmObj;
  auto* item = new DcmObj;
  item->Add(Element(0x0008, 0x1150, "1.2", "UI"));
  auto* inner = new DcmObj;
  auto* innerItem = new DcmObj;
  innerItem->Add(Element(0x0008, 0x1155, "3.4", "UI"));
  inner->InsertSequence(0xFFFE, 0xE000, innerItem);
  item->InsertSequence(0x0008, 0x1199, inner);
  sequence->InsertSequence(0xFFFE, 0xE000, item);
  obj.InsertSequence(0x0008, 0x1115, sequence);
  obj.Add(new DcmTag(0x0000, 0x0100, static_cast<uint16_t>(1), ""));
  std::vector<std::string> lines;
  obj.Dump(lines, 0);
  const Names wanted = {
      "(0008,1115),  0, SQ, Referenced Series Sequence: ",
      "(FFFE,E000),  0, , Item: ",
      "...(0008,1150),  4, UI, Referenced SOP Class UID: 1.2",
      "...(0008,1199),  0, SQ, Referenced SOP Sequence: ",
      "......(FFFE,E000),  0, , Item: ",
      ".........(0008,1155),  4, UI, Referenced SOP Instance UID: 3.4",
      "(0000,0100),  2, US, Command Field: 1",
  };
  EXPECT_EQ(lines, wanted);
}

}  // namespace
