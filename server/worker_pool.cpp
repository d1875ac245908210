#include "server/worker_pool.h"

#include <algorithm>

namespace veltrano::server {

WorkerPool::WorkerPool(std::size_t threads, std::size_t running, std::chrono::microseconds stuck)
    : running_(std::clamp<std::size_t>(running, 1, std::max<std::size_t>(threads, 1))), stuck_(stuck) {
  threads = std::max<std::size_t>(threads, 1);
  idle_.reserve(threads);
  threads_.reserve(threads);
  for (std::size_t i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool() {
  join();
}

void WorkerPool::post(std::function<void()> job) {
  Sleeper* woken = nullptr;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(job));
    // A worker to run it while fewer than `running_` are busy, else one to watch the busy ones.
    if (busy_ + waking_ < running_ || !watching_) woken = signalOne();
  }
  // Notified after the lock is let go, so the worker does not wake only to wait for it. The
  // sleeper outlives this: its thread ends only after join(), which posting must precede.
  if (woken) woken->wake.notify_one();
}

void WorkerPool::join() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
    while (!idle_.empty()) wakeOne();
  }
  for (auto& t : threads_)
    if (t.joinable()) t.join();
}

std::size_t WorkerPool::mostBusy() const {
  std::lock_guard lock(mutex_);
  return mostBusy_;
}

WorkerPool::Sleeper* WorkerPool::signalOne() {
  if (idle_.empty()) return nullptr;
  Sleeper* s = idle_.back();
  idle_.pop_back();
  ++waking_;
  s->signalled = true;
  return s;
}

void WorkerPool::wakeOne() {
  if (Sleeper* s = signalOne()) s->wake.notify_one();
}

void WorkerPool::work() {
  Sleeper me;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!queue_.empty() && busy_ < running_) {
      drain(lock);
      continue;
    }
    if (queue_.empty() && ending_) {
      while (!idle_.empty()) wakeOne();  // those that went to sleep after join() began
      return;
    }
    // With jobs waiting and every worker allowed to run busy, one sleeping worker watches: if
    // none of the busy ones takes a job for a while, they are stuck on slow ones, and it joins in.
    const bool watch = !queue_.empty() && !watching_;
    const std::size_t seen = taken_;
    if (watch) watching_ = true;
    me.signalled = false;
    idle_.push_back(&me);
    const auto signalled = [&me] { return me.signalled; };
    if (watch) me.wake.wait_for(lock, stuck_, signalled);
    else me.wake.wait(lock, signalled);
    if (me.signalled) {
      --waking_;
    } else {
      idle_.erase(std::find(idle_.begin(), idle_.end(), &me));  // the watch ended unsignalled
    }
    if (!watch) continue;
    watching_ = false;
    if (!queue_.empty() && taken_ == seen) {
      if (queue_.size() > 1) wakeOne();  // another worker takes over the watch
      drain(lock);
    }
  }
}

void WorkerPool::drain(std::unique_lock<std::mutex>& lock) {
  ++busy_;
  mostBusy_ = std::max(mostBusy_, busy_);
  while (!queue_.empty()) {
    std::function<void()> job = std::move(queue_.front());
    queue_.pop_front();
    ++taken_;
    lock.unlock();
    job();
    job = nullptr;  // what the job holds goes before the lock is taken again
    lock.lock();
  }
  --busy_;
}

}  // namespace veltrano::server
