#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the built-in
# example: writes out/demo.json, out/demo.png, out/demo.glb (animated) and
# out/demo.gif.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
KURVO_BUILD_TESTS=OFF "$root/scripts/build.sh" -DKURVO_BUILD_TESTS=OFF
build="${BUILD_DIR:-$root/build}"
"$build/bin/kurvo" demo --out "$root/out"
