// Part 10 files: the file meta header we write, byte for byte; what reading accepts and refuses;
// transfer syntaxes; saving through the file layer.
#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "dicom/BufData.h"
#include "dicom/DcmObj.h"
#include "platform/Files.h"
#include "tests/dicom/TestSupport.h"

namespace {

const std::string kClass30 = "1.2.840.10008.5.1.4.1.1.9.1.10";               // 30 characters
const std::string kInstance40 = "1.2.3.4.5.6.7.8.9.10.11.12.13.14.15.16.1";  // 40 characters

uint32_t U32At(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

TEST(Part10Write, FileMetaHeaderIsExact) {
  ASSERT_EQ(kClass30.size(), 30u);
  ASSERT_EQ(kInstance40.size(), 40u);
  TempDir dir;
  DcmObj obj;
  obj.transferSyntax = kExplicitLE;
  obj.explicitVR = true;
  obj.SetString(0x0008, 0x0016, kClass30);
  obj.SetString(0x0008, 0x0018, kInstance40);
  ASSERT_TRUE(obj.Write(dir.File("a.dcm")));
  const Bytes file = ReadAll(dir.File("a.dcm"));
  Bytes wanted(128, 0);
  Append(wanted, Text("DICM"));
  Append(wanted, {0x02, 0x00, 0x00, 0x00, 'U', 'L', 0x04, 0x00, 186, 0, 0, 0});
  Append(wanted, {0x02, 0x00, 0x01, 0x00, 'O', 'B', 0, 0, 0x02, 0, 0, 0, 0x00, 0x01});
  Append(wanted, Explicit(0x0002, 0x0002, "UI", Text(kClass30)));
  Append(wanted, Explicit(0x0002, 0x0003, "UI", Text(kInstance40)));
  Append(wanted, Explicit(0x0002, 0x0010, "UI", Text(std::string(kExplicitLE) + '\0')));
  Append(wanted, Explicit(0x0002, 0x0012, "UI", Text("2.25.304991017046338021517.999")));
  Append(wanted, Explicit(0x0002, 0x0013, "SH", Text(std::string("Nolvertasco") + '\0')));
  ASSERT_EQ(wanted.size(), 330u);
  ASSERT_GE(file.size(), 330u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 330), wanted);
  Bytes dataSet = Explicit(0x0008, 0x0016, "UI", Text(kClass30));
  Append(dataSet, Explicit(0x0008, 0x0018, "UI", Text(kInstance40)));
  EXPECT_EQ(Bytes(file.begin() + 330, file.end()), dataSet);
}

TEST(Part10Write, OddAndMissingUids) {
  TempDir dir;
  DcmObj odd;
  odd.SetString(0x0008, 0x0016, "1.2.840.10008.5.1.4.1.1.9.1.1");  // 29 characters
  ASSERT_TRUE(odd.Write(dir.File("odd.dcm")));
  Bytes file = ReadAll(dir.File("odd.dcm"));
  EXPECT_EQ(file[164], 30);  // (0002,0002) length
  EXPECT_EQ(file[166 + 29], 0x00);
  DcmObj none;
  ASSERT_TRUE(none.Write(dir.File("none.dcm")));
  file = ReadAll(dir.File("none.dcm"));
  EXPECT_EQ(
      Bytes(file.begin() + 158, file.begin() + 174),
      (Bytes{0x02, 0x00, 0x02, 0x00, 'U', 'I', 0, 0, 0x02, 0x00, 0x03, 0x00, 'U', 'I', 0, 0}));
  EXPECT_EQ(U32At(file, 140), 96u + 18u);  // only the implicit syntax UID: 17 -> 18 bytes
}

TEST(Part10Write, FailsWhenTheFolderIsMissingOrSavingFails) {
  TempDir dir;
  DcmObj obj;
  EXPECT_FALSE(obj.Write(dir.File("missing/a.dcm")));

  struct FullDisk : FileSystem {
    std::string tried;
    int CreateTemporary(const std::string& path, std::string& temporary) override {
      tried = path;
      temporary.clear();
      return -1;
    }
  } full;
  SetFiles(&full);
  const bool written = obj.Write(dir.File("b.dcm"));
  SetFiles(nullptr);
  EXPECT_FALSE(written);
  EXPECT_EQ(full.tried, dir.File("b.dcm"));
}

// The file is encoded straight into the file, in pieces; a sequence larger than one piece has
// its length filled in after its content went to the disk. Its bytes must be those of the
// encoding in memory, whatever the piece boundaries.
TEST(Part10Write, LargeSequencesAreWrittenAsEncodedInMemory) {
  TempDir dir;
  for (const bool bigEndian : {false, true}) {
    DcmObj obj;
    obj.explicitVR = true;
    obj.transferSyntax = bigEndian ? kExplicitBE : kExplicitLE;
    obj.SetString(0x0008, 0x0018, "1.2.3.4");
    obj.SetString(0x0010, 0x0010, "Doe^Jane");
    // A waveform sequence of two items, each with 150,000 bytes of samples between small
    // elements, then an element after the sequence.
    auto* sequence = new DcmObj;
    for (int item = 0; item < 2; ++item) {
      auto* content = new DcmObj;
      content->SetString(0x003A, 0x0005, "12");
      Bytes samples(150000);
      for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7 + item);
      content->Add(
          new DcmTag(0x5400, 0x1010, static_cast<uint32_t>(samples.size()), samples.data(), "OW"));
      content->SetString(0x5400, 0x1006, "SS");
      content->header->group = 0xFFFE;
      content->header->element = 0xE000;
      sequence->Add(content);
    }
    obj.InsertSequence(0x5400, 0x0100, sequence);
    obj.SetString(0x5600, 0x0010, "after");

    BufData memory(false);
    memory.WriteMetaHeader("", "1.2.3.4", obj.transferSyntax);
    memory.WriteObj(obj);
    const std::string path = dir.File(bigEndian ? "be.dcm" : "le.dcm");
    ASSERT_TRUE(obj.Write(path));
    EXPECT_EQ(ReadAll(path), memory.MS.Bytes()) << bigEndian;
    DcmObj back;
    ASSERT_TRUE(back.Read(path));
    EXPECT_EQ(back.GetString(0x5600, 0x0010), "after");
  }
}

