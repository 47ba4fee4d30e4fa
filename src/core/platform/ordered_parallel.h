#pragma once
// An ordered parallel map over a bounded window: item i is produced on one of
// the workers (the calling thread lends a hand whenever the item it is to
// consume next is not ready) and consumed on the calling thread, strictly in
// the order 0, 1, 2, …
// Batch picture conversions use it so that the decode/encode work spreads over
// the cores while every file is still written, and every progress step still
// reported, by the calling thread in the order a single thread would.
//
// - At most `window` items are produced but not yet consumed, so memory stays
//   bounded by a few items per worker whatever the count.
// - An exception thrown while producing item i is rethrown on the calling thread
//   when item i's turn comes, after items 0 … i−1 have been consumed: the first
//   failure in item order wins, as it would on one thread. Workers take no item
//   beyond a failed one.
// - An exception thrown by `consume` stops the workers.
// - Every worker is joined before the call returns or throws; none outlives it.
// - With one worker there are no threads at all: produce and consume alternate
//   on the calling thread, which is the single-thread run to compare against.

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace resmill {

/// Worker count meaning "one per core".
inline constexpr unsigned kAllCores = 0;

/// The number of workers `requested` stands for: kAllCores gives
/// std::thread::hardware_concurrency(), and never fewer than one.
inline unsigned ResolveWorkers(unsigned requested) {
  if (requested == kAllCores) requested = std::thread::hardware_concurrency();
  return std::max(1u, requested);
}

/// Items in flight per worker. Producing one picture takes tens of
/// microseconds, about what waking a sleeping thread costs: a deep window lets
/// a worker run ahead while the caller writes, instead of waiting for it.
inline constexpr std::size_t kItemsPerWorker = 16;
/// Whatever the number of cores, at most this many items (or one per worker,
/// if there are more workers) are held at once, so that memory stays bounded
/// on a machine with many cores.
inline constexpr std::size_t kMaxItemsInFlight = 64;

/// Calls produce(i) for i in [0, count) on up to `workers` threads, the calling
/// thread among them (kAllCores for one per core), and consume(i, result) on the
/// calling thread in ascending i.
/// `produce` must be safe to call from several threads at once.
template <typename Produce, typename Consume>
void OrderedParallelMap(std::size_t count, unsigned workers, Produce&& produce, Consume&& consume) {
  using Result = std::invoke_result_t<Produce&, std::size_t>;
  static_assert(!std::is_void_v<Result>, "produce returns what consume takes");
  const std::size_t threads = std::min<std::size_t>(ResolveWorkers(workers), count);
  if (threads <= 1) {
    for (std::size_t i = 0; i < count; ++i) consume(i, produce(i));
    return;
  }

  struct Slot {
    std::optional<Result> result;
    std::exception_ptr error;
    bool ready = false;
  };
  const std::size_t window = std::max(threads, std::min(threads * kItemsPerWorker, kMaxItemsInFlight));
  std::vector<Slot> cells(window);  // item i lives in slot i % window
  std::mutex mutex;
  std::condition_variable produced;  // a slot became ready
  std::condition_variable consumed;  // the window moved on, or the work stops
  std::size_t next = 0;              // the next item a worker takes
  std::size_t done = 0;              // items consumed so far
  std::size_t failedAt = count;      // the first item whose produce threw
  bool stop = false;

  // Makes item i into its slot; called and returning with the lock held.
  auto make = [&](std::unique_lock<std::mutex>& lock, std::size_t i) {
    lock.unlock();
    std::optional<Result> result;
    std::exception_ptr error;
    try {
      result.emplace(produce(i));
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    Slot& slot = cells[i % window];
    slot.result = std::move(result);
    slot.error = std::move(error);
    slot.ready = true;
    if (slot.error) failedAt = std::min(failedAt, i);
    produced.notify_all();
  };
  // Items after a failed one are never consumed; there is no point in making them.
  auto claimable = [&] { return next < count && next <= failedAt && next < done + window; };

  auto work = [&] {
    std::unique_lock lock(mutex);
    for (;;) {
      consumed.wait(lock, [&] { return stop || next >= count || next > failedAt || next < done + window; });
      if (stop || !claimable()) return;
      make(lock, next++);
    }
  };

  std::vector<std::thread> pool;
  // Joins on every way out, also when starting a thread or consuming throws.
  struct Joiner {
    std::vector<std::thread>& pool;
    std::mutex& mutex;
    bool& stop;
    std::condition_variable& consumed;
    ~Joiner() {
      {
        std::lock_guard lock(mutex);
        stop = true;
      }
      consumed.notify_all();
      for (std::thread& thread : pool) thread.join();
    }
  } joiner{pool, mutex, stop, consumed};
  // The calling thread is one of the workers: it makes items itself whenever the
  // one it is to write next is not ready, instead of waiting idle.
  pool.reserve(threads - 1);
  for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work);

  for (std::size_t i = 0; i < count; ++i) {
    std::optional<Result> result;
    {
      std::unique_lock lock(mutex);
      Slot& slot = cells[i % window];
      while (!slot.ready) {
        if (claimable()) {
          make(lock, next++);
        } else {
          produced.wait(lock);
        }
      }
      if (slot.error) std::rethrow_exception(slot.error);
      result = std::move(slot.result);
      slot = Slot{};
      ++done;
    }
    consumed.notify_all();
    consume(i, std::move(*result));
  }
}

/// A batch size for OrderedParallelMapInBatches that suits items of a few
/// microseconds each, such as reading one small file.
inline constexpr std::size_t kSmallItemsPerBatch = 32;

/// OrderedParallelMap for items so small that handing them to a worker one at a
/// time would cost more than it saves: the workers take them `perBatch` at a
/// time. Everything else holds as for OrderedParallelMap, item by item: consume
/// sees every item in order, and a produce(i) that throws stops the work at i,
/// after items 0 … i−1 have been consumed.
template <typename Produce, typename Consume>
void OrderedParallelMapInBatches(std::size_t count, std::size_t perBatch, unsigned workers, Produce&& produce,
                                 Consume&& consume) {
  using Result = std::invoke_result_t<Produce&, std::size_t>;
  struct Batch {
    std::vector<Result> results;  // the items before the first that failed
    std::exception_ptr failure;
  };
  perBatch = std::max<std::size_t>(perBatch, 1);
  OrderedParallelMap(
      (count + perBatch - 1) / perBatch, workers,
      [&](std::size_t batch) {
        Batch made;
        const std::size_t first = batch * perBatch;
        const std::size_t end = std::min(count, first + perBatch);
        made.results.reserve(end - first);
        try {
          for (std::size_t i = first; i < end; ++i) made.results.push_back(produce(i));
        } catch (...) {
          made.failure = std::current_exception();
        }
        return made;
      },
      [&](std::size_t batch, Batch made) {
        std::size_t i = batch * perBatch;
        for (Result& result : made.results) consume(i++, std::move(result));
        if (made.failure) std::rethrow_exception(made.failure);
      });
}

}  // namespace resmill
