// DIMSE command sets: all eight messages are written through an association over an in-memory
// socket, then decoded by pydicom (implicit VR little endian), which checks that (0000,0000)
// equals the bytes after it and that tags ascend.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/util/Log.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/UniqueId.h"
#include "tests/net/MemorySocket.h"
#include "tests/net/PeerSupport.h"

namespace {

const std::string kFindClass = "1.2.840.10008.5.1.4.1.2.2.1";
const std::string kMoveClass = "1.2.840.10008.5.1.4.1.2.2.2";
const std::string kEcgClass = "1.2.840.10008.5.1.4.1.1.9.1.1";

// An association standing on context 1 (implicit VR) over a MemorySocket.
struct MemoryAssociation {
  explicit MemoryAssociation(std::vector<uint8_t> script = {}) : socket(std::move(script)) {
    pdu.Link.UseSocket(&socket);
    pdu.assocRQ.UserInfo.MaxSubLength.MaximumLength = 16384;
    auto* accepted = new PresentationContextAccept;
    accepted->PresentationContextID = 1;
    accepted->Result = 0;
    accepted->SetTransferSyntax("1.2.840.10008.1.2");
    pdu.assocAC.AddPresContextAccept(accepted);
    pdu.AcceptedContexts.push_back(accepted);
    pdu.pdata.PresentationContextID = 1;
  }
  MemorySocket socket;
  PDU_Service pdu;
};

// The command sets among the PDVs sent (control bit 0x01), one byte string per message.
std::vector<std::string> CommandSets(const std::vector<uint8_t>& wire) {
  std::vector<std::string> messages;
  std::string current;
  size_t at = 0;
  while (at + 12 <= wire.size()) {
    uint32_t pduLength =
        uint32_t(wire[at + 2]) << 24 | wire[at + 3] << 16 | wire[at + 4] << 8 | wire[at + 5];
    uint32_t pdvLength =
        uint32_t(wire[at + 6]) << 24 | wire[at + 7] << 16 | wire[at + 8] << 8 | wire[at + 9];
    uint8_t control = wire[at + 11];
    if (control & 1) {
      current.append(wire.begin() + long(at) + 12, wire.begin() + long(at) + 12 + (pdvLength - 2));
      if (control & 2) messages.push_back(std::exchange(current, {}));
    }
    at += 6 + pduLength;
  }
  return messages;
}

// pydicom decodes each command set; one line per message, printed by `printLine` (Python, with
// the data set as `ds`). By default "<group length> <command field>".
std::vector<std::string> DecodeWithPydicom(
    const std::vector<std::string>& messages,
    const std::string& printLine = "print(ds[0x00000000].value, ds[0x00000100].value)") {
  TempFolder temp("trevalind-net-dimse");
  const std::string& folder = temp.path();
  std::string script = folder + "decode.py";
  std::ofstream(script)
      << "import sys\nfrom io import BytesIO\nfrom pydicom.filereader import read_dataset\n"
         "for path in sys.argv[1:]:\n"
         "    raw = open(path, 'rb').read()\n"
         "    ds = read_dataset(BytesIO(raw), True, True)\n"
         "    tags = [int(e.tag) for e in ds]\n"
         "    assert tags == sorted(tags), tags\n"
         "    assert ds[0x00000000].value == len(raw) - 12, (ds[0x00000000].value, len(raw))\n"
         "    "
      << printLine << "\n";
  std::string arguments;
  for (size_t i = 0; i < messages.size(); ++i) {
    std::string path = folder + "m" + std::to_string(i);
    std::ofstream(path, std::ios::binary) << messages[i];
    arguments += " " + path;
  }
  std::string out = folder + "out.txt";
  int rc = RunBounded("/usr/bin/python3 " + script + arguments, 60, out);
  std::vector<std::string> lines;
  std::istringstream text(ReadWholeFile(out));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  if (rc != 0) lines.push_back("pydicom failed: " + ReadWholeFile(out));
  return lines;
}

std::unique_ptr<DcmObj> RequestCommand(const std::string& sopClass, uint16_t field) {
  auto request = std::make_unique<DcmObj>();
  request->Insert(new DcmTag(0, 0x0002, sopClass, "UI"));
  request->Insert(new DcmTag(0, 0x0100, field, "US"));
  request->Insert(new DcmTag(0, 0x0110, uint16_t(7), "US"));
  request->Insert(new DcmTag(0, 0x0800, uint16_t(0x0102), "US"));
  request->Insert(new DcmTag(0, 0x1000, std::string("1.2.3.4"), "UI"));
  return request;
}

TEST(DimseTest, AllEightCommandSetsDecodeWithTheirGroupLengths) {
  MemoryAssociation a;
  DcmObj identifier;
  identifier.Insert(new DcmTag(0x0008, 0x0052, std::string("STUDY"), "CS"));
  DcmObj dataSet;
  dataSet.Insert(new DcmTag(0x0008, 0x0018, std::string("1.2.3.4"), "UI"));
  ResetUniqueId();
  ASSERT_TRUE(CEcho::WriteRQ(&a.pdu, "1.2.840.10008.1.1"));
  ASSERT_TRUE(CEcho::WriteRSP(&a.pdu, RequestCommand("1.2.840.10008.1.1", C_ECHO_RQ).get()));
  ASSERT_TRUE(CFind::WriteRQ(&a.pdu, &identifier, kFindClass));
  ASSERT_TRUE(
      CFind::WriteRSP(&a.pdu, RequestCommand(kFindClass, C_FIND_RQ).get(), &identifier, 0xFF00));
  ASSERT_TRUE(CFind::WriteRSP(&a.pdu, RequestCommand(kFindClass, C_FIND_RQ).get(), nullptr, 0));
  ASSERT_TRUE(CMove::WriteRQ(&a.pdu, &identifier, kMoveClass, "DEST5"));
  ASSERT_TRUE(CMove::WriteRSP(&a.pdu, RequestCommand(kMoveClass, C_MOVE_RQ).get(), 0xFF00, 3));
  ASSERT_TRUE(CMove::WriteRSP(&a.pdu, RequestCommand(kMoveClass, C_MOVE_RQ).get(), 0, 0, 4));
  ASSERT_TRUE(CStore::WriteRQ(&a.pdu, &dataSet, kEcgClass));
  ASSERT_TRUE(CStore::WriteRSP(&a.pdu, RequestCommand(kEcgClass, C_STORE_RQ).get(), 0));
  const std::vector<std::string> expected = {
      "56 48",                                 // C-ECHO-RQ: 18 + 38
      "66 32816",                              // C-ECHO-RSP: 18 + 48
      "76 32",                                 // C-FIND-RQ: 28 + 48
      "76 32800",                              // C-FIND-RSP with identifier
      "76 32800",                              // C-FIND-RSP without
      "90 33",                                 // C-MOVE-RQ: 28 + 6 + 56
      "86 32801",                              // pending C-MOVE-RSP: 28 + 58
      "116 32801",                             // final C-MOVE-RSP with its three counts
      std::to_string(30 + 48 + 8 + 8) + " 1",  // C-STORE-RQ: 30 + 48 + (8 + 8)
      std::to_string(30 + 8 + 56) + " 32769",  // C-STORE-RSP: 30 + 8 + 56
  };
  EXPECT_EQ(DecodeWithPydicom(CommandSets(a.socket.sent)), expected);
}

TEST(DimseTest, CommandSetsCarryTheirElements) {
  MemoryAssociation a;
  DcmObj identifier;
  identifier.Insert(new DcmTag(0x0008, 0x0052, std::string("STUDY"), "CS"));
  DcmObj withoutInstance;
  withoutInstance.Insert(new DcmTag(0x0010, 0x0020, std::string("ID"), "LO"));
  ResetUniqueId();
  ASSERT_TRUE(CEcho::WriteRQ(&a.pdu, "1.2.840.10008.1.1"));
  // An echo request that announces a data set is answered with the same Data Set Type.
  ASSERT_TRUE(CEcho::WriteRSP(&a.pdu, RequestCommand("1.2.840.10008.1.1", C_ECHO_RQ).get()));
  ASSERT_TRUE(CStore::WriteRQ(&a.pdu, &withoutInstance, kEcgClass));
  ASSERT_TRUE(CStore::WriteRSP(&a.pdu, RequestCommand(kEcgClass, C_STORE_RQ).get(), 0xA700));
  ASSERT_TRUE(CFind::WriteRQ(&a.pdu, &identifier, kFindClass));
  ASSERT_TRUE(CFind::WriteRSP(&a.pdu, RequestCommand(kFindClass, C_FIND_RQ).get(), nullptr, 0));
  ASSERT_TRUE(CMove::WriteRQ(&a.pdu, &identifier, kMoveClass, "DEST5"));
  ASSERT_TRUE(CMove::WriteRSP(&a.pdu, RequestCommand(kMoveClass, C_MOVE_RQ).get(), 0xFF00, 3));
  ASSERT_TRUE(CMove::WriteRSP(&a.pdu, RequestCommand(kMoveClass, C_MOVE_RQ).get(), 0, 0, 4, 1, 2));
  const std::string echo = "0002=1.2.840.10008.1.1", store = "0002=" + kEcgClass;
  const std::string find = "0002=" + kFindClass, move = "0002=" + kMoveClass;
  const std::vector<std::string> expected = {
      "0000=56 " + echo + " 0100=48 0110=1 0800=257",
      "0000=66 " + echo + " 0100=32816 0120=7 0800=258 0900=0",
      // No (0000,1000) for a data set without SOP Instance UID: 30 + 48.
      "0000=78 " + store + " 0100=1 0110=3 0700=0 0800=258",
      "0000=94 " + store + " 0100=32769 0120=7 0800=257 0900=42752 1000=1.2.3.4",
      "0000=76 " + find + " 0100=32 0110=5 0700=0 0800=258",
      "0000=76 " + find + " 0100=32800 0120=7 0800=257 0900=0",
      "0000=90 " + move + " 0100=33 0110=7 0600=DEST5 0700=0 0800=258",
      "0000=86 " + move + " 0100=32801 0120=7 0800=257 0900=65280 1020=3",
      "0000=116 " + move + " 0100=32801 0120=7 0800=257 0900=0 1020=0 1021=4 1022=1 1023=2",
  };
  EXPECT_EQ(DecodeWithPydicom(CommandSets(a.socket.sent),
                              "print(' '.join('%04x=%s' % (e.tag.element, e.value) for e in ds))"),
            expected);
}

TEST(DimseTest, RefusalsSendNothing) {
  MemoryAssociation a;
  DcmObj empty;
  // A C-FIND-RQ that would announce an identifier it never sends leaves the peer waiting.
  EXPECT_FALSE(CFind::WriteRQ(&a.pdu, &empty, kFindClass));
  auto noInstance = RequestCommand(kEcgClass, C_STORE_RQ);
  noInstance->Delete(noInstance->Count() - 1);
  EXPECT_FALSE(CStore::WriteRSP(&a.pdu, noInstance.get(), 0));
  auto noClass = std::make_unique<DcmObj>();
  EXPECT_FALSE(CEcho::WriteRSP(&a.pdu, noClass.get()));
  EXPECT_TRUE(a.socket.sent.empty());
  auto withoutData = RequestCommand(kEcgClass, C_STORE_RQ);
  withoutData->Insert(new DcmTag(0, 0x0800, uint16_t(0x0101), "US"));
  EXPECT_FALSE(CStore::ReadRQ(&a.pdu, withoutData.get(), &empty));
}

TEST(DimseTest, ResponsesAreReadBack) {
  // Write a C-STORE-RSP with 0xA700 and a C-FIND-RSP without identifier, then read both back.
  MemoryAssociation writer;
  ASSERT_TRUE(CStore::WriteRSP(&writer.pdu, RequestCommand(kEcgClass, C_STORE_RQ).get(), 0xA700));
  ASSERT_TRUE(
      CFind::WriteRSP(&writer.pdu, RequestCommand(kFindClass, C_FIND_RQ).get(), nullptr, 0));
  MemoryAssociation reader(writer.socket.sent);
  TempFolder folder("trevalind-net-dimse-log");
  LogInit(folder / "test.log", "", "");
  EXPECT_EQ(CStore::ReadRSP(&reader.pdu), 42752);
  LogFree();
  EXPECT_NE(ReadWholeFile(folder / "test.log").find("ERROR, CStore::ReadRSP, status == 42752"),
            std::string::npos);
  DcmObj identifier;
  EXPECT_EQ(CFind::ReadRSP(&reader.pdu, &identifier), 0);
  EXPECT_EQ(identifier.Count(), 0);
}

TEST(DimseTest, StatusTableListsEveryServiceStatus) {
  struct Row {
    uint16_t status;
    const char* responses;
  };
  const Row expected[] = {{0x0000, "C-ECHO-RSP C-FIND-RSP C-MOVE-RSP C-STORE-RSP"},
                          {0xFF00, "C-FIND-RSP C-MOVE-RSP"},
                          {0xFE00, "C-FIND-RSP"},
                          {0xC000, "C-FIND-RSP C-MOVE-RSP"},
                          {0xA700, "C-STORE-RSP"},
                          {0xA702, "C-STORE-RSP C-MOVE-RSP"},
                          {0xA703, "C-STORE-RSP"},
                          {0xA710, "C-STORE-RSP"},
                          {0xA801, "C-MOVE-RSP"},
                          {0xA900, "C-MOVE-RSP C-STORE-RSP"},
                          {0xB000, "C-MOVE-RSP"}};
  int rows = 0;
  for (const StatusEntry* e = kDimseStatusTable; e->meaning; ++e) ++rows;
  EXPECT_EQ(rows, 11);
  ASSERT_EQ(rows, static_cast<int>(std::size(expected)));
  for (int i = 0; i < rows; ++i) {
    const StatusEntry& e = kDimseStatusTable[i];
    EXPECT_EQ(e.status, expected[i].status) << i;
    EXPECT_STREQ(e.responses, expected[i].responses) << i;
    EXPECT_NE(std::string(e.meaning), "") << i;
  }
}

}  // namespace
