// The association service in memory: transfer-syntax choices, the answer to a request, the send
// limit, release and the write-before-read refusal.
#include <gtest/gtest.h>

#include <filesystem>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/util/Log.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "tests/net/Fixtures.h"
#include "tests/net/LoggedTest.h"
#include "tests/net/MemorySocket.h"
#include "tests/net/PeerSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kJ2k = "1.2.840.10008.1.2.4.91";
const std::string kJpegBaseline = "1.2.840.10008.1.2.4.50";
const std::string kRle = "1.2.840.10008.1.2.5";
const std::string kExplicitBE = "1.2.840.10008.1.2.2";
const std::string kCt = "1.2.840.10008.5.1.4.1.1.2";
const std::string kUsMultiFrame = "1.2.840.10008.5.1.4.1.1.3.1";

TEST(NegotiationTest, TransferSyntaxChoices) {
  struct Case {
    const char* name;
    std::string abstract;
    std::vector<std::string> proposed;
    bool preferJ2k;
    std::string chosen;
  };
  const Case cases[] = {
      {"CT prefers JPEG 2000", kCt, {kImplicitLE, kExplicitLE, kJ2k}, true, kJ2k},
      {"CT without preference", kCt, {kImplicitLE, kExplicitLE, kJ2k}, false, kExplicitLE},
      {"US multi-frame keeps baseline", kUsMultiFrame, {kJ2k, kJpegBaseline}, true, kJpegBaseline},
      {"image with RLE and implicit", kCt, {kRle, kImplicitLE}, false, kImplicitLE},
      {"image with big endian only", kCt, {kExplicitBE}, false, ""},
      {"12-lead ECG", kEcg12Lead, {kImplicitLE, kExplicitLE}, false, kExplicitLE},
      // Hemodynamic recordings are taken like the ECG classes; the other waveform classes not.
      {"hemodynamic",
       "1.2.840.10008.5.1.4.1.1.9.2.1",
       {kImplicitLE, kExplicitLE},
       false,
       kExplicitLE},
      {"cardiac electrophysiology", "1.2.840.10008.5.1.4.1.1.9.3.1", {kExplicitLE}, false, ""},
      {"basic voice audio", "1.2.840.10008.5.1.4.1.1.9.4.1", {kExplicitLE}, false, ""},
      {"verification implicit only", kVerification, {kImplicitLE}, false, kImplicitLE},
      {"unknown class", "1.2.3.4", {kImplicitLE}, false, ""},
      {"whole texts only", kEcg12Lead, {kImplicitLE + ".9"}, false, ""},
  };
  for (const Case& c : cases) {
    PresentationContext context;
    context.SetAbstractSyntax(c.abstract);
    for (const auto& s : c.proposed) context.AddTransferSyntax(s);
    EXPECT_EQ(ChooseTransferSyntax(context, c.preferJ2k), c.chosen) << c.name;
  }
}

class AssociationTest : public LoggedTest {};

TEST_F(AssociationTest, AcceptorAnswersEveryContextAndRepliesToRelease) {
  Bytes request = AssociatePdu(
      1, "ANY-SCP", "PEER",
      Cat({UidItem(0x10, kAppContext), PresentationContextItem(1, kVerification, {kImplicitLE}),
           PresentationContextItem(3, "1.2.3.4", {kImplicitLE}),
           UserInfoItem(4096, "1.2.3", "PEER")}));
  MemorySocket socket(Cat({request, kReleaseRQBytes}));
  PDU_Service pdu;
  pdu.Link.UseSocket(&socket);
  ASSERT_TRUE(pdu.Multiplex(-1));
  DcmObj none;
  // Before any message was read, an acceptor has no context to answer on.
  EXPECT_FALSE(pdu.Write(&none, 1));
  EXPECT_NE(Log().find("ERROR: pdata.PresentationContextID is 0"), std::string::npos);
  Bytes expectedAC =
      AssociatePdu(2, "ANY-SCP", "PEER",
                   Cat({UidItem(0x10, kAppContext),
                        Item(0x21, Cat({Bytes{1, 0, 0, 0}, UidItem(0x40, kImplicitLE)})),
                        Item(0x21, Bytes{3, 0, 4, 0, 0x40, 0, 0, 0}),
                        UserInfoItem(16384, "2.25.304991017046338021517.999", "Nolvertasco")}));
  EXPECT_EQ(socket.sent, expectedAC);
  EXPECT_EQ(socket.sendCount, 1);
  socket.sent.clear();
  EXPECT_FALSE(pdu.Read(&none));
  EXPECT_EQ(socket.sent, kReleaseRPBytes);
}

