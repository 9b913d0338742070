// Text made in blocks on the task pool and written in file order.
//
// Formatting numbers is most of a large text file's cost, and each line of a
// mesh file depends on nothing but its own data (and, for a few keywords, the
// line before it), so lines are made a block at a time on several threads.
// The blocks are made a few per thread at a time, then written in order: the
// file is the same whatever the block size or the thread count, and only
// those few blocks are held at once.
#ifndef KURVO_MEDIA_ORDERED_BLOCKS_H
#define KURVO_MEDIA_ORDERED_BLOCKS_H

#include <cstddef>
#include <functional>
#include <string>

#include "text_sink.h"

namespace kurvo::media {

// Appends the text of items [first, last) to `out` (which arrives empty).
// Called on any thread, for disjoint ranges at once.
using BlockMaker = std::function<void(size_t first, size_t last, std::string& out)>;

struct BlockOptions {
  size_t items_per_block = 8192;
  // Called on the calling thread after each batch of blocks went out, with
  // the count of items in it (a progress bar's steps).
  std::function<void(size_t items)> written;
};

// Writes items [0, count) to `sink` through `make`, in order.
void write_ordered_blocks(TextSink& sink, size_t count, const BlockMaker& make, const BlockOptions& options = {});

}  // namespace kurvo::media

#endif
