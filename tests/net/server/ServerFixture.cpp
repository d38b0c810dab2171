#include "tests/net/server/ServerFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "db/Register.h"
#include "db/SQLdb.h"
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "platform/ExeFolder.h"

void FillTestEcg(DcmObj& object, const std::string& sopUid, const std::string& seriesUid) {
  object.transferSyntax = "1.2.840.10008.1.2.1";
  object.explicitVR = true;
  object.Add(new DcmTag(0x0008, 0x0016, std::string("1.2.840.10008.5.1.4.1.1.9.1.1"), "UI"));
  object.Add(new DcmTag(0x0008, 0x0018, sopUid, "UI"));
  object.Add(new DcmTag(0x0008, 0x0020, std::string("20240102"), "DA"));
  object.Add(new DcmTag(0x0008, 0x0060, std::string("ECG"), "CS"));
  object.Add(new DcmTag(0x0010, 0x0010, std::string("DOE^JOHN"), "PN"));
  object.Add(new DcmTag(0x0010, 0x0020, std::string("P001"), "LO"));
  object.Add(new DcmTag(0x0020, 0x000D, std::string(kTestStudyUid), "UI"));
  object.Add(new DcmTag(0x0020, 0x000E, seriesUid, "UI"));
}

void ServerFixture::SetUp() {
  char pattern[] = "/tmp/trevalind-server-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  root_ = pattern;
  ExeFolder = Folder();
  std::filesystem::create_directories(root_ / "database");
  std::filesystem::create_directories(root_ / "imagebox");
  std::filesystem::create_directories(root_ / "logs");
  LogLevel = 1;
  LogInit(Folder() + "logs/server.log", "", "");
  {
    SQLdb db("ecg", kOpenCreate);
    ASSERT_TRUE(db.isOpen);
    ASSERT_TRUE(CreateStudyTables(db));
  }
  server_ = std::make_unique<ServerThread>();
  server_->portText = std::to_string(FreeLoopbackPort());
  server_->storeFolder = Store();
  server_->ownAeTitle = "TREVALIND";
  server_->Start();
  port_ = server_->ListeningPort();
  ASSERT_GT(port_, 0);
}

void ServerFixture::TearDown() {
  if (server_) server_->Stop();
  EXPECT_TRUE(WaitForConnectedClients(30000));
  LogFree();
  if (!root_.empty() && !HasFailure()) std::filesystem::remove_all(root_);
}

std::string ServerFixture::LogText() const {
  std::ifstream in(Folder() + "logs/server.log", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> ServerFixture::EcgRows(const std::string& statement) const {
  SQLdb db("ecg", kOpenReadOnly);
  std::vector<std::string> rows;
  db.Query(statement, rows);
  return rows;
}

std::vector<std::string> ServerFixture::StoredFiles() const {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(Store())) {
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  }
  return files;
}

void ServerFixture::WriteRemotes(const std::string& text) const {
  std::ofstream out(Folder() + "remotes.txt", std::ios::binary);
  out << text;
}
