// Normals made again from a mesh's points, keeping the input's split between
// smooth and hard.
//
// A deformer moves points only, so normals a file brought along no longer
// fit the bent surface. Each corner takes the area-weighted mean of the face
// normals of the corners at its point that belong to its own smooth region:
//  - with smoothing groups (OBJ's "s"): the faces of the same group, a face
//    of group 0 keeping its own normal;
//  - else with authored normals: the corners whose authored normals agree
//    with its own (within about two degrees), so a hard edge the author made
//    stays hard and a smooth fan stays smooth, whatever the bend does to the
//    angles between the faces;
//  - else by angle: the faces meeting its own at less than
//    kCreaseAngleDegrees at the rest shape the normals are made for.
// Corners of one point that get the same normal share one entry.
#ifndef KURVO_MEDIA_NORMAL_RENEWAL_H
#define KURVO_MEDIA_NORMAL_RENEWAL_H

#include <cstdint>
#include <vector>

#include "mesh.h"
#include "vector.h"

namespace kurvo::media {

struct IndexedNormals {
  std::vector<Vector> normals;  // unit length
  std::vector<uint32_t> corner;  // per corner of the mesh, index into normals
};

IndexedNormals renew_normals(const Mesh& mesh);

// Values per corner made into a list without repeats among the corners of
// one point (the usual case for UVs, which are continuous across most
// edges): `corner` indexes `values` as the input did corner by corner.
template <class T>
struct IndexedValues {
  std::vector<T> values;
  std::vector<uint32_t> corner;
};
IndexedValues<Uv> shared_per_point(const Mesh& mesh, const std::vector<Uv>& per_corner);
// The mesh's own corner normals so, corners of a point with the same normal
// sharing one (for a mesh that keeps its corner normals).
IndexedNormals shared_corner_normals(const Mesh& mesh);

// Area-weighted normal (Newell) of face f; zero for a face without area.
Vector face_area_normal(const Mesh& mesh, size_t f);
// `v` made unit length (in double), or `fallback` where it has none.
Vector unit_or(const Vector& v, const Vector& fallback);

}  // namespace kurvo::media

#endif
