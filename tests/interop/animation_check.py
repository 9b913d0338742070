# Runs inside Blender:
#   blender --background --factory-startup --python-exit-code 1 \
#       --python animation_check.py -- FILE.glb OUT.json [--blender-axes] [--between T,T,...]
#
# Imports an animated .glb or .gltf with Blender's own importer, steps through
# every keyed frame, evaluates the scene there (node keys, shape keys) and
# writes every mesh object's evaluated vertices in world space to OUT.json:
#
#   {"file": "...", "fps": 24, "node_animated": ["Name", ...],
#    "frames": [{"frame": 0.0, "seconds": 0.0,
#                "meshes": {"Tube": [[x, y, z], ...], ...}}, ...]}
#
# "seconds" is the key time in the file (Blender keys frame = seconds * fps,
# with the scene's fps, which the importer leaves at Blender's default 24: a
# glTF has no frame rate, only seconds; the key at 0 s is Blender's frame 0).
# --between 0.5,0.3 also evaluates between every two neighbouring keys, at
# those fractions of the gap (Blender subframes where they fall between whole
# frames); such entries carry "between": [frame before, frame after, fraction].
# "node_animated" names the objects whose own placement is keyed (their
# in-between places follow the placement's interpolation, not a straight line).
# Vertices come in Blender's order, one per vertex of the file (the importer
# keeps vertices split by normals), so compare them as sets of places.
# Blender is right-handed with Z up and its importer turns glTF's Y up into Z
# up; points are written in the host's frame (left-handed, Y up), where a
# Blender point (x, y, z) is (x, z, y), so they compare directly with the
# tool's own world points. --blender-axes keeps Blender's coordinates.
import json
import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import blender_session  # noqa: E402,F401  (the numpy fix)


def arguments():
    args = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    blender_axes = "--blender-axes" in args
    args = [a for a in args if a != "--blender-axes"]
    between = []
    if "--between" in args:
        at = args.index("--between")
        between = [float(t) for t in args[at + 1].split(",")]
        del args[at:at + 2]
    if len(args) != 2:
        raise SystemExit("usage: blender ... --python animation_check.py -- FILE.glb OUT.json "
                         "[--blender-axes] [--between T,T,...]")
    return args[0], args[1], blender_axes, between


def keyed_frames():
    """Every frame a key sits on, in any action of an object or its shape keys."""
    frames = set()
    holders = list(bpy.data.objects) + [key for key in bpy.data.shape_keys]
    for holder in holders:
        action = holder.animation_data.action if holder.animation_data else None
        if action:
            for curve in action.fcurves:
                frames.update(point.co[0] for point in curve.keyframe_points)
    return sorted(frames) or [float(bpy.context.scene.frame_current)]


def world_vertices(obj, depsgraph, blender_axes):
    evaluated = obj.evaluated_get(depsgraph)
    mesh = evaluated.to_mesh()
    matrix = evaluated.matrix_world
    points = []
    for v in mesh.vertices:
        p = matrix @ v.co
        points.append([p.x, p.y, p.z] if blender_axes else [p.x, p.z, p.y])
    evaluated.to_mesh_clear()
    return points


def main():
    source, out, blender_axes, between = arguments()
    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.ops.import_scene.gltf(filepath=os.path.abspath(source))
    scene = bpy.context.scene
    fps = scene.render.fps / scene.render.fps_base
    keys = keyed_frames()
    wanted = [(frame, None) for frame in keys]
    for before, after in zip(keys, keys[1:]):
        wanted += [(before + t * (after - before), [before, after, t]) for t in between]
    frames = []
    for frame, where in wanted:
        whole = int(frame // 1)
        scene.frame_set(whole, subframe=frame - whole)
        depsgraph = bpy.context.evaluated_depsgraph_get()
        meshes = {obj.name: world_vertices(obj, depsgraph, blender_axes)
                  for obj in scene.objects if obj.type == "MESH"}
        entry = {"frame": frame, "seconds": frame / fps, "meshes": meshes}
        if where:
            entry["between"] = where
        frames.append(entry)
    node_animated = sorted(obj.name for obj in bpy.data.objects
                           if obj.animation_data and obj.animation_data.action)
    with open(out, "w") as f:
        json.dump({"file": source, "fps": fps, "node_animated": node_animated, "frames": frames}, f)
    print("animation_check: %s: %d keyed frames, %d in between, %d meshes -> %s"
          % (source, len(keys), len(frames) - len(keys), len(frames[0]["meshes"]) if frames else 0, out))


main()
