// Helpers for the conversion tests: data sets built in memory, the pixel value, the log.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "tests/codec/CodecTestSupport.h"

namespace codec_test {

inline const std::string kScripts = std::string(TREVALIND_SOURCE_DIR) + "/tests/codec/";

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