TEST_F(AssociationTest, AcceptanceCarriesTheTitlesAsRead) {
  // Offsets 10 and 26 of an association PDU hold the called and calling titles.
  struct Case {
    const char* name;
    std::string called;  // 16 bytes as the requestor sent them
    std::string echoed;  // 16 bytes of the acceptance
  };
  const std::string zeros(16, '\0');
  const Case cases[] = {
      {"blank padded", Title16("ANY-SCP"), Title16("ANY-SCP")},
      {"zero padded", std::string("AB") + zeros.substr(2), std::string("AB") + zeros.substr(2)},
      {"sixteen characters", "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP"},
      {"NUL inside", std::string("AB\0CD", 5) + std::string(11, ' '),
       std::string("AB") + zeros.substr(2)},
      {"all zero", zeros, zeros},
  };
  for (const Case& c : cases) {
    Bytes request = AssociatePdu(
        1, "X", "PEER",
        Cat({UidItem(0x10, kAppContext), PresentationContextItem(1, kVerification, {kImplicitLE}),
             UserInfoItem(16384, "1.2.3", "PEER")}));
    std::copy(c.called.begin(), c.called.end(), request.begin() + 10);
    MemorySocket socket(request);
    PDU_Service pdu;
    pdu.Link.UseSocket(&socket);
    ASSERT_TRUE(pdu.Multiplex(-1)) << c.name;
    ASSERT_GE(socket.sent.size(), 42u) << c.name;
    EXPECT_EQ(std::string(socket.sent.begin() + 10, socket.sent.begin() + 26), c.echoed) << c.name;
    EXPECT_EQ(std::string(socket.sent.begin() + 26, socket.sent.begin() + 42), Title16("PEER"))
        << c.name;
  }
}

TEST_F(AssociationTest, NegotiationLogsItsExactTexts) {
  LogLevel = 2;
  Bytes request =
      AssociatePdu(1, "ANY-SCP", "PEER",
                   Cat({UidItem(0x10, kAppContext), PresentationContextItem(1, kCt, {kImplicitLE}),
                        PresentationContextItem(3, kEcg12Lead, {kExplicitLE}),
                        UserInfoItem(16384, "1.2.3", "PEER")}));
  MemorySocket acceptorSide(request);
  PDU_Service acceptor;
  acceptor.Link.UseSocket(&acceptorSide);
  ASSERT_TRUE(acceptor.Multiplex(-1));
  // The requestor reads that very acceptance.
  MemorySocket requestorSide(acceptorSide.sent);
  PDU_Service requestor;
  requestor.Link.UseSocket(&requestorSide);
  ASSERT_TRUE(requestor.Connect("127.0.0.1", "104"));
  // Nothing acceptable: every context is named, and the acceptor gives up.
  Bytes refused = AssociatePdu(
      1, "ANY-SCP", "PEER",
      Cat({UidItem(0x10, kAppContext), PresentationContextItem(1, "1.2.3.4", {kImplicitLE}),
           UserInfoItem(16384, "1.2.3", "PEER")}));
  MemorySocket refusedSide(refused);
  PDU_Service refusing;
  refusing.Link.UseSocket(&refusedSide);
  EXPECT_FALSE(refusing.Multiplex(-1));
  const std::string log = Log();
  for (const char* line : {
           ", INFO, Called Ap. Title: ANY-SCP         \n",
           ", INFO, Calling Ap. Title: PEER            \n",
           ", INFO, Offered Presentation Context, ID: 1, Abstract Syntax: "
           "1.2.840.10008.5.1.4.1.1.2\n",
           ", INFO, Valid Presentation Context, ID: 1, Transfer Syntax: 1.2.840.10008.1.2\n",
           ", INFO, Valid Presentation Context ID: 3, Transfer Syntax: 1.2.840.10008.1.2.1\n",
           ", Presentation Context Accept ID: 1, Transfer Syntax: 1.2.840.10008.1.2\n",
           ", Presentation Context Accept ID: 3, Transfer Syntax: 1.2.840.10008.1.2.1\n",
           ", WARNING, no Valid Presentation Contexts\n",
           ", INFO, Abstract Syntax: 1.2.3.4\n",
           ", ERROR, PDU_Service::Multiplex InterogateAAsociateRQ()\n",
           // Detail lines of the items read and built (user information of 8 + 9 + 8 bytes).
           ", INFO, AAssociateRQ::Read\n",
           ", INFO, PresentationContext::Read\n",
           ", AbsSyntax: 1.2.840.10008.5.1.4.1.1.2\n",
           ", TrnSyntax: 1.2.840.10008.1.2\n",
           ", INFO, UserInformation::ReadDynamic, Count=25\n",
           ", INFO, MaxSubLength::ReadDynamic, Count=17, MaxSubLength.MaximumLength=16384\n",
           ", INFO, ImpClass::ReadDynamic, Count=8, \"1.2.3\"\n",
           ", INFO, ImpVersion::ReadDynamic, Count=0, \"PEER\"\n",
           ", INFO, MaxSubLength::Size, Length=8, MaxSubLength.MaximumLength=16384\n",
           ", INFO, ImpClass::Size, Length=34, \"2.25.304991017046338021517.999\"\n",
           ", INFO, ImpVersion::Size, Length=15, \"Nolvertasco\"\n",
           ", INFO, UserInformation::Size, Length=57\n",
           ", INFO, AAssociateAC::Write\n",
           ", INFO, PresentationContextAccept::Write\n",
           ", Result: 0\n",
       })
    EXPECT_NE(log.find(line), std::string::npos) << line;
  // The header of an acceptance read is logged only above level 2.
  EXPECT_EQ(log.find(", INFO, AAssociateAC::Read\n"), std::string::npos);
  // A context without transfer syntax cannot be written.
  PresentationContext empty;
  empty.SetAbstractSyntax(kVerification);
  empty.Size();
  Buffer scratch;
  EXPECT_FALSE(empty.Write(scratch));
  EXPECT_NE(Log().find(", ERROR, PresentationContext::Write\n"), std::string::npos);
}

