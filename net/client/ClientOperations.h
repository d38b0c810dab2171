// The requestor side: opening an association with one presentation context, the echo test, and
// the request and response steps of C-FIND and C-MOVE in terms of the query records.
//
// The caller owns the association: it creates a PDU_Service, opens it here, runs the steps,
// releases it with PDU_Service::Close and deletes it. One association serves one opening.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/ImageInfo.h"
#include "db/SeriesInfo.h"
#include "db/StudyInfo.h"
#include "net/CommandFields.h"

class PDU_Service;

// Records of one query level; the level's list is the one used.
struct QueryRecords {
  std::vector<std::unique_ptr<StudyInfo>> studies;
  std::vector<std::unique_ptr<SeriesInfo>> series;
  std::vector<std::unique_ptr<ImageInfo>> images;
};

// Proposes one context (ID 1 after the counter reset): ts2, ts1 (when different), implicit LE.
// Empty ts1/ts2 mean "none". Titles go out as exactly 16 characters.
bool OpenAssociation(PDU_Service& pdu, const std::string& host, const std::string& port,
                     const std::string& callingAeTitle, const std::string& calledAeTitle,
                     const std::string& abstractSyntax, const std::string& ts1,
                     const std::string& ts2, int timeoutSeconds);
// Implicit VR little endian only.
bool OpenAssociation(PDU_Service& pdu, const std::string& host, const std::string& port,
                     const std::string& callingAeTitle, const std::string& calledAeTitle,
                     const std::string& abstractSyntax, int timeoutSeconds);

bool EchoSCU(const std::string& host, const std::string& port, const std::string& callingAeTitle,
             const std::string& calledAeTitle, int timeoutSeconds);
bool WriteEchoRQ(PDU_Service& pdu, const std::string& sopClass);
bool ReadEchoRSP(PDU_Service& pdu);

// Build the identifier from the first record of the level's list, which is removed and
// destroyed whatever the outcome.
bool WriteFindRQ(PDU_Service& pdu, QueryRecords& records, const std::string& sopClass,
                 const std::string& level);
// One C-FIND-RSP; a record is appended for every status other than 0 and -1.
int ReadFindRSP(PDU_Service& pdu, QueryRecords& records, const std::string& level);
bool WriteMoveRQ(PDU_Service& pdu, QueryRecords& records, const std::string& sopClass,
                 const std::string& level, const std::string& destination);
// One C-MOVE-RSP; remaining unchanged when no command arrived, -1 for a wrong one.
int ReadMoveRSP(PDU_Service& pdu, int& remaining);
