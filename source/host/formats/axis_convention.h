// How the host's coordinates map onto the coordinates of exchange formats.
//
// The host's world is left-handed with Y up: +X points right, +Y up and +Z
// into the screen, as the renders show it. The exchange formats are
// right-handed, so a point cannot go into them unchanged without turning the
// scene into its mirror image. Two frames are used:
//  - Y up, right-handed (OBJ, glTF, and every format not named below):
//    (x, y, z) is written as (x, y, -z); glTF is Y-up by definition and most
//    tools read OBJ that way;
//  - Z up, right-handed (STL, PLY, the formats of printing and scanning):
//    (x, y, z) is written as (x, z, y).
// Both are mirrorings, so the winding of every polygon is reversed as well and
// faces keep pointing outwards. Reading a file applies the same map (each is
// its own inverse). "Raw" axes skip all of it and copy coordinates and
// winding as they are.
#ifndef KURVO_MEDIA_AXIS_CONVENTION_H
#define KURVO_MEDIA_AXIS_CONVENTION_H

#include <filesystem>
#include <string>
#include <vector>

#include "mesh.h"

namespace kurvo::media {

enum class FileFrame { y_up_right_handed, z_up_right_handed };

// The frame a file of this extension (".stl", any case) is taken to use.
FileFrame file_frame(const std::filesystem::path& file);

// The point in the file's frame for a host point, and back (the same map).
inline Vector to_file_frame(const Vector& p, FileFrame frame) {
  if (frame == FileFrame::z_up_right_handed) return Vector(p.x, p.z, p.y);
  // Adding 0 turns the -0 of a mirrored 0 into 0, so files do not show "-0".
  return Vector(p.x, p.y, -p.z + 0.0f);
}
inline Vector from_file_frame(const Vector& p, FileFrame frame) { return to_file_frame(p, frame); }

// The polygon with its winding reversed; the first corner stays first.
Polygon reversed(const Polygon& q);

// Moves every point between the host and the file frame, multiplies it by
// `scale` and reverses every face's winding (authored normals turn with the
// points, unscaled).
void convert_meshes(std::vector<Mesh>& meshes, FileFrame frame, float scale);

// The way into one file a point or polygon at a time: the file's frame times
// a scale (as convert_meshes), or with raw axes the host's coordinates times
// the scale and the winding unchanged. Lets a caller that makes the meshes
// point by point anyway apply it on the way rather than in a pass of its own.
struct FileMapping {
  FileFrame frame = FileFrame::y_up_right_handed;
  bool raw_axes = false;
  float scale = 1.0f;

  Vector point(const Vector& p) const {
    if (raw_axes) return scale != 1.0f ? p * scale : p;
    return to_file_frame(p, frame) * scale;
  }
  Polygon polygon(const Polygon& q) const { return raw_axes ? q : reversed(q); }
};

}  // namespace kurvo::media

#endif
