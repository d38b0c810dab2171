#include <gtest/gtest.h>

#include "net/AssociationProposal.h"

namespace {
using Syntaxes = std::vector<std::string>;

TEST(AssociationProposal, TitlesAreSixteenCharacters) {
  EXPECT_EQ(PadApTitle("KORVA"), "KORVA           ");
  EXPECT_EQ(PadApTitle("ABCDEFGHIJKLMNOPQRST"), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(PadApTitle("ABCDEFGHIJKLMNOP"), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(PadApTitle(""), std::string(16, ' '));
}

TEST(AssociationProposal, TransferSyntaxOrder) {
  const struct {
    const char* ts1;
    const char* ts2;
    Syntaxes expected;
  } cases[] = {
      {"", "", {"1.2.840.10008.1.2"}},
      {"1.2.840.10008.1.2.4.70", "", {"1.2.840.10008.1.2.4.70", "1.2.840.10008.1.2"}},
      {"1.2.840.10008.1.2", "", {"1.2.840.10008.1.2"}},
      {"1.2.840.10008.1.2.1",
       "1.2.840.10008.1.2.4.70",
       {"1.2.840.10008.1.2.4.70", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2"}},
      {"1.2.840.10008.1.2.1", "1.2.840.10008.1.2.1", {"1.2.840.10008.1.2.1", "1.2.840.10008.1.2"}},
      {"", "1.2.840.10008.1.2", {"1.2.840.10008.1.2"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProposedTransferSyntaxes(c.ts1, c.ts2), c.expected) << c.ts1 << " " << c.ts2;
  }
}

TEST(AssociationProposal, MoveProposesOnlySyntaxesItCanSelect) {
  const struct {
    const char* fileSyntax;
    const char* proposed;
  } cases[] = {
      {"1.2.840.10008.1.2.4.70", "1.2.840.10008.1.2.4.70"},
      {"1.2.840.10008.1.2.4.90", "1.2.840.10008.1.2.4.90"},
      {"1.2.840.10008.1.2.4.91", "1.2.840.10008.1.2.4.91"},
      {"1.2.840.10008.1.2.4.50", "1.2.840.10008.1.2.4.50"},
      {"1.2.840.10008.1.2.1", "1.2.840.10008.1.2.1"},
      {"1.2.840.10008.1.2", "1.2.840.10008.1.2"},
      {"1.2.840.10008.1.2.5", ""},     // RLE
      {"1.2.840.10008.1.2.2", ""},     // explicit big endian
      {"1.2.840.10008.1.2.4.57", ""},  // another JPEG process
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MoveProposalSyntax(c.fileSyntax), c.proposed) << c.fileSyntax;
}
}  // namespace
