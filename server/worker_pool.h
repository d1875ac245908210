#pragma once
// The database workers: a fixed set of threads that run jobs (statements) in the order posted.
//
// Short jobs run best on as many threads as there are CPUs: every further thread woken for a
// job costs a switch between threads and competes with the event loops. A job that blocks for
// long (a slow statement) must not hold up the others, though. So a posted job wakes a
// sleeping worker only while fewer workers than `running` are busy; when the busy ones take
// no job from the queue for `stuck`, one more worker joins in, and so on up to `threads`.
//
// post() may be called from any thread. join() waits until the queue is empty and ends the
// threads; the destructor joins. A job must not throw (what escapes it ends the program).

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace veltrano::server {

class WorkerPool {
 public:
  WorkerPool(std::size_t threads, std::size_t running,
             std::chrono::microseconds stuck = std::chrono::milliseconds(2));
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  void post(std::function<void()> job);
  void join();

  // For tests: the most workers that were busy at once.
  std::size_t mostBusy() const;

 private:
  // A worker waiting for a job. Each has its own signal, so post() wakes exactly the worker
  // that went to sleep last (its cache is the warmest) and knows whom it woke. A condition
  // variable rather than a semaphore: the library's semaphore spins on sched_yield before it
  // sleeps, taking the CPU from the event loops on a small machine.
  struct Sleeper {
    std::condition_variable wake;
    bool signalled = false;
  };

  void work();
  // Runs jobs while the queue has any, counted busy meanwhile.
  void drain(std::unique_lock<std::mutex>& lock);
  // Marks the worker that went to sleep last as signalled, if any (the mutex held); the
  // caller notifies it.
  Sleeper* signalOne();
  // Signals and notifies the worker that went to sleep last, if any (the mutex held).
  void wakeOne();

  const std::size_t running_;
  const std::chrono::microseconds stuck_;
  mutable std::mutex mutex_;
  std::deque<std::function<void()>> queue_;
  std::vector<Sleeper*> idle_;  // waiting, the last to sleep at the back
  std::size_t busy_ = 0;        // running jobs
  std::size_t waking_ = 0;      // signalled, not yet awake
  bool watching_ = false;     // a sleeping worker waits with a deadline for stuck workers
  std::size_t taken_ = 0;     // jobs taken so far: progress, as the watcher sees it
  std::size_t mostBusy_ = 0;
  bool ending_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace veltrano::server
