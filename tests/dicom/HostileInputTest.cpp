// Hostile and damaged input: every truncation point, lengths near 0xFFFFFFFF, deep nesting,
// short values, trailing bytes. Each case must end without a crash, with memory bounded by the
// input, and with exactly the log lines each failure writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "dicom/BufData.h"
#include "dicom/DcmObj.h"
#include "tests/dicom/TestSupport.h"

// The largest single allocation since the last reset: the test's measure of "never allocates
// beyond what the input holds".
static std::atomic<size_t> largestAllocation{0};

static void* TrackedAllocation(size_t size) {
  size_t seen = largestAllocation.load(std::memory_order_relaxed);
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
  }
  return std::malloc(size ? size : 1);
}

void* operator new(size_t size) {
  if (void* p = TrackedAllocation(size)) return p;
  throw std::bad_alloc();
}
// The library's temporary buffers use the nothrow form; it must pair with the delete below.
void* operator new(size_t size, const std::nothrow_t&) noexcept { return TrackedAllocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

struct Outcome {
  bool read;
  int count;
  std::vector<std::string> lines;
  size_t largest;
};

Outcome ReadFile(const Bytes& file) {
  TempDir dir;
  LogCapture log;
  WriteAll(dir.File("in.dcm"), file);
  largestAllocation = 0;
  DcmObj obj;
  const bool read = obj.Read(dir.File("in.dcm"));
  const size_t largest = largestAllocation;
  // Whatever was read can be dumped and written without reading past any value.
  std::vector<std::string> dump;
  obj.Dump(dump, 0);
  obj.Write(dir.File("out.dcm"));
  auto lines = log.Lines();
  for (auto& line : lines) {
    const auto at = line.find(dir.path());
    if (at != std::string::npos) line.replace(at, dir.path().size(), "DIR/");
  }
  return {read, obj.Count(), lines, largest};
}

std::string ShortRead(const char* tag, long count, uint32_t length) {
  char line[128];
  std::snprintf(line, sizeof line, "ERROR: read bytes!=tag->length (%s) count=%ld, tag->length=%u",
                tag, count, length);
  return line;
}

const std::string kReadFailed = "ERROR: DcmObj::Read, DIR/in.dcm";
const std::string kNestedFailed = "ERROR, Expand_SQ: Reading tag...";

TEST(HostileInput, EveryTruncationPoint) {
  struct Piece {
    Bytes bytes;
    size_t header;
    const char* tag;
  };
  const Bytes sequenceValue =
      Explicit(0xFFFE, 0xE000, "", Explicit(0x0008, 0x1150, "UI", Text("1.2.3.4\0"s)));
  const std::vector<Piece> pieces = {
      {Explicit(0x0008, 0x0060, "CS", Text("ECG ")), 8, "0008,0060"},
      {Explicit(0x0008, 0x1115, "SQ", sequenceValue), 12, "0008,1115"},
      {Explicit(0x0010, 0x0010, "PN", Text("Doe^Jane")), 8, "0010,0010"},
      {Explicit(0x5400, 0x1010, "OW", Bytes(16, 7)), 12, "5400,1010"},
  };
  Bytes dataSet;
  for (const auto& p : pieces) Append(dataSet, p.bytes);
  const Bytes whole = Part10(kExplicitLE, dataSet);
  const size_t dataStart = whole.size() - dataSet.size();
  ASSERT_TRUE(ReadFile(whole).read);

  size_t start = dataStart;
  for (size_t k = 0; k < pieces.size(); ++k) {
    const Piece& p = pieces[k];
    for (size_t cut = 1; cut < p.bytes.size(); ++cut) {
      SCOPED_TRACE("element " + std::to_string(k) + " cut after " + std::to_string(cut));
      const Outcome o = ReadFile(Bytes(whole.begin(), whole.begin() + start + cut));
      EXPECT_EQ(o.count, static_cast<int>(k));
      if (cut < p.header) {
        // A partial header at the very end: the elements before it, success, no line.
        EXPECT_TRUE(o.read);
        EXPECT_TRUE(o.lines.empty());
      } else {
        const uint32_t length = static_cast<uint32_t>(p.bytes.size() - p.header);
        EXPECT_FALSE(o.read);
        EXPECT_EQ(o.lines,
                  (std::vector<std::string>{
                      ShortRead(p.tag, static_cast<long>(cut - p.header), length), kReadFailed}));
      }
    }
    start += p.bytes.size();
  }

  // A file cut inside its meta group read as an empty object. Every cut there fails, also one
  // between two meta elements, which only the group length (0002,0000) reveals, and one right
  // after "DICM"; a cut value adds its short-read line.
  Bytes uid = Text(kExplicitLE);
  uid.push_back(0);
  const Bytes syntax = Explicit(0x0002, 0x0010, "UI", uid);
  Bytes groupLength;
  Put32(groupLength, static_cast<uint32_t>(syntax.size()));
  const std::vector<Piece> metaPieces = {
      {Explicit(0x0002, 0x0000, "UL", groupLength), 8, "0002,0000"},
      {syntax, 8, "0002,0010"},
  };
  start = 128 + 4;
  ASSERT_EQ(start + metaPieces[0].bytes.size() + metaPieces[1].bytes.size(), dataStart);
  for (const Piece& p : metaPieces) {
    ASSERT_TRUE(std::equal(p.bytes.begin(), p.bytes.end(), whole.begin() + start));
    for (size_t cut = 0; cut < p.bytes.size(); ++cut) {
      SCOPED_TRACE(std::string("meta element ") + p.tag + " cut after " + std::to_string(cut));
      const Outcome o = ReadFile(Bytes(whole.begin(), whole.begin() + start + cut));
      EXPECT_FALSE(o.read);
      EXPECT_EQ(o.count, 0);
      std::vector<std::string> lines{kReadFailed};
      if (cut >= p.header) {
        const uint32_t length = static_cast<uint32_t>(p.bytes.size() - p.header);
        lines.insert(lines.begin(), ShortRead(p.tag, static_cast<long>(cut - p.header), length));
      }
      EXPECT_EQ(o.lines, lines);
    }
    start += p.bytes.size();
  }
}

TEST(HostileInput, HugeDeclaredLengthsAllocateNothingLarge) {
  Bytes huge = Explicit(0x0010, 0x0010, "PN", Text("Doe "));
  Append(huge, Explicit(0x7FE0, 0x0010, "OB", Bytes(12, 1), 0xFFFFFFF0));
  Outcome o = ReadFile(Part10(kExplicitLE, huge));
  EXPECT_FALSE(o.read);
  EXPECT_EQ(o.count, 1);
  EXPECT_EQ(o.lines,
            (std::vector<std::string>{ShortRead("7FE0,0010", 12, 0xFFFFFFF0), kReadFailed}));
  EXPECT_LT(o.largest, 1u << 20);

  // In an implicit stream, with the length bytes FF FF FF F0 just short of undefined.
  o = ReadFile(Part10(kImplicitLE, Implicit(0x0010, 0x0020, Bytes(4, 'a'), 0xFFFFFFFE)));
  EXPECT_FALSE(o.read);
  EXPECT_EQ(o.lines,
            (std::vector<std::string>{ShortRead("0010,0020", 4, 0xFFFFFFFE), kReadFailed}));
  EXPECT_LT(o.largest, 1u << 20);

  // In the file meta group: reported, and the file, cut inside its meta group, is not read.
  Bytes meta(128, 0);
  Append(meta, Text("DICM"));
  Append(meta, Explicit(0x0002, 0x0001, "OB", Bytes(6, 0), 0xFFFFFFF0));
  o = ReadFile(meta);
  EXPECT_FALSE(o.read);
  EXPECT_EQ(o.count, 0);
  EXPECT_EQ(o.lines,
            (std::vector<std::string>{ShortRead("0002,0001", 6, 0xFFFFFFF0), kReadFailed}));
  EXPECT_LT(o.largest, 1u << 20);

  // A nested item claiming more than its sequence holds.
  Bytes item;
  Put16(item, 0xFFFE);
  Put16(item, 0xE000);
  Put32(item, 0xFFFFFFF0);
  Append(item, Bytes(8, 0));
  o = ReadFile(Part10(kExplicitLE, Explicit(0x0008, 0x1115, "SQ", item)));
  EXPECT_FALSE(o.read);
  EXPECT_EQ(o.lines, (std::vector<std::string>{ShortRead("FFFE,E000", 8, 0xFFFFFFF0), kNestedFailed,
                                               kReadFailed}));
  EXPECT_LT(o.largest, 1u << 20);
}

// Sequences and items of defined length nested `levels` deep (each counts one level), built
// outside in without copying the growing content.
Bytes Nested(int levels) {
  const Bytes innermost = Explicit(0x0010, 0x0010, "PN", Text("Doe "));
  std::vector<uint32_t> contentLength(levels + 1);
  contentLength[levels] = static_cast<uint32_t>(innermost.size());
  for (int i = levels - 1; i >= 0; --i) contentLength[i] = contentLength[i + 1] + (i % 2 ? 8 : 12);
  Bytes out;
  out.reserve(contentLength[0] + 12);
  for (int i = 0; i < levels; ++i) {
    const uint32_t length = contentLength[i + 1];
    if (i % 2 == 0) {
      Put16(out, 0x0040);
      Put16(out, 0xA730);
      Append(out, {'S', 'Q', 0, 0});
    } else {
      Put16(out, 0xFFFE);
      Put16(out, 0xE000);
    }
    Put32(out, length);
  }
  Append(out, innermost);
  return out;
}

TEST(HostileInput, NestingIsLimitedTo256Levels) {
  Outcome o = ReadFile(Part10(kExplicitLE, Nested(256)));
  EXPECT_TRUE(o.read);
  EXPECT_TRUE(o.lines.empty());

  for (int levels : {257, 100000}) {
    SCOPED_TRACE(levels);
    o = ReadFile(Part10(kExplicitLE, Nested(levels)));
    EXPECT_FALSE(o.read);
    EXPECT_EQ(o.lines, (std::vector<std::string>{kNestedFailed, kReadFailed}));
  }
}

TEST(HostileInput, DeepestAllowedSetIsReachableAndWritesBack) {
  TempDir dir;
  const Bytes dataSet = Nested(256);
  WriteAll(dir.File("a.dcm"), Part10(kExplicitLE, dataSet));
  DcmObj obj;
  ASSERT_TRUE(obj.Read(dir.File("a.dcm")));
  const DcmObj* at = &obj;
  for (int level = 0; level < 256; ++level) {
    ASSERT_EQ(at->Count(), 1);
    at = at->ObjAt(0);
    ASSERT_NE(at, nullptr) << level;
  }
  EXPECT_EQ(at->GetString(0x0010, 0x0010), "Doe");
  ASSERT_TRUE(obj.Write(dir.File("b.dcm")));
  const Bytes out = ReadAll(dir.File("b.dcm"));
  EXPECT_EQ(Bytes(out.end() - dataSet.size(), out.end()), dataSet);
}

TEST(HostileInput, ShortAndUnterminatedValues) {
  Bytes dataSet = Explicit(0x0028, 0x0010, "US", {0x07});  // a 1-byte US
  Append(dataSet, Explicit(0x0028, 0x0011, "UL", {0x01, 0x02, 0x03}));
  Append(dataSet, Explicit(0x0040, 0x9224, "FD", {0x01}));
  Append(dataSet, Explicit(0x0010, 0x0020, "LO", Text("ABCDEFG")));  // odd, no terminator, last
  TempDir dir;
  WriteAll(dir.File("a.dcm"), Part10(kExplicitLE, dataSet));
  DcmObj obj;
  ASSERT_TRUE(obj.Read(dir.File("a.dcm")));
  EXPECT_EQ(obj.GetUShort(0x0028, 0x0010), 0);
  EXPECT_EQ(obj.TagAt(1)->GetULong(), 0u);
  EXPECT_EQ(obj.GetString(0x0010, 0x0020), "ABCDEFG");
  EXPECT_FLOAT_EQ(obj.TagAt(3)->GetFloat(), 0.0f);
  std::vector<std::string> lines;
  obj.Dump(lines, 0);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "(0028,0010),  1, US, Rows: 7",
                       "(0028,0011),  3, UL, Columns: 197121",
                       "(0040,9224),  1, FD, Real World Value Intercept: \x01",
                       "(0010,0020),  7, LO, Patient ID: ABCDEFG",
                   }));
}

