# Runs inside Blender (blender --background --factory-startup --python THIS -- ARGS).
#
#   make DIR                 makes a textured asset with Blender's own Python
#                            and writes it with Blender's glTF exporter as
#                            DIR/asset.glb: a cylinder with one UV map, two
#                            materials split across its faces (one with a base
#                            colour texture, DIR/checker.png), a colour per
#                            point, smooth sides and flat caps
#   compare SOURCE RESULT    imports both with Blender's importers and holds
#                            RESULT (the tool's bent export of SOURCE) against
#                            SOURCE attribute by attribute. A triangle is known
#                            by the UVs of its corners, which a bend never
#                            touches: every triangle of SOURCE must come back
#                            once, with the same UVs per corner (to float
#                            precision), the same material (name, base colour,
#                            texture image), the same colour at every corner,
#                            and, where SOURCE is smooth, normals that lean
#                            from their bent triangle no more than a few
#                            degrees beyond what the source's lean from its own.
#                            Where both files keep faces whole (.ply, .dae),
#                            every face must keep its corner count.
#                            RESULT may be .glb, .ply or .dae: a PLY file has
#                            no materials and Blender reads no PLY normals, so
#                            those two are not compared there.
#
# Exits with status 1 on any mismatch.
import math
import os
import sys

import bpy
import bmesh

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import blender_session  # noqa: E402,F401  (the numpy fix)


def fail(message):
    if fail.count < 20:
        print("MISMATCH: " + message)
    fail.count += 1


fail.count = 0


