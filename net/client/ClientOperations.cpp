#include "net/client/ClientOperations.h"

#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "net/AssociationProposal.h"
#include "net/CommandFields.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/UniqueId.h"

namespace {

// Takes the first record of the level's list out, writes its keys; false for another level or
// an empty list.
bool TakeFirstRecord(QueryRecords& records, const std::string& level, DcmObj& identifier) {
  auto writeFirst = [&identifier](auto& list) {
    if (list.empty()) return false;
    std::unique_ptr record = std::move(list.front());
    list.erase(list.begin());
    if (record) record->WriteDCO(identifier);
    return record != nullptr;
  };
  if (level == "STUDY") return writeFirst(records.studies);
  if (level == "SERIES") return writeFirst(records.series);
  if (level == "IMAGE") return writeFirst(records.images);
  return false;
}

void AppendRecord(QueryRecords& records, const std::string& level, const DcmObj& identifier) {
  auto append = [&identifier](auto& list) {
    using Record = typename std::decay_t<decltype(list)>::value_type::element_type;
    auto record = std::make_unique<Record>();
    record->ReadDCO(identifier);
    list.push_back(std::move(record));
  };
  if (level == "STUDY") append(records.studies);
  if (level == "SERIES") append(records.series);
  if (level == "IMAGE") append(records.images);
}
}  // namespace

bool OpenAssociation(PDU_Service& pdu, const std::string& host, const std::string& port,
                     const std::string& callingAeTitle, const std::string& calledAeTitle,
                     const std::string& abstractSyntax, const std::string& ts1,
                     const std::string& ts2, int timeoutSeconds) {
  const std::string calling = PadApTitle(callingAeTitle);
  const std::string called = PadApTitle(calledAeTitle);
  pdu.assocRQ.SetCallingApTitle(calling);
  pdu.assocRQ.SetCalledApTitle(called);
  pdu.assocRQ.SetApplicationContext(kApplicationContextUid);
  pdu.SetTimeout(timeoutSeconds);
  if (LoggingAbove(1)) {
    LogWrite("INFO, OpenAssociation, Calling Ap. Title: " + calling);
    LogWrite("INFO, OpenAssociation, Called Ap. Title: " + called);
  }
  ResetUniqueId();
  auto context = std::make_unique<PresentationContext>();
  context->SetAbstractSyntax(abstractSyntax);
  for (const std::string& syntax : ProposedTransferSyntaxes(ts1, ts2)) {
    context->AddTransferSyntax(syntax);
  }
  pdu.assocRQ.AddPresentationContext(context.release());
  return pdu.Connect(host, port);
}

bool OpenAssociation(PDU_Service& pdu, const std::string& host, const std::string& port,
                     const std::string& callingAeTitle, const std::string& calledAeTitle,
                     const std::string& abstractSyntax, int timeoutSeconds) {
  return OpenAssociation(pdu, host, port, callingAeTitle, calledAeTitle, abstractSyntax, "", "",
                         timeoutSeconds);
}

bool WriteEchoRQ(PDU_Service& pdu, const std::string& sopClass) {
  return CEcho::WriteRQ(&pdu, sopClass);
}

bool ReadEchoRSP(PDU_Service& pdu) { return CEcho::ReadRSP(&pdu); }

bool EchoSCU(const std::string& host, const std::string& port, const std::string& callingAeTitle,
             const std::string& calledAeTitle, int timeoutSeconds) {
  auto pdu = std::make_unique<PDU_Service>();
  pdu->DumpMessages = LoggingAbove(1);
  bool ok = false;
  if (!OpenAssociation(*pdu, host, port, callingAeTitle, calledAeTitle, kVerificationClass,
                       timeoutSeconds)) {
    LogWrite("ERROR, EchoSCU, OpenAssoc failed");
  } else if (!WriteEchoRQ(*pdu, kVerificationClass)) {
    LogWrite("ERROR, EchoSCU, WriteEchoRQ failed");
  } else {
    ok = ReadEchoRSP(*pdu);
  }
  pdu->Close();
  return ok;
}

bool WriteFindRQ(PDU_Service& pdu, QueryRecords& records, const std::string& sopClass,
                 const std::string& level) {
  DcmObj identifier;
  if (!TakeFirstRecord(records, level, identifier)) return false;
  return CFind::WriteRQ(&pdu, &identifier, sopClass);
}

int ReadFindRSP(PDU_Service& pdu, QueryRecords& records, const std::string& level) {
  DcmObj identifier;
  const int status = CFind::ReadRSP(&pdu, &identifier);
  if (status != -1 && status != 0) AppendRecord(records, level, identifier);
  return status;
}

bool WriteMoveRQ(PDU_Service& pdu, QueryRecords& records, const std::string& sopClass,
                 const std::string& level, const std::string& destination) {
  DcmObj identifier;
  if (!TakeFirstRecord(records, level, identifier)) return false;
  return CMove::WriteRQ(&pdu, &identifier, sopClass, destination);
}

int ReadMoveRSP(PDU_Service& pdu, int& remaining) {
  DcmObj scratch;
  return CMove::ReadRSP(&pdu, &scratch, remaining);
}
