#include <gtest/gtest.h>

#include "net/server/rules/CommandTable.h"

namespace {
struct DispatchCase {
  uint16_t commandField;
  const char* abstractSyntax;
  Service expected;
};

const DispatchCase kServed[] = {
    {0x0030, "1.2.840.10008.1.1", Service::Echo},
    {0x0001, "1.2.840.10008.5.1.4.1.1.9.1.1", Service::Store},
    {0x0001, "", Service::Store},  // any accepted context: no class check
    {0x0020, "1.2.840.10008.5.1.4.1.2.2.1", Service::StudyRootFind},
    {0x0020, "1.2.840.10008.5.1.4.31", Service::WorklistFind},
    {0x0021, "1.2.840.10008.5.1.4.1.2.2.2", Service::Move},
};

const DispatchCase kRefused[] = {
    {0x0020, "1.2.840.10008.3.1.2.3.3", Service::EndSilently},         // MPPS
    {0x0020, "1.2.840.10008.5.1.4.1.2.2.2", Service::EndSilently},     // Study Root MOVE
    {0x0020, "1.2.840.10008.5.1.4.1.2.1.1", Service::EndSilently},     // Patient Root FIND
    {0x0140, "1.2.840.10008.3.1.2.3.3", Service::NotImplemented},      // N-CREATE
    {0x0FFF, "1.2.840.10008.5.1.4.1.2.2.1", Service::NotImplemented},  // C-CANCEL
    {0x8030, "1.2.840.10008.1.1", Service::NotImplemented},            // a response as command
    {0x0000, "", Service::NotImplemented},
};

TEST(CommandTable, ServedCommandsReachTheirHandler) {
  for (const auto& c : kServed) {
    EXPECT_EQ(ServiceFor(c.commandField, c.abstractSyntax), c.expected) << c.commandField;
  }
}

TEST(CommandTable, RefusedCommandsEndTheAssociation) {
  for (const auto& c : kRefused) {
    EXPECT_EQ(ServiceFor(c.commandField, c.abstractSyntax), c.expected) << c.commandField;
  }
}

TEST(CommandTable, LogLinesOfFailuresAndExceptions) {
  EXPECT_EQ(FailureLineFor(Service::StudyRootFind), "ERROR: Find RQ: Failed!, Socket: ");
  EXPECT_EQ(FailureLineFor(Service::WorklistFind), "ERROR: Find RQ: Failed!, Socket: ");
  EXPECT_EQ(FailureLineFor(Service::Move), "ERROR: Move RQ: Failed! Socket: ");
  EXPECT_EQ(FailureLineFor(Service::Echo), "ERROR: Echo RSP: Failed!, Socket: ");
  EXPECT_EQ(FailureLineFor(Service::NotImplemented), "ERROR: Service not implemented, Socket: ");
  EXPECT_EQ(FailureLineFor(Service::Store), "");
  EXPECT_EQ(FailureLineFor(Service::EndSilently), "");
  EXPECT_EQ(ExceptionLineFor(Service::Store), "ERROR, Exception at CTSTORESCP");
  EXPECT_EQ(ExceptionLineFor(Service::Move), "ERROR, Exception at CMOVESCP");
  EXPECT_EQ(ExceptionLineFor(Service::StudyRootFind), "ERROR, Exception at CFINDSCP");
  EXPECT_EQ(ExceptionLineFor(Service::Echo), "ERROR, Exception at CECHOSCP");
}
}  // namespace