TEST(HostileInput, TrailingBytesAreIgnored) {
  const Bytes dataSet = Explicit(0x0010, 0x0010, "PN", Text("Doe "));
  for (uint8_t fill : {0x00, 0x08, 0x41, 0xFF}) {
    for (size_t extra = 1; extra <= 7; ++extra) {
      Bytes file = Part10(kExplicitLE, dataSet);
      file.resize(file.size() + extra, fill);
      const Outcome o = ReadFile(file);
      EXPECT_TRUE(o.read) << extra;
      EXPECT_EQ(o.count, 1);
      EXPECT_TRUE(o.lines.empty());
    }
  }
}

TEST(HostileInput, CodecReadsOnEmptyAndSeekedStreams) {
  BufData codec(false);
  uint16_t u16 = 7;
  uint32_t u32 = 7;
  EXPECT_FALSE(codec.ReadU16(u16));
  EXPECT_FALSE(codec.ReadU32(u32));
  EXPECT_EQ(u16, 0);
  EXPECT_EQ(u32, 0u);
  DcmTag tag;
  EXPECT_FALSE(codec.ReadTag(tag, true));
  codec.WriteBytes("\x10\x00", 2);
  codec.SetPosition(100);
  DcmObj obj;
  EXPECT_TRUE(codec.ReadOjb(obj));
  EXPECT_EQ(obj.Count(), 0);
  std::string syntax = "x";
  EXPECT_FALSE(codec.ReadMetaHeader(syntax));
  EXPECT_EQ(codec.GetSize(), 0u);
}

}  // namespace
