// Study Root C-FIND: the identifier is answered from the local study database, one pending
// response per row, then the final one. At STUDY level the search is first narrowed by the
// calling node's row of the Users table (advisory: an unknown node searches unrestricted).
#include <vector>

#include "db/LocalQuery.h"
#include "dicom/DcmObj.h"
#include "dicom/Tags.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/server/Services.h"

void PrepareFindResponse(PDU_Service& pdu, DcmObj& response) {
  std::string syntax;
  pdu.GetTransferSyntaxUID(pdu.pdata.PresentationContextID, syntax);
  response.transferSyntax = syntax;
  response.explicitVR = syntax != ts::kImplicitLE;
}

namespace {
std::string PendingFailedLine(const std::string& level) {
  return level == "STUDY" ? "ERROR, STUDY Find RSP: Failed!" : level + " Find RSP: Failed!";
}
}  // namespace

bool FindSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context) {
  DcmObj identifier;
  if (!CFind::ReadRQ(&pdu, &command, &identifier)) {
    LogWrite("ERROR, cfind.ReadRQ failed!");
    return false;
  }
  const std::string level = TrimBlanks(identifier.GetString(tag::kQueryRetrieveLevel));
  if (level.empty()) {
    LogWrite("ERROR, QueryLevel length=0");
    return false;
  }
  if (level != "STUDY" && level != "SERIES" && level != "IMAGE") {
    CFind::WriteRSP(&pdu, &command, nullptr, kStatusUnableToProcess);
    LogWrite("ERROR, QueryLevel not known: " + level);
    return false;
  }
  DcmObj response;
  PrepareFindResponse(pdu, response);
  if (level == "STUDY") ModifyQueryByUser(context.callingAeTitle, identifier);
  std::vector<std::string> rows;
  std::string columns;
  int count = 0;
  QueryLocalDatabase(identifier, rows, columns, count, level);
  bool sent = false;
  for (const std::string& row : rows) {
    RowToDCO(response, columns, row, count, level);
    sent = CFind::WriteRSP(&pdu, &command, &response, kStatusPending);
    if (!sent) {
      LogWrite(PendingFailedLine(level));
      break;
    }
    if (LoggingAbove(0)) LogWrite(level + " Find RSP: Ok!");
    response.Clear();
  }
  if (sent || rows.empty()) {
    CFind::WriteRSP(&pdu, &command, nullptr, kStatusSuccess);
    return true;
  }
  CFind::WriteRSP(&pdu, &command, nullptr, kStatusFindEndedAfterFailedPending);
  return false;
}
