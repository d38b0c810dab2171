// C-STORE: the object is checked, written to a temporary file beside its place and flushed to
// the disk, then renamed into place with its folder flushed and registered under RegisterBusy,
// so a database row and its file exist together or not at all, two stores of one SOP Instance
// UID never interleave, and success is answered only for an object whose file and rows outlive
// a crash. The writing and flushing run outside the exclusion, so associations overlap them.
#include <algorithm>
#include <exception>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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

// One store at RegisterBusy with its object written and flushed, waiting to be put into place
// and registered, by its own thread or by another one that registers a group of them.
struct WaitingStore {
  const std::string& storeFolder;
  DcmObj& dataSet;
  const std::string& uid;
  const std::string& studyDate;
  const std::string& name;
  const StoreFolders& chosen;
  std::unique_ptr<FileWriter>& out;
  std::string file;  // where it was put
  int32_t status = kStatusSuccess;
  std::exception_ptr failure;  // rethrown on the store's own thread
  bool done = false;
};

// The stores that wait for RegisterBusy, in the order they came. Never destroyed, like
// RegisterBusy.
std::mutex& WaitingMutex = *new std::mutex;
std::vector<WaitingStore*>& Waiting = *new std::vector<WaitingStore*>;

// Under RegisterBusy: a second look (another store may have registered the series, the study or
// this very object meanwhile), then the rename with its folder flushed and the registration.
// The object goes into place before it is registered: a row never names a file that is not
// there, not even for a moment. An object stored before keeps its rows and its file, the new
// copy of it included, whatever fails from here on; a new one is taken back whole.
int32_t PlaceWritten(SQLdb& db, WaitingStore& store, bool& registeredBefore) {
  StoreFolders folders;
  int32_t status = ChoosePlace(db, store.storeFolder, store.dataSet, store.uid, store.studyDate,
                               store.name, folders, registeredBefore);
  if (status != kStatusSuccess) return status;
  store.file = StoreFilePath(store.storeFolder, folders, store.uid);
  const std::string& file = store.file;
  // The series or the study got its folders from another store meanwhile: the object is
  // written again where they are, this time under the exclusion.
  if (folders != store.chosen) {
    status = WriteTemporary(store.out, store.dataSet, StoreSeriesFolder(store.storeFolder, folders),
                            file, store.name);
    if (status != kStatusSuccess) return status;
  }
  const auto takeBack = [&] {
    if (!registeredBefore && store.out->placed()) Files().Unlink(file);
  };
  if (store.out->MoveIntoPlace() != 0 || store.out->FlushFolder() != 0) {
    takeBack();
    LogWrite("ERROR: StoreExecute, couldn't save file: " + file + ", " + store.name);
    return kStatusSavingFailed;
  }
  bool registered = false;
  try {
    registered =
        RegisterDB(db, store.dataSet, folders.studyDate, folders.studyFolder, folders.seriesFolder);
  } catch (const std::exception& e) {
    LogWrite(WithMessage("ERROR: Registering image, " + file, &e, store.name));
  } catch (...) {
    LogWrite(WithMessage("ERROR: Registering image, " + file, nullptr, store.name));
  }
  // The registration is one transaction (or a savepoint of the group's): a failed one left no
  // row.
  if (!registered) {
    takeBack();
    LogWrite("ERROR: couldn't register image: " + file + ", " + store.name);
    return kStatusRegistrationFailed;
  }
  return kStatusSuccess;
}

void PlaceOne(SQLdb& db, WaitingStore& store, bool& registeredBefore) {
  try {
    store.status = PlaceWritten(db, store, registeredBefore);
  } catch (...) {
    store.failure = std::current_exception();
  }
  store.done = true;
}

// The stores that came while RegisterBusy was held, put into place one after the other as a
// single store is, but registered in one transaction: the index is flushed once for all of them
// instead of once each, which is what parallel associations wait for. A commit that fails takes
// back every file the group put into place for an object not registered before it.
void PlaceGroup(SQLdb& db, const std::vector<WaitingStore*>& group) {
  if (group.size() == 1 || !db.isOpen || !BeginRegistrations(db)) {
    bool registeredBefore = false;
    for (WaitingStore* store : group) PlaceOne(db, *store, registeredBefore);
    return;
  }
  std::vector<std::string> newInGroup;  // SOP Instance UIDs the group registers first
  std::vector<std::pair<WaitingStore*, bool>> placed;  // with whether it is new to the group
  for (WaitingStore* store : group) {
    bool registeredBefore = false;
    PlaceOne(db, *store, registeredBefore);
    if (store->failure || store->status != kStatusSuccess) continue;
    const bool isNew = !registeredBefore || std::find(newInGroup.begin(), newInGroup.end(),
                                                      store->uid) != newInGroup.end();
    if (!registeredBefore) newInGroup.push_back(store->uid);
    placed.emplace_back(store, isNew);
  }
  if (CommitRegistrations(db)) return;
  for (const auto& [store, isNew] : placed) {
    if (isNew) Files().Unlink(store->file);
    LogWrite("ERROR: couldn't register image: " + store->file + ", " + store->name);
    store->status = kStatusRegistrationFailed;
  }
}

// Writes the object, flushes it, renames it into place with its folder flushed, and registers
// it. RegisterBusy is held only to choose the place and check the identity, and again from a
// second look through the rename and the registration: the writing and flushing of objects of
// different associations overlap, while the stores of one SOP Instance UID still put their
// file into place and register it one after the other. The store that takes RegisterBusy
// places the ones that queued up behind the last holder as well, in one transaction.
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
  const int32_t written = WriteTemporary(out, dataSet, StoreSeriesFolder(storeFolder, chosen),
                                         StoreFilePath(storeFolder, chosen, uid), name);
  if (written != kStatusSuccess) return written;

  WaitingStore me{storeFolder, dataSet,        uid, studyDate, name, chosen, out,
                  {},          kStatusSuccess, {},  false};
  {
    std::lock_guard<std::mutex> queue(WaitingMutex);
    Waiting.push_back(&me);
  }
  std::lock_guard<std::recursive_timed_mutex> hold(RegisterBusy);
  // Not placed by the store that held RegisterBusy before: this one places the group.
  if (!me.done) {
    std::vector<WaitingStore*> group;
    {
      std::lock_guard<std::mutex> queue(WaitingMutex);
      group.swap(Waiting);
    }
    PlaceGroup(*db, group);
  }
  if (me.failure) std::rethrow_exception(me.failure);
  return me.status;
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
