// The host's task pool: every task runs once, jobs from several threads and
// jobs inside tasks finish instead of waiting on each other, and a pool of
// one runs everything on the caller.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "core/families.h"
#include "core/task_pool.h"

namespace kurvo::host {
namespace {

struct Counts {
  std::vector<std::atomic<int>> runs;
  explicit Counts(int n) : runs(n) {}
  static void KH_CALL Body(void* self, int32_t i) { static_cast<Counts*>(self)->runs[i].fetch_add(1); }
  bool EachOnce() const {
    for (const auto& r : runs)
      if (r.load() != 1) return false;
    return true;
  }
};

TEST(TaskPoolTest, EveryTaskRunsExactlyOnce) {
  TaskPool pool(4);
  for (int n : {1, 2, 3, 7, 1000, 20000}) {
    Counts counts(n);
    pool.run(n, &Counts::Body, &counts);
    EXPECT_TRUE(counts.EachOnce()) << n << " tasks";
  }
  pool.run(0, &Counts::Body, nullptr);  // nothing to run
  pool.run(-5, &Counts::Body, nullptr);
  pool.run(10, nullptr, nullptr);
}

// Two tasks that can only finish together: a pool that really runs them at
// once gets through, one that ran them in turn would give up after a while.
struct Meeting {
  std::atomic<int> arrived{0};
  std::atomic<bool> met{false};
  static void KH_CALL Body(void* self, int32_t) {
    auto* m = static_cast<Meeting*>(self);
    m->arrived.fetch_add(1);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m->arrived.load() < 2 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    if (m->arrived.load() >= 2) m->met = true;
  }
};

TEST(TaskPoolTest, TasksRunOnSeveralThreadsAtOnce) {
  TaskPool pool(2);
  Meeting meeting;
  pool.run(2, &Meeting::Body, &meeting);
  EXPECT_TRUE(meeting.met.load());
}

struct Threads {
  std::mutex lock;
  std::set<std::thread::id> seen;
  static void KH_CALL Body(void* self, int32_t) {
    auto* t = static_cast<Threads*>(self);
    std::lock_guard guard(t->lock);
    t->seen.insert(std::this_thread::get_id());
  }
};

TEST(TaskPoolTest, APoolOfOneRunsOnTheCaller) {
  TaskPool pool(3);
  pool.setConcurrency(1);
  EXPECT_EQ(pool.concurrency(), 1);
  Threads threads;
  pool.run(500, &Threads::Body, &threads);
  EXPECT_EQ(threads.seen, std::set<std::thread::id>{std::this_thread::get_id()});
  pool.setConcurrency(0);
  EXPECT_EQ(pool.concurrency(), 1);
}

struct Nested {
  TaskPool* pool;
  std::atomic<int> inner{0};
  static void KH_CALL Inner(void* self, int32_t) { static_cast<Nested*>(self)->inner.fetch_add(1); }
  static void KH_CALL Outer(void* self, int32_t) {
    auto* n = static_cast<Nested*>(self);
    n->pool->run(10, &Nested::Inner, n);
  }
};

TEST(TaskPoolTest, JobsInsideTasksAndFromManyThreadsAllFinish) {
  TaskPool pool(3);
  Nested nested{&pool};
  pool.run(50, &Nested::Outer, &nested);
  EXPECT_EQ(nested.inner.load(), 500);

  // Callers on several threads at once: one job takes the workers, the others
  // run on their own threads; every one of them completes.
  std::vector<Counts> counts;
  for (int i = 0; i < 6; ++i) counts.emplace_back(150);
  std::vector<std::thread> callers;
  for (int i = 0; i < 6; ++i)
    callers.emplace_back([&, i] {
      for (int round = 0; round < 20; ++round) pool.run(150, &Counts::Body, &counts[i]);
    });
  for (auto& c : callers) c.join();
  for (auto& c : counts)
    for (const auto& r : c.runs) ASSERT_EQ(r.load(), 20);
}

TEST(TaskPoolTest, TheFamilyForwardsToTheSharedPool) {
  const KhTaskFamily* family = taskFamily();
  ASSERT_NE(family, nullptr);
  EXPECT_EQ(family->concurrency(), TaskPool::shared().concurrency());
  EXPECT_GE(family->concurrency(), 1);
  Counts counts(64);
  EXPECT_EQ(family->run(64, &Counts::Body, &counts), 1);
  EXPECT_TRUE(counts.EachOnce());
  EXPECT_EQ(family->run(0, nullptr, nullptr), 1);
}

}  // namespace
}  // namespace kurvo::host
