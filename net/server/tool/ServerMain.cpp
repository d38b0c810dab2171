// trevalind-server: the DICOM server without the GUI, for peer tests and benchmarks.
//   trevalind-server [--no-flush] FOLDER PORT [AE_TITLE [LOG_LEVEL]]
// FOLDER plays the executable's folder (database/, imagebox/, logs/, remotes.txt); a missing
// database/ecg.db is created. Prints the port once listening; ends on SIGINT or SIGTERM.
// --no-flush skips forcing files and folders to the disk, so a benchmark can show what the
// flushing costs; the program itself always flushes.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "db/Register.h"
#include "db/SQLdb.h"
#include "dicom/util/Log.h"
#include "net/server/ServerThread.h"
#include "net/server/ShutDown.h"
#include "platform/ExeFolder.h"
#include "platform/Files.h"

namespace {
// The real file layer without its flushes.
class UnflushedFiles : public FileSystem {
 public:
  int Flush(int) override { return 0; }
  void StartWriteback(int, uint64_t, uint64_t) override {}
  int FlushFolder(const std::string&) override { return 0; }
};
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--no-flush") {
    SetFiles(new UnflushedFiles);  // for the whole run
    --argc;
    ++argv;
  }
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: trevalind-server [--no-flush] FOLDER PORT [AE_TITLE [LOG_LEVEL]]\n");
    return 2;
  }
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // inherited by every thread

  ExeFolder = std::string(argv[1]);
  if (ExeFolder.back() != '/') ExeFolder += '/';
  for (const char* sub : {"database", "imagebox", "logs"}) {
    std::filesystem::create_directories(ExeFolder + sub);
  }
  LogLevel = argc > 4 ? std::atoi(argv[4]) : 0;
  LogInit(ExeFolder + "logs/server.log", "", "");
  if (!std::filesystem::exists(ExeFolder + "database/ecg.db")) {
    SQLdb db("ecg", kOpenCreate);
    CreateStudyTables(db);
  }
  ServerThread server;
  server.portText = argv[2];
  server.storeFolder = ExeFolder + "imagebox/";
  server.ownAeTitle = argc > 3 ? argv[3] : "TREVALIND";
  server.Start();
  const int port = server.ListeningPort();
  std::printf("%d\n", port);
  std::fflush(stdout);
  if (port < 0) ShutDownServer(&server, 1);
  int signal = 0;
  sigwait(&stopSignals, &signal);
  ShutDownServer(&server, 0);
}
