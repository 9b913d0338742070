#include "gltf_writer.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <string_view>

#include "progress.h"
#include "gltf_document.h"
#include "normal_renewal.h"
#include "path_text.h"

namespace kurvo::media {
namespace {

using gltf::BufferBuilder;
using gltf::Images;
using gltf::material_json;
using gltf::Json;

constexpr int kPoints = 0, kTriangles = 4;
constexpr uint32_t kNone = UINT32_MAX;

// A mesh whose arrays go into the file after the document, in the order its
// accessors were reserved: positions; for polygons then normals, each UV set
// and the point colours, and one index list per material. Made while
// writing, they never sit in a buffer of their own.
struct StreamedMesh {
  const Mesh* mesh = nullptr;
  DerivedPolygons derived;  // the quads and triangles, with their faces and corners
  VertexLayout layout;      // vertices split where normals differ
  // With UV sets, vertices are split further where UVs differ: per output
  // vertex the layout vertex it refines and a mesh corner whose UVs it
  // takes; per polygon corner (four a polygon) its output vertex. Empty
  // without UV sets: the layout's vertices are the output's.
  std::vector<uint32_t> refines, uv_corner, polygon_vertex;
  // Polygons in the order of their materials' primitives, and where each
  // primitive's run starts (one more entry than primitives).
  std::vector<uint32_t> order;
  std::vector<size_t> run_start;

