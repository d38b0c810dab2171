// The service handlers the association loop dispatches to, and their building blocks.
#pragma once

#include <cstdint>
#include <string>

#include "net/server/AssociationContext.h"

class DcmObj;
class PDU_Service;

// C-STORE: reads the object, stores and registers it, answers.
bool CStoreSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context);
// Stores one object into the image store and the study database; the C-STORE status.
int32_t StoreExecute(DcmObj& dataSet, const std::string& storeFolder,
                     const std::string& callingAeTitle);

// Study Root C-FIND at STUDY, SERIES and IMAGE level.
bool FindSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context);
// Modality worklist C-FIND over database/vesmora.db.
bool WorklistFindSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context);
// Study Root C-MOVE to a destination of remotes.txt.
bool MoveSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context);
// The C-ECHO answer of the association loop.
bool EchoSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context);

// The 600 s read time-out of C-MOVE sub-associations.
inline constexpr int kMoveSubAssociationTimeoutSeconds = 600;
