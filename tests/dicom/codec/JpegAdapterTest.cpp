// The JPEG frame adapters: round trips per build, the lossless colour stream without colour
// markers, size limits, and broken streams. Encoders' output is also checked by dcmtk in the
// conversion tests.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "dicom/codec/JpegCodec.h"
#include "tests/dicom/codec/CodecTestSupport.h"

using namespace codec_test;

namespace {

enum class Build { J8Baseline, J8Lossless, J12, J16 };

struct JpegCase {
  const char* name;
  Build build;
  int width, height, components, bits;
  int tolerance;  // largest difference allowed after the round trip
};

int BytesPerSample(Build b) { return b == Build::J8Baseline || b == Build::J8Lossless ? 1 : 2; }

int Encode(Build b, int w, int h, int c, const uint8_t* s, uint8_t*& out, uint32_t& len) {
  switch (b) {
    case Build::J8Baseline:
      return CompressJpeg8(w, h, c, s, out, len, 0);
    case Build::J8Lossless:
      return CompressJpeg8(w, h, c, s, out, len, 4);
    case Build::J12:
      return CompressJpeg12(w, h, c, s, out, len);
    case Build::J16:
      return CompressJpeg16(w, h, c, s, out, len);
  }
  return -1;
}

int Decode(Build b, const uint8_t* in, uint32_t len, uint8_t* dst, size_t cap, int bps) {
  switch (b) {
    case Build::J8Baseline:
    case Build::J8Lossless:
      return DecompressJpeg8(in, dst, len, cap, bps);
    case Build::J12:
      return DecompressJpeg12(in, dst, len, cap, bps);
    case Build::J16:
      return DecompressJpeg16(in, dst, len, cap, bps);
  }
  return -1;
}

std::vector<uint8_t> EncodeOrFail(Build b, int w, int h, int c, const std::vector<uint8_t>& s) {
  uint8_t* out = nullptr;
  uint32_t len = 0;
  EXPECT_EQ(Encode(b, w, h, c, s.data(), out, len), 0);
  std::vector<uint8_t> stream(out, out + len);
  delete[] out;
  return stream;
}

class JpegRoundTrip : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegRoundTrip, DecodesWithinTolerance) {
  const JpegCase& c = GetParam();
  const int bps = BytesPerSample(c.build);
  const size_t samples = static_cast<size_t>(c.width) * c.height * c.components;
  const std::vector<uint8_t> image = Pattern(samples, c.bits, bps);
  testing::internal::CaptureStderr();
  const std::vector<uint8_t> stream = EncodeOrFail(c.build, c.width, c.height, c.components, image);
  ASSERT_GE(stream.size(), 4u);
  EXPECT_EQ(stream[0], 0xFF);
  EXPECT_EQ(stream[1], 0xD8);
  EXPECT_EQ(stream[stream.size() - 2], 0xFF);
  EXPECT_EQ(stream[stream.size() - 1], 0xD9);  // a complete stream, even across 16 KiB blocks

