// Study Root C-MOVE: the destination comes from remotes.txt, the objects from the local study
// database and the image store. They go out as C-STORE sub-operations over outgoing
// associations of this thread, one per series (and per SOP class within it), with a pending
// response after each stored object and a final response whose status and counts follow the
// sub-operations.
#include <memory>
#include <vector>

#include "db/LocalQuery.h"
#include "db/StoreNames.h"
#include "dicom/DcmObj.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/UidRegistry.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "net/AssociationProposal.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/client/ClientOperations.h"
#include "net/server/Services.h"
#include "net/server/rules/MoveDestinations.h"
#include "net/server/rules/MoveOutcome.h"
#include "platform/ExeFolder.h"

namespace {

struct MoveContext {
  PDU_Service& incoming;
  DcmObj& request;
  std::string ownAeTitle;
  std::string destination;
  std::string host;
  std::string port;
  std::string storeFolder;
  int timeoutSeconds = kMoveSubAssociationTimeoutSeconds;
  SubOperationCounts counts;
};

void SendFinal(MoveContext& move, uint16_t status) {
  CMove::WriteRSP(&move.incoming, &move.request, status, 0, move.counts.completed,
                  move.counts.failed, move.counts.warning);
}

void Refuse(PDU_Service& pdu, DcmObj& request, uint16_t status, const std::string& line) {
  CMove::WriteRSP(&pdu, &request, status, 0, 0, 0, 0);
  LogWrite(line);
}

// The image-level identifier of the objects of one series (or one object of it).
void ImageIdentifier(DcmObj& identifier, const std::string& sopUid, const std::string& studyUid,
                     const std::string& seriesUid) {
  identifier.Add(NewTag(tag::kSOPInstanceUID, sopUid, "UI"));
  identifier.Add(NewTag(tag::kQueryRetrieveLevel, std::string("IMAGE"), "CS"));
  identifier.Add(NewTag(tag::kStudyInstanceUID, studyUid, "UI"));
  identifier.Add(NewTag(tag::kSeriesInstanceUID, seriesUid, "UI"));
}

// The key UIDs of the rows of one level, the empty ones skipped.
std::vector<std::string> KeyUids(const std::vector<std::string>& rows, const std::string& columns,
                                 int count, const std::string& level) {
  std::vector<std::string> uids;
  for (const std::string& row : rows) {
    std::string uid;
    GetRowKeyUID(uid, columns, row, count, level);
    if (uid.empty()) {
      LogWrite("WARNING, MoveSCP, empty UID skipped");
      continue;
    }
    uids.push_back(uid);
  }
  return uids;
}
}  // namespace

int32_t WriteStoreRQ(PDU_Service& out, DcmObj& dataSet, const std::string& sopClass) {
  const uint8_t contextId = out.pdata.PresentationContextID;
  if (contextId == 0) return -1;
  std::string contextSyntax;
  if (!out.GetTransferSyntaxUID(contextId, contextSyntax)) return -2;
  switch (ChooseStoreEncoding(dataSet.transferSyntax, contextSyntax,
                              IsImageStorageSOPClass(sopClass))) {
    case StoreEncoding::AsItIs:
      break;
    case StoreEncoding::Convert:
      if (!dataSet.ConvertTransferSyntax(contextSyntax)) return -3;
      break;
    case StoreEncoding::RelabelImplicit:
      dataSet.transferSyntax = ts::kImplicitLE;
      dataSet.explicitVR = false;
      break;
    case StoreEncoding::Refuse:
      return -3;
  }
  return CStore::WriteRQ(&out, &dataSet, sopClass) ? 0 : -4;
}

int32_t ReadStoreRSP(PDU_Service& out) { return CStore::ReadRSP(&out); }

namespace {
// How one object went: the destination's C-STORE status (negative for a local failure), which
// counts it, and whether its pending response also reached the requestor.
struct SubOperationResult {
  int32_t storeStatus = -1;
  bool pendingSent = false;
  bool Ok() const { return storeStatus == 0 && pendingSent; }
};

// One object to the destination, then its pending response.
SubOperationResult MoveSubOperation(PDU_Service& out, MoveContext& move, DcmObj& dataSet,
                                    const std::string& sopClass, int remaining) {
  SubOperationResult result;
  if (WriteStoreRQ(out, dataSet, sopClass) != 0) {
    LogWrite("ERROR, WriteStoreRQ");
    return result;
  }
  result.storeStatus = ReadStoreRSP(out);
  if (result.storeStatus != 0) {
    LogWrite("ERROR, ReadStoreRQ");
    return result;
  }
  result.pendingSent = CMove::WriteRSP(&move.incoming, &move.request, kStatusPending,
                                       static_cast<uint16_t>(remaining));
  if (!result.pendingSent) LogWrite("ERROR, cmoveWriteRSP");
  return result;
}

// The outgoing association of a run of objects of one SOP class.
struct Outgoing {
  std::unique_ptr<PDU_Service> pdu;
  std::string sopClass;
  bool failed = false;

