#include "tasks.h"

#include "host_table.h"

namespace {
const KhTaskFamily* Pool() { return t_HostOS ? t_HostOS->task : nullptr; }
}  // namespace

int32 TaskConcurrency() {
  const KhTaskFamily* pool = Pool();
  const int32 n = pool && pool->concurrency ? pool->concurrency() : 1;
  return n > 1 ? n : 1;
}

void RunTasks(int32 count, KhTaskBody body, void* context) {
  if (count <= 0 || !body) return;
  if (const KhTaskFamily* pool = Pool(); pool && pool->run) {
    pool->run(count, body, context);
    return;
  }
  for (int32 i = 0; i < count; ++i) body(context, i);
}
