// The service handlers the association loop dispatches to, and their building blocks.
#pragma once

#include <cstdint>
#include <string>

#include "net/server/AssociationContext.h"

class DcmObj;
class PDU_Service;

// C-STORE: reads the object, stores and registers it, answers.
bool CStoreSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context);
// Stores one object under `storeFolder` (an image store root ending in "/", the one the server
// was started with) and into the study database; the C-STORE status. Never called while the
// thread holds RegisterBusy: the store may wait for one queued before it that needs the lock.
int32_t StoreExecute(DcmObj& dataSet, const std::string& storeFolder,
                     const std::string& callingAeTitle);

// Study Root C-FIND at STUDY, SERIES and IMAGE level.
bool FindSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context);
// A C-FIND response identifier in the transfer syntax of the context the request came on,
// explicit VR unless that is implicit VR little endian.
void PrepareFindResponse(PDU_Service& pdu, DcmObj& response);
// Modality worklist C-FIND over database/vesmora.db.
bool WorklistFindSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context);
// Study Root C-MOVE to a destination of remotes.txt.
bool MoveSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context);
// The C-ECHO answer of the association loop.
bool EchoSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context);

// Sends one object on an outgoing storage association: 0 sent; -1 no presentation context for
// data; -2 no transfer syntax known for it; -3 the object cannot be encoded for that syntax (an
// image whose conversion failed, or a non-image pairing other than explicit to implicit VR
// little endian); -4 the C-STORE-RQ or its data set was not written.
int32_t WriteStoreRQ(PDU_Service& out, DcmObj& dataSet, const std::string& sopClass);
// The C-STORE-RSP status; -1 no response read, -2 not a C-STORE-RSP.
int32_t ReadStoreRSP(PDU_Service& out);

// The 600 s read time-out of C-MOVE sub-associations.
inline constexpr int kMoveSubAssociationTimeoutSeconds = 600;