TEST(Part10Write, GroupTwoInsideTheDataSetIsNotWritten) {
  TempDir dir;
  DcmObj obj;
  obj.explicitVR = true;
  obj.transferSyntax = kExplicitLE;
  obj.Add(new DcmTag(0x0002, 0x0010, std::string(kExplicitBE), "UI"));  // a stale copy
  obj.SetString(0x0010, 0x0010, "Doe");
  ASSERT_TRUE(obj.Write(dir.File("a.dcm")));
  DcmObj back;
  ASSERT_TRUE(back.Read(dir.File("a.dcm")));
  EXPECT_EQ(back.transferSyntax, kExplicitLE);
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back.GetString(0x0010, 0x0010), "Doe");
}

TEST(Part10Read, RefusesFilesWithoutDicmAndKeepsTheDataSet) {
  TempDir dir;
  LogCapture log;
  Bytes bare = Explicit(0x0008, 0x0060, "CS", Text("ECG "));
  WriteAll(dir.File("bare.dcm"), bare);
  Bytes wrongMagic = Part10(kExplicitLE, bare);
  wrongMagic[131] = 'N';
  WriteAll(dir.File("magic.dcm"), wrongMagic);
  for (const std::string name : {"bare.dcm", "magic.dcm", "absent.dcm", ""}) {
    DcmObj obj;
    obj.transferSyntax = "keep";
    obj.SetString(0x0010, 0x0010, "Doe");
    EXPECT_FALSE(obj.Read(name.empty() ? dir.path() : dir.File(name))) << name;
    EXPECT_EQ(obj.transferSyntax, "keep");
    EXPECT_EQ(obj.Count(), 1);
  }
  EXPECT_TRUE(log.Lines().empty());
}