  GuardedArea area(image.size());
  ASSERT_EQ(Decode(c.build, stream.data(), static_cast<uint32_t>(stream.size()), area.data(),
                   area.size, bps),
            0);
  EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
  EXPECT_TRUE(area.GuardIntact());
  const int diff = bps == 1 ? MaxAbsDiff8(area.Area(), image) : MaxAbsDiff16(area.Area(), image);
  EXPECT_LE(diff, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Builds, JpegRoundTrip,
    ::testing::Values(JpegCase{"Lossless8Grey", Build::J8Lossless, 33, 17, 1, 8, 0},
                      JpegCase{"Lossless8Rgb", Build::J8Lossless, 31, 9, 3, 8, 0},
                      JpegCase{"Lossless8OnePixel", Build::J8Lossless, 1, 1, 1, 8, 0},
                      JpegCase{"Lossless16Grey", Build::J16, 64, 40, 1, 16, 0},
                      JpegCase{"Lossless16TwelveBits", Build::J16, 37, 5, 1, 12, 0},
                      JpegCase{"Lossless16OnePixel", Build::J16, 1, 1, 1, 16, 0},
                      JpegCase{"Lossless16Large", Build::J16, 256, 256, 1, 16, 0},
                      JpegCase{"Baseline8Grey", Build::J8Baseline, 64, 48, 1, 8, 16},
                      JpegCase{"Baseline8Rgb", Build::J8Baseline, 40, 24, 3, 8, 40},
                      JpegCase{"Baseline8OnePixel", Build::J8Baseline, 1, 1, 1, 8, 8},
                      JpegCase{"Extended12Grey", Build::J12, 64, 48, 1, 12, 64},
                      JpegCase{"Extended12OnePixel", Build::J12, 1, 1, 1, 12, 32}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JpegEncoder, RefusesUnknownModesAndShapes) {
  const std::vector<uint8_t> image(16, 100);
  uint8_t* out = reinterpret_cast<uint8_t*>(0x1);
  uint32_t len = 1234;
  EXPECT_EQ(CompressJpeg8(4, 4, 1, image.data(), out, len, 2), -1);
  EXPECT_EQ(out, reinterpret_cast<uint8_t*>(0x1));  // nothing set
  EXPECT_EQ(len, 1234u);
  EXPECT_EQ(CompressJpeg8(0, 4, 1, image.data(), out, len, 0), -1);
  EXPECT_EQ(CompressJpeg16(4, 4, 2, image.data(), out, len), -1);
}

TEST(JpegEncoder, WidthBeyondTheLibraryLimitFails) {
  const std::vector<uint8_t> row(70000 * 2, 0);
  uint8_t* out = nullptr;
  uint32_t len = 0;
  testing::internal::CaptureStderr();
  EXPECT_EQ(CompressJpeg16(70000, 1, 1, row.data(), out, len), -1);
  EXPECT_EQ(CompressJpeg8(70000, 1, 1, row.data(), out, len, 0), -1);
  EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
  EXPECT_EQ(out, nullptr);
}

// The 8-bit build delivers a lossless three-component stream without JFIF or Adobe markers as
// stored, although the library would guess YCbCr from component IDs 1, 2, 3.
TEST(JpegDecoder, LosslessColourWithoutMarkersIsNotConverted) {
  const std::vector<uint8_t> pixel = {250, 10, 128, 0, 255, 3};
  std::vector<uint8_t> s = EncodeOrFail(Build::J8Lossless, 2, 1, 3, pixel);
  // Drop the Adobe segment and renumber the components R, G, B as 1, 2, 3.
  for (size_t i = 2; i + 4 < s.size();) {
    ASSERT_EQ(s[i], 0xFF);
    const uint8_t marker = s[i + 1];
    const size_t len = (s[i + 2] << 8) | s[i + 3];
    if (marker == 0xEE) {
      s.erase(s.begin() + i, s.begin() + i + 2 + len);
      continue;
    }
    if (marker == 0xC3)
      for (int k = 0; k < 3; ++k) s[i + 10 + 3 * k] = static_cast<uint8_t>(k + 1);
    if (marker == 0xDA) {
      for (int k = 0; k < 3; ++k) s[i + 5 + 2 * k] = static_cast<uint8_t>(k + 1);
      break;
    }
    i += 2 + len;
  }
  GuardedArea area(pixel.size());
  ASSERT_EQ(DecompressJpeg8(s.data(), area.data(), static_cast<uint32_t>(s.size()), area.size, 1),
            0);
  EXPECT_EQ(area.Area(), pixel);
}

// Removes the segments with the given marker from a stream's header.
std::vector<uint8_t> WithoutSegment(std::vector<uint8_t> s, uint8_t dropped) {
  for (size_t i = 2; i + 4 < s.size();) {
    const uint8_t marker = s[i + 1];
    if (marker == 0xDA) break;
    const size_t len = (s[i + 2] << 8) | s[i + 3];
    if (marker == dropped)
      s.erase(s.begin() + i, s.begin() + i + 2 + len);
    else
      i += 2 + len;
  }
  return s;
}

// A baseline colour stream is YCbCr inside. Without a JFIF marker the library only guesses so,
// and a data set labelled RGB overrules the guess; a JFIF marker is never overruled.
TEST(JpegDecoder, RgbLabelDecidesOnlyWhereTheStreamIsSilent) {
  std::vector<uint8_t> image(16 * 8 * 3);
  for (size_t i = 0; i < image.size(); i += 3) {
    image[i] = 200;
    image[i + 1] = 40;
    image[i + 2] = 90;
  }
  const std::vector<uint8_t> jfif = EncodeOrFail(Build::J8Baseline, 16, 8, 3, image);
  const std::vector<uint8_t> silent = WithoutSegment(jfif, 0xE0);
  ASSERT_LT(silent.size(), jfif.size());
  struct Case {
    const std::vector<uint8_t>* stream;
    bool labelledRgb;
    bool converted;
  };
  for (const Case& c : {Case{&jfif, false, true}, Case{&jfif, true, true},
                        Case{&silent, false, true}, Case{&silent, true, false}}) {
    GuardedArea area(image.size());
    ASSERT_EQ(DecompressJpeg8(c.stream->data(), area.data(),
                              static_cast<uint32_t>(c.stream->size()), area.size, 1, c.labelledRgb),
              0);
    const int diff = MaxAbsDiff8(area.Area(), image);
    if (c.converted) {
      EXPECT_LE(diff, 4) << c.labelledRgb;
    } else {
      // Y, Cb, Cr of (200, 40, 90) as stored: about (94, 126, 204).
      EXPECT_NEAR(area.bytes[0], 94, 3);
      EXPECT_NEAR(area.bytes[1], 126, 3);
      EXPECT_NEAR(area.bytes[2], 204, 3);
    }
  }
}

struct BrokenCase {
  const char* name;
  size_t keep;    // bytes kept from the front; 0 keeps all
  size_t flipAt;  // byte overwritten with garbage (0: none)
};

class JpegBrokenStream : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(JpegBrokenStream, FailsWithoutWritingPastTheArea) {
  const std::vector<uint8_t> image = Pattern(48 * 32, 16, 2);
  std::vector<uint8_t> s = EncodeOrFail(Build::J16, 48, 32, 1, image);
  const BrokenCase& c = GetParam();
  if (c.flipAt) std::memset(s.data() + c.flipAt, 0x00, std::min<size_t>(8, s.size() - c.flipAt));
  const size_t keep = c.keep ? std::min(c.keep, s.size()) : s.size();
  // The kept bytes live in their own block, so reading past them would be caught.
  std::unique_ptr<uint8_t[]> cut(new uint8_t[keep]);
  std::memcpy(cut.get(), s.data(), keep);
  GuardedArea area(image.size());
  testing::internal::CaptureStderr();
  EXPECT_EQ(DecompressJpeg16(cut.get(), area.data(), static_cast<uint32_t>(keep), area.size, 2),
            -1);
  EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
  EXPECT_TRUE(area.GuardIntact());
}

INSTANTIATE_TEST_SUITE_P(Streams, JpegBrokenStream,
                         ::testing::Values(BrokenCase{"HeaderOnly", 20, 0},
                                           BrokenCase{"HalfEntropyData", 600, 0},
                                           BrokenCase{"GarbageOverStartOfImage", 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JpegDecoder, LacksOnlyEoiIsTruncated) {
  const std::vector<uint8_t> image = Pattern(8 * 8, 8, 1);
  std::vector<uint8_t> s = EncodeOrFail(Build::J8Lossless, 8, 8, 1, image);
  s.resize(s.size() - 2);
  GuardedArea area(image.size());
  EXPECT_EQ(DecompressJpeg8(s.data(), area.data(), static_cast<uint32_t>(s.size()), area.size, 1),
            -1);
}

TEST(JpegDecoder, GarbageIsRefused) {
  const std::vector<uint8_t> garbage = Pattern(500, 8, 1, 99);
  GuardedArea area(1000);
  testing::internal::CaptureStderr();
  EXPECT_EQ(DecompressJpeg8(garbage.data(), area.data(), 500, area.size, 1), -1);
  EXPECT_EQ(DecompressJpeg12(garbage.data(), area.data(), 500, area.size, 2), -1);
  EXPECT_EQ(DecompressJpeg16(garbage.data(), area.data(), 500, area.size, 2), -1);
  EXPECT_EQ(DecompressJpeg8(garbage.data(), area.data(), 0, area.size, 1), -1);
  EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
  EXPECT_TRUE(area.AreaUntouched());
}

TEST(JpegDecoder, StreamLargerThanTheAreaIsRefusedUntouched) {
  const std::vector<uint8_t> image = Pattern(20 * 10, 16, 2);
  const std::vector<uint8_t> s = EncodeOrFail(Build::J16, 20, 10, 1, image);
  GuardedArea area(image.size() - 2);
  EXPECT_EQ(DecompressJpeg16(s.data(), area.data(), static_cast<uint32_t>(s.size()), area.size, 2),
            -1);
  EXPECT_TRUE(area.AreaUntouched());
  EXPECT_TRUE(area.GuardIntact());
}

// Lossy decoders need their own precision: a 12-bit extended stream is refused by the 8- and
// 16-bit builds, and the 12-bit build refuses 8-bit baseline.
TEST(JpegDecoder, LossyStreamsNeedTheirOwnBuild) {
  const std::vector<uint8_t> twelve = Pattern(16 * 16, 12, 2);
  const std::vector<uint8_t> s12 = EncodeOrFail(Build::J12, 16, 16, 1, twelve);
  const std::vector<uint8_t> eight = Pattern(16 * 16, 8, 1);
  const std::vector<uint8_t> s8 = EncodeOrFail(Build::J8Baseline, 16, 16, 1, eight);
  GuardedArea area(16 * 16 * 2);
  testing::internal::CaptureStderr();
  EXPECT_EQ(
      DecompressJpeg8(s12.data(), area.data(), static_cast<uint32_t>(s12.size()), area.size, 2),
      -1);
  EXPECT_EQ(
      DecompressJpeg16(s12.data(), area.data(), static_cast<uint32_t>(s12.size()), area.size, 2),
      -1);
  EXPECT_EQ(
      DecompressJpeg12(s8.data(), area.data(), static_cast<uint32_t>(s8.size()), area.size, 2), -1);
  EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
}

// Samples outside 12 bits are no error for the 12-bit coder: flat blocks of them come back
// clamped.
TEST(JpegEncoder, TwelveBitInputOutOfRangeIsClamped) {
  std::vector<uint8_t> image;
  for (int i = 0; i < 16 * 8; ++i) {
    const int v = i % 16 < 8 ? -1000 : 5000;  // one 8 x 8 block of each
    image.push_back(static_cast<uint8_t>(v & 0xFF));
    image.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  }
  const std::vector<uint8_t> s = EncodeOrFail(Build::J12, 16, 8, 1, image);
  GuardedArea area(image.size());
  ASSERT_EQ(DecompressJpeg12(s.data(), area.data(), static_cast<uint32_t>(s.size()), area.size, 2),
            0);
  for (size_t i = 0; i < 16 * 8; ++i) {
    const int v = area.bytes[2 * i] | (area.bytes[2 * i + 1] << 8);
    EXPECT_EQ(v, i % 16 < 8 ? 0 : 4095) << i;
  }
}

// Lossless decoders take any precision up to their own; the 8-bit build takes a 16-bit lossless
// stream too (scaling it down), silently.
TEST(JpegDecoder, EightBitBuildDownscalesALosslessSixteenBitStream) {
  const std::vector<uint8_t> image = Pattern(8 * 8, 16, 2);
  const std::vector<uint8_t> s = EncodeOrFail(Build::J16, 8, 8, 1, image);
  GuardedArea area(8 * 8);
  testing::internal::CaptureStderr();
  EXPECT_EQ(DecompressJpeg8(s.data(), area.data(), static_cast<uint32_t>(s.size()), area.size, 1),
            0);
  EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
  EXPECT_TRUE(area.GuardIntact());
}

// A P=8 lossless stream decoded into 2-byte samples (8 bits stored in 16 allocated).
TEST(JpegDecoder, WritesTheRequestedSampleWidth) {
  const std::vector<uint8_t> eight = Pattern(10 * 3, 8, 1);
  const std::vector<uint8_t> s = EncodeOrFail(Build::J8Lossless, 10, 3, 1, eight);
  GuardedArea area(eight.size() * 2);
  ASSERT_EQ(DecompressJpeg16(s.data(), area.data(), static_cast<uint32_t>(s.size()), area.size, 2),
            0);
  for (size_t i = 0; i < eight.size(); ++i) {
    EXPECT_EQ(area.bytes[2 * i], eight[i]);
    EXPECT_EQ(area.bytes[2 * i + 1], 0);
  }
}

}  // namespace
