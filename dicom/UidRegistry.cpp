// The fixed tables of known UIDs. One row per UID: its display name (empty when it has none)
// and the one list it belongs to. The names are shown to users and in dumps exactly as written
// here, odd spacing included, so they must not be "corrected".
#include "dicom/UidRegistry.h"

#include <cstddef>

#include "dicom/TransferSyntaxes.h"

namespace {

enum class UidList { kNone, kService, kNonImageStorage, kImageStorage, kTransferSyntax };

struct UidRow {
  std::string_view uid;
  std::string_view name;
  UidList list;
};

constexpr UidRow kUidRows[] = {
    {ts::kImplicitLE, "Little Endian Implicit VR", UidList::kTransferSyntax},
    {ts::kExplicitLE, "Little Endian Explicit VR", UidList::kTransferSyntax},
    {ts::kExplicitBE, "Big Endian Explicit VR", UidList::kTransferSyntax},
    {ts::kRle, "RLE LossLess", UidList::kTransferSyntax},
    {ts::kJpegLosslessSV1, "JPEG LossLess", UidList::kTransferSyntax},
    {ts::kJpegBaseline, "JPEG BaseLine Lossy ", UidList::kTransferSyntax},
    {ts::kJpegExtended, "JPEG Extended Lossy", UidList::kTransferSyntax},
    {ts::kJ2kLossless, "JPEG 2000 LossLess", UidList::kTransferSyntax},
    {ts::kJ2k, "JPEG 2000 Lossy", UidList::kTransferSyntax},
    {"1.2.840.10008.1.1", "Verification", UidList::kService},
    {"1.2.840.10008.5.1.4.31", "Worklist", UidList::kService},
    {"1.2.840.10008.3.1.2.3.3", "MPPS", UidList::kService},
    {"1.2.840.10008.5.1.4.1.2.2.1", "C-FIND", UidList::kService},
    {"1.2.840.10008.5.1.4.1.2.2.2", "C-MOVE", UidList::kService},
    {"1.2.840.10008.5.1.1.1", "Basic Film Session SOP Class", UidList::kNone},
    {"1.2.840.10008.5.1.1.2", "Basic Film Box SOP Class", UidList::kNone},
    {"1.2.840.10008.5.1.1.4", "Basic Grayscale Image Box SOP Class", UidList::kNone},
    {"1.2.840.10008.5.1.1.4.1", "Basic Color Image Box SOP Class", UidList::kNone},
    {"1.2.840.10008.5.1.1.9", "Basic Grayscale Print Management Meta SOP Class", UidList::kNone},
    {"1.2.840.10008.5.1.1.14", "Print Job SOP Class", UidList::kNone},
    {"1.2.840.10008.5.1.1.15", "Basic Annotation Box SOP Class", UidList::kNone},
    {"1.2.840.10008.5.1.1.16", "Printer SOP Class", UidList::kNone},
    {"1.2.840.10008.5.1.1.17", "Printer SOP Instance", UidList::kNone},
    {"1.2.840.10008.5.1.1.18", "Basic Color Print Management Meta SOP Class", UidList::kNone},
    {"1.2.840.10008.5.1.1.23", "Presentation LUT SOP Class", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.9.1.3", "Ambulatory ECG Waveform Storage", UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.88.11", "Basic Text SR", UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.9.4.1", "Basic Voice Audio Waveform Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.11.4", "Blending Softcopy Presentation State Storage",
     UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.9.3.1", "Cardiac Electrophysiology Waveform Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.88.65", "Chest CAD SR", UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.11.2", "Color Softcopy Presentation State Storage",
     UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.88.33", "Comprehensive SR", UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.104.1", "Encapsulated PDF Storage", UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.88.22", "Enhanced SR", UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.9.1.2", "General ECG Waveform Storage", UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.11.1", "Grayscale Softcopy Presentation State Storage",
     UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.9.2.1", "Hemodynamic Waveform Storage", UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.88.59", "Key Object Selection Document", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.88.50", "Mammography CAD SR", UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.4.2", "MR Spectroscopy Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.129", "PET Curve Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.88.40", "Procedure Log Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.11.3", "Pseudo Color Softcopy Presentation StateStorage",
     UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.66", "Raw Data Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.67", "Real World Value Mapping Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.481.4", "RT Beams Treatment Record Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.481.6", "RT Brachy Treatment Record Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.481.2", "RT Dose Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.481.5", "RT Plan Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.481.3", "RT Structure Set Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.481.7", "RT Treatment Summary Record Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.66.2", "Spatial Fiducials Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.66.1", "Spatial Registration Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.9", "Standalone Curve Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.10", "Standalone Modality LUT Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.8", "Standalone Overlay Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.11", "Standalone VOI LUT Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.77.1.5.3", "Stereometric Relationship Storage", UidList::kNone},
    {"1.2.840.10008.5.1.1.27", "Stored Print Storage", UidList::kNone},
    {"1.2.840.10008.5.1.4.1.1.9.1.1", "Twelve Lead ECG Waveform Storage",
     UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.88.67", "XRay Radiation Dose SR", UidList::kNonImageStorage},
    {"1.2.840.10008.5.1.4.1.1.1", "CR Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.2", "CT Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.1.2", "Digital Mammography X-ray Image Storage - For Presentation",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.1.2.1", "Digital Mammography X-ray Image Storage - For Processing",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.1.3", "Digital IntraOral X-ray Image Storage - For Presentation",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.1.3.1", "Digital IntraOral X-ray Image Storage - For Processing",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.1.1", "Digital X-ray Image Storage - For Presentation",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.1.1.1", "Digital X-ray Image Storage - For Processing",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.2.1", "Enhanced CT Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.4.1", "Enhanced MR Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.12.1.1", "Enhanced XA Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.12.2.1", "XRF Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.1.30", "Hardcopy Color Image StorageSOP Class (Retired)",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.1.29", "Hardcopy Grayscale Image Storage SOP Class (Retired)",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.4", "MR Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.7.2", "Multi-frame Grayscale Byte Secondary Capture Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.7.3", "Multi-frame Grayscale Word Secondary Capture Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.7.1", "Multi-frame Single Bit Secondary Capture Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.7.4", "Multi-frame True Color Byte Secondary Capture Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.20", "Nuclear Medicine Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.77.1.5.1", "Ophthalmic Photography 8 bit Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.77.1.5.2", "Ophthalmic Photography 16 bit Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.128", "Positron Emission Tomography (PET) Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.5", "Nuclear Medicine Image Storage (Retired)",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.6", "Ultrasound Image Storage (Retired)", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.3", "Ultrasound Multi-frame Image Storage (Retired)",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.77.1", "VL Image Storage (Retired)", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.77.2", "VL Multi-frame Image Storage (Retired)",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.12.3", "X Ray Angiographic BiPlane Image Storage (Retired)",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.481.1", "RT Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.7", "Secondary Capture Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.6.1", "Ultrasound Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.3.1", "Ultrasound Multi-frame Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.77.1.1.1", "Video Endoscopic Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.77.1.2.1", "Video Microscopic Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.77.1.4.1", "Video Photographic Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.77.1.1", "VL Video Endoscopic Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.77.1.2", "VL Video Microscopic Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.77.1.4", "VL Video Photographic Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.12.1", "X-Ray Angiographic Image Storage", UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.12.2", "X-Ray Radiofluoroscopic Image Storage",
     UidList::kImageStorage},
    {"1.2.840.10008.5.1.4.1.1.13.1.2", "", UidList::kImageStorage},
    {ts::kJpegLossless, "", UidList::kTransferSyntax},
    {ts::kMpeg2, "", UidList::kTransferSyntax},
};

// Values read from a data set may keep their NUL padding; a blank is not dropped, since a UID
// never ends in one and a blank-padded value is not a valid UID.
std::string_view WithoutTrailingNuls(std::string_view uid) {
  while (!uid.empty() && uid.back() == '\0') uid.remove_suffix(1);
  return uid;
}

const UidRow* FindRow(std::string_view uid) {
  uid = WithoutTrailingNuls(uid);
  for (const UidRow& row : kUidRows)
    if (row.uid == uid) return &row;
  return nullptr;
}

bool IsInList(std::string_view uid, UidList list) {
  const UidRow* row = FindRow(uid);
  return row && row->list == list;
}

}  // namespace

bool IsServiceSOPClass(std::string_view uid) { return IsInList(uid, UidList::kService); }

bool IsNonImageStorageSOPClass(std::string_view uid) {
  return IsInList(uid, UidList::kNonImageStorage);
}

bool IsImageStorageSOPClass(std::string_view uid) { return IsInList(uid, UidList::kImageStorage); }

bool IsSupportedTransferSyntax(std::string_view uid) {
  return IsInList(uid, UidList::kTransferSyntax);
}

std::string UIDToName(std::string_view uid) {
  const UidRow* row = FindRow(uid);
  return row ? std::string(row->name) : std::string();
}
