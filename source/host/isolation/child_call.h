// call_in_child: run a piece of work in a child process, within limits, and
// take back the bytes it returns.
//
// Parsers we do not own (the mesh import library) meet damaged and hostile
// files: some crash on them, some corrupt the heap, some allocate until the
// machine swaps. In a child process, such a fault ends the child only: the
// tool reports it as one line and goes on (an interactive viewer keeps its
// scene). The child may use at most `memory_bytes` more data memory than the
// tool had when it started and `cpu_seconds` of processor time, and is ended
// when it stops making progress.
//
// The child is a fork of the calling process: it sees everything the caller
// sees, runs `work` on the calling thread alone and ends without running
// exit handlers. `work` must therefore not wait on other threads or locks
// they may hold. Where processes cannot be forked (Windows), `work` runs in
// the caller's own process, without limits.
#ifndef KURVO_ISOLATION_CHILD_CALL_H
#define KURVO_ISOLATION_CHILD_CALL_H

#include <cstdint>
#include <functional>
#include <string>

#include "result.h"

namespace kurvo::isolation {

struct ChildLimits {
  uint64_t memory_bytes = uint64_t{4} << 30;
  unsigned cpu_seconds = 60;
  // Seconds without an answer and without using the processor after which
  // the child counts as stuck and is ended.
  unsigned stall_seconds = 30;
  // Who does the work, for messages ("the import library").
  std::string worker = "the child process";
};

// The bytes `work` returned, or a failure whose message is one clause
// ("the import library crashed on it (Segmentation fault)"). An exception
// thrown by `work` becomes a failure with its text; running out of the
// memory allowed, a failure saying so.
media::Result<std::string> call_in_child(const std::function<std::string()>& work, const ChildLimits& limits);

}  // namespace kurvo::isolation

#endif