  void Close() {
    if (pdu) pdu->Close();
    pdu.reset();
  }
};

// Replaces the outgoing association by one for `sopClass`; out.failed tells how it went.
void OpenFor(Outgoing& out, MoveContext& move, const std::string& sopClass,
             const std::string& fileSyntax) {
  out.Close();
  out.sopClass = sopClass;
  out.pdu = std::make_unique<PDU_Service>();
  out.pdu->DumpMessages = LoggingAbove(1);
  out.failed = !OpenAssociation(*out.pdu, move.host, move.port, move.ownAeTitle, move.destination,
                                sopClass, MoveProposalSyntax(fileSyntax), "", move.timeoutSeconds);
  if (out.failed) {
    LogWrite("ERROR, STORE SCU Association Failed! AET: " + move.destination +
             ", IP: " + move.host + ", Port: " + move.port);
  }
}

// Sends the objects an IMAGE-level identifier finds; true when at least one was stored.
bool MoveObjects(MoveContext& move, const std::string& studyUid, const std::string& seriesUid,
                 const std::string& sopUid) {
  DcmObj identifier;
  ImageIdentifier(identifier, sopUid, studyUid, seriesUid);
  std::vector<std::string> rows;
  std::string columns;
  int count = 0;
  if (!QueryLocalDatabase(identifier, rows, columns, count, "IMAGE")) {
    LogWrite("ERROR, Query Failed for StudyUID=" + studyUid + ", SeriesUID=" + seriesUid);
  }
  const std::vector<std::string> uids = KeyUids(rows, columns, count, "IMAGE");
  if (uids.empty()) {
    LogWrite("No images found for StudyUID: " + studyUid + ", SeriesUID: " + seriesUid);
    if (!sopUid.empty()) CountSubOperation(move.counts, -1);
    return false;
  }
  const std::string seriesPath = SafeSeriesPath(GetSeriesPath("ecg", seriesUid));
  Outgoing out;
  bool anyStored = false;
  const int n = static_cast<int>(uids.size());
  for (int i = 0; i < n; ++i) {
    const std::string path = !seriesPath.empty() && IsSafeUidFileName(uids[i])
                                 ? move.storeFolder + seriesPath + uids[i] + ".dcm"
                                 : "";
    const std::string shown = path.empty() ? uids[i] : path;
    DcmObj dataSet;
    if (path.empty() || !dataSet.Read(path)) {
      CountSubOperation(move.counts, -1);
      if (!out.pdu) {
        // Still looking for the file whose class and syntax open the association.
        LogWrite("ERROR, Couldn't read file: " + shown);
      } else if (!out.failed) {
        LogWrite("ERROR, reading file: " + shown);
        LogWrite("ERROR, IMAGE Move Failed! " + shown);
      }
      continue;
    }
    const std::string sopClass = dataSet.GetString(tag::kSOPClassUID);
    const bool hasClass = !sopClass.empty();
    if (hasClass && (!out.pdu || out.sopClass != sopClass)) {
      OpenFor(out, move, sopClass, dataSet.transferSyntax);
    }
    if (hasClass && out.failed) {
      // The association's failure line stands for every object it would have carried.
      CountSubOperation(move.counts, -1);
      continue;
    }
    SubOperationResult result;  // an object without SOP class fails unsent
    if (hasClass) result = MoveSubOperation(*out.pdu, move, dataSet, sopClass, n - i);
    // The destination's answer counts the object, even when the requestor is no longer told.
    CountSubOperation(move.counts, result.storeStatus);
    if (result.Ok()) {
      anyStored = true;
      if (LoggingAbove(0)) LogWrite("IMAGE Move OK! " + path);
    } else {
      LogWrite("ERROR, IMAGE Move Failed! " + path);
    }
  }
  out.Close();
  return anyStored;
}

bool MoveSeries(MoveContext& move, const std::string& studyUid, const std::string& seriesUid) {
  return MoveObjects(move, studyUid, seriesUid, "");
}

bool MoveImage(MoveContext& move, const std::string& studyUid, const std::string& seriesUid,
               const std::string& sopUid) {
  return MoveObjects(move, studyUid, seriesUid, TrimBlanks(sopUid));
}

bool MoveStudy(MoveContext& move, const std::string& studyUid) {
  DcmObj identifier;
  identifier.Add(NewTag(tag::kQueryRetrieveLevel, std::string("SERIES"), "CS"));
  identifier.Add(NewTag(tag::kStudyInstanceUID, studyUid, "UI"));
  identifier.Add(NewTag(tag::kSeriesInstanceUID, std::string(), "UI"));
  std::vector<std::string> rows;
  std::string columns;
  int count = 0;
  if (!QueryLocalDatabase(identifier, rows, columns, count, "SERIES")) {
    LogWrite("ERROR, Query Failed for StudyUID=" + studyUid);
  }
  bool result = false;
  for (const std::string& seriesUid : KeyUids(rows, columns, count, "SERIES")) {
    result = MoveSeries(move, studyUid, seriesUid);
  }
  return result;
}

void LogLevelResult(const std::string& level, bool ok) {
  if (!ok) {
    LogWrite("ERROR, " + level + " Move Failed!");
  } else if (LoggingAbove(0)) {
    LogWrite(level + " Move Ok!");
  }
}

// STUDY and SERIES: the local query picks the studies or series to send.
bool MoveByQuery(MoveContext& move, DcmObj& identifier, const std::string& level) {
  std::vector<std::string> rows;
  std::string columns;
  int count = 0;
  if (!QueryLocalDatabase(identifier, rows, columns, count, level)) {
    LogWrite(level == "STUDY" ? "ERROR, MoveSCP, Query failed!!"
                              : "ERROR, MoveSCP, Query Failed!!");
    SendFinal(move, kStatusUnableToProcess);
    return false;
  }
  const std::string studyUid = TrimBlanks(identifier.GetString(tag::kStudyInstanceUID));
  for (const std::string& uid : KeyUids(rows, columns, count, level)) {
    LogLevelResult(level,
                   level == "STUDY" ? MoveStudy(move, uid) : MoveSeries(move, studyUid, uid));
  }
  SendFinal(move, FinalMoveStatus(move.counts));
  return true;
}
}  // namespace

