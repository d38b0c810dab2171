// DIMSE command sets of C-ECHO, C-FIND, C-MOVE and C-STORE (see Dimse.h).
#include "net/Dimse.h"

#include <memory>
#include <string>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/util/Log.h"
#include "net/PDU_Service.h"
#include "net/UniqueId.h"

const StatusEntry kDimseStatusTable[] = {
    {kStatusSuccess, "success", "C-ECHO-RSP C-FIND-RSP C-MOVE-RSP C-STORE-RSP"},
    {kStatusPending, "pending: one result or one finished sub-operation", "C-FIND-RSP C-MOVE-RSP"},
    {kStatusFindEndedAfterFailedPending, "C-FIND ended after a failed pending response",
     "C-FIND-RSP"},
    {kStatusUnableToProcess, "query level not served, or worklist search ended after a failure",
     "C-FIND-RSP C-MOVE-RSP"},
    {kStatusRefusedNoPatientId, "object refused: no Patient ID", "C-STORE-RSP"},
    {kStatusRegistrationFailed, "registration in the study database failed",
     "C-STORE-RSP C-MOVE-RSP"},
    {kStatusSavingFailed, "saving the file failed", "C-STORE-RSP"},
    {kStatusUnexpectedStoreFailure, "unexpected failure while storing", "C-STORE-RSP"},
    {kStatusMoveDestinationUnknown, "move destination missing or not in the destination list",
     "C-MOVE-RSP"},
    {kStatusIdentifierLacksUid,
     "identifier lacks a UID the level needs, or a stored data set's SOP Class or Instance UID "
     "is not its command's",
     "C-MOVE-RSP C-STORE-RSP"},
    {kStatusSubOperationsWarning, "sub-operations finished with failures or warnings",
     "C-MOVE-RSP"},
    {0, nullptr, nullptr},
};

namespace {
// Command set elements, group 0000.
enum CommandElement : uint16_t {
  kGroupLength = 0x0000,
  kAffectedSOPClassUID = 0x0002,
  kCommandField = 0x0100,
  kMessageID = 0x0110,
  kMessageIDBeingRespondedTo = 0x0120,
  kMoveDestination = 0x0600,
  kPriority = 0x0700,
  kDataSetType = 0x0800,
  kStatus = 0x0900,
  kAffectedSOPInstanceUID = 0x1000,
  kNumberOfRemainingSubOperations = 0x1020,
  kNumberOfCompletedSubOperations = 0x1021,
  kNumberOfFailedSubOperations = 0x1022,
  kNumberOfWarningSubOperations = 0x1023,
};
constexpr uint32_t kElementHeaderSize = 4 + 4;  // tag, value length (implicit VR)
constexpr uint16_t kSopInstanceGroup = 0x0008, kSopInstanceElement = 0x0018;
constexpr int kCommandMode = 1, kDataMode = 0;

using Command = std::unique_ptr<DcmObj>;

void AddUS(DcmObj& command, uint16_t element, uint16_t value) {
  command.Insert(new DcmTag(0, element, value, "US"));
}
void AddText(DcmObj& command, uint16_t element, const std::string& text, const char* vr) {
  command.Insert(new DcmTag(0, element, text, vr));
}
uint16_t Field(const DcmObj& command, uint16_t element) { return command.GetUShort(0, element); }

// Completes a command set with its group length and sends it.
bool SendCommand(PDU_Service* pdu, DcmObj& command) {
  command.Insert(new DcmTag(0, kGroupLength, CommandGroupLength(command), "UL"));
  return pdu->Write(&command, kCommandMode);
}

Command Request(uint16_t field, const std::string& sopClass) {
  auto command = std::make_unique<DcmObj>();
  AddText(*command, kAffectedSOPClassUID, sopClass, "UI");
  AddUS(*command, kCommandField, field);
  AddUS(*command, kMessageID, NextOddUniqueId16());
  return command;
}

Command Response(uint16_t field, const DcmObj& request, uint16_t dataSetType, uint16_t status) {
  auto command = std::make_unique<DcmObj>();
  AddText(*command, kAffectedSOPClassUID, request.GetString(0, kAffectedSOPClassUID), "UI");
  AddUS(*command, kCommandField, field);
  AddUS(*command, kMessageIDBeingRespondedTo, Field(request, kMessageID));
  AddUS(*command, kDataSetType, dataSetType);
  AddUS(*command, kStatus, status);
  return command;
}

bool HasElements(const DcmObj* dataSet) { return dataSet && dataSet->Count() > 0; }

// The checks every request goes through before its data set is read.
bool CheckRequest(const DcmObj* command, uint16_t field) {
  return HasElements(command) && Field(*command, kCommandField) == field &&
         Field(*command, kDataSetType) != kNoDataSet;
}

// Reads a response command set and, when it announces one, the data set after it.
int ReadResponse(PDU_Service* pdu, uint16_t field, DcmObj* identifier, DcmObj& command,
                 bool& wrongCommand) {
  wrongCommand = false;
  if (!pdu || !pdu->Read(&command)) return -1;
  if (Field(command, kCommandField) != field) {
    wrongCommand = true;
    return -1;
  }
  if (Field(command, kDataSetType) != kNoDataSet) {
    DcmObj scratch;
    if (!pdu->Read(identifier ? identifier : &scratch)) {
      wrongCommand = true;
      return -1;
    }
  }
  return Field(command, kStatus);
}
}  // namespace

