// Upper-layer codecs: decode named byte fixtures, check the fields, re-encode, compare bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "net/AssociationPdus.h"
#include "net/Buffer.h"
#include "net/PDataTF.h"
#include "net/PduItems.h"
#include "net/UniqueId.h"
#include "tests/net/Fixtures.h"
#include "tests/net/MemorySocket.h"

namespace {

// An in-memory big-endian link holding `bytes`.
struct MemoryLink {
  explicit MemoryLink(const Bytes& bytes = {}) {
    link.SetIncomingEndian(2);
    link.SetOutgoingEndian(2);
    if (!bytes.empty()) link.Feed(bytes.data(), uint32_t(bytes.size()));
  }
  Bytes Written() const { return link.PendingBytes(); }
  Buffer link;
};

// A link over a MemorySocket, so that flushes are captured.
struct SocketLink {
  explicit SocketLink(const Bytes& script = {}, uint32_t piece = 1024) : socket(script, piece) {
    link.UseSocket(&socket);
    link.SetIncomingEndian(2);
    link.SetOutgoingEndian(2);
  }
  MemorySocket socket;
  Buffer link;
};

TEST(BufferTest, TypedWritesAndReadsFollowTheByteOrder) {
  struct Case {
    int endian;
    Bytes u32;
    Bytes u16;
  };
  const Case cases[] = {{2, {0, 0, 0x40, 0}, {0, 1}}, {1, {0, 0x40, 0, 0}, {1, 0}}};
  for (const Case& c : cases) {
    Buffer out;
    out.SetOutgoingEndian(c.endian);
    out.WriteU32(16384).WriteU16(1);
    EXPECT_EQ(out.PendingBytes(), Cat({c.u32, c.u16})) << c.endian;
    Buffer in;
    in.SetIncomingEndian(c.endian);
    Bytes all = Cat({c.u32, c.u16});
    in.Feed(all.data(), uint32_t(all.size()));
    uint32_t v32 = 0;
    uint16_t v16 = 0;
    in.ReadU32(v32).ReadU16(v16);
    EXPECT_EQ(v32, 16384u);
    EXPECT_EQ(v16, 1u);
  }
}

TEST(BufferTest, ReadAsksForOneBlockAndKeepsTheRest) {
  Bytes script(3000);
  for (size_t i = 0; i < script.size(); ++i) script[i] = uint8_t(i);
  SocketLink s(script);
  uint8_t ten[10];
  ASSERT_TRUE(s.link.Read(ten, 10));
  EXPECT_EQ(s.socket.position, 1024u);
  EXPECT_EQ(s.link.available, 1014);
  Bytes big(2000);
  ASSERT_TRUE(s.link.Read(big.data(), 2000));
  EXPECT_EQ(big[0], 10);
  EXPECT_EQ(big[1999], uint8_t(2009));
}

TEST(BufferTest, FailedReadIsStickyAndYieldsZero) {
  Buffer link;
  Bytes two{1, 2};
  link.Feed(two.data(), 2);
  uint32_t value = 99;
  link.ReadU32(value);
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(link.Failed());
  uint8_t byte = 7;
  link.ReadByte(byte);
  EXPECT_EQ(byte, 0);
}

TEST(BufferTest, FlushSplitsAbove32600AndTransferChecksPending) {
  SocketLink s;
  Bytes data(40000, 0xAB);
  s.link.Write(data.data(), uint32_t(data.size()));
  ASSERT_TRUE(s.link.Flush());
  EXPECT_EQ(s.socket.sendCount, 2);
  EXPECT_EQ(s.socket.sent, data);
  EXPECT_TRUE(s.link.Flush());  // nothing pending: nothing sent
  EXPECT_EQ(s.socket.sendCount, 2);
  Buffer source, target;
  source.Write(data.data(), 10);
  EXPECT_FALSE(source.TransferTo(target, 11));
  EXPECT_EQ(source.pending, 10);
  EXPECT_EQ(target.pending, 0);
}

TEST(UidItemTest, TransferSyntaxItemHasNoPadding) {
  // 40 00 00 11 "1.2.840.10008.1.2" (17 characters, odd, unpadded)
  const Bytes fixture = UidItem(0x40, kImplicitLE);
  ASSERT_EQ(fixture.size(), 21u);
  MemoryLink in(fixture);
  UIDitem item;
  ASSERT_TRUE(item.Read(in.link));
  EXPECT_EQ(item.ItemType, 0x40);
  EXPECT_EQ(item.Length, 17);
  EXPECT_EQ(item.UID, kImplicitLE);
  MemoryLink out;
  item.Write(out.link);
  EXPECT_EQ(out.Written(), fixture);
}

TEST(UidItemTest, TrailingNulIsDroppedForComparisonButWrittenBack) {
  const Bytes fixture = UidItem(0x40, kExplicitLE + std::string(1, '\0'));
  MemoryLink in(fixture);
  UIDitem item;
  ASSERT_TRUE(item.Read(in.link));
  EXPECT_EQ(item.UID, kExplicitLE);
  EXPECT_EQ(item.Size(), fixture.size());
  MemoryLink out;
  item.Write(out.link);
  EXPECT_EQ(out.Written(), fixture);
}

TEST(AssociateRQTest, Decodes210ByteRequestAndReencodesIt) {
  const Bytes fixture = EchoRequest210();
  ASSERT_EQ(fixture.size(), 210u);
  MemoryLink in(fixture);
  AAssociateRQ rq;
  ASSERT_TRUE(rq.Read(in.link));
  EXPECT_EQ(rq.Length, 204u);
  EXPECT_EQ(rq.CalledTitle(), Title16("ANY-SCP"));
  EXPECT_EQ(rq.CallingTitle(), Title16("ECHOSCU"));
  EXPECT_EQ(rq.AppContext.UID, kAppContext);
  ASSERT_EQ(rq.PresContexts.size(), 1u);
  EXPECT_EQ(rq.PresContexts[0]->PresentationContextID, 1);
  EXPECT_EQ(rq.PresContexts[0]->AbsSyntax.UID, kVerification);
  ASSERT_EQ(rq.PresContexts[0]->TrnSyntax.size(), 1u);
  EXPECT_EQ(rq.UserInfo.MaxSubLength.MaximumLength, 16384u);
  EXPECT_EQ(rq.UserInfo.ImpVersion.UID, "Nolvertasco");

  SocketLink out;
  AAssociateRQ built;
  AAssociatePdu::SetTitle(built.CalledApTitle, "ANY-SCP");
  AAssociatePdu::SetTitle(built.CallingApTitle, "ECHOSCU");
  auto* context = new PresentationContext;
  context->PresentationContextID = 1;
  context->SetAbstractSyntax(kVerification);
  context->AddTransferSyntax(kImplicitLE);
  built.AddPresentationContext(context);
  built.UserInfo.MaxSubLength.MaximumLength = 16384;
  built.UserInfo.SetImpClass("2.25.304991017046338021517.999");
  built.UserInfo.SetImpVersion("Nolvertasco");
  ASSERT_TRUE(built.Write(out.link));
  EXPECT_EQ(out.socket.sent, fixture);
  EXPECT_EQ(out.socket.sendCount, 1);  // the whole PDU in one send
}

TEST(AssociateACTest, RejectedContextAnswerIsEightBytesLong) {
  // 21 00 00 08, ID 5, 00, result 4, 00, then 40 00 00 00 (empty transfer syntax)
  const Bytes fixture{0x21, 0, 0, 8, 5, 0, 4, 0, 0x40, 0, 0, 0};
  PresentationContextAccept answer;
  answer.PresentationContextID = 5;
  answer.Result = 4;
  answer.Size();
  MemoryLink out;
  answer.Write(out.link);
  EXPECT_EQ(out.Written(), fixture);
  MemoryLink in(Bytes(fixture.begin() + 1, fixture.end()));
  PresentationContextAccept read;
  ASSERT_TRUE(read.ReadDynamic(in.link));
  EXPECT_EQ(read.Result, 4);
  EXPECT_EQ(read.PresentationContextID, 5);
  EXPECT_EQ(read.Length, 8);
}

TEST(ShortPduTest, ReleaseAndAbortBytes) {
  SocketLink s;
  AReleaseRQ rq;
  AReleaseRP rp;
  AAbortRQ abort;
  rq.Write(s.link);
  rp.Write(s.link);
  abort.Write(s.link);
  EXPECT_EQ(s.socket.sent, Cat({kReleaseRQBytes, kReleaseRPBytes, kAbortPduBytes}));
}

TEST(UserInformationTest, UnknownSubItemSkipsTheRestAndKeepsItsLength) {
  // 51 (16384), 52 class UID, 56 (extended negotiation, unknown here), 55 version name
  Bytes max{0x51, 0, 0, 4};
  Put32(max, 16384);
  const Bytes body = Cat({max, UidItem(0x52, "1.2.3"), Item(0x56, {1, 2, 3}), UidItem(0x55, "V")});
  const Bytes fixture = Item(0x50, body);
  MemoryLink in(Bytes(fixture.begin() + 1, fixture.end()));
  UserInformation info;
  EXPECT_FALSE(info.ReadDynamic(in.link));
  EXPECT_EQ(info.MaxSubLength.MaximumLength, 16384u);
  EXPECT_EQ(info.ImpClass.UID, "1.2.3");
  EXPECT_EQ(info.ImpVersion.UID, "");
  EXPECT_EQ(info.Size(), body.size() + 4);
  EXPECT_EQ(in.link.available, 0);
}

TEST(UserInformationTest, OverlongSubItemsReadInsideTheirWindow) {
  struct Case {
    const char* name;
    Bytes subItem;
    bool expected;
  };
  Bytes maxTooLong{0x51, 0, 0, 12, 0, 0, 0x40, 0, 9, 9, 9, 9, 9, 9, 9, 9};
  Bytes roleHuge{0x54, 0, 0, 6, 0x03, 0xE8, 'a', 'b', 1, 1};  // UID length 1000 in a 6-byte item
  Bytes pastParent{0x51, 0, 0x10, 0, 0, 0, 0x40, 0};          // declares 4096 bytes
  // An odd sub-item reads as false inside its window and the walk goes on; a sub-item whose
  // window runs past the user information makes the user information read false.
  const Case cases[] = {
      {"max length 0", {0x51, 0, 0, 0}, true},
      {"max length 12", maxTooLong, true},
      {"role UID past its item", roleHuge, true},
      {"sub-item past the user information", pastParent, false},
  };
  for (const Case& c : cases) {
    Bytes fixture = Item(0x50, Cat({c.subItem, UidItem(0x52, "1.2.3")}));
    MemoryLink in(Bytes(fixture.begin() + 1, fixture.end()));
    UserInformation info;
    EXPECT_EQ(info.ReadDynamic(in.link), c.expected) << c.name;
    if (c.expected) {
      EXPECT_EQ(info.ImpClass.UID, "1.2.3") << c.name;
    }
    EXPECT_EQ(in.link.available, 0) << c.name;
  }
  UserInformation built;
  built.SetUserIdentity("u1", "");
  EXPECT_EQ(built.UserIdentity.Length, 8);
}

TEST(AssociateRQTest, MalformedRequestsReadAsFalse) {
  struct Case {
    const char* name;
    Bytes pdu;
  };
  Bytes shortContext = Cat({UidItem(0x10, kAppContext), Bytes{0x20, 0, 0, 2, 1, 0}});
  Bytes uid65535 = Bytes{0x10, 0, 0xFF, 0xFF};
  Bytes atPduLevel = UidItem(0x30, kVerification);
  // A context of length 2 costs a warning only: the walk goes on by its declared size.
  MemoryLink tolerated(AssociatePdu(1, "A", "B", shortContext));
  AAssociateRQ odd;
  EXPECT_TRUE(odd.Read(tolerated.link));
  const Case cases[] = {
      {"UID item longer than the PDU", AssociatePdu(1, "A", "B", uid65535)},
      {"abstract syntax at PDU level", AssociatePdu(1, "A", "B", atPduLevel)},
  };
  for (const Case& c : cases) {
    MemoryLink in(c.pdu);
    AAssociateRQ rq;
    EXPECT_FALSE(rq.Read(in.link)) << c.name;
    EXPECT_FALSE(rq.ProtocolError) << c.name;
  }
  // A length that no request can have is a protocol error; one within the cap is read as far as
  // the bytes go, and ends as a failed read when they run out.
  struct LengthCase {
    uint32_t length;
    bool protocolError;
  };
  const LengthCase lengths[] = {{0, true},
                                {10, true},
                                {67, true},
                                {kPduLengthCap, false},
                                {kPduLengthCap + 1, true},
                                {0x7FFFFFFF, true},
                                {0xFFFFFFFF, true}};
  for (const LengthCase& c : lengths) {
    Bytes pdu{0x01, 0};
    Put32(pdu, c.length);
    pdu.resize(pdu.size() + 100, 0);
    MemoryLink in(pdu);
    AAssociateRQ rq;
    EXPECT_FALSE(rq.Read(in.link)) << c.length;
    EXPECT_EQ(rq.ProtocolError, c.protocolError) << c.length;
  }
}

TEST(AssociateRQTest, ManyContextsAreBoundedAndStillReadable) {
  Bytes items = UidItem(0x10, kAppContext);
  for (int i = 0; i < 300; ++i)
    items = Cat({items, PresentationContextItem(uint8_t(2 * i + 1), kVerification, {kImplicitLE})});
  MemoryLink in(AssociatePdu(1, "A", "B", items));
  AAssociateRQ rq;
  EXPECT_TRUE(rq.Read(in.link));
  EXPECT_LE(rq.PresContexts.size(), 256u);
}

TEST(PDataTest, OneHundredByteCommandIsOnePdu) {
  SocketLink s;
  PDataTF pdata;
  Bytes command(100, 0x11);
  pdata.MessageBuffer.Write(command.data(), 100);
  pdata.PresentationContextID = 1;
  pdata.SendControl = 1;
  pdata.BlockSize = 16378;
  ASSERT_TRUE(pdata.Write(s.link));
  // 04 00 00 00 00 6A | 00 00 00 66 01 03 | 100 bytes
  EXPECT_EQ(s.socket.sent, PDataPdu(Pdv(1, 0x03, command)));
  EXPECT_EQ(s.socket.sendCount, 1);
}

TEST(PDataTest, FortyThousandBytesGoOutInThreePdus) {
  SocketLink s;
  PDataTF pdata;
  Bytes data(40000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
  pdata.MessageBuffer.Write(data.data(), uint32_t(data.size()));
  pdata.PresentationContextID = 3;
  pdata.SendControl = 0;
  pdata.BlockSize = 16378;
  pdata.Length = 55;  // a read in progress is not disturbed
  ASSERT_TRUE(pdata.Write(s.link));
  EXPECT_EQ(pdata.Length, 55u);
  Bytes expected = Cat({PDataPdu(Pdv(3, 0, Bytes(data.begin(), data.begin() + 16378))),
                        PDataPdu(Pdv(3, 0, Bytes(data.begin() + 16378, data.begin() + 32756))),
                        PDataPdu(Pdv(3, 2, Bytes(data.begin() + 32756, data.end())))});
  EXPECT_EQ(s.socket.sent, expected);
  EXPECT_EQ(s.socket.sendCount, 3);
}

TEST(PDataTest, CommandAndDataInOnePduAreReadInTwoSteps) {
  Bytes command(20, 1), data(30, 2);
  Bytes pdu = PDataPdu(Cat({Pdv(1, 0x03, command), Pdv(1, 0x02, data)}));
  MemoryLink in(Bytes(pdu.begin() + 1, pdu.end()));
  PDataTF pdata;
  ASSERT_TRUE(pdata.ReadDynamic(in.link));
  EXPECT_EQ(pdata.MessageComplete, 1);
  EXPECT_EQ(pdata.MessageBuffer.available, 20);
  EXPECT_EQ(pdata.Length, 30u + 6u);
  pdata.MessageBuffer.DiscardIncoming();
  ASSERT_TRUE(pdata.ReadDynamic(in.link));
  EXPECT_EQ(pdata.MessageComplete, 1);
  EXPECT_EQ(pdata.MessageBuffer.available, 30);
  EXPECT_EQ(pdata.Length, 0u);
}

TEST(PDataTest, PdvsThatDoNotFitAreProtocolErrors) {
  struct Case {
    const char* name;
    uint32_t pduLength;
    uint32_t pdvLength;
  };
  const Case cases[] = {
      {"PDU length 0", 0, 2},
      {"PDU length below 6", 5, 2},
      {"PDV length 0", 6, 0},
      {"PDV length 1", 6, 1},
      {"PDV past its PDU", 10, 100},
      {"PDU one past the cap", kPduLengthCap + 1, 2},
      {"PDU far beyond the cap", 0x7FFFFFFF, 2},
      {"PDU length 0xFFFFFFFF", 0xFFFFFFFF, 2},
  };
  // Each body holds one PDV of context 1 with the last-fragment flag and no bytes.
  auto body = [](uint32_t pduLength, uint32_t pdvLength) {
    Bytes bytes{0};
    Put32(bytes, pduLength);
    Put32(bytes, pdvLength);
    bytes.insert(bytes.end(), {1, 2, 0, 0, 0, 0, 0, 0});
    return bytes;
  };
  for (const Case& c : cases) {
    MemoryLink in(body(c.pduLength, c.pdvLength));
    PDataTF pdata;
    EXPECT_FALSE(pdata.ReadDynamic(in.link)) << c.name;
    EXPECT_EQ(pdata.Length, 0u) << c.name;
    EXPECT_EQ(pdata.MessageBuffer.available, 0) << c.name;
  }
  // A PDU of exactly the cap is no error: its first PDV ends the message, and the rest of the
  // PDU is still to come.
  MemoryLink in(body(kPduLengthCap, 2));
  PDataTF pdata;
  EXPECT_TRUE(pdata.ReadDynamic(in.link));
  EXPECT_EQ(pdata.MessageComplete, 1);
  EXPECT_EQ(pdata.Length, kPduLengthCap - 6);
}

TEST(SocketTest, DumpFormat) {
  struct Case {
    int length;
    bool more;
  };
  const Case cases[] = {{255, false}, {256, false}, {257, true}, {300, true}};
  for (const Case& c : cases) {
    Bytes block(size_t(c.length), 'A');
    std::string text = FormatSocketDump(block.data(), c.length, DumpDirection::Sent);
    char header[16];
    snprintf(header, sizeof header, "%6d >> ", c.length);
    EXPECT_EQ(text.rfind(header, 0), 0u) << c.length;
    size_t shown = std::min(c.length, 256);
    std::string expected = header;
    for (size_t i = 0; i < shown; ++i) expected += "41 ";
    if (c.more) expected += " [MORE DATA...]";
    expected += "\r\n" + std::string(shown, 'A') + (c.more ? " [MORE DATA...]" : "") + "\r\n\r\n";
    EXPECT_EQ(text, expected) << c.length;
  }
  const Bytes edges{31, 32, 122, 123};
  std::string text = FormatSocketDump(edges.data(), 4, DumpDirection::Received);
  EXPECT_EQ(text, "     4 << 1F 20 7A 7B \r\n. z.\r\n\r\n");
}

TEST(SocketTest, ResolvePort) {
  struct Case {
    const char* text;
    int port;
  };
  const Case cases[] = {{"104", 104},   {"65640", 104}, {"-1", 65535}, {"104abc", 104},
                        {"dicom", 104}, {"65536", -1},  {"0", -1},     {"no-such-service", -1}};
  Socket socket;
  for (const Case& c : cases) EXPECT_EQ(socket.ResolvePort(c.text), c.port) << c.text;
  EXPECT_EQ(socket.GetHostByName("0.0.0.0"), 0u);
  EXPECT_EQ(socket.GetHostByName("127.0.0.1"), htonl(INADDR_LOOPBACK));
}

TEST(SocketTest, TimeoutClosesAndLaterReadsFailAtOnce) {
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  Socket socket;
  socket.Adopt(fds[0]);
  socket.SetTimeout(1);
  char byte;
  EXPECT_EQ(socket.ReadBinary(&byte, 1), -1);
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_EQ(socket.ReadBinary(&byte, 1), -1);
  close(fds[1]);
}

}  // namespace

namespace {

TEST(PresentationContextTest, EverySubItemAfterTheFirstIsATransferSyntax) {
  const std::vector<std::string> three = {kImplicitLE, kExplicitLE, "1.2.840.10008.1.2.5"};
  const Bytes fixture = PresentationContextItem(7, kVerification, three);
  MemoryLink in(Bytes(fixture.begin() + 1, fixture.end()));
  PresentationContext context;
  ASSERT_TRUE(context.ReadDynamic(in.link));
  EXPECT_EQ(context.PresentationContextID, 7);
  ASSERT_EQ(context.TrnSyntax.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(context.TrnSyntax[i]->UID, three[i]);
  // A fourth sub-item of another type is still taken as a transfer syntax.
  Bytes body{7, 0, 0, 0};
  body =
      Cat({body, UidItem(0x30, kVerification), UidItem(0x40, kImplicitLE), UidItem(0x30, "1.2.3")});
  const Bytes odd = Item(0x20, body);
  MemoryLink oddIn(Bytes(odd.begin() + 1, odd.end()));
  PresentationContext oddContext;
  ASSERT_TRUE(oddContext.ReadDynamic(oddIn.link));
  ASSERT_EQ(oddContext.TrnSyntax.size(), 2u);
  EXPECT_EQ(oddContext.TrnSyntax[1]->UID, "1.2.3");
  EXPECT_EQ(oddContext.TrnSyntax[1]->ItemType, 0x30);
}

TEST(UserInformationTest, LaterRoleWinsAndAnEmptyUserIsNeitherCountedNorWritten) {
  auto role = [](const std::string& uid, uint8_t scu) {
    Bytes body;
    Put16(body, uint16_t(uid.size()));
    PutText(body, uid);
    body.insert(body.end(), {scu, 0});
    return Item(0x54, body);
  };
  const Bytes fixture = Item(0x50, Cat({role("1.2.3", 1), role("1.2.4.5", 0)}));
  MemoryLink in(Bytes(fixture.begin() + 1, fixture.end()));
  UserInformation info;
  ASSERT_TRUE(info.ReadDynamic(in.link));
  EXPECT_EQ(info.SCPSCURole.UID, "1.2.4.5");
  EXPECT_EQ(info.SCPSCURole.SCURole, 0);

  UserInformation plain, withEmptyUser;
  for (UserInformation* u : {&plain, &withEmptyUser}) {
    u->MaxSubLength.MaximumLength = 16384;
    u->SetImpClass("1.2.3");
    u->SetImpVersion("V");
  }
  withEmptyUser.SetUserIdentity("", "secret");
  EXPECT_EQ(withEmptyUser.Size(), plain.Size());
  MemoryLink a, b;
  plain.Write(a.link);
  withEmptyUser.Write(b.link);
  EXPECT_EQ(b.Written().size(), plain.Size());
  EXPECT_EQ(b.Written(), a.Written());
}

TEST(AssociateRQTest, ShortTitleSetWithoutPaddingGoesOutWithZeroBytes) {
  AAssociateRQ rq;
  std::memcpy(rq.CalledApTitle, "AB", 2);
  SocketLink out;
  rq.Write(out.link);
  const Bytes& wire = out.socket.sent;
  ASSERT_GE(wire.size(), 42u);
  Bytes expected{'A', 'B'};
  expected.resize(16, 0);
  EXPECT_EQ(Bytes(wire.begin() + 10, wire.begin() + 26), expected);
}

TEST(AssociateRQTest, UnknownUserSubItemStillReadsTrueWithConsistentLengths) {
  Bytes max{0x51, 0, 0, 4};
  Put32(max, 16384);
  const Bytes user = Item(0x50, Cat({max, Item(0x56, {0, 3, 'a', 'b', 'c', 1})}));
  MemoryLink in(
      AssociatePdu(1, "A", "B",
                   Cat({UidItem(0x10, kAppContext),
                        PresentationContextItem(1, kVerification, {kImplicitLE}), user})));
  AAssociateRQ rq;
  EXPECT_TRUE(rq.Read(in.link));
  EXPECT_EQ(rq.UserInfo.MaxSubLength.MaximumLength, 16384u);
  EXPECT_EQ(rq.UserInfo.Size(), user.size());
}

TEST(AssociateACTest, UnknownItemSkipsTheRestSoTheNextPduReadsFromItsFirstByte) {
  const Bytes answer =
      AssociatePdu(2, "A", "B",
                   Cat({UidItem(0x10, kAppContext), Item(0x99, {1, 2, 3}),
                        Item(0x21, Cat({Bytes{1, 0, 0, 0}, UidItem(0x40, kImplicitLE)})),
                        UserInfoItem(16384, "1.2.3", "PEER")}));
  MemoryLink in(Cat({answer, kReleaseRPBytes}));
  AAssociateAC ac;
  EXPECT_FALSE(ac.Read(in.link));
  EXPECT_TRUE(ac.PresContextAccepts.empty());
  AReleaseRP rp;
  ASSERT_TRUE(rp.Read(in.link));
  EXPECT_EQ(rp.ItemType, 6);
  EXPECT_EQ(rp.Length, 4u);
  EXPECT_EQ(in.link.available, 0);
}

TEST(UniqueIdTest, EveryAnswerConstructedAdvancesTheCounterByOne) {
  ResetUniqueId();
  { PresentationContextAccept answer; }
  EXPECT_EQ(UniqueIdCounter.load(), 2u);
  const Bytes answer = AssociatePdu(
      2, "A", "B",
      Cat({UidItem(0x10, kAppContext),
           Item(0x21, Cat({Bytes{1, 0, 0, 0}, UidItem(0x40, kImplicitLE)})),
           Item(0x21, Bytes{3, 0, 4, 0, 0x40, 0, 0, 0}), UserInfoItem(16384, "1.2.3", "PEER")}));
  MemoryLink in(answer);
  AAssociateAC ac;
  ASSERT_TRUE(ac.Read(in.link));
  EXPECT_EQ(UniqueIdCounter.load(), 4u);
  EXPECT_EQ(ac.PresContextAccepts[0]->PresentationContextID, 1);  // the draw was replaced
  EXPECT_EQ(ac.PresContextAccepts[1]->PresentationContextID, 3);
}

TEST(PDataTest, WriteEdgeCases) {
  struct Case {
    const char* name;
    uint32_t blockSize;
    size_t messageBytes;
    std::vector<size_t> fragments;
  };
  const Case cases[] = {
      {"block size 0 means 4096", 0, 5000, {4096, 904}},
      {"empty message sends nothing", 16378, 0, {}},
      {"exactly one block", 16378, 16378, {16378}},
  };
  for (const Case& c : cases) {
    SocketLink s;
    PDataTF pdata;
    Bytes message(c.messageBytes, 0x42);
    if (!message.empty()) pdata.MessageBuffer.Write(message.data(), uint32_t(message.size()));
    pdata.PresentationContextID = 1;
    pdata.SendControl = 0;
    pdata.BlockSize = c.blockSize;
    ASSERT_TRUE(pdata.Write(s.link)) << c.name;
    Bytes expected;
    size_t at = 0;
    for (size_t i = 0; i < c.fragments.size(); ++i) {
      Bytes fragment(message.begin() + long(at), message.begin() + long(at + c.fragments[i]));
      expected = Cat({expected, PDataPdu(Pdv(1, i + 1 == c.fragments.size() ? 2 : 0, fragment))});
      at += c.fragments[i];
    }
    EXPECT_EQ(s.socket.sent, expected) << c.name;
    EXPECT_EQ(s.socket.sendCount, int(c.fragments.size())) << c.name;
  }
}

TEST(PDataTest, FragmentsBeyondTheMessageCapAreAProtocolError) {
  struct Case {
    const char* name;
    Bytes wire;
    int readsBeforeFailure;
  };
  const Case cases[] = {
      {"within one PDU", PDataPdu(Cat({Pdv(1, 0, Bytes(60, 1)), Pdv(1, 2, Bytes(60, 2))})), 0},
      {"across PDUs", Cat({PDataPdu(Pdv(1, 0, Bytes(60, 1))), PDataPdu(Pdv(1, 2, Bytes(60, 2)))}),
       1},
  };
  for (const Case& c : cases) {
    MemoryLink in(c.wire);
    PDataTF pdata;
    pdata.MaxMessageLength = 100;
    for (int i = 0;; ++i) {
      uint8_t type = 0;
      in.link.ReadByte(type);
      bool read = pdata.ReadDynamic(in.link);
      if (i < c.readsBeforeFailure) {
        ASSERT_TRUE(read) << c.name;
        EXPECT_EQ(pdata.MessageComplete, 0) << c.name;
        continue;
      }
      EXPECT_FALSE(read) << c.name;
      break;
    }
    EXPECT_EQ(pdata.Length, 0u) << c.name;
    EXPECT_EQ(pdata.MessageBuffer.available, 0) << c.name;
  }
  // Exactly at the cap is still a message.
  MemoryLink in(PDataPdu(Cat({Pdv(1, 0, Bytes(50, 1)), Pdv(1, 2, Bytes(50, 2))})));
  PDataTF pdata;
  pdata.MaxMessageLength = 100;
  uint8_t type = 0;
  in.link.ReadByte(type);
  ASSERT_TRUE(pdata.ReadDynamic(in.link));
  EXPECT_EQ(pdata.MessageComplete, 1);
  EXPECT_EQ(pdata.MessageBuffer.available, 100);
}

TEST(PDataTest, MessageOverThreePdusCompletesOnTheThird) {
  const Bytes parts[] = {Bytes(100, 1), Bytes(200, 2), Bytes(50, 3)};
  const uint8_t controls[] = {0x00, 0x00, 0x02};
  Bytes wire;
  for (int i = 0; i < 3; ++i) wire = Cat({wire, PDataPdu(Pdv(5, controls[i], parts[i]))});
  MemoryLink in(wire);
  PDataTF pdata;
  for (int i = 0; i < 3; ++i) {
    uint8_t type = 0;
    in.link.ReadByte(type);  // the caller dispatches on the PDU type
    ASSERT_EQ(type, 0x04);
    ASSERT_TRUE(pdata.ReadDynamic(in.link)) << i;
    EXPECT_EQ(pdata.MessageComplete, i == 2 ? 1 : 0) << i;
    EXPECT_EQ(pdata.Length, 0u) << i;
  }
  EXPECT_EQ(pdata.PresentationContextID, 5);
  Bytes message(350);
  ASSERT_TRUE(pdata.MessageBuffer.Read(message.data(), 350));
  EXPECT_EQ(message, Cat({parts[0], parts[1], parts[2]}));
}

}  // namespace
