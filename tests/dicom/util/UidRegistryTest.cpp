// The UID registry against the full table of known UIDs: every row's name and list, the size of
// every list, and the padding rules. The UIDs themselves are checked against pydicom's registry
// of the standard, an independent source, so a mistyped digit cannot hide in both tables.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <string_view>

#include "dicom/UidRegistry.h"

namespace {

struct Row {
  const char* uid;
  const char* name;  // nullptr: the UID has no display name
  char list;         // S service, N non-image storage, I image storage, T transfer syntax, - none
};

// Names are letter for letter, including "JPEG BaseLine Lossy " with its trailing blank and the
// two names that lack a blank ("...StateStorage", "...StorageSOP Class").
const Row kRows[] = {
    {"1.2.840.10008.1.2", "Little Endian Implicit VR", 'T'},
    {"1.2.840.10008.1.2.1", "Little Endian Explicit VR", 'T'},
    {"1.2.840.10008.1.2.2", "Big Endian Explicit VR", 'T'},
    {"1.2.840.10008.1.2.5", "RLE LossLess", 'T'},
    {"1.2.840.10008.1.2.4.70", "JPEG LossLess", 'T'},
    {"1.2.840.10008.1.2.4.50", "JPEG BaseLine Lossy ", 'T'},
    {"1.2.840.10008.1.2.4.51", "JPEG Extended Lossy", 'T'},
    {"1.2.840.10008.1.2.4.90", "JPEG 2000 LossLess", 'T'},
    {"1.2.840.10008.1.2.4.91", "JPEG 2000 Lossy", 'T'},
    {"1.2.840.10008.1.1", "Verification", 'S'},
    {"1.2.840.10008.5.1.4.31", "Worklist", 'S'},
    {"1.2.840.10008.3.1.2.3.3", "MPPS", 'S'},
    {"1.2.840.10008.5.1.4.1.2.2.1", "C-FIND", 'S'},
    {"1.2.840.10008.5.1.4.1.2.2.2", "C-MOVE", 'S'},
    {"1.2.840.10008.5.1.1.1", "Basic Film Session SOP Class", '-'},
    {"1.2.840.10008.5.1.1.2", "Basic Film Box SOP Class", '-'},
    {"1.2.840.10008.5.1.1.4", "Basic Grayscale Image Box SOP Class", '-'},
    {"1.2.840.10008.5.1.1.4.1", "Basic Color Image Box SOP Class", '-'},
    {"1.2.840.10008.5.1.1.9", "Basic Grayscale Print Management Meta SOP Class", '-'},
    {"1.2.840.10008.5.1.1.14", "Print Job SOP Class", '-'},
    {"1.2.840.10008.5.1.1.15", "Basic Annotation Box SOP Class", '-'},
    {"1.2.840.10008.5.1.1.16", "Printer SOP Class", '-'},
    {"1.2.840.10008.5.1.1.17", "Printer SOP Instance", '-'},
    {"1.2.840.10008.5.1.1.18", "Basic Color Print Management Meta SOP Class", '-'},
    {"1.2.840.10008.5.1.1.23", "Presentation LUT SOP Class", '-'},
    {"1.2.840.10008.5.1.4.1.1.9.1.3", "Ambulatory ECG Waveform Storage", 'N'},
    {"1.2.840.10008.5.1.4.1.1.88.11", "Basic Text SR", 'N'},
    {"1.2.840.10008.5.1.4.1.1.9.4.1", "Basic Voice Audio Waveform Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.11.4", "Blending Softcopy Presentation State Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.9.3.1", "Cardiac Electrophysiology Waveform Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.88.65", "Chest CAD SR", 'N'},
    {"1.2.840.10008.5.1.4.1.1.11.2", "Color Softcopy Presentation State Storage", 'N'},
    {"1.2.840.10008.5.1.4.1.1.88.33", "Comprehensive SR", 'N'},
    {"1.2.840.10008.5.1.4.1.1.104.1", "Encapsulated PDF Storage", 'N'},
    {"1.2.840.10008.5.1.4.1.1.88.22", "Enhanced SR", 'N'},
    {"1.2.840.10008.5.1.4.1.1.9.1.2", "General ECG Waveform Storage", 'N'},
    {"1.2.840.10008.5.1.4.1.1.11.1", "Grayscale Softcopy Presentation State Storage", 'N'},
    {"1.2.840.10008.5.1.4.1.1.9.2.1", "Hemodynamic Waveform Storage", 'N'},
    {"1.2.840.10008.5.1.4.1.1.88.59", "Key Object Selection Document", '-'},
    {"1.2.840.10008.5.1.4.1.1.88.50", "Mammography CAD SR", 'N'},
    {"1.2.840.10008.5.1.4.1.1.4.2", "MR Spectroscopy Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.129", "PET Curve Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.88.40", "Procedure Log Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.11.3", "Pseudo Color Softcopy Presentation StateStorage", 'N'},
    {"1.2.840.10008.5.1.4.1.1.66", "Raw Data Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.67", "Real World Value Mapping Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.481.4", "RT Beams Treatment Record Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.481.6", "RT Brachy Treatment Record Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.481.2", "RT Dose Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.481.5", "RT Plan Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.481.3", "RT Structure Set Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.481.7", "RT Treatment Summary Record Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.66.2", "Spatial Fiducials Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.66.1", "Spatial Registration Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.9", "Standalone Curve Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.10", "Standalone Modality LUT Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.8", "Standalone Overlay Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.11", "Standalone VOI LUT Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.77.1.5.3", "Stereometric Relationship Storage", '-'},
    {"1.2.840.10008.5.1.1.27", "Stored Print Storage", '-'},
    {"1.2.840.10008.5.1.4.1.1.9.1.1", "Twelve Lead ECG Waveform Storage", 'N'},
    {"1.2.840.10008.5.1.4.1.1.88.67", "XRay Radiation Dose SR", 'N'},
    {"1.2.840.10008.5.1.4.1.1.1", "CR Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.2", "CT Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.1.2", "Digital Mammography X-ray Image Storage - For Presentation",
     'I'},
    {"1.2.840.10008.5.1.4.1.1.1.2.1", "Digital Mammography X-ray Image Storage - For Processing",
     'I'},
    {"1.2.840.10008.5.1.4.1.1.1.3", "Digital IntraOral X-ray Image Storage - For Presentation",
     'I'},
    {"1.2.840.10008.5.1.4.1.1.1.3.1", "Digital IntraOral X-ray Image Storage - For Processing",
     'I'},
    {"1.2.840.10008.5.1.4.1.1.1.1", "Digital X-ray Image Storage - For Presentation", 'I'},
    {"1.2.840.10008.5.1.4.1.1.1.1.1", "Digital X-ray Image Storage - For Processing", 'I'},
    {"1.2.840.10008.5.1.4.1.1.2.1", "Enhanced CT Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.4.1", "Enhanced MR Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.12.1.1", "Enhanced XA Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.12.2.1", "XRF Image Storage", 'I'},
    {"1.2.840.10008.5.1.1.30", "Hardcopy Color Image StorageSOP Class (Retired)", 'I'},
    {"1.2.840.10008.5.1.1.29", "Hardcopy Grayscale Image Storage SOP Class (Retired)", 'I'},
    {"1.2.840.10008.5.1.4.1.1.4", "MR Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.7.2", "Multi-frame Grayscale Byte Secondary Capture Image Storage",
     'I'},
    {"1.2.840.10008.5.1.4.1.1.7.3", "Multi-frame Grayscale Word Secondary Capture Image Storage",
     'I'},
    {"1.2.840.10008.5.1.4.1.1.7.1", "Multi-frame Single Bit Secondary Capture Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.7.4", "Multi-frame True Color Byte Secondary Capture Image Storage",
     'I'},
    {"1.2.840.10008.5.1.4.1.1.20", "Nuclear Medicine Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.77.1.5.1", "Ophthalmic Photography 8 bit Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.77.1.5.2", "Ophthalmic Photography 16 bit Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.128", "Positron Emission Tomography (PET) Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.5", "Nuclear Medicine Image Storage (Retired)", 'I'},
    {"1.2.840.10008.5.1.4.1.1.6", "Ultrasound Image Storage (Retired)", 'I'},
    {"1.2.840.10008.5.1.4.1.1.3", "Ultrasound Multi-frame Image Storage (Retired)", 'I'},
    {"1.2.840.10008.5.1.4.1.1.77.1", "VL Image Storage (Retired)", 'I'},
    {"1.2.840.10008.5.1.4.1.1.77.2", "VL Multi-frame Image Storage (Retired)", 'I'},
    {"1.2.840.10008.5.1.4.1.1.12.3", "X Ray Angiographic BiPlane Image Storage (Retired)", 'I'},
    {"1.2.840.10008.5.1.4.1.1.481.1", "RT Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.7", "Secondary Capture Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.6.1", "Ultrasound Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.3.1", "Ultrasound Multi-frame Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.77.1.1.1", "Video Endoscopic Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.77.1.2.1", "Video Microscopic Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.77.1.4.1", "Video Photographic Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.77.1.1", "VL Video Endoscopic Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.77.1.2", "VL Video Microscopic Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.77.1.4", "VL Video Photographic Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.12.1", "X-Ray Angiographic Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.12.2", "X-Ray Radiofluoroscopic Image Storage", 'I'},
    {"1.2.840.10008.5.1.4.1.1.13.1.2", nullptr, 'I'},
    {"1.2.840.10008.1.2.4.57", nullptr, 'T'},
    {"1.2.840.10008.1.2.4.100", nullptr, 'T'},
};

TEST(UidRegistry, EveryRowHasItsNameAndList) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.uid);
    EXPECT_EQ(UIDToName(row.uid), row.name ? row.name : "");
    EXPECT_EQ(IsServiceSOPClass(row.uid), row.list == 'S');
    EXPECT_EQ(IsNonImageStorageSOPClass(row.uid), row.list == 'N');
    EXPECT_EQ(IsImageStorageSOPClass(row.uid), row.list == 'I');
    EXPECT_EQ(IsSupportedTransferSyntax(row.uid), row.list == 'T');
  }
}

