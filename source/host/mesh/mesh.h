// Mesh: the polygon mesh that the tool reads, writes and draws.
//
// Points are in one coordinate system (the importer's or the caller's world).
// Faces have any number of corners (three or more) and are kept as the file
// gave them: an n-gon stays one face. Face f's corners are
// corners[face_start[f]] .. corners[face_start[f + 1] - 1], each the index of
// a point, in the source's winding.
//
// What rides along (each list is either empty, "the file has none", or has
// exactly one entry per corner, point or face):
//  - per corner: UV sets (as many as the file has) and authored normals;
//  - per point: a colour;
//  - per face: a material (an index into `materials`), a smoothing group
//    (0 flat; faces of one group > 0 share normals at the points they have in
//    common) and a group (an index into `group_names`).
// The deformer moves points and nothing else: every attribute is carried
// through a bend untouched, corner for corner, but authored normals, which
// are made again from the bent surface unless they are carried through the
// bend itself (keep_corner_normals).
//
// The quads and triangles a module sees (the host's own polygon list) are
// derived: faces of three and four corners as they are, larger ones cut into
// triangles in their own plane (triangulate.h).
#ifndef KURVO_MEDIA_MESH_H
#define KURVO_MEDIA_MESH_H

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vector.h"

namespace kurvo::media {

// A quad or triangle of point indices; a triangle repeats its third corner
// (c == d).
struct Polygon {
  int32_t a, b, c, d;
  bool is_triangle() const { return c == d; }
};

inline Polygon make_triangle(int32_t a, int32_t b, int32_t c) { return Polygon{a, b, c, c}; }

struct Uv {
  float u = 0.0f, v = 0.0f;
  bool operator==(const Uv&) const = default;
};

struct UvSet {
  std::string name;     // as the file names it ("UVMap"), or empty
  std::vector<Uv> uvs;  // one per corner; v grows upwards as in OBJ and glTF's flipped t
};

struct Material {
  std::string name;
  Vector base_colour{0.8f, 0.8f, 0.8f};  // red, green, blue in 0..1 (linear)
  float opacity = 1.0f;
  // The base colour texture as the file names it, made absolute by the
  // reader (empty: none). Writers name it relative to their output.
  std::string base_colour_texture;
  // The image's bytes (PNG or JPEG) where the file embeds it instead (a
  // .glb's image): shared, since every instance of a mesh carries them.
  std::shared_ptr<const std::string> base_colour_image;
  std::optional<float> metallic, roughness;  // where the format has them
  // The material's place in its file's own material list (-1: it is in no
  // such list). The meshes of one file that name the same material carry
  // the same index, so an object joining them keeps one material.
  int32_t file_index = -1;
};

// The same look: name, colours, opacity, texture (the file, or the same
// embedded picture) and metallic/roughness alike; where a material came
// from does not count.
bool same_material(const Material& a, const Material& b);

// Normals authored by the file, per corner: corner c's is values[index[c]]
// (a corner the file gave none names a zero vector). Files keep normals as a
// list their corners name (OBJ's "vn", a vertex's NORMAL), and so does the
// mesh: the corners of a smooth point share one entry instead of holding a
// copy each (a smooth quad mesh of 10^6 points holds 12 MB of normals, not
// 48), and a change of frame turns each entry once.
struct CornerNormals {
  std::vector<Vector> values;
  std::vector<int32_t> index;  // per corner, into values

  bool empty() const { return index.empty(); }
  size_t size() const { return index.size(); }  // corners
  const Vector& operator[](size_t corner) const { return values[size_t(index[corner])]; }
  // Whether corners a and b name the same normal (by entry or by value).
  bool same(size_t a, size_t b) const {
    if (index[a] == index[b]) return true;
    const Vector& x = (*this)[a];
    const Vector& y = (*this)[b];
    return x.x == y.x && x.y == y.y && x.z == y.z;
  }
  // The next corner's normal, an entry of its own.
  void push_back(const Vector& n) {
    index.push_back(static_cast<int32_t>(values.size()));
    values.push_back(n);
  }
  // Corner c's normal replaced by an entry of its own (other corners may
  // share the old one).
  void set(size_t corner, const Vector& n) {
    index[corner] = static_cast<int32_t>(values.size());
    values.push_back(n);
  }
  void clear() {
    values.clear();
    index.clear();
  }
  // One normal per corner, each its own entry.
  static CornerNormals per_corner(std::vector<Vector> normals);
  // Every corner's normal in corner order.
  std::vector<Vector> per_corner_list() const;
};

struct Mesh {
  std::string name;
  std::vector<Vector> points;

