// The JPEG 2000 frame adapters: round trips (checked by our decoder and by OpenJPEG's own
// opj_decompress), small images, padding, and broken codestreams.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "dicom/codec/J2kCodec.h"
#include "tests/dicom/codec/CodecTestSupport.h"

using namespace codec_test;

namespace {

struct J2kCase {
  const char* name;
  int width, height, components, precision;
  bool isSigned;
};

std::vector<uint8_t> EncodeOrFail(const std::vector<uint8_t>& s, int w, int h, int c, int prec,
                                  int rate, bool sgn) {
  uint8_t* out = nullptr;
  uint32_t len = 0;
  EXPECT_TRUE(CompressJ2k(s.data(), out, len, w, h, c, prec, rate, sgn));
  std::vector<uint8_t> stream(out, out + len);
  delete[] out;
  return stream;
}

// PGM/PPM as opj_decompress writes it: magic, comment lines, width, height, maximum, then
// big-endian samples above 8 bits.
std::vector<uint8_t> PnmSamples(const std::vector<uint8_t>& file, int bytesPerSample) {
  size_t pos = 0;
  int fields = 0;
  while (pos < file.size() && fields < 4) {
    while (pos < file.size() && isspace(file[pos])) ++pos;
    if (pos < file.size() && file[pos] == '#') {
      while (pos < file.size() && file[pos] != '\n') ++pos;
      continue;
    }
    while (pos < file.size() && !isspace(file[pos])) ++pos;
    ++fields;
  }
  ++pos;
  std::vector<uint8_t> out(file.begin() + std::min(pos, file.size()), file.end());
  if (bytesPerSample == 2)
    for (size_t i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
  return out;
}

class J2kRoundTrip : public ::testing::TestWithParam<J2kCase> {};

TEST_P(J2kRoundTrip, LosslessIsExactForUsAndForOpenJpegsTool) {
  const J2kCase& c = GetParam();
  const int bps = c.precision <= 8 ? 1 : 2;
  const std::vector<uint8_t> image =
      Pattern(static_cast<size_t>(c.width) * c.height * c.components, c.precision, bps);
  testing::internal::CaptureStderr();
  const std::vector<uint8_t> s =
      EncodeOrFail(image, c.width, c.height, c.components, c.precision, 0, c.isSigned);
  ASSERT_GE(s.size(), 2u);
  EXPECT_EQ(s[0], 0xFF);
  EXPECT_EQ(s[1], 0x4F);
  EXPECT_EQ(s.size() % 2, 0u);

  GuardedArea area(image.size());
  ASSERT_TRUE(
      DecompressJ2k(s.data(), area.data(), static_cast<uint32_t>(s.size()), area.size, bps));
  EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
  EXPECT_TRUE(area.GuardIntact());
  EXPECT_EQ(area.Area(), image);

  if (c.isSigned) return;  // PNM holds unsigned samples only
  ScratchDir dir;
  WriteBytes(dir.File("f.j2k"), s);
  const char* ext = c.components == 3 ? "ppm" : "pgm";
  const std::string decoded = dir.File(std::string("f.") + ext);
  ASSERT_TRUE(RunTool("opj_decompress -i " + dir.File("f.j2k") + " -o " + decoded));
  EXPECT_EQ(PnmSamples(ReadBytes(decoded), bps), image);
}

INSTANTIATE_TEST_SUITE_P(Layouts, J2kRoundTrip,
                         ::testing::Values(J2kCase{"Grey8", 64, 48, 1, 8, false},
                                           J2kCase{"Grey16", 40, 40, 1, 16, false},
                                           J2kCase{"Grey12", 35, 33, 1, 12, false},
                                           J2kCase{"Rgb8", 32, 32, 3, 8, false},
                                           J2kCase{"OnePixel", 1, 1, 1, 8, false},
                                           J2kCase{"Below32", 31, 31, 1, 16, false},
                                           J2kCase{"Narrow33x17", 33, 17, 1, 8, false},
                                           J2kCase{"Signed16", 20, 20, 1, 16, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(J2kEncoder, LossyRateShrinksTheStream) {
  const std::vector<uint8_t> image = Pattern(128 * 128, 16, 2);
  const std::vector<uint8_t> lossy = EncodeOrFail(image, 128, 128, 1, 16, 10, false);
  EXPECT_GT(image.size() / lossy.size(), 8u);
  const std::string text(lossy.begin(), lossy.end());
  EXPECT_NE(text.find("Created by OpenJPEG version 1.3"), std::string::npos);
}

// The coding style: layer-resolution-component-position order, one layer, no component
// transform (RGB stays RGB), five decomposition levels for a 64 x 64 image.
TEST(J2kEncoder, CodingStyleOfTheCodestream) {
  const std::vector<uint8_t> image = Pattern(64 * 64 * 3, 8, 1);
  const std::vector<uint8_t> s = EncodeOrFail(image, 64, 64, 3, 8, 0, false);
  size_t cod = 0;
  for (size_t i = 2; i + 1 < s.size(); ++i)
    if (s[i] == 0xFF && s[i + 1] == 0x52) {
      cod = i;
      break;
    }
  ASSERT_NE(cod, 0u);
  ASSERT_LT(cod + 10, s.size());
  EXPECT_EQ(s[cod + 5], 0);                      // progression LRCP
  EXPECT_EQ((s[cod + 6] << 8) | s[cod + 7], 1);  // layers
  EXPECT_EQ(s[cod + 8], 0);                      // multiple component transform
  EXPECT_EQ(s[cod + 9], 5);                      // decomposition levels
}

TEST(J2kEncoder, RefusesUnsupportedLayouts) {
  const std::vector<uint8_t> image(64, 1);
  uint8_t* out = nullptr;
  uint32_t len = 0;
  EXPECT_FALSE(CompressJ2k(image.data(), out, len, 4, 4, 2, 8, 0, false));
  EXPECT_FALSE(CompressJ2k(image.data(), out, len, 4, 4, 1, 17, 0, false));
  EXPECT_FALSE(CompressJ2k(image.data(), out, len, 4, 4, 1, 0, 0, false));
  EXPECT_FALSE(CompressJ2k(image.data(), out, len, 0, 4, 1, 8, 0, false));
  EXPECT_EQ(out, nullptr);
}

TEST(J2kDecoder, WritesThePrecisionAtTheRequestedWidth) {
  const std::vector<uint8_t> image = Pattern(12 * 12, 8, 1);
  const std::vector<uint8_t> s = EncodeOrFail(image, 12, 12, 1, 8, 0, false);
  GuardedArea area(image.size() * 2);
  ASSERT_TRUE(DecompressJ2k(s.data(), area.data(), static_cast<uint32_t>(s.size()), area.size, 2));
  for (size_t i = 0; i < image.size(); ++i) {
    EXPECT_EQ(area.bytes[2 * i], image[i]);
    EXPECT_EQ(area.bytes[2 * i + 1], 0);
  }
}

struct J2kBroken {
  const char* name;
  size_t keepFromEnd;  // bytes cut from the end
  bool dropSoc;
  size_t capacityShort;  // bytes missing from the area
};

class J2kBrokenStream : public ::testing::TestWithParam<J2kBroken> {};

TEST_P(J2kBrokenStream, FailsAndLeavesTheAreaUntouched) {
  const J2kBroken& c = GetParam();
  const std::vector<uint8_t> image = Pattern(40 * 40, 16, 2);
  std::vector<uint8_t> s = EncodeOrFail(image, 40, 40, 1, 16, 0, false);
  if (c.dropSoc) s[1] = 0x00;
  const size_t keep = c.keepFromEnd == 0          ? s.size()
                      : c.keepFromEnd >= s.size() ? s.size() / 2
                                                  : s.size() - c.keepFromEnd;
  std::unique_ptr<uint8_t[]> cut(new uint8_t[keep]);
  std::memcpy(cut.get(), s.data(), keep);
  GuardedArea area(image.size() - c.capacityShort);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(DecompressJ2k(cut.get(), area.data(), static_cast<uint32_t>(keep), area.size, 2));
  EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
  EXPECT_TRUE(area.AreaUntouched());
  EXPECT_TRUE(area.GuardIntact());
}

INSTANTIATE_TEST_SUITE_P(Streams, J2kBrokenStream,
                         ::testing::Values(J2kBroken{"NoSoc", 0, true, 0},
                                           J2kBroken{"Half", 1u << 30, false, 0},
                                           J2kBroken{"LacksOnlyEoc", 2, false, 0},
                                           J2kBroken{"AreaTooSmall", 0, false, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(J2kDecoder, GarbageIsRefused) {
  const std::vector<uint8_t> garbage = Pattern(300, 8, 1, 5);
  GuardedArea area(300);
  EXPECT_FALSE(DecompressJ2k(garbage.data(), area.data(), 300, area.size, 1));
  EXPECT_TRUE(area.AreaUntouched());
}

TEST(J2kHelpers, CeilDivPow2) {
  EXPECT_EQ(CeilDivPow2(0, 0), 0);
  EXPECT_EQ(CeilDivPow2(5, 0), 5);
  EXPECT_EQ(CeilDivPow2(5, 1), 3);
  EXPECT_EQ(CeilDivPow2(8, 2), 2);
  EXPECT_EQ(CeilDivPow2(9, 2), 3);
}

}  // namespace
