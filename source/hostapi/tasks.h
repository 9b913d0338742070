// The host's task pool: work split into numbered tasks that the host runs on
// its workers and the calling thread. The module starts no threads itself.
// On a host without a pool the tasks run here, one after the other.
#pragma once

#include "api_types.h"
#include "kh_task.h"

// Tasks that may run at once; 1 without a pool.
int32 TaskConcurrency();

// Runs body(context, i) for every i in [0, count); returns when all are done.
void RunTasks(int32 count, KhTaskBody body, void* context);

namespace task_detail {
template <class Body>
void KH_CALL Call(void* body, int32_t index) {
  (*static_cast<Body*>(body))(static_cast<int32>(index));
}
}  // namespace task_detail

// Runs body(i) for every i in [0, count). The body must not throw: the tasks
// run inside the host.
template <class Body>
void RunTasks(int32 count, Body& body) {
  RunTasks(count, &task_detail::Call<Body>, &body);
}
