// The association service: connecting, reading, writing and closing (see PDU_Service.h).
// Negotiation lives in Negotiation.cpp.
#include "net/PDU_Service.h"

#include <memory>
#include <string>
#include <vector>

#include "dicom/BufData.h"
#include "dicom/DcmObj.h"
#include "dicom/ScratchBuffer.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"

namespace {
constexpr int kFinalPduWaitMilliseconds = 1000;
}  // namespace

PDU_Service::PDU_Service() {
  Link.SetIncomingEndian(2);
  Link.SetOutgoingEndian(2);
}

PDU_Service::~PDU_Service() {
  if (!Link.socket().IsConnected()) return;
  // A released association ends in order. Any other end resets, but only after the last PDU
  // sent (an abort, a refusing acceptance) has reached the peer.
  if (releaseCompleted)
    Link.socket().CloseGracefully();
  else
    Link.socket().CloseAfterFinalPdu(kFinalPduWaitMilliseconds);
}

void PDU_Service::AbortAndClose() {
  abortRQ.Write(Link);
  Link.socket().CloseAfterFinalPdu(kFinalPduWaitMilliseconds);
}

bool PDU_Service::Connect(const std::string& host, const std::string& port) {
  try {
    isRequestor = true;
    pdata.Length = 0;
    Link.ClearFailure();
    UserInformation& info = assocRQ.UserInfo;
    info.MaxSubLength.MaximumLength = kOurMaximumLength;
    info.SetImpClass(kImplementationClassUid);
    info.SetImpVersion(kImplementationVersionName);
    info.SetUserIdentity(UserName, Password);
    if (!Link.socket().Connect(host, port)) {
      LogWrite("ERROR, PDU_Service::Connect, Socket Level Error");
      return false;
    }
    if (LoggingAbove(0)) LogWrite("INFO, Connected to: " + host + ":" + port);
    if (!assocRQ.Write(Link)) {
      LogWrite("ERROR, Association RQ failed!");
      return false;
    }
    uint8_t type = 0;
    Link.ReadByte(type);
    if (LoggingAbove(1))
      LogWrite("INFO, PDU_Service::Connect, Item Type: " + std::to_string(int(type)));
    if (Link.Failed()) {
      Link.socket().Close();
      LogWrite("ERROR, Corrupt Transmission...");
      return false;
    }
    if (type == kAssociateACPdu) {
      if (LoggingAbove(1)) LogWrite("INFO, Association Accept::ReadDynamic");
      assocAC.ReadDynamic(Link);
      if (!assocAC.ProtocolError && !Link.Failed() && InterogateAAssociateAC()) return true;
      if (assocAC.ProtocolError)
        AbortAndClose();
      else
        Link.socket().Close();
      LogWrite("ERROR, PDU_Service::Connect, InterogateAAssociateAC failed");
      return false;
    }
    if (type == kAssociateRJPdu) {
      LogWrite("ERROR, Association Rejected...");
      assocRJ.ReadDynamic(Link);
      Link.socket().Close();
      return false;
    }
    LogWrite("ERROR, Corrupt Transmission...");
    Link.socket().Close();
    return false;
  } catch (...) {
    LogWrite("ERROR, PDU_Service::Connect, indeterminate error");
    return false;
  }
}

bool PDU_Service::Multiplex(int connectedSocket) {
  isRequestor = false;
  Link.ClearFailure();
  // -1 keeps the connection already under Link (an in-memory socket in tests and fuzzing).
  if (connectedSocket >= 0) Link.socket().Adopt(connectedSocket);
  if (!assocRQ.Read(Link)) {
    LogWrite("ERROR, PDU_Service::Multiplex assocRQ.Read()");
    // A PDU length out of bounds means the byte stream is lost: abort at once.
    if (assocRQ.ProtocolError) AbortAndClose();
    return false;
  }
  if (InterogateAAssociateRQ()) return true;
  LogWrite("ERROR, PDU_Service::Multiplex InterogateAAsociateRQ()");
  Link.socket().CloseAfterFinalPdu(kFinalPduWaitMilliseconds);
  return false;
}

bool PDU_Service::Read(DcmObj* out) {
  if (!Link.socket().IsConnected() || Link.Failed()) return false;
  pdata.MessageComplete = 0;
  for (;;) {
    if (pdata.Length == 0) {
      uint8_t type = 0;
      Link.ReadByte(type);
      if (Link.Failed()) return false;
      switch (type) {
        case kPDataTFPdu:
          break;
        case kReleaseRQPdu:
          if (!releaseRQ.ReadDynamic(Link)) {
            // A release whose length cannot be one leaves the stream out of step: abort.
            if (Link.Failed()) return false;
            AbortAndClose();
            LogWrite("ERROR, PDU_Service::Read Protocol Error");
            return false;
          }
          releaseRP.Write(Link);
          releaseCompleted = Link.socket().IsConnected();  // a failed send has closed it
          if (LoggingAbove(0)) LogWrite("INFO, PDU_Service::Read Release-RQ");
          return false;
        case kReleaseRPPdu:
          Link.socket().Close();
          LogWrite("WARNING, PDU_Service::Read Release-RSP");
          return false;
        case kAbortPdu:
          Link.socket().Close();
          LogWrite("WARNING, PDU_Service::Read Abort-RQ");
          return false;
        case kAssociateRQPdu:
          assocRQ.ReadDynamic(Link);
          AbortAndClose();
          LogWrite("ERROR, PDU_Service::Read Associate-RQ");
          return false;
        case kAssociateACPdu:
          assocAC.ReadDynamic(Link);
          AbortAndClose();
          LogWrite("ERROR, PDU_Service::Read Associate-AC");
          return false;
        case kAssociateRJPdu:
          AbortAndClose();
          LogWrite("ERROR, PDU_Service::Read Associate-RJ");
          return false;
        default:
          AbortAndClose();
          LogWrite("ERROR, PDU_Service::Read Protocol Error");
          return false;
      }
    }
    if (!pdata.ReadDynamic(Link)) {
      // A failed read has closed the socket already; a PDU or PDV that does not fit is a
      // protocol error, and the rest of the stream cannot be trusted.
      if (Link.socket().IsConnected() && !Link.Failed()) {
        AbortAndClose();
        LogWrite("ERROR, PDU_Service::Read Protocol Error");
      }
      return false;
    }
    if (!pdata.MessageComplete) continue;
    if (ParseRawVRIntoDCM(pdata.MessageBuffer, out, pdata.PresentationContextID)) return true;
    AbortAndClose();
    LogWrite("ERROR, PDU_Service::Read ParseRawVRIntoDCM()");
    return false;
  }
}

