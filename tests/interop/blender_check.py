# Runs inside Blender (blender --background --factory-startup --python THIS -- ARGS).
#
#   check DIR           every DIR/<stem>.reference.obj (the tool's raw,
#                       unconverted output) against DIR/<stem>.<ext> for each
#                       exchange format, as Blender's own importers read them
#   make DIR            writes meshes made in Blender (a monkey head and a cube
#                       at +X) to DIR/made.<ext>, and DIR/made.expected.obj with
#                       their points in the host's frame
#
# Blender is right-handed with Z up; the host is left-handed with Y up, +Z into
# the screen. A host point (x, y, z) is (x, z, y) in Blender, whichever format
# carried it. Exits with status 1 on any mismatch.
import math
import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from blender_session import fail, import_file  # noqa: E402

TOLERANCE = 1e-3  # relative to the scene's size


def read_obj(path):
    """Objects of an OBJ as {name: (points, faces)} and colours {name: (r, g, b)} from its MTL."""
    objects, colours, current, material_of, kd = {}, {}, None, {}, {}
    points = []
    base = 0
    with open(path) as f:
        for line in f:
            word = line.split()
            if not word:
                continue
            if word[0] == "o":
                current = line[2:].strip()
                objects[current] = ([], [])
                base = len(points)
            elif word[0] == "v":
                p = tuple(float(v) for v in word[1:4])
                points.append(p)
                objects[current][0].append(p)
            elif word[0] == "f":
                objects[current][1].append([int(v.split("/")[0]) - 1 - base for v in word[1:]])
            elif word[0] == "usemtl":
                material_of[current] = word[1]
    mtl = os.path.splitext(path)[0] + ".mtl"
    if os.path.exists(mtl):
        name = None
        with open(mtl) as f:
            for line in f:
                word = line.split()
                if word and word[0] == "newmtl":
                    name = word[1]
                elif word and word[0] == "Kd":
                    kd[name] = tuple(float(v) for v in word[1:4])
    for obj, material in material_of.items():
        if material in kd:
            colours[obj] = kd[material]
    return objects, colours


def to_blender(p):
    return (p[0], p[2], p[1])


def clear():
    bpy.ops.wm.read_factory_settings(use_empty=True)


def world_points(obj):
    m = obj.matrix_world
    return [tuple(m @ v.co) for v in obj.data.vertices]


def key(p, step):
    return tuple(round(c / step) for c in p)


def same_places(label, expected, got, step):
    """The sets of places (rounded to step) agree."""
    a = {key(p, step) for p in expected}
    b = {key(p, step) for p in got}
    # Rounding can put one place either side of a step boundary: compare with
    # a neighbourhood instead of demanding identical keys.
    def near(k, others):
        return any((k[0] + i, k[1] + j, k[2] + l) in others for i in (-1, 0, 1) for j in (-1, 0, 1) for l in (-1, 0, 1))
    missing = [k for k in a if not near(k, b)]
    extra = [k for k in b if not near(k, a)]
    if missing or extra:
        fail("%s: %d places missing, %d unexpected (e.g. %s)" % (label, len(missing), len(extra), (missing or extra)[:1]))


def base_colour(obj):
    if not obj.data.materials or obj.data.materials[0] is None:
        return None
    material = obj.data.materials[0]
    if material.use_nodes:
        for node in material.node_tree.nodes:
            if node.type == "BSDF_PRINCIPLED":
                return tuple(node.inputs["Base Color"].default_value)[:3]
    return tuple(material.diffuse_color)[:3]


def outward_faces(label, obj):
    """For a convex mesh, every face normal points away from the centre."""
    points = world_points(obj)
    centre = [sum(p[i] for p in points) / len(points) for i in range(3)]
    m = obj.matrix_world.to_3x3()
    for poly in obj.data.polygons:
        n = m @ poly.normal
        c = obj.matrix_world @ poly.center
        if sum(n[i] * (c[i] - centre[i]) for i in range(3)) <= 0:
            fail("%s: face %d points inwards" % (label, poly.index))
            return