TEST(Part10Read, SyntaxesDecideTheCoding) {
  TempDir dir;
  const struct {
    const char* syntax;
    bool explicitVR;
    Bytes dataSet;
  } cases[] = {
      {kImplicitLE, false, Implicit(0x0010, 0x0010, Text("Doe "))},
      {kExplicitLE, true, Explicit(0x0010, 0x0010, "PN", Text("Doe "))},
      {kExplicitBE, true, Explicit(0x0010, 0x0010, "PN", Text("Doe "), -1, true)},
      {"1.2.840.10008.1.2.4.70", true, Explicit(0x0010, 0x0010, "PN", Text("Doe "))},
  };
  for (const auto& c : cases) {
    WriteAll(dir.File("a.dcm"), Part10(c.syntax, c.dataSet));
    DcmObj obj;
    ASSERT_TRUE(obj.Read(dir.File("a.dcm"))) << c.syntax;
    EXPECT_EQ(obj.transferSyntax, c.syntax);
    EXPECT_EQ(obj.explicitVR, c.explicitVR);
    EXPECT_EQ(obj.GetString(0x0010, 0x0010), "Doe");
    EXPECT_EQ(obj.TagAt(0)->VR(), "PN");
    // Written back, the data set keeps its coding.
    ASSERT_TRUE(obj.Write(dir.File("b.dcm")));
    const Bytes out = ReadAll(dir.File("b.dcm"));
    const size_t start = 144 + U32At(out, 140);
    EXPECT_EQ(Bytes(out.begin() + start, out.end()), c.dataSet) << c.syntax;
  }
}

TEST(Part10Read, MetaOnlyMissingSyntaxAndAppending) {
  TempDir dir;
  WriteAll(dir.File("meta.dcm"), Part10(kImplicitLE, {}));
  DcmObj obj;
  ASSERT_TRUE(obj.Read(dir.File("meta.dcm")));
  EXPECT_EQ(obj.Count(), 0);
  EXPECT_EQ(obj.transferSyntax, kImplicitLE);

  Bytes noSyntax(128, 0);
  Append(noSyntax, Text("DICM"));
  Append(noSyntax, Explicit(0x0002, 0x0001, "OB", {0, 1}));
  Append(noSyntax, Explicit(0x0010, 0x0010, "PN", Text("Doe ")));
  WriteAll(dir.File("nosyntax.dcm"), noSyntax);
  DcmObj plain;
  ASSERT_TRUE(plain.Read(dir.File("nosyntax.dcm")));
  EXPECT_EQ(plain.transferSyntax, "");
  EXPECT_TRUE(plain.explicitVR);
  EXPECT_EQ(plain.GetString(0x0010, 0x0010), "Doe");
  // Reading again appends.
  ASSERT_TRUE(plain.Read(dir.File("nosyntax.dcm")));
  EXPECT_EQ(plain.Count(), 2);
}

// The meta group ends at the first element outside group 0002: elements of groups 0000 and 0001
// that follow it belong to the data set and are read in its coding.
TEST(Part10Read, LowGroupsAfterTheMetaGroupBelongToTheDataSet) {
  TempDir dir;
  LogCapture log;
  Bytes dataSet = Implicit(0x0001, 0x0010, Text("AB"));
  Append(dataSet, Implicit(0x0010, 0x0010, Text("Doe ")));
  WriteAll(dir.File("a.dcm"), Part10(kImplicitLE, dataSet));
  DcmObj obj;
  ASSERT_TRUE(obj.Read(dir.File("a.dcm")));
  EXPECT_EQ(obj.transferSyntax, kImplicitLE);
  EXPECT_FALSE(obj.explicitVR);
  ASSERT_EQ(obj.Count(), 2);
  EXPECT_EQ(obj.TagAt(0)->group, 0x0001);
  EXPECT_EQ(obj.TagAt(0)->length, 2u);
  EXPECT_EQ(obj.GetString(0x0010, 0x0010), "Doe");
  EXPECT_TRUE(log.Lines().empty());
}

