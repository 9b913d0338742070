# Runs inside Blender (blender --background --factory-startup --python THIS -- ARGS).
#
#   materials SOURCE RESULT   imports SOURCE (a file nobody here wrote) and
#                             RESULT (the tool's export of a scene that reads
#                             SOURCE) with Blender's own importers and holds
#                             what each face wears against each other: the
#                             same materials by name, as many as the source's
#                             faces use (a material shared by many meshes of
#                             the file is one material, not one per mesh),
#                             and the same number of triangles in each.
#   pictures SOURCE RESULT    the materials' base colour pictures: every
#                             material of RESULT that SOURCE gives a picture
#                             has one, read from a file that exists, with
#                             the same size and pixels as SOURCE's.
#
# Exits with status 1 on any mismatch.
import os
import sys

import bpy
import numpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from blender_session import evaluated_meshes, fail, import_file  # noqa: E402


def load(path):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    import_file(path)


def triangles_by_material():
    """Triangles per material name over every mesh object in the scene."""
    counts = {}
    for obj, mesh in evaluated_meshes():
        for t in mesh.loop_triangles:
            slot = obj.material_slots[t.material_index] if t.material_index < len(obj.material_slots) else None
            name = slot.material.name if slot and slot.material else ""
            counts[name] = counts.get(name, 0) + 1
        obj.to_mesh_clear()
    return counts


def used_materials():
    return {m.name for m in bpy.data.materials if m.users > 0}


def materials(source, result):
    load(source)
    want = triangles_by_material()
    load(result)
    got = triangles_by_material()
    made = used_materials()
    print(f"file_materials_check {source}: {len(want)} materials {sorted(want)}; {result}: {len(made)} {sorted(made)}")
    if got != want:
        fail(f"{result}: triangles per material {got}, {source} has {want}")
    if len(made) != len(want):
        fail(f"{result}: Blender made {len(made)} materials, {source}'s faces use {len(want)}")


def pictures_of_scene():
    """Per material, (file path, size, pixels) of the picture its base colour reads."""
    out = {}
    for material in bpy.data.materials:
        if not material.use_nodes:
            continue
        for node in material.node_tree.nodes:
            if node.type == "TEX_IMAGE" and node.image:
                image = node.image
                path = bpy.path.abspath(image.filepath) if image.filepath else ""
                out[material.name] = (path, tuple(image.size), numpy.array(image.pixels[:]), image.packed_file is not None)
    return out


def pictures(source, result):
    load(source)
    want = pictures_of_scene()
    load(result)
    got = pictures_of_scene()
    print(f"file_materials_check {source}: pictures of {sorted(want)}; {result}: {sorted(got)}")
    if not want:
        fail(f"{source}: no material with a picture; nothing to hold {result} against")
    for name, (_, size, pixels, _) in want.items():
        if name not in got:
            fail(f"{result}: material {name} has no picture")
            continue
        path, got_size, got_pixels, packed = got[name]
        if packed or not os.path.isfile(path):
            fail(f"{result}: the picture of {name} is not a file beside it ({path})")
        if got_size != size or got_pixels.shape != pixels.shape or numpy.abs(got_pixels - pixels).max() > 1e-6:
            fail(f"{result}: the picture of {name} differs from {source}'s ({got_size} against {size})")
        else:
            print(f"file_materials_check {name}: {path}, {size[0]}x{size[1]}, the same pixels")


args = sys.argv[sys.argv.index("--") + 1:]
{"materials": materials, "pictures": pictures}[args[0]](*args[1:])
sys.exit(1 if fail.count else 0)
