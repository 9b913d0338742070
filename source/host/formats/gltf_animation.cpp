#include "gltf_animation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gltf_document.h"
#include "object_frames.h"
#include "path_text.h"
#include "surface_normals.h"

namespace kurvo::media {
namespace {

using gltf::BufferBuilder;
using gltf::Json;
using gltf::shortest;

constexpr int kPoints = 0, kTriangles = 4;

// A frame number as people write it: "12", "12.5", "1000000000".
std::string number_text(double v) {
  char text[400];  // room for the largest double in fixed notation
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed);
  return ec == std::errc() ? std::string(text, end) : std::string("?");
}

// The parts of the document being built.
struct Document {
  explicit Document(Json& root) : buffer(root) {}
  BufferBuilder buffer;
  Json nodes = Json::array(), meshes = Json::array(), materials = Json::array();
  Json samplers = Json::array(), channels = Json::array();
  int key_times = -1;    // accessor, once the first channel needs it
  int weight_keys = -1;  // accessor shared by every weights channel
};

class AnimatedWriter {
 public:
  AnimatedWriter(const FrameSeries& series, const std::filesystem::path& file, const ExportOptions& options, Json& root)
      : series_(series), file_(file), options_(options), doc_(root),
        images_(file, lower_extension(file) == ".glb" ? GltfContainer::binary : GltfContainer::text) {}

  Status add(size_t index) {
    const AnimatedMesh& mesh = series_.meshes[index];
    const std::string name = mesh.name.empty() ? "mesh" + std::to_string(index) : mesh.name;
    if (Status s = check_shape(mesh, name); !s.ok()) return s;
    const ObjectFrames frames(mesh, options_);
    const auto node_index = static_cast<int>(doc_.nodes.size());
    Json node = {{"name", name}};
    if (!mesh.points[0].empty()) {
      Result<std::optional<Json>> gltf_mesh = mesh_for(frames, mesh, name, node_index);
      if (!gltf_mesh) return gltf_mesh.status();
      if (!gltf_mesh.value()) return failure(name, "a point is not a finite number, or too large at this scale");
      doc_.meshes.push_back(std::move(*gltf_mesh.value()));
      node["mesh"] = doc_.meshes.size() - 1;
    }
    if (!frames.baked()) place(frames.transforms(), node, node_index);
    doc_.nodes.push_back(std::move(node));
    return Status::success();
  }

  // Scene, nodes, meshes and the animation into the root.
  void finish(Json& root) {
    Json scene_nodes = Json::array();
    for (size_t i = 0; i < doc_.nodes.size(); ++i) scene_nodes.push_back(i);
    root["scenes"] = Json::array({Json{{"nodes", std::move(scene_nodes)}}});
    root["nodes"] = std::move(doc_.nodes);
    if (!doc_.meshes.empty()) {
      root["meshes"] = std::move(doc_.meshes);
      root["materials"] = std::move(doc_.materials);
    }
    images_.put(root);
    if (!doc_.channels.empty())
      root["animations"] = Json::array(
          {Json{{"name", "Take"}, {"channels", std::move(doc_.channels)}, {"samplers", std::move(doc_.samplers)}}});
    doc_.buffer.place_reserved();
  }

  std::string& bytes() { return doc_.buffer.bytes(); }

  // The morph targets, made while the file is written.
  gltf::StreamedTail targets() const {
    return {doc_.buffer.reserved_bytes(),
            [this](const std::function<void(std::string_view)>& out) { write_targets(out); }};
  }

