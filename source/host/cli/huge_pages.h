// Huge pages for the tool's heap.
#pragma once

namespace kurvo::cli {

// A command passes a large mesh through several fresh arrays, each written
// once from start to end; on a kernel that gives huge pages only on request,
// faulting those arrays in 4 KiB at a time is about a third of a 10^6-point
// eval's time. This takes large blocks from the heap (not each from a
// mapping of its own, which is given back on free so that the next array
// faults in fresh pages again), shares one heap among all threads, keeps freed memory for reuse instead of
// giving it back, and asks for huge pages over the first part of the heap
// (reserved address space: only the pages written take memory). Nothing
// more than the first step happens when KURVO_HUGE_PAGES=0, under valgrind,
// where the kernel does not offer huge pages on request, on 32-bit builds or
// on other systems. Call first thing in main.
void useHugePages();

}  // namespace kurvo::cli
