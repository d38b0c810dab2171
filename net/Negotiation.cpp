// Presentation context negotiation, both roles (see PDU_Service.h).
#include <string>
#include <string_view>

#include "dicom/Implementation.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/UidRegistry.h"
#include "dicom/util/Log.h"
#include "net/PDU_Service.h"

namespace {
constexpr const char* kUltrasoundMultiFrame = "1.2.840.10008.5.1.4.1.1.3.1";
constexpr const char* kSecondaryCapture = "1.2.840.10008.5.1.4.1.1.7";

// Acceptor, image storage: the first of these that was proposed.
constexpr std::string_view kImageSyntaxOrder[] = {
    ts::kJ2kLossless, ts::kJpegLosslessSV1, ts::kExplicitLE, ts::kImplicitLE,
    ts::kJ2k,         ts::kJpegBaseline,    ts::kRle,
};
// Acceptor, non-image storage and services.
constexpr std::string_view kPlainSyntaxOrder[] = {ts::kExplicitLE, ts::kImplicitLE};

bool Proposed(const PresentationContext& context, std::string_view uid) {
  for (const auto& syntax : context.TrnSyntax)
    if (syntax->UID == uid) return true;
  return false;
}

template <size_t N>
std::string FirstProposed(const PresentationContext& context, const std::string_view (&order)[N]) {
  for (std::string_view uid : order)
    if (Proposed(context, uid)) return std::string(uid);
  return "";
}

}  // namespace

std::string ChooseTransferSyntax(const PresentationContext& proposed, bool preferJpeg2000) {
  const std::string& abstract = proposed.AbsSyntax.UID;
  if (IsImageStorageSOPClass(abstract)) {
    std::string chosen;
    if (preferJpeg2000 && Proposed(proposed, ts::kJ2k)) chosen = ts::kJ2k;
    if ((abstract == kUltrasoundMultiFrame || abstract == kSecondaryCapture) &&
        Proposed(proposed, ts::kJpegBaseline))
      chosen = ts::kJpegBaseline;
    if (chosen.empty()) chosen = FirstProposed(proposed, kImageSyntaxOrder);
    return chosen;
  }
  if (IsNonImageStorageSOPClass(abstract) || IsServiceSOPClass(abstract))
    return FirstProposed(proposed, kPlainSyntaxOrder);
  return "";
}

bool PDU_Service::InterogateAAssociateRQ() {
  AAssociatePdu::CopyTitle(assocAC.CalledApTitle, assocRQ.CalledApTitle);
  AAssociatePdu::CopyTitle(assocAC.CallingApTitle, assocRQ.CallingApTitle);
  if (LoggingAbove(1)) {
    LogWrite(std::string("INFO, Called Ap. Title: ") + assocRQ.CalledApTitle);
    LogWrite(std::string("INFO, Calling Ap. Title: ") + assocRQ.CallingApTitle);
  }
  assocAC.SetApplicationContext(assocRQ.AppContext.UID);
  if (assocRQ.PresContexts.empty()) LogWrite("WARNING, number of Presentationt Context is zero");
  for (const auto& proposed : assocRQ.PresContexts) {
    auto answer = std::make_unique<PresentationContextAccept>();
    answer->PresentationContextID = proposed->PresentationContextID;
    answer->Result = PresentationContextAccept::kTransferSyntaxesNotSupported;
    answer->TrnSyntax.ItemType = kTransferSyntaxItem;
    const std::string& abstract = proposed->AbsSyntax.UID;
    std::string id = std::to_string(int(proposed->PresentationContextID));
    if (LoggingAbove(1))
      LogWrite("INFO, Offered Presentation Context, ID: " + id + ", Abstract Syntax: " + abstract);
    bool image = IsImageStorageSOPClass(abstract);
    if (image || IsNonImageStorageSOPClass(abstract) || IsServiceSOPClass(abstract))
      answer->SetAbstractSyntax(abstract);
    std::string chosen = ChooseTransferSyntax(*proposed, PreferJpeg2000);
    if (!chosen.empty()) {
      if (LoggingAbove(1))
        LogWrite(std::string(image ? "INFO, Valid Presentation Context, ID: "
                                   : "INFO, Valid Presentation Context ID: ") +
                 id + ", Transfer Syntax: " + chosen);
      answer->Result = PresentationContextAccept::kAcceptance;
      answer->SetTransferSyntax(chosen);
      AcceptedContexts.push_back(answer.get());
    }
    assocAC.PresContextAccepts.push_back(std::move(answer));
  }
  // Our own user information on both paths: the requestor's (with its identity and passcode,
  // and a length that counts sub-items never written back) must not be echoed.
  UserInformation fresh;
  fresh.MaxSubLength.MaximumLength = kOurMaximumLength;
  fresh.SetImpClass(kImplementationClassUid);
  fresh.SetImpVersion(kImplementationVersionName);
  assocAC.SetUserInformation(fresh);
  if (!AcceptedContexts.empty()) {
    assocAC.Write(Link);
    return true;
  }
  LogWrite("WARNING, no Valid Presentation Contexts");
  for (const auto& proposed : assocRQ.PresContexts)
    LogWrite("INFO, Abstract Syntax: " + proposed->AbsSyntax.UID);
  assocAC.Write(Link);
  return false;
}

bool PDU_Service::InterogateAAssociateAC() {
  if (assocAC.PresContextAccepts.empty()) LogWrite("WARNING, assocAC.PresContextAccepts Count==0");
  PresentationContextAccept* selected = nullptr;
  for (const auto& answer : assocAC.PresContextAccepts) {
    if (answer->Result != PresentationContextAccept::kAcceptance) continue;
    AcceptedContexts.push_back(answer.get());
    if (LoggingAbove(1))
      LogWrite(
          "Presentation Context Accept ID: " + std::to_string(int(answer->PresentationContextID)) +
          ", Transfer Syntax: " + answer->TrnSyntax.UID);
    if (!selected && IsSelectableTransferSyntax(answer->TrnSyntax.UID)) selected = answer.get();
  }
  if (!selected) {
    LogWrite("ERROR, Transfer Syntax is Empty");
    return false;
  }
  pdata.PresentationContextID = selected->PresentationContextID;
  return true;
}