 private:
  // The bytes of every morph target, in the order reserved: per mesh, per
  // sample, the position displacements and then the normal displacements.
  void write_targets(const std::function<void(std::string_view)>& out) const {
    std::vector<Vector> points, normals, displacement;
    const auto bytes = [](const std::vector<Vector>& v) {
      return std::string_view(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(Vector));
    };
    for (const Morph& morph : morphs_) {
      std::optional<LayoutNormals> layout_normals;
      if (morph.split) layout_normals.emplace(morph.polygons, morph.point_count, *morph.split, options_.normals);
      const size_t vertices = morph.source_point.size();
      displacement.resize(vertices);
      for (size_t s = 1; s < series_.samples(); ++s) {
        morph.frames.points_at(s, points);  // checked when planned
        for (size_t v = 0; v < vertices; ++v) displacement[v] = points[morph.source_point[v]] - morph.base_positions[v];
        out(bytes(displacement));
        if (layout_normals) {
          layout_normals->compute(points, normals);
          for (size_t v = 0; v < vertices; ++v) displacement[v] = normals[v] - morph.split->normals[v];
          out(bytes(displacement));
        }
      }
    }
  }

  Status failure(const std::string& object, const std::string& problem) const {
    return Status::failure("cannot write " + quoted(file_) + ": object \"" + object + "\": " + problem);
  }

  Status check_shape(const AnimatedMesh& mesh, const std::string& name) const {
    const size_t samples = series_.samples();
    if (mesh.placements.size() != samples || mesh.points.size() != samples)
      return failure(name, "has " + std::to_string(mesh.points.size()) + " point sets and " +
                               std::to_string(mesh.placements.size()) + " placements for " +
                               std::to_string(samples) + " frames");
    for (size_t s = 1; s < samples; ++s)
      if (mesh.points[s].size() != mesh.points[0].size())
        return failure(name, "has " + std::to_string(mesh.points[0].size()) + " points at frame " +
                                 number_text(series_.frames[0]) + " but " + std::to_string(mesh.points[s].size()) +
                                 " at frame " + number_text(series_.frames[s]));
    const auto count = static_cast<int64_t>(mesh.points[0].size());
    for (size_t i = 0; i < mesh.polygons.size(); ++i) {
      const Polygon& q = mesh.polygons[i];
      for (int32_t corner : {q.a, q.b, q.c, q.d})
        if (corner < 0 || corner >= count)
          return failure(name, "polygon " + std::to_string(i) + " uses point " + std::to_string(corner) + " of " +
                                   std::to_string(count));
    }
    return Status::success();
  }

  // The file's attributes, where the object still has the file's faces:
  // the split layout refined where corners of one vertex carry other UVs,
  // and the triangles grouped by the material of their face.
  struct Attributes {
    std::vector<uint32_t> uv_corner;          // per vertex, a surface corner whose UVs it takes
    std::vector<std::vector<uint32_t>> runs;  // per material, its triangles' vertex indices
  };

  std::optional<Attributes> refine(const AnimatedMesh& mesh, const std::vector<Polygon>& polygons,
                                   NormalSplit& split) const {
    const Mesh& surface = mesh.surface;
    if (surface.face_count() == 0 ||
        (surface.uv_sets.empty() && surface.point_colours.empty() && surface.face_material.empty()))
      return std::nullopt;
    const DerivedPolygons derived = derive_polygons(surface);
    if (derived.polygons.size() != polygons.size()) return std::nullopt;
    Attributes out;
    const size_t materials = surface.face_material.empty() ? 1 : std::max<size_t>(surface.materials.size(), 1);
    out.runs.resize(materials);
    std::vector<uint32_t> first(split.source_point.size(), UINT32_MAX), next;
    NormalSplit refined;
    refined.triangles.resize(split.triangles.size());
    const auto same_uvs = [&](uint32_t a, uint32_t b) {
      for (const UvSet& set : surface.uv_sets)
        if (!(set.uvs[a] == set.uvs[b])) return false;
      return true;
    };
    size_t t = 0;
    for (size_t p = 0; p < polygons.size(); ++p) {
      const Polygon& own = derived.polygons[p];
      const int32_t points[4] = {own.a, own.b, own.c, own.d};
      const size_t material = surface.face_material.empty() ? 0 : surface.face_material[derived.face[p]];
      const size_t end = t + (polygons[p].is_triangle() ? 3 : 6);
      for (; t < end; ++t) {
        const uint32_t v = split.triangles[t];
        // The corner of the file's face at this vertex's point.
        const auto point = static_cast<int32_t>(split.source_point[v]);
        size_t k = 0;
        while (k < 4 && points[k] != point) ++k;
        if (k == 4) return std::nullopt;  // not the file's face after all
        const uint32_t corner = derived.corners[p * 4 + k];
        uint32_t r = first[v], last = UINT32_MAX;
        while (r != UINT32_MAX && !same_uvs(out.uv_corner[r], corner)) last = r, r = next[r];
        if (r == UINT32_MAX) {
          r = static_cast<uint32_t>(refined.source_point.size());
          refined.source_point.push_back(split.source_point[v]);
          refined.normals.push_back(split.normals[v]);
          out.uv_corner.push_back(corner);
          next.push_back(UINT32_MAX);
          (last == UINT32_MAX ? first[v] : next[last]) = r;
        }
        refined.triangles[t] = r;
        out.runs[std::min(material, materials - 1)].push_back(r);
      }
    }
    split = std::move(refined);
    return out;
  }

