#include "net/server/rules/CommandTable.h"

#include <array>

namespace {
struct CommandEntry {
  uint16_t commandField;
  Service service;
};

// C-FIND is resolved further by the abstract syntax (FindServiceFor).
constexpr std::array<CommandEntry, 4> kCommandTable = {{
    {kCommandStoreRQ, Service::Store},
    {kCommandFindRQ, Service::StudyRootFind},
    {kCommandMoveRQ, Service::Move},
    {kCommandEchoRQ, Service::Echo},
}};

Service FindServiceFor(const std::string& abstractSyntax) {
  if (abstractSyntax == kWorklistFindClass) return Service::WorklistFind;
  if (abstractSyntax == kStudyRootFindClass) return Service::StudyRootFind;
  return Service::EndSilently;
}
}  // namespace

Service ServiceFor(uint16_t commandField, const std::string& abstractSyntax) {
  for (const CommandEntry& entry : kCommandTable) {
    if (entry.commandField != commandField) continue;
    return commandField == kCommandFindRQ ? FindServiceFor(abstractSyntax) : entry.service;
  }
  return Service::NotImplemented;
}

std::string FailureLineFor(Service service) {
  switch (service) {
    case Service::StudyRootFind:
    case Service::WorklistFind: return "ERROR: Find RQ: Failed!, Socket: ";
    case Service::Move: return "ERROR: Move RQ: Failed! Socket: ";
    case Service::Echo: return "ERROR: Echo RSP: Failed!, Socket: ";
    case Service::NotImplemented: return "ERROR: Service not implemented, Socket: ";
    case Service::Store:
    case Service::EndSilently: return "";
  }
  return "";
}

std::string ExceptionLineFor(Service service) {
  switch (service) {
    case Service::Store: return "ERROR, Exception at CTSTORESCP";
    case Service::StudyRootFind:
    case Service::WorklistFind: return "ERROR, Exception at CFINDSCP";
    case Service::Move: return "ERROR, Exception at CMOVESCP";
    case Service::Echo: return "ERROR, Exception at CECHOSCP";
    case Service::NotImplemented:
    case Service::EndSilently: return "ERROR, Exception in Child Thread";
  }
  return "ERROR, Exception in Child Thread";
}
