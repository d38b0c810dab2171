// Transfer-syntax conversion of data sets built in memory: refusals, the native length rules,
// the pixel-module rewrites and lossy marks, the fragment structure, and nested elements that
// must stay untouched.
#include <gtest/gtest.h>

#include <regex>

#include "dicom/DcmObj.h"
#include "dicom/codec/J2kCodec.h"
#include "dicom/codec/JpegCodec.h"
#include "tests/dicom/codec/ConvertTestSupport.h"

using namespace codec_test;

namespace {

using Bytes = std::vector<uint8_t>;

const std::string kImplicit = "1.2.840.10008.1.2";
const std::string kExplicit = "1.2.840.10008.1.2.1";
const std::string kBaseline = "1.2.840.10008.1.2.4.50";
const std::string kExtended = "1.2.840.10008.1.2.4.51";
const std::string kLossless = "1.2.840.10008.1.2.4.70";
const std::string kJ2kLossless = "1.2.840.10008.1.2.4.90";
const std::string kJ2k = "1.2.840.10008.1.2.4.91";
const std::string kRle = "1.2.840.10008.1.2.5";

std::string Text(const DcmObj& o, uint16_t g, uint16_t e) {
  const DcmTag* t = FindTop(o, g, e);
  return t ? std::string(t->data.begin(), t->data.end()) : "<absent>";
}

uint16_t US(const DcmObj& o, uint16_t e) { return FindTop(o, 0x0028, e)->GetUShort(); }

// The encoded items after the Pixel Data element, in order.
std::vector<Bytes> Items(const DcmObj& o) {
  std::vector<Bytes> items;
  for (int i = IndexOf(o, 0x7FE0, 0x0010) + 1; i < o.Count(); ++i) {
    const DcmTag* t = o.TagAt(i);
    if (!t || t->group != 0xFFFE || t->element != 0xE000) break;
    items.push_back(t->data);
  }
  return items;
}

// n 16-bit samples: the first half `first`, the rest `second` (an edge the lossy coders keep).
Bytes Halves16(int n, int first, int second) {
  Bytes b;
  for (int i = 0; i < n; ++i) {
    const Bytes v = Samples16({i < n / 2 ? first : second});
    b.insert(b.end(), v.begin(), v.end());
  }
  return b;
}

Bytes LosslessStream16(const Bytes& samples, int w, int h) {
  uint8_t* out = nullptr;
  uint32_t len = 0;
  EXPECT_EQ(CompressJpeg16(w, h, 1, samples.data(), out, len), 0);
  Bytes s(out, out + len);
  delete[] out;
  return s;
}

TEST(Convert, SameOrEmptyTargetChangesNothing) {
  auto o = MakeImage({}, kExplicit);
  AddNative(*o, Bytes(32, 7));
  const int count = o->Count();
  EXPECT_TRUE(o->ConvertTransferSyntax(""));
  EXPECT_TRUE(o->ConvertTransferSyntax(kExplicit));
  EXPECT_EQ(o->Count(), count);
  EXPECT_EQ(o->transferSyntax, kExplicit);
}

struct RefusalCase {
  const char* name;
  const char* source;
  const char* target;
};

class ConvertRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ConvertRefusal, IsFalseWithNothingChangedAndNoLogLine) {
  const RefusalCase& c = GetParam();
  auto o = MakeImage({}, c.source);
  AddNative(*o, Bytes(32, 7));
  LogCapture log;
  EXPECT_FALSE(o->ConvertTransferSyntax(c.target));
  EXPECT_EQ(o->transferSyntax, c.source);
  EXPECT_EQ(PixelBytes(*o), Bytes(32, 7));
  EXPECT_EQ(log.Text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Syntaxes, ConvertRefusal,
    ::testing::Values(RefusalCase{"RleTarget", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.5"},
                      RefusalCase{"LosslessAnyPredictorTarget", "1.2.840.10008.1.2.1",
                                  "1.2.840.10008.1.2.4.57"},
                      RefusalCase{"Mpeg2Target", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.4.100"},
                      RefusalCase{"Mpeg2Source", "1.2.840.10008.1.2.4.100", "1.2.840.10008.1.2.1"},
                      RefusalCase{"BigEndianTarget", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.2"},
                      RefusalCase{"BigEndianSource", "1.2.840.10008.1.2.2", "1.2.840.10008.1.2.1"},
                      RefusalCase{"UnknownTarget", "1.2.840.10008.1.2.1", "1.2.3.4"}),
    [](const auto& info) { return std::string(info.param.name); });

struct LengthCase {
  const char* name;
  int extra;
  bool ok;
};

class NativeLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(NativeLength, MustBeTheSizeOrOneMore) {
  const LengthCase& c = GetParam();
  ImageSpec s;
  s.rows = 3;
  s.columns = 3;
  s.bitsAllocated = s.bitsStored = 8;
  auto o = MakeImage(s, kImplicit);
  Bytes value(9 + c.extra, 5);
  o->Insert(new DcmTag(0x7FE0, 0x0010, 0u, nullptr, "OB"));
  FindTop(*o, 0x7FE0, 0x0010)->SetData(value.data(), static_cast<uint32_t>(value.size()));
  LogCapture log;
  EXPECT_EQ(o->ConvertTransferSyntax(kExplicit), c.ok);
  EXPECT_EQ(log.Has("ERROR, DcmObj::ConvertTransferSyntax, tag->length!=size"), !c.ok);
  if (c.ok) {
    EXPECT_EQ(FindTop(*o, 0x7FE0, 0x0010)->length, 10u);  // odd size gets its pad
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, NativeLength,
                         ::testing::Values(LengthCase{"Exact", 0, true},
                                           LengthCase{"PadByte", 1, true},
                                           LengthCase{"TwoMore", 2, false},
                                           LengthCase{"OneShort", -1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Convert, SizeZeroAndSizesBeyondAnElementLengthAreRefused) {
  ImageSpec zero;
  zero.columns = 0;
  auto o = MakeImage(zero, kImplicit);
  AddNative(*o, Bytes(2, 0));
  LogCapture log;
  EXPECT_FALSE(o->ConvertTransferSyntax(kExplicit));
  EXPECT_TRUE(log.Has("ERROR, DcmObj::ConvertTransferSyntax, size=0"));

  // 65535 x 65535 x 2 bytes x 2 frames would wrap in 32 bits.
  ImageSpec huge;
  huge.rows = huge.columns = 65535;
  huge.frames = "2";
  auto big = MakeImage(huge, kImplicit);
  AddNative(*big, Bytes(2, 0));
  EXPECT_FALSE(big->ConvertTransferSyntax(kExplicit));
  EXPECT_TRUE(log.Has("ERROR, DcmObj::ConvertTransferSyntax, size=17179344900"));
}

// Number of Frames absent, zero or not a number: one frame, the size not multiplied. Only a
// whole decimal integer counts ("3x" is no count; "+2" is two).
TEST(Convert, FramesThatAreNoCountMeanOne) {
  struct Case {
    const char* text;
    int frames;
  };
  for (const Case& c : {Case{"", 1}, Case{"0", 1}, Case{"abc", 1}, Case{"1", 1}, Case{"3x", 1},
                        Case{"-2", 1}, Case{"+2", 2}, Case{" 2 ", 2}}) {
    ImageSpec s = {};
    s.rows = 2;
    s.columns = 2;
    s.frames = c.text;
    auto o = MakeImage(s, kImplicit);
    Bytes native;
    for (int f = 0; f < c.frames; ++f) {
      const Bytes frame = Samples16({1 + f, 2, 3, 4});
      native.insert(native.end(), frame.begin(), frame.end());
    }
    AddNative(*o, native);
    EXPECT_TRUE(o->ConvertTransferSyntax(kExplicit)) << c.text;
    EXPECT_EQ(PixelBytes(*o), native) << c.text;
  }
}

TEST(Convert, PlanarRgbBecomesPixelInterleaved) {
  ImageSpec s;
  s.rows = 1;
  s.columns = 2;
  s.bitsAllocated = s.bitsStored = 8;
  s.pi = "RGB";
  s.planar = 1;
  auto o = MakeImage(s, kImplicit);
  AddNative(*o, {10, 11, 20, 21, 30, 31}, "OB");
  ASSERT_TRUE(o->ConvertTransferSyntax(kExplicit));
  EXPECT_EQ(PixelBytes(*o), Bytes({10, 20, 30, 11, 21, 31}));
  EXPECT_EQ(US(*o, 0x0006), 0);
  EXPECT_EQ(Text(*o, 0x0028, 0x0004), "RGB ");
  EXPECT_EQ(FindTop(*o, 0x7FE0, 0x0010)->VR(), "OB");
  EXPECT_TRUE(o->explicitVR);
}

// Planes of 16-bit samples are interleaved sample by sample, each keeping its two bytes.
TEST(Convert, PlanarRgb16KeepsSamplesWhole) {
  ImageSpec s;
  s.rows = 1;
  s.columns = 2;
  s.pi = "RGB";
  s.planar = 1;
  auto o = MakeImage(s, kExplicit);
  AddNative(*o, Samples16({0x1110, 0x1211, 0x2120, 0x2221, 0x3130, 0x3231}));
  ASSERT_TRUE(o->ConvertTransferSyntax(kImplicit));
  EXPECT_EQ(PixelBytes(*o), Samples16({0x1110, 0x2120, 0x3130, 0x1211, 0x2221, 0x3231}));
  EXPECT_EQ(US(*o, 0x0006), 0);
}

TEST(Convert, PixelVrFollowsBitsAllocated) {
  ImageSpec s;
  s.bitsStored = 8;  // 8 stored in 16 allocated is still 16-bit data
  auto o = MakeImage(s, kImplicit);
  AddNative(*o, Bytes(32, 1));
  ASSERT_TRUE(o->ConvertTransferSyntax(kExplicit));
  EXPECT_EQ(FindTop(*o, 0x7FE0, 0x0010)->VR(), "OW");
}

TEST(Convert, NoPixelDataIsFalseButRelabelled) {
  auto o = MakeImage({}, kImplicit);
  EXPECT_FALSE(o->ConvertTransferSyntax(kExplicit));
  EXPECT_EQ(o->transferSyntax, kExplicit);
  EXPECT_TRUE(o->explicitVR);
}

TEST(Convert, CtToBaselineRescalesAndMarksLossy) {
  ImageSpec s;
  s.bitsStored = 12;
  s.pixelRepresentation = 1;
  s.modality = "CT";
  s.intercept = "-1024";
  s.slope = "1";
  s.rows = s.columns = 8;
  auto o = MakeImage(s, kImplicit);
  AddNative(*o, Halves16(64, 1600, -2000));  // 1600 -> 100, negative -> 0
  o->Insert(new DcmTag(0x0028, 0x0000, 0u, "UL"));
  o->Insert(new DcmTag(0x7FE0, 0x0000, 0u, "UL"));
  o->Insert(new DcmTag(0x0028, 0x2112, std::string("9.05250452625226"), "DS"));
  ASSERT_TRUE(o->ConvertTransferSyntax(kBaseline));
  EXPECT_EQ(US(*o, 0x0100), 8);
  EXPECT_EQ(US(*o, 0x0101), 8);
  EXPECT_EQ(US(*o, 0x0102), 7);
  EXPECT_EQ(US(*o, 0x0103), 0);
  EXPECT_EQ(Text(*o, 0x0028, 0x1052), "-1024 ");
  EXPECT_EQ(Text(*o, 0x0028, 0x1053), "16");
  EXPECT_EQ(Text(*o, 0x0028, 0x2110), "01");
  EXPECT_TRUE(std::regex_match(o->GetString(0x0028, 0x2112), std::regex("[0-9]+\\.[0-9]{2}")))
      << o->GetString(0x0028, 0x2112);
  EXPECT_EQ(FindTop(*o, 0x0028, 0x2114), nullptr);  // the method is not recorded
  EXPECT_EQ(FindTop(*o, 0x0028, 0x0000), nullptr);  // stale group lengths removed
  EXPECT_EQ(FindTop(*o, 0x7FE0, 0x0000), nullptr);
  const std::vector<Bytes> items = Items(*o);
  ASSERT_EQ(items.size(), 2u);  // offset table + one frame
  GuardedArea area(64);
  ASSERT_EQ(
      DecompressJpeg8(items[1].data(), area.data(), static_cast<uint32_t>(items[1].size()), 64, 1),
      0);
  EXPECT_NEAR(area.bytes[0], 100, 8);
  EXPECT_NEAR(area.bytes[63], 0, 8);
}

// Bits Allocated is tested before Bits Stored is captured, so for baseline JPEG it becomes 8
// even for 8 bits stored in 16 allocated, while the other attributes stay; the low byte of each
// sample is what gets encoded.
TEST(Convert, BaselineAlwaysSetsEightBitsAllocated) {
  ImageSpec s;
  s.bitsStored = 8;
  s.slope = "2";
  s.intercept = "5";
  auto o = MakeImage(s, kExplicit);
  AddNative(*o, Halves16(16, 0x1200 | 200, 0x1200 | 20));
  ASSERT_TRUE(o->ConvertTransferSyntax(kBaseline));
  EXPECT_EQ(US(*o, 0x0100), 8);
  EXPECT_EQ(US(*o, 0x0101), 8);
  EXPECT_EQ(US(*o, 0x0102), 7);
  EXPECT_EQ(Text(*o, 0x0028, 0x1052), "5 ");
  EXPECT_EQ(Text(*o, 0x0028, 0x1053), "2 ");
  const std::vector<Bytes> items = Items(*o);
  ASSERT_EQ(items.size(), 2u);
  GuardedArea area(16);
  ASSERT_EQ(
      DecompressJpeg8(items[1].data(), area.data(), static_cast<uint32_t>(items[1].size()), 16, 1),
      0);
  EXPECT_NEAR(area.bytes[0], 200, 8);
  EXPECT_NEAR(area.bytes[15], 20, 8);
}

struct SlopeCase {
  const char* name;
  const char* modality;
  uint16_t bitsStored;
  const char* slope;
};

class BaselineSlope : public ::testing::TestWithParam<SlopeCase> {};

TEST_P(BaselineSlope, FollowsTheDivisor) {
  const SlopeCase& c = GetParam();
  ImageSpec s;
  s.bitsStored = c.bitsStored;
  s.modality = c.modality;
  s.slope = "1";
  s.intercept = "0";
  auto o = MakeImage(s, kExplicit);
  AddNative(*o, Samples16({0, 100, 300, 4000, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 65535}));
  ASSERT_TRUE(o->ConvertTransferSyntax(kBaseline));
  EXPECT_EQ(Text(*o, 0x0028, 0x1053), c.slope);
  EXPECT_EQ(Text(*o, 0x0028, 0x1052), std::string(c.modality) == "CT" ? "-1024 " : "0 ");
}

INSTANTIATE_TEST_SUITE_P(
    Divisors, BaselineSlope,
    ::testing::Values(SlopeCase{"Mr10", "MR", 10, "4 "}, SlopeCase{"Mr12", "MR", 12, "16"},
                      SlopeCase{"Mr14", "MR", 14, "64"}, SlopeCase{"Mr16", "MR", 16, "256 "},
                      SlopeCase{"Mr11", "MR", 11, "1 "}, SlopeCase{"Ct16", "CT", 16, "16"},
                      SlopeCase{"Nm16", "NM", 16, "1 "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Convert, ExtendedTargetClampsTo12Bits) {
  ImageSpec s;
  s.slope = "1";
  s.intercept = "0";
  auto o = MakeImage(s, kExplicit);
  AddNative(*o, Halves16(16, 60000, 1000));
  ASSERT_TRUE(o->ConvertTransferSyntax(kExtended));
  EXPECT_EQ(US(*o, 0x0101), 12);
  EXPECT_EQ(US(*o, 0x0102), 11);
  EXPECT_EQ(US(*o, 0x0103), 0);
  EXPECT_EQ(Text(*o, 0x0028, 0x1052), "0 ");
  EXPECT_EQ(Text(*o, 0x0028, 0x1053), "1 ");
  const std::vector<Bytes> items = Items(*o);
  ASSERT_EQ(items.size(), 2u);
  GuardedArea area(32);
  ASSERT_EQ(
      DecompressJpeg12(items[1].data(), area.data(), static_cast<uint32_t>(items[1].size()), 32, 2),
      0);
  EXPECT_NEAR(area.bytes[0] | (area.bytes[1] << 8), 4095, 40);
}

TEST(Convert, ExtendedTargetKeeps12BitDataAndRefusesWhatItWouldDamage) {
  ImageSpec twelve;
  twelve.bitsStored = 12;
  twelve.slope = "2";
  auto o = MakeImage(twelve, kExplicit);
  AddNative(*o, Samples16({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 4095}));
  ASSERT_TRUE(o->ConvertTransferSyntax(kExtended));
  EXPECT_EQ(Text(*o, 0x0028, 0x1053), "2 ");  // attributes stay

  ImageSpec eight;
  eight.bitsAllocated = eight.bitsStored = 8;
  auto e = MakeImage(eight, kExplicit);
  AddNative(*e, Bytes(16, 9), "OB");
  EXPECT_FALSE(e->ConvertTransferSyntax(kExtended));

  ImageSpec negative;
  negative.bitsStored = 12;
  negative.pixelRepresentation = 1;  // the 12-bit coder would clamp every negative value to 0
  auto n = MakeImage(negative, kExplicit);
  AddNative(*n, Samples16({-5, 5, -5, 5, -5, 5, -5, 5, -5, 5, -5, 5, -5, 5, -5, 5}));
  EXPECT_FALSE(n->ConvertTransferSyntax(kExtended));
  // Refused by the encoder, yet relabelled: callers never send an object that failed.
  EXPECT_EQ(n->transferSyntax, kExtended);
  EXPECT_EQ(FindTop(*n, 0x7FE0, 0x0010)->length, 32u);
}

// Lossless JPEG 2000 keeps the stored values and the rescale attributes, signed values included.
TEST(Convert, LosslessJ2kKeepsStoredValues) {
  ImageSpec s;
  s.modality = "CT";
  s.pixelRepresentation = 1;
  s.intercept = "-1024";
  s.slope = "0.0001";
  auto o = MakeImage(s, kExplicit);
  const Bytes native =
      Samples16({-2000, -1, 0, 1, 30000, -30000, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  AddNative(*o, native);
  ASSERT_TRUE(o->ConvertTransferSyntax(kJ2kLossless));
  EXPECT_EQ(Text(*o, 0x0028, 0x1052), "-1024 ");
  EXPECT_EQ(Text(*o, 0x0028, 0x1053), "0.0001");
  EXPECT_EQ(FindTop(*o, 0x0028, 0x2110), nullptr);
  EXPECT_EQ(FindTop(*o, 0x0028, 0x2112), nullptr);
  const std::vector<Bytes> items = Items(*o);
  ASSERT_EQ(items.size(), 2u);
  GuardedArea area(32);
  ASSERT_TRUE(
      DecompressJ2k(items[1].data(), area.data(), static_cast<uint32_t>(items[1].size()), 32, 2));
  EXPECT_EQ(area.Area(), native);
}

TEST(Convert, LossyJ2kRescalesCt) {
  ImageSpec s;
  s.modality = "CT";
  s.pixelRepresentation = 1;
  s.bitsStored = 12;
  s.intercept = "-1024";
  s.slope = "1";
  auto o = MakeImage(s, kExplicit);
  AddNative(*o, Samples16({-2000, 0, 1024, 2000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(o->ConvertTransferSyntax(kJ2k));
  EXPECT_EQ(Text(*o, 0x0028, 0x1052), "-1024 ");
  EXPECT_EQ(Text(*o, 0x0028, 0x1053), "1 ");
  EXPECT_EQ(Text(*o, 0x0028, 0x2110), "01");
}

// Group 0028 elements and pixel data inside sequences belong to other images.
TEST(Convert, NestedElementsStayUntouched) {
  ImageSpec s;
  s.bitsStored = 12;
  auto o = MakeImage(s, kExplicit);
  AddNative(*o, Samples16({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
  // An icon and a functional-group sequence, both of undefined length, before the pixel data.
  int at = IndexOf(*o, 0x7FE0, 0x0010);
  const Bytes iconPixels(4, 200);
  std::vector<DcmTag*> nested = {
      new DcmTag(0x0088, 0x0200, kUndefinedLength, nullptr, "SQ"),
      new DcmTag(0xFFFE, 0xE000, kUndefinedLength, nullptr, "DL"),
      new DcmTag(0x0028, 0x0100, static_cast<uint16_t>(8), "US"),
      new DcmTag(0x0028, 0x0101, static_cast<uint16_t>(8), "US"),
      new DcmTag(0x7FE0, 0x0010, 4u, iconPixels.data(), "OB"),
      new DcmTag(0xFFFE, 0xE00D, 0u, nullptr, "DL"),
      new DcmTag(0xFFFE, 0xE0DD, 0u, nullptr, "DL"),
      new DcmTag(0x5200, 0x9230, kUndefinedLength, nullptr, "SQ"),
      new DcmTag(0xFFFE, 0xE000, kUndefinedLength, nullptr, "DL"),
      new DcmTag(0x0028, 0x1053, std::string("3 "), "DS"),
      new DcmTag(0xFFFE, 0xE00D, 0u, nullptr, "DL"),
      new DcmTag(0xFFFE, 0xE0DD, 0u, nullptr, "DL"),
  };
  for (size_t k = 0; k < nested.size(); ++k) o->InsertAt(nested[k], at + static_cast<int>(k));
  ASSERT_TRUE(o->ConvertTransferSyntax(kBaseline));
  at = IndexOf(*o, 0x0088, 0x0200);  // the lossy marks were inserted before it
  EXPECT_EQ(o->TagAt(at + 2)->GetUShort(), 8);
  EXPECT_EQ(o->TagAt(at + 4)->data, iconPixels);
  EXPECT_EQ(std::string(o->TagAt(at + 9)->data.begin(), o->TagAt(at + 9)->data.end()), "3 ");
  EXPECT_EQ(o->TagAt(o->Count() - 1)->element, 0xE0DD);  // the top-level pixel data was encoded
}

// ---- the fragment structure ---------------------------------------------------------------

ImageSpec Small16(const std::string& frames) {
  ImageSpec s;
  s.rows = 2;
  s.columns = 3;
  s.frames = frames;
  return s;
}

TEST(Decomp, SingleFrameSplitOverFragmentsIsJoined) {
  const Bytes samples = Samples16({1, 200, 3000, 40000, 5, 65535});
  const Bytes stream = LosslessStream16(samples, 3, 2);
  const Bytes first(stream.begin(), stream.begin() + 10), second(stream.begin() + 10, stream.end());
  auto o = MakeImage(Small16(""), kLossless);
  AddEncapsulated(*o, {first, second});
  ASSERT_TRUE(o->ConvertTransferSyntax(kExplicit));
  EXPECT_EQ(PixelBytes(*o), samples);
  EXPECT_EQ(IndexOf(*o, 0x7FE0, 0x0010), o->Count() - 1);  // nothing left behind
}

TEST(Decomp, FramesLandInTheirOwnThird) {
  std::vector<Bytes> fragments;
  Bytes expected;
  for (int f = 0; f < 3; ++f) {
    const Bytes s = Samples16({f, f + 10, f + 20, f + 30, f + 40, f + 50});
    fragments.push_back(LosslessStream16(s, 3, 2));
    expected.insert(expected.end(), s.begin(), s.end());
  }
  auto o = MakeImage(Small16("3"), kLossless);
  AddEncapsulated(*o, fragments);
  ASSERT_TRUE(o->ConvertTransferSyntax(kExplicit));
  EXPECT_EQ(PixelBytes(*o), expected);
  EXPECT_EQ(FindTop(*o, 0x7FE0, 0x0010)->length, 36u);
  EXPECT_EQ(IndexOf(*o, 0x7FE0, 0x0010), o->Count() - 1);
}

struct BrokenStructure {
  const char* name;
  const char* syntax;
  int fragments;  // of the 2 frames' streams (may be fewer or more)
  bool delimiter;
  bool truncate;  // cut the first stream in half
  bool ok;
  const char* line;
};

class DecompStructure : public ::testing::TestWithParam<BrokenStructure> {};

TEST_P(DecompStructure, FailsCleanlyOrToleratesAsDesigned) {
  const BrokenStructure& c = GetParam();
  const bool baseline = std::string(c.syntax) == kBaseline;
  ImageSpec s = Small16("2");
  if (baseline) s.bitsAllocated = s.bitsStored = 8;
  std::vector<Bytes> fragments;
  for (int f = 0; f < c.fragments; ++f) {
    uint8_t* out = nullptr;
    uint32_t len = 0;
    const Bytes samples = baseline ? Bytes(6, 100) : Samples16({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(baseline ? CompressJpeg8(3, 2, 1, samples.data(), out, len, 0)
                       : CompressJpeg16(3, 2, 1, samples.data(), out, len),
              0);
    fragments.emplace_back(out, out + len);
    delete[] out;
  }
  if (c.truncate) fragments[0].resize(fragments[0].size() / 2);
  auto o = MakeImage(s, c.syntax);
  AddEncapsulated(*o, fragments, c.delimiter);
  LogCapture log;
  EXPECT_EQ(o->ConvertTransferSyntax(kExplicit), c.ok);
  if (*c.line) {
    EXPECT_TRUE(log.Has(c.line)) << log.Text();
  }
  if (c.ok) {
    EXPECT_EQ(IndexOf(*o, 0x7FE0, 0x0010), o->Count() - 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fragments, DecompStructure,
    ::testing::Values(
        BrokenStructure{"Complete", "1.2.840.10008.1.2.4.70", 2, true, false, true, ""},
        BrokenStructure{"FewerFragmentsThanFrames", "1.2.840.10008.1.2.4.70", 1, true, false, false,
                        "ERROR, DcmObj::ConvertTransferSyntax, Exception on Decomp"},
        BrokenStructure{"SurplusFragment", "1.2.840.10008.1.2.4.70", 3, true, false, false,
                        "ERROR, DcmObj::ConvertTransferSyntax, Exception on Decomp"},
        BrokenStructure{"NoDelimiter", "1.2.840.10008.1.2.4.70", 2, false, false, false,
                        "ERROR, DcmObj::ConvertTransferSyntax, Exception on Decomp"},
        BrokenStructure{"TruncatedStream", "1.2.840.10008.1.2.4.70", 2, true, true, false,
                        "ERROR, DcmObj::ConvertTransferSyntax, Exception on Decomp"},
        BrokenStructure{"BaselineWithoutDelimiter", "1.2.840.10008.1.2.4.50", 2, false, false, true,
                        "ERROR, Decompressing image, end of stream"},
        BrokenStructure{"BaselineTruncated", "1.2.840.10008.1.2.4.50", 2, true, true, false,
                        "ERROR, DcmObj::ConvertTransferSyntax, Exception on Decomp"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Decomp, UnsupportedRleLayoutFailsTheConversion) {
  ImageSpec s = Small16("");
  s.pi = "PALETTE COLOR";
  Bytes fragment(64, 0);
  fragment[0] = 2;
  auto o = MakeImage(s, kRle);
  AddEncapsulated(*o, {fragment});
  LogCapture log;
  EXPECT_FALSE(o->ConvertTransferSyntax(kExplicit));
  EXPECT_TRUE(
      log.Has("ERROR, format not supported: segment_count=2, bitsa=16, "
              "PhotometricInterpretation=PALETTE COLOR"));
  EXPECT_TRUE(log.Has("ERROR, DcmObj::ConvertTransferSyntax, Exception on Decomp"));
}

// JPEG 2000 frames of 32-bit samples get 4 bytes per sample; JPEG, whose samples are at most
// 16 bits, has no such layout and fails instead of filling half the frame.
TEST(Decomp, ThirtyTwoBitFramesAreFilledWholeOrRefused) {
  const Bytes samples = Samples16({1, 200, 3000, 40000, 5, 65535});
  ImageSpec s = Small16("");
  s.bitsAllocated = 32;
  uint8_t* out = nullptr;
  uint32_t len = 0;
  ASSERT_TRUE(CompressJ2k(samples.data(), out, len, 3, 2, 1, 16, 0, false));
  const Bytes j2k(out, out + len);
  delete[] out;
  auto o = MakeImage(s, kJ2kLossless);
  AddEncapsulated(*o, {j2k});
  ASSERT_TRUE(o->ConvertTransferSyntax(kExplicit));
  Bytes expected;
  for (size_t i = 0; i < samples.size(); i += 2)
    expected.insert(expected.end(), {samples[i], samples[i + 1], 0, 0});
  EXPECT_EQ(PixelBytes(*o), expected);

  auto jpeg = MakeImage(s, kLossless);
  AddEncapsulated(*jpeg, {LosslessStream16(samples, 3, 2)});
  LogCapture log;
  EXPECT_FALSE(jpeg->ConvertTransferSyntax(kExplicit));
  EXPECT_TRUE(log.Has("ERROR, DcmObj::ConvertTransferSyntax, Exception on Decomp"));
}

// Decoded colour is RGB whatever the source said; native samples keep their label.
TEST(Convert, ColourLabelFollowsTheSamples) {
  ImageSpec s;
  s.rows = 1;
  s.columns = 1;
  s.bitsAllocated = s.bitsStored = 8;
  s.pi = "YBR_FULL";
  Bytes fragment(64, 0);
  fragment[0] = 3;
  for (int k = 0; k < 3; ++k) fragment[4 + 4 * k] = static_cast<uint8_t>(64 + 2 * k);
  for (uint8_t v : {0, 255, 0, 128, 0, 255}) fragment.push_back(v);  // Y 255, Cb 128, Cr 255
  auto rle = MakeImage(s, kRle);
  AddEncapsulated(*rle, {fragment});
  ASSERT_TRUE(rle->ConvertTransferSyntax(kLossless));
  EXPECT_EQ(Text(*rle, 0x0028, 0x0004), "RGB ");

  auto native = MakeImage(s, kImplicit);
  AddNative(*native, {1, 2, 3, 0}, "OB");
  ASSERT_TRUE(native->ConvertTransferSyntax(kLossless));
  EXPECT_EQ(Text(*native, 0x0028, 0x0004), "YBR_FULL");

  // The baseline coder would transform native YBR samples a second time: refused.
  auto ybr = MakeImage(s, kImplicit);
  AddNative(*ybr, {1, 2, 3, 0}, "OB");
  EXPECT_FALSE(ybr->ConvertTransferSyntax(kBaseline));
  EXPECT_EQ(Items(*ybr).size(), 0u);
}

}  // namespace
