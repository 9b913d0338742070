#!/usr/bin/env bash
# Interop check against Blender (Debian's `blender`, run headless):
#  1. every example scene and the demo exported in each exchange format the
#     tool offers for other tools (.obj .glb .gltf .ply .stl), opened with
#     Blender's importers and compared with the tool's own unconverted output:
#     object names, point counts, positions (after the axis conversion),
#     colours, and outward faces on the gradient cubes;
#  2. meshes made in Blender, written by Blender in the same formats, read by
#     the tool through a scene and compared with Blender's own points;
#  3. glTF assets nobody here wrote (Debian's assimp-testmodels) read through
#     a scene and written again, compared by gltf_assets_check.py with
#     Blender's import of the original: triangles, places, every node instance;
#  4. a file's own materials (file_materials_check.py): spider.obj's four,
#     shared by its 19 groups, on the same triangles in the tool's glTF, DAE
#     and OBJ; BoxTextured.glb's embedded picture as a file beside an OBJ;
#  5. a textured asset made with Blender's Python, bent (normals renewed and
#     carried) into glTF, PLY and DAE, and compared attribute by attribute
#     with the source in Blender;
#  6. the animated outputs (--frames: .glb, .pc2, .mdd) played by Blender,
#     compared frame by frame with the tool's own positions.
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

blender_script() {
  local script="$1" log="$2"
  shift 2
  blender --background --factory-startup --python-exit-code 1 --python "$here/$script" -- "$@" >"$log" 2>&1 || {
    grep -E -A3 "MISMATCH|Error|Traceback" "$log" | head -30
    return 1
  }
}

echo "== glTF assets nobody here wrote come out whole"
# Debian's assimp-testmodels: the engine's meshes are used by many nodes
# each; read through a scene, left in place and written again, Blender must
# see the same triangles in the same places as in the original file.
models=/usr/share/assimp/models/glTF2
"$root/scripts/install-deps.sh" assimp-testmodels
for model in "$models/2CylinderEngine-glTF-Binary/2CylinderEngine.glb"; do
  stem="$(basename "$model" .glb)"
  cp "$model" "$out/$stem.source.glb"
  printf '{"format": "kurvo-scene", "version": 1, "objects": [{"name": "Asset", "type": "polygon", "mesh": "%s"}]}\n' \
    "$stem.source.glb" >"$out/$stem-asset.json"
  "$kurvo" eval --quiet "$out/$stem-asset.json" -o "$out/$stem.result.glb"
  blender_script gltf_assets_check.py "$out/$stem-assets.log" compare "$out/$stem.source.glb" \
    "$out/$stem.result.glb" || status=1
  grep "^gltf_assets_check" "$out/$stem-assets.log"
done

echo "== a file's own materials: one for each the file has, a .glb's pictures beside an OBJ"
# spider.obj's 19 groups share 4 materials: Blender must see the same 4 on
# the same triangles in the tool's glTF, DAE and OBJ. BoxTextured.glb holds
# its picture as bytes: written as OBJ, Blender must find it as a file beside
# the output, with the glb's own pixels.
materials="$out/materials"
mkdir -p "$materials"
printf '{"format": "kurvo-scene", "version": 1, "objects": [{"name": "Asset", "type": "polygon", "mesh": "%s"}]}\n' \
  /usr/share/assimp/models/OBJ/spider.obj >"$materials/spider.json"
printf '{"format": "kurvo-scene", "version": 1, "objects": [{"name": "Asset", "type": "polygon", "mesh": "%s"}]}\n' \
  "$models/BoxTextured-glTF-Binary/BoxTextured.glb" >"$materials/box.json"
for ext in glb dae obj; do
  "$kurvo" eval --quiet "$materials/spider.json" -o "$materials/spider.$ext"
  blender_script file_materials_check.py "$materials/spider-$ext.log" materials /usr/share/assimp/models/OBJ/spider.obj \
    "$materials/spider.$ext" || status=1
  grep "^file_materials_check" "$materials/spider-$ext.log"
done
"$kurvo" eval --quiet "$materials/box.json" -o "$materials/box.obj"
blender_script file_materials_check.py "$materials/box.log" pictures \
  "$models/BoxTextured-glTF-Binary/BoxTextured.glb" "$materials/box.obj" || status=1
grep "^file_materials_check" "$materials/box.log"

echo "== a textured asset made in Blender comes out whole (glTF, PLY, DAE)"
# textured_asset_check.py makes a tube with Blender's own Python (one UV map,
# two materials, one with a texture, a colour per point, smooth sides and
# flat n-gon caps) and writes it as glTF; the tool bends it along a path
# (still, as .glb) and Blender imports both and holds the result against the
# source triangle by triangle: UVs, material, colours, smooth normals. The
# tube stands along Y (Blender's Z), so it is laid along the path by its Y
# axis with Z as the up vector: a path running along the up vector would
# spin the frame round the tube, a real twist no normal check forgives.
textured="$out/textured"
mkdir -p "$textured"
if blender_script textured_asset_check.py "$textured/make.log" make "$textured"; then
  grep "^textured_asset_check" "$textured/make.log"
  cat >"$textured/bend.json" <<'JSON'
{"format": "kurvo-scene", "version": 1, "objects": [
  {"name": "Path", "type": "spline", "interpolation": "cubic",
   "points": [[0, -40, 0], [12, -10, 0], [4, 20, 6], [-8, 45, 0]]},
  {"name": "Asset", "type": "polygon", "mesh": "asset.glb", "children": [
    {"name": "Bend", "type": 1024244, "position": [0, -40, 0], "deform": true,
     "params": {"KURVO_SPLINE": "Path", "KURVO_BEND_AXIS": 2, "KURVO_UP_MODE": 1, "KURVO_UP_VECTOR": [0, 0, 1]}}]}]}