bool MoveSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context) {
  DcmObj identifier;
  if (!CMove::ReadRQ(&pdu, &command, &identifier)) {
    LogWrite("ERROR, cmove.ReadRQ failed!");
    return false;
  }
  const std::string level = TrimBlanks(identifier.GetString(tag::kQueryRetrieveLevel));
  if (level.empty()) {
    LogWrite("ERROR, QueryLevel length is = 0");
    return false;
  }
  const std::string destination = TrimBlanks(command.GetString(tag::kMoveDestination));
  if (destination.empty()) {
    Refuse(pdu, command, kStatusMoveDestinationUnknown, "ERROR, destAET length is = 0");
    return false;
  }
  const auto lines = ReadTextLines(ExeFolder + kMoveDestinationsFile);
  if (!lines) LogWrite("ERROR, file " + ExeFolder + "remotes.txt does not exists!!");
  const MoveDestination found =
      lines ? FindMoveDestination(*lines, destination) : MoveDestination{};
  if (found.host.empty() || found.port.empty()) {
    Refuse(pdu, command, kStatusMoveDestinationUnknown,
           "ERROR, couldn't match any AET with: " + destination);
    return false;
  }
  MoveContext move{pdu,
                   command,
                   context.ownAeTitle,
                   destination,
                   found.host,
                   found.port,
                   context.storeFolder,
                   kMoveSubAssociationTimeoutSeconds,
                   SubOperationCounts{}};
  if (level == "STUDY") return MoveByQuery(move, identifier, level);
  const std::string studyUid = TrimBlanks(identifier.GetString(tag::kStudyInstanceUID));
  if (level == "SERIES") {
    if (studyUid.empty()) {
      Refuse(pdu, command, kStatusIdentifierLacksUid, "ERROR, StudyUID length = 0");
      return false;
    }
    return MoveByQuery(move, identifier, level);
  }
  if (level == "IMAGE") {
    const std::string seriesUid = TrimBlanks(identifier.GetString(tag::kSeriesInstanceUID));
    const std::string sopUid = TrimBlanks(identifier.GetString(tag::kSOPInstanceUID));
    if (studyUid.empty() || seriesUid.empty() || sopUid.empty()) {
      Refuse(pdu, command, kStatusIdentifierLacksUid, "ERROR, UID Length = 0");
      return false;
    }
    for (const std::string* uid : {&studyUid, &seriesUid, &sopUid}) {
      if (!IsSafeUidFileName(*uid)) {
        Refuse(pdu, command, kStatusIdentifierLacksUid, "ERROR, UID not valid: " + *uid);
        return false;
      }
    }
    LogLevelResult(level, MoveImage(move, studyUid, seriesUid, sopUid));
    SendFinal(move, FinalMoveStatus(move.counts));
    return true;
  }
  Refuse(pdu, command, kStatusUnableToProcess, "ERROR, Unknown Query Level: " + level);
  return false;
}