bool PDU_Service::ParseRawVRIntoDCM(Buffer& message, DcmObj* out, uint8_t presentationContextId) {
  std::string syntax;
  if (!GetTransferSyntaxUID(presentationContextId, syntax)) {
    message.DiscardIncoming();
    LogWrite("ERROR, PDU_Service::ParseRawVRIntoDCM GetTransferSyntaxUID()");
    return false;
  }
  out->transferSyntax = syntax;
  out->explicitVR = syntax != ts::kImplicitLE;
  // The assembled message is parsed where it lies; its large values keep referring to it, so
  // the object is never copied whole once more.
  BufData buf(false);
  uint64_t size = 0;
  std::shared_ptr<const uint8_t> bytes = message.TakeIncoming(size);
  buf.MS.Lend(std::move(bytes), size);
  if (!buf.ReadOjb(*out)) {
    LogWrite("ERROR, PDU_Service::ParseRawVRIntoDCM buf.ReadOjb()");
    return false;
  }
  if (DumpMessages) DumpMessage(out, " << ");
  return true;
}

void PDU_Service::Encode(DcmObj* message, BufData& buf) {
  if (DumpMessages) DumpMessage(message, " >> ");
  buf.bigEndian = message->transferSyntax == ts::kExplicitBE;
  buf.WriteObj(*message);
}

bool PDU_Service::ParseDCMIntoRawVR(DcmObj* message, Buffer& target) {
  BufData buf(false);
  ScratchLease lease(buf.MS.Bytes());
  Encode(message, buf);
  const std::vector<uint8_t>& bytes = buf.MS.Bytes();
  if (!bytes.empty()) target.Write(bytes.data(), uint32_t(bytes.size()));
  return true;
}

void PDU_Service::DumpMessage(DcmObj* message, const char* direction) {
  LogWrite(TrimControlAndBlanks(assocAC.CallingApTitle) + direction +
           TrimControlAndBlanks(assocAC.CalledApTitle));
  std::vector<std::string> lines;
  message->Dump(lines, 0);
  for (const std::string& line : lines) LogWrite(line);
  LogWrite("");
}

uint32_t PDU_Service::SendLimit() {
  MaxSubLength& peer = isRequestor ? assocAC.UserInfo.MaxSubLength : assocRQ.UserInfo.MaxSubLength;
  if (peer.MaximumLength > kOurMaximumLength) {
    peer.MaximumLength = kOurMaximumLength;
    if (LoggingAbove(0) && !sendLimitCapped)
      LogWrite("INFO, PDU_Service::Write, MaximumLength set to 16384");
    sendLimitCapped = true;
  }
  return peer.MaximumLength;
}

bool PDU_Service::Write(DcmObj* message, int mode) {
  if (pdata.PresentationContextID == 0) {
    LogWrite("ERROR: pdata.PresentationContextID is 0");
    return false;
  }
  if (!message || !Link.socket().IsConnected()) return false;
  pdata.MessageBuffer.DiscardOutgoing();
  // The fragments leave straight from the encoded bytes.
  BufData buf(false);
  ScratchLease lease(buf.MS.Bytes());
  Encode(message, buf);
  const std::vector<uint8_t>& bytes = buf.MS.Bytes();
  pdata.SendControl = uint8_t(mode);
  pdata.BlockSize = SendLimit() - kPdvHeaderSize;
  return pdata.Write(Link, bytes.data(), uint32_t(bytes.size()));
}

bool PDU_Service::Close() {
  pdata.Length = 0;
  if (Link.socket().IsConnected()) {
    releaseRQ.Write(Link);
    // Released only when the answer is an A-RELEASE-RP; anything else, or none within the
    // time-out, ends with a reset.
    releaseCompleted = releaseRP.Read(Link) && releaseRP.ItemType == kReleaseRPPdu;
    releaseRP.ItemType = kReleaseRPPdu;
  }
  if (releaseCompleted)
    Link.socket().CloseGracefully();
  else
    Link.socket().Close();
  return true;
}

bool PDU_Service::GetTransferSyntaxUID(uint8_t presentationContextId, std::string& out) const {
  for (const PresentationContextAccept* accepted : AcceptedContexts) {
    if (accepted->PresentationContextID == presentationContextId) {
      out = accepted->TrnSyntax.UID;
      return true;
    }
  }
  return false;
}

std::string PDU_Service::GetAbstractSyntaxUID() const {
  for (const PresentationContextAccept* accepted : AcceptedContexts)
    if (accepted->PresentationContextID == pdata.PresentationContextID)
      return accepted->AbsSyntax.UID;
  return "";
}

bool PDU_Service::SetTimeout(int seconds) {
  Link.socket().SetTimeout(seconds);
  return true;
}

int PDU_Service::GetSocketID() { return Link.socket().ConnectedFd(); }