TEST_F(AssociationTest, SendLimitFollowsThePeer) {
  struct Case {
    uint32_t announced;
    size_t largestPdu;
  };
  // A peer without limit (0) gets the whole message in one PDU: 40,000 value bytes, the 12 of
  // the element header, and the 12 of the PDU and PDV headers.
  const Case cases[] = {{4096, 4096 + 6}, {32768, 16384 + 6}, {0, 40000 + 12 + 12}};
  for (const Case& c : cases) {
    Bytes request = AssociatePdu(
        1, "A", "B",
        Cat({UidItem(0x10, kAppContext), PresentationContextItem(1, kEcg12Lead, {kExplicitLE}),
             UserInfoItem(c.announced, "1.2.3", "PEER")}));
    MemorySocket socket(request);
    PDU_Service pdu;
    pdu.Link.UseSocket(&socket);
    ASSERT_TRUE(pdu.Multiplex(-1));
    socket.sent.clear();
    pdu.pdata.PresentationContextID = 1;
    DcmObj big;
    big.explicitVR = true;
    big.Insert(new DcmTag(0x5400, 0x1010, 40000, std::vector<uint8_t>(40000, 1).data(), "OB"));
    ASSERT_TRUE(pdu.Write(&big, 0));
    size_t largest = 0;
    for (size_t at = 0; at + 6 <= socket.sent.size();) {
      size_t length = size_t(socket.sent[at + 2]) << 24 | size_t(socket.sent[at + 3]) << 16 |
                      size_t(socket.sent[at + 4]) << 8 | socket.sent[at + 5];
      largest = std::max(largest, length + 6);
      at += length + 6;
    }
    EXPECT_EQ(largest, c.largestPdu) << c.announced;
  }
  EXPECT_NE(Log().find("INFO, PDU_Service::Write, MaximumLength set to 16384"), std::string::npos);
  EXPECT_NE(Log().find("WARNING, BlockSize is too big: 4294967290"), std::string::npos);
}

TEST_F(AssociationTest, RequestorRefusesAnAnswerWithoutUsableSyntax) {
  Bytes answer = AssociatePdu(2, "A", "B",
                              Cat({UidItem(0x10, kAppContext),
                                   Item(0x21, Cat({Bytes{1, 0, 0, 0}, UidItem(0x40, kExplicitBE)})),
                                   UserInfoItem(16384, "1.2.3", "PEER")}));
  MemorySocket socket(answer);
  PDU_Service pdu;
  pdu.Link.UseSocket(&socket);
  EXPECT_FALSE(pdu.Connect("127.0.0.1", "104"));
  EXPECT_NE(Log().find("ERROR, Transfer Syntax is Empty"), std::string::npos);
  EXPECT_NE(Log().find("ERROR, PDU_Service::Connect, InterogateAAssociateAC failed"),
            std::string::npos);
}

