// One DICOM association in either role. As requestor, Connect opens the connection, sends the
// A-ASSOCIATE-RQ its caller prepared in `assocRQ` and selects a context from the answer. As
// acceptor, Multiplex takes an accepted connection, negotiates every proposed context and
// answers with an A-ASSOCIATE-AC. Then Read delivers the next message (command set or data set)
// as a DcmObj, Write sends one, Close releases. A completed release closes the connection in
// order; an abort, a protocol error, a time-out or a failed release closes it with a reset.
//
// Below: the PDUs, P-DATA-TF, the link Buffer and its Socket; the element codec (BufData) for
// messages. Above: the DIMSE messages (net/Dimse.h) and the services. Never touches storage.
#pragma once

#include <string>
#include <vector>

#include "dicom/Implementation.h"
#include "net/AssociationPdus.h"
#include "net/Buffer.h"
#include "net/PDataTF.h"

class BufData;
class DcmObj;

// Announced in both roles.
inline constexpr uint32_t kOurMaximumLength = 16384;

class PDU_Service {
 public:
  PDU_Service();
  PDU_Service(const PDU_Service&) = delete;
  PDU_Service& operator=(const PDU_Service&) = delete;
  ~PDU_Service();

  bool Connect(const std::string& host, const std::string& port);
  bool Multiplex(int connectedSocket);
  // Appends the next message to `out`; false when the association ended or failed.
  bool Read(DcmObj* out);
  // mode 1: command set, 0: data set; on the context of pdata.PresentationContextID.
  bool Write(DcmObj* message, int mode);
  bool Close();
  // The read time-out of the association's socket, bounding every later wait for the peer.
  bool SetTimeout(int seconds);
  // The handle of the association's connected socket (-1 when none), for log lines.
  int GetSocketID();
  bool GetTransferSyntaxUID(uint8_t presentationContextId, std::string& out) const;
  std::string GetAbstractSyntaxUID() const;

  bool InterogateAAssociateRQ();
  bool InterogateAAssociateAC();
  bool ParseRawVRIntoDCM(Buffer& message, DcmObj* out, uint8_t presentationContextId);
  bool ParseDCMIntoRawVR(DcmObj* message, Buffer& target);

  bool DumpMessages = false;
  bool PreferJpeg2000 = false;
  std::string UserName;
  std::string Password;
  // Non-owning: every entry lives in assocAC.PresContextAccepts.
  std::vector<PresentationContextAccept*> AcceptedContexts;
  Buffer Link;
  AAssociateRQ assocRQ;
  AAssociateAC assocAC;
  AAssociateRJ assocRJ;
  AReleaseRQ releaseRQ;
  AReleaseRP releaseRP;
  AAbortRQ abortRQ;
  PDataTF pdata;

 private:
  void AbortAndClose();
  void DumpMessage(DcmObj* message, const char* direction);
  // Encodes `message` into buf in its transfer syntax's byte order.
  void Encode(DcmObj* message, BufData& buf);
  uint32_t SendLimit();
  bool sendLimitCapped = false;
  bool isRequestor = false;
  // The release handshake finished (either role): the connection then closes without a reset.
  bool releaseCompleted = false;
};

// The transfer syntax the acceptor chooses for one proposed context ("" when none).
std::string ChooseTransferSyntax(const PresentationContext& proposed, bool preferJpeg2000);