uint32_t CommandGroupLength(const DcmObj& command) {
  uint32_t length = 0;
  for (int i = 0; i < command.Count(); ++i) {
    const DcmTag* tag = command.TagAt(i);
    if (tag && tag->group == 0 && tag->element != kGroupLength)
      length += kElementHeaderSize + tag->length;
  }
  return length;
}

// ---- C-ECHO ----

bool CEcho::WriteRQ(PDU_Service* pdu, const std::string& sopClass) {
  if (!pdu) return false;
  Command command = Request(C_ECHO_RQ, sopClass);
  AddUS(*command, kDataSetType, kNoDataSet);
  return SendCommand(pdu, *command);
}

bool CEcho::ReadRSP(PDU_Service* pdu) {
  DcmObj response;
  if (!pdu || !pdu->Read(&response)) return false;
  return Field(response, kCommandField) == C_ECHO_RSP && Field(response, kStatus) == 0;
}

bool CEcho::ReadRQ(PDU_Service*, DcmObj* command) {
  return command && Field(*command, kCommandField) == C_ECHO_RQ;
}

bool CEcho::WriteRSP(PDU_Service* pdu, DcmObj* request) {
  if (!pdu || !request || request->GetString(0, kAffectedSOPClassUID).empty()) return false;
  Command command = Response(C_ECHO_RSP, *request, Field(*request, kDataSetType), kStatusSuccess);
  return SendCommand(pdu, *command);
}

// ---- C-FIND ----

bool CFind::WriteRQ(PDU_Service* pdu, DcmObj* identifier, const std::string& sopClass) {
  // A request that announces an identifier and sends none leaves the peer waiting for it until
  // its time-out: refuse before anything is sent.
  if (!pdu || !HasElements(identifier)) return false;
  Command command = Request(C_FIND_RQ, sopClass);
  AddUS(*command, kPriority, 0);
  AddUS(*command, kDataSetType, kDataSetFollows);
  if (!SendCommand(pdu, *command)) return false;
  return pdu->Write(identifier, kDataMode);
}

int CFind::ReadRSP(PDU_Service* pdu, DcmObj* identifier) {
  DcmObj command;
  bool wrongCommand = false;
  return ReadResponse(pdu, C_FIND_RSP, identifier, command, wrongCommand);
}

bool CFind::ReadRQ(PDU_Service* pdu, DcmObj* command, DcmObj* identifier) {
  if (!CheckRequest(command, C_FIND_RQ)) return false;
  if (!pdu || !identifier) return true;
  return pdu->Read(identifier);
}

bool CFind::WriteRSP(PDU_Service* pdu, DcmObj* request, DcmObj* identifier, uint16_t status) {
  if (!pdu || !request || request->GetString(0, kAffectedSOPClassUID).empty()) return false;
  // An identifier without elements would announce a data set that never comes.
  bool withIdentifier = HasElements(identifier);
  Command command =
      Response(C_FIND_RSP, *request, withIdentifier ? kDataSetFollows : kNoDataSet, status);
  if (!SendCommand(pdu, *command)) return false;
  return !withIdentifier || pdu->Write(identifier, kDataMode);
}

// ---- C-MOVE ----

bool CMove::WriteRQ(PDU_Service* pdu, DcmObj* identifier, const std::string& sopClass,
                    const std::string& destination) {
  if (!pdu || !HasElements(identifier)) return false;
  Command command = Request(C_MOVE_RQ, sopClass);
  AddText(*command, kMoveDestination, destination, "AE");
  AddUS(*command, kPriority, 0);
  AddUS(*command, kDataSetType, kDataSetFollows);
  if (!SendCommand(pdu, *command)) return false;
  return pdu->Write(identifier, kDataMode);
}

