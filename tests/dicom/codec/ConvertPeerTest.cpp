// Conversion against independent peers: images encoded by dcmtk or pydicom and pydicom's sample
// files decode to the pixels dcmtk (or pydicom) decodes, and what our encoders write decodes in
// dcmtk (JPEG) and pydicom with Pillow (JPEG 2000) to the original pixels. dciodvfy checks that
// every converted object is no less valid than the one it came from.
#include <gtest/gtest.h>

#include "dicom/DcmObj.h"
#include "tests/dicom/codec/ConvertTestSupport.h"

using namespace codec_test;

namespace {

const std::string kExplicitLE = "1.2.840.10008.1.2.1";
const std::string kTestFiles = PYDICOM_TEST_FILES;

// A peer command; "py:" names one of the test scripts.
std::string Command(const std::string& command) {
  if (command.rfind("py:", 0) == 0) return "/usr/bin/python3 " + kScripts + command.substr(3);
  return command;
}

// Writes the converted object and expects dciodvfy to find nothing new in it.
void ExpectNoNewValidatorErrors(const ScratchDir& dir, DcmObj& converted,
                                const std::string& source) {
  const std::string written = dir.File("converted.dcm");
  ASSERT_TRUE(converted.Write(written));
  const std::vector<std::string> added = NewValidatorErrors(dir, source, written);
  EXPECT_TRUE(added.empty()) << Joined(added);
}

struct DecodeCase {
  const char* name;
  const char* native;   // make_native.py arguments
  const char* encoder;  // peer command that encodes IN OUT
  const char* decoder;  // dcmtk command that decodes IN OUT
  int bytesPerSample;
  int tolerance;
};

class DecodeDcmtkEncoded : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeDcmtkEncoded, MatchesDcmtksDecoding) {
  const DecodeCase& c = GetParam();
  ScratchDir dir;
  const std::string native = MakeNative(dir, "native.dcm", c.native);
  const std::string encoded = dir.File("encoded.dcm"), reference = dir.File("reference.dcm");
  ASSERT_TRUE(RunTool(Command(c.encoder) + " " + native + " " + encoded));
  ASSERT_TRUE(RunTool(std::string(c.decoder) + " " + encoded + " " + reference));
  auto ours = Load(encoded);
  ASSERT_TRUE(ours->ConvertTransferSyntax(kExplicitLE));
  EXPECT_EQ(ours->transferSyntax, kExplicitLE);
  EXPECT_EQ(FindTop(*ours, 0x7FE0, 0x0010)->VR(), c.bytesPerSample == 1 ? "OB" : "OW");
  // dcmdrle keeps colour planes apart when the data set says so; pydicom then interleaves them.
  auto decoded = Load(reference);
  const DcmTag* planar = FindTop(*decoded, 0x0028, 0x0006);
  const std::vector<uint8_t> expected =
      planar && planar->GetUShort() == 1 ? PydicomPixels(dir, reference) : PixelBytes(*decoded);
  Compare(PixelBytes(*ours), expected, c.bytesPerSample, c.tolerance);
  ExpectNoNewValidatorErrors(dir, *ours, encoded);
}

