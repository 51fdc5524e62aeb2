// A small crew of threads owned by a run. It is made once at the run's
// set-up and lives as long as the run's record; the time loop hands it loops
// split into parts, as many as threads, and waits until every part is done.
// A part is taken by whichever thread of the crew is free first, the caller
// too: a worker that the machine has switched out (other programs on its
// cores) holds up no part it has not started, the others take it. The split
// of a loop never decides a result: each part works on its own cells,
// whatever thread runs it, and whatever is gathered from the parts (counts,
// flags, the first cell of a kind, the largest value and its cell) is
// combined in part order by rules that give the same answer for any split.
// A run therefore gives the same bits on one thread or on eight.
//
// A crew of one thread has no workers: run() calls the job on the caller.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace nivra {

// The threads a run may use: 1 to max_threads.
inline constexpr int max_threads = 4096;

// The part `part` of `parts` equal contiguous shares of the items
// first..last (inclusive): [begin, end], empty when begin > end.
struct item_range {
  int begin = 1;
  int end = 0;
};
inline item_range share_of(int first, int last, int part, int parts) {
  const long long count = static_cast<long long>(last) - first + 1;
  if (count <= 0 || parts <= 0) return {first, first - 1};
  const int b = first + static_cast<int>(count * part / parts);
  const int e = first + static_cast<int>(count * (part + 1) / parts) - 1;
  return {b, e};
}

class thread_pool {
 public:
  thread_pool() = default;
  explicit thread_pool(int threads) { resize(threads); }
  ~thread_pool() { stop_workers(); }
  thread_pool(const thread_pool&) = delete;
  thread_pool& operator=(const thread_pool&) = delete;

  // Makes the crew `threads` strong (1..max_threads; outside that range,
  // the nearest bound): the caller and threads - 1 workers. For set-up only,
  // never while a job runs.
  void resize(int threads);

  int size() const { return threads_; }

  // Calls job(part) once for every part 0..parts-1 (by default one part
  // per thread), each on whichever thread of the crew takes it first (the
  // caller among them), and returns when all have returned. More parts than
  // threads let the threads that run faster take more of them. The job must
  // not throw, and what a part does must not depend on the thread that runs
  // it.
  template <class Job>
  void run(Job&& job, int parts = 0) {
    if (parts <= 0) parts = threads_;
    if (threads_ == 1 || parts == 1) {
      for (int part = 0; part < parts; ++part) job(part);
      return;
    }
    dispatch(&call<std::remove_reference_t<Job>>, &job, parts);
  }

 private:
  template <class Job>
  static void call(void* job, int part) {
    (*static_cast<Job*>(job))(part);
  }
  void dispatch(void (*fn)(void*, int), void* job, int parts);
  // Runs the parts of job `generation` that are still to be taken, one at a
  // time, until none is left (or the job is no longer that one).
  void take_parts(std::uint32_t generation);
  void work(std::uint32_t seen);
  void stop_workers();

  int threads_ = 1;
  std::vector<std::thread> workers_;
  void (*fn_)(void*, int) = nullptr;
  void* job_ = nullptr;
  bool stopping_ = false;
  alignas(64) std::atomic<std::uint32_t> generation_{0};  // one more for every job handed out
  // The job's generation (high half) and its next part to be taken (low
  // half): a thread late for a job can take no part of the next one. While
  // a job is handed out the low half is closed_claims, past every count.
  static constexpr std::uint64_t closed_claims = 0x7fffffff;
  alignas(64) std::atomic<std::uint64_t> claim_{0};
  std::atomic<int> parts_{0};             // parts of the job
  alignas(64) std::atomic<int> done_{0};  // parts of the job that have returned
};

// Runs body(first, last, part) over the items 1..n in `parts` contiguous
// parts (share_of), on the crew when there are several, else on the caller.
template <class Body>
void for_parts(thread_pool& crew, int n, int parts, Body&& body) {
  if (parts <= 1) {
    body(1, n, 0);
    return;
  }
  crew.run(
      [&](int part) {
        const item_range r = share_of(1, n, part, parts);
        body(r.begin, r.end, part);
      },
      parts);
}

}  // namespace nivra