int CMove::ReadRSP(PDU_Service* pdu, DcmObj* identifier, int& remaining) {
  DcmObj command;
  bool wrongCommand = false;
  int status = ReadResponse(pdu, C_MOVE_RSP, identifier, command, wrongCommand);
  if (wrongCommand) remaining = -1;
  if (status >= 0) remaining = Field(command, kNumberOfRemainingSubOperations);
  return status;
}

bool CMove::ReadRQ(PDU_Service* pdu, DcmObj* command, DcmObj* identifier) {
  if (!CheckRequest(command, C_MOVE_RQ)) return false;
  if (!pdu || !identifier) return true;
  return pdu->Read(identifier);
}

bool CMove::WriteRSP(PDU_Service* pdu, DcmObj* request, uint16_t status, uint16_t remaining,
                     uint16_t completed, uint16_t failed, uint16_t warning) {
  if (!pdu || !request || request->GetString(0, kAffectedSOPClassUID).empty()) return false;
  Command command = Response(C_MOVE_RSP, *request, kNoDataSet, status);
  AddUS(*command, kNumberOfRemainingSubOperations, remaining);
  if (status != kStatusPending) {
    AddUS(*command, kNumberOfCompletedSubOperations, completed);
    AddUS(*command, kNumberOfFailedSubOperations, failed);
    AddUS(*command, kNumberOfWarningSubOperations, warning);
  }
  return SendCommand(pdu, *command);
}

// ---- C-STORE ----

bool CStore::WriteRQ(PDU_Service* pdu, DcmObj* dataSet, const std::string& sopClass) {
  if (!pdu || !dataSet) return false;
  Command command = Request(C_STORE_RQ, sopClass);
  AddUS(*command, kPriority, 0);
  AddUS(*command, kDataSetType, kDataSetFollows);
  std::string instance = dataSet->GetString(kSopInstanceGroup, kSopInstanceElement);
  if (!instance.empty()) AddText(*command, kAffectedSOPInstanceUID, instance, "UI");
  if (!SendCommand(pdu, *command)) {
    LogWrite("ERROR, CStore::WriteRQ, PDU->Write DCO failed");
    return false;
  }
  return pdu->Write(dataSet, kDataMode);
}

int CStore::ReadRSP(PDU_Service* pdu) {
  DcmObj response;
  if (!pdu || !pdu->Read(&response)) {
    LogWrite("ERROR, CStore::ReadRSP, PDU->Read DCO failed");
    return -1;
  }
  if (Field(response, kCommandField) != C_STORE_RSP) {
    LogWrite("ERROR, CStore::ReadRSP, not a C-Store RSP");
    return -2;
  }
  uint16_t status = Field(response, kStatus);
  if (status != 0) LogWrite("ERROR, CStore::ReadRSP, status == " + std::to_string(status));
  return status;
}

bool CStore::ReadRQ(PDU_Service* pdu, DcmObj* command, DcmObj* dataSet) {
  if (!HasElements(command)) {
    LogWrite("ERROR, CStore::ReadRQ, DCO->Count == 0");
    return false;
  }
  if (Field(*command, kCommandField) != C_STORE_RQ) {
    LogWrite("ERROR, CStore::ReadRQ, not a C-Store RQ");
    return false;
  }
  if (Field(*command, kDataSetType) == kNoDataSet) {
    LogWrite("ERROR, CStore::ReadRQ, C-Store Request without data section");
    return false;
  }
  if (!pdu || !dataSet) return true;
  return pdu->Read(dataSet);
}

bool CStore::WriteRSP(PDU_Service* pdu, DcmObj* request, uint16_t status) {
  if (!request) {
    LogWrite("ERROR, CStore::WriteRSP, DCO is NULL");
    return false;
  }
  if (request->GetString(0, kAffectedSOPClassUID).empty()) {
    LogWrite("ERROR, CStore::WriteRSP, SOP Class UID is empty");
    return false;
  }
  std::string instance = request->GetString(0, kAffectedSOPInstanceUID);
  if (instance.empty()) {
    LogWrite("ERROR, CStore::WriteRSP, SOP Instance UID is empty");
    return false;
  }
  if (!pdu) return false;
  Command command = Response(C_STORE_RSP, *request, kNoDataSet, status);
  AddText(*command, kAffectedSOPInstanceUID, instance, "UI");
  if (!SendCommand(pdu, *command)) {
    LogWrite("ERROR, CStore::WriteRSP, PDU->Write for DCOR failed");
    return false;
  }
  return true;
}
