// The association loop's dispatch, as data: which service serves a command set, keyed by its
// Command Field and, for C-FIND, by the abstract syntax of the context it arrived on, and what
// the loop logs when that service fails or throws. One row per service; the handlers that serve
// the rows are joined to them by the server (net/server/ChildThread.cpp), which owns the sockets.
#pragma once

#include <cstdint>
#include <string>

#include "net/CommandFields.h"

enum class Service {
  Echo,            // EchoSCP
  Store,           // CStoreSCP
  StudyRootFind,   // FindSCP
  WorklistFind,    // WorklistFindSCP
  Move,            // MoveSCP
  EndSilently,     // C-FIND on an abstract syntax no handler serves
  NotImplemented,  // no handler: "ERROR: Service not implemented, Socket: "
};

struct ServiceRow {
  Service service;
  uint16_t commandField;
  // The abstract syntax the context must have; nullptr for any.
  const char* abstractSyntax;
  // Logged with the socket handle when the handler returns false ("" when it logs its own).
  const char* failureLine;
  // Logged when the handler throws.
  const char* exceptionLine;
};

// The row of the service that serves the command; NotImplemented's row when none does.
const ServiceRow& RowFor(uint16_t commandField, const std::string& abstractSyntax);

Service ServiceFor(uint16_t commandField, const std::string& abstractSyntax);

// The line logged when a service's handler returns false ("" when the handler logs its own).
std::string FailureLineFor(Service service);
// The line logged when a service's handler throws.
std::string ExceptionLineFor(Service service);
