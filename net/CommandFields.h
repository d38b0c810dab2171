// The Command Field values of the DIMSE commands the node sends and serves, and the SOP classes
// they run on. A header of constants only, so that the server's dispatch rules can key on them
// without the association service.
#pragma once

#include <cstdint>

enum CommandField : uint16_t {
  C_STORE_RQ = 0x0001,
  C_STORE_RSP = 0x8001,
  C_FIND_RQ = 0x0020,
  C_FIND_RSP = 0x8020,
  C_MOVE_RQ = 0x0021,
  C_MOVE_RSP = 0x8021,
  C_ECHO_RQ = 0x0030,
  C_ECHO_RSP = 0x8030,
};

inline constexpr const char* kVerificationClass = "1.2.840.10008.1.1";
inline constexpr const char* kStudyRootFindClass = "1.2.840.10008.5.1.4.1.2.2.1";
inline constexpr const char* kStudyRootMoveClass = "1.2.840.10008.5.1.4.1.2.2.2";
inline constexpr const char* kWorklistFindClass = "1.2.840.10008.5.1.4.31";