TEST(Part10Read, BigEndianFirstElementIsNotDecodedAsMeta) {
  // A big-endian data set whose first element would claim a huge length if read little endian.
  TempDir dir;
  LogCapture log;
  const Bytes dataSet = Explicit(0x0008, 0x0005, "OB", Bytes(2, 'x'), -1, true);
  WriteAll(dir.File("a.dcm"), Part10(kExplicitBE, dataSet));
  DcmObj obj;
  ASSERT_TRUE(obj.Read(dir.File("a.dcm")));
  EXPECT_EQ(obj.Count(), 1);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(Part10Read, NewerVRsHaveFourByteLengths) {
  TempDir dir;
  Bytes dataSet;
  const char* vrs[] = {"OD", "OL", "OV", "SV", "UC", "UR", "UV"};
  uint16_t element = 0x1000;
  for (const char* vr : vrs) Append(dataSet, Explicit(0x0011, element++, vr, Bytes(8, 'a')));
  WriteAll(dir.File("a.dcm"), Part10(kExplicitLE, dataSet));
  DcmObj obj;
  ASSERT_TRUE(obj.Read(dir.File("a.dcm")));
  ASSERT_EQ(obj.Count(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(obj.TagAt(i)->VR(), vrs[i]);
    EXPECT_EQ(obj.TagAt(i)->length, 8u);
  }
  ASSERT_TRUE(obj.Write(dir.File("b.dcm")));
  const Bytes out = ReadAll(dir.File("b.dcm"));
  EXPECT_EQ(Bytes(out.end() - dataSet.size(), out.end()), dataSet);
}

TEST(Part10Read, TwelveLeadEcgSample) {
  DcmObj obj;
  ASSERT_TRUE(obj.Read(Fixture("waveform_ecg.dcm")));
  EXPECT_EQ(obj.transferSyntax, kExplicitLE);
  EXPECT_EQ(obj.GetString(0x0008, 0x0060), "ECG");
  EXPECT_EQ(obj.GetString(0x0008, 0x0016), "1.2.840.10008.5.1.4.1.1.9.1.1");
  // The Waveform Sequence has undefined length: it stays flat, its groups not top-level.
  int opener = -1;
  for (int i = 0; i < obj.Count(); ++i) {
    DcmTag* t = obj.TagAt(i);
    if (t && t->group == 0x5400 && t->element == 0x0100) opener = i;
  }
  ASSERT_GE(opener, 0);
  EXPECT_EQ(obj.TagAt(opener)->length, kUndefinedLength);
  EXPECT_EQ(obj.GetUShort(0x003A, 0x0005), 0);  // Number of Waveform Channels is inside it
  std::vector<std::string> lines;
  obj.Dump(lines, 0);
  EXPECT_EQ(static_cast<int>(lines.size()), obj.Count());
  EXPECT_EQ(lines[3],
            "(0008,0016), 30, UI, SOP Class UID: 1.2.840.10008.5.1.4.1.1.9.1.1 "
            "(Twelve Lead ECG Waveform Storage) ");
}

TEST(Part10Read, BigEndianAndImplicitSamplesReadTheSame) {
  DcmObj little, big, implicit;
  ASSERT_TRUE(little.Read(Fixture("MR_small.dcm")));
  ASSERT_TRUE(big.Read(Fixture("MR_small_bigendian.dcm")));
  ASSERT_TRUE(implicit.Read(Fixture("MR_small_implicit.dcm")));
  EXPECT_EQ(big.transferSyntax, kExplicitBE);
  EXPECT_FALSE(implicit.explicitVR);
  EXPECT_EQ(little.GetString(0x0010, 0x0010), big.GetString(0x0010, 0x0010));
  EXPECT_EQ(little.GetString(0x0020, 0x000D), implicit.GetString(0x0020, 0x000D));
  // Values stay in stream byte order: Rows reads swapped from a big-endian object.
  EXPECT_EQ(little.GetUShort(0x0028, 0x0010), 64);
  EXPECT_EQ(big.GetUShort(0x0028, 0x0010), 64 << 8);
}

// Files are read into and encoded in a buffer kept per thread. Whatever an earlier, larger file
// left in it must not show in a later read or write: each result equals that of a thread that
// never read anything before.
TEST(Part10Read, AReusedFileBufferLeavesNoTrace) {
  TempDir dir;
  auto readAndWrite = [&](const std::string& name, const std::string& out) {
    DcmObj obj;
    const bool read = obj.Read(Fixture(name));
    std::vector<std::string> dump;
    obj.Dump(dump, 0);
    const bool written = obj.Write(dir.File(out));
    return std::make_tuple(read, dump, written, ReadAll(dir.File(out)));
  };
  for (const char* name : {"MR_small_implicit.dcm", "MR_truncated.dcm", "rtplan_truncated.dcm",
                           "ExplVR_BigEnd.dcm", "no_meta.dcm"}) {
    SCOPED_TRACE(name);
    decltype(readAndWrite(name, "")) fresh;
    std::thread([&] { fresh = readAndWrite(name, "fresh.dcm"); }).join();
    readAndWrite("waveform_ecg.dcm", "large.dcm");  // fills this thread's buffers
    EXPECT_EQ(readAndWrite(name, "reused.dcm"), fresh);
  }
}

}  // namespace
