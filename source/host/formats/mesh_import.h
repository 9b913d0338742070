// Reading meshes from files.
//
// Wavefront OBJ is read by our own reader (obj_reader.h) because it keeps the
// points in the order of the file's "v" lines: vertex maps and point selections
// refer to points by index, and the general importer renumbers OBJ points in
// the order the faces first use them. Every other format goes through Assimp:
//  - one mesh per Assimp mesh, in the file's mesh order, names kept (a mesh
//    without a name takes its node's name, else "<file stem>.<index>");
//  - points are kept as the file has them, in its order, none merged (per-
//    corner formats like STL come back with a point per triangle corner);
//    welding, on request, joins points at exactly the same place;
//  - by default a mesh comes back once for every node that uses it, each
//    time moved by that node's scene transform, so every instance lands
//    where the file places it (in mesh order, a mesh's instances in the
//    order of the node tree, depth first); meshes no node uses come back
//    once as stored; without node transforms every mesh comes back once;
//  - a glTF primitive keeps only the points its polygons use (primitives
//    often share one buffer of points; a primitive of points keeps them all);
//  - a corner repeating the one before it is dropped, and a face left with
//    fewer than three corners (a degenerate triangle such as 5 5 7) with it;
//  - triangles and quads are kept, polygons of more corners are cut into
//    triangles (polygon_split.h); point and line primitives are dropped;
//  - the colour is the material's base colour, else its diffuse colour; the
//    importer's stand-in material gives none.
// Coordinates are taken to be in the file format's right-handed frame and
// are moved into the host's frame, winding reversed (axis_convention.h),
// unless raw axes are asked for.
// A file with no mesh at all, or with a coordinate that is not a finite number,
// is an error naming the file (and the mesh). Only regular files are read,
// and resources the file names only inside its folder (confined_io_system.h).
// The import library reads in a child process within memory and time limits
// (child_call.h): whatever it does on a damaged file, the caller gets meshes
// or one message.
#ifndef KURVO_MEDIA_MESH_IMPORT_H
#define KURVO_MEDIA_MESH_IMPORT_H

#include <filesystem>
#include <vector>

#include "mesh.h"
#include "result.h"

namespace kurvo::media {

struct ImportOptions {
  // Move each mesh by its scene-node transform (formats without a scene tree,
  // like OBJ, PLY and STL, are unaffected).
  bool apply_node_transforms = true;
  // Let the file name resources (buffers, images, material libraries) outside
  // its own folder; by default such a file is refused.
  bool resources_outside_folder = false;
  // Take coordinates and winding as they are, without moving them into the
  // host's left-handed frame.
  bool raw_axes = false;
  // Join points at exactly the same place (weld_points()).
  bool weld = false;
};

Result<std::vector<Mesh>> import_meshes(const std::filesystem::path& file, const ImportOptions& options = {});

}  // namespace kurvo::media

#endif
