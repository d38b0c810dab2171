// The study database, each figure beside the one it replaces, measured in the same run:
// registration throughput (20 studies x 10 series x 10 objects through RegisterinDB) with the
// earlier tuning (journal in memory, synchronous OFF) and a connection per object, with the
// durable tuning (write-ahead logging, synchronous FULL) and a connection per object, and with
// the durable tuning and one connection per association of 100 objects, as the server now
// registers; then median times of STUDY, SERIES and IMAGE queries on a database of 100,000
// studies, the STUDY search by Patient ID without and with the added indexes.
//
// Each registration run gets a fresh database in its own folder under WORK; the query database
// is WORK/database/ecg.db, and WORK/before.db is its copy before the indexes were added, for
// the Python peer.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "db/LocalQuery.h"
#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/StoreNames.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "platform/ExeFolder.h"

namespace {

using Clock = std::chrono::steady_clock;

void Put(DcmObj& object, TagKey tag, const std::string& value) {
  object.Insert(NewTag(tag, value));
}

void MakeObject(DcmObj& object, int study, int series, int image) {
  const std::string studyUid = "1.2.826.0.1.99." + std::to_string(study);
  const std::string seriesUid = studyUid + "." + std::to_string(series);
  Put(object, tag::kSOPClassUID, "1.2.840.10008.5.1.4.1.1.9.1.1");
  Put(object, tag::kSOPInstanceUID, seriesUid + "." + std::to_string(image));
  Put(object, tag::kStudyDate, "20240105");
  Put(object, tag::kModality, "ECG");
  Put(object, tag::kPatientName, "PATIENT^" + std::to_string(study));
  Put(object, tag::kPatientID, "PID" + std::to_string(study));
  Put(object, tag::kStudyInstanceUID, studyUid);
  Put(object, tag::kSeriesInstanceUID, seriesUid);
  Put(object, tag::kSeriesNumber, std::to_string(series));
  Put(object, tag::kInstanceNumber, std::to_string(image));
}

constexpr int kStudies = 20;
constexpr int kObjects = kStudies * 10 * 10;

// A fresh study database in `folder`, which becomes the program folder.
bool UseFreshDatabase(const std::string& folder) {
  ExeFolder = folder + "/";
  std::filesystem::create_directories(ExeFolder + "database");
  SQLdb db("ecg", kOpenCreate);
  return db.isOpen && CreateStudyTables(db);
}

// Objects per second; with `perAssociation`, each study's objects share one kept connection.
double RegisterObjects(bool perAssociation) {
  const auto start = Clock::now();
  int registered = 0;
  for (int study = 0; study < kStudies; ++study) {
    std::unique_ptr<RegistrationScope> association;
    if (perAssociation) association = std::make_unique<RegistrationScope>();
    for (int series = 1; series <= 10; ++series)
      for (int image = 1; image <= 10; ++image) {
        DcmObj object;
        MakeObject(object, study, series, image);
        registered += RegisterinDB("BENCH", object, "20240105", MakeStudyFolderName(object),
                                   MakeSeriesFolderName(object));
      }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (registered != kObjects) std::printf("registration failures: %d\n", kObjects - registered);
  return registered / seconds;
}

// Fills the tables up to 100,000 studies (one series and one object each) in one transaction;
// only the queries on the result are measured.
void GrowToStudies(int studies) {
  SQLdb db("ecg", kOpenReadWrite);
  db.Exec("BEGIN");
  for (int study = 0; study < studies; ++study) {
    const std::string uid = "1.2.826.0.1.99." + std::to_string(study);
    db.Exec(
        "INSERT INTO Study (StudyInstanceUID, StudyDate, PatientID, PatientName, StudyPath) "
        "VALUES (?, '20240105', ?, ?, 'ABCDEF01')",
        {uid, "PID" + std::to_string(study), "PATIENT^" + std::to_string(study)});
    db.Exec(
        "INSERT INTO Series (SeriesInstanceUID, SeriesNumber, Modality, SeriesPath, "
        "StudyInstanceUID) VALUES (?, '1', 'ECG', '20240105/ABCDEF01/ABCDEF02', ?)",
        {uid + ".1", uid});
    db.Exec(
        "INSERT INTO Objects (SOPInstanceUID, SeriesInstanceUID, StudyInstanceUID) "
        "VALUES (?, ?, ?)",
        {uid + ".1.1", uid + ".1", uid});
  }
  db.Exec("COMMIT");
}

double MedianQueryMs(const std::vector<std::pair<TagKey, std::string>>& keys,
                     const std::string& level, int runs, size_t& rowsSeen) {
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    DcmObj identifier;
    for (const auto& [tag, value] : keys) identifier.Add(NewTag(tag, value));
    std::vector<std::string> rows;
    std::string columns;
    int count = 0;
    const auto start = Clock::now();
    QueryLocalDatabase(identifier, rows, columns, count, level);
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    rowsSeen = rows.size();
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_db WORK_FOLDER\n");
    return 2;
  }
  const std::string work = argv[1];
  struct Run {
    const char* folder;
    StudyTuning tuning;
    bool perAssociation;
    const char* label;
  } runs[] = {
      {"/earlier", StudyTuning::InMemoryJournal, false,
       "earlier tuning (journal in memory, synchronous OFF), a connection per object"},
      {"/durable-object", StudyTuning::Durable, false,
       "durable (WAL, synchronous FULL), a connection per object"},
      {"/durable-association", StudyTuning::Durable, true,
       "durable (WAL, synchronous FULL), a connection per association"},
  };
  for (const Run& run : runs) {
    SetStudyTuning(run.tuning);
    if (!UseFreshDatabase(work + run.folder)) return 1;
    std::printf("registration, %s: %.0f objects/s (%d objects, RegisterinDB)\n", run.label,
                RegisterObjects(run.perAssociation), kObjects);
  }

  // The query database as the earlier version left it, then as this version's first opening
  // for writing makes it.
  SetStudyTuning(StudyTuning::InMemoryJournal);
  if (!UseFreshDatabase(work)) return 1;
  GrowToStudies(100000);
  const std::vector<std::pair<TagKey, std::string>> byPatientId = {
      {tag::kPatientID, "PID54321"}, {tag::kPatientName, ""}, {tag::kStudyInstanceUID, ""}};
  size_t rows = 0;
  const double before = MedianQueryMs(byPatientId, "STUDY", 51, rows);
  std::printf(
      "STUDY by PatientID, without the added indexes: median %.3f ms (%zu rows, "
      "100,000 studies)\n",
      before, rows);
  std::filesystem::copy_file(work + "/database/ecg.db", work + "/before.db");
  SetStudyTuning(StudyTuning::Durable);
  { SQLdb converter("ecg", kOpenReadWrite); }
  const double study = MedianQueryMs(byPatientId, "STUDY", 51, rows);
  std::printf("STUDY by PatientID: median %.3f ms (%zu rows, 100,000 studies)\n", study, rows);
  const double series = MedianQueryMs({{tag::kStudyInstanceUID, "1.2.826.0.1.99.54321"},
                                       {tag::kSeriesInstanceUID, ""},
                                       {tag::kSeriesNumber, ""}},
                                      "SERIES", 51, rows);
  std::printf("SERIES by StudyInstanceUID: median %.3f ms (%zu rows)\n", series, rows);
  const double image =
      MedianQueryMs({{tag::kSeriesInstanceUID, "1.2.826.0.1.99.42.1"}, {tag::kSOPInstanceUID, ""}},
                    "IMAGE", 51, rows);
  std::printf("IMAGE by SeriesInstanceUID: median %.3f ms (%zu rows)\n", image, rows);
  return 0;
}
