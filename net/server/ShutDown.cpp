#include "net/server/ShutDown.h"

#include <unistd.h>

#include "db/Register.h"
#include "dicom/util/Log.h"
#include "net/server/ServerThread.h"

void ShutDownServer(ServerThread* server, int exitCode) {
  if (server) server->Stop();
  RegisterBusy.lock();  // held until the end: no registration starts or is cut off
  LogFree();
  ::_exit(exitCode);
}
