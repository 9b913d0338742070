#!/usr/bin/env bash
# Figures for docs/performance.md, "Farms": an animated 10^5-point scene over
# 1,000 frames into a .pc2, as one process and as 2 shards running at once,
# with the merge; and what one shard costs beside its frames (a one-frame
# shard: start-up, scene load, part writing).
#
# Usage: bench/farm_figures.sh [BUILD_DIR]   (default build/)
# Prints wall seconds, CPU seconds (user + system) and peak memory per step.
set -euo pipefail
build=${1:-build}
kurvo=$(cd "$build" && pwd)/bin/kurvo
work=$(mktemp -d "${TMPDIR:-/tmp}/kurvo-farm-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
# 100 x 1000 segments: 100,002 points; the deformer's offset and roll animated.
cat > scene.json <<'SCENE'
{"format": "kurvo-scene", "version": 1, "time": {"fps": 25, "start": 0, "end": 999},
 "objects": [
  {"name": "Path", "type": "spline", "interpolation": "cubic",
   "points": [[0,0,0],[300,100,300],[0,300,600],[-300,100,900],[0,0,1200],[300,-100,1500],[0,-300,1800],[-300,-100,2100]]},
  {"name": "Tube", "type": "polygon", "position": [0, 0, 500],
   "primitive": {"kind": "cylinder", "radius": 20, "height": 1000, "rotation_segments": 100, "height_segments": 999},
   "children": [{"name": "Bend", "type": "Kurvo2", "position": [0, 0, -500],
     "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": 0, "KURVO_UP_VECTOR": [1, 0, 0]},
     "tracks": [{"param": "KURVO_OFFSET", "keys": [[0, 0], [999, 0.5]]},
                {"param": "KURVO_ROTATION", "keys": [[0, 0], [999, 360]]}]}]}]}
SCENE
measure() {  # label, command...
  local label=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" >/dev/null
  read -r wall user sys kb < time.txt
  printf '%-34s wall %6.2f s  cpu %6.2f s  peak %5d MB\n' "$label" "$wall" "$(echo "$user + $sys" | bc)" $((kb / 1024))
}
echo "load: $(uptime)"
measure "one process, 1000 frames" "$kurvo" eval -q -j 1 scene.json --frames all -o one.pc2
# Both shards at once, as two tasks on this machine's two cores.
start=$(date +%s.%N)
measure "shard 1/2 (500 frames)" "$kurvo" eval -q -j 1 scene.json --frames all --shard 1/2 -o two.pc2 > s1.txt &
measure "shard 2/2 (500 frames)" "$kurvo" eval -q -j 1 scene.json --frames all --shard 2/2 -o two.pc2 > s2.txt &
wait
cat s1.txt s2.txt
printf '%-34s wall %6.2f s\n' "both shards, side by side" "$(echo "$(date +%s.%N) - $start" | bc)"
measure "merge of the 2 parts" "$kurvo" merge -q two.pc2
cmp one.pc2 two.pc2 && echo "merged .pc2 equals the single run's ($(stat -c %s one.pc2) bytes)"
# One frame: what a shard costs besides its frames (start-up, load, one
# evaluation, the part), for a 1000-way split of the same range.
measure "shard 1/1000 (1 frame)" "$kurvo" eval -q -j 1 scene.json --frames all --shard 1/1000 -o thin.pc2
measure "still eval, 1 frame, no output" "$kurvo" eval -q -j 1 scene.json -o still.ply