TEST_F(AssociationTest, MessagesAreDumpedBetweenTheTrimmedTitles) {
  MemorySocket socket;
  PDU_Service writer;
  writer.Link.UseSocket(&socket);
  writer.pdata.PresentationContextID = 1;
  writer.assocRQ.UserInfo.MaxSubLength.MaximumLength = 16384;
  AAssociatePdu::SetTitle(writer.assocAC.CallingApTitle, "PEER");
  AAssociatePdu::SetTitle(writer.assocAC.CalledApTitle, "US");
  writer.DumpMessages = true;
  DcmObj message;
  message.Insert(new DcmTag(0x0010, 0x0020, std::string("ID42"), "LO"));
  ASSERT_TRUE(writer.Write(&message, 0));

  MemorySocket readerSocket(socket.sent);
  PDU_Service reader;
  reader.Link.UseSocket(&readerSocket);
  auto* accepted = new PresentationContextAccept;
  accepted->PresentationContextID = 1;
  accepted->Result = 0;
  accepted->SetTransferSyntax(kImplicitLE);
  reader.assocAC.AddPresContextAccept(accepted);
  reader.AcceptedContexts.push_back(accepted);
  AAssociatePdu::SetTitle(reader.assocAC.CallingApTitle, "PEER");
  AAssociatePdu::SetTitle(reader.assocAC.CalledApTitle, "US");
  reader.DumpMessages = true;
  DcmObj received;
  ASSERT_TRUE(reader.Read(&received));

  const std::string log = Log();
  for (const char* direction : {", PEER >> US\n", ", PEER << US\n"}) {
    size_t header = log.find(direction);
    ASSERT_NE(header, std::string::npos) << direction;
    size_t element = log.find(", (0010,0020), ", header);
    size_t blank = log.find(", \n", header);
    EXPECT_NE(element, std::string::npos) << direction;
    EXPECT_LT(element, blank) << direction;  // the element lines, then an empty line
  }
}

TEST_F(AssociationTest, RequestorAbortsAnAnswerWhoseLengthCannotBeOne) {
  for (uint32_t length : {0u, 67u, kPduLengthCap + 1, 0xFFFFFFFFu}) {
    Bytes answer{0x02, 0};
    Put32(answer, length);
    answer.resize(answer.size() + 80, 0);
    MemorySocket socket(answer);
    PDU_Service pdu;
    pdu.Link.UseSocket(&socket);
    auto* context = new PresentationContext;
    context->SetAbstractSyntax(kVerification);
    context->AddTransferSyntax(kImplicitLE);
    pdu.assocRQ.AddPresentationContext(context);
    EXPECT_FALSE(pdu.Connect("127.0.0.1", "104")) << length;
    ASSERT_GE(socket.sent.size(), kAbortPduBytes.size()) << length;
    EXPECT_EQ(Bytes(socket.sent.end() - long(kAbortPduBytes.size()), socket.sent.end()),
              kAbortPduBytes)
        << length;
    EXPECT_FALSE(socket.IsConnected()) << length;
  }
  EXPECT_NE(Log().find("ERROR, PDU_Service::Connect, InterogateAAssociateAC failed"),
            std::string::npos);
}

TEST_F(AssociationTest, FailedSendLeavesNothingForTheNextMessage) {
  // A message whose send fails must not reach the wire ahead of a later one.
  struct FailingSocket : MemorySocket {
    bool SendBinary(const void* bytes, uint32_t length) override {
      if (failNext) {
        failNext = false;
        return false;
      }
      return MemorySocket::SendBinary(bytes, length);
    }
    bool failNext = true;
  } socket;
  PDU_Service pdu;
  pdu.Link.UseSocket(&socket);
  pdu.pdata.PresentationContextID = 1;
  pdu.assocRQ.UserInfo.MaxSubLength.MaximumLength = 4096;
  DcmObj first, second;
  first.Insert(new DcmTag(0x0010, 0x0010, std::string(10000, 'A'), "PN"));
  second.Insert(new DcmTag(0x0010, 0x0020, std::string("ID"), "LO"));
  EXPECT_FALSE(pdu.Write(&first, 0));
  EXPECT_TRUE(pdu.pdata.MessageBuffer.pending == 0);
  EXPECT_TRUE(pdu.Write(&second, 0));
  EXPECT_EQ(socket.sent.size(), 12u + 8u + 2u);  // one PDU holding only the second message
}

}  // namespace
