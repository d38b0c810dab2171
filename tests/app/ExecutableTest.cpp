// The built program as a user runs it: copied into a fresh folder (so the files beside it start
// out missing), configured with a high port, started offscreen, talked to with dcmtk's tools,
// and ended the way a session ends it (SIGTERM closes the browser).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDate>
#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/app/AppTestSupport.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

const std::string kSample = PYDICOM_TEST_FILES "/waveform_ecg.dcm";

class Executable : public testing::Test {
 protected:
  void SetUp() override {
    exe = folder.path() + "exe/";
    ASSERT_EQ(
        Shell("mkdir -p '" + exe + "' && cp " TREVALIND_BINARY_DIR "/trevalind '" + exe + "'"), 0);
    // The record as another tool writes it.
    ASSERT_EQ(Shell("/usr/bin/python3 -c \"import struct,sys; open(sys.argv[1],'wb').write("
                    "struct.pack('<32s32si', b'" +
                    port + "', b'KORVA', 1))\" '" + exe + "trevalind.cfg'"),
              0);
  }
  void TearDown() override {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  void Start(const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> texts = {exe + "trevalind"};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QT_SCALE_FACTOR", "1", 1);
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  }
  bool Echo() { return Shell("echoscu -aec KORVA 127.0.0.1 " + port + " 2>/dev/null") == 0; }
  bool WaitForServer() {
    for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(100ms))
      if (Echo()) return true;
    return false;
  }
  // SIGTERM, then the exit status (-1 when it did not end in time or not normally).
  int Terminate() {
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 300; ++i, std::this_thread::sleep_for(100ms)) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    }
    return -1;
  }
  bool Running() { return pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0; }
  std::string Sql(const std::string& statement) {
    Shell("sqlite3 -cmd '.timeout 5000' '" + exe + "database/ecg.db' \"" + statement + "\" > '" +
          folder.path() + "sql.out' 2>&1");
    return folder.Read("sql.out");
  }
  std::string Output(const std::string& command) {
    Shell(command + " > '" + folder.path() + "cmd.out' 2>&1");
    return folder.Read("cmd.out");
  }
  void StoreTheSample() {
    Start();
    ASSERT_TRUE(WaitForServer());
    ASSERT_EQ(Shell("storescu -aec KORVA 127.0.0.1 " + port + " " + kSample), 0);
    ASSERT_EQ(Terminate(), 0);
  }
  TempFolder folder;
  const std::string port = FreePort();
  std::string exe;
  pid_t pid = -1;
};

