#include "net/server/ChildThread.h"

#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "db/Register.h"
#include "dicom/DcmObj.h"
#include "dicom/Tags.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "net/PDU_Service.h"
#include "net/server/AssociationContext.h"
#include "net/server/ServerThread.h"
#include "net/server/Services.h"
#include "net/server/rules/CommandTable.h"

namespace {
using namespace std::chrono_literals;

// Runs on every way out of an association: the association object is deleted (closing the
// connection: in order after a release, else with a reset) and the thread is no longer counted.
struct AssociationEnd {
  std::unique_ptr<PDU_Service> pdu;
  int socketHandle = -1;
  bool pauseFirst = true;
  ~AssociationEnd() {
    if (pauseFirst) std::this_thread::sleep_for(1000ms);
    const bool hadAssociation = pdu != nullptr;
    pdu.reset();
    if (hadAssociation && pauseFirst && LoggingAbove(0)) {
      LogWrite("Close Connection: " + std::to_string(socketHandle));
    }
    --ConnectedClients;
  }
};

// The handler column of the dispatch table (net/server/rules/CommandTable.h): the services
// without a row here end the association.
struct HandlerRow {
  Service service;
  ServiceHandler handler;
};
constexpr HandlerRow kHandlers[] = {
    {Service::Echo, EchoSCP},          {Service::Store, CStoreSCP},
    {Service::StudyRootFind, FindSCP}, {Service::WorklistFind, WorklistFindSCP},
    {Service::Move, MoveSCP},
};

ServiceHandler HandlerFor(Service service) {
  for (const HandlerRow& row : kHandlers) {
    if (row.service == service) return row.handler;
  }
  return nullptr;
}

// Serves one command; false when the association must end.
bool Dispatch(PDU_Service& pdu, DcmObj& command, const AssociationContext& context) {
  const uint16_t field = command.GetUShort(tag::kCommandField);
  const ServiceRow& row = RowFor(field, pdu.GetAbstractSyntaxUID());
  if (row.service == Service::EndSilently) return false;
  const std::string handle = std::to_string(context.socketId);
  const std::string failureLine = row.failureLine;
  const ServiceHandler handler = HandlerFor(row.service);
  if (!handler) {
    LogWrite(failureLine + handle);
    return false;
  }
  bool goOn = false;
  try {
    goOn = handler(pdu, command, context);
  } catch (...) {
    LogWrite(row.exceptionLine);
    return false;
  }
  if (!goOn && !failureLine.empty()) LogWrite(failureLine + handle);
  return goOn;
}
}  // namespace

void ChildThread::Start(int socketHandle, const std::string& storeFolder,
                        const std::string& ownAeTitle) {
  auto child = std::make_unique<ChildThread>();
  child->socketHandle = socketHandle;
  child->storeFolder = storeFolder;
  child->ownAeTitle = ownAeTitle;
  try {
    std::thread([owned = std::move(child)] { owned->Execute(); }).detach();
  } catch (...) {
    --ConnectedClients;  // the thread never ran, so nothing else will count it out
    if (socketHandle >= 0) ::close(socketHandle);
    throw;
  }
}

void ChildThread::Execute() {
  AssociationEnd end;
  end.socketHandle = socketHandle;
  RegistrationScope registrations;  // one study database connection for all objects stored here
  try {
    end.pdu = std::make_unique<PDU_Service>();
    PDU_Service& pdu = *end.pdu;
    pdu.DumpMessages = LoggingAbove(1);
    pdu.PreferJpeg2000 = true;
    const std::string handle = std::to_string(socketHandle);
    if (!pdu.Multiplex(socketHandle)) {
      LogWrite("ERROR: Association Failed! Socket: " + handle);
      end.pauseFirst = false;
      return;
    }
    const std::string calling = pdu.assocAC.CallingTitle();
    if (LoggingAbove(0)) LogWrite("Associated with " + calling + ", Socket: " + handle);
    AssociationContext context{storeFolder, ownAeTitle, TrimControlAndBlanks(calling),
                               pdu.GetSocketID()};
    DcmObj command;
    while (pdu.Read(&command)) {
      if (!Dispatch(pdu, command, context)) break;
      command.Clear();
    }
  } catch (...) {
    LogWrite("ERROR, Exception in Child Thread");
  }
}
