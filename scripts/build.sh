#!/usr/bin/env bash
# Configures and builds into ${BUILD_DIR:-build}. Extra CMake arguments may be
# passed on the command line; KURVO_SANITIZE=address,undefined builds with
# sanitizers; KURVO_WERROR=ON treats warnings as errors.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
type="${BUILD_TYPE:-Release}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" \
  -DKURVO_SANITIZE="${KURVO_SANITIZE:-}" -DKURVO_WERROR="${KURVO_WERROR:-OFF}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
