// The ordered parallel map: results arrive in order on the calling thread, the
// first failure in item order wins, the window bounds what is in flight, and no
// worker outlives the call.

#include "platform/ordered_parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace resmill {
namespace {

TEST(OrderedParallelMap, ConsumesEveryItemInOrderOnTheCallingThread) {
  struct Case {
    std::size_t count;
    unsigned workers;
  };
  const Case cases[] = {{0, 4}, {1, 1}, {1, 8}, {2, 8}, {7, 1}, {7, 2}, {100, 3}, {250, kAllCores}};
  for (const Case& c : cases) {
    const auto caller = std::this_thread::get_id();
    std::vector<std::size_t> seen;
    bool consumedElsewhere = false;
    OrderedParallelMap(
        c.count, c.workers,
        [](std::size_t i) {
          // Later items finish first now and then, so the order must come from the map.
          if (i % 3 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
          return std::to_string(i);
        },
        [&](std::size_t i, std::string value) {
          consumedElsewhere |= std::this_thread::get_id() != caller;
          EXPECT_EQ(value, std::to_string(i));
          seen.push_back(i);
        });
    ASSERT_EQ(seen.size(), c.count) << c.count << " items, " << c.workers << " workers";
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], i);
    EXPECT_FALSE(consumedElsewhere);
  }
}

TEST(OrderedParallelMap, OneWorkerRunsEverythingOnTheCallingThread) {
  const auto caller = std::this_thread::get_id();
  std::vector<std::string> order;
  OrderedParallelMap(
      3, 1,
      [&](std::size_t i) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        order.push_back("produce " + std::to_string(i));
        return i;
      },
      [&](std::size_t i, std::size_t) { order.push_back("consume " + std::to_string(i)); });
  EXPECT_EQ(order, (std::vector<std::string>{"produce 0", "consume 0", "produce 1", "consume 1", "produce 2",
                                             "consume 2"}));
}

TEST(OrderedParallelMap, TheFirstFailingItemInOrderStopsTheWork) {
  struct Case {
    const char* name;
    std::vector<std::size_t> failing;  // items whose produce throws
    std::size_t expectedFailure;
  };
  const Case cases[] = {
      {"first item", {0}, 0},
      {"middle item", {17}, 17},
      {"last item", {39}, 39},
      {"two items: the earlier wins even when the later fails first", {5, 3}, 3},
  };
  for (unsigned workers : {1u, 2u, 4u}) {
    for (const Case& c : cases) {
      std::vector<std::size_t> consumed;
      std::atomic<std::size_t> producedBeyond{0};
      std::string message;
      try {
        OrderedParallelMap(
            40, workers,
            [&](std::size_t i) {
              for (std::size_t f : c.failing) {
                // The later failure is made to happen first in time.
                if (f == i && i == c.expectedFailure && c.failing.size() > 1) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
                if (f == i) throw std::runtime_error("item " + std::to_string(i));
              }
              if (i > c.expectedFailure) ++producedBeyond;
              return i;
            },
            [&](std::size_t i, std::size_t) { consumed.push_back(i); });
      } catch (const std::runtime_error& e) {
        message = e.what();
      }
      EXPECT_EQ(message, "item " + std::to_string(c.expectedFailure)) << c.name << ", " << workers << " workers";
      ASSERT_EQ(consumed.size(), c.expectedFailure) << c.name;
      for (std::size_t i = 0; i < consumed.size(); ++i) EXPECT_EQ(consumed[i], i);
      // Work beyond the failure is bounded by the window, not the whole count.
      EXPECT_LE(producedBeyond.load(), workers * kItemsPerWorker) << c.name;
    }
  }
}

TEST(OrderedParallelMap, AFailingConsumerStopsAndJoinsTheWorkers) {
  std::atomic<int> running{0};
  std::atomic<std::size_t> produced{0};
  try {
    OrderedParallelMap(
        1000, 4,
        [&](std::size_t i) {
          ++running;
          std::this_thread::sleep_for(std::chrono::microseconds(100));
          ++produced;
          --running;
          return i;
        },
        [&](std::size_t i, std::size_t) {
          if (i == 5) throw std::runtime_error("disk full");
        });
    ADD_FAILURE() << "the consumer's error was lost";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "disk full");
  }
  // Joined: nothing runs any more, and the count stops moving.
  EXPECT_EQ(running.load(), 0);
  const std::size_t after = produced.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(produced.load(), after);
  EXPECT_LE(after, 6 + 4 * kItemsPerWorker + 1);
}