TEST_F(Executable, FirstStartCreatesItsFilesAndServesOnTheConfiguredPort) {
  Start();
  ASSERT_TRUE(WaitForServer());
  const std::string today = QDate::currentDate().toString("yyyyMMdd").toStdString();
  EXPECT_TRUE(folder.Exists("exe/logs/" + today + "_ecg.log"));
  EXPECT_EQ(Shell("test -d '" + exe + "imagebox'"), 0);
  EXPECT_EQ(Sql("SELECT type, name, sql FROM sqlite_master ORDER BY rowid"),
            "table|Study|CREATE TABLE Study (StudyInstanceUID VARCHAR(64) PRIMARY KEY,StudyDate "
            "VARCHAR(8),StudyTime VARCHAR(16),StudyID VARCHAR(16),StudyDescription VARCHAR(64),"
            "AccessionNumber VARCHAR(16),ReferPhysician VARCHAR(64),StudyModality VARCHAR(64),"
            "StationName VARCHAR(16),InstitutionName VARCHAR(64),StudyPath VARCHAR(8),PatientID "
            "VARCHAR(64),PatientName VARCHAR(64),PatientSex VARCHAR(16),PatientBD VARCHAR(8))\n"
            "index|sqlite_autoindex_Study_1|\n"
            "index|study_patientid_index|CREATE INDEX study_patientid_index ON Study(PatientID "
            "COLLATE NOCASE)\n"
            "index|study_patientname_index|CREATE INDEX study_patientname_index ON "
            "Study(PatientName COLLATE NOCASE)\n"
            "index|study_date_index|CREATE INDEX study_date_index ON Study(StudyDate)\n"
            "index|study_accession_index|CREATE INDEX study_accession_index ON "
            "Study(AccessionNumber)\n"
            "table|Series|CREATE TABLE Series (SeriesInstanceUID VARCHAR(64) PRIMARY KEY,"
            "SeriesNumber VARCHAR(12),SeriesDate VARCHAR(8),SeriesTime VARCHAR(16),"
            "SeriesDescription VARCHAR(64),Modality VARCHAR(16),InstitutionName VARCHAR(64),"
            "Manufacturer VARCHAR(64),ModelName VARCHAR(64),BodyPartExamined VARCHAR(64),"
            "ProtocolName VARCHAR(64),SeriesPath VARCHAR(32),StudyInstanceUID VARCHAR(64))\n"
            "index|sqlite_autoindex_Series_1|\n"
            "index|series_index|CREATE INDEX series_index ON Series(StudyInstanceUID)\n"
            "table|Objects|CREATE TABLE Objects (SOPInstanceUID VARCHAR(64) PRIMARY KEY,"
            "SOPClassUID VARCHAR(64),ImageNumber INTEGER,ContentDate VARCHAR(8),ContentTime "
            "VARCHAR(16),AcquisitionNumber INTEGER,AcquisitionDate VARCHAR(8),AcquisitionTime "
            "VARCHAR(16),SliceLocation VARCHAR(16),ReceivedDate VARCHAR(8),SeriesInstanceUID "
            "VARCHAR(64),StudyInstanceUID VARCHAR(64),ConvolutionKernel VARCHAR(16),BackupStatus "
            "INTEGER,KeyObject VARCHAR(1))\n"
            "index|sqlite_autoindex_Objects_1|\n"
            "index|st_object_index|CREATE INDEX st_object_index ON Objects(StudyInstanceUID)\n"
            "index|se_object_index|CREATE INDEX se_object_index ON Objects(SeriesInstanceUID)\n");
  EXPECT_EQ(Terminate(), 0);
  // A second start creates nothing: the database keeps its first schema and rows.
  Sql("INSERT INTO Study (StudyInstanceUID) VALUES ('1.2.3')");
  Start();
  ASSERT_TRUE(WaitForServer());
  EXPECT_EQ(Sql("SELECT StudyInstanceUID FROM Study"), "1.2.3\n");
  EXPECT_EQ(Terminate(), 0);
}

TEST_F(Executable, StoredEcgIsAValidFileBesideItsRow) {
  StoreTheSample();
  const std::string stored = Output("find '" + exe + "imagebox' -name '*.dcm'");
  ASSERT_NE(stored.find("/imagebox/"), std::string::npos) << stored;
  const std::string path = stored.substr(0, stored.find('\n'));
  EXPECT_EQ(exe + "imagebox/" +
                Sql("SELECT SeriesPath || '/' || SOPInstanceUID || '.dcm' FROM "
                    "Objects JOIN Series USING (SeriesInstanceUID)"),
            path + "\n");
  const std::string dump = Output("dcmdump '" + path + "'");
  EXPECT_NE(dump.find("(0002,0012) UI [2.25.304991017046338021517.999]"), std::string::npos)
      << dump;
  EXPECT_NE(dump.find("(0010,0020) LO [642341]"), std::string::npos) << dump;
  EXPECT_NE(dump.find("(5400,0100) SQ"), std::string::npos) << dump;
  // No complaint about the stored file that the sample itself does not raise, but for the file
  // meta header's implementation version name, which is written with a closing NUL.
  auto errors = [this](const std::string& file) {
    const std::string report = Output("dciodvfy '" + file + "'");
    std::string lines;
    for (size_t at = report.find("Error"); at != std::string::npos;
         at = report.find("Error", at + 1)) {
      const std::string line = report.substr(at, report.find('\n', at) - at);
      if (line.find("(0x0002,0x0013)") == std::string::npos &&
          line.find("invalid data values for Value Representations") == std::string::npos)
        lines += line + "\n";
    }
    return lines;
  };
  EXPECT_EQ(errors(path), errors(kSample));
}

