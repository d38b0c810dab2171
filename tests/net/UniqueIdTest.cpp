// The ID counter: the sequences it hands out (odd and 8-bit draws, wrapping), and odd draws from
// many threads at once (also built under ThreadSanitizer, see CMakeLists.txt).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "net/UniqueId.h"

namespace {

TEST(UniqueIdTest, Sequences) {
  ResetUniqueId();
  EXPECT_EQ(NextOddUniqueId8(), 1);
  EXPECT_EQ(NextOddUniqueId16(), 3);
  EXPECT_EQ(NextOddUniqueId16(), 5);
  ResetUniqueId();
  EXPECT_EQ(NextUniqueId8(), 1);
  EXPECT_EQ(NextOddUniqueId16(), 3);
  UniqueIdCounter = 255;
  EXPECT_EQ(NextOddUniqueId8(), 255);
  EXPECT_EQ(NextOddUniqueId8(), 1);
  UniqueIdCounter = 65535;
  EXPECT_EQ(NextOddUniqueId16(), 65535);
  EXPECT_EQ(NextOddUniqueId16(), 1);
  UniqueIdCounter = 256;
  EXPECT_EQ(NextUniqueId8(), 0);
}

TEST(UniqueIdTest, ConcurrentOddDrawsAreAllOdd) {
  constexpr int kThreads = 8, kDraws = 100000;
  ResetUniqueId();
  std::atomic<int> even{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < kDraws; ++i)
        if (NextOddUniqueId16() % 2 == 0) ++even;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(even.load(), 0);
  EXPECT_EQ(UniqueIdCounter.load(), uint32_t(2 * kThreads * kDraws));
}

}  // namespace