def make(folder):
    bpy.ops.wm.read_factory_settings(use_empty=True)
    image = bpy.data.images.new("checker", 64, 64)
    pixels = []
    for y in range(64):
        for x in range(64):
            on = (x // 8 + y // 8) % 2
            pixels += [0.9, 0.8, 0.2, 1.0] if on else [0.1, 0.3, 0.7, 1.0]
    image.pixels = pixels
    image.filepath_raw = os.path.join(folder, "checker.png")
    image.file_format = "PNG"
    image.save()

    # A tube along Blender's Z (the host's Y), long enough to bend.
    bpy.ops.mesh.primitive_cylinder_add(vertices=24, radius=5, depth=80, calc_uvs=True)
    obj = bpy.context.active_object
    obj.name = "Asset"
    bm = bmesh.new()
    bm.from_mesh(obj.data)
    bmesh.ops.subdivide_edges(bm, edges=[e for e in bm.edges if abs(e.verts[0].co.z - e.verts[1].co.z) > 1],
                              cuts=15, use_grid_fill=True)
    bm.to_mesh(obj.data)
    bm.free()
    mesh = obj.data

    plain = bpy.data.materials.new("Plain")
    plain.use_nodes = True
    plain.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = (0.8, 0.2, 0.1, 1)
    textured = bpy.data.materials.new("Textured")
    textured.use_nodes = True
    node = textured.node_tree.nodes.new("ShaderNodeTexImage")
    node.image = image
    textured.node_tree.links.new(node.outputs["Color"], textured.node_tree.nodes["Principled BSDF"].inputs["Base Color"])
    mesh.materials.append(plain)
    mesh.materials.append(textured)
    for poly in mesh.polygons:
        # Side faces alternate in bands along the tube; the caps are plain.
        side = len(poly.vertices) == 4
        poly.material_index = 1 if side and int((poly.center.z + 40) // 10) % 2 else 0
        poly.use_smooth = side

    colours = mesh.color_attributes.new("Col", "FLOAT_COLOR", "POINT")
    for v in mesh.vertices:
        colours.data[v.index].color = (0.5 + v.co.x / 10, 0.5 + v.co.y / 10, (v.co.z + 40) / 80, 1)
    mesh.update()
    bpy.ops.export_scene.gltf(filepath=os.path.join(folder, "asset.glb"), export_format="GLB",
                              export_colors=True, export_normals=True, export_texcoords=True)
    # The same asset by Blender's PLY exporter: faces whole (the caps are
    # 24-gons), UVs and colours per vertex, no materials.
    bpy.ops.export_mesh.ply(filepath=os.path.join(folder, "asset.ply"), use_normals=True, use_uv_coords=True,
                            use_colors=True)
    print(f"textured_asset_check make: {len(mesh.vertices)} points, {len(mesh.polygons)} faces")


face_sizes = {}  # per file read: how many faces of each corner count


def triangles_of(path):
    """Per triangle: (corner UVs, corner colours, material, corner normals, corner points), world space."""
    bpy.ops.wm.read_factory_settings(use_empty=True)
    ext = os.path.splitext(path)[1].lower()
    if ext == ".ply":
        bpy.ops.import_mesh.ply(filepath=path)
    elif ext == ".dae":
        bpy.ops.wm.collada_import(filepath=path)
    else:
        bpy.ops.import_scene.gltf(filepath=path)
    out = []
    for obj in bpy.context.scene.objects:
        if obj.type != "MESH":
            continue
        mesh = obj.data
        for poly in mesh.polygons:
            face_sizes[path] = face_sizes.get(path, {})
            face_sizes[path][len(poly.vertices)] = face_sizes[path].get(len(poly.vertices), 0) + 1
        mesh.calc_normals_split()
        mesh.calc_loop_triangles()
        uv = mesh.uv_layers.active.data if mesh.uv_layers.active else None
        colour = mesh.color_attributes[0] if len(mesh.color_attributes) else None
        normal_matrix = obj.matrix_world.to_3x3().inverted().transposed()
        for t in mesh.loop_triangles:
            material = mesh.materials[t.material_index] if mesh.materials else None
            uvs = tuple((uv[l].uv[0], uv[l].uv[1]) if uv else (0.0, 0.0) for l in t.loops)
            if colour is None:
                cols = ((1.0, 1.0, 1.0),) * 3
            elif colour.domain == "POINT":
                cols = tuple(tuple(colour.data[mesh.loops[l].vertex_index].color[:3]) for l in t.loops)
            else:
                cols = tuple(tuple(colour.data[l].color[:3]) for l in t.loops)
            normals = tuple((normal_matrix @ mesh.loops[l].normal).normalized() for l in t.loops)
            points = tuple(obj.matrix_world @ mesh.vertices[mesh.loops[l].vertex_index].co for l in t.loops)
            out.append((uvs, cols, material_key(material), normals, points, t.use_smooth))
    return out


def colour_source(socket):
    """(base colour factor or (), texture image key or "") feeding a colour input.

    Blender's glTF importer multiplies the factor or the texture by the point
    colours in a Mix node; other importers link the texture straight in or
    set the factor alone: all three give the same key."""
    if not socket.links:
        return tuple(round(c, 3) for c in socket.default_value[:3]), ""
    node = socket.links[0].from_node
    if node.type == "TEX_IMAGE" and node.image:
        return (), (node.image.size[0], node.image.size[1], round(sum(node.image.pixels[:4096]), 2))
    if node.type in ("MIX", "MIX_RGB"):
        base, image = (), ""
        for link_input in node.inputs:
            if link_input.type != "RGBA" or not link_input.enabled:
                continue
            if link_input.links and link_input.links[0].from_node.type == "VERTEX_COLOR":
                continue
            b, i = colour_source(link_input)
            base, image = base or b, image or i
        return base, image
    return (), ""


def material_key(material):
    if material is None:
        return ("", (0.8, 0.8, 0.8), "")
    bsdf = material.node_tree.nodes.get("Principled BSDF") if material.use_nodes else None
    base, image = colour_source(bsdf.inputs["Base Color"]) if bsdf else ((), "")
    if image:
        base = ()  # a texture replaces the factor
    return (material.name, base, image)


def lean(t):
    """The largest angle in degrees between a triangle's corner normals and its face normal."""
    face = (t[4][1] - t[4][0]).cross(t[4][2] - t[4][0])
    if face.length == 0:
        return 0.0
    return max(math.degrees(n.angle(face.normalized(), 0.0)) for n in t[3])


def uv_key(uvs):
    return tuple(sorted((round(u, 5), round(v, 5)) for u, v in uvs))


def compare(source, result):
    want = triangles_of(source)
    got = triangles_of(result)
    carries_materials = carries_normals = not result.lower().endswith(".ply")
    print(f"textured_asset_check {source}: {len(want)} triangles; {result}: {len(got)}")
    if len(got) != len(want):
        fail(f"{result}: {len(got)} triangles, {source} has {len(want)}")
    by_uvs = {}
    for t in got:
        by_uvs.setdefault(uv_key(t[0]), []).append(t)
    worst_uv = worst_colour = worst_normal = 0.0
    for uvs, cols, material, normals, points, smooth in want:
        candidates = by_uvs.get(uv_key(uvs))
        if not candidates:
            fail(f"{result}: no triangle with the UVs {uv_key(uvs)}")
            continue
        t = candidates.pop()
        # Corners matched by UV (a triangle's corners have distinct UVs here).
        order = [min(range(3), key=lambda j: (t[0][j][0] - u) ** 2 + (t[0][j][1] - v) ** 2) for u, v in uvs]
        for k, j in enumerate(order):
            worst_uv = max(worst_uv, abs(t[0][j][0] - uvs[k][0]), abs(t[0][j][1] - uvs[k][1]))
            worst_colour = max(worst_colour, max(abs(a - b) for a, b in zip(t[1][j], cols[k])))
        if carries_materials and t[2] != material:
            fail(f"{result}: a triangle has material {t[2]}, {source} {material}")
        if smooth and carries_normals:
            # How far the corner normals lean from their own triangle, in the
            # source and in the bent result: bending may not add more than a
            # few degrees (the source leans most where its sides meet the caps).
            worst_normal = max(worst_normal, lean(t) - lean((uvs, cols, material, normals, points, smooth)))
    print(f"textured_asset_check UVs within {worst_uv:.2g}, colours within {worst_colour:.2g}, "
          f"smooth normals lean at most {worst_normal:.1f} degrees more than the source's")
    keeps_faces = [p.lower().endswith((".ply", ".dae", ".obj")) for p in (source, result)]
    if all(keeps_faces) and face_sizes.get(source) != face_sizes.get(result):
        fail(f"{result}: faces by corner count {face_sizes.get(result)}, {source} {face_sizes.get(source)}")
    if worst_uv > 1e-5:
        fail(f"{result}: a UV is {worst_uv:.2g} from the source's")
    if worst_colour > 2e-3:
        fail(f"{result}: a colour is {worst_colour:.2g} from the source's")
    if worst_normal > 5:
        fail(f"{result}: a smooth normal leans {worst_normal:.1f} degrees more from its bent triangle than the source's")


def main():
    args = sys.argv[sys.argv.index("--") + 1:]
    if args[0] == "make":
        make(args[1])
    elif args[0] == "compare":
        compare(args[1], args[2])
    else:
        fail("unknown mode " + args[0])
    sys.exit(1 if fail.count else 0)


main()
