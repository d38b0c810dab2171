// C-ECHO: the verification handler of the command table, answered on the association it came on.
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "net/Dimse.h"
#include "net/server/Services.h"

bool EchoSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context) {
  if (!CEcho::ReadRQ(&pdu, &command) || !CEcho::WriteRSP(&pdu, &command)) return false;
  if (LoggingAbove(0)) {
    LogWrite("Echo RSP: Ok!, Socket: " + std::to_string(context.socketId));
  }
  return true;
}
