#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-14 (into build-fuzz, with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each for a fixed
# time on its seed corpus in fuzz/corpus/<target>/. Any crash, hang or
# sanitizer report fails the run; the input that caused it is kept in
# build-fuzz/crashes/<target>/ (copy it to tests/tool/fuzz_regressions/<target>/
# once the fault is mended).
#
#   fuzz/run.sh [SECONDS_PER_TARGET]     (default 60)
#
# FUZZ_SEED=N fixes libFuzzer's seed, so that a run explores the same inputs
# each time (CI does this: a red CI run must be reproducible, and new finds
# belong to exploratory runs with a random seed). At the end the failing
# targets are listed with the tail of their report and the input in base64.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"

# Optional step: the clang runtime with libFuzzer, when it is missing (kept
# out of scripts/install-deps.sh, which the normal build uses).
if ! compgen -G "/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq clang-14 libclang-rt-14-dev ||
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq clang-14 libfuzzer-14-dev
fi

# The module links with --no-undefined, so it needs the sanitizer runtime as a
# shared library; the fuzzers then use the same one (one runtime per process).
runtime_dir="$(dirname "$(clang++-14 -print-file-name=libclang_rt.asan-x86_64.so)")"
link_flags="-shared-libasan -Wl,-rpath,$runtime_dir"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DCMAKE_EXE_LINKER_FLAGS="$link_flags" -DCMAKE_MODULE_LINKER_FLAGS="$link_flags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$link_flags" \
  -DKURVO_SANITIZE=address,undefined -DKURVO_BUILD_FUZZ=ON -DKURVO_BUILD_TESTS=OFF >/dev/null
targets="scene description strings tiff obj ply_header mesh_import glb_header gltf_uri gltf glb ply stl dae"
ninja -C "$build" Kurvo2 $(printf "fuzz_%s " $targets)

# verify_asan_link_order=0: the shared runtime is loaded by the fuzzer itself.
# Full stacks on every allocation, so that the leak check can tell the mesh
# import library's own PLY leak (fuzz/lsan-suppressions.txt) from ours.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:verify_asan_link_order=0:fast_unwind_on_malloc=0}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/fuzz/lsan-suppressions.txt}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
failed=""
seed_flag=""
if [ -n "${FUZZ_SEED:-}" ]; then seed_flag="-seed=$FUZZ_SEED"; fi
logs="$build/logs"
mkdir -p "$logs"
for target in $targets; do
  work="$build/corpus/$target"
  mkdir -p "$root/fuzz/corpus/$target"
  crashes="$build/crashes/$target"
  mkdir -p "$work" "$crashes"
  echo "== fuzz_$target for ${seconds}s"
  # shellcheck disable=SC2086
  if ! "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$crashes/" $seed_flag \
      "$work" "$root/fuzz/corpus/$target" >"$logs/$target.log" 2>&1; then
    echo "fuzz_$target failed; the input is in $crashes/" >&2
    failed="$failed $target"
    status=1
  fi
  tail -n 25 "$logs/$target.log"
done
for target in $failed; do
  echo "== fuzz_$target FAILED; the end of its report:"
  grep -v -E "^#[0-9]+ +(NEW|REDUCE|pulse)" "$logs/$target.log" | tail -n 60
  for input in "$build/crashes/$target"/*; do
    [ -f "$input" ] || continue
    echo "-- $input (base64):"
    head -c 4096 "$input" | base64
  done
done
if [ -n "$failed" ]; then echo "fuzzing failed:$failed" >&2; else echo "fuzzing: every target passed"; fi
exit $status
