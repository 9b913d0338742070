# What every check run inside Blender shares: the numpy fix its glTF importer
# needs on Debian 12, one counter of mismatches, and a file read by the
# importer of its kind. A check starts with
#   sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
#   from blender_session import fail, import_file
import os

import bpy
import numpy

# Debian 12's Blender glTF importer still uses numpy.bool, which its numpy
# (1.24) no longer has; the alias meant the builtin.
if not hasattr(numpy, "bool") or "bool" in getattr(numpy, "__former_attrs__", {}):
    numpy.bool = bool


def fail(message):
    print("MISMATCH: " + message)
    fail.count += 1


fail.count = 0


def import_file(path):
    """Reads `path` into the current scene with Blender's importer for its extension."""
    ext = os.path.splitext(path)[1].lower()
    if ext == ".obj":
        bpy.ops.wm.obj_import(filepath=path)
    elif ext in (".glb", ".gltf"):
        bpy.ops.import_scene.gltf(filepath=path)
    elif ext == ".ply":
        bpy.ops.import_mesh.ply(filepath=path)
    elif ext == ".stl":
        bpy.ops.import_mesh.stl(filepath=path)
    elif ext == ".dae":
        bpy.ops.wm.collada_import(filepath=path)
    else:
        raise RuntimeError("no importer for " + path)


def evaluated_meshes():
    """(object, its evaluated mesh with loop triangles made) for every mesh object in the scene."""
    depsgraph = bpy.context.evaluated_depsgraph_get()
    for obj in bpy.context.scene.objects:
        if obj.type != "MESH":
            continue
        mesh = obj.evaluated_get(depsgraph).to_mesh()
        mesh.calc_loop_triangles()
        yield obj, mesh
