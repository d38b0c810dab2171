// RLE frame decoding: segment layouts, PackBits runs, and broken segment tables.
#include <gtest/gtest.h>

#include "dicom/DcmObj.h"
#include "dicom/codec/Rle.h"
#include "tests/dicom/codec/ConvertTestSupport.h"

using namespace codec_test;

namespace {

using Bytes = std::vector<uint8_t>;

// PackBits literal runs of at most 128 bytes.
Bytes Literal(const Bytes& plain) {
  Bytes out;
  for (size_t i = 0; i < plain.size(); i += 128) {
    const size_t n = std::min<size_t>(128, plain.size() - i);
    out.push_back(static_cast<uint8_t>(n - 1));
    out.insert(out.end(), plain.begin() + i, plain.begin() + i + n);
  }
  return out;
}

// A fragment: the 64-byte table, then the encoded segments in order.
Bytes Fragment(const std::vector<Bytes>& encodedSegments, int64_t countOverride = -1) {
  Bytes header(64, 0);
  auto put = [&](size_t at, uint32_t v) {
    for (int b = 0; b < 4; ++b) header[at + b] = static_cast<uint8_t>(v >> (8 * b));
  };
  put(0, countOverride >= 0 ? static_cast<uint32_t>(countOverride)
                            : static_cast<uint32_t>(encodedSegments.size()));
  Bytes body;
  for (size_t i = 0; i < encodedSegments.size() && i < 15; ++i) {
    put(4 * (i + 1), static_cast<uint32_t>(64 + body.size()));
    body.insert(body.end(), encodedSegments[i].begin(), encodedSegments[i].end());
  }
  header.insert(header.end(), body.begin(), body.end());
  return header;
}

struct LayoutCase {
  const char* name;
  const char* pi;
  uint16_t bitsAllocated;
  std::vector<Bytes> planes;
  Bytes expected;
};

class RleLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(RleLayout, AssemblesInterleavedLittleEndianSamples) {
  const LayoutCase& c = GetParam();
  std::vector<Bytes> encoded;
  for (const Bytes& p : c.planes) encoded.push_back(Literal(p));
  const Bytes fragment = Fragment(encoded);
  DcmObj obj;
  obj.photometricInterpretation = c.pi;
  GuardedArea area(c.expected.size());
  std::fill(area.bytes.begin(), area.bytes.begin() + area.size, 0);
  LogCapture log;
  obj.DecodeRLE(fragment.data(), area.data(), static_cast<uint32_t>(fragment.size()),
                static_cast<uint32_t>(area.size), c.bitsAllocated);
  EXPECT_EQ(area.Area(), c.expected);
  EXPECT_TRUE(area.GuardIntact());
  EXPECT_EQ(log.Text(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RleLayout,
    ::testing::Values(LayoutCase{"Mono8OneSegment", "MONOCHROME2", 8, {{1, 2, 3}}, {1, 2, 3}},
                      LayoutCase{"Mono16HighByteFirst",
                                 "MONOCHROME1",
                                 16,
                                 {{0x01, 0x02}, {0x03, 0x04}},
                                 {0x03, 0x01, 0x04, 0x02}},
                      LayoutCase{"Rgb8", "RGB", 8, {{1, 2}, {3, 4}, {5, 6}}, {1, 3, 5, 2, 4, 6}},
                      LayoutCase{"Rgb16SixSegments",
                                 "RGB",
                                 16,
                                 {{0xA0}, {0xA1}, {0xB0}, {0xB1}, {0xC0}, {0xC1}},
                                 {0xA1, 0xA0, 0xB1, 0xB0, 0xC1, 0xC0}},
                      LayoutCase{"YbrFullToRgb",
                                 "YBR_FULL",
                                 8,
                                 {{255, 0}, {128, 128}, {255, 0}},
                                 {255, 164, 255, 0, 91, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

struct UnsupportedCase {
  const char* name;
  const char* pi;
  uint16_t bitsAllocated;
  uint32_t count;
  const char* line;
};

class RleUnsupported : public ::testing::TestWithParam<UnsupportedCase> {};

TEST_P(RleUnsupported, LogsTheLayoutAndRaisesWithoutWriting) {
  const UnsupportedCase& c = GetParam();
  const Bytes fragment = Fragment({Literal({1, 2, 3, 4}), Literal({5, 6, 7, 8})}, c.count);
  DcmObj obj;
  obj.photometricInterpretation = c.pi;
  GuardedArea area(8);
  LogCapture log;
  EXPECT_THROW(obj.DecodeRLE(fragment.data(), area.data(), static_cast<uint32_t>(fragment.size()),
                             8, c.bitsAllocated),
               FrameDecodeError);
  EXPECT_TRUE(log.Has(c.line)) << log.Text();
  EXPECT_TRUE(area.AreaUntouched());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RleUnsupported,
    ::testing::Values(UnsupportedCase{"CountZero", "MONOCHROME2", 8, 0,
                                      "ERROR, format not supported: segment_count=0, bitsa=8, "
                                      "PhotometricInterpretation=MONOCHROME2"},
                      UnsupportedCase{"CountSixteen", "MONOCHROME2", 16, 16,
                                      "ERROR, format not supported: segment_count=16, bitsa=16, "
                                      "PhotometricInterpretation=MONOCHROME2"},
                      UnsupportedCase{"CountDisagreesWithBits", "MONOCHROME2", 8, 2,
                                      "ERROR, format not supported: segment_count=2, bitsa=8, "
                                      "PhotometricInterpretation=MONOCHROME2"},
                      UnsupportedCase{"Palette", "PALETTE COLOR", 8, 1,
                                      "ERROR, format not supported: segment_count=1, bitsa=8, "
                                      "PhotometricInterpretation=PALETTE COLOR"},
                      UnsupportedCase{"Ybr16", "YBR_FULL", 16, 6,
                                      "ERROR, format not supported: segment_count=6, bitsa=16, "
                                      "PhotometricInterpretation=YBR_FULL"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RunCase {
  const char* name;
  Bytes segment;  // encoded
  uint32_t share;
  Bytes expected;
  int overflowLines;
};

class PackBits : public ::testing::TestWithParam<RunCase> {};

TEST_P(PackBits, ExpandsWithinTheSegmentAndShare) {
  const RunCase& c = GetParam();
  // The segment sits in its own block so a read past it would be caught.
  std::unique_ptr<uint8_t[]> seg(new uint8_t[c.segment.size() + 1]);
  std::copy(c.segment.begin(), c.segment.end(), seg.get());
  GuardedArea temp(c.share);
  std::fill(temp.bytes.begin(), temp.bytes.begin() + temp.size, 0);
  LogCapture log;
  DecodeRLESegment(seg.get(), temp.data(), 0, static_cast<uint32_t>(c.segment.size()), 0, c.share);
  EXPECT_EQ(temp.Area(), c.expected);
  EXPECT_TRUE(temp.GuardIntact());
  EXPECT_EQ(log.CountOf("ERROR, overflow decoding RLE"), c.overflowLines);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PackBits,
    ::testing::Values(RunCase{"Replicate", {0xFD, 7}, 4, {7, 7, 7, 7}, 0},      // -3: 4 copies
                      RunCase{"NoOpHeader", {0x80, 0x01, 5, 6}, 2, {5, 6}, 0},  // -128 skipped
                      RunCase{"RunCutAtShare", {0x81, 9}, 3, {9, 9, 9}, 0},     // 128 copies
                      RunCase{"LiteralCutAtShare", {0x03, 1, 2, 3, 4}, 2, {1, 2}, 0},
                      RunCase{"PadByteIgnored", {0x01, 1, 2, 0x00}, 2, {1, 2}, 0},
                      RunCase{"ReplicateValueMissing", {0x00, 4, 0xFE}, 3, {4, 0, 0}, 1},
                      RunCase{"LiteralTooShort", {0x05, 1, 2}, 6, {0, 0, 0, 0, 0, 0}, 1},
                      RunCase{"EmptySegment", {}, 2, {0, 0}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Offsets past the fragment or running backwards leave a segment without bytes: its share
// stays zero and the overflow line is written; the other segment still decodes.
TEST(RleTable, OffsetsPointingAnywhereLeaveZeros) {
  struct Case {
    uint32_t secondOffset;
    Bytes expected;  // two 16-bit samples, little endian
  };
  const Case cases[] = {
      {0xFFFFFFF0u, {0x00, 0x11, 0x00, 0x22}},  // second segment beyond the end
      {70u, {0x00, 0x11, 0x00, 0x22}},          // second segment at the fragment end
      {2u, {0x00, 0x00, 0x00, 0x00}},           // first segment ends before it starts
  };
  const Bytes fragment = Fragment({Literal({0x11, 0x22}), Literal({0x33, 0x44})});
  DcmObj obj;
  obj.photometricInterpretation = "MONOCHROME2";
  for (const Case& c : cases) {
    Bytes f = fragment;
    for (int b = 0; b < 4; ++b) f[8 + b] = static_cast<uint8_t>(c.secondOffset >> (8 * b));
    GuardedArea area(4);
    std::fill(area.bytes.begin(), area.bytes.begin() + 4, 0);
    LogCapture log;
    obj.DecodeRLE(f.data(), area.data(), static_cast<uint32_t>(f.size()), 4, 16);
    EXPECT_TRUE(area.GuardIntact());
    EXPECT_EQ(area.Area(), c.expected) << c.secondOffset;
    EXPECT_GE(log.CountOf("ERROR, overflow decoding RLE"), 1) << c.secondOffset;
  }
}

TEST(RleTable, FragmentShorterThanItsTableIsRefused) {
  const Bytes tiny = {2, 0, 0};
  DcmObj obj;
  obj.photometricInterpretation = "MONOCHROME2";
  GuardedArea area(4);
  LogCapture log;
  EXPECT_THROW(obj.DecodeRLE(tiny.data(), area.data(), 3, 4, 8), FrameDecodeError);
  EXPECT_TRUE(area.GuardIntact());
}

}  // namespace

// ---- broken fragments through the whole conversion ------------------------------------------

struct BrokenRle {
  const char* name;
  uint32_t count;           // segment count written in the table
  size_t cutSecondSegment;  // bytes dropped from the end of the fragment
  uint32_t secondOffset;    // 0: where the segment really starts
  bool ok;
  std::vector<uint8_t> high;  // expected high bytes of the two samples (low bytes 0x11, 0x22)
  const char* line;
};

class RleConversion : public ::testing::TestWithParam<BrokenRle> {};

// A 16-bit frame of two samples: what decodes lands in place, what does not stays zero, and a
// table the decoder cannot use fails the conversion.
TEST_P(RleConversion, FailsCleanlyOrLeavesZeros) {
  const BrokenRle& c = GetParam();
  Bytes fragment = Fragment({Literal({0xA1, 0xA2}), Literal({0x11, 0x22})}, c.count);
  if (c.secondOffset)
    for (int b = 0; b < 4; ++b) fragment[8 + b] = static_cast<uint8_t>(c.secondOffset >> (8 * b));
  fragment.resize(fragment.size() - c.cutSecondSegment);
  ImageSpec s;
  s.rows = 1;
  s.columns = 2;
  auto o = MakeImage(s, "1.2.840.10008.1.2.5");
  AddEncapsulated(*o, {fragment});
  LogCapture log;
  EXPECT_EQ(o->ConvertTransferSyntax("1.2.840.10008.1.2.1"), c.ok);
  EXPECT_TRUE(log.Has(c.line)) << log.Text();
  if (c.ok) {
    const std::vector<uint8_t> low = {0x11, 0x22};
    const Bytes pixels = PixelBytes(*o);
    ASSERT_EQ(pixels.size(), 4u);
    for (int k = 0; k < 2; ++k) {
      EXPECT_EQ(pixels[2 * k + 1], c.high[k]) << k;
      EXPECT_EQ(pixels[2 * k], c.cutSecondSegment || c.secondOffset ? 0 : low[k]) << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fragments, RleConversion,
    ::testing::Values(
        BrokenRle{
            "SecondSegmentTruncated", 2, 2, 0, true, {0xA1, 0xA2}, "ERROR, overflow decoding RLE"},
        BrokenRle{"SecondSegmentBeyondTheEnd",
                  2,
                  0,
                  0x7FFFFFFF,
                  true,
                  {0xA1, 0xA2},
                  "ERROR, overflow decoding RLE"},
        BrokenRle{"CountZero",
                  0,
                  0,
                  0,
                  false,
                  {},
                  "ERROR, format not supported: segment_count=0, bitsa=16, "
                  "PhotometricInterpretation=MONOCHROME2"},
        BrokenRle{"CountTooHigh",
                  16,
                  0,
                  0,
                  false,
                  {},
                  "ERROR, DcmObj::ConvertTransferSyntax, Exception on Decomp"},
        BrokenRle{"TableOnly", 2, 6, 0, true, {0, 0}, "ERROR, overflow decoding RLE"}),
    [](const auto& info) { return std::string(info.param.name); });
