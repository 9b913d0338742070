#!/usr/bin/env bash
# Builds the module and the concurrency tests under ThreadSanitizer and runs
# them (ctest label "tsan"): the render threads call the gradient shader at
# the same time, the host's task pool runs jobs from many threads, and one
# large object is deformed by several workers; any data race fails the run. Only the
# targets these tests need are built, in build-tsan (BUILD_DIR overrides).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build-tsan}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKURVO_SANITIZE=thread -DKURVO_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target Kurvo2 render_concurrency_tests task_pool_tests parallel_mapping_tests
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1${TSAN_OPTIONS:+ $TSAN_OPTIONS}"
ctest --test-dir "$build" -L tsan --output-on-failure
