# The side-by-side jobs inside Blender (run by bench/side_by_side.sh):
#   deform N ROUNDS  - a tube of N points under a Curve modifier along the
#                      8-point path; prints the median seconds of ROUNDS
#                      re-evaluations of the modifier (the deformation alone)
#   file IN OUT      - imports the OBJ, bends it along the path with the Curve
#                      modifier, applies it and exports an OBJ; prints the
#                      seconds of each step.
#   spindle OUT LEVEL - writes the OBJ of a mesh in the order a modelling
#                      tool leaves it: Blender's icosphere of LEVEL
#                      subdivisions (10 * 4^(LEVEL-1) + 2 points; each level
#                      appends its new points after the old ones), stretched
#                      into a spindle of radius 5 along the path's 400 units
#                      (written along -Z, as kurvo writes its tube). Not timed.
# Output lines start with "blender_job " so the driver can find them among
# Blender's own messages.
import math
import statistics
import sys
import time

import bpy
import numpy

# The path of bench/tube-scene.json: a cubic curve through 8 points climbing Z.
PATH = [(0, 0, 0), (40, 30, 57), (-20, 60, 114), (30, 10, 171), (0, -40, 228), (-40, 0, 285), (10, 50, 342),
        (0, 0, 400)]


def clear():
    bpy.ops.wm.read_factory_settings(use_empty=True)


def add_path():
    curve = bpy.data.curves.new("Path", "CURVE")
    curve.dimensions = "3D"
    spline = curve.splines.new("BEZIER")
    spline.bezier_points.add(len(PATH) - 1)
    for point, at in zip(spline.bezier_points, PATH):
        point.co = at
        point.handle_left_type = point.handle_right_type = "AUTO"
    obj = bpy.data.objects.new("Path", curve)
    bpy.context.scene.collection.objects.link(obj)
    return obj


def add_tube(points):
    # Rings of 100 points along Z from 0 to 400, radius 5, quads between rings.
    around = 100
    rings = points // around
    a = numpy.arange(around) * (2 * math.pi / around)
    z = numpy.repeat(numpy.linspace(0.0, 400.0, rings), around)
    co = numpy.empty((rings * around, 3), dtype=numpy.float32)
    co[:, 0] = numpy.tile(5 * numpy.cos(a), rings)
    co[:, 1] = numpy.tile(5 * numpy.sin(a), rings)
    co[:, 2] = z
    i = numpy.arange(around)
    j = numpy.arange(rings - 1)[:, None] * around
    quads = numpy.stack([j + i, j + (i + 1) % around, j + around + (i + 1) % around, j + around + i], axis=-1)
    quads = quads.reshape(-1, 4)
    mesh = bpy.data.meshes.new("Tube")
    mesh.vertices.add(len(co))
    mesh.vertices.foreach_set("co", co.ravel())
    mesh.loops.add(quads.size)
    mesh.loops.foreach_set("vertex_index", quads.ravel().astype(numpy.int32))
    mesh.polygons.add(len(quads))
    mesh.polygons.foreach_set("loop_start", (numpy.arange(len(quads)) * 4).astype(numpy.int32))
    mesh.polygons.foreach_set("loop_total", numpy.full(len(quads), 4, dtype=numpy.int32))
    mesh.update()
    obj = bpy.data.objects.new("Tube", mesh)
    bpy.context.scene.collection.objects.link(obj)
    return obj


def bend(obj, path):
    modifier = obj.modifiers.new("Bend", "CURVE")
    modifier.object = path
    modifier.deform_axis = "POS_Z"
    return modifier


def deform(points, rounds):
    clear()
    tube = add_tube(points)
    bend(tube, add_path())
    layer = bpy.context.view_layer
    layer.update()  # the first evaluation builds the curve's caches
    times = []
    for _ in range(rounds):
        tube.update_tag(refresh={"DATA"})
        start = time.perf_counter()
        layer.update()
        times.append(time.perf_counter() - start)
    print(f"blender_job deform {len(tube.data.vertices)} {statistics.median(times):.6f}")


def file_to_file(source, target):
    clear()
    path = add_path()
    t0 = time.perf_counter()
    # Taken as written (kurvo's OBJ has the tube along -Z), bent along -Z.
    bpy.ops.wm.obj_import(filepath=source, forward_axis="Y", up_axis="Z")
    t1 = time.perf_counter()
    tube = bpy.context.selected_objects[0]
    bend(tube, path).deform_axis = "NEG_Z"
    bpy.context.view_layer.objects.active = tube
    bpy.ops.object.modifier_apply(modifier="Bend")
    t2 = time.perf_counter()
    path.select_set(False)
    bpy.ops.wm.obj_export(filepath=target, export_selected_objects=True, export_materials=False,
                          forward_axis="Y", up_axis="Z")
    t3 = time.perf_counter()
    print(f"blender_job file {len(tube.data.vertices)} {t1 - t0:.6f} {t2 - t1:.6f} {t3 - t2:.6f} {t3 - t0:.6f}")


def spindle(target, level):
    clear()
    bpy.ops.mesh.primitive_ico_sphere_add(subdivisions=level, radius=1.0)
    obj = bpy.context.active_object
    obj.scale = (5.0, 5.0, 200.0)
    obj.location = (0.0, 0.0, -200.0)
    bpy.ops.object.transform_apply(location=True, rotation=True, scale=True)
    bpy.ops.wm.obj_export(filepath=target, export_selected_objects=True, export_materials=False,
                          export_normals=False, export_uv=False, forward_axis="Y", up_axis="Z")
    print(f"blender_job spindle {len(obj.data.vertices)}")


def main():
    args = sys.argv[sys.argv.index("--") + 1:]
    if args[0] == "deform":
        deform(int(args[1]), int(args[2]))
    elif args[0] == "file":
        file_to_file(args[1], args[2])
    elif args[0] == "spindle":
        spindle(args[1], int(args[2]))
    else:
        raise SystemExit(f"unknown job {args[0]}")


main()
