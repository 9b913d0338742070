// Counts the heap allocations of this program (operator new, and malloc and
// calloc called from the code linked in), so a benchmark can show that a
// deformation run allocates the same few blocks whatever its point count.
#pragma once

#include <cstdint>

namespace kurvo::bench {

int64_t AllocationCount();

}  // namespace kurvo::bench
