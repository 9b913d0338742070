/* Family 40: the host's task pool. A module that has much independent work
 * (the points of one large object) hands it to the host as numbered tasks
 * instead of starting threads of its own; the host runs them on its workers
 * and on the calling thread. A host without a pool leaves position 40 null,
 * and the module then runs its tasks itself, one after the other.
 * All entries [thread-safe]. */
#ifndef KH_TASK_H
#define KH_TASK_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

/* One task: `index` counts from 0. A task body returns normally; it must not
 * throw, unwind or jump out. */
typedef void(KH_CALL* KhTaskBody)(void* context, int32_t index);

typedef struct KhTaskFamily {
  /* How many tasks may run at the same moment (the workers and the caller);
   * at least 1. Splitting work much finer than this only adds overhead. */
  int32_t(KH_CALL* concurrency)(void);
  /* Runs body(context, i) once for every i in [0, count) and returns when all
   * have returned. Tasks start in index order but may run in any order and at
   * the same time. A call made from inside a task runs its own tasks on that
   * thread, one after the other. Returns 1; count <= 0 or a null body runs
   * nothing and returns 1. */
  int32_t(KH_CALL* run)(int32_t count, KhTaskBody body, void* context);
} KhTaskFamily;

#ifdef __cplusplus
}
#endif
#endif
