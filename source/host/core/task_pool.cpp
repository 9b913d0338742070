#include "task_pool.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

namespace kurvo::host {

namespace {

// True on a thread while it runs a task: a nested job stays on that thread.
thread_local bool t_inTask = false;

int32_t defaultConcurrency() {
  if (const char* text = std::getenv("KURVO_THREADS")) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && n >= 1) return static_cast<int32_t>(std::min<long>(n, 1024));
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int32_t>(std::min(n, 1024u)) : 1;
}

void runInline(int32_t count, KhTaskBody body, void* context) noexcept {
  const bool outer = t_inTask;
  t_inTask = true;
  for (int32_t i = 0; i < count; ++i) body(context, i);
  t_inTask = outer;
}

}  // namespace

struct TaskPool::Job {
  KhTaskBody body;
  void* context;
  int32_t count;
  std::atomic<int32_t> next{0};
  int32_t active = 0;  // workers inside work(), under lock_
};

TaskPool& TaskPool::shared() {
  static TaskPool pool(defaultConcurrency());
  return pool;
}

TaskPool::TaskPool(int32_t concurrency) : concurrency_(std::max(1, concurrency)) {}

TaskPool::~TaskPool() { stopWorkers(); }

int32_t TaskPool::concurrency() const noexcept {
  std::lock_guard guard(lock_);
  return concurrency_;
}

void TaskPool::setConcurrency(int32_t concurrency) {
  // Waits for a running job, so its workers are not taken away under it.
  std::lock_guard job(jobLock_);
  stopWorkers();
  std::lock_guard guard(lock_);
  concurrency_ = std::max(1, concurrency);
}

void TaskPool::work(Job& job) noexcept {
  const bool outer = t_inTask;
  t_inTask = true;
  for (int32_t i = job.next.fetch_add(1, std::memory_order_relaxed); i < job.count;
       i = job.next.fetch_add(1, std::memory_order_relaxed))
    job.body(job.context, i);
  t_inTask = outer;
}

void TaskPool::run(int32_t count, KhTaskBody body, void* context) noexcept {
  if (count <= 0 || !body) return;
  if (count == 1 || t_inTask) return runInline(count, body, context);
  std::unique_lock job(jobLock_, std::try_to_lock);
  if (!job.owns_lock()) return runInline(count, body, context);

  Job current{body, context, count};
  {
    std::lock_guard guard(lock_);
    if (concurrency_ <= 1) {
      // No workers to share with.
    } else {
      try {
        if (workers_.empty()) startWorkers(concurrency_ - 1, generation_);
      } catch (...) {
        // Without threads the caller does it all.
      }
      job_ = &current;
      ++generation_;
    }
  }
  wake_.notify_all();
  work(current);
  std::unique_lock guard(lock_);
  // Every task is taken; wait for the workers still inside one.
  done_.wait(guard, [&] { return current.active == 0; });
  job_ = nullptr;
}

// `seen` is the generation before the job that starts them, so they take it.
void TaskPool::startWorkers(int32_t count, uint64_t seen) {
  stopping_ = false;
  for (int32_t i = 0; i < count; ++i) workers_.emplace_back([this, seen] { workerLoop(seen); });
}

void TaskPool::stopWorkers() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& w : workers_) w.join();
  std::lock_guard guard(lock_);
  workers_.clear();
  stopping_ = false;
}

void TaskPool::workerLoop(uint64_t seen) {
  std::unique_lock guard(lock_);
  for (;;) {
    wake_.wait(guard, [&] { return stopping_ || generation_ != seen; });
    if (stopping_) return;
    seen = generation_;
    Job* job = job_;
    if (!job) continue;  // woke after the job was over
    ++job->active;
    guard.unlock();
    work(*job);
    guard.lock();
    if (--job->active == 0) done_.notify_all();
  }
}

}  // namespace kurvo::host
