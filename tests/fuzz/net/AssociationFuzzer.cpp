// Feeds bytes to the upper-layer readers through an in-memory socket. The first byte picks the
// role: acceptor (A-ASSOCIATE-RQ, then messages answered as C-ECHO), an association already
// standing (P-DATA and the other PDUs of the associated state), or requestor (the answer to our
// A-ASSOCIATE-RQ). Nothing may crash, hang or allocate beyond the PDU cap.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dicom/DcmObj.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "tests/net/MemorySocket.h"

namespace {
constexpr int kMaxMessages = 16;

void ServeMessages(PDU_Service& pdu) {
  for (int i = 0; i < kMaxMessages; ++i) {
    DcmObj command;
    if (!pdu.Read(&command)) return;
    if (CEcho::ReadRQ(&pdu, &command)) CEcho::WriteRSP(&pdu, &command);
  }
}

void StandingAssociation(PDU_Service& pdu) {
  for (uint8_t id : {1, 3}) {
    auto* accepted = new PresentationContextAccept;
    accepted->PresentationContextID = id;
    accepted->Result = 0;
    accepted->SetTransferSyntax(id == 1 ? "1.2.840.10008.1.2" : "1.2.840.10008.1.2.1");
    pdu.assocAC.AddPresContextAccept(accepted);
    pdu.AcceptedContexts.push_back(accepted);
  }
  pdu.assocRQ.UserInfo.MaxSubLength.MaximumLength = 16384;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t role = data[0] % 3;
  // The second byte sets how many bytes one socket read delivers (1..256).
  MemorySocket socket(std::vector<uint8_t>(data + 2, data + size), uint32_t(data[1]) + 1);
  PDU_Service pdu;
  pdu.Link.UseSocket(&socket);
  if (role == 0) {
    if (pdu.Multiplex(-1)) ServeMessages(pdu);
  } else if (role == 1) {
    StandingAssociation(pdu);
    ServeMessages(pdu);
  } else {
    auto* context = new PresentationContext;
    context->SetAbstractSyntax("1.2.840.10008.1.1");
    context->AddTransferSyntax("1.2.840.10008.1.2");
    pdu.assocRQ.AddPresentationContext(context);
    if (pdu.Connect("127.0.0.1", "104")) ServeMessages(pdu);
  }
  return 0;
}
