#include "gltf_writer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "atomic_file.h"
#include "path_text.h"
#include "text_sink.h"

namespace kurvo::media {
namespace {

using Json = nlohmann::ordered_json;

constexpr int kFloat = 5126, kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;
constexpr int kPoints = 0, kTriangles = 4;

// Floats as JSON numbers that print in their shortest form.
double shortest(float v) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text - 1, v);
  *end = '\0';
  return std::strtod(text, nullptr);
}

float unit_interval(float v) { return v > 0.0f ? std::min(v, 1.0f) : 0.0f; }  // NaN gives 0

// The binary buffer and the views and accessors that describe it.
class BufferBuilder {
 public:
  explicit BufferBuilder(Json& root) : root_(root) {
    root_["bufferViews"] = Json::array();
    root_["accessors"] = Json::array();
  }

  int add_vectors(const std::vector<Vector>& values, bool with_bounds) {
    const size_t offset = bytes_.size();
    bytes_.resize(offset + values.size() * 12);
    for (size_t i = 0; i < values.size(); ++i) {
      const float xyz[3] = {values[i].x, values[i].y, values[i].z};
      std::memcpy(&bytes_[offset + i * 12], xyz, 12);
    }
    Json accessor = {{"bufferView", add_view(offset, kArrayBuffer)},
                     {"componentType", kFloat},
                     {"count", values.size()},
                     {"type", "VEC3"}};
    if (with_bounds) {
      Bounds b;
      for (const Vector& v : values) b.add(v);
      accessor["min"] = {shortest(b.min.x), shortest(b.min.y), shortest(b.min.z)};
      accessor["max"] = {shortest(b.max.x), shortest(b.max.y), shortest(b.max.z)};
    }
    return add_accessor(std::move(accessor));
  }

  int add_indices(const std::vector<uint32_t>& indices) {
    const size_t offset = bytes_.size();
    bytes_.resize(offset + indices.size() * 4);
    std::memcpy(&bytes_[offset], indices.data(), indices.size() * 4);
    return add_accessor({{"bufferView", add_view(offset, kElementArrayBuffer)},
                         {"componentType", kUnsignedInt},
                         {"count", indices.size()},
                         {"type", "SCALAR"}});
  }

  // Room for `more` bytes, so that the arrays of a large mesh are not moved
  // by the growing buffer again and again.
  void reserve_more(size_t more) { bytes_.reserve(bytes_.size() + more); }
  std::string& bytes() { return bytes_; }

 private:
  int add_view(size_t offset, int target) {
    Json& views = root_["bufferViews"];
    views.push_back({{"buffer", 0}, {"byteOffset", offset}, {"byteLength", bytes_.size() - offset}, {"target", target}});
    return static_cast<int>(views.size() - 1);
  }
  int add_accessor(Json accessor) {
    Json& accessors = root_["accessors"];
    accessors.push_back(std::move(accessor));
    return static_cast<int>(accessors.size() - 1);
  }

  Json& root_;
  std::string bytes_;
};

Json material_for(const Mesh& mesh, const std::string& name) {
  // A plain dielectric: glTF's default of a fully metallic surface renders
  // nearly black in most viewers.
  Json pbr = {{"metallicFactor", 0}, {"roughnessFactor", shortest(0.7f)}};
  if (mesh.colour)
    pbr["baseColorFactor"] = {shortest(unit_interval(mesh.colour->x)), shortest(unit_interval(mesh.colour->y)),
                              shortest(unit_interval(mesh.colour->z)), 1};
  return Json{{"name", name}, {"pbrMetallicRoughness", std::move(pbr)}};
}

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

// A file name as a relative URI: everything but unreserved characters escaped.
std::string uri_of(const std::string& name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

void pad_to_four(std::string& s, char with) {
  while (s.size() % 4 != 0) s += with;
}

void append_u32(std::string& out, uint32_t v) {
  char b[4];
  std::memcpy(b, &v, 4);  // glTF is little-endian, as every supported platform
  out.append(b, 4);
}

// A .glb: header, the JSON chunk and the binary chunk, written straight to
// the file rather than joined into one more copy of the buffer first.
Status write_glb(const std::filesystem::path& file, std::string json, const std::string& bin) {
  pad_to_four(json, ' ');
  const size_t bin_padding = (4 - bin.size() % 4) % 4;
  const size_t bin_size = bin.size() + bin_padding;
  std::string head = "glTF";
  append_u32(head, 2);
  append_u32(head, static_cast<uint32_t>(12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin_size)));
  append_u32(head, static_cast<uint32_t>(json.size()));
  head += "JSON";
  StagedFiles files;
  TextSink sink(files.stage(file), file);
  sink.append(head);
  sink.append(json);
  if (!bin.empty()) {
    std::string chunk;
    append_u32(chunk, static_cast<uint32_t>(bin_size));
    chunk += "BIN";
    chunk += '\0';
    sink.append(chunk);
    sink.append(bin);
    sink.append(std::string(bin_padding, '\0'));
  }
  if (Status s = sink.finish(); !s.ok()) return s;
  return files.commit(file);
}

// Writes one staged file; messages name the file the user asked for.
Status write_staged(const std::filesystem::path& temp, const std::filesystem::path& file, const std::string& content) {
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return Status::failure("cannot write " + quoted(file) + ": " + std::strerror(errno));
  const bool wrote = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  const int write_errno = errno;
  const bool closed = std::fclose(f) == 0;
  if (!wrote || !closed)
    return Status::failure("cannot write " + quoted(file) + ": " + std::strerror(wrote ? errno : write_errno));
  return Status::success();
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
      materials.push_back(material_for(mesh, name));
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
  std::string& bin = buffer.bytes();
  if (bin.empty()) {
    root.erase("bufferViews");
    root.erase("accessors");
  }

  if (container == GltfContainer::binary) {
    // A .glb states its length in 32 bits.
    if (bin.size() > 0xFFFF0000u)
      return Status::failure("cannot write " + quoted(file) + ": the meshes need more than 4 GB, too much for .glb");
    if (!bin.empty()) root["buffers"] = Json::array({Json{{"byteLength", bin.size()}}});
    return write_glb(file, root.dump(), bin);
  }
  std::filesystem::path bin_file = file;
  bin_file.replace_extension(".bin");
  if (!bin.empty())
    root["buffers"] = Json::array({Json{{"byteLength", bin.size()}, {"uri", uri_of(bin_file.filename().string())}}});
  StagedFiles files;
  if (!bin.empty()) {
    if (Status s = write_staged(files.stage(bin_file), bin_file, bin); !s.ok()) return s;
  }
  if (Status s = write_staged(files.stage(file), file, root.dump(1, ' ') + "\n"); !s.ok()) return s;
  return files.commit(file);
}

}  // namespace kurvo::media
