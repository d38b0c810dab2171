// The association loop's dispatch, as data: which service serves a command set, keyed by its
// Command Field and, for C-FIND, by the abstract syntax of the context it arrived on.
#pragma once

#include <cstdint>
#include <string>

enum class Service {
  Echo,            // answered by the association loop itself
  Store,           // CStoreSCP
  StudyRootFind,   // FindSCP
  WorklistFind,    // WorklistFindSCP
  Move,            // MoveSCP
  EndSilently,     // C-FIND on an abstract syntax no handler serves
  NotImplemented,  // no handler: "ERROR: Service not implemented, Socket: "
};

inline constexpr uint16_t kCommandStoreRQ = 0x0001;
inline constexpr uint16_t kCommandFindRQ = 0x0020;
inline constexpr uint16_t kCommandMoveRQ = 0x0021;
inline constexpr uint16_t kCommandEchoRQ = 0x0030;

inline constexpr const char* kVerificationClass = "1.2.840.10008.1.1";
inline constexpr const char* kStudyRootFindClass = "1.2.840.10008.5.1.4.1.2.2.1";
inline constexpr const char* kStudyRootMoveClass = "1.2.840.10008.5.1.4.1.2.2.2";
inline constexpr const char* kWorklistFindClass = "1.2.840.10008.5.1.4.31";

Service ServiceFor(uint16_t commandField, const std::string& abstractSyntax);

// The line logged when a service's handler returns false ("" when the handler logs its own).
std::string FailureLineFor(Service service);
// The line logged when a service's handler throws.
std::string ExceptionLineFor(Service service);
