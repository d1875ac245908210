#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "server/worker_pool.h"

using veltrano::server::WorkerPool;
using namespace std::chrono_literals;

// Jobs that block (slow statements) must not hold up the rest: with one worker allowed to run,
// three jobs that each wait for the other two still all run at once, as more workers join in.
TEST(WorkerPool, StuckWorkersAreJoinedUpToTheThreadCount) {
  WorkerPool pool(4, 1);
  std::mutex m;
  std::condition_variable cv;
  int arrived = 0;
  std::atomic<int> metAll{0};
  for (int i = 0; i < 3; ++i)
    pool.post([&] {
      std::unique_lock lock(m);
      ++arrived;
      cv.notify_all();
      if (cv.wait_for(lock, 5s, [&] { return arrived == 3; })) ++metAll;
    });
  pool.join();
  EXPECT_EQ(metAll, 3);
  EXPECT_GE(pool.mostBusy(), 3u);
  EXPECT_LE(pool.mostBusy(), 4u);
}

TEST(WorkerPool, EveryJobPostedFromSeveralThreadsRunsBeforeJoinReturns) {
  std::atomic<int> ran{0};
  {
    WorkerPool pool(3, 2);
    auto poster = [&] {
      for (int i = 0; i < 500; ++i) pool.post([&] { ++ran; });
    };
    std::thread a(poster), b(poster);
    a.join();
    b.join();
  }  // the destructor joins
  EXPECT_EQ(ran, 1000);
}
