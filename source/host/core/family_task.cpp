// Family 40: the task pool (task_pool.h) as the module sees it.
#include "families.h"
#include "task_pool.h"

namespace kurvo::host {

namespace {

int32_t KH_CALL taskConcurrency() { return TaskPool::shared().concurrency(); }

int32_t KH_CALL taskRun(int32_t count, KhTaskBody body, void* context) {
  TaskPool::shared().run(count, body, context);
  return 1;
}

}  // namespace

const KhTaskFamily* taskFamily() noexcept {
  static const KhTaskFamily family{taskConcurrency, taskRun};
  return &family;
}

}  // namespace kurvo::host
