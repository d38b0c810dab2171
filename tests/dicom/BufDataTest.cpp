// The element codec: memory stream behaviour, element layouts in every encoding, reading of
// sequences into nested data sets, and writing them back.
#include <gtest/gtest.h>

#include <thread>

#include "dicom/BufData.h"
#include "dicom/DcmObj.h"
#include "dicom/ScratchBuffer.h"
#include "tests/dicom/TestSupport.h"

namespace {

TEST(MemoryStream, ShortReadsSeeksPastTheEndAndGrowingWrites) {
  MemoryStream ms;
  ms.Write("abcd", 4);
  ms.Seek(2);
  char buffer[8] = {};
  EXPECT_EQ(ms.Read(buffer, 8), 2u);
  EXPECT_EQ(std::string(buffer, 2), "cd");
  EXPECT_EQ(ms.Position(), 4u);
  ms.Seek(10);
  EXPECT_EQ(ms.Read(buffer, 1), 0u);
  EXPECT_EQ(ms.Size(), 4u);
  ms.Write("x", 1);  // the gap is zero-filled
  EXPECT_EQ(ms.Bytes(), (Bytes{'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 'x'}));
  ms.Seek(1);  // a write inside overwrites without growing
  ms.Write("YZ", 2);
  EXPECT_EQ(ms.Position(), 3u);
  ms.Seek(9);  // and one that crosses the end grows
  ms.Write("uvw", 3);
  EXPECT_EQ(ms.Bytes(), (Bytes{'a', 'Y', 'Z', 'd', 0, 0, 0, 0, 0, 'u', 'v', 'w'}));
  ms.Write("", 0);
  EXPECT_EQ(ms.Size(), 12u);
  ms.Clear();
  EXPECT_EQ(ms.Size(), 0u);
  EXPECT_EQ(ms.Position(), 0u);
}

// Run on a thread of its own, so that no earlier test has left a spare buffer.
TEST(ScratchLease, LendsTheSpareEmptiedAndKeepsNoHugeBuffer) {
  std::thread([] {
    Bytes first;
    {
      ScratchLease lease(first);
      EXPECT_EQ(first.capacity(), 0u);
      first.assign(1000, 7);
    }
    Bytes second;
    {
      ScratchLease lease(second);
      EXPECT_TRUE(second.empty());
      EXPECT_GE(second.capacity(), 1000u);
      second.resize(kScratchKeepAtMost + 1);
    }
    EXPECT_EQ(second.size(), kScratchKeepAtMost + 1);  // too large to keep: left to its owner
    Bytes third;
    ScratchLease lease(third);
    EXPECT_EQ(third.capacity(), 0u);
  }).join();
}

Bytes Encode(const DcmTag& tag, bool explicitVR, bool big) {
  BufData codec(big);
  codec.WriteTag(tag, explicitVR);
  return codec.MS.Bytes();
}

DcmTag Make(uint16_t g, uint16_t e, const char* vr, const Bytes& value,
            uint32_t length = 0xFFFFFFFE) {
  DcmTag t;
  t.group = g;
  t.element = e;
  t.SetVR(vr);
  t.SetData(value.data(), static_cast<uint32_t>(value.size()));
  if (length != 0xFFFFFFFE) t.length = length;
  return t;
}

TEST(BufDataElements, LayoutsInEveryEncoding) {
  const struct {
    DcmTag tag;
    bool explicitVR, big;
    Bytes wanted;
  } cases[] = {
      {Make(0x0010, 0x0010, "PN", Text("AB")),
       true,
       false,
       {0x10, 0x00, 0x10, 0x00, 'P', 'N', 0x02, 0x00, 'A', 'B'}},
      {Make(0x0010, 0x0010, "PN", Text("AB")),
       false,
       false,
       {0x10, 0x00, 0x10, 0x00, 0x02, 0x00, 0x00, 0x00, 'A', 'B'}},
      {Make(0x0010, 0x0010, "PN", Text("AB")),
       true,
       true,
       {0x00, 0x10, 0x00, 0x10, 'P', 'N', 0x00, 0x02, 'A', 'B'}},
      {Make(0x7FE0, 0x0010, "OB", {1, 2}),
       true,
       false,
       {0xE0, 0x7F, 0x10, 0x00, 'O', 'B', 0, 0, 0x02, 0x00, 0x00, 0x00, 1, 2}},
      {Make(0x5600, 0x0020, "OF", {1, 2, 3, 4}),
       true,
       true,
       {0x56, 0x00, 0x00, 0x20, 'O', 'F', 0, 0, 0x00, 0x00, 0x00, 0x04, 1, 2, 3, 4}},
      // Newer VRs with a 4-byte length.
      {Make(0x0008, 0x0120, "UR", Text("ab")),
       true,
       false,
       {0x08, 0x00, 0x20, 0x01, 'U', 'R', 0, 0, 0x02, 0x00, 0x00, 0x00, 'a', 'b'}},
      {Make(0x0072, 0x0082, "SV", Bytes(8, 1)), true, false, {0x72, 0x00, 0x82, 0x00, 'S',  'V', 0,
                                                              0,    0x08, 0x00, 0x00, 0x00, 1,   1,
                                                              1,    1,    1,    1,    1,    1}},
      // Commands and items never carry a VR.
      {Make(0x0000, 0x0100, "US", {1, 0}),
       true,
       false,
       {0x00, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 1, 0}},
      {Make(0xFFFE, 0xE0DD, "", {}), true, true, {0xFF, 0xFE, 0xE0, 0xDD, 0, 0, 0, 0}},
      // Undefined length: no value follows.
      {Make(0x0008, 0x1115, "SQ", {}, kUndefinedLength),
       true,
       false,
       {0x08, 0x00, 0x15, 0x11, 'S', 'Q', 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tag.DumpLine(0));
    EXPECT_EQ(Encode(c.tag, c.explicitVR, c.big), c.wanted);
    // And the same bytes read back give the same element.
    BufData codec(c.big);
    codec.WriteBytes(c.wanted.data(), static_cast<uint32_t>(c.wanted.size()));
    codec.SetPosition(0);
    DcmTag back;
    ASSERT_TRUE(codec.ReadTag(back, c.explicitVR));
    EXPECT_EQ(back.group, c.tag.group);
    EXPECT_EQ(back.element, c.tag.element);
    EXPECT_EQ(back.length, c.tag.length);
    EXPECT_EQ(back.data, c.tag.data);
    if (c.explicitVR && c.tag.group != 0 && c.tag.group != 0xFFFE) {
      EXPECT_EQ(back.VR(), c.tag.VR());
    }
  }
}

TEST(BufDataElements, LongValueOnAShortLengthVRIsWrittenAsUnknown) {
  // Implicit data re-encoded as explicit VR: 70,000 bytes do not fit a 2-byte length.
  DcmTag big = Make(0x0010, 0x4000, "LT", Bytes(70000, 'x'));
  const Bytes encoded = Encode(big, true, false);
  ASSERT_EQ(encoded.size(), 12u + 70000u);
  EXPECT_EQ(Bytes(encoded.begin(), encoded.begin() + 12),
            (Bytes{0x10, 0x00, 0x00, 0x40, 'U', 'N', 0, 0, 0x70, 0x11, 0x01, 0x00}));
  EXPECT_EQ(big.VR(), "LT");  // the element in memory keeps its VR
  DcmTag undefinedShort = Make(0x0010, 0x0010, "PN", {}, kUndefinedLength);
  EXPECT_EQ(Encode(undefinedShort, true, false),
            (Bytes{0x10, 0x00, 0x10, 0x00, 'U', 'N', 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
  // Exactly 0xFFFF still fits.
  EXPECT_EQ(Encode(Make(0x0010, 0x4000, "LT", Bytes(0xFFFF, 'y')), true, false)[4], 'L');
}

TEST(BufDataElements, ImplicitFallbackWhenTheVRBytesAreNotLetters) {
  const struct {
    Bytes bytes;
    uint32_t length;
    const char* vr;
  } cases[] = {
      // 10 00 00 00 after the tag: an implicit element of length 16, VR from the dictionary.
      {{0x10, 0x00, 0x10, 0x00, 0x10, 0x00, 0x00, 0x00}, 16, "PN"},
      // A byte of 0x80 or above counts as below "A" (the test is signed).
      {{0x10, 0x00, 0x10, 0x00, 0x50, 0x90, 0x00, 0x00}, 0x9050, "PN"},
  };
  for (const auto& c : cases) {
    Bytes stream = c.bytes;
    stream.resize(stream.size() + c.length, ' ');
    BufData codec(false);
    codec.WriteBytes(stream.data(), static_cast<uint32_t>(stream.size()));
    codec.SetPosition(0);
    DcmTag tag;
    ASSERT_TRUE(codec.ReadTag(tag, true));
    EXPECT_EQ(tag.length, c.length);
    EXPECT_EQ(tag.VR(), c.vr);
  }
}

TEST(BufDataElements, GroupTwoIsExplicitInAnImplicitStream) {
  const Bytes stream = Explicit(0x0002, 0x0010, "UI", Text("1.2.840.10008.1.2\0"s));
  BufData codec(false);
  codec.WriteBytes(stream.data(), static_cast<uint32_t>(stream.size()));
  codec.SetPosition(0);
  DcmTag tag;
  ASSERT_TRUE(codec.ReadTag(tag, false));
  EXPECT_EQ(tag.length, 18u);
  EXPECT_EQ(tag.GetString(), "1.2.840.10008.1.2");
}

// A data set from raw explicit little-endian bytes.
bool ReadSet(const Bytes& bytes, DcmObj& obj, bool explicitVR = true, bool big = false) {
  BufData codec(big);
  codec.WriteBytes(bytes.data(), static_cast<uint32_t>(bytes.size()));
  codec.SetPosition(0);
  obj.explicitVR = explicitVR;
  return codec.ReadOjb(obj);
}

Bytes WriteSet(DcmObj& obj) {
  BufData codec(false);
  codec.WriteObj(obj);
  return codec.MS.Bytes();
}

TEST(BufDataSequences, DefinedLengthsBecomeNestedSets) {
  const Bytes item1 = Explicit(0xFFFE, 0xE000, "", Explicit(0x0008, 0x1150, "UI", Text("1.2\0"s)));
  const Bytes item2 = Explicit(0xFFFE, 0xE000, "", Explicit(0x0008, 0x1155, "UI", Text("3.4\0"s)));
  Bytes items = item1;
  Append(items, item2);
  Bytes stream = Explicit(0x0008, 0x1115, "SQ", items);
  Append(stream, Explicit(0x0010, 0x0010, "PN", Text("Doe ")));
  DcmObj obj;
  ASSERT_TRUE(ReadSet(stream, obj));
  ASSERT_EQ(obj.Count(), 2);
  DcmObj* sequence = obj.ObjAt(0);
  ASSERT_NE(sequence, nullptr);
  EXPECT_EQ(sequence->header->VR(), "SQ");
  EXPECT_EQ(sequence->header->length, items.size());
  ASSERT_EQ(sequence->Count(), 2);
  ASSERT_NE(sequence->ObjAt(1), nullptr);
  EXPECT_EQ(sequence->ObjAt(1)->header->VR(), "");
  EXPECT_EQ(sequence->ObjAt(1)->header->group, 0xFFFE);
  EXPECT_EQ(sequence->ObjAt(1)->GetString(0x0008, 0x1155), "3.4");
  EXPECT_TRUE(sequence->ObjAt(1)->explicitVR);
  EXPECT_EQ(WriteSet(obj), stream);  // defined lengths come back byte for byte
}

TEST(BufDataSequences, UndefinedLengthsEmptySequencesAndFragmentsStayFlat) {
  Bytes stream = Explicit(0x0008, 0x1115, "SQ", {}, kUndefinedLength);
  Append(stream, Explicit(0xFFFE, 0xE000, "", {}, kUndefinedLength));
  Append(stream, Explicit(0x0008, 0x1150, "UI", Text("1.2\0"s)));
  Append(stream, Explicit(0xFFFE, 0xE00D, "", {}));
  Append(stream, Explicit(0xFFFE, 0xE000, "", Explicit(0x0008, 0x1155, "UI", Text("5.6\0"s))));
  Append(stream, Explicit(0xFFFE, 0xE0DD, "", {}));
  Append(stream, Explicit(0x0008, 0x1120, "SQ", {}));  // length 0
  Append(stream, Explicit(0x7FE0, 0x0010, "OB", {}, kUndefinedLength));
  Append(stream, Explicit(0xFFFE, 0xE000, "", {}));
  Append(stream, Explicit(0xFFFE, 0xE000, "", {9, 9}));
  Append(stream, Explicit(0xFFFE, 0xE0DD, "", {}));
  // After the pixel data, a defined-length sequence is kept as one raw element.
  Append(stream,
         Explicit(0xFFFA, 0xFFFA, "SQ",
                  Explicit(0xFFFE, 0xE000, "", Explicit(0x0008, 0x0100, "SH", Text("AB")))));
  DcmObj obj;
  ASSERT_TRUE(ReadSet(stream, obj));
  std::vector<std::string> classes;
  for (int i = 0; i < obj.Count(); ++i) classes.push_back(obj.ClassNameAt(i));
  const std::vector<std::string> wanted = {"DcmTag", "DcmTag", "DcmTag", "DcmTag",
                                           "DcmObj", "DcmTag", "DcmTag", "DcmTag",
                                           "DcmTag", "DcmTag", "DcmTag", "DcmTag"};
  EXPECT_EQ(classes, wanted);
  EXPECT_EQ(obj.TagAt(11)->length, 18u);
  EXPECT_EQ(obj.TagAt(9)->data, (Bytes{9, 9}));
  EXPECT_EQ(WriteSet(obj), stream);
}

TEST(BufDataSequences, PixelDataInsideAnItemKeepsItsFragmentsFlat) {
  Bytes content = Explicit(0x7FE0, 0x0010, "OB", {}, kUndefinedLength);
  Append(content, Explicit(0xFFFE, 0xE000, "", {1, 2}));
  Append(content, Explicit(0xFFFE, 0xE0DD, "", {}));
  Bytes stream = Explicit(0x0040, 0x0555, "SQ", Explicit(0xFFFE, 0xE000, "", content));
  Append(stream, Explicit(0x0040, 0x0560, "SQ", Explicit(0xFFFE, 0xE000, "", {})));
  DcmObj obj;
  ASSERT_TRUE(ReadSet(stream, obj));
  ASSERT_EQ(obj.Count(), 2);
  DcmObj* item = obj.ObjAt(0)->ObjAt(0);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Count(), 3);
  EXPECT_NE(item->TagAt(1), nullptr);
  // The pixel data of the item does not stop expansion after the item.
  ASSERT_NE(obj.ObjAt(1), nullptr);
  EXPECT_NE(obj.ObjAt(1)->TagAt(0), nullptr);  // an empty item stays flat
}

// Pixel data that claims the VR "SQ" with a defined length is still one raw element, at the top
// level and inside an item, and written back unchanged.
TEST(BufDataSequences, PixelDataIsNeverExpandedWhateverItsVR) {
  const Bytes pixels =
      Explicit(0x7FE0, 0x0010, "SQ",
               Explicit(0xFFFE, 0xE000, "", Explicit(0x0008, 0x0100, "SH", Text("AB"))));
  const struct {
    const char* name;
    Bytes stream;
    bool inItem;
  } cases[] = {
      {"top level", pixels, false},
      {"inside an item", Explicit(0x0040, 0x0555, "SQ", Explicit(0xFFFE, 0xE000, "", pixels)),
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DcmObj obj;
    ASSERT_TRUE(ReadSet(c.stream, obj));
    ASSERT_EQ(obj.Count(), 1);
    const DcmObj* holder = c.inItem ? obj.ObjAt(0)->ObjAt(0) : &obj;
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(holder->Count(), 1);
    const DcmTag* tag = holder->TagAt(0);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->length, pixels.size() - 12);
    EXPECT_EQ(WriteSet(obj), c.stream);
  }
}

TEST(BufDataSequences, ImplicitVRUnknownUndefinedBecomesASequence) {
  Bytes stream = Implicit(0x0009, 0x1010, {}, kUndefinedLength);
  Append(stream, Implicit(0xFFFE, 0xE000, {}, kUndefinedLength));
  Append(stream, Implicit(0x0010, 0x0010, Text("Doe ")));
  Append(stream, Implicit(0xFFFE, 0xE00D, {}));
  Append(stream, Implicit(0xFFFE, 0xE0DD, {}));
  Append(stream, Implicit(0x0010, 0x0020, Text("42")));
  DcmObj obj;
  ASSERT_TRUE(ReadSet(stream, obj, false));
  ASSERT_EQ(obj.Count(), 6);
  EXPECT_EQ(obj.TagAt(0)->VR(), "SQ");
  EXPECT_EQ(obj.TagAt(1)->VR(), "DL");
  EXPECT_EQ(obj.TagAt(2)->VR(), "PN");
  EXPECT_EQ(obj.GetString(0x0010, 0x0020), "42");
  EXPECT_EQ(obj.GetString(0x0010, 0x0010), "");
}

TEST(BufDataSequences, EncodeSequenceFillsTheHeader) {
  DcmObj set;
  set.explicitVR = true;
  auto* item = new DcmObj;
  item->Add(new DcmTag(0x0008, 0x0100, std::string("AB"), "SH"));
  set.InsertSequence(0xFFFE, 0xE000, item);
  DcmTag header;
  set.EncodeSequence(header, false);
  const Bytes wanted = Explicit(0xFFFE, 0xE000, "", Explicit(0x0008, 0x0100, "SH", Text("AB")));
  EXPECT_EQ(header.data, wanted);
  EXPECT_EQ(header.length, wanted.size());
  DcmObj empty;
  empty.EncodeSequence(header, false);
  EXPECT_EQ(header.length, 0u);
  EXPECT_TRUE(header.data.empty());
  // Expand_SQ parses a stored value back.
  DcmObj back;
  back.explicitVR = true;
  DcmTag value;
  value.SetData(wanted.data(), static_cast<uint32_t>(wanted.size()));
  ASSERT_TRUE(back.Expand_SQ(value, false));
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back.ObjAt(0)->GetString(0x0008, 0x0100), "AB");
}

TEST(BufDataSequences, BigEndianNestedSetsRoundTrip) {
  const Bytes inner = Explicit(0x0008, 0x1150, "UI", Text("1.2\0"s), -1, true);
  const Bytes stream =
      Explicit(0x0008, 0x1115, "SQ", Explicit(0xFFFE, 0xE000, "", inner, -1, true), -1, true);
  DcmObj obj;
  ASSERT_TRUE(ReadSet(stream, obj, true, true));
  ASSERT_NE(obj.ObjAt(0), nullptr);
  EXPECT_EQ(obj.ObjAt(0)->ObjAt(0)->GetString(0x0008, 0x1150), "1.2");
  obj.transferSyntax = kExplicitBE;
  EXPECT_EQ(WriteSet(obj), stream);
}

}  // namespace
