#!/usr/bin/env bash
# Interop check against Blender (Debian's `blender`, run headless):
#  1. every example scene and the demo exported in each exchange format the
#     tool offers for other tools (.obj .glb .gltf .ply .stl), opened with
#     Blender's importers and compared with the tool's own unconverted output:
#     object names, point counts, positions (after the axis conversion),
#     colours, and outward faces on the gradient cubes;
#  2. meshes made in Blender, written by Blender in the same formats, read by
#     the tool through a scene and compared with Blender's own points.
# Usage: tests/interop/run.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
kurvo="$build/bin/kurvo"
here="$root/tests/interop"
# Blender's glTF add-on needs numpy, which the package only recommends.
"$root/scripts/install-deps.sh" blender python3-numpy
[ -x "$kurvo" ] || { echo "no kurvo in $build/bin: build first"; exit 1; }
out="$(mktemp -d)"
if [ -n "${KEEP_INTEROP_FILES:-}" ]; then echo "files in $out"; else trap 'rm -rf "$out"' EXIT; fi
blender_run() {
  # Without --python-exit-code a failing script still ends Blender with 0.
  blender --background --factory-startup --python-exit-code 1 --python "$here/blender_check.py" -- "$@" \
    >"$out/blender.log" 2>&1 || {
    grep -E -A3 "MISMATCH|Error|Traceback|blender_check " "$out/blender.log" | head -60
    return 1
  }
  grep -E "MISMATCH|blender_check " "$out/blender.log"
}

echo "== exporting the examples and the demo"
"$kurvo" demo --quiet --out "$out/demo"
scenes=("$root"/examples/*.json "$out/demo/demo.json")
for scene in "${scenes[@]}"; do
  stem="$(basename "$scene" .json)"
  "$kurvo" eval --quiet "$scene" --raw-axes -o "$out/$stem.reference.obj"
  for ext in obj glb gltf ply stl; do
    "$kurvo" eval --quiet "$scene" -o "$out/$stem.$ext"
  done
done
echo "== Blender reads what the tool wrote"
blender_run check "$out"

echo "== the tool reads what Blender wrote"
blender_run make "$out"
status=0
for ext in obj glb ply stl; do
  printf '{"format": "kurvo-scene", "version": 1, "objects": [{"name": "Made", "type": "polygon", "mesh": "made.%s"}]}\n' \
    "$ext" >"$out/made-$ext.json"
  "$kurvo" eval --quiet "$out/made-$ext.json" --raw-axes -o "$out/back-$ext.obj"
  count=()
  [ "$ext" = stl ] && count=(--any-count)
  python3 "$here/compare_points.py" "$out/made.expected.obj" "$out/back-$ext.obj" "${count[@]}" || status=1
done
exit $status
