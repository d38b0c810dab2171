#include "net/server/rules/CommandTable.h"

#include <array>

namespace {
// Rows are tried in order: the first whose command field and abstract syntax fit serves the
// command, so a C-FIND on any other syntax falls through to EndSilently. The last row answers
// every command no other row serves and is never matched itself.
constexpr std::array<ServiceRow, 7> kServiceTable = {{
    {Service::Echo, C_ECHO_RQ, nullptr,
     "ERROR: Echo RSP: Failed!, Socket: ", "ERROR, Exception at CECHOSCP"},
    {Service::Store, C_STORE_RQ, nullptr, "", "ERROR, Exception at CTSTORESCP"},
    {Service::StudyRootFind, C_FIND_RQ, kStudyRootFindClass,
     "ERROR: Find RQ: Failed!, Socket: ", "ERROR, Exception at CFINDSCP"},
    {Service::WorklistFind, C_FIND_RQ, kWorklistFindClass,
     "ERROR: Find RQ: Failed!, Socket: ", "ERROR, Exception at CFINDSCP"},
    {Service::Move, C_MOVE_RQ, nullptr,
     "ERROR: Move RQ: Failed! Socket: ", "ERROR, Exception at CMOVESCP"},
    {Service::EndSilently, C_FIND_RQ, nullptr, "", "ERROR, Exception in Child Thread"},
    {Service::NotImplemented, 0, nullptr,
     "ERROR: Service not implemented, Socket: ", "ERROR, Exception in Child Thread"},
}};

const ServiceRow& RowOf(Service service) {
  for (const ServiceRow& row : kServiceTable) {
    if (row.service == service) return row;
  }
  return kServiceTable.back();
}
}  // namespace

const ServiceRow& RowFor(uint16_t commandField, const std::string& abstractSyntax) {
  for (size_t i = 0; i + 1 < kServiceTable.size(); ++i) {
    const ServiceRow& row = kServiceTable[i];
    if (row.commandField != commandField) continue;
    if (row.abstractSyntax == nullptr || abstractSyntax == row.abstractSyntax) return row;
  }
  return kServiceTable.back();
}

Service ServiceFor(uint16_t commandField, const std::string& abstractSyntax) {
  return RowFor(commandField, abstractSyntax).service;
}

std::string FailureLineFor(Service service) { return RowOf(service).failureLine; }

std::string ExceptionLineFor(Service service) { return RowOf(service).exceptionLine; }