  // The mesh, with its morph targets planned and its weights channel when
  // it deforms; none when a point does not fit a float.
  Result<std::optional<Json>> mesh_for(const ObjectFrames& frames, const AnimatedMesh& mesh, const std::string& name,
                                       int node_index) {
    std::vector<Polygon> polygons = frames.polygons();
    Mesh base;
    base.name = name;
    base.colour = mesh.colour;
    for (const Polygon& q : polygons) base.add_polygon(q);
    if (!frames.points_at(0, base.points)) return std::optional<Json>();

    // The layout: which point each vertex copies, and the triangles.
    std::optional<NormalSplit> split;
    std::optional<Attributes> attributes_of_file;
    std::vector<uint32_t> source_point;
    if (polygons.empty()) {
      source_point.resize(base.points.size());
      for (size_t i = 0; i < source_point.size(); ++i) source_point[i] = static_cast<uint32_t>(i);
    } else {
      split = split_by_normals(base, options_.normals);
      attributes_of_file = refine(mesh, polygons, *split);
      source_point = split->source_point;
    }
    const size_t vertices = source_point.size();
    doc_.buffer.reserve_more(vertices * (split ? 24 : 12) + (split ? split->triangles.size() * 4 : 0));
    std::vector<Vector> base_positions(vertices);
    for (size_t v = 0; v < vertices; ++v) base_positions[v] = base.points[source_point[v]];
    Json attributes = {{"POSITION", doc_.buffer.add_vectors(base_positions, true)}};
    if (split) attributes["NORMAL"] = doc_.buffer.add_vectors(split->normals, false);
    const Mesh& surface = mesh.surface;
    if (attributes_of_file) {
      std::vector<float> values;
      for (size_t u = 0; u < surface.uv_sets.size(); ++u) {
        values.clear();
        for (size_t v = 0; v < vertices; ++v) {
          const Uv& uv = surface.uv_sets[u].uvs[attributes_of_file->uv_corner[v]];
          values.insert(values.end(), {uv.u, 1.0f - uv.v});  // glTF's t runs down the picture
        }
        attributes["TEXCOORD_" + std::to_string(u)] = doc_.buffer.add_vertex_floats(values, 2);
      }
      if (!surface.point_colours.empty()) {
        values.clear();
        for (size_t v = 0; v < vertices; ++v) {
          const Vector& c = surface.point_colours[source_point[v]];
          values.insert(values.end(),
                        {std::clamp(c.x, 0.0f, 1.0f), std::clamp(c.y, 0.0f, 1.0f), std::clamp(c.z, 0.0f, 1.0f)});
        }
        attributes["COLOR_0"] = doc_.buffer.add_vertex_floats(values, 3);
      }
    }
    // One primitive per material the faces use, all sharing the vertices.
    Json primitives = Json::array();
    if (attributes_of_file) {
      for (size_t r = 0; r < attributes_of_file->runs.size(); ++r) {
        if (attributes_of_file->runs[r].empty()) continue;
        Json primitive = {{"attributes", attributes}};
        primitive["indices"] = doc_.buffer.add_indices(attributes_of_file->runs[r]);
        if (surface.materials.empty()) {
          primitive["material"] = static_cast<int>(doc_.materials.size());
          doc_.materials.push_back(gltf::material_for(mesh.colour, name));
        } else {
          auto made = materials_.index(surface.materials[r], name + "." + std::to_string(r), !surface.uv_sets.empty(),
                                       doc_.materials, images_, doc_.buffer);
          if (!made) return made.status();
          primitive["material"] = static_cast<int>(made.value());
        }
        primitive["mode"] = kTriangles;
        primitives.push_back(std::move(primitive));
      }
    } else {
      Json primitive = {{"attributes", std::move(attributes)}};
      if (split) primitive["indices"] = doc_.buffer.add_indices(split->triangles);
      primitive["material"] = static_cast<int>(doc_.materials.size());
      primitive["mode"] = split ? kTriangles : kPoints;
      doc_.materials.push_back(gltf::material_for(mesh.colour, name));
      primitives.push_back(std::move(primitive));
    }

    Json gltf_mesh = {{"name", name}};
    if (!frames.deformed()) {
      gltf_mesh["primitives"] = std::move(primitives);
      return std::optional<Json>(std::move(gltf_mesh));
    }
    // Targets: accessors and position bounds now, the bytes when the file is written.
    Json targets = Json::array(), names = Json::array();
    std::vector<Vector> points;
    for (size_t s = 1; s < series_.samples(); ++s) {
      if (!frames.points_at(s, points)) return std::optional<Json>();
      Bounds moved;
      for (size_t v = 0; v < vertices; ++v) moved.add(points[source_point[v]] - base_positions[v]);
      Json target = {{"POSITION", doc_.buffer.reserve_vectors(vertices, moved)}};
      if (split) target["NORMAL"] = doc_.buffer.reserve_vectors(vertices, std::nullopt);
      targets.push_back(std::move(target));
      names.push_back("frame " + number_text(series_.frames[s]));
    }
    for (Json& primitive : primitives) primitive["targets"] = targets;
    gltf_mesh["primitives"] = std::move(primitives);
    gltf_mesh["weights"] = Json(std::vector<int>(series_.samples() - 1, 0));
    gltf_mesh["extras"] = {{"targetNames", std::move(names)}};
    add_channel(node_index, "weights", weight_keys());
    morphs_.push_back(Morph{frames, std::move(polygons), base.points.size(), std::move(split),
                            std::move(source_point), std::move(base_positions)});
    return std::optional<Json>(std::move(gltf_mesh));
  }

