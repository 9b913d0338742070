#include "gltf_writer.h"

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>

#include "gltf_document.h"

namespace kurvo::media {
namespace {

using gltf::BufferBuilder;
using gltf::Json;

constexpr int kPoints = 0, kTriangles = 4;

// A mesh whose arrays go into the file after the document, in the order its
// accessors were reserved: positions, then normals and indices if it has
// polygons. Made while writing, they never sit in a buffer of their own.
struct StreamedMesh {
  const Mesh* mesh;
  std::vector<Polygon> polygons;  // the mesh's quads and triangles
  VertexLayout layout;  // empty for a mesh of points
};

template <class T>
std::string_view bytes_of(const T* data, size_t count) {
  return {reinterpret_cast<const char*>(data), count * sizeof(T)};
}

void write_arrays(const std::vector<StreamedMesh>& meshes, const std::function<void(std::string_view)>& out) {
  static_assert(sizeof(Vector) == 12, "Vectors are written as three packed floats");
  constexpr size_t kChunk = size_t(1) << 15;
  std::vector<Vector> chunk;
  std::vector<uint32_t> triangles;
  for (const StreamedMesh& m : meshes) {
    const std::vector<Vector>& points = m.mesh->points;
    if (m.polygons.empty()) {
      out(bytes_of(points.data(), points.size()));
      continue;
    }
    // Positions and triangles made a chunk at a time: a vertex copies its
    // point, a polygon's corners name their vertices.
    const std::vector<uint32_t>& source = m.layout.source_point;
    for (size_t begin = 0; begin < source.size(); begin += kChunk) {
      const size_t end = std::min(source.size(), begin + kChunk);
      chunk.resize(end - begin);
      for (size_t v = begin; v < end; ++v) chunk[v - begin] = points[source[v]];
      out(bytes_of(chunk.data(), chunk.size()));
    }
    out(bytes_of(m.layout.normals.data(), m.layout.normals.size()));
    const std::vector<Polygon>& polygons = m.polygons;
    for (size_t begin = 0; begin < polygons.size(); begin += kChunk) {
      triangles.clear();
      for (size_t f = begin; f < std::min(polygons.size(), begin + kChunk); ++f)
        m.layout.append_triangles(polygons, f, triangles);
      out(bytes_of(triangles.data(), triangles.size()));
    }
  }
}

Json primitive_for(StreamedMesh& streamed, NormalStyle normals, int material, BufferBuilder& buffer) {
  const Mesh& mesh = *streamed.mesh;
  Bounds bounds;
  streamed.polygons = mesh_polygons(mesh);
  if (streamed.polygons.empty()) {
    for (const Vector& p : mesh.points) bounds.add(p);
    return Json{{"attributes", Json{{"POSITION", buffer.reserve_vectors(mesh.points.size(), bounds)}}},
                {"material", material},
                {"mode", kPoints}};
  }
  streamed.layout = layout_by_normals(mesh.points, streamed.polygons, normals);
  const VertexLayout& layout = streamed.layout;
  for (uint32_t p : layout.source_point) bounds.add(mesh.points[p]);
  const int position = buffer.reserve_vectors(layout.source_point.size(), bounds);
  const int normal = buffer.reserve_vectors(layout.normals.size(), std::nullopt);
  return Json{{"attributes", Json{{"POSITION", position}, {"NORMAL", normal}}},
              {"indices", buffer.reserve_indices(VertexLayout::triangle_indices(streamed.polygons))},
              {"material", material},
              {"mode", kTriangles}};
}

}  // namespace

Status write_gltf(const std::vector<Mesh>& meshes, const std::filesystem::path& file, GltfContainer container,
                  NormalStyle normals) {
  Json root;
  root["asset"] = {{"version", "2.0"}, {"generator", "kurvo"}};
  root["scene"] = 0;
  Json nodes = Json::array(), gltf_meshes = Json::array(), materials = Json::array();
  BufferBuilder buffer(root);
  std::vector<StreamedMesh> streamed;
  streamed.reserve(meshes.size());
  for (size_t i = 0; i < meshes.size(); ++i) {
    const Mesh& mesh = meshes[i];
    const std::string name = mesh.name.empty() ? "mesh" + std::to_string(i) : mesh.name;
    Json node = {{"name", name}};
    if (!mesh.points.empty()) {  // glTF has no empty primitive
      const int material = static_cast<int>(materials.size());
      materials.push_back(gltf::material_for(mesh.colour, name));
      streamed.push_back(StreamedMesh{&mesh, {}, {}});
      Json primitives = Json::array({primitive_for(streamed.back(), normals, material, buffer)});
      gltf_meshes.push_back(Json{{"name", name}, {"primitives", std::move(primitives)}});
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
  buffer.place_reserved();
  const gltf::StreamedTail arrays{buffer.reserved_bytes(),
                                  [&](const std::function<void(std::string_view)>& out) { write_arrays(streamed, out); }};
  return gltf::write_document(root, buffer.bytes(), file, container, arrays);
}

}  // namespace kurvo::media