TEST(UidRegistry, ListSizes) {
  std::map<char, int> members;
  int named = 0;
  for (const Row& row : kRows) {
    ++members[row.list];
    if (!UIDToName(row.uid).empty()) ++named;
  }
  EXPECT_EQ(std::size(kRows), 106u);
  EXPECT_EQ(members['S'], 5);
  EXPECT_EQ(members['N'], 14);
  EXPECT_EQ(members['I'], 42);
  EXPECT_EQ(members['T'], 11);
  EXPECT_EQ(named, 103);
}

TEST(UidRegistry, OddTexts) {
  EXPECT_EQ(UIDToName("1.2.840.10008.1.2.4.50"), "JPEG BaseLine Lossy ");
  EXPECT_EQ(UIDToName("1.2.840.10008.5.1.4.1.1.11.3"),
            "Pseudo Color Softcopy Presentation StateStorage");
  EXPECT_EQ(UIDToName("1.2.840.10008.5.1.1.30"), "Hardcopy Color Image StorageSOP Class (Retired)");
  // Listed but nameless.
  EXPECT_TRUE(IsSupportedTransferSyntax("1.2.840.10008.1.2.4.57"));
  EXPECT_EQ(UIDToName("1.2.840.10008.1.2.4.57"), "");
  EXPECT_TRUE(IsSupportedTransferSyntax("1.2.840.10008.1.2.4.100"));
  EXPECT_EQ(UIDToName("1.2.840.10008.1.2.4.100"), "");
  EXPECT_TRUE(IsImageStorageSOPClass("1.2.840.10008.5.1.4.1.1.13.1.2"));
  EXPECT_EQ(UIDToName("1.2.840.10008.5.1.4.1.1.13.1.2"), "");
  // Hemodynamic recordings (real carts write 12-lead ones in that class) are stored like ECGs;
  // the other named waveform classes are not accepted.
  EXPECT_TRUE(IsNonImageStorageSOPClass("1.2.840.10008.5.1.4.1.1.9.2.1"));
  for (const char* uid : {"1.2.840.10008.5.1.4.1.1.9.3.1", "1.2.840.10008.5.1.4.1.1.9.4.1"}) {
    EXPECT_FALSE(IsNonImageStorageSOPClass(uid)) << uid;
    EXPECT_FALSE(IsImageStorageSOPClass(uid)) << uid;
  }
  // MPPS is a listed service.
  EXPECT_TRUE(IsServiceSOPClass("1.2.840.10008.3.1.2.3.3"));
}

