// C-STORE: the object is checked, written to a temporary file beside its place and flushed to
// the disk, then renamed into place with its folder flushed and registered under RegisterBusy,
// so a database row and its file exist together or not at all, two stores of one SOP Instance
// UID never interleave, and success is answered only for an object whose file and rows outlive
// a crash. The writing and flushing run outside the exclusion, so associations overlap them.
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>
#include <string>

#include "db/PatientName.h"
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
    TagKey commandTag, dataSetTag;
    const char* what;
  } kPairs[] = {{tag::kAffectedSOPInstanceUID, tag::kSOPInstanceUID, "SOP Instance UID"},
                {tag::kAffectedSOPClassUID, tag::kSOPClassUID, "SOP Class UID"}};
  for (const auto& p : kPairs) {
    const std::string announced = command.GetString(p.commandTag);
    const std::string received = dataSet.GetString(p.dataSetTag);
    if (announced != received) {
      LogWrite(std::string("ERROR, StoreExecute, ") + p.what + " of the command: " + announced +
               ", of the data set: " + received);
      return false;
    }
  }
  return true;
}

// Where the object goes and whether it may go there, under RegisterBusy: the folders its
// series or study already has (or new ones), and its identity against what is registered.
// Anything but success is logged and ends the store.
int32_t ChoosePlace(SQLdb& db, const std::string& storeFolder, const DcmObj& dataSet,
                    const std::string& uid, const std::string& studyDate, const std::string& name,
                    StoreFolders& folders, bool& registeredBefore) {
  if (!db.isOpen) LogWrite("ERROR, Couldn't open database");
  if (!db.isOpen || !ChooseStoreFolders(db, dataSet, studyDate, folders)) {
    LogWrite("ERROR: couldn't register image: " +
             CrcFilePath(storeFolder, dataSet, studyDate, uid) + ", " + name);
    return kStatusRegistrationFailed;
  }
  // A known object comes again only as itself: another study, series or patient would leave its
  // rows and its file describing different things.
  const IdentityCheck identity = CheckIdentity(db, dataSet);
  if (identity == IdentityCheck::Conflicting) return kStatusUnableToProcess;
  if (identity == IdentityCheck::Failed) {
    LogWrite("ERROR: couldn't register image: " + StoreFilePath(storeFolder, folders, uid) + ", " +
             name);
    return kStatusRegistrationFailed;
  }
  registeredBefore = identity == IdentityCheck::Known;
  return kStatusSuccess;
}

// The object in a temporary file beside `file`, on the disk and closed, its folder made first.
// A folder that another store creates at the same moment is fine; a folder that cannot be
// made, or whose entry cannot be flushed, fails the save.
int32_t WriteTemporary(std::unique_ptr<FileWriter>& out, DcmObj& dataSet, const std::string& folder,
                       const std::string& file, const std::string& name) {
  out.reset();  // an earlier temporary goes first
  const std::string couldNotSave = "ERROR: StoreExecute, couldn't save file: " + file + ", " + name;
  if (!Files().CreateDirectories(folder)) {
    LogWrite(couldNotSave);
    return kStatusSavingFailed;
  }
  out = std::make_unique<FileWriter>(file);
  try {
    if (!dataSet.Write(*out) || !out->Finish()) {
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
  return kStatusSuccess;
}

// Writes the object, flushes it, renames it into place with its folder flushed, and registers
// it. RegisterBusy is held only to choose the place and check the identity, and again from a
// second look (another store may have registered the series, the study or this very object
// meanwhile) through the rename and the registration: the writing and flushing of objects of
// different associations overlap, while the stores of one SOP Instance UID still put their
// file into place and register it one after the other.
int32_t PlaceObject(const std::string& storeFolder, DcmObj& dataSet, const std::string& uid,
                    const std::string& studyDate, const std::string& name) {
  std::unique_ptr<SQLdb> own;
  SQLdb* db = nullptr;
  StoreFolders chosen;
  bool registeredBefore = false;
  {
    std::lock_guard<std::recursive_timed_mutex> hold(RegisterBusy);
    db = &RegistrationDatabase(own);
    const int32_t status =
        ChoosePlace(*db, storeFolder, dataSet, uid, studyDate, name, chosen, registeredBefore);
    if (status != kStatusSuccess) return status;
  }
  // One temporary file beside its place, removed by the writer on every way out before the
  // rename, and before the shut-down can pass WritingObjects.
  std::shared_lock<std::shared_timed_mutex> writing(WritingObjects);
  std::unique_ptr<FileWriter> out;
  int32_t status = WriteTemporary(out, dataSet, StoreSeriesFolder(storeFolder, chosen),
                                  StoreFilePath(storeFolder, chosen, uid), name);
  if (status != kStatusSuccess) return status;

  std::lock_guard<std::recursive_timed_mutex> hold(RegisterBusy);
  StoreFolders folders;
  status = ChoosePlace(*db, storeFolder, dataSet, uid, studyDate, name, folders, registeredBefore);
  if (status != kStatusSuccess) return status;
  const std::string file = StoreFilePath(storeFolder, folders, uid);
  // The series or the study got its folders from another store meanwhile: the object is
  // written again where they are, this time under the exclusion.
  if (folders != chosen) {
    status = WriteTemporary(out, dataSet, StoreSeriesFolder(storeFolder, folders), file, name);
    if (status != kStatusSuccess) return status;
  }
  // The object goes into place before it is registered: a row never names a file that is not
  // there, not even for a moment. An object stored before keeps its rows and its file, the new
  // copy of it included, whatever fails from here on; a new one is taken back whole.
  const auto takeBack = [&] {
    if (!registeredBefore && out->placed()) Files().Unlink(file);
  };
  if (out->MoveIntoPlace() != 0 || out->FlushFolder() != 0) {
    takeBack();
    LogWrite("ERROR: StoreExecute, couldn't save file: " + file + ", " + name);
    return kStatusSavingFailed;
  }
  bool registered = false;
  try {
    registered =
        RegisterDB(*db, dataSet, folders.studyDate, folders.studyFolder, folders.seriesFolder);
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
  const std::string cleanName = StoredPatientName(dataSet.GetString(tag::kPatientName));
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
