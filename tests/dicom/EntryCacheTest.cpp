// The per-thread memory of data set entries: a freed entry's block serves the next one on the
// thread that freed it, whichever thread made it, and a kept block is still guarded against use
// after free.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"

namespace {

TEST(EntryCacheTest, AFreedEntryServesTheNextOneOfItsClassOnThatThread) {
  auto* first = new DcmTag(0x0010, 0x0010, std::string("DOE^JOHN"), "PN");
  void* where = first;
  delete first;
  auto* next = new DcmTag();
  EXPECT_EQ(static_cast<void*>(next), where);
  EXPECT_EQ(next->group, 0);  // constructed afresh
  EXPECT_TRUE(next->data.empty());
  delete next;

  auto* item = new DcmObj();
  void* itemWhere = item;
  delete item;
  auto* nextItem = new DcmObj();
  EXPECT_EQ(static_cast<void*>(nextItem), itemWhere);
  EXPECT_EQ(nextItem->Count(), 0);
  delete nextItem;
}

TEST(EntryCacheTest, AnEntryFreedOnAnotherThreadServesThatThread) {
  auto* made = new DcmTag(0x0008, 0x0060, std::string("ECG"), "CS");
  void* where = made;
  void* reused = nullptr;
  std::thread other([&] {
    delete made;
    auto* next = new DcmTag();
    reused = next;
    delete next;
  });
  other.join();
  EXPECT_EQ(reused, where);
}

TEST(EntryCacheTest, ABurstLargerThanWhatIsKeptComesBackWhole) {
  // More entries than one thread keeps: the surplus goes back, and every entry made afterwards
  // is a usable, distinct element.
  std::vector<DcmTag*> tags;
  for (size_t i = 0; i < 3 * EntryCache<DcmTag>::kKeptBlocks; ++i)
    tags.push_back(new DcmTag(0x0020, 0x0013, uint16_t(i), "US"));
  for (DcmTag* tag : tags) delete tag;
  tags.clear();
  for (size_t i = 0; i < 3 * EntryCache<DcmTag>::kKeptBlocks; ++i)
    tags.push_back(new DcmTag(0x0020, 0x0013, uint16_t(i), "US"));
  for (size_t i = 0; i < tags.size(); ++i) EXPECT_EQ(tags[i]->GetUShort(), uint16_t(i));
  for (DcmTag* tag : tags) delete tag;
}

#if defined(__SANITIZE_ADDRESS__)
TEST(EntryCacheDeathTest, UsingAKeptElementIsReported) {
  EXPECT_DEATH(
      {
        auto* tag = new DcmTag(0x0010, 0x0020, std::string("PID1"), "LO");
        delete tag;
        volatile uint16_t group = tag->group;  // NOLINT: the use after free under test
        (void)group;
      },
      "use-after-poison");
}
#endif

}  // namespace
