// What every service handler of the association loop receives besides the association and the
// command set: the store folder, this node's AE title and the peer's calling AE title.
#pragma once

#include <string>

class DcmObj;
class PDU_Service;

struct AssociationContext {
  std::string storeFolder;  // the image store root, ending in "/"
  std::string ownAeTitle;
  std::string callingAeTitle;  // trimmed of bytes 0x00-0x20 at both ends
  int socketId = -1;           // the accepted connection, for log lines
};

// One handler signature for every service: reads what follows the command, sends its
// responses, and returns whether the association goes on.
using ServiceHandler = bool (*)(PDU_Service& pdu, DcmObj& command,
                                const AssociationContext& context);
