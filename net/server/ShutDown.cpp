#include "net/server/ShutDown.h"

#include <unistd.h>

#include "db/Register.h"
#include "dicom/util/Log.h"
#include "net/server/ServerThread.h"

void ShutDownServer(ServerThread* server, int exitCode) {
  if (server) server->Stop();
  // Both held until the end: no registration starts or is cut off, and no file is left half
  // written.
  WritingObjects.lock();
  RegisterBusy.lock();
  LogFree();
  ::_exit(exitCode);
}