  // The node's transform at the first sample, and a channel for each path
  // that changes.
  void place(const std::vector<NodeTransform>& transforms, Json& node, int node_index) {
    const NodeTransform& first = transforms.front();
    const auto vec3 = [](const Vector& v) { return Json::array({shortest(v.x), shortest(v.y), shortest(v.z)}); };
    if (first.translation != Vector()) node["translation"] = vec3(first.translation);
    if (first.rotation != NodeTransform().rotation) {
      Json q = Json::array();
      for (float c : first.rotation) q.push_back(shortest(c));
      node["rotation"] = std::move(q);
    }
    if (first.scale != NodeTransform().scale) node["scale"] = vec3(first.scale);

    bool moves = false, turns = false, grows = false;
    for (const NodeTransform& t : transforms) {
      moves = moves || t.translation != first.translation;
      turns = turns || t.rotation != first.rotation;
      grows = grows || t.scale != first.scale;
    }
    std::vector<float> values;
    const auto key_vectors = [&](Vector NodeTransform::*member) {
      values.clear();
      for (const NodeTransform& t : transforms) {
        const Vector& v = t.*member;
        values.insert(values.end(), {v.x, v.y, v.z});
      }
      return doc_.buffer.add_floats(values, "VEC3");
    };
    if (moves) add_channel(node_index, "translation", key_vectors(&NodeTransform::translation));
    if (turns) {
      values.clear();
      for (const NodeTransform& t : transforms) values.insert(values.end(), t.rotation.begin(), t.rotation.end());
      add_channel(node_index, "rotation", doc_.buffer.add_floats(values, "VEC4"));
    }
    if (grows) add_channel(node_index, "scale", key_vectors(&NodeTransform::scale));
  }

