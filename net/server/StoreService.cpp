// C-STORE: the object is checked, written to a temporary file beside its place and flushed to
// the disk, renamed into place with its folder flushed, and registered, all under one hold of
// RegisterBusy, so a database row and its file exist together or not at all, two stores of one
// SOP Instance UID never interleave, and success is answered only for an object whose file and
// rows outlive a crash.
#include <memory>
#include <mutex>
#include <stdexcept>

#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/StoreNames.h"
#include "dicom/DcmObj.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "net/Dimse.h"
#include "net/server/Services.h"
#include "net/server/rules/PeerText.h"
#include "platform/FileWriter.h"
#include "platform/Files.h"

namespace {
std::string CleanPatientName(const std::string& raw) {
  return TrimBlanks(ReplaceAll(raw, "^", " "));
}

// head + ", " + the exception's message + ", " + tail; without the message part when there is
// none (an empty message, or an exception that is not a std::exception).
std::string WithMessage(const std::string& head, const std::exception* e, const std::string& tail) {
  std::string line = head;
  if (e && *e->what()) line += std::string(", ") + e->what();
  return line + ", " + tail;
}

// Where the object goes by the CRC names alone: the path a refused registration is logged
// with when the recorded folders could not be looked up.
std::string CrcFilePath(const std::string& storeFolder, const DcmObj& dataSet,
                        const std::string& studyDate, const std::string& uid) {
  const StoreFolders byCrc{studyDate, MakeStudyFolderName(dataSet), MakeSeriesFolderName(dataSet)};
  return StoreFilePath(storeFolder, byCrc, uid);
}

// True when the data set is the object the command announces: its SOP Instance and Class UIDs
// are the command's Affected ones, padding (trailing NUL or blank) aside. Otherwise the response
// would confirm a UID under which nothing is kept; both values are logged.
bool DataSetMatchesCommand(const DcmObj& command, const DcmObj& dataSet) {
  static const struct {
    uint16_t commandElement, dataSetElement;
    const char* what;
  } kPairs[] = {{0x1000, 0x0018, "SOP Instance UID"}, {0x0002, 0x0016, "SOP Class UID"}};
  for (const auto& p : kPairs) {
    const std::string announced = command.GetString(0x0000, p.commandElement);
    const std::string received = dataSet.GetString(0x0008, p.dataSetElement);
    if (announced != received) {
      LogWrite(std::string("ERROR, StoreExecute, ") + p.what + " of the command: " + announced +
               ", of the data set: " + received);
      return false;
    }
  }
  return true;
}

// Everything from the folders to the registration, under RegisterBusy.
int32_t PlaceObject(const std::string& storeFolder, DcmObj& dataSet, const std::string& uid,
                    const std::string& studyDate, const std::string& name) {
  std::lock_guard<std::recursive_timed_mutex> hold(RegisterBusy);
  std::unique_ptr<SQLdb> own;
  SQLdb& db = RegistrationDatabase(own);
  StoreFolders folders;
  if (!db.isOpen) LogWrite("ERROR, Couldn't open database");
  if (!db.isOpen || !ChooseStoreFolders(db, dataSet, studyDate, folders)) {
    LogWrite("ERROR: couldn't register image: " +
             CrcFilePath(storeFolder, dataSet, studyDate, uid) + ", " + name);
    return kStatusRegistrationFailed;
  }
  const std::string folder = StoreSeriesFolder(storeFolder, folders);
  const std::string file = StoreFilePath(storeFolder, folders, uid);
  // A known object comes again only as itself: another study, series or patient would leave its
  // rows and its file describing different things.
  const IdentityCheck identity = CheckIdentity(db, dataSet);
  if (identity == IdentityCheck::Conflicting) return kStatusUnableToProcess;
  if (identity == IdentityCheck::Failed) {
    LogWrite("ERROR: couldn't register image: " + file + ", " + name);
    return kStatusRegistrationFailed;
  }
  const bool registeredBefore = identity == IdentityCheck::Known;
  const std::string couldNotSave = "ERROR: StoreExecute, couldn't save file: " + file + ", " + name;
  // A folder that another store creates at the same moment is fine; a folder that cannot be
  // made, or whose entry cannot be flushed, fails the save.
  if (!Files().CreateDirectories(folder)) {
    LogWrite(couldNotSave);
    return kStatusSavingFailed;
  }
  // One temporary file beside its place, removed by the writer on every way out before the
  // rename. The object goes into place before it is registered: a row never names a file that
  // is not there, not even for a moment.
  FileWriter out(file);
  try {
    if (!dataSet.Write(out) || !out.Finish()) {
      LogWrite(couldNotSave);
      return kStatusSavingFailed;
    }
  } catch (const std::exception& e) {
    LogWrite(WithMessage("ERROR: Saving image, " + file, &e, name));
    return kStatusSavingFailed;
  } catch (...) {
    LogWrite(WithMessage("ERROR: Saving image, " + file, nullptr, name));
    return kStatusSavingFailed;
  }
  // An object stored before keeps its row and its file, the new copy of it included, whatever
  // fails from here on; a new one is taken back whole.
  const auto takeBack = [&] {
    if (!registeredBefore && out.placed()) Files().Unlink(file);
  };
  if (out.MoveIntoPlace() != 0 || out.FlushFolder() != 0) {
    takeBack();
    LogWrite(couldNotSave);
    return kStatusSavingFailed;
  }
  bool registered = false;
  try {
    registered =
        RegisterDB(db, dataSet, folders.studyDate, folders.studyFolder, folders.seriesFolder);
  } catch (const std::exception& e) {
    LogWrite(WithMessage("ERROR: Registering image, " + file, &e, name));
  } catch (...) {
    LogWrite(WithMessage("ERROR: Registering image, " + file, nullptr, name));
  }
  // The registration is one transaction: a failed one left no row.
  if (!registered) {
    takeBack();
    LogWrite("ERROR: couldn't register image: " + file + ", " + name);
    return kStatusRegistrationFailed;
  }
  return kStatusSuccess;
}
}  // namespace

