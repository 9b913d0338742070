# Runs inside Blender (blender --background --factory-startup --python-exit-code 1 --python THIS -- ARGS).
#
#   REST_OBJ CACHE OUT_JSON
#
# Imports the rest mesh REST_OBJ with Blender's OBJ importer, plays the point
# cache CACHE (.pc2 or .mdd) on it with a Mesh Cache modifier, and writes the
# evaluated world-space vertex positions of every sample to OUT_JSON:
#   {"cache": ..., "format": "PC2"|"MDD", "samples": [[[x, y, z], ...], ...]}
# Each sample is asked for as Blender's users would: a .pc2 by its sample
# index, a .mdd by its time in seconds (so its time table is read too).
#
# The cache holds positions in the OBJ's frame (right-handed, Y up); Blender
# is right-handed with Z up, where such a point (x, y, z) is (x, -z, y). The
# cache's first sample must be the rest OBJ's vertices, and the positions
# Blender plays must be the cache's as read here from its layout; any
# difference is printed as MISMATCH and ends Blender with status 1.
import json
import os
import struct
import sys

import bpy

TOLERANCE = 1e-4  # relative to the largest coordinate


def read_cache(path):
    """(format, times or None, samples as lists of (x, y, z)) from the file's layout."""
    with open(path, "rb") as f:
        data = f.read()
    if path.lower().endswith(".pc2"):
        signature, version, points, start, rate, count = struct.unpack_from("<12siiffi", data, 0)
        if signature != b"POINTCACHE2\0" or version != 1:
            raise RuntimeError("%s: not a version 1 PC2 file" % path)
        at, order, times = 32, "<", None
    else:
        count, points = struct.unpack_from(">ii", data, 0)
        times = list(struct.unpack_from(">%df" % count, data, 8))
        at, order = 8 + 4 * count, ">"
    if len(data) != at + 12 * points * count:
        raise RuntimeError("%s: %d bytes, the header promises %d" % (path, len(data), at + 12 * points * count))
    values = struct.unpack_from("%s%df" % (order, 3 * points * count), data, at)
    samples = [[tuple(values[3 * (s * points + i): 3 * (s * points + i) + 3]) for i in range(points)]
               for s in range(count)]
    return ("PC2" if times is None else "MDD"), times, samples


def obj_vertices(path):
    with open(path) as f:
        return [tuple(float(v) for v in line.split()[1:4]) for line in f if line.startswith("v ")]


def main(rest_obj, cache, out_json):
    form, times, expected = read_cache(cache)
    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.ops.wm.obj_import(filepath=rest_obj)
    meshes = [o for o in bpy.data.objects if o.type == "MESH"]
    if len(meshes) != 1:
        print("MISMATCH: %s holds %d meshes, a rest mesh is one" % (rest_obj, len(meshes)))
        return False
    obj = meshes[0]
    if len(obj.data.vertices) != len(expected[0]):
        print("MISMATCH: %d vertices imported, the cache has %d points" % (len(obj.data.vertices), len(expected[0])))
        return False

    # The rest mesh is the first sample: the cache is in the OBJ's frame and
    # its points are the OBJ's vertices, in order.
    size = max(max(abs(c) for c in p) for sample in expected for p in sample) or 1.0
    for i, (v, p) in enumerate(zip(obj_vertices(rest_obj), expected[0])):
        if max(abs(v[k] - p[k]) for k in range(3)) > TOLERANCE * size:
            print("MISMATCH: vertex %d of the rest mesh is %s, the cache's first sample %s" % (i, v, p))
            return False

    modifier = obj.modifiers.new("cache", "MESH_CACHE")
    modifier.cache_format = form
    modifier.filepath = os.path.abspath(cache)
    modifier.interpolation = "NONE"
    modifier.play_mode = "CUSTOM"
    # The importer puts the Y-up to Z-up turn into the object's matrix and
    # keeps the vertices as the file has them, so the cache (in the same frame)
    # goes on unchanged. Should it ever turn the vertices instead, the
    # modifier has to turn the cache the same way.
    # (Relative to the size: the file's 727.03394 is 727.0339355 as a float.)
    first = obj_vertices(rest_obj)[0]
    if max(abs(a - b) for a, b in zip(obj.data.vertices[0].co, first)) > TOLERANCE * size:
        modifier.forward_axis, modifier.up_axis = "NEG_Z", "POS_Y"

    mismatches = 0
    dumped = []
    for s in range(len(expected)):
        if times is None:
            modifier.time_mode, modifier.eval_frame = "FRAME", float(s)
        else:
            modifier.time_mode, modifier.eval_time = "TIME", times[s]
        depsgraph = bpy.context.evaluated_depsgraph_get()
        depsgraph.update()
        evaluated = obj.evaluated_get(depsgraph)
        world = [tuple(evaluated.matrix_world @ v.co) for v in evaluated.data.vertices]
        dumped.append([list(p) for p in world])
        for i, (got, want) in enumerate(zip(world, expected[s])):
            blender = (want[0], -want[2], want[1])
            if max(abs(got[k] - blender[k]) for k in range(3)) > TOLERANCE * size:
                print("MISMATCH: sample %d point %d at %s, the cache says %s" % (s, i, got, blender))
                mismatches += 1
                break
    with open(out_json, "w") as f:
        json.dump({"cache": cache, "format": form, "samples": dumped}, f)
    print("point_cache_check %s: %d samples of %d points, %s" %
          (os.path.basename(cache), len(expected), len(expected[0]), "MISMATCH" if mismatches else "all agree"))
    return mismatches == 0


if __name__ == "__main__":
    args = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    if len(args) != 3:
        print("usage: blender -b --factory-startup --python-exit-code 1 --python point_cache_check.py -- "
              "REST_OBJ CACHE OUT_JSON")
        sys.exit(2)
    sys.exit(0 if main(*args) else 1)
