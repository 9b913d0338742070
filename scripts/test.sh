#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DKURVO_BUILD_TESTS=ON
build="${BUILD_DIR:-$root/build}"
# KURVO_CTEST_ARGS adds ctest options (CI's sanitizer pass leaves out the
# real-cluster test, which the first pass has run).
# shellcheck disable=SC2086
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" ${KURVO_CTEST_ARGS:-}
