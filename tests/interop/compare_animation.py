#!/usr/bin/env python3
# compare_animation.py SCENE.json A:B:STEP 'REF/ref_####.obj' LABEL gltf DUMP.json
# compare_animation.py SCENE.json A:B:STEP 'REF/ref_####.obj' LABEL cache DUMP.json OBJECT
#
# Compares what Blender played, frame by frame, with the tool's own positions.
# The reference is the numbered sequence `kurvo eval SCENE --frames A:B:STEP
# --raw-axes -o REF/ref_####.obj` writes: every polygon object ("o NAME") in
# world positions in the host's own frame (left-handed, Y up), in point order.
#
# gltf: DUMP.json is animation_check.py's dump (host axes, its default). Our
#   frame F was keyed at (F - A) / fps seconds, fps the scene's "time.fps"
#   (24 when it has none); Blender's importer puts a key at seconds times its
#   scene's fps (left at 24), so our frame A is Blender's frame 0. The keys
#   Blender holds must be exactly those times. Per keyed frame, every mesh
#   must be the same set of places as the reference object of its name (glTF
#   repeats points where normals split and orders them its own way:
#   nearest-neighbour distance both ways). Dump entries with "between" (a
#   fraction t of the way from one key to the next) must equal the straight
#   blend (1-t)*ref(before) + t*ref(after) of the reference, point by point
#   blended, as the morph weights blend linearly; objects whose node placement
#   is keyed are left out there (their placement is interpolated as
#   translation/rotation/scale, not along straight lines).
# cache: DUMP.json is point_cache_check.py's dump of a .pc2 or .mdd played by
#   Blender's Mesh Cache modifier on the rest OBJ, in Blender's own world
#   coordinates (right-handed, Z up). The OBJ importer turns the file's Y up
#   into Z up with the object's rotation and the cache goes on unturned, so a
#   host point (x, y, z), written to the file as (x, y, -z), is Blender's
#   (x, z, y): Blender's (a, b, c) is the host's (a, c, b). Sample s is our
#   frame A + s*STEP; point i must be point i of OBJECT in the reference.
#
# Tolerance: TOLERANCE times the scene's size (the largest side of the box
# around every reference point of every frame). The files hold 32-bit floats
# and Blender computes in them (the morph targets add a displacement to the
# base), which costs a few units in the 7th digit; the tool's own frames
# differ from one STEP to the next by a sizeable part of the scene, so a
# wrong frame, axis or blend is far beyond it.
#
# Prints one line per object ("LABEL NAME: N frames, max distance D of size
# S: ok"), MISMATCH lines for what differs; exits 1 on any mismatch.
import json
import math
import os
import sys

TOLERANCE = 1e-5  # of the scene's size


def reference_objects(path):
    """{name: [(x, y, z), ...]} of an OBJ, vertices grouped by the "o" line before them."""
    objects, current = {}, None
    with open(path) as f:
        for line in f:
            if line.startswith("o "):
                current = objects.setdefault(line[2:].strip(), [])
            elif line.startswith("v "):
                if current is None:
                    current = objects.setdefault("", [])
                current.append(tuple(float(v) for v in line.split()[1:4]))
    return objects


def sequence_name(pattern, frame):
    run = pattern.count("#")
    number = ("-%0*d" % (run, -frame)) if frame < 0 else ("%0*d" % (run, frame))
    return pattern.replace("#" * run, number, 1)


def distance(p, q):
    return math.sqrt((p[0] - q[0]) ** 2 + (p[1] - q[1]) ** 2 + (p[2] - q[2]) ** 2)


class Grid:
    """Points hashed into cubes of side `cell`: the nearest point within `cell` is always found."""

    def __init__(self, points, cell):
        self.cell, self.cubes = cell, {}
        for p in points:
            self.cubes.setdefault(self.key(p), []).append(p)

    def key(self, p):
        return (math.floor(p[0] / self.cell), math.floor(p[1] / self.cell), math.floor(p[2] / self.cell))

    def nearest(self, p):
        """Distance to the nearest point if it is within `cell`, else None."""
        kx, ky, kz = self.key(p)
        best = None
        for i in (-1, 0, 1):
            for j in (-1, 0, 1):
                for k in (-1, 0, 1):
                    for q in self.cubes.get((kx + i, ky + j, kz + k), ()):
                        d = distance(p, q)
                        if best is None or d < best:
                            best = d
        return best if best is not None and best <= self.cell else None


def set_distance(got, expected, limit):
    """(largest nearest-neighbour distance both ways, or None when beyond `limit`; a sample of what is off)."""
    worst = 0.0
    for a, b, what in ((got, expected, "Blender point"), (expected, got, "tool point")):
        grid = Grid(b, limit)
        for p in a:
            d = grid.nearest(p)
            if d is None:
                far = min(distance(p, q) for q in b) if b else float("inf")
                return None, "%s %s: nearest counterpart %.3g away" % (what, fmt(p), far)
            worst = max(worst, d)
    return worst, ""


