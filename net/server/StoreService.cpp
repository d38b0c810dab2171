// C-STORE: the object is checked, written to a temporary file beside its place and flushed to
// the disk, then checked again, renamed into place with its folder flushed and registered under
// RegisterBusy, so a database row and its file exist together or not at all, two stores of one
// SOP Instance UID never interleave, and success is answered only for an object whose file and
// rows outlive a crash. The first check, the writing and the flushing run outside the
// exclusion, so associations overlap them.
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <ranges>
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

// Where the object goes and whether it may go there: the folders its series or study already
// has (or new ones), and its identity against what is registered. Final under RegisterBusy,
// a first guess without it. Anything but success is logged and ends the store.
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

// How far a store waiting at RegisterBusy has come. The store that places a group hands each
// member's folder flush back to the member's own thread, so that the folders of a group go to
// the disk side by side instead of one after the other.
enum class Stage { Queued, Lead, FlushFolder, FolderFlushed, Done };

// One store at RegisterBusy with its object written and flushed, waiting to be put into place
// and registered, by its own thread or by another one that places a group of them. Its stage
// and wake are used under WaitingMutex.
struct WaitingStore {
  const std::string& storeFolder;
  DcmObj& dataSet;
  const std::string& uid;
  const std::string& studyDate;
  const std::string& name;
  const StoreFolders& chosen;
  std::unique_ptr<FileWriter>& out;
  std::string file{};  // where it was put
  int32_t status = kStatusSuccess;
  std::exception_ptr failure{};  // rethrown on the store's own thread
  Stage stage = Stage::Queued;
  int folderFlush = 0;             // what the member's own flush of its folder returned
  WaitingStore* leader = nullptr;  // while its folder flush is handed out
  size_t flushesDue = 0;           // of a leader: the handed-out flushes not yet made
  std::condition_variable wake{};
};

// The stores that wait for RegisterBusy, in the order they came, and whether one of them is
// placing a group (the first to come after it leads the next). Never destroyed, like
// RegisterBusy.
std::mutex& WaitingMutex = *new std::mutex;
std::vector<WaitingStore*>& Waiting = *new std::vector<WaitingStore*>;
bool GroupBeingPlaced = false;

