// C-MOVE across transfer syntaxes, end to end: compressed and native images stored into the
// server with storescu, moved with movescu to a storescp that accepts fewer syntaxes than the
// store holds, and what arrives compared, pixel by pixel, with what independent decoders
// (dcmdjpeg, dcmdrle, pydicom over openjp2) make of the stored objects
// (conversion_fixtures.py).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/peers/PeerFixture.h"

namespace {
constexpr const char* kScript = TREVALIND_SOURCE_DIR "/tests/peers/conversion_fixtures.py";
constexpr const char* kDecodeStudy = "1.2.826.0.1.3680043.8.498.7.20.1";
constexpr const char* kEncodeStudy = "1.2.826.0.1.3680043.8.498.7.20.2";
constexpr const char* kImplicitLittleEndianUid = "1.2.840.10008.1.2";
constexpr const char* kJpegLosslessUid = "1.2.840.10008.1.2.4.70";

// The storescu option that proposes a fixture file's own syntax, told by the end of its name;
// none (uncompressed syntaxes) for native files.
std::string ProposalFor(const std::string& file) {
  static constexpr std::pair<std::string_view, const char*> kProposals[] = {
      {"_jpeg_lossless.dcm", "-xs "},
      {"_jpeg_baseline.dcm", "-xy "},
      {"_rle.dcm", "-xr "},
      {"_j2k_lossless.dcm", "-xv "},
      {"_j2k_lossy.dcm", "-xw "}};
  for (const auto& [end, option] : kProposals) {
    if (std::string_view(file).ends_with(end)) return option;
  }
  return "";
}

class MoveConversionPeer : public PeerFixture {
 protected:
  void SetUp() override {
    PeerFixture::SetUp();
    if (HasFatalFailure()) return;
    images_ = Folder() + "conversion/";
    const ToolResult made =
        RunTool(std::string("/usr/bin/python3 ") + kScript + " make " + images_);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    received_ = Folder() + "received";
    std::filesystem::create_directories(received_);
    scpPort_ = FreeLoopbackPort();
    WriteRemotes("1|ARCHIVE1|127.0.0.2|" + std::to_string(scpPort_) + "\n");
  }
  // Stores the files of one fixture folder in their own syntaxes, in the order of their names.
  void StoreFolder(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(images_ + folder)) {
      files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
      const ToolResult stored = StoreFiles(file, ProposalFor(file));
      ASSERT_EQ(stored.exitCode, 0) << stored.output;
    }
  }
  void MoveStudyAndCompare(const std::string& study, const std::string& syntax, int count) {
    const ToolResult move = RunTool("movescu -d -S -aem ARCHIVE1" + Peer() +
                                    "-k QueryRetrieveLevel=STUDY -k StudyInstanceUID=" + study);
    EXPECT_EQ(DebugValues(move.output, "DIMSE Status").back(), "0x0000") << move.output;
    EXPECT_EQ(DebugValues(move.output, "Completed Suboperations").back(), std::to_string(count));
    EXPECT_EQ(DebugValues(move.output, "Failed Suboperations").back(), "0");
    const ToolResult compared =
        RunTool(std::string("/usr/bin/python3 ") + kScript + " compare " + received_ + " " +
                images_ + "refs " + syntax + " " + std::to_string(count));
    EXPECT_EQ(compared.exitCode, 0) << compared.output << LogText();
  }

  std::string images_;
  std::string received_;
  int scpPort_ = -1;
};

// JPEG lossless (8-, 12- and 16-bit, signed, RGB, frames), JPEG baseline (grey frames, YCbCr),
// RLE (CT, 1 and 3 segments, 16-bit, frames, one pixel) and JPEG 2000 (lossless 16-bit,
// signed and RGB; lossy 12-bit) to a destination that accepts implicit VR little endian only:
// everything arrives implicit, with the pixels of the reference decoders.
TEST_F(MoveConversionPeer, CompressedImagesArriveDecodedAtAnImplicitOnlyDestination) {
  StoreFolder("decode");
  ASSERT_EQ(EcgRows("SELECT SOPInstanceUID FROM Objects").size(), 16u) << LogText();
  StartStorescp("+xi", received_, scpPort_);
  MoveStudyAndCompare(kDecodeStudy, kImplicitLittleEndianUid, 16);
}

// A series whose first object is JPEG lossless opens its association with that syntax, which a
// destination preferring JPEG lossless selects: the native objects that follow are encoded by
// our lossless encoder, and dcmdjpeg decodes every one of them to the original pixels.
TEST_F(MoveConversionPeer, NativeObjectsAfterAJpegLosslessOneAreEncodedLossless) {
  StoreFolder("encode");
  const std::vector<std::string> rows =
      EcgRows("SELECT SOPInstanceUID FROM Objects ORDER BY rowid");
  ASSERT_EQ(rows.size(), 7u) << LogText();
  ASSERT_NE(rows.front().find(std::string(kEncodeStudy) + ".1.1;"), std::string::npos);
  // The store keeps what it was sent: one JPEG lossless file, six native ones.
  int compressed = 0;
  for (const std::string& file : StoredFiles()) {
    compressed +=
        RunTool("dcmdump +P 0002,0010 " + file).output.find("JPEGLossless") != std::string::npos;
  }
  ASSERT_EQ(compressed, 1);
  StartStorescp("+xs", received_, scpPort_);
  MoveStudyAndCompare(kEncodeStudy, kJpegLosslessUid, 7);
}
}  // namespace