// rows cols bitsAllocated bitsStored samples frames signed PI planar
INSTANTIATE_TEST_SUITE_P(
    Peers, DecodeDcmtkEncoded,
    ::testing::Values(
        DecodeCase{"Grey8LosslessSV1", "17 33 8 8 1 1 0 MONOCHROME2 0", "dcmcjpeg +e1", "dcmdjpeg",
                   1, 0},
        DecodeCase{"Grey8Lossless", "16 16 8 8 1 1 0 MONOCHROME2 0", "dcmcjpeg +el", "dcmdjpeg", 1,
                   0},
        DecodeCase{"Grey16LosslessSV1", "20 31 16 16 1 1 0 MONOCHROME2 0", "dcmcjpeg +e1",
                   "dcmdjpeg", 2, 0},
        DecodeCase{"Grey12in16Lossless3Frames", "9 11 16 12 1 3 0 MONOCHROME2 0", "dcmcjpeg +e1",
                   "dcmdjpeg", 2, 0},
        DecodeCase{"Grey16SignedLossless", "12 12 16 16 1 1 1 MONOCHROME2 0", "dcmcjpeg +e1",
                   "dcmdjpeg", 2, 0},
        DecodeCase{"Rgb8LosslessSV1", "13 15 8 8 3 1 0 RGB 0", "dcmcjpeg +e1", "dcmdjpeg", 1, 0},
        DecodeCase{"OnePixelLossless", "1 1 16 16 1 1 0 MONOCHROME2 0", "dcmcjpeg +e1", "dcmdjpeg",
                   2, 0},
        DecodeCase{"Grey8Baseline", "32 40 8 8 1 1 0 MONOCHROME2 0", "dcmcjpeg +eb", "dcmdjpeg", 1,
                   1},
        DecodeCase{"Rgb8Baseline", "24 24 8 8 3 1 0 RGB 0", "dcmcjpeg +eb", "dcmdjpeg +px", 1, 1},
        DecodeCase{"Grey12Extended", "32 32 16 12 1 1 0 MONOCHROME2 0", "dcmcjpeg +ee", "dcmdjpeg",
                   2, 1},
        DecodeCase{"Grey8ExtendedIsDecodedAtItsPrecision", "16 24 8 8 1 1 0 MONOCHROME2 0",
                   "dcmcjpeg +ee", "dcmdjpeg", 1, 1},
        DecodeCase{"Grey8Rle", "7 9 8 8 1 1 0 MONOCHROME2 0", "dcmcrle", "dcmdrle", 1, 0},
        DecodeCase{"Grey16Rle3Frames", "5 7 16 12 1 3 0 MONOCHROME2 0", "dcmcrle", "dcmdrle", 2, 0},
        DecodeCase{"Rgb8Rle", "6 5 8 8 3 1 0 RGB 0", "dcmcrle", "dcmdrle", 1, 0},
        DecodeCase{"Rgb16Rle", "4 6 16 16 3 1 0 RGB 0", "dcmcrle", "dcmdrle", 2, 0},
        DecodeCase{"OnePixelRle", "1 1 8 8 1 1 0 MONOCHROME2 0", "dcmcrle", "dcmdrle", 1, 0},
        // pydicom's own RLE encoder: a second, independent segment writer.
        DecodeCase{"Grey8PydicomRle", "7 9 8 8 1 1 0 MONOCHROME2 0", "py:rle_encode.py", "dcmdrle",
                   1, 0},
        DecodeCase{"Grey16PydicomRle3Frames", "5 7 16 12 1 3 0 MONOCHROME2 0", "py:rle_encode.py",
                   "dcmdrle", 2, 0},
        DecodeCase{"SignedGrey16PydicomRle", "6 5 16 16 1 1 1 MONOCHROME2 0", "py:rle_encode.py",
                   "dcmdrle", 2, 0},
        DecodeCase{"Rgb8PydicomRle2Frames", "6 5 8 8 3 2 0 RGB 0", "py:rle_encode.py", "dcmdrle", 1,
                   0},
        DecodeCase{"Rgb16PydicomRle", "4 6 16 16 3 1 0 RGB 0", "py:rle_encode.py", "dcmdrle", 2, 0},
        DecodeCase{"OnePixelPydicomRle", "1 1 16 16 1 1 0 MONOCHROME2 0", "py:rle_encode.py",
                   "dcmdrle", 2, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct SampleFileCase {
  const char* name;
  const char* file;
  const char* reference;  // dcmtk decoder command, or "pydicom"
  int bytesPerSample;
  int tolerance;
};

class DecodeSampleFiles : public ::testing::TestWithParam<SampleFileCase> {};

TEST_P(DecodeSampleFiles, MatchesTheIndependentDecoder) {
  const SampleFileCase& c = GetParam();
  ScratchDir dir;
  const std::string source = kTestFiles + "/" + c.file;
  std::vector<uint8_t> reference;
  if (std::string(c.reference) == "pydicom") {
    reference = PydicomPixels(dir, source);
  } else {
    ASSERT_TRUE(RunTool(std::string(c.reference) + " " + source + " " + dir.File("ref.dcm")));
    reference = PixelBytes(*Load(dir.File("ref.dcm")));
  }
  auto ours = Load(source);
  ASSERT_TRUE(ours->ConvertTransferSyntax(kExplicitLE));
  Compare(PixelBytes(*ours), reference, c.bytesPerSample, c.tolerance);
  ExpectNoNewValidatorErrors(dir, *ours, source);
}

INSTANTIATE_TEST_SUITE_P(
    PydicomFiles, DecodeSampleFiles,
    ::testing::Values(
        SampleFileCase{"MrRle", "MR_small_RLE.dcm", "dcmdrle", 2, 0},
        SampleFileCase{"RgbRle", "SC_rgb_rle.dcm", "dcmdrle", 1, 0},
        SampleFileCase{"RgbRle2Frames", "SC_rgb_rle_2frame.dcm", "dcmdrle", 1, 0},
        SampleFileCase{"Rgb16Rle", "SC_rgb_rle_16bit.dcm", "dcmdrle", 2, 0},
        SampleFileCase{"Rgb16Rle2Frames", "SC_rgb_rle_16bit_2frame.dcm", "dcmdrle", 2, 0},
        SampleFileCase{"Rgb32Rle", "SC_rgb_rle_32bit.dcm", "dcmdrle", 1, 0},
        SampleFileCase{"DoseRle15Frames", "rtdose_rle.dcm", "dcmdrle", 1, 0},
        SampleFileCase{"Extended12", "JPEG-lossy.dcm", "dcmdjpeg", 2, 1},
        SampleFileCase{"Extended12Other", "JPGExtended.dcm", "dcmdjpeg", 2, 1},
        SampleFileCase{"BaselineYbr", "SC_rgb_jpeg_dcmtk.dcm", "dcmdjpeg +px", 1, 1},
        SampleFileCase{"BaselineOdd", "SC_rgb_small_odd_jpeg.dcm", "dcmdjpeg +px", 1, 1},
        SampleFileCase{"J2kLossless", "MR_small_jp2klossless.dcm", "pydicom", 2, 0},
        SampleFileCase{"J2kLossy", "JPEG2000.dcm", "pydicom", 2, 0},
        SampleFileCase{"J2kIrreversible", "693_J2KI.dcm", "pydicom", 2, 0},
        SampleFileCase{"Rgb32Rle2Frames", "SC_rgb_rle_32bit_2frame.dcm", "dcmdrle", 1, 0},
        SampleFileCase{"DoseRle1Frame", "rtdose_rle_1frame.dcm", "dcmdrle", 1, 0},
        SampleFileCase{"RgbLosslessGdcm", "SC_rgb_jpeg_gdcm.dcm", "dcmdjpeg +px", 1, 0},
        SampleFileCase{"BaselineYbr422", "SC_rgb_dcmtk_+eb+cy+np.dcm", "dcmdjpeg +px", 1, 1},
        SampleFileCase{"BaselineYbr422Sub", "SC_rgb_dcmtk_+eb+cy+s2.dcm", "dcmdjpeg +px", 1, 1},
        SampleFileCase{"BaselineYbrFull", "SC_rgb_dcmtk_+eb+cy+s4.dcm", "dcmdjpeg +px", 1, 1},
        SampleFileCase{"BaselineYbrFullN1", "SC_rgb_dcmtk_+eb+cy+n1.dcm", "dcmdjpeg +px", 1, 1},
        SampleFileCase{"BaselineYbrFullN2", "SC_rgb_dcmtk_+eb+cy+n2.dcm", "dcmdjpeg +px", 1, 1},
        SampleFileCase{"BaselineRgb", "SC_rgb_dcmtk_+eb+cr.dcm", "dcmdjpeg +px", 1, 1},
        SampleFileCase{"BaselineRgbAdobe", "SC_rgb_jpeg_app14_dcmd.dcm", "dcmdjpeg +px", 1, 1},
        SampleFileCase{"BaselineDcmd", "SC_rgb_jpeg_dcmd.dcm", "dcmdjpeg +px", 1, 1},
        // RGB samples in a stream without JFIF or Adobe marker: the data set's label decides,
        // not the library's YCbCr guess (component IDs 0, 1, 2 here; 1, 2, 3 with subsampling in
        // the other).
        SampleFileCase{"BaselineNoColourTransform", "SC_jpeg_no_color_transform.dcm",
                       "dcmdjpeg +px", 1, 1},
        SampleFileCase{"BaselineNoColourTransformAdobe", "SC_jpeg_no_color_transform_2.dcm",
                       "dcmdjpeg +px", 1, 1},
        SampleFileCase{"BaselineLabelledRgbWithoutMarkers", "SC_rgb_jpeg_lossy_gdcm.dcm",
                       "dcmdjpeg +px", 1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct EncodeCase {
  const char* name;
  const char* native;
  const char* target;
  const char* reference;  // "dcmdjpeg" or "pydicom"
  int bytesPerSample;
  int tolerance;         // largest difference allowed
  double meanLimit = 0;  // > 0: the mean difference is held to this instead
};

class EncodeForPeers : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeForPeers, PeerDecodesTheOriginalPixels) {
  const EncodeCase& c = GetParam();
  ScratchDir dir;
  const std::string native = MakeNative(dir, "native.dcm", c.native);
  const std::vector<uint8_t> original = PixelBytes(*Load(native));
  auto obj = Load(native);
  ASSERT_TRUE(obj->ConvertTransferSyntax(c.target));
  ASSERT_TRUE(obj->Write(dir.File("ours.dcm")));
  std::vector<uint8_t> decoded;
  if (std::string(c.reference) == "pydicom") {
    decoded = PydicomPixels(dir, dir.File("ours.dcm"));
  } else {
    ASSERT_TRUE(
        RunTool(std::string(c.reference) + " " + dir.File("ours.dcm") + " " + dir.File("ref.dcm")));
    decoded = PixelBytes(*Load(dir.File("ref.dcm")));
  }
  if (c.meanLimit > 0) {
    ASSERT_EQ(decoded.size() / 2, original.size() / 2);
    EXPECT_LE(MeanAbsDiff(decoded, original, c.bytesPerSample), c.meanLimit);
  } else {
    Compare(decoded, original, c.bytesPerSample, c.tolerance);
  }
  ExpectNoNewValidatorErrors(dir, *obj, native);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, EncodeForPeers,
    ::testing::Values(EncodeCase{"Grey8Lossless", "17 33 8 8 1 1 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.70", "dcmdjpeg", 1, 0},
                      EncodeCase{"Grey16Lossless", "20 31 16 16 1 1 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.70", "dcmdjpeg", 2, 0},
                      EncodeCase{"Grey12in16Lossless3Frames", "9 11 16 12 1 3 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.70", "dcmdjpeg", 2, 0},
                      EncodeCase{"SignedLosslessKeepsValues", "12 12 16 16 1 1 1 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.70", "dcmdjpeg", 2, 0},
                      EncodeCase{"Rgb8Lossless", "13 15 8 8 3 1 0 RGB 0", "1.2.840.10008.1.2.4.70",
                                 "dcmdjpeg", 1, 0},
                      EncodeCase{"OnePixelLossless", "1 1 8 8 1 1 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.70", "dcmdjpeg", 1, 0},
                      EncodeCase{"Grey8Baseline", "32 40 8 8 1 1 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.50", "dcmdjpeg", 1, 12},
                      EncodeCase{"Grey12Extended", "32 32 16 12 1 1 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.51", "dcmdjpeg", 2, 25},
                      EncodeCase{"Grey16J2kLossless", "20 31 16 16 1 1 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.90", "pydicom", 2, 0},
                      EncodeCase{"SignedJ2kLosslessKeepsValues", "12 12 16 16 1 1 1 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.90", "pydicom", 2, 0},
                      EncodeCase{"Grey8J2kLossless3Frames", "9 11 8 8 1 3 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.90", "pydicom", 1, 0},
                      EncodeCase{"Rgb8J2kLossless", "13 15 8 8 3 1 0 RGB 0",
                                 "1.2.840.10008.1.2.4.90", "pydicom", 1, 0},
                      // The ramp's wrap-arounds are sharp edges: the lossy coders ring there.
                      EncodeCase{"Rgb8Baseline", "24 32 8 8 3 1 0 RGB 0", "1.2.840.10008.1.2.4.50",
                                 "dcmdjpeg +px", 1, 48},
                      EncodeCase{"Grey8Baseline3Frames", "16 16 8 8 1 3 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.50", "dcmdjpeg", 1, 12},
                      EncodeCase{"Grey8J2kLossy", "64 64 8 8 1 1 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.91", "pydicom", 1, 0, 10.0},
                      EncodeCase{"Grey16J2kLossy", "64 64 16 16 1 1 0 MONOCHROME2 0",
                                 "1.2.840.10008.1.2.4.91", "pydicom", 2, 0, 64.0},
                      EncodeCase{"Rgb8J2kLossy", "64 64 8 8 3 1 0 RGB 0", "1.2.840.10008.1.2.4.91",
                                 "pydicom", 1, 0, 10.0}),
    [](const auto& info) { return std::string(info.param.name); });

// OpenJPEG's own encoder with its reversible colour transform (YBR_RCT): the decoder undoes the
// transform, so the samples come out as the RGB they were and are labelled so.
TEST(DecodeJ2kColour, ComponentTransformComesBackAsRgb) {
  ScratchDir dir;
  const int w = 24, h = 16;
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<uint8_t>(x * 10);
      p[1] = static_cast<uint8_t>(y * 15);
      p[2] = static_cast<uint8_t>((x + y) * 7);
    }
  const std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  std::vector<uint8_t> ppm(header.begin(), header.end());
  ppm.insert(ppm.end(), rgb.begin(), rgb.end());
  WriteBytes(dir.File("in.ppm"), ppm);
  ASSERT_TRUE(RunTool("opj_compress -i " + dir.File("in.ppm") + " -o " + dir.File("out.j2k") +
                      " -mct 1 -n 4"));
  ImageSpec s;
  s.rows = h;
  s.columns = w;
  s.bitsAllocated = s.bitsStored = 8;
  s.pi = "YBR_RCT";
  auto obj = MakeImage(s, "1.2.840.10008.1.2.4.90");
  AddEncapsulated(*obj, {ReadBytes(dir.File("out.j2k"))});
  ASSERT_TRUE(obj->ConvertTransferSyntax(kExplicitLE));
  EXPECT_EQ(PixelBytes(*obj), rgb);
  EXPECT_EQ(obj->GetString(0x0028, 0x0004), "RGB");
}

// A codestream that calls its 13-bit samples unsigned in a data set that calls them signed: the
// stored bits come out as they are coded, and read as the data set says (13 bits, two's
// complement) they are the values pydicom finds.
TEST(DecodeSampleFiles, SignMismatchKeepsTheStoredBits) {
  ScratchDir dir;
  const std::string source = kTestFiles + "/J2K_pixelrep_mismatch.dcm";
  const std::vector<uint8_t> reference = PydicomPixels(dir, source);
  auto ours = Load(source);
  ASSERT_TRUE(ours->ConvertTransferSyntax(kExplicitLE));
  const std::vector<uint8_t> pixels = PixelBytes(*ours);
  ASSERT_EQ(pixels.size(), reference.size());
  auto asSigned13 = [](const std::vector<uint8_t>& b, size_t i) {
    const int v = (b[i] | (b[i + 1] << 8)) & 0x1FFF;
    return v >= 0x1000 ? v - 0x2000 : v;
  };
  size_t differing = 0;
  for (size_t i = 0; i + 1 < pixels.size(); i += 2)
    differing += asSigned13(pixels, i) != asSigned13(reference, i);
  EXPECT_EQ(differing, 0u);
}

// Sample files that cannot be decoded here fail cleanly: a JP2 file where a raw codestream
// belongs, and a fragment table broken by a delimiter inside the pixel data.
TEST(DecodeSampleFiles, UndecodableFilesFailCleanly) {
  for (const char* file : {"GDCMJ2K_TextGBR.dcm", "JPEG2000-embedded-sequence-delimiter.dcm"}) {
    auto obj = Load(kTestFiles + "/" + file);
    LogCapture log;
    EXPECT_FALSE(obj->ConvertTransferSyntax(kExplicitLE)) << file;
    EXPECT_TRUE(log.Has("ERROR, DcmObj::ConvertTransferSyntax, Exception on Decomp")) << file;
  }
}

}  // namespace
