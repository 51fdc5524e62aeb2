// The crew of a run: every part of every job runs once, whichever thread
// takes it; the parts of a loop cover its items once, in contiguous shares
// that do not depend on which thread runs them; a part that stalls holds up
// none of the others.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/thread_pool.h"

namespace nivra {
namespace {

TEST(ThreadPool, EveryPartOfEveryJobRunsOnce) {
  for (const int threads : {1, 2, 3, 4, 8}) {
    SCOPED_TRACE(threads);
    thread_pool crew(threads);
    ASSERT_EQ(crew.size(), threads);
    std::vector<std::atomic<int>> runs(static_cast<std::size_t>(threads));
    constexpr int jobs = 20000;
    for (int j = 0; j < jobs; ++j) crew.run([&](int part) { runs[static_cast<std::size_t>(part)] += 1; });
    for (int p = 0; p < threads; ++p) EXPECT_EQ(runs[static_cast<std::size_t>(p)].load(), jobs) << p;
  }
}

TEST(ThreadPool, TheCrewCanBeMadeAgainAtAnySize) {
  thread_pool crew;
  EXPECT_EQ(crew.size(), 1);
  for (const int threads : {4, 2, 2, 7, 1, 3}) {
    crew.resize(threads);
    EXPECT_EQ(crew.size(), threads);
    std::atomic<int> sum{0};
    crew.run([&](int part) { sum += part + 1; });
    EXPECT_EQ(sum.load(), threads * (threads + 1) / 2);
  }
  crew.resize(0);
  EXPECT_EQ(crew.size(), 1);
  crew.resize(2);
  EXPECT_EQ(crew.size(), 2);
}

TEST(ThreadPool, ThePartsOfALoopCoverItsItemsOnceInOrder) {
  thread_pool crew(4);
  for (const int n : {0, 1, 3, 4, 5, 1000, 1001}) {
    for (const int parts : {1, 2, 3, 4}) {
      SCOPED_TRACE(::testing::Message() << n << " items, " << parts << " parts");
      std::vector<int> seen(static_cast<std::size_t>(n) + 1, 0);
      std::vector<item_range> ranges(static_cast<std::size_t>(parts));
      for_parts(crew, n, parts, [&](int first, int last, int part) {
        ranges[static_cast<std::size_t>(part)] = {first, last};
        for (int i = first; i <= last; ++i) seen[static_cast<std::size_t>(i)] += 1;
      });
      for (int i = 1; i <= n; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], 1) << i;
      // Contiguous shares in part order, as share_of gives them.
      int next = 1;
      for (int p = 0; p < parts; ++p) {
        const item_range r = share_of(1, n, p, parts);
        if (parts > 1) {
          EXPECT_EQ(ranges[static_cast<std::size_t>(p)].begin, r.begin);
          EXPECT_EQ(ranges[static_cast<std::size_t>(p)].end, r.end);
        }
        EXPECT_EQ(r.begin, next);
        next = r.end + 1;
      }
      EXPECT_EQ(next, n + 1);
    }
  }
}

// One part stalls (as when the machine switches its thread out): the other
// parts are taken by the threads that are free, the caller among them, and
// the job ends when the stalled part does.
TEST(ThreadPool, AStalledPartHoldsUpNoneOfTheOthers) {
  thread_pool crew(4);
  std::atomic<int> finished_before_stall_ended{0};
  std::atomic<bool> stall_over{false};
  const auto start = std::chrono::steady_clock::now();
  crew.run([&](int part) {
    if (part == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      stall_over = true;
      return;
    }
    if (!stall_over) finished_before_stall_ended += 1;
  });
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_TRUE(stall_over.load());
  EXPECT_EQ(finished_before_stall_ended.load(), 3);
}

// Jobs of few and of many parts in turn, back to back: a thread still in
// the loop of one job when the next is handed out takes no part of either
// that is not its own (a part taken twice, or a part past the job's count,
// would also leave the caller waiting for ever on a count it overshot).
TEST(ThreadPool, AThreadLateFromOneJobTakesNoPartOfTheNext) {
  for (const int threads : {2, 4, 8}) {
    SCOPED_TRACE(threads);
    thread_pool crew(threads);
    const int sizes[2] = {2, 4 * threads};
    std::vector<std::atomic<int>> runs(static_cast<std::size_t>(sizes[1]));
    std::atomic<int> strays{0};
    constexpr int jobs = 200000;
    for (int j = 0; j < jobs; ++j) {
      const int parts = sizes[j % 2];
      crew.run(
          [&](int part) {
            if (part < 0 || part >= parts)
              strays += 1;
            else
              runs[static_cast<std::size_t>(part)].fetch_add(1, std::memory_order_relaxed);
          },
          parts);
    }
    EXPECT_EQ(strays.load(), 0);
    for (int p = 0; p < sizes[1]; ++p)
      EXPECT_EQ(runs[static_cast<std::size_t>(p)].load(), p < sizes[0] ? jobs : jobs / 2) << p;
  }
}

}  // namespace
}  // namespace nivra