struct PaddingCase {
  std::string_view uid;
  bool matches;
};

// Trailing NULs (a data set's UI padding) are dropped before comparing; nothing else is.
const PaddingCase kPaddingCases[] = {
    {std::string_view("1.2.840.10008.1.2", 17), true},
    {std::string_view("1.2.840.10008.1.2\0", 18), true},
    {std::string_view("1.2.840.10008.1.2\0\0", 19), true},
    {std::string_view("1.2.840.10008.1.2 ", 18), false},
    {std::string_view(" 1.2.840.10008.1.2", 18), false},
    {std::string_view("1.2.840.10008.1.2\0 ", 19), false},
    {std::string_view("1.2.840.10008.1.2.", 18), false},
    {std::string_view("1.2.840.10008.1", 15), false},  // a prefix of a listed UID
    {std::string_view("1.2.840.10008.1.20", 18), false},
    {std::string_view("", 0), false},
    {std::string_view("\0", 1), false},
};

TEST(UidRegistry, PaddingRules) {
  for (const PaddingCase& c : kPaddingCases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.uid)));
    EXPECT_EQ(IsSupportedTransferSyntax(c.uid), c.matches);
    EXPECT_EQ(UIDToName(c.uid), c.matches ? "Little Endian Implicit VR" : "");
  }
  EXPECT_TRUE(IsImageStorageSOPClass(std::string_view("1.2.840.10008.5.1.4.1.1.4\0", 26)));
  EXPECT_FALSE(IsImageStorageSOPClass("1.2.840.10008.5.1.4.1.1.4 "));
}

