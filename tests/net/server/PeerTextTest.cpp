#include <gtest/gtest.h>

#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "net/server/rules/PeerText.h"

namespace {
TEST(PeerText, ControlCharactersBecomeDots) {
  EXPECT_EQ(SanitizeForLog("DOE\r\n10:00:00, forged"), "DOE..10:00:00, forged");
  EXPECT_EQ(SanitizeForLog(std::string("A\0B\x1F\x7F\x80", 6)), std::string("A.B..\x80"));
  EXPECT_EQ(SanitizeForLog("plain text"), "plain text");
}

TEST(PeerText, Trimming) {
  EXPECT_EQ(TrimControlAndBlanks(std::string("\0 NODE1 \t", 9)), "NODE1");
  EXPECT_EQ(TrimControlAndBlanks("   "), "");
  EXPECT_EQ(TrimBlanks(" \tA \t "), "\tA \t");
}

TEST(PeerText, StatusAsFourUpperCaseDigits) {
  EXPECT_EQ(StatusHex(0xA700), "A700");
  EXPECT_EQ(StatusHex(0x0000), "0000");
  EXPECT_EQ(StatusHex(0xfe00), "FE00");
}
}  // namespace
