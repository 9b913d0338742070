#include "ordered_blocks.h"

#include <algorithm>
#include <vector>

#include "core/task_pool.h"

namespace kurvo::media {
namespace {

struct Batch {
  const BlockMaker* make;
  size_t count, per_block, first_block;
  std::vector<std::string>* texts;
};

void make_block(void* context, int32_t index) {
  const Batch& batch = *static_cast<const Batch*>(context);
  const size_t first = (batch.first_block + size_t(index)) * batch.per_block;
  const size_t last = std::min(batch.count, first + batch.per_block);
  std::string& out = (*batch.texts)[size_t(index)];
  out.clear();
  (*batch.make)(first, last, out);
}

}  // namespace

void write_ordered_blocks(TextSink& sink, size_t count, const BlockMaker& make, const BlockOptions& options) {
  if (count == 0) return;
  const size_t per_block = std::max<size_t>(1, options.items_per_block);
  const size_t blocks = (count + per_block - 1) / per_block;
  host::TaskPool& pool = host::TaskPool::shared();
  // A few blocks per thread, so a thread that finishes early takes another.
  const size_t batch_size = std::min(blocks, size_t(std::max(1, pool.concurrency())) * 3);
  std::vector<std::string> texts(batch_size);  // kept between batches: their room is reused
  for (size_t done = 0; done < blocks;) {
    const size_t now = std::min(batch_size, blocks - done);
    Batch batch{&make, count, per_block, done, &texts};
    pool.run(static_cast<int32_t>(now), make_block, &batch);
    for (size_t i = 0; i < now; ++i) sink.append_block(texts[i]);
    const size_t items = std::min(count, (done + now) * per_block) - done * per_block;
    done += now;
    if (options.written) options.written(items);
  }
}

}  // namespace kurvo::media