// Under RegisterBusy: a second look (another store may have registered the series, the study or
// this very object meanwhile), then the rename and the registration, with the folder flushed
// between them unless the group flushes its folders together before it commits. The object
// goes into place before it is registered: a row never names a file that is not there, not
// even for a moment. An object stored before keeps its rows and its file, the new copy of it
// included, whatever fails from here on; a new one is taken back whole.
int32_t PlaceWritten(SQLdb& db, WaitingStore& store, bool flushFolder, bool& registeredBefore) {
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
  if (store.out->MoveIntoPlace() != 0 || (flushFolder && store.out->FlushFolder() != 0)) {
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

// True when the store was put into place and registered.
bool PlaceOne(SQLdb& db, WaitingStore& store, bool flushFolder, bool& registeredBefore) {
  try {
    store.status = PlaceWritten(db, store, flushFolder, registeredBefore);
  } catch (...) {
    store.failure = std::current_exception();
  }
  return !store.failure && store.status == kStatusSuccess;
}

// The store's folder to the disk; 0 or errno, EIO for a flush that throws (the file layer below
// may), so that a handed-out flush always reports back.
int FlushFolderOf(WaitingStore& store) noexcept {
  try {
    return store.out->FlushFolder();
  } catch (...) {
    return EIO;
  }
}

// The folders of the stores a group placed to the disk at the same time, each by its own
// store's thread and the leader's by the leader. False when any flush failed; each store's
// result is in its folderFlush.
bool FlushFoldersSideBySide(const std::vector<std::pair<WaitingStore*, bool>>& stores,
                            WaitingStore& leader) {
  bool leaderPlaced = false;
  {
    std::lock_guard<std::mutex> queue(WaitingMutex);
    for (WaitingStore* store : stores | std::views::keys) {
      if (store == &leader) {
        leaderPlaced = true;
        continue;
      }
      store->leader = &leader;
      store->stage = Stage::FlushFolder;
      ++leader.flushesDue;
      store->wake.notify_one();
    }
  }
  if (leaderPlaced) leader.folderFlush = FlushFolderOf(leader);
  std::unique_lock<std::mutex> queue(WaitingMutex);
  leader.wake.wait(queue, [&] { return leader.flushesDue == 0; });
  return std::ranges::all_of(stores | std::views::keys,
                             [](const WaitingStore* store) { return store->folderFlush == 0; });
}

// The stores that came while RegisterBusy was held, put into place one after the other as a
// single store is, but registered in one transaction whose commit follows the flush of all
// their folders: the index is flushed once for all of them instead of once each, and their
// folders at the same time, which is what parallel associations wait for. A commit or a folder
// flush that fails takes back every file the group put into place for an object not registered
// before it.
void PlaceGroup(SQLdb& db, const std::vector<WaitingStore*>& group, WaitingStore& leader) {
  std::vector<const std::string*> newInGroup;  // SOP Instance UIDs the group registers first
  std::vector<std::pair<WaitingStore*, bool>> placed;  // with whether it is new to the group
  // Reserved before the transaction begins, so that nothing between its beginning and its end
  // needs memory.
  newInGroup.reserve(group.size());
  placed.reserve(group.size());
  if (group.size() == 1 || !db.isOpen || !BeginRegistrations(db)) {
    for (WaitingStore* store : group) {
      bool registeredBefore = false;
      PlaceOne(db, *store, true, registeredBefore);
    }
    return;
  }
  bool committed = false;
  try {
    for (WaitingStore* store : group) {
      bool registeredBefore = false;
      if (!PlaceOne(db, *store, false, registeredBefore)) continue;
      const bool isNew = !registeredBefore ||
                         std::any_of(newInGroup.begin(), newInGroup.end(),
                                     [&](const std::string* uid) { return *uid == store->uid; });
      if (!registeredBefore) newInGroup.push_back(&store->uid);
      placed.emplace_back(store, isNew);
    }
    const bool flushed = FlushFoldersSideBySide(placed, leader);
    committed = flushed && CommitRegistrations(db);
    if (!flushed) RollBackRegistrations(db);
  } catch (...) {
    RollBackRegistrations(db);
  }
  if (committed) return;
  // A store the group did not come to (after a throw) has nothing in place and fails too.
  for (WaitingStore* store : group)
    if (store->status == kStatusSuccess && !store->failure &&
        std::none_of(placed.begin(), placed.end(), [&](const auto& p) { return p.first == store; }))
      store->status = kStatusRegistrationFailed;
  for (const auto& [placedStore, isNew] : placed) {
    WaitingStore& store = *placedStore;
    if (isNew) Files().Unlink(store.file);
    const bool folderFailed = store.folderFlush != 0;
    LogWrite((folderFailed ? "ERROR: StoreExecute, couldn't save file: "
                           : "ERROR: couldn't register image: ") +
             store.file + ", " + store.name);
    store.status = folderFailed ? kStatusSavingFailed : kStatusRegistrationFailed;
  }
}

// Under RegisterBusy, the stores queued so far (the leader among them) are placed as a group;
// then each learns it is done, and the first store that came meanwhile leads the next group.
void LeadGroup(SQLdb& db, WaitingStore& leader) {
  std::vector<WaitingStore*> group;
  try {
    std::lock_guard<std::recursive_timed_mutex> hold(RegisterBusy);
    {
      std::lock_guard<std::mutex> queue(WaitingMutex);
      group.swap(Waiting);
    }
    PlaceGroup(db, group, leader);
  } catch (...) {
    // Only a failure to allocate or to lock gets here: no store of the group may be left
    // waiting or be answered as stored. Before the group was taken, the leader fails alone.
    if (group.empty()) leader.failure = std::current_exception();
    for (WaitingStore* store : group)
      if (!store->failure) store->failure = std::current_exception();
  }
  std::lock_guard<std::mutex> queue(WaitingMutex);
  if (group.empty()) std::erase(Waiting, &leader);
  for (WaitingStore* store : group) {
    store->stage = Stage::Done;
    store->wake.notify_one();
  }
  GroupBeingPlaced = !Waiting.empty();
  if (GroupBeingPlaced) {
    Waiting.front()->stage = Stage::Lead;
    Waiting.front()->wake.notify_one();
  }
}

// Queues the written store at RegisterBusy and waits until it is placed: by this thread as the
// leader of a group, or by another one, for which this thread flushes its own folder when
// asked.
void AwaitPlacing(SQLdb& db, WaitingStore& me) {
  std::unique_lock<std::mutex> queue(WaitingMutex);
  Waiting.push_back(&me);
  if (!GroupBeingPlaced) {
    GroupBeingPlaced = true;
    me.stage = Stage::Lead;
  }
  for (;;) {
    me.wake.wait(queue,
                 [&] { return me.stage != Stage::Queued && me.stage != Stage::FolderFlushed; });
    if (me.stage == Stage::Done) return;
    if (me.stage == Stage::Lead) {
      queue.unlock();
      LeadGroup(db, me);
      return;
    }
    queue.unlock();
    const int flushed = FlushFolderOf(me);
    queue.lock();
    me.folderFlush = flushed;
    me.stage = Stage::FolderFlushed;
    if (--me.leader->flushesDue == 0) me.leader->wake.notify_one();
  }
}

// Writes the object, flushes it, renames it into place with its folder flushed, and registers
// it. A first look at the registered rows, without the exclusion, chooses where the file is
// written and refuses an object that is known under another identity; RegisterBusy is held only
// from the second look through the rename and the registration, so that the writing and
// flushing of objects of different associations overlap, while the stores of one SOP Instance
// UID still put their file into place and register it one after the other. The store that
// takes RegisterBusy places the ones that queued up behind the last holder as well.
int32_t PlaceObject(const std::string& storeFolder, DcmObj& dataSet, const std::string& uid,
                    const std::string& studyDate, const std::string& name) {
  std::unique_ptr<SQLdb> own;
  SQLdb& db = RegistrationDatabase(own);
  StoreFolders chosen;
  bool registeredBefore = false;
  const int32_t status =
      ChoosePlace(db, storeFolder, dataSet, uid, studyDate, name, chosen, registeredBefore);
  if (status != kStatusSuccess) return status;
  // One temporary file beside its place, removed by the writer on every way out before the
  // rename, and before the shut-down can pass WritingObjects.
  std::shared_lock<std::shared_timed_mutex> writing(WritingObjects);
  std::unique_ptr<FileWriter> out;
  const int32_t written = WriteTemporary(out, dataSet, StoreSeriesFolder(storeFolder, chosen),
                                         StoreFilePath(storeFolder, chosen, uid), name);
  if (written != kStatusSuccess) return written;

  WaitingStore me{storeFolder, dataSet, uid, studyDate, name, chosen, out};
  AwaitPlacing(db, me);
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