  // Key k: every weight 0 at k = 0, else weight k-1 at 1.
  int weight_keys() {
    if (doc_.weight_keys < 0) {
      const size_t n = series_.samples(), targets = n - 1;
      std::vector<float> weights(n * targets, 0.0f);
      for (size_t k = 1; k < n; ++k) weights[k * targets + (k - 1)] = 1.0f;
      doc_.weight_keys = doc_.buffer.add_floats(weights, "SCALAR");
    }
    return doc_.weight_keys;
  }

  void add_channel(int node, const char* path, int output) {
    if (doc_.key_times < 0) {
      std::vector<float> seconds(series_.samples());
      for (size_t s = 0; s < seconds.size(); ++s) seconds[s] = static_cast<float>(series_.secondsAt(s));
      doc_.key_times = doc_.buffer.add_key_times(seconds);
    }
    const auto sampler = static_cast<int>(doc_.samplers.size());
    doc_.samplers.push_back({{"input", doc_.key_times}, {"interpolation", "LINEAR"}, {"output", output}});
    doc_.channels.push_back({{"sampler", sampler}, {"target", {{"node", node}, {"path", path}}}});
  }

  // A deforming mesh, kept from planning its targets to writing them.
  struct Morph {
    ObjectFrames frames;
    std::vector<Polygon> polygons;  // in the file's winding
    size_t point_count;
    std::optional<NormalSplit> split;  // the layout; none for points
    std::vector<uint32_t> source_point;
    std::vector<Vector> base_positions;
  };

  const FrameSeries& series_;
  const std::filesystem::path& file_;
  const ExportOptions& options_;
  Document doc_;
  gltf::Images images_;
  gltf::Materials materials_;
  std::vector<Morph> morphs_;
};

// What every object relies on: frames that key apart, a usable scale.
Status check_series(const FrameSeries& series, const std::filesystem::path& file, const ExportOptions& options) {
  const auto fail = [&](const std::string& why) {
    return Status::failure("cannot write " + quoted(file) + ": " + why);
  };
  if (series.frames.empty()) return fail("no frame to write");
  if (series.meshes.empty()) return fail("no mesh to write");
  if (!(options.scale > 0.0f) || !std::isfinite(options.scale)) return fail("the scale must be a positive number");
  if (!(series.fps > 0.0) || !std::isfinite(series.fps)) return fail("the frame rate must be a positive number");
  for (size_t s = 1; s < series.samples(); ++s) {
    // Key times are floats, and must increase as floats.
    if (!(static_cast<float>(series.secondsAt(s)) > static_cast<float>(series.secondsAt(s - 1))) ||
        !std::isfinite(static_cast<float>(series.secondsAt(s))))
      return fail("frames " + number_text(series.frames[s - 1]) + " and " + number_text(series.frames[s]) +
                  " are too close together to be keyed apart");
  }
  return Status::success();
}

}  // namespace

Status write_animated_gltf(const FrameSeries& series, const std::filesystem::path& file,
                           const ExportOptions& options) {
  const std::string extension = lower_extension(file);
  if (extension != ".glb" && extension != ".gltf")
    return Status::failure("cannot write " + quoted(file) + ": animations are written as .glb or .gltf, not '" +
                           extension + "'");
  if (Status s = check_series(series, file, options); !s.ok()) return s;

  Json root;
  root["asset"] = {{"version", "2.0"}, {"generator", "kurvo"}};
  root["scene"] = 0;
  AnimatedWriter writer(series, file, options, root);
  for (size_t i = 0; i < series.meshes.size(); ++i)
    if (Status s = writer.add(i); !s.ok()) return s;
  writer.finish(root);
  return gltf::write_document(root, writer.bytes(), file,
                              extension == ".glb" ? GltfContainer::binary : GltfContainer::text, writer.targets());
}

}  // namespace kurvo::media