def check(directory):
    references = sorted(f for f in os.listdir(directory) if f.endswith(".reference.obj"))
    if not references:
        fail("no reference files in " + directory)
    for reference in references:
        stem = reference[: -len(".reference.obj")]
        objects, colours = read_obj(os.path.join(directory, reference))
        all_points = [to_blender(p) for pts, _ in objects.values() for p in pts]
        size = max(max(abs(c) for c in p) for p in all_points) or 1.0
        step = size * TOLERANCE
        for ext in (".obj", ".glb", ".gltf", ".ply", ".stl"):
            path = os.path.join(directory, stem + ext)
            if not os.path.exists(path):
                fail(path + " was not written")
                continue
            clear()
            import_file(path)
            meshes = [o for o in bpy.data.objects if o.type == "MESH"]
            label = stem + ext
            print("checking %s: %d objects" % (label, len(meshes)))
            if ext in (".obj", ".glb", ".gltf"):
                # Named objects, one per scene object, each with its colour.
                by_name = {o.name: o for o in meshes}
                if sorted(by_name) != sorted(objects):
                    fail("%s: objects %s, expected %s" % (label, sorted(by_name), sorted(objects)))
                    continue
                for name, (points, faces) in objects.items():
                    obj = by_name[name]
                    got = world_points(obj)
                    same_places("%s '%s'" % (label, name), [to_blender(p) for p in points], got, step)
                    if ext == ".obj" and len(got) != len(points):
                        fail("%s '%s': %d points, expected %d" % (label, name, len(got), len(points)))
                    if ext == ".obj" and len(obj.data.polygons) != len(faces):
                        fail("%s '%s': %d faces, expected %d" % (label, name, len(obj.data.polygons), len(faces)))
                    if name in colours:
                        c = base_colour(obj)
                        if c is None or any(abs(c[i] - colours[name][i]) > 2e-3 for i in range(3)):
                            fail("%s '%s': colour %s, expected %s" % (label, name, c, colours[name]))
                    if stem == "gradient_cubes":
                        outward_faces("%s '%s'" % (label, name), obj)
            else:
                # PLY and STL carry no names: the places of all objects together.
                got = [p for o in meshes for p in world_points(o)]
                same_places(label, all_points, got, step)
    return fail.count == 0


def make(directory):
    clear()
    bpy.ops.mesh.primitive_monkey_add(size=2.0, location=(0, 0, 0))
    bpy.context.object.name = "Suzanne"
    bpy.ops.mesh.primitive_cube_add(size=0.5, location=(3, 0, 0))
    bpy.context.object.name = "MarkX"
    with open(os.path.join(directory, "made.expected.obj"), "w") as f:
        for obj in bpy.data.objects:
            f.write("o %s\n" % obj.name)
            for p in world_points(obj):
                host = (p[0], p[2], p[1])
                f.write("v %r %r %r\n" % host)
    base = os.path.join(directory, "made")
    bpy.ops.wm.obj_export(filepath=base + ".obj", export_materials=False)
    bpy.ops.export_scene.gltf(filepath=base + ".glb", export_format="GLB", export_normals=False,
                              export_texcoords=False, export_materials="NONE")
    bpy.ops.export_mesh.ply(filepath=base + ".ply", use_normals=False, use_uv_coords=False, use_colors=False)
    bpy.ops.export_mesh.stl(filepath=base + ".stl")
    return True


def main():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    if len(argv) != 2 or argv[0] not in ("check", "make"):
        print("usage: blender --background --factory-startup --python blender_check.py -- check|make DIR")
        sys.exit(2)
    ok = check(argv[1]) if argv[0] == "check" else make(argv[1])
    print("blender_check %s: %s" % (argv[0], "ok" if ok else "%d mismatches" % fail.count))
    sys.exit(0 if ok else 1)


main()