int32_t StoreExecute(DcmObj& dataSet, const std::string& storeFolder,
                     const std::string& /*callingAeTitle*/) {
  const std::string cleanName = CleanPatientName(dataSet.GetString(tag::kPatientName));
  const std::string& name = cleanName;
  if (dataSet.GetString(tag::kPatientID).empty()) {
    LogWrite("ERROR, PatientID is empty for " + name);
    return kStatusRefusedNoPatientId;
  }
  // An object without its keys, or with values that cannot name its folder and file, is refused
  // like one without a Patient ID: it would be filed where no row of its own points.
  std::string emptyKey, unsafeValue;
  if (!HasStoreKeys(dataSet, emptyKey, unsafeValue)) {
    LogWrite(emptyKey.empty()
                 ? "ERROR, StoreExecute, invalid path component: " + unsafeValue + ", " + name
                 : "ERROR, " + emptyKey + " is empty for " + name);
    return kStatusRefusedNoPatientId;
  }
  const std::string uid = dataSet.GetString(tag::kSOPInstanceUID);
  std::string studyDate = dataSet.GetString(tag::kStudyDate);
  dataSet.SetString(tag::kPatientName, cleanName);
  if (studyDate.empty()) {
    studyDate = TodayAsDicomDate();
    dataSet.Insert(NewTag(tag::kStudyDate, studyDate, "DA"));
    LogWrite("WARNING, Added StudyDate to " + name);
  }
  const int32_t status = PlaceObject(storeFolder, dataSet, uid, studyDate, name);
  if (status == kStatusSuccess && LoggingAbove(0))
    LogWrite("INFO, StoreExecute, Patient Name: " + name);
  return status;
}

bool CStoreSCP(PDU_Service& pdu, DcmObj& command, const AssociationContext& context) {
  const std::string handle = std::to_string(context.socketId);
  DcmObj dataSet;
  if (!CStore::ReadRQ(&pdu, &command, &dataSet)) {
    LogWrite("ERROR: Store RQ: Failed! " + handle);
    return false;
  }
  if (LoggingAbove(0)) LogWrite("INFO, Transfer Syntax: " + dataSet.transferSyntax);
  int32_t status = kStatusSuccess;
  // Without (0000,1000) no response can be built: store nothing, let the response fail.
  if (!command.GetString(tag::kAffectedSOPInstanceUID).empty()) {
    // A returned failure status is logged; an exception has its own line instead.
    try {
      status = DataSetMatchesCommand(command, dataSet)
                   ? StoreExecute(dataSet, context.storeFolder, context.callingAeTitle)
                   : kStatusDataSetDoesNotMatch;
      if (status != kStatusSuccess)
        LogWrite("ERROR, Status=0x" + StatusHex(static_cast<unsigned>(status)));
    } catch (const std::exception& e) {
      status = kStatusUnexpectedStoreFailure;
      LogWrite(std::string("ERROR, CSTORESCP: ") + (*e.what() ? e.what() : "Exception"));
    } catch (...) {
      status = kStatusUnexpectedStoreFailure;
      LogWrite("ERROR, CSTORESCP: Exception");
    }
  }
  if (!CStore::WriteRSP(&pdu, &command, static_cast<uint16_t>(status))) {
    LogWrite("ERROR: Store RSP: Failed! " + handle);
    return false;
  }
  return true;
}