struct AccessionRun {
  const char* what;
  std::vector<std::string> arguments;
};

class AccessionRunTest : public Executable, public testing::WithParamInterface<AccessionRun> {};

// Whether the study is found (the ECG window stays open) or not (the message stays open), the
// browser stays hidden, no server runs, and ending the program gives 0. Options meant for Qt
// are part of the accession number: Qt never sees them.
TEST_P(AccessionRunTest, RunsNoServerAndEndsWithZero) {
  StoreTheSample();
  Start(GetParam().arguments);
  std::this_thread::sleep_for(2s);
  EXPECT_TRUE(Running());
  EXPECT_FALSE(Echo());
  EXPECT_EQ(Terminate(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AccessionRunTest,
    testing::Values(AccessionRun{"found", {"03028041970546"}}, AccessionRun{"not_found", {"NOPE"}},
                    AccessionRun{"qt_options_are_not_taken", {"-platform", "xcb"}}),
    [](const auto& info) { return std::string(info.param.what); });

// Ending the program while an association is storing: the registration lock is taken first, so
// the database stays whole and every Objects row has its file and every file its row.
TEST_F(Executable, ShutDownWhileStoringKeepsDatabaseAndFilesTogether) {
  constexpr int kObjects = 100;
  const std::string sources = folder.path() + "many";
  ASSERT_EQ(
      Shell("/usr/bin/python3 -W ignore " TREVALIND_SOURCE_DIR "/tests/app/make_many_ecgs.py '" +
            sources + "' " + std::to_string(kObjects)),
      0);
  Start();
  ASSERT_TRUE(WaitForServer());
  Shell("(timeout 60 storescu -aec KORVA 127.0.0.1 " + port + " +sd '" + sources +
        "' > /dev/null 2>&1 & echo $! > '" + folder.path() + "storescu.pid')");
  int stored = 0;
  for (int i = 0; i < 200 && stored < 3; ++i, std::this_thread::sleep_for(20ms))
    stored = std::atoi(Sql("SELECT COUNT(*) FROM Objects").c_str());
  ASSERT_GE(stored, 3);
  EXPECT_EQ(Terminate(), 0);
  Shell("kill $(cat '" + folder.path() + "storescu.pid') 2>/dev/null");
  EXPECT_EQ(Sql("PRAGMA integrity_check"), "ok\n");
  const int rows = std::atoi(Sql("SELECT COUNT(*) FROM Objects").c_str());
  EXPECT_LT(rows, kObjects) << "the program ended only after the whole stream was stored";
  // Rows without files and files without rows.
  Shell("cd '" + exe + "imagebox' && find . -name '*.dcm' | sed 's|^\\./||' | sort > '" +
        folder.path() + "files.txt'");
  Sql("SELECT SeriesPath || '/' || SOPInstanceUID || '.dcm' FROM Objects JOIN Series USING "
      "(SeriesInstanceUID) ORDER BY 1");
  Shell("sort '" + folder.path() + "sql.out' > '" + folder.path() + "rows.txt'");
  const std::string files = folder.Read("files.txt");
  EXPECT_EQ(folder.Read("rows.txt"), files);
  EXPECT_EQ(std::count(files.begin(), files.end(), '\n'), rows);
}

// "Send Feedback" opens the README beside the executable, which the build puts there.
TEST(BuildOutput, PlacesTheReadmeBesideTheExecutable) {
  EXPECT_EQ(Shell("cmp -s " TREVALIND_SOURCE_DIR "/README.md " TREVALIND_BINARY_DIR "/README.md"),
            0);
}

}  // namespace
