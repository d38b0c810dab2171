// Hostile bytes against the acceptor: each row ends with its outcome (the PDUs that come back
// and the log line), in bounded time, and a normal echo still works afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include "dicom/util/Log.h"
#include "tests/net/Fixtures.h"
#include "tests/net/LoggedTest.h"
#include "tests/net/PeerSupport.h"
#include "tests/net/RawPeer.h"

namespace fs = std::filesystem;

namespace {

const std::string kCtImage = "1.2.840.10008.5.1.4.1.1.2";
const std::string kExplicitBE = "1.2.840.10008.1.2.2";

Bytes RequestWith(const Bytes& items) {
  return AssociatePdu(0x01, "ANY-SCP", "RAW", Cat({UidItem(0x10, kAppContext), items}));
}
Bytes EchoContext() { return PresentationContextItem(1, kVerification, {kImplicitLE}); }
Bytes OurUserInfo() { return UserInfoItem(16384, "1.2.3.4", "RAW"); }
Bytes PduWithLength(uint8_t type, uint32_t length, size_t bodyBytes) {
  Bytes b{type, 0};
  Put32(b, length);
  b.resize(b.size() + bodyBytes, 0);
  return b;
}
// An echo request followed by `after` (sent once the association stands).
Bytes Associated(const Bytes& after) { return Cat({EchoRequest210(), after}); }

Bytes Role1000() {
  Bytes body;
  Put16(body, 1000);
  PutText(body, std::string(1000, '1'));
  body.insert(body.end(), {1, 1});
  return Item(0x54, body);
}
Bytes Identity65535() {
  Bytes body{2, 1};
  Put16(body, 0xFFFF);  // primary field runs past the item
  body.resize(0xFFFF - 4, 'x');
  return Item(0x58, body);
}
Bytes ManyContexts(int count) {
  Bytes items;
  for (int i = 0; i < count; ++i)
    items = Cat({items, PresentationContextItem(uint8_t(2 * i + 1), kVerification, {kImplicitLE})});
  return items;
}
Bytes WithSecret() {
  Bytes identity{2, 1};
  Put16(identity, 2);
  PutText(identity, "u1");
  Put16(identity, 6);
  PutText(identity, "secret");
  Bytes max{0x51, 0, 0, 4};
  Put32(max, 16384);
  Bytes user = Item(0x50, Cat({max, UidItem(0x52, "1.2.3"), Item(0x58, identity)}));
  return RequestWith(Cat({PresentationContextItem(1, "1.2.3.4.5.6.7", {kImplicitLE}), user}));
}

struct Row {
  const char* name;
  Bytes script;
  SendMode mode;
  std::vector<uint8_t> replyTypes;
  const char* logLine;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const Bytes kGet{'G', 'E', 'T', ' ', '/', ' ',  'H',  'T',  'T',
                 'P', '/', '1', '.', '0', '\r', '\n', '\r', '\n'};

std::vector<Row> Rows() {
  const char* kMultiplexError = "ERROR, PDU_Service::Multiplex assocRQ.Read()";
  const char* kProtocolError = "ERROR, PDU_Service::Read Protocol Error";
  const char* kCount = "WARNING, AAssociateRQ::Read Count=";
  const char* kReleased = "INFO, PDU_Service::Read Release-RQ";
  return {
      {"UidItemOfLength65535",
       RequestWith(Bytes{0x30, 0, 0xFF, 0xFF}),
       SendMode::Whole,
       {},
       kCount},
      {"RoleWith1000ByteUid",
       RequestWith(Cat({EchoContext(), Item(0x50, Role1000())})),
       SendMode::Whole,
       {2, 6},
       kReleased},
      {"MaxLengthItemOfLength0",
       RequestWith(
           Cat({EchoContext(), Item(0x50, Cat({Bytes{0x51, 0, 0, 0}, UidItem(0x52, "1")}))})),
       SendMode::Whole,
       {2, 6},
       kReleased},
      {"MaxLengthItemOfLength12",
       RequestWith(Cat({EchoContext(),
                        Item(0x50, Bytes{0x51, 0, 0, 12, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0, 0})})),
       SendMode::Whole,
       {2, 6},
       kReleased},
      {"RequestLength10", PduWithLength(1, 10, 10), SendMode::Whole, {7}, kMultiplexError},
      {"RequestLength7FFFFFFF",
       PduWithLength(1, 0x7FFFFFFF, 100),
       SendMode::Whole,
       {7},
       kMultiplexError},
      {"RequestLengthFFFFFFFF",
       PduWithLength(1, 0xFFFFFFFF, 100),
       SendMode::Whole,
       {7},
       kMultiplexError},
      {"ContextOfLength2",
       RequestWith(Cat({EchoContext(), Bytes{0x20, 0, 0, 2, 3, 0}, OurUserInfo()})),
       SendMode::Whole,
       {2, 6},
       "WARNING, PresentationContext::Read Count="},
      {"IdentityWith65535ByteFields",
       RequestWith(Cat({EchoContext(), Item(0x50, Identity65535())})),
       SendMode::Whole,
       {2, 6},
       kReleased},
      {"ThreeHundredContexts",
       RequestWith(Cat({ManyContexts(300), OurUserInfo()})),
       SendMode::Whole,
       {2, 6},
       kReleased},
      {"PdvLength0",
       Associated(PDataPdu(Bytes{0, 0, 0, 0, 1, 3})),
       SendMode::Whole,
       {2, 7},
       kProtocolError},
      {"PdvLength1",
       Associated(PDataPdu(Bytes{0, 0, 0, 1, 1, 3})),
       SendMode::Whole,
       {2, 7},
       kProtocolError},
      {"PdvPastItsPdu",
       Associated(PDataPdu(Bytes{0, 0, 0, 50, 1, 3, 0, 0})),
       SendMode::Whole,
       {2, 7},
       kProtocolError},
      {"PDataOfLength0",
       Associated(PduWithLength(4, 0, 0)),
       SendMode::Whole,
       {2, 7},
       kProtocolError},
      {"ReleaseOfLength0",
       Associated(PduWithLength(5, 0, 0)),
       SendMode::Whole,
       {2, 7},
       kProtocolError},
      {"ReleaseOfLengthFFFFFFFF",
       Associated(PduWithLength(5, 0xFFFFFFFF, 4)),
       SendMode::Whole,
       {2, 7},
       kProtocolError},
      // Every other PDU type is out of place once associated: the association ends.
      {"RequestMidAssociation",
       Associated(EchoRequest210()),
       SendMode::Whole,
       {2, 7},
       "ERROR, PDU_Service::Read Associate-RQ"},
      {"AcceptanceMidAssociation",
       Associated(AssociatePdu(0x02, "A", "B", UidItem(0x10, kAppContext))),
       SendMode::Whole,
       {2, 7},
       "ERROR, PDU_Service::Read Associate-AC"},
      {"RejectionMidAssociation",
       Associated(PduWithLength(3, 4, 4)),
       SendMode::Whole,
       {2, 7},
       "ERROR, PDU_Service::Read Associate-RJ"},
      {"ReleaseAnswerMidAssociation",
       Associated(kReleaseRPBytes),
       SendMode::Whole,
       {2},
       "WARNING, PDU_Service::Read Release-RSP"},
      {"AbortMidAssociation",
       Associated(kAbortPduBytes),
       SendMode::Whole,
       {2},
       "WARNING, PDU_Service::Read Abort-RQ"},
      {"PduType9", Associated(PduWithLength(9, 4, 4)), SendMode::Whole, {2, 7}, kProtocolError},
      {"HttpRequest", kGet, SendMode::Whole, {7}, kMultiplexError},
      {"RequestByteByByte", EchoRequest210(), SendMode::ByteByByte, {2, 6}, kReleased},
      {"ResetMidPdu", EchoRequest210(), SendMode::ResetMidway, {}, kMultiplexError},
      {"NoAcceptableContext",
       RequestWith(
           Cat({PresentationContextItem(1, kCtImage, {kExplicitBE}),
                PresentationContextItem(3, "1.2.3.4.5.6.7", {kImplicitLE}), OurUserInfo()})),
       SendMode::Whole,
       {2},
       "WARNING, no Valid Presentation Contexts"},
      {"IdentityNotEchoedOnRejection",
       WithSecret(),
       SendMode::Whole,
       {2},
       "WARNING, no Valid Presentation Contexts"},
  };
}

class MalformedTest : public LoggedTestBase<::testing::TestWithParam<Row>> {};

TEST_P(MalformedTest, EndsWithItsOutcomeAndEchoStillWorks) {
  const Row& row = GetParam();
  TestAcceptor acceptor("", 5);
  RawReply reply = SendRaw(acceptor.port(), row.script, row.mode);
  EXPECT_EQ(reply.types, row.replyTypes);
  for (size_t i = 0; i < reply.types.size(); ++i) {
    const Bytes& pdu = reply.pdus[i];
    if (pdu[0] == 0x07) {
      EXPECT_EQ(pdu, kAbortPduBytes);
    }
    if (pdu[0] == 0x06) {
      EXPECT_EQ(pdu, kReleaseRPBytes);
    }
    if (pdu[0] == 0x02) {
      // The answer never carries the requestor's passcode, and its lengths agree.
      std::string text(pdu.begin(), pdu.end());
      EXPECT_EQ(text.find("secret"), std::string::npos);
      size_t offset = 6 + 68;
      while (offset + 4 <= pdu.size())
        offset += 4 + (size_t(pdu[offset + 2]) << 8 | pdu[offset + 3]);
      EXPECT_EQ(offset, pdu.size());
    }
  }
  for (int i = 0; i < 100 && acceptor.associations() < 1; ++i) usleep(100000);
  EXPECT_EQ(acceptor.associations(), 1);
  std::string out = folder + "echoscu.txt";
  EXPECT_EQ(RunBounded("echoscu 127.0.0.1 " + std::to_string(acceptor.port()), 30, out), 0)
      << ReadWholeFile(out);
  EXPECT_NE(ReadWholeFile(folder + "test.log").find(row.logLine), std::string::npos) << row.logLine;
}

INSTANTIATE_TEST_SUITE_P(Rows, MalformedTest, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
