// Helpers for the conversion tests: data sets built in memory, the pixel value, the log.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "tests/dicom/codec/CodecTestSupport.h"

namespace codec_test {

inline const std::string kScripts = std::string(TREVALIND_SOURCE_DIR) + "/tests/dicom/codec/";

// The first top-level entry with this tag, or null.
inline DcmTag* FindTop(const DcmObj& obj, uint16_t group, uint16_t element) {
  for (int i = 0; i < obj.Count(); ++i) {
    DcmTag* t = obj.TagAt(i);
    if (t && t->group == group && t->element == element) return t;
  }
  return nullptr;
}

inline int IndexOf(const DcmObj& obj, uint16_t group, uint16_t element) {
  for (int i = 0; i < obj.Count(); ++i) {
    DcmTag* t = obj.TagAt(i);
    if (t && t->group == group && t->element == element) return i;
  }
  return -1;
}

inline std::vector<uint8_t> PixelBytes(const DcmObj& obj) {
  const DcmTag* t = FindTop(obj, 0x7FE0, 0x0010);
  if (!t || t->length == kUndefinedLength) return {};
  return t->data;
}

inline std::unique_ptr<DcmObj> Load(const std::string& path) {
  auto obj = std::make_unique<DcmObj>();
  EXPECT_TRUE(obj->Read(path)) << path;
  return obj;
}

// Native image written by pydicom (see make_native.py for the arguments).
inline std::string MakeNative(const ScratchDir& dir, const std::string& name,
                              const std::string& args) {
  const std::string path = dir.File(name);
  EXPECT_TRUE(RunTool("/usr/bin/python3 " + kScripts + "make_native.py " + path + " " + args));
  return path;
}

// Pixels of a file as pydicom decodes them.
inline std::vector<uint8_t> PydicomPixels(const ScratchDir& dir, const std::string& path) {
  const std::string raw = dir.File("pydicom.raw");
  EXPECT_TRUE(RunTool("/usr/bin/python3 " + kScripts + "pixels.py " + path + " " + raw));
  return ReadBytes(raw);
}

// Routes the log into a scratch file for one test.
class LogCapture {
 public:
  LogCapture() : path_(dir_.File("codec.log")) { LogInit(path_, "", ""); }
  ~LogCapture() { LogFree(); }
  std::string Text() const {
    const std::vector<uint8_t> b = ReadBytes(path_);
    return std::string(b.begin(), b.end());
  }
  bool Has(const std::string& message) const {
    return Text().find(", " + message + "\n") != std::string::npos;
  }
  int CountOf(const std::string& message) const {
    const std::string text = Text(), needle = ", " + message + "\n";
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
      ++n;
    return n;
  }

 private:
  ScratchDir dir_;
  std::string path_;
};

// The "Error - " lines of dciodvfy for one file, sorted.
inline std::vector<std::string> ValidatorErrors(const ScratchDir& dir, const std::string& path) {
  const std::string report = dir.File("dciodvfy.txt");
  std::system(("dciodvfy " + path + " >" + report + " 2>&1").c_str());
  const std::vector<uint8_t> bytes = ReadBytes(report);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  std::vector<std::string> errors;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("Error - ", 0) == 0) errors.push_back(line);
  std::sort(errors.begin(), errors.end());
  return errors;
}

