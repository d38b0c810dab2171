#include <gtest/gtest.h>

#include <vector>

#include "net/server/rules/MoveOutcome.h"

namespace {
TEST(MoveOutcome, FinalStatusFollowsTheSubOperations) {
  const struct {
    std::vector<int32_t> storeStatuses;
    uint16_t completed, failed, warning, finalStatus;
  } cases[] = {
      {{}, 0, 0, 0, 0x0000},
      {{0, 0, 0, 0, 0}, 5, 0, 0, 0x0000},
      {{0, 0xA700, 0}, 2, 1, 0, 0xB000},
      {{0xA700, -1, -2}, 0, 3, 0, 0xA702},
      {{0xB000, 0}, 1, 0, 1, 0xB000},
      {{0xB007}, 0, 0, 1, 0xB000},
      {{0xB000, 0xC000}, 0, 1, 1, 0xB000},
      {{-3, -4, 0}, 1, 2, 0, 0xB000},
  };
  for (const auto& c : cases) {
    SubOperationCounts counts;
    for (int32_t s : c.storeStatuses) CountSubOperation(counts, s);
    EXPECT_EQ(counts.completed, c.completed);
    EXPECT_EQ(counts.failed, c.failed);
    EXPECT_EQ(counts.warning, c.warning);
    EXPECT_EQ(FinalMoveStatus(counts), c.finalStatus);
  }
}

TEST(MoveOutcome, EncodingForTheAcceptedContext) {
  constexpr const char* kImplicit = "1.2.840.10008.1.2";
  constexpr const char* kExplicit = "1.2.840.10008.1.2.1";
  constexpr const char* kBig = "1.2.840.10008.1.2.2";
  constexpr const char* kJpegLossless = "1.2.840.10008.1.2.4.70";
  const struct {
    const char* dataSet;
    const char* context;
    bool image;
    StoreEncoding expected;
  } cases[] = {
      {kJpegLossless, kJpegLossless, true, StoreEncoding::AsItIs},
      {kJpegLossless, kImplicit, true, StoreEncoding::Convert},
      {kExplicit, kImplicit, true, StoreEncoding::Convert},
      {kExplicit, kExplicit, false, StoreEncoding::AsItIs},
      {kExplicit, kImplicit, false, StoreEncoding::RelabelImplicit},
      {"", kImplicit, false, StoreEncoding::RelabelImplicit},
      {kBig, kImplicit, false, StoreEncoding::Refuse},
      {kBig, kExplicit, false, StoreEncoding::Refuse},
      {kImplicit, kExplicit, false, StoreEncoding::Refuse},
      {kImplicit, kImplicit, false, StoreEncoding::AsItIs},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseStoreEncoding(c.dataSet, c.context, c.image), c.expected)
        << c.dataSet << " -> " << c.context << (c.image ? " image" : " non-image");
  }
}
}  // namespace
