// "Scan Folder": DICOM files of modality ECG or HD below a chosen folder go into the study
// database and the image store, at the place the C-STORE service would put them.
//
// Only regular files are read (a link to one counts; never a FIFO, device or socket), and links
// to folders are not followed, so a crafted tree can neither hang the GUI nor loop. A file that
// cannot be read or registered, or whose key values cannot place it in the store (the check
// the C-STORE service makes), is skipped with its log line; the import goes on.
#include <sys/stat.h>

#include <QCoreApplication>
#include <QPushButton>
#include <exception>
#include <mutex>

#include "app/BrowserState.h"
#include "app/Clock.h"
#include "app/ScreenCursor.h"
#include "app/TFindForm.h"
#include "app/TForm2.h"
#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/StoreNames.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/util/Log.h"
#include "platform/FileWriter.h"
#include "platform/Files.h"
#include "platform/gui/ShowModal.h"
#include "platform/gui/UiServices.h"

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// ASCII upper case, whatever the locale.
std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return text;
}

// The buttons that would start another long operation while the import runs; enabled again
// on every way out.
class ImportButtonsDisabled {
 public:
  explicit ImportButtonsDisabled(TFindForm& form)
      : buttons_{form.Button2, form.Button4,  form.Button6,
                 form.Button9, form.Button10, form.Button11} {
    for (QPushButton* button : buttons_) button->setEnabled(false);
  }
  ~ImportButtonsDisabled() {
    for (QPushButton* button : buttons_) button->setEnabled(true);
  }

 private:
  QPushButton* buttons_[6];
};

}  // namespace

void TFindForm::Button9Click() {
  ImportButtonsDisabled disabled(*this);
  if (ShowModal(*Form2) != ModalResult::Ok) return;
  {
    SQLdb db(DatabaseName, kOpenReadWrite);
    if (!db.isOpen) {
      Ui().ShowMessage(this, "ERROR, Couldn't open database");
      return;
    }
    WaitCursor cursor;
    ImportFolder(db, ChosenFolder.size() > 0 && ChosenFolder.back() == '/' ? ChosenFolder
                                                                           : ChosenFolder + "/");
  }
  FillLocalStudyList(*StringGrid1, kLocalStudyListSql);
}

void TFindForm::ImportFolder(SQLdb& db, const std::string& folder) {
  std::vector<DirEntry> entries;
  if (Files().ListDirectory(folder, entries) != 0) return;
  for (const DirEntry& entry : entries) {
    if (entry.isDirectory) {
      ImportFolder(db, folder + entry.name + "/");
      LogWrite("INFO, Scanning " + folder + entry.name);
      FillLocalStudyList(*StringGrid1, kLocalStudyListSql);
    } else {
      ImportFile(db, folder + entry.name, entry.name);
    }
    QCoreApplication::processEvents();
    if (AbortRequested) {
      AbortRequested = false;
      break;
    }
  }
}

void TFindForm::ImportFile(SQLdb& db, const std::string& path, const std::string& name) {
  if (!IsRegularFile(path)) return;
  try {
    DcmObj object;
    // Read first, then the name: a broken DICOMDIR gets its read error logged like any file.
    if (!object.Read(path) || AsciiUpper(name) == "DICOMDIR") return;
    const std::string modality = object.GetString(tag::kModality);
    if (modality != "ECG" && modality != "HD") return;
    std::string emptyKey, unsafeValue;
    if (!HasStoreKeys(object, emptyKey, unsafeValue)) {
      LogWrite(emptyKey.empty() ? "ERROR, Unsafe SOPInstanceUID or StudyDate, file skipped: " + path
                                : "ERROR, " + emptyKey + " is empty, file skipped: " + path);
      return;
    }
    std::string studyDate = object.GetString(tag::kStudyDate);
    if (studyDate.empty()) {
      // As the C-STORE service does: without a date the object would land in the store root.
      studyDate = DateText(Today());
      object.Insert(NewTag(tag::kStudyDate, studyDate, "DA"));
      LogWrite("WARNING, Added StudyDate to " + object.GetString(tag::kPatientName));
    }
    const std::string sopInstanceUID = object.GetString(tag::kSOPInstanceUID);
    // The association threads' exclusion, so a store of the same object or study cannot come
    // between the look-ups below and the registration.
    std::lock_guard<std::recursive_timed_mutex> hold(RegisterBusy);
    StoreFolders folders;
    const IdentityCheck identity = ChooseStoreFolders(db, object, studyDate, folders)
                                       ? CheckIdentity(db, object)
                                       : IdentityCheck::Failed;
    if (identity == IdentityCheck::Conflicting) return;  // its line is logged
    if (identity == IdentityCheck::Failed) {
      LogWrite("ERROR, Couldn't choose store folders, file skipped: " + path);
      return;
    }
    // As the C-STORE service does: the file is written, flushed to the disk and in place
    // before it is registered, so no row ever names a missing file. A new object is taken back
    // whole whatever fails; a registered one keeps its place and its rows.
    const std::string target = StoreFilePath(folders, sopInstanceUID);
    const bool hadFile = identity == IdentityCheck::Known || Files().Exists(target);
    const auto takeBack = [&] {
      if (!hadFile) Files().Unlink(target);
    };
    if (!Files().CreateDirectories(StoreSeriesFolder(folders))) {
      LogWrite("ERROR: couldn't save file: " + target);
      return;
    }
    {
      FileWriter file(target);
      if (!object.Write(file) || !file.Commit()) {
        LogWrite("ERROR: couldn't save file: " + target);
        if (file.placed()) takeBack();
        return;
      }
    }
    bool registered = false;
    try {
      registered =
          RegisterDB(db, object, folders.studyDate, folders.studyFolder, folders.seriesFolder);
    } catch (...) {
      takeBack();
      throw;
    }
    if (!registered) takeBack();
  } catch (const std::exception& error) {
    LogWrite(std::string("ERROR: RegisterDB, ") + error.what());
  } catch (...) {
    LogWrite("ERROR: RegisterDB, ");
  }
}