TEST(OrderedParallelMap, NoMoreThanTheWindowIsInFlight) {
  struct Case {
    unsigned workers;
    std::size_t window;  // the most items produced but not yet consumed
  };
  // A few items per worker, but never more than the bound, unless there are more
  // workers than that.
  const Case cases[] = {{3, 3 * kItemsPerWorker}, {16, kMaxItemsInFlight}, {100, 100}};
  for (const Case& c : cases) {
    std::atomic<std::size_t> producedCount{0};
    std::size_t consumedCount = 0;
    std::size_t largestGap = 0;
    OrderedParallelMap(
        300, c.workers,
        [&](std::size_t i) {
          ++producedCount;
          return i;
        },
        [&](std::size_t, std::size_t) {
          ++consumedCount;
          // A slow consumer: the workers run ahead as far as they are let.
          std::this_thread::sleep_for(std::chrono::microseconds(50));
          largestGap = std::max(largestGap, producedCount.load() - consumedCount);
        });
    EXPECT_EQ(consumedCount, 300u);
    // Items produced but not yet consumed, besides the one being consumed now.
    EXPECT_LE(largestGap, c.window) << c.workers << " workers";
  }
}

TEST(OrderedParallelMapInBatches, EveryItemInOrderAndAFailureStopsAtItsItem) {
  struct Case {
    std::size_t count;
    std::size_t perBatch;
    std::optional<std::size_t> failing;  // the item whose produce throws
  };
  const Case cases[] = {
      {100, 32, std::nullopt},  // the last batch is short
      {0, 32, std::nullopt},    {5, 32, std::nullopt}, {64, 32, std::nullopt}, {10, 0, std::nullopt},
      {100, 32, 0},             // the first item of the first batch
      {100, 32, 45},            // in the middle of a batch: the items before it in that batch still count
      {100, 32, 63},            // the last item of a batch
      {100, 32, 99},            {100, 1, 50},
  };
  for (unsigned workers : {1u, 2u, 4u}) {
    for (const Case& c : cases) {
      std::vector<std::size_t> consumed;
      std::string error;
      try {
        OrderedParallelMapInBatches(
            c.count, c.perBatch, workers,
            [&](std::size_t i) {
              if (c.failing && i == *c.failing) throw std::runtime_error("item " + std::to_string(i));
              return i * 3;
            },
            [&](std::size_t i, std::size_t result) {
              EXPECT_EQ(result, i * 3);
              consumed.push_back(i);
            });
      } catch (const std::runtime_error& e) {
        error = e.what();
      }
      const std::size_t expected = c.failing.value_or(c.count);
      const std::string where = std::to_string(c.count) + "/" + std::to_string(c.perBatch) + ", " +
                                std::to_string(workers) + " workers";
      EXPECT_EQ(error, c.failing ? "item " + std::to_string(*c.failing) : "") << where;
      ASSERT_EQ(consumed.size(), expected) << where;
      for (std::size_t i = 0; i < consumed.size(); ++i) EXPECT_EQ(consumed[i], i) << where;
    }
  }
}

TEST(OrderedParallelMap, ResultsThatOnlyMoveArePassedThrough) {
  std::vector<std::size_t> sizes;
  OrderedParallelMap(
      20, 2, [](std::size_t i) { return std::make_unique<std::vector<int>>(i, 7); },
      [&](std::size_t, std::unique_ptr<std::vector<int>> v) { sizes.push_back(v->size()); });
  ASSERT_EQ(sizes.size(), 20u);
  for (std::size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(sizes[i], i);
}

TEST(ResolveWorkers, AllCoresIsAtLeastOneAndACountStandsAsItIs) {
  EXPECT_GE(ResolveWorkers(kAllCores), 1u);
  EXPECT_EQ(ResolveWorkers(1), 1u);
  EXPECT_EQ(ResolveWorkers(5), 5u);
}

}  // namespace
}  // namespace resmill