// What dciodvfy finds wrong in `output` beyond what it finds in `input`, the object it was
// converted from. Not counted: the zero pad of our implementation version name (written so by
// design) with the summary line it brings, and the validator's refusal of YBR_FULL for baseline
// JPEG (our encoder does not subsample, so YBR_FULL is the label that fits).
inline std::vector<std::string> NewValidatorErrors(const ScratchDir& dir, const std::string& input,
                                                   const std::string& output) {
  const std::vector<std::string> before = ValidatorErrors(dir, input);
  std::vector<std::string> added;
  for (const std::string& e : ValidatorErrors(dir, output)) {
    if (std::binary_search(before.begin(), before.end(), e)) continue;
    if (e.find("(0x0002,0x0013)") != std::string::npos) continue;
    if (e.find("<YBR_FULL> for value 1 of attribute <Photometric Interpretation>") !=
        std::string::npos)
      continue;
    added.push_back(e);
  }
  // The summary line stands for the value errors listed beside it; alone it is the pad's.
  const bool otherValueErrors = std::any_of(added.begin(), added.end(), [](const std::string& e) {
    return e.find("Value invalid for this VR") != std::string::npos;
  });
  if (!otherValueErrors)
    added.erase(std::remove(added.begin(), added.end(),
                            "Error - Dicom dataset contains invalid data values for Value "
                            "Representations"),
                added.end());
  return added;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

// ---- data sets built in memory ---------------------------------------------------------------

struct ImageSpec {
  uint16_t rows = 4, columns = 4, bitsAllocated = 16, bitsStored = 16, pixelRepresentation = 0;
  std::string pi = "MONOCHROME2";
  std::string frames;  // (0028,0008) text; empty: absent
  std::string modality = "MR";
  std::string intercept, slope;  // empty: absent
  int planar = -1;               // -1: absent
};

inline void AddUS(DcmObj& o, uint16_t e, uint16_t v) { o.Insert(new DcmTag(0x0028, e, v, "US")); }

inline std::unique_ptr<DcmObj> MakeImage(const ImageSpec& s, const std::string& syntax) {
  auto o = std::make_unique<DcmObj>();
  o->transferSyntax = syntax;
  o->explicitVR = syntax != "1.2.840.10008.1.2";
  o->Insert(new DcmTag(0x0008, 0x0060, s.modality, "CS"));
  AddUS(*o, 0x0002, s.pi.rfind("MON", 0) == 0 ? 1 : 3);
  o->Insert(new DcmTag(0x0028, 0x0004, s.pi, "CS"));
  if (s.planar >= 0) AddUS(*o, 0x0006, static_cast<uint16_t>(s.planar));
  if (!s.frames.empty()) o->Insert(new DcmTag(0x0028, 0x0008, s.frames, "IS"));
  AddUS(*o, 0x0010, s.rows);
  AddUS(*o, 0x0011, s.columns);
  AddUS(*o, 0x0100, s.bitsAllocated);
  AddUS(*o, 0x0101, s.bitsStored);
  AddUS(*o, 0x0102, static_cast<uint16_t>(s.bitsStored - 1));
  AddUS(*o, 0x0103, s.pixelRepresentation);
  if (!s.intercept.empty()) o->Insert(new DcmTag(0x0028, 0x1052, s.intercept, "DS"));
  if (!s.slope.empty()) o->Insert(new DcmTag(0x0028, 0x1053, s.slope, "DS"));
  return o;
}

inline void AddNative(DcmObj& o, const std::vector<uint8_t>& value, const char* vr = "OW") {
  o.Insert(new DcmTag(0x7FE0, 0x0010, static_cast<uint32_t>(value.size()), value.data(), vr));
}

inline void AddEncapsulated(DcmObj& o, const std::vector<std::vector<uint8_t>>& fragments,
                            bool delimiter = true) {
  o.Add(new DcmTag(0x7FE0, 0x0010, kUndefinedLength, nullptr, "OB"));
  o.Add(new DcmTag(0xFFFE, 0xE000, 0u, nullptr, "DL"));
  for (const std::vector<uint8_t>& f : fragments)
    o.Add(new DcmTag(0xFFFE, 0xE000, static_cast<uint32_t>(f.size()), f.data(), "DL"));
  if (delimiter) o.Add(new DcmTag(0xFFFE, 0xE0DD, 0u, nullptr, "DL"));
}

inline std::vector<uint8_t> Samples16(std::initializer_list<int> values) {
  std::vector<uint8_t> b;
  for (int v : values) {
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  }
  return b;
}

inline void Compare(const std::vector<uint8_t>& ours, const std::vector<uint8_t>& ref,
                    int bytesPerSample, int tolerance) {
  ASSERT_FALSE(ref.empty());
  // One side may carry the even-length pad byte.
  ASSERT_LE(std::max(ours.size(), ref.size()) - std::min(ours.size(), ref.size()), 1u);
  std::vector<uint8_t> a(ours.begin(), ours.begin() + std::min(ours.size(), ref.size()));
  std::vector<uint8_t> b(ref.begin(), ref.begin() + a.size());
  if (tolerance == 0) {
    EXPECT_TRUE(a == b) << "pixels differ";
  } else {
    EXPECT_LE(bytesPerSample == 1 ? MaxAbsDiff8(a, b) : MaxAbsDiff16(a, b), tolerance);
  }
}

}  // namespace codec_test
