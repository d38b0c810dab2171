// The DIMSE command sets of C-ECHO, C-FIND, C-MOVE and C-STORE, and the data set or identifier
// that follows a command. Each operation builds or checks one command set and moves it through
// an association; none of them reads a socket or knows a PDU.
//
// Below: the association service (net/PDU_Service.h) and the data-set model. Above: the client
// operations and the services of the server. Command sets are implicit VR little endian;
// (0000,0000) is computed from the encoded lengths of the elements after it.
#pragma once

#include <cstdint>
#include <string>

#include "net/CommandFields.h"

class DcmObj;
class PDU_Service;

inline constexpr uint16_t kNoDataSet = 0x0101;
inline constexpr uint16_t kDataSetFollows = 0x0102;

// The statuses the services put into responses.
enum DimseStatus : uint16_t {
  kStatusSuccess = 0x0000,
  kStatusPending = 0xFF00,
  kStatusFindEndedAfterFailedPending = 0xFE00,
  kStatusUnableToProcess = 0xC000,
  kStatusRefusedNoPatientId = 0xA700,
  kStatusRegistrationFailed = 0xA702,
  kStatusSavingFailed = 0xA703,
  kStatusUnexpectedStoreFailure = 0xA710,
  kStatusMoveDestinationUnknown = 0xA801,
  kStatusIdentifierLacksUid = 0xA900,
  kStatusDataSetDoesNotMatch = 0xA900,  // C-STORE: the data set's UIDs are not the command's
  kStatusSubOperationsWarning = 0xB000,
};

struct StatusEntry {
  uint16_t status;
  const char* meaning;
  const char* responses;
};
// One row per status; ends at a row with a null meaning.
extern const StatusEntry kDimseStatusTable[];

// Group length of a command set: 8 bytes per element after (0000,0000) plus its value length.
uint32_t CommandGroupLength(const DcmObj& command);

class CEcho {
 public:
  static bool WriteRQ(PDU_Service* pdu, const std::string& sopClass);
  static bool ReadRSP(PDU_Service* pdu);
  static bool ReadRQ(PDU_Service* pdu, DcmObj* command);
  static bool WriteRSP(PDU_Service* pdu, DcmObj* request);
};

class CFind {
 public:
  static bool WriteRQ(PDU_Service* pdu, DcmObj* identifier, const std::string& sopClass);
  static int ReadRSP(PDU_Service* pdu, DcmObj* identifier);
  static bool ReadRQ(PDU_Service* pdu, DcmObj* command, DcmObj* identifier);
  static bool WriteRSP(PDU_Service* pdu, DcmObj* request, DcmObj* identifier, uint16_t status);
};

class CMove {
 public:
  static bool WriteRQ(PDU_Service* pdu, DcmObj* identifier, const std::string& sopClass,
                      const std::string& destination);
  static int ReadRSP(PDU_Service* pdu, DcmObj* identifier, int& remaining);
  static bool ReadRQ(PDU_Service* pdu, DcmObj* command, DcmObj* identifier);
  // Pending responses carry only Remaining; the final one (status not 0xFF00) also carries the
  // Completed, Failed and Warning counts.
  static bool WriteRSP(PDU_Service* pdu, DcmObj* request, uint16_t status, uint16_t remaining,
                       uint16_t completed = 0, uint16_t failed = 0, uint16_t warning = 0);
};

class CStore {
 public:
  static bool WriteRQ(PDU_Service* pdu, DcmObj* dataSet, const std::string& sopClass);
  static int ReadRSP(PDU_Service* pdu);
  static bool ReadRQ(PDU_Service* pdu, DcmObj* command, DcmObj* dataSet);
  static bool WriteRSP(PDU_Service* pdu, DcmObj* request, uint16_t status);
};