def pair_distance(got, expected):
    worst, at = 0.0, 0
    for i, (p, q) in enumerate(zip(got, expected)):
        d = distance(p, q)
        if d > worst:
            worst, at = d, i
    return worst, at


def fmt(p):
    return "(%s)" % ", ".join("%.6g" % c for c in p)


def main(argv):
    if len(argv) < 6 or argv[4] not in ("gltf", "cache") or (argv[4] == "cache") != (len(argv) == 7):
        print("usage: compare_animation.py SCENE.json A:B:STEP REF_PATTERN LABEL gltf DUMP.json\n"
              "       compare_animation.py SCENE.json A:B:STEP REF_PATTERN LABEL cache DUMP.json OBJECT")
        return 2
    scene_path, frames_arg, pattern, label, kind, dump_path = argv[:6]
    with open(scene_path) as f:
        fps = float(json.load(f).get("time", {}).get("fps", 24))
    parts = [int(v) for v in frames_arg.split(":")]
    first, last, step = parts[0], parts[1], (parts[2] if len(parts) > 2 else 1)
    ours = list(range(first, last + 1, step))
    reference = {frame: reference_objects(sequence_name(pattern, frame)) for frame in ours}
    everything = [p for objects in reference.values() for points in objects.values() for p in points]
    size = max(max(p[k] for p in everything) - min(p[k] for p in everything) for k in range(3)) or 1.0
    limit = TOLERANCE * size
    with open(dump_path) as f:
        dump = json.load(f)
    failures = []

    def report(name, count, worst, problem):
        if problem:
            failures.append(problem)
            print("MISMATCH: %s %s: %s" % (label, name, problem))
        else:
            print("%s %s: %s, max distance %.2g of size %.4g: ok" % (label, name, count, worst, size))

    if kind == "cache":
        name = argv[6]
        samples = dump["samples"]
        worst, problem = 0.0, ""
        if len(samples) != len(ours):
            problem = "%d samples in Blender, %d frames asked for" % (len(samples), len(ours))
        for s, sample in enumerate(samples if not problem else []):
            expected = reference[ours[s]].get(name)
            got = [(a, c, b) for a, b, c in sample]  # Blender's (a, b, c) is the host's (a, c, b)
            if expected is None or len(expected) != len(got):
                problem = "sample %d has %d points, the tool's frame %d %s" % (
                    s, len(got), ours[s], "has %d" % len(expected) if expected else "has no such object")
                break
            d, at = pair_distance(got, expected)
            if d > limit:
                problem = "sample %d (frame %d) point %d: Blender %s, the tool %s: %.3g apart (tolerance %.2g)" % (
                    s, ours[s], at, fmt(got[at]), fmt(expected[at]), d, limit)
                break
            worst = max(worst, d)
        report(name, "%d frames" % len(samples), worst, problem)
        return 1 if failures else 0

    # glTF: the keys Blender holds must be our frames' times, first at frame 0.
    keyed = [f for f in dump["frames"] if "between" not in f]
    between = [f for f in dump["frames"] if "between" in f]
    times = [(frame - first) / fps for frame in ours]
    if len(keyed) != len(times) or any(abs(f["seconds"] - t) > 1e-4 for f, t in zip(keyed, times)):
        problem = "keys at %s s (Blender frames %s at %g fps), the tool's frames are at %s s" % (
            [round(f["seconds"], 4) for f in keyed], [f["frame"] for f in keyed], dump["fps"],
            [round(t, 4) for t in times])
        report("keys", 0, 0, problem)
        return 1
    if keyed[0]["frame"] != 0:
        report("keys", 0, 0, "our frame %d is Blender's frame %g, not 0" % (first, keyed[0]["frame"]))
        return 1
    names = sorted(set(reference[first]) | set(keyed[0]["meshes"]))
    frame_of = {f["frame"]: ours[i] for i, f in enumerate(keyed)}
    for name in names:
        worst, problem, checked = 0.0, "", 0
        for i, entry in enumerate(keyed):
            got, expected = entry["meshes"].get(name), reference[ours[i]].get(name)
            if got is None or expected is None:
                problem = "%s only (frame %d)" % ("in the tool" if got is None else "in Blender", ours[i])
                break
            d, why = set_distance(got, expected, limit)
            if d is None:
                problem = "frame %d (Blender frame %g): %s (tolerance %.2g)" % (ours[i], entry["frame"], why, limit)
                break
            worst = max(worst, d)
        for entry in between if not problem and name not in dump.get("node_animated", []) else []:
            before, after, t = entry["between"]
            a, b = reference[frame_of[before]][name], reference[frame_of[after]][name]
            blend = [tuple((1 - t) * p[k] + t * q[k] for k in range(3)) for p, q in zip(a, b)]
            d, why = set_distance(entry["meshes"][name], blend, limit)
            if d is None:
                problem = "Blender frame %g, %g of the way from frame %d to %d: %s (tolerance %.2g)" % (
                    entry["frame"], t, frame_of[before], frame_of[after], why, limit)
                break
            worst = max(worst, d)
            checked += 1
        report(name, "%d frames and %d in between" % (len(keyed), checked), worst, problem)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
