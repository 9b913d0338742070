#include "gltf_writer.h"

#include <string>

#include "gltf_document.h"

namespace kurvo::media {
namespace {

using gltf::BufferBuilder;
using gltf::Json;

constexpr int kPoints = 0, kTriangles = 4;

Json primitive_for(const Mesh& mesh, NormalStyle normals, int material, BufferBuilder& buffer) {
  if (mesh.polygons.empty())
    return Json{{"attributes", Json{{"POSITION", buffer.add_vectors(mesh.points, true)}}},
                {"material", material},
                {"mode", kPoints}};
  const NormalSplit split = split_by_normals(mesh, normals);
  buffer.reserve_more(split.source_point.size() * 24 + split.triangles.size() * 4);
  std::vector<Vector> positions(split.source_point.size());
  for (size_t v = 0; v < positions.size(); ++v) positions[v] = mesh.points[split.source_point[v]];
  const int position = buffer.add_vectors(positions, true);
  const int normal = buffer.add_vectors(split.normals, false);
  return Json{{"attributes", Json{{"POSITION", position}, {"NORMAL", normal}}},
          {"indices", buffer.add_indices(split.triangles)},
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
  for (size_t i = 0; i < meshes.size(); ++i) {
    const Mesh& mesh = meshes[i];
    const std::string name = mesh.name.empty() ? "mesh" + std::to_string(i) : mesh.name;
    Json node = {{"name", name}};
    if (!mesh.points.empty()) {  // glTF has no empty primitive
      const int material = static_cast<int>(materials.size());
      materials.push_back(gltf::material_for(mesh.colour, name));
      Json primitives = Json::array({primitive_for(mesh, normals, material, buffer)});
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
  return gltf::write_document(root, buffer.bytes(), file, container);
}

}  // namespace kurvo::media
