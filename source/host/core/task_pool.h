// The host's pool of worker threads, offered to modules through the task
// family of the function table. One pool serves the whole process; its
// workers start at the first job that can use them and wait between jobs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "kh_task.h"

namespace kurvo::host {

class TaskPool {
 public:
  // The process's pool. Its size comes from KURVO_THREADS when set (a whole
  // number from 1), otherwise from the processor count.
  static TaskPool& shared();

  explicit TaskPool(int32_t concurrency);
  ~TaskPool();
  TaskPool(const TaskPool&) = delete;
  TaskPool& operator=(const TaskPool&) = delete;

  // Tasks that may run at once: the workers and the caller.
  int32_t concurrency() const noexcept;
  // From now on; the workers change between jobs. Values below 1 count as 1.
  void setConcurrency(int32_t concurrency);

  // Runs body(context, i) for every i in [0, count) and returns when all have
  // returned. Nested calls (from inside a task) and calls made while another
  // thread's job is running take no workers: they run their tasks on the
  // calling thread, so no call ever waits for a worker that waits for it.
  void run(int32_t count, KhTaskBody body, void* context) noexcept;
  // The same for a callable: body(i) for every i in [0, count).
  template <class Body>
  void forEach(size_t count, const Body& body) noexcept {
    struct Call {
      static void KH_CALL each(void* context, int32_t i) { (*static_cast<const Body*>(context))(size_t(i)); }
    };
    run(static_cast<int32_t>(count), &Call::each, const_cast<Body*>(&body));
  }

 private:
  struct Job;
  void workerLoop(uint64_t seen);
  void startWorkers(int32_t count, uint64_t seen);
  void stopWorkers();
  static void work(Job& job) noexcept;

  std::mutex jobLock_;  // held by the one caller whose job uses the workers
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable done_;
  Job* job_ = nullptr;
  uint64_t generation_ = 0;
  bool stopping_ = false;
  int32_t concurrency_ = 1;
  std::vector<std::thread> workers_;
};

}  // namespace kurvo::host
