// The one server of the process. It is never destroyed: association threads may still run
// while the process ends.
#include "app/ServerLink.h"

#include <QApplication>
#include <QMetaObject>
#include <QString>
#include <vector>

#include "net/server/ServerThread.h"
#include "platform/gui/Cp1252.h"
#include "platform/gui/UiServices.h"

namespace {
ServerThread* server = nullptr;
// Servers replaced by a later start (tests start the browser more than once) stay reachable.
std::vector<ServerThread*>& stoppedServers = *new std::vector<ServerThread*>;
}  // namespace

void StartDicomServer(const std::string& port, const std::string& aeTitle,
                      const std::string& storeFolder) {
  if (server) {
    server->Stop();
    stoppedServers.push_back(server);
  }
  server = new ServerThread;
  server->portText = port;
  server->ownAeTitle = aeTitle;
  server->storeFolder = storeFolder;
  // Widgets belong to the GUI thread: the box is posted there.
  server->onListenFailed = [](const std::string& text) {
    const QString shown = FromCp1252(text);
    QMetaObject::invokeMethod(
        qApp, [shown] { Ui().ShowMessage(nullptr, shown); }, Qt::QueuedConnection);
  };
  server->Start();
}

void StopAcceptingAssociations() {
  if (server) server->Stop();
}

int DicomServerPort() { return server ? server->ListeningPort() : -1; }