  std::vector<int32_t> corners;         // point index per corner
  std::vector<uint32_t> face_start{0};  // face count + 1 entries, the first 0

  std::vector<UvSet> uv_sets;            // each per corner
  CornerNormals corner_normals;          // per corner, authored by the file
  // The corner normals are the ones to write as they are (authored normals
  // carried through a bend, unit length); otherwise writers make normals
  // again from the surface and the corner normals only say where it is
  // smooth and where hard.
  bool keep_corner_normals = false;
  std::vector<Vector> point_colours;     // per point, red/green/blue in 0..1

  std::vector<Material> materials;
  std::vector<uint32_t> face_material;      // per face, index into materials
  std::vector<uint32_t> face_smooth_group;  // per face: 0 flat, else a group
  std::vector<std::string> group_names;
  std::vector<uint32_t> face_group;         // per face, index into group_names

  // One base colour for the whole mesh (none: the reader or viewer picks
  // one); a material's own colour wins where faces have materials.
  std::optional<Vector> colour;

  size_t face_count() const { return face_start.size() - 1; }
  uint32_t face_size(size_t f) const { return face_start[f + 1] - face_start[f]; }
  std::span<const int32_t> face(size_t f) const {
    return {corners.data() + face_start[f], face_size(f)};
  }
  void add_face(std::span<const int32_t> points_of_face) {
    corners.insert(corners.end(), points_of_face.begin(), points_of_face.end());
    face_start.push_back(static_cast<uint32_t>(corners.size()));
  }
  void add_face(std::initializer_list<int32_t> points_of_face) {
    add_face(std::span<const int32_t>(points_of_face.begin(), points_of_face.size()));
  }
  // A quad, or a triangle when c == d.
  void add_polygon(const Polygon& p) {
    if (p.is_triangle())
      add_face({p.a, p.b, p.c});
    else
      add_face({p.a, p.b, p.c, p.d});
  }
  void reserve_faces(size_t faces, size_t corner_count) {
    face_start.reserve(faces + 1);
    corners.reserve(corner_count);
  }
  // Drops faces and every per-corner and per-face list (points stay).
  void clear_faces();
};

// Replaces the mesh's faces by the given quads and triangles.
inline void set_polygons(Mesh& mesh, const std::vector<Polygon>& polygons) {
  mesh.clear_faces();
  mesh.reserve_faces(polygons.size(), 4 * polygons.size());
  for (const Polygon& p : polygons) mesh.add_polygon(p);
}

// Reverses every face's winding, the first corner staying first (a, b, c, d
// becomes a, d, c, b), its UVs and normals going with their corners.
void reverse_faces(Mesh& mesh);

// The host's polygons of a mesh: quads and triangles, with for each polygon
// the face it comes from and the corners (indices into Mesh::corners) of its
// a, b, c, d.
struct DerivedPolygons {
  std::vector<Polygon> polygons;
  std::vector<uint32_t> face;     // per polygon
  std::vector<uint32_t> corners;  // four per polygon (a triangle repeats c)
};

// Faces of three and four corners as they are, larger ones as triangles
// whose areas add up to the face's (triangulate.h). A face that cannot be
// cut (all its corners on one line) gives no polygon.
DerivedPolygons derive_polygons(const Mesh& mesh);
// The same, polygons only.
std::vector<Polygon> mesh_polygons(const Mesh& mesh);
// Faces of up to four corners only: every face is one polygon (no face is
// larger than four corners).
bool faces_are_polygons(const Mesh& mesh);

// Axis-aligned bounds; empty until a point is added.
struct Bounds {
  Vector min{0.0f, 0.0f, 0.0f};
  Vector max{0.0f, 0.0f, 0.0f};
  bool empty = true;

  void add(const Vector& p) {
    if (empty) {
      min = max = p;
      empty = false;
      return;
    }
    min = Vector(p.x < min.x ? p.x : min.x, p.y < min.y ? p.y : min.y, p.z < min.z ? p.z : min.z);
    max = Vector(p.x > max.x ? p.x : max.x, p.y > max.y ? p.y : max.y, p.z > max.z ? p.z : max.z);
  }
  void add(const Bounds& b) {
    if (!b.empty) {
      add(b.min);
      add(b.max);
    }
  }
};

// Bounds of all the mesh's points.
Bounds mesh_bounds(const Mesh& mesh);

// First problem found (index out of range, non-finite point, a face of fewer
// than three corners, an attribute list of the wrong length, a material or
// group index out of range) as a message naming the mesh, or an empty string
// for a sound mesh.
std::string check_mesh(const Mesh& mesh);

}  // namespace kurvo::media

#endif
