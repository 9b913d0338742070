#!/usr/bin/env bash
# The Windows builds on a Debian machine, from a fresh clone:
#  - installs the mingw-w64 cross compilers and Wine when missing;
#  - builds Kurvo2.cdl64 (x64) with the Windows host and its tests in
#    build-win64, and Kurvo2.cdl (x86) in build-win32;
#  - checks both modules' export and import tables;
#  - runs the x64 test suite, kurvo.exe info included, under Wine.
# The x86 build is compiled and checked but not run: Debian offers no 32-bit
# Wine without adding the i386 architecture. See docs/platforms.md.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
win64="${WIN64_BUILD_DIR:-$root/build-win64}"
win32="${WIN32_BUILD_DIR:-$root/build-win32}"
build_type="${BUILD_TYPE:-Release}"
jobs="$(nproc)"

"$root/scripts/install-deps.sh" cmake ninja-build nlohmann-json3-dev libcli11-dev googletest \
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64

step() { echo "== $* =="; }
seconds() { date +%s; }
start=$(seconds)

step "Windows x86: Kurvo2.cdl ($win32)"
cmake -S "$root" -B "$win32" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
  --toolchain "$root/cmake/toolchains/mingw-i686.cmake" -DKURVO_BUILD_TESTS=OFF >/dev/null
ninja -C "$win32" -j "$jobs" Kurvo2
cmake -DOBJDUMP=i686-w64-mingw32-objdump -DMODULE="$win32/bin/plugins/Kurvo2/Kurvo2.cdl" \
  -P "$root/tests/frame/check_windows_module.cmake"

step "Windows x64: Kurvo2.cdl64, kurvo.exe and the tests ($win64)"
cmake -S "$root" -B "$win64" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" \
  --toolchain "$root/cmake/toolchains/mingw-x86_64.cmake" -DKURVO_BUILD_TESTS=ON >/dev/null
ninja -C "$win64" -j "$jobs"
built=$(seconds)

step "Wine prefix"
export WINEPREFIX="$win64/wineprefix" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1
fi
# One persistent server for all the tests, ended whatever happens. A server
# left by wineboot (or an interrupted run) on this prefix goes first.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true' EXIT
booted=$(seconds)

step "kurvo.exe info under Wine"
"$wine" "$win64/bin/kurvo.exe" info

step "Windows x64 tests under Wine"
ctest --test-dir "$win64" --output-on-failure -j "$jobs"
done_at=$(seconds)
echo "windows.sh: build $((built - start)) s, Wine prefix $((booted - built)) s, tests $((done_at - booted)) s"
