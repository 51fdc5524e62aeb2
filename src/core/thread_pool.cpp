#include "core/thread_pool.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace nivra {

namespace {

// Checks before a thread goes to sleep: the time loop hands out jobs a few
// hundred microseconds apart, and a thread that is awake picks the next one
// up at once; between steps, or while the caller works alone, the threads
// sleep instead of taking cores from other programs. After the first few
// checks a waiting thread gives its core to any other that is ready (on a
// machine with fewer cores than threads, the one it waits for).
constexpr int spins = 2000;
constexpr int pauses = 100;

inline void relax(int i) {
#if defined(__x86_64__) || defined(__i386__)
  if (i < pauses) {
    _mm_pause();
    return;
  }
#endif
  std::this_thread::yield();
}

// Waits until a changes from `old`, spinning for a while before sleeping;
// returns the new value.
template <class T>
T wait_for(const std::atomic<T>& a, T old) {
  for (int i = 0; i < spins; ++i) {
    const T v = a.load(std::memory_order_acquire);
    if (v != old) return v;
    relax(i);
  }
  for (;;) {
    a.wait(old, std::memory_order_acquire);
    const T v = a.load(std::memory_order_acquire);
    if (v != old) return v;
  }
}

}  // namespace

void thread_pool::resize(int threads) {
  if (threads < 1) threads = 1;
  if (threads > max_threads) threads = max_threads;
  if (threads == threads_ && static_cast<int>(workers_.size()) == threads - 1) return;
  stop_workers();
  threads_ = threads;
  stopping_ = false;
  workers_.reserve(static_cast<std::size_t>(threads - 1));
  // The workers wait for the job after the current one, whenever they start.
  const std::uint32_t current = generation_.load(std::memory_order_acquire);
  for (int w = 1; w < threads; ++w) workers_.emplace_back([this, current] { work(current); });
}

void thread_pool::dispatch(void (*fn)(void*, int), void* job, int parts) {
  const std::uint32_t generation = generation_.load(std::memory_order_relaxed) + 1;
  // The last job's claims close before its part count changes: a thread
  // still in that job's loop that reads this job's count then fails to
  // claim under the last job's word (it would have taken a part of this job,
  // which another thread takes again, and counted it twice).
  claim_.store((static_cast<std::uint64_t>(generation) << 32) | closed_claims, std::memory_order_release);
  fn_ = fn;
  job_ = job;
  parts_.store(parts, std::memory_order_release);
  done_.store(0, std::memory_order_relaxed);
  claim_.store(static_cast<std::uint64_t>(generation) << 32, std::memory_order_release);
  generation_.store(generation, std::memory_order_release);
  generation_.notify_all();
  take_parts(generation);
  // Spin, then sleep until the last part's notice.
  int finished = done_.load(std::memory_order_acquire);
  for (int i = 0; finished != parts && i < spins; ++i) {
    relax(i);
    finished = done_.load(std::memory_order_acquire);
  }
  while (finished != parts) {
    done_.wait(finished, std::memory_order_acquire);
    finished = done_.load(std::memory_order_acquire);
  }
}

void thread_pool::take_parts(std::uint32_t generation) {
  std::uint64_t c = claim_.load(std::memory_order_acquire);
  for (;;) {
    if (static_cast<std::uint32_t>(c >> 32) != generation) return;
    const int part = static_cast<int>(c & 0xffffffffu);
    // Read after the claim word, acquiring: a count of a later job comes
    // with that job's claim word, which the exchange below then meets.
    const int parts = parts_.load(std::memory_order_acquire);
    if (part >= parts) return;
    if (!claim_.compare_exchange_weak(c, c + 1, std::memory_order_acq_rel, std::memory_order_acquire)) continue;
    fn_(job_, part);
    if (done_.fetch_add(1, std::memory_order_acq_rel) + 1 == parts) done_.notify_one();
    c = claim_.load(std::memory_order_acquire);
  }
}

void thread_pool::work(std::uint32_t seen) {
  for (;;) {
    seen = wait_for(generation_, seen);
    if (stopping_) return;
    take_parts(seen);
  }
}

void thread_pool::stop_workers() {
  if (!workers_.empty()) {
    stopping_ = true;
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
  }
  threads_ = 1;
}

}  // namespace nivra
