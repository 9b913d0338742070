# Runs inside Blender (blender --background --factory-startup --python THIS -- ARGS).
#
#   compare SOURCE RESULT   imports the glTF SOURCE (a file nobody here wrote)
#                           and RESULT (the tool's export of a scene that reads
#                           SOURCE and leaves it in place), each with Blender's
#                           own importer, and compares what Blender sees: the
#                           number of triangles over every object (every node
#                           instance of a mesh counts), the total area, and
#                           every triangle of RESULT at the place of one of
#                           SOURCE's, in world space.
#
# Exits with status 1 on any mismatch.
import os
import sys

import bpy
from mathutils import kdtree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from blender_session import evaluated_meshes, fail  # noqa: E402


def imported_triangles(path):
    """World-space triangles (three corner points each) of every mesh object Blender imports from `path`."""
    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.ops.import_scene.gltf(filepath=path)
    triangles = []
    for obj, mesh in evaluated_meshes():
        world = [obj.matrix_world @ v.co for v in mesh.vertices]
        for t in mesh.loop_triangles:
            triangles.append(tuple(world[i].copy() for i in t.vertices))
        obj.to_mesh_clear()
    return triangles


def area(t):
    return (t[1] - t[0]).cross(t[2] - t[0]).length / 2


def compare(source, result):
    want = imported_triangles(source)
    got = imported_triangles(result)
    print(f"gltf_assets_check {source}: {len(want)} triangles; {result}: {len(got)}")
    if len(got) != len(want):
        fail(f"{result}: {len(got)} triangles, {source} has {len(want)}")
    size = max((max(abs(c) for p in t for c in p) for t in want), default=1.0)
    tolerance = 1e-5 * size
    want_area, got_area = sum(map(area, want)), sum(map(area, got))
    if abs(got_area - want_area) > 1e-4 * want_area:
        fail(f"{result}: total area {got_area:.6g}, {source} {want_area:.6g}")
    tree = kdtree.KDTree(len(want))
    for i, t in enumerate(want):
        tree.insert((t[0] + t[1] + t[2]) / 3, i)
    tree.balance()
    worst = 0.0
    for t in got:
        _, i, distance = tree.find((t[0] + t[1] + t[2]) / 3)
        worst = max(worst, distance)
    print(f"gltf_assets_check farthest triangle centre {worst:.3g} (tolerance {tolerance:.3g})")
    if worst > tolerance:
        fail(f"{result}: a triangle lies {worst:.3g} from every triangle of {source}")


def main():
    args = sys.argv[sys.argv.index("--") + 1:]
    if args[0] == "compare":
        compare(args[1], args[2])
    else:
        fail("unknown mode " + args[0])
    sys.exit(1 if fail.count else 0)


main()