  size_t vertex_count() const { return refines.empty() ? layout.source_point.size() : refines.size(); }
  uint32_t point_of(size_t v) const { return layout.source_point[refines.empty() ? v : refines[v]]; }
  uint32_t layout_vertex_at(size_t polygon, size_t k) const {
    const Polygon& q = derived.polygons[polygon];
    const int32_t c[4] = {q.a, q.b, q.c, q.d};
    const uint32_t shared = layout.point_vertex[static_cast<size_t>(c[k])];
    return shared != VertexLayout::kPerCorner ? shared : layout.corner_vertex[polygon * 4 + k];
  }
  uint32_t vertex_at(size_t polygon, size_t k) const {
    return polygon_vertex.empty() ? layout_vertex_at(polygon, k) : polygon_vertex[polygon * 4 + k];
  }
};

template <class T>
std::string_view bytes_of(const T* data, size_t count) {
  return {reinterpret_cast<const char*>(data), count * sizeof(T)};
}

// Splits the layout's vertices where corners of one vertex carry other UVs.
void split_by_uvs(StreamedMesh& m) {
  const Mesh& mesh = *m.mesh;
  if (mesh.uv_sets.empty()) return;
  const size_t polygons = m.derived.polygons.size();
  // Per layout vertex the first output vertex made for it, then a link per
  // output vertex to the next one made for the same layout vertex.
  std::vector<uint32_t> first(m.layout.source_point.size(), kNone), next;
  m.polygon_vertex.resize(polygons * 4);
  m.refines.reserve(m.layout.source_point.size());
  m.uv_corner.reserve(m.layout.source_point.size());
  next.reserve(m.layout.source_point.size());
  const auto same_uvs = [&](uint32_t a, uint32_t b) {
    for (const UvSet& set : mesh.uv_sets)
      if (!(set.uvs[a] == set.uvs[b])) return false;
    return true;
  };
  for (size_t p = 0; p < polygons; ++p) {
    const size_t corners = m.derived.polygons[p].is_triangle() ? 3 : 4;
    for (size_t k = 0; k < corners; ++k) {
      const uint32_t lv = m.layout_vertex_at(p, k);
      const uint32_t corner = m.derived.corners[p * 4 + k];
      uint32_t v = first[lv], last = kNone;
      while (v != kNone && !same_uvs(m.uv_corner[v], corner)) last = v, v = next[v];
      if (v == kNone) {
        v = static_cast<uint32_t>(m.refines.size());
        m.refines.push_back(lv);
        m.uv_corner.push_back(corner);
        next.push_back(kNone);
        (last == kNone ? first[lv] : next[last]) = v;
      }
      m.polygon_vertex[p * 4 + k] = v;
    }
    if (corners == 3) m.polygon_vertex[p * 4 + 3] = m.polygon_vertex[p * 4 + 2];
  }
}

// The polygons grouped by material, each group in polygon order.
void order_by_material(StreamedMesh& m, size_t materials) {
  const Mesh& mesh = *m.mesh;
  const size_t polygons = m.derived.polygons.size();
  const auto material_of = [&](size_t p) -> size_t {
    return mesh.face_material.empty() ? 0 : mesh.face_material[m.derived.face[p]];
  };
  std::vector<size_t> count(std::max<size_t>(materials, 1) + 1, 0);
  for (size_t p = 0; p < polygons; ++p) ++count[material_of(p) + 1];
  for (size_t i = 1; i < count.size(); ++i) count[i] += count[i - 1];
  m.run_start = count;
  m.order.resize(polygons);
  for (size_t p = 0; p < polygons; ++p) m.order[count[material_of(p)]++] = static_cast<uint32_t>(p);
}

void write_arrays(const std::vector<StreamedMesh>& meshes, const std::function<void(std::string_view)>& out) {
  static_assert(sizeof(Vector) == 12, "Vectors are written as three packed floats");
  constexpr size_t kChunk = size_t(1) << 15;
  std::vector<Vector> chunk;
  std::vector<float> pairs;
  std::vector<uint32_t> triangles;
  for (const StreamedMesh& m : meshes) {
    const Mesh& mesh = *m.mesh;
    const std::vector<Vector>& points = mesh.points;
    if (m.derived.polygons.empty()) {
      out(bytes_of(points.data(), points.size()));
      continue;
    }
    const size_t vertices = m.vertex_count();
    // Each per-vertex array a chunk at a time.
    const auto vectors = [&](const auto& value_of) {
      for (size_t begin = 0; begin < vertices; begin += kChunk) {
        const size_t end = std::min(vertices, begin + kChunk);
        chunk.resize(end - begin);
        for (size_t v = begin; v < end; ++v) chunk[v - begin] = value_of(v);
        out(bytes_of(chunk.data(), chunk.size()));
      }
    };
    vectors([&](size_t v) { return points[m.point_of(v)]; });
    if (m.refines.empty())
      out(bytes_of(m.layout.normals.data(), m.layout.normals.size()));
    else
      vectors([&](size_t v) { return m.layout.normals[m.refines[v]]; });
    for (const UvSet& set : mesh.uv_sets)
      for (size_t begin = 0; begin < vertices; begin += kChunk) {
        const size_t end = std::min(vertices, begin + kChunk);
        pairs.clear();
        // glTF's t runs down the picture.
        for (size_t v = begin; v < end; ++v) {
          const Uv& uv = set.uvs[m.uv_corner[v]];
          pairs.push_back(uv.u);
          pairs.push_back(1.0f - uv.v);
        }
        out(bytes_of(pairs.data(), pairs.size()));
      }
    if (!mesh.point_colours.empty()) vectors([&](size_t v) {
        const Vector& c = mesh.point_colours[m.point_of(v)];
        return Vector(std::clamp(c.x, 0.0f, 1.0f), std::clamp(c.y, 0.0f, 1.0f), std::clamp(c.z, 0.0f, 1.0f));
      });
    for (size_t r = 0; r + 1 < m.run_start.size(); ++r) {
      for (size_t begin = m.run_start[r]; begin < m.run_start[r + 1]; begin += kChunk) {
        triangles.clear();
        for (size_t i = begin; i < std::min(m.run_start[r + 1], begin + kChunk); ++i) {
          const size_t p = m.order[i];
          const uint32_t a = m.vertex_at(p, 0), c = m.vertex_at(p, 2);
          triangles.insert(triangles.end(), {a, m.vertex_at(p, 1), c});
          if (!m.derived.polygons[p].is_triangle()) triangles.insert(triangles.end(), {a, c, m.vertex_at(p, 3)});
        }
        out(bytes_of(triangles.data(), triangles.size()));
      }
    }
  }
}

}  // namespace

namespace {

// The mesh's primitives: one per material its faces use (one for all when
// it has no materials), sharing one set of vertices.
Result<Json> primitives_for(StreamedMesh& streamed, NormalStyle normals, const std::string& name, Json& materials,
                            gltf::Materials& written, Images& images, BufferBuilder& buffer) {
  const Mesh& mesh = *streamed.mesh;
  Bounds bounds;
  const bool kept_normals = normals == NormalStyle::smooth && mesh.keep_corner_normals &&
                            mesh.corner_normals.size() == mesh.corners.size();
  // Smoothing groups or authored normals say where the surface is smooth and
  // where hard; the crease angle decides only for a mesh without either.
  const bool split_as_authored =
      normals == NormalStyle::smooth && !kept_normals &&
      (!mesh.face_smooth_group.empty() || mesh.corner_normals.size() == mesh.corners.size());
  const bool need_corners =
      kept_normals || split_as_authored || !mesh.uv_sets.empty() || !mesh.face_material.empty() || !faces_are_polygons(mesh);
  if (need_corners)
    streamed.derived = derive_polygons(mesh);
  else
    streamed.derived.polygons = mesh_polygons(mesh);
  if (streamed.derived.polygons.empty()) {
    for (const Vector& p : mesh.points) bounds.add(p);
    materials.push_back(gltf::material_for(mesh.colour, name));
    return Json::array({Json{{"attributes", Json{{"POSITION", buffer.reserve_vectors(mesh.points.size(), bounds)}}},
                             {"material", materials.size() - 1},
                             {"mode", kPoints}}});
  }
  if (kept_normals) {
    streamed.layout = layout_by_given_normals(mesh.points.size(), streamed.derived.polygons,
                                              streamed.derived.corners, mesh.corner_normals);
  } else if (split_as_authored) {
    const IndexedNormals renewed = renew_normals(mesh);
    streamed.layout = layout_by_indexed_normals(mesh.points.size(), streamed.derived.polygons,
                                                streamed.derived.corners, renewed.normals, renewed.corner);
  } else {
    streamed.layout = layout_by_normals(mesh.points, streamed.derived.polygons, normals);
  }
  split_by_uvs(streamed);
  const size_t used_materials = mesh.face_material.empty() ? 1 : mesh.materials.size();
  order_by_material(streamed, used_materials);
  const size_t vertices = streamed.vertex_count();
  for (size_t v = 0; v < vertices; ++v) bounds.add(mesh.points[streamed.point_of(v)]);
  Json attributes = {{"POSITION", buffer.reserve_vectors(vertices, bounds)},
                     {"NORMAL", buffer.reserve_vectors(vertices, std::nullopt)}};
  for (size_t s = 0; s < mesh.uv_sets.size(); ++s)
    attributes["TEXCOORD_" + std::to_string(s)] = buffer.reserve_floats(vertices, 2);
  if (!mesh.point_colours.empty()) attributes["COLOR_0"] = buffer.reserve_floats(vertices, 3);
  Json primitives = Json::array();
  for (size_t r = 0; r < used_materials; ++r) {
    size_t indices = 0;
    for (size_t i = streamed.run_start[r]; i < streamed.run_start[r + 1]; ++i)
      indices += streamed.derived.polygons[streamed.order[i]].is_triangle() ? 3 : 6;
    if (indices == 0) continue;  // a material no face uses: no primitive (its run writes nothing)
    const int accessor = buffer.reserve_indices(indices);
    size_t material = 0;
    if (mesh.materials.empty()) {
      materials.push_back(gltf::material_for(mesh.colour, name));
      material = materials.size() - 1;
    } else {
      const Material& source = mesh.materials[r];
      auto made = written.index(source, name + "." + std::to_string(r), !mesh.uv_sets.empty(), materials, images, buffer);
      if (!made) return made.status();
      material = made.value();
    }
    primitives.push_back(Json{{"attributes", attributes},
                              {"indices", accessor},
                              {"material", material},
                              {"mode", kTriangles}});
  }
  return primitives;
}

}  // namespace

Status write_gltf(const std::vector<Mesh>& meshes, const std::filesystem::path& file, GltfContainer container,
                  NormalStyle normals) {
  Json root;
  root["asset"] = {{"version", "2.0"}, {"generator", "kurvo"}};
  root["scene"] = 0;
  Json nodes = Json::array(), gltf_meshes = Json::array(), materials = Json::array();
  BufferBuilder buffer(root);
  Images images(file, container);
  gltf::Materials written;
  std::vector<StreamedMesh> streamed;
  streamed.reserve(meshes.size());
  for (size_t i = 0; i < meshes.size(); ++i) {
    const Mesh& mesh = meshes[i];
    const std::string name = mesh.name.empty() ? "mesh" + std::to_string(i) : mesh.name;
    Json node = {{"name", name}};
    if (!mesh.points.empty()) {  // glTF has no empty primitive
      streamed.emplace_back().mesh = &mesh;
      auto primitives = primitives_for(streamed.back(), normals, name, materials, written, images, buffer);
      if (!primitives) return primitives.status();
      gltf_meshes.push_back(Json{{"name", name}, {"primitives", std::move(primitives.value())}});
      node["mesh"] = gltf_meshes.size() - 1;
    }
    nodes.push_back(std::move(node));
  }
  Json scene_nodes = Json::array();
  for (size_t i = 0; i < nodes.size(); ++i) scene_nodes.push_back(i);
  root["scenes"] = Json::array({Json{{"nodes", std::move(scene_nodes)}}});
  root["nodes"] = std::move(nodes);
  if (!gltf_meshes.empty()) {
    root["meshes"] = std::move(gltf_meshes);
    root["materials"] = std::move(materials);
  }
  images.put(root);
  buffer.place_reserved();
  const gltf::StreamedTail arrays{buffer.reserved_bytes(),
                                  [&](const std::function<void(std::string_view)>& out) {
                                    uint64_t points = 0;
                                    for (const Mesh& m : meshes) points += m.points.size();
                                    FileProgress progress = FileProgress::bytes(
                                        "writing " + file.filename().string(), buffer.reserved_bytes(), points);
                                    write_arrays(streamed, [&](std::string_view bytes) {
                                      out(bytes);
                                      progress.add(bytes.size());
                                    });
                                  }};
  return gltf::write_document(root, buffer.bytes(), file, container, arrays);
}

}  // namespace kurvo::media