JSON
  for normals in renew carry; do
    "$kurvo" eval --quiet "$textured/bend.json" --normals "$normals" -o "$textured/bent-$normals.glb"
    blender_script textured_asset_check.py "$textured/compare-$normals.log" compare "$textured/asset.glb" \
      "$textured/bent-$normals.glb" || status=1
    grep "^textured_asset_check" "$textured/compare-$normals.log"
  done
  # The same asset (also made as .ply) bent round a circle into PLY and DAE:
  # Blender's importers read them back: per-corner UVs and point colours
  # against the source (PLY, DAE), materials and smooth normals (DAE), faces
  # whole (PLY from PLY).
  for entry in "glb ply" "glb dae" "ply ply"; do
    read -r from to <<<"$entry"
    printf '%s\n' '{"format": "kurvo-scene", "version": 1, "objects": [' \
      '{"name": "Path", "type": "spline", "primitive": {"kind": "circle", "radius": 60}},' \
      "{\"name\": \"Asset\", \"type\": \"polygon\", \"mesh\": \"asset.$from\", \"children\": [" \
      '{"name": "Bend", "type": "Kurvo2", "params": {"KURVO_SPLINE": "Path", "KURVO_UP_VECTOR": [0, 0, 1]}}]}]}' \
      >"$textured/bend-$from.json"
    "$kurvo" eval --quiet "$textured/bend-$from.json" -o "$textured/bent-$from.$to"
    blender_script textured_asset_check.py "$textured/$from-$to.log" compare "$textured/asset.$from" \
      "$textured/bent-$from.$to" || status=1
    grep "^textured_asset_check" "$textured/$from-$to.log"
  done
else
  echo "MISMATCH: Blender could not make the textured asset"; status=1
fi

echo "== Blender plays the tool's animations"
# For each animated scene the tool writes its own world positions per frame
# (--raw-axes, a numbered OBJ sequence: the reference), an animated .glb and
# point caches. Blender imports and plays them (animation_check.py steps the
# glb's keys and evaluates 0.5 and 0.3 of the way between every two of them,
# subframes included; point_cache_check.py plays each cache sample on the rest
# OBJ with a Mesh Cache modifier), and compare_animation.py holds every frame
# against the reference: per object, the same places within 1e-5 of the
# scene's size (32-bit floats cost about 1e-7; one STEP of motion is a
# sizeable part of the scene), glTF as point sets, caches point by point.
# The demo's ribbon (~264k points) does not move: it is left out here (its
# places are checked in the still exports above), the bar rides its wave.
python3 - "$out/demo/demo.json" "$out/demo-bar.json" <<'PY'
import json, sys
scene = json.load(open(sys.argv[1]))
scene["objects"] = [o for o in scene["objects"] if o["name"] not in ("Ribbon", "Helix")]
json.dump(scene, open(sys.argv[2], "w"))
PY
animated=("$root/examples/tube-sliding.json 0:72:8 tube-sliding pc2 mdd"
          "$out/demo-bar.json 0:48:6 demo pc2")
for entry in "${animated[@]}"; do
  read -r scene frames stem caches <<<"$entry"
  dir="$out/anim-$stem"
  "$kurvo" eval --quiet "$scene" --frames "$frames" --raw-axes -o "$dir/ref/ref_####.obj"
  "$kurvo" eval --quiet "$scene" --frames "$frames" -o "$dir/$stem.glb"
  if blender_script animation_check.py "$dir/glb.log" "$dir/$stem.glb" "$dir/glb.json" --between 0.5,0.3; then
    python3 "$here/compare_animation.py" "$scene" "$frames" "$dir/ref/ref_####.obj" "$stem.glb" gltf \
      "$dir/glb.json" || status=1
  else
    echo "MISMATCH: Blender could not play $stem.glb"; status=1
  fi
  for ext in $caches; do
    mkdir -p "$dir/$ext"
    "$kurvo" eval --quiet "$scene" --frames "$frames" -o "$dir/$ext/$stem.$ext"
    # One object: STEM.EXT and STEM.EXT.obj; several: STEM_NAME.EXT and STEM_NAME.obj.
    objects=$(grep '^o ' "$dir/ref/ref_$(printf '%04d' "${frames%%:*}").obj" | cut -c3-)
    for name in $objects; do
      cache="$dir/$ext/$stem.$ext" rest="$dir/$ext/$stem.obj"
      [ "$(wc -w <<<"$objects")" -gt 1 ] && cache="$dir/$ext/${stem}_$name.$ext" rest="$dir/$ext/${stem}_$name.obj"
      if blender_script point_cache_check.py "$dir/$ext.log" "$rest" "$cache" "$cache.json"; then
        python3 "$here/compare_animation.py" "$scene" "$frames" "$dir/ref/ref_####.obj" "$(basename "$cache")" \
          cache "$cache.json" "$name" || status=1
      else
        echo "MISMATCH: Blender's Mesh Cache disagrees with $(basename "$cache")"; status=1
      fi
    done
  done
done
exit $status