TEST(UidRegistry, MatchingIsCaseSensitiveAndWhole) {
  // No UID contains letters, so check that a name or a near miss never matches.
  EXPECT_FALSE(IsServiceSOPClass("Verification"));
  EXPECT_FALSE(IsServiceSOPClass("1.2.840.10008.1.1.1"));
  EXPECT_FALSE(IsServiceSOPClass("01.2.840.10008.1.1"));
}

// Every UID of the table is a real one of the standard, of the right kind: transfer syntaxes for
// list T, SOP classes (or the printer's well-known instance) for all the others.
TEST(UidRegistry, UidsAgreeWithPydicom) {
  std::string script =
      "/usr/bin/python3 -c \"import sys\n"
      "from pydicom._uid_dict import UID_dictionary as D\n"
      "for u in sys.stdin.read().split(): print(u, D[u][1] if u in D else 'MISSING', sep='|')\"";
  std::string input;
  for (const Row& row : kRows) input += std::string(row.uid) + " ";
  std::string command = "echo '" + input + "' | " + script + " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::map<std::string, std::string> kinds;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    size_t bar = text.find('|');
    if (bar != std::string::npos) kinds[text.substr(0, bar)] = text.substr(bar + 1);
  }
  int status = ::pclose(pipe);
  if (status != 0 || kinds.empty()) GTEST_SKIP() << "pydicom is not available";
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.uid);
    ASSERT_TRUE(kinds.count(row.uid));
    const std::string& kind = kinds[row.uid];
    if (row.list == 'T')
      EXPECT_EQ(kind, "Transfer Syntax");
    else
      EXPECT_NE(kind.find("SOP"), std::string::npos) << kind;
  }
}

}  // namespace
