#include "ordered_blocks.h"

#include <algorithm>
#include <vector>

#include "core/task_pool.h"

namespace kurvo::media {
namespace {

// One round on the pool: the blocks of a batch made, and (as task 0) the
// batch before written meanwhile, so that the writing, which only one
// thread can do, runs beside the making instead of between.
struct Round {
  const BlockMaker* make;
  size_t count, per_block, first_block, blocks;
  std::vector<std::string>* texts;
  TextSink* sink;
  const std::vector<std::string>* written;  // the batch before, or null
  size_t written_blocks;
};

void run_task(void* context, int32_t index) {
  const Round& round = *static_cast<const Round*>(context);
  size_t task = size_t(index);
  if (round.written) {
    if (task == 0) {
      for (size_t i = 0; i < round.written_blocks; ++i) round.sink->append_block((*round.written)[i]);
      return;
    }
    --task;
  }
  const size_t first = (round.first_block + task) * round.per_block;
  const size_t last = std::min(round.count, first + round.per_block);
  std::string& out = (*round.texts)[task];
  out.clear();
  (*round.make)(first, last, out);
}

}  // namespace

void write_ordered_blocks(TextSink& sink, size_t count, const BlockMaker& make, const BlockOptions& options) {
  if (count == 0) return;
  const size_t per_block = std::max<size_t>(1, options.items_per_block);
  const size_t blocks = (count + per_block - 1) / per_block;
  host::TaskPool& pool = host::TaskPool::shared();
  // A few blocks per thread, so a thread that finishes early takes another.
  const size_t batch_size = std::min(blocks, size_t(std::max(1, pool.concurrency())) * 3);
  // Two batches' texts, one being made while the other is written; their
  // room is reused from batch to batch.
  std::vector<std::string> texts[2] = {std::vector<std::string>(batch_size), std::vector<std::string>(batch_size)};
  size_t done = 0, previous = 0, previous_items = 0;
  for (size_t batch = 0; done < blocks; ++batch) {
    const size_t now = std::min(batch_size, blocks - done);
    Round round{&make, count, per_block, done, now, &texts[batch % 2], &sink,
                batch > 0 ? &texts[(batch + 1) % 2] : nullptr, previous};
    pool.run(static_cast<int32_t>(now + (batch > 0 ? 1 : 0)), run_task, &round);
    if (batch > 0 && options.written) options.written(previous_items);
    previous = now;
    previous_items = std::min(count, (done + now) * per_block) - done * per_block;
    done += now;
    if (done == blocks) {
      for (size_t i = 0; i < now; ++i) sink.append_block(texts[batch % 2][i]);
      if (options.written) options.written(previous_items);
    }
  }
}

}  // namespace kurvo::media
