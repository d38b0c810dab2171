// Helpers shared by the data-set tests: captured log lines, a temporary folder, and builders of
// encoded elements (explicit or implicit VR, little or big endian) for byte fixtures.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dicom/util/Log.h"
#include "tests/support/TempFolder.h"

using Bytes = std::vector<uint8_t>;
using namespace std::string_literals;

using TempDir = TempFolder;

// Routes the log to a temporary file for the life of the object; Lines() gives the messages
// without their time stamps.
class LogCapture {
 public:
  LogCapture() : file_(dir_.File("log.txt")) { LogInit(file_, "", ""); }
  ~LogCapture() { LogFree(); }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(file_);
    for (std::string line; std::getline(in, line);) {
      lines.push_back(line.size() >= 10 ? line.substr(10) : line);  // "hh:mm:ss, "
    }
    return lines;
  }

 private:
  TempDir dir_;
  std::string file_;
};

inline Bytes ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline void Put16(Bytes& b, uint16_t v, bool big = false) {
  if (big) {
    b.push_back(v >> 8);
    b.push_back(v & 0xFF);
  } else {
    b.push_back(v & 0xFF);
    b.push_back(v >> 8);
  }
}

inline void Put32(Bytes& b, uint32_t v, bool big = false) {
  if (big) {
    Put16(b, v >> 16, true);
    Put16(b, v & 0xFFFF, true);
  } else {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
  }
}

inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

inline bool LongLengthVR(const std::string& vr) {
  for (const char* v :
       {"OB", "OF", "OW", "SQ", "UN", "UT", "UC", "UR", "OD", "OL", "OV", "SV", "UV"})
    if (vr == v) return true;
  return false;
}

// One explicit-VR element; `length` defaults to the value's size.
inline Bytes Explicit(uint16_t g, uint16_t e, const std::string& vr, const Bytes& value,
                      int64_t length = -1, bool big = false) {
  Bytes b;
  Put16(b, g, big);
  Put16(b, e, big);
  const uint32_t len =
      length < 0 ? static_cast<uint32_t>(value.size()) : static_cast<uint32_t>(length);
  if (g == 0xFFFE) {
    Put32(b, len, big);
  } else {
    b.push_back(vr[0]);
    b.push_back(vr[1]);
    if (LongLengthVR(vr)) {
      Put16(b, 0);
      Put32(b, len, big);
    } else
      Put16(b, static_cast<uint16_t>(len), big);
  }
  Append(b, value);
  return b;
}

inline Bytes Implicit(uint16_t g, uint16_t e, const Bytes& value, int64_t length = -1) {
  Bytes b;
  Put16(b, g);
  Put16(b, e);
  Put32(b, length < 0 ? static_cast<uint32_t>(value.size()) : static_cast<uint32_t>(length));
  Append(b, value);
  return b;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A Part 10 file: zero preamble, "DICM", a minimal meta group naming `syntax`, then `dataSet`.
inline Bytes Part10(const std::string& syntax, const Bytes& dataSet) {
  Bytes b(128, 0);
  Append(b, Text("DICM"));
  Bytes uid = Text(syntax);
  if (uid.size() % 2) uid.push_back(0);
  const Bytes ts = Explicit(0x0002, 0x0010, "UI", uid);
  Bytes length;
  Put32(length, static_cast<uint32_t>(ts.size()));
  Append(b, Explicit(0x0002, 0x0000, "UL", length));
  Append(b, ts);
  Append(b, dataSet);
  return b;
}

inline const char* kImplicitLE = "1.2.840.10008.1.2";
inline const char* kExplicitLE = "1.2.840.10008.1.2.1";
inline const char* kExplicitBE = "1.2.840.10008.1.2.2";

inline std::string Fixture(const std::string& name) {
  return std::string(PYDICOM_TEST_FILES) + "/" + name;
}
