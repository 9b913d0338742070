#include "scene_geometry.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <variant>
#include <numbers>
#include <system_error>
#include <unordered_map>

#include "input_file.h"
#include "mesh_import.h"
#include "mesh_primitives.h"
#include "polygon_split.h"
#include "scene/node.h"

namespace kurvo::scenefile {
namespace {

using kurvo::geo::Polygon;

constexpr double kDegrees = 180.0 / std::numbers::pi;

// ---- small readers

float numberOr(const Json& block, const char* key, float fallback, const ReadContext& c, const std::string& f) {
  return block.contains(key) ? c.number(block[key], member(f, key)) : fallback;
}

float positiveOr(const Json& block, const char* key, float fallback, const ReadContext& c, const std::string& f) {
  const float v = numberOr(block, key, fallback, c, f);
  if (!(v > 0.0f)) c.fail(member(f, key), "must be greater than 0");
  return v;
}

int32_t countOr(const Json& block, const char* key, int32_t fallback, const ReadContext& c, const std::string& f,
                int32_t least = 1) {
  const int32_t v = block.contains(key) ? c.integer(block[key], member(f, key)) : fallback;
  if (v < least) c.fail(member(f, key), "must be at least " + std::to_string(least));
  return v;
}

// Fewer segments around make no solid: a round shape needs three sides, a
// sphere two bands.
constexpr int32_t kLeastRotationSegments = 3, kLeastRingSegments = 2;

// A count for messages: exact while it fits, else in powers of ten (a helix of
// 1e30 turns asks for about 1.6e+31 points, not "about 0").
std::string aboutCount(double n) {
  if (n < 1e15) return std::to_string(static_cast<uint64_t>(n));
  char text[32];
  std::snprintf(text, sizeof text, "%.2g", n);
  return text;
}

// "; it has \"A\", \"B\" ...": the names a mistyped mesh_name could have meant.
std::string meshNamesText(const std::vector<kurvo::media::Mesh>& meshes) {
  constexpr size_t kShown = 10;
  std::string text = meshes.size() == 1 ? "; its one mesh is " : "; its meshes are ";
  for (size_t i = 0; i < meshes.size() && i < kShown; ++i) text += (i ? ", \"" : "\"") + meshes[i].name + "\"";
  if (meshes.size() > kShown) text += " and " + std::to_string(meshes.size() - kShown) + " more";
  return text;
}

void checkSize(double points, const GeometryLimits& limits, const ReadContext& c, const std::string& f,
               bool charge = true) {
  if (!(points <= static_cast<double>(limits.maxPrimitivePoints)))
    c.fail(f, "would make about " + aboutCount(points) + " points; at most " +
                  std::to_string(limits.maxPrimitivePoints) + " are allowed");
  if (charge) c.chargePoints(points, f);
}

std::vector<Vector> readPoints(const Json& list, const ReadContext& c, const std::string& f) {
  c.requireArray(list, f);
  c.chargePoints(static_cast<double>(list.size()), f);
  std::vector<Vector> points;
  points.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i) points.push_back(c.vector(list[i], indexed(f, i)));
  return points;
}

std::vector<Polygon> readPolygons(const Json& list, const std::vector<Vector>& points, const ReadContext& c,
                                  const std::string& f) {
  c.requireArray(list, f);
  std::vector<Polygon> polygons;
  polygons.reserve(list.size());
  std::vector<int32_t> corners;
  std::vector<kurvo::media::Polygon> split;
  for (size_t i = 0; i < list.size(); ++i) {
    const Json& p = list[i];
    const std::string pf = indexed(f, i);
    if (!p.is_array() || p.size() < 3) c.fail(pf, "expected a polygon of at least 3 point indices");
    corners.clear();
    for (size_t k = 0; k < p.size(); ++k) {
      const int32_t index = c.integer(p[k], indexed(pf, k));
      if (index < 0 || static_cast<size_t>(index) >= points.size())
        c.fail(indexed(pf, k), "point index " + std::to_string(index) + " is out of range (the object has " +
                                   std::to_string(points.size()) + " points)");
      corners.push_back(index);
    }
    if (corners.size() == 3) {
      polygons.push_back(Polygon{corners[0], corners[1], corners[2], corners[2]});
    } else if (corners.size() == 4) {
      polygons.push_back(Polygon{corners[0], corners[1], corners[2], corners[3]});
    } else {
      // Larger polygons are cut into triangles in their own plane.
      split.clear();
      kurvo::media::append_polygon(points, corners, split);
      for (const auto& s : split) polygons.push_back(Polygon{s.a, s.b, s.c, s.d});
    }
  }
  return polygons;
}

// ---- mesh primitives

kurvo::geo::Mesh makeMeshPrimitive(const Json& block, const ReadContext& c, const std::string& f,
                                   const GeometryLimits& limits) {
  c.requireObject(block, f);
  if (!block.contains("kind")) c.fail(member(f, "kind"), "missing (plane, cube, cylinder, tube or sphere)");
  const std::string& kind = c.text(block["kind"], member(f, "kind"));
  if (kind == "plane") {
    c.allowOnly(block, f, {"kind", "width", "depth", "width_segments", "depth_segments"});
    const float w = positiveOr(block, "width", 200, c, f), d = positiveOr(block, "depth", 200, c, f);
    const int32_t ws = countOr(block, "width_segments", 10, c, f), ds = countOr(block, "depth_segments", 10, c, f);
    checkSize((ws + 1.0) * (ds + 1.0), limits, c, f);
    return kurvo::geo::MakePlane(w, d, ws, ds);
  }
  if (kind == "cube") {
    c.allowOnly(block, f, {"kind", "size", "segments"});
    Vector size(200.0f);
    if (block.contains("size")) {
      const Json& s = block["size"];
      size = s.is_number() ? Vector(c.number(s, member(f, "size"))) : c.vector(s, member(f, "size"));
      if (!(size.x > 0 && size.y > 0 && size.z > 0)) c.fail(member(f, "size"), "must be greater than 0");
    }
    int32_t seg[3] = {1, 1, 1};
    if (block.contains("segments")) {
      const Json& s = block["segments"];
      const std::string sf = member(f, "segments");
      if (s.is_number()) {
        seg[0] = seg[1] = seg[2] = c.integer(s, sf);
      } else {
        if (!s.is_array() || s.size() != 3) c.fail(sf, "expected a count or [x, y, z] counts");
        for (int i = 0; i < 3; ++i) seg[i] = c.integer(s[static_cast<size_t>(i)], indexed(sf, static_cast<size_t>(i)));
      }
      if (seg[0] < 1 || seg[1] < 1 || seg[2] < 1) c.fail(sf, "must be at least 1");
    }
    const double x = seg[0] + 1.0, y = seg[1] + 1.0, z = seg[2] + 1.0;
    checkSize(2.0 * (x * y + y * z + x * z), limits, c, f);
    return kurvo::geo::MakeCube(size, seg[0], seg[1], seg[2]);
  }
  if (kind == "cylinder" || kind == "tube") {
    if (kind == "tube")
      c.allowOnly(block, f, {"kind", "radius", "height", "rotation_segments", "height_segments"});
    else
      c.allowOnly(block, f, {"kind", "radius", "height", "rotation_segments", "height_segments", "caps"});
    const float r = positiveOr(block, "radius", 50, c, f), h = positiveOr(block, "height", 200, c, f);
    const int32_t rs = countOr(block, "rotation_segments", 16, c, f, kLeastRotationSegments);
    const int32_t hs = countOr(block, "height_segments", 4, c, f);
    bool caps = kind == "cylinder";
    if (block.contains("caps")) caps = c.boolean(block["caps"], member(f, "caps"));
    checkSize((rs + 1.0) * (hs + 3.0), limits, c, f);
    return kurvo::geo::MakeCylinder(r, h, rs, hs, caps);
  }
  if (kind == "sphere") {
    c.allowOnly(block, f, {"kind", "radius", "rotation_segments", "ring_segments"});
    const float r = positiveOr(block, "radius", 100, c, f);
    const int32_t rs = countOr(block, "rotation_segments", 24, c, f, kLeastRotationSegments);
    const int32_t ring = countOr(block, "ring_segments", 12, c, f, kLeastRingSegments);
    checkSize((rs + 1.0) * (ring + 1.0), limits, c, f);
    return kurvo::geo::MakeSphere(r, rs, ring);
  }
  c.fail(member(f, "kind"), "unknown polygon primitive \"" + kind + "\" (plane, cube, cylinder, tube or sphere)");
}

// ---- mesh files

// Where the materials of the meshes joined so far are in the joined list:
// those of the file's own material list by their index in it, the others
// (made for a mesh without materials) by their look.
struct JoinedMaterials {
  std::unordered_map<int32_t, uint32_t> fromFile;
  std::vector<uint32_t> made;

  uint32_t place(kurvo::media::Mesh& joined, const kurvo::media::Material& material) {
    if (material.file_index >= 0) {
      auto [it, added] = fromFile.emplace(material.file_index, static_cast<uint32_t>(joined.materials.size()));
      if (added) joined.materials.push_back(material);
      return it->second;
    }
    for (uint32_t k : made)
      if (kurvo::media::same_material(joined.materials[k], material)) return k;
    made.push_back(static_cast<uint32_t>(joined.materials.size()));
    joined.materials.push_back(material);
    return made.back();
  }
};

// Appends mesh `m`'s faces and attributes (its points numbered from
// `offset`) to `joined`. An attribute only some meshes have is filled in for
// the others: UV (0, 0), no authored normal, white, a default material,
// smoothing group 1. A material of the file that several meshes use is one
// material of the joined mesh. The first mesh's lists are moved over, the
// others' copied; `m` is left with its points alone.
void appendSurface(kurvo::media::Mesh& joined, kurvo::media::Mesh&& m, int32_t offset, JoinedMaterials& places) {
  using kurvo::media::Material;
  if (offset == 0 && joined.group_names.empty() && joined.corners.empty() && joined.face_count() == 0) {
    // What the general case below makes of a first mesh, without a copy.
    joined.name = m.name;
    joined.corners = std::move(m.corners);
    joined.face_start = std::move(m.face_start);
    joined.uv_sets = std::move(m.uv_sets);
    joined.corner_normals = std::move(m.corner_normals);
    joined.point_colours = std::move(m.point_colours);
    if (!m.face_material.empty()) {
      // Placed as the general case places them (materials the file lists
      // twice, or looks made twice, become one).
      std::vector<uint32_t> placed;
      placed.reserve(m.materials.size());
      bool same_places = true;
      for (const Material& material : m.materials) {
        placed.push_back(places.place(joined, material));
        same_places = same_places && placed.back() == placed.size() - 1;
      }
      joined.face_material = std::move(m.face_material);
      if (!same_places)
        for (uint32_t& k : joined.face_material) k = placed[k];
    }
    joined.face_smooth_group = std::move(m.face_smooth_group);
    joined.colour = m.colour;
    joined.group_names.push_back(m.name);
    joined.face_group.assign(joined.face_count(), 0);
    m.clear_faces();
    return;
  }
  const bool first = joined.face_count() == 0 && joined.corners.empty() && joined.name.empty();
  const size_t corners = joined.corners.size(), faces = joined.face_count();
  const auto points = static_cast<size_t>(offset);
  if (first) joined.name = m.name;
  joined.corners.reserve(corners + m.corners.size());
  joined.face_start.reserve(faces + 1 + m.face_count());
  for (int32_t p : m.corners) joined.corners.push_back(p + offset);
  for (size_t f = 1; f < m.face_start.size(); ++f)
    joined.face_start.push_back(static_cast<uint32_t>(corners + m.face_start[f]));
  for (size_t s = 0; s < std::max(joined.uv_sets.size(), m.uv_sets.size()); ++s) {
    if (s >= joined.uv_sets.size()) joined.uv_sets.push_back({m.uv_sets[s].name, std::vector<kurvo::media::Uv>(corners)});
    auto& uvs = joined.uv_sets[s].uvs;
    if (s < m.uv_sets.size()) uvs.insert(uvs.end(), m.uv_sets[s].uvs.begin(), m.uv_sets[s].uvs.end());
    else uvs.resize(joined.corners.size());
  }
  if (!m.corner_normals.empty() || !joined.corner_normals.empty()) {
    // Corners of a mesh without normals name one zero vector.
    auto& normals = joined.corner_normals;
    const auto none = [&] {
      normals.values.emplace_back(0.0f, 0.0f, 0.0f);
      return static_cast<int32_t>(normals.values.size() - 1);
    };
    if (normals.index.size() < corners) normals.index.resize(corners, none());
    if (m.corner_normals.empty()) {
      normals.index.resize(joined.corners.size(), none());
    } else {
      const auto base = static_cast<int32_t>(normals.values.size());
      normals.values.insert(normals.values.end(), m.corner_normals.values.begin(), m.corner_normals.values.end());
      for (const int32_t n : m.corner_normals.index) normals.index.push_back(base + n);
    }
  }
  if (!m.point_colours.empty() || !joined.point_colours.empty()) {
    joined.point_colours.resize(points, Vector(1.0f, 1.0f, 1.0f));
    if (m.point_colours.empty()) joined.point_colours.resize(points + m.points.size(), Vector(1.0f, 1.0f, 1.0f));
    else joined.point_colours.insert(joined.point_colours.end(), m.point_colours.begin(), m.point_colours.end());
  }
  if (!m.face_material.empty() || !joined.face_material.empty()) {
    if (joined.face_material.empty() && faces) joined.face_material.assign(faces, places.place(joined, Material{}));
    if (m.face_material.empty()) {
      Material plain;
      if (m.colour) plain.base_colour = *m.colour;
      joined.face_material.resize(joined.face_count(), places.place(joined, plain));
    } else {
      std::vector<uint32_t> placed;
      placed.reserve(m.materials.size());
      for (const Material& material : m.materials) placed.push_back(places.place(joined, material));
      for (uint32_t k : m.face_material) joined.face_material.push_back(placed[k]);
    }
  }
  if (!m.face_smooth_group.empty() || !joined.face_smooth_group.empty()) {
    joined.face_smooth_group.resize(faces, 1);
    if (m.face_smooth_group.empty()) joined.face_smooth_group.resize(joined.face_count(), 1);
    else joined.face_smooth_group.insert(joined.face_smooth_group.end(), m.face_smooth_group.begin(), m.face_smooth_group.end());
  }
  if (!joined.colour && m.colour) joined.colour = m.colour;
  // Each mesh of the file becomes a group named after it.
  joined.group_names.push_back(m.name);
  joined.face_group.resize(joined.face_count(), static_cast<uint32_t>(joined.group_names.size() - 1));
}

void readMeshFile(const Json& entry, std::vector<Vector>& points, std::vector<Polygon>& polygons,
                  GeometrySource& source, const ReadContext& c, const std::filesystem::path& base,
                  const GeometryLimits& limits) {
  const std::string& name = c.text(entry["mesh"], "mesh");
  if (!limits.allowMeshFiles) c.fail("mesh", "mesh files are not read here");
  if (name.empty()) c.fail("mesh", "expected a file name");
  std::filesystem::path file = std::filesystem::path(name);
  if (file.is_relative()) file = base / file;
  file = file.lexically_normal();
  std::error_code ec;
  uint64_t size = 0;
  if (std::string problem = kurvo::media::input_file_problem(file, size); !problem.empty())
    c.fail("mesh", (problem == "no such file" ? std::string("file not found") : problem) + ": " + file.string());
  kurvo::media::ImportOptions options;
  options.resources_outside_folder = limits.allowOutsideResources;
  if (entry.contains("mesh_axes")) {
    const std::string& axes = c.text(entry["mesh_axes"], "mesh_axes");
    if (axes != "converted" && axes != "raw") c.fail("mesh_axes", "expected \"converted\" or \"raw\"");
    options.raw_axes = axes == "raw";
  }
  if (entry.contains("mesh_weld")) options.weld = c.boolean(entry["mesh_weld"], "mesh_weld");
  bool carry = false;
  if (entry.contains("normals")) {
    const std::string& normals = c.text(entry["normals"], "normals");
    if (normals != "renew" && normals != "carry") c.fail("normals", "expected \"renew\" or \"carry\"");
    carry = normals == "carry";
  }
  float scale = 1.0f;
  if (entry.contains("mesh_scale")) {
    scale = c.number(entry["mesh_scale"], "mesh_scale");
    if (!(scale > 0.0f) || !std::isfinite(scale)) c.fail("mesh_scale", "expected a number greater than 0");
  }
  auto imported = kurvo::media::import_meshes(file, options);
  if (!imported) c.fail("mesh", imported.message());
  // The file's points in scene units, before anything else sees them.
  if (scale != 1.0f)
    for (kurvo::media::Mesh& m : imported.value())
      for (Vector& p : m.points) {
        p = p * scale;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
          c.fail("mesh_scale", "makes a point of " + file.string() + " too large for a float");
      }
  for (const kurvo::media::Mesh& m : imported.value()) c.chargePoints(static_cast<double>(m.points.size()), "mesh");
  std::string wanted;
  if (entry.contains("mesh_name")) wanted = c.text(entry["mesh_name"], "mesh_name");
  bool found = wanted.empty();
  kurvo::media::Mesh surface;  // faces and attributes of the meshes taken, joined
  JoinedMaterials places;
  // Reserved once for all: growing by each mesh's share made a file of many
  // small meshes quadratic.
  size_t totalPoints = 0, totalPolygons = 0;
  for (const kurvo::media::Mesh& m : imported.value())
    if (wanted.empty() || m.name == wanted) totalPoints += m.points.size(), totalPolygons += m.face_count();
  polygons.reserve(polygons.size() + totalPolygons);
  for (kurvo::media::Mesh& m : imported.value()) {
    if (!wanted.empty() && m.name != wanted) continue;
    found = true;
    const auto offset = static_cast<int32_t>(points.size());
    // The quads and triangles the module sees; larger faces are cut in
    // their own plane.
    for (const auto& p : kurvo::media::mesh_polygons(m))
      polygons.push_back(Polygon{p.a + offset, p.b + offset, p.c + offset, p.d + offset});
    appendSurface(surface, std::move(m), offset, places);
    m.clear_faces();
    // The first mesh hands its points over; each mesh's polygons go as soon
    // as they are converted, so a large file is not held twice.
    if (points.empty()) {
      points = std::move(m.points);
      points.reserve(totalPoints);
    } else {
      points.insert(points.end(), m.points.begin(), m.points.end());
    }
  }
  if (!found) c.fail("mesh_name", "no mesh named \"" + wanted + "\" in " + file.string() + meshNamesText(imported.value()));
  source.meshFile = std::filesystem::absolute(file, ec);
  if (ec) source.meshFile = file;
  source.meshName = wanted;
  source.meshRawAxes = options.raw_axes;
  source.meshWeld = options.weld;
  source.meshScale = scale;
  source.carryNormals = carry;
  // Made as a mutable mesh, seen as a const one: takeSurface may move it out.
  source.surface = std::make_shared<kurvo::media::Mesh>(std::move(surface));
}

// ---- spline primitives

struct SplineKind {
  const char* name;
  int32_t type;
};
constexpr SplineKind kSplineKinds[] = {
    {"line", host::kTypeLinePrimitive},           {"circle", host::kTypeCirclePrimitive},
    {"arc", host::kTypeArcPrimitive},             {"rectangle", host::kTypeRectanglePrimitive},
    {"helix", host::kTypeHelixPrimitive},
};

void readSplinePrimitive(const Json& block, host::Object& object, const ReadContext& c, const std::string& f,
                         const GeometryLimits& limits) {
  host::Container& p = object.parameters();
  auto real = [&](const char* key, int32_t id, bool positive) {
    if (!block.contains(key)) return;
    const float v = c.number(block[key], member(f, key));
    if (positive && !(v > 0.0f)) c.fail(member(f, key), "must be greater than 0");
    p.setReal(id, v);
  };
  auto angle = [&](const char* key, int32_t id) {
    if (!block.contains(key)) return;
    const float degrees = c.number(block[key], member(f, key));
    p.setReal(id, static_cast<float>(degrees / kDegrees));
  };
  switch (object.type()) {
    case host::kTypeLinePrimitive:
      c.allowOnly(block, f, {"kind", "length"});
      real("length", host::kPrimLength, true);
      break;
    case host::kTypeCirclePrimitive:
      c.allowOnly(block, f, {"kind", "radius"});
      real("radius", host::kPrimRadius, true);
      break;
    case host::kTypeArcPrimitive:
      c.allowOnly(block, f, {"kind", "radius", "start_angle", "end_angle"});
      real("radius", host::kPrimRadius, true);
      angle("start_angle", host::kPrimStartAngle);
      angle("end_angle", host::kPrimEndAngle);
      break;
    case host::kTypeRectanglePrimitive:
      c.allowOnly(block, f, {"kind", "width", "height"});
      real("width", host::kPrimWidth, true);
      real("height", host::kPrimHeight, true);
      break;
    default: {
      c.allowOnly(block, f, {"kind", "start_radius", "end_radius", "height", "turns", "subdivision"});
      real("start_radius", host::kPrimRadius, false);
      real("end_radius", host::kPrimEndRadius, false);
      real("height", host::kPrimHeight, false);
      if (block.contains("turns")) {
        const float turns = c.number(block["turns"], member(f, "turns"));
        if (turns < 0.0f) c.fail(member(f, "turns"), "must not be negative");
        p.setReal(host::kPrimTurns, turns);
      }
      if (block.contains("subdivision")) {
        const int32_t s = c.integer(block["subdivision"], member(f, "subdivision"));
        if (s < 3) c.fail(member(f, "subdivision"), "must be at least 3 (points per turn)");
        p.setLong(host::kPrimSubdivision, s);
      }
      checkSize(static_cast<double>(p.getReal(host::kPrimTurns, 2.0f)) * p.getLong(host::kPrimSubdivision, 16) + 1.0,
                limits, c, f, false);  // charged once its parameters are read too
      break;
    }
  }
}

// The rule each size of a spline primitive obeys, however it is given.
struct PrimitiveRule {
  int32_t type;
  int32_t id;
  enum Kind { kPositive, kAny, kNotNegative, kPointsPerTurn } kind;
};
constexpr PrimitiveRule kPrimitiveRules[] = {
    {host::kTypeLinePrimitive, host::kPrimLength, PrimitiveRule::kPositive},
    {host::kTypeCirclePrimitive, host::kPrimRadius, PrimitiveRule::kPositive},
    {host::kTypeArcPrimitive, host::kPrimRadius, PrimitiveRule::kPositive},
    {host::kTypeArcPrimitive, host::kPrimStartAngle, PrimitiveRule::kAny},
    {host::kTypeArcPrimitive, host::kPrimEndAngle, PrimitiveRule::kAny},
    {host::kTypeRectanglePrimitive, host::kPrimWidth, PrimitiveRule::kPositive},
    {host::kTypeRectanglePrimitive, host::kPrimHeight, PrimitiveRule::kPositive},
    {host::kTypeHelixPrimitive, host::kPrimRadius, PrimitiveRule::kAny},
    {host::kTypeHelixPrimitive, host::kPrimEndRadius, PrimitiveRule::kAny},
    {host::kTypeHelixPrimitive, host::kPrimHeight, PrimitiveRule::kAny},
    {host::kTypeHelixPrimitive, host::kPrimTurns, PrimitiveRule::kNotNegative},
    {host::kTypeHelixPrimitive, host::kPrimSubdivision, PrimitiveRule::kPointsPerTurn},
};

}  // namespace

std::string primitiveValueProblem(int32_t type, int32_t id, double value, bool whole) {
  for (const PrimitiveRule& rule : kPrimitiveRules) {
    if (rule.type != type || rule.id != id) continue;
    switch (rule.kind) {
      case PrimitiveRule::kPointsPerTurn:
        if (!whole) return "expected an integer";
        return value < 3 ? "must be at least 3 (points per turn)" : "";
      case PrimitiveRule::kPositive: return value > 0.0 ? "" : "must be greater than 0";
      case PrimitiveRule::kNotNegative: return value >= 0.0 ? "" : "must not be negative";
      case PrimitiveRule::kAny: return "";
    }
  }
  return "";
}

void checkHelixPoints(double turns, double subdivision, const GeometryLimits& limits, const ReadContext& c,
                      const std::string& field) {
  checkSize(turns * subdivision + 1.0, limits, c, field, false);
}

namespace {

Json splinePrimitiveJson(const host::Object& object) {
  const host::Container& p = object.parameters();
  Json out = Json::object();
  switch (object.type()) {
    case host::kTypeLinePrimitive:
      out["kind"] = "line";
      out["length"] = jsonFloat(p.getReal(host::kPrimLength, 100.0f));
      break;
    case host::kTypeCirclePrimitive:
      out["kind"] = "circle";
      out["radius"] = jsonFloat(p.getReal(host::kPrimRadius, 100.0f));
      break;
    case host::kTypeArcPrimitive:
      out["kind"] = "arc";
      out["radius"] = jsonFloat(p.getReal(host::kPrimRadius, 100.0f));
      out["start_angle"] = jsonFloat(static_cast<float>(p.getReal(host::kPrimStartAngle, 0.0f) * kDegrees));
      out["end_angle"] = jsonFloat(static_cast<float>(p.getReal(host::kPrimEndAngle, 1.5707964f) * kDegrees));
      break;
    case host::kTypeRectanglePrimitive:
      out["kind"] = "rectangle";
      out["width"] = jsonFloat(p.getReal(host::kPrimWidth, 200.0f));
      out["height"] = jsonFloat(p.getReal(host::kPrimHeight, 200.0f));
      break;
    default:
      out["kind"] = "helix";
      out["start_radius"] = jsonFloat(p.getReal(host::kPrimRadius, 100.0f));
      out["end_radius"] = jsonFloat(p.getReal(host::kPrimEndRadius, 100.0f));
      out["height"] = jsonFloat(p.getReal(host::kPrimHeight, 200.0f));
      out["turns"] = jsonFloat(p.getReal(host::kPrimTurns, 2.0f));
      out["subdivision"] = p.getLong(host::kPrimSubdivision, 16);
      break;
  }
  return out;
}

}  // namespace

uint64_t fingerprintOf(const std::vector<Vector>& points, const std::vector<Polygon>& polygons) {
  uint64_t h = 1469598103934665603ull;
  // Eight bytes a step, in four independent lanes folded at the end (one
  // chain of multiplies waits on each; a byte at a time took tens of
  // milliseconds on a mesh of a million points). The value is only compared
  // within one run.
  auto mix = [&](const void* data, size_t bytes) {
    const auto* b = static_cast<const unsigned char*>(data);
    uint64_t lane[4] = {h, h ^ 0x9e3779b97f4a7c15ull, h ^ 0xbf58476d1ce4e5b9ull, h ^ 0x94d049bb133111ebull};
    size_t i = 0;
    for (; i + 32 <= bytes; i += 32)
      for (int k = 0; k < 4; ++k) {
        uint64_t word;
        std::memcpy(&word, b + i + 8 * k, sizeof word);
        lane[k] = (lane[k] ^ word) * 1099511628211ull;
        lane[k] ^= lane[k] >> 29;
      }
    h = lane[0];
    for (int k = 1; k < 4; ++k) h = ((h ^ lane[k]) * 1099511628211ull) ^ (h >> 29);
    for (; i < bytes; ++i) h = (h ^ b[i]) * 1099511628211ull;
  };
  const uint64_t n = points.size(), m = polygons.size();
  mix(&n, sizeof n);
  mix(&m, sizeof m);
  if (n) mix(points.data(), n * sizeof(Vector));
  if (m) mix(polygons.data(), m * sizeof(Polygon));
  return h;
}

const kurvo::media::Mesh* surfaceFor(const GeometrySource& source, const std::vector<Polygon>& polygons) {
  if (!source.surface || source.polygonHash != fingerprintOf({}, polygons)) return nullptr;
  return source.surface.get();
}

kurvo::media::Mesh takeSurface(GeometrySource& source) {
  if (source.surface.use_count() != 1) return *source.surface;
  kurvo::media::Mesh taken = std::move(const_cast<kurvo::media::Mesh&>(*source.surface));
  source.surface.reset();
  return taken;
}

Json pointsJson(const std::vector<Vector>& points) {
  Json out = Json::array();
  for (const Vector& p : points) out.push_back(Json::array({jsonFloat(p.x), jsonFloat(p.y), jsonFloat(p.z)}));
  return out;
}

std::optional<GeometrySource> readPolygonGeometry(const Json& entry, host::Object& object, const ReadContext& c,
                                                  const std::filesystem::path& base, const GeometryLimits& limits) {
  const bool inlinePoints = entry.contains("points") || entry.contains("polygons");
  const int sources = (inlinePoints ? 1 : 0) + (entry.contains("mesh") ? 1 : 0) + (entry.contains("primitive") ? 1 : 0);
  if (sources > 1) c.fail("points", "give only one of \"points\"/\"polygons\", \"mesh\" and \"primitive\"");
  if (entry.contains("mesh_name") && !entry.contains("mesh")) c.fail("mesh_name", "needs \"mesh\"");
  for (const char* key : {"mesh_axes", "mesh_weld", "normals"})
    if (entry.contains(key) && !entry.contains("mesh")) c.fail(key, "needs \"mesh\"");
  std::vector<Vector> points;
  std::vector<Polygon> polygons;
  std::optional<GeometrySource> source;
  if (inlinePoints) {
    if (entry.contains("points")) points = readPoints(entry["points"], c, "points");
    if (entry.contains("polygons")) polygons = readPolygons(entry["polygons"], points, c, "polygons");
  } else if (entry.contains("mesh")) {
    source.emplace();
    readMeshFile(entry, points, polygons, *source, c, base, limits);
  } else if (entry.contains("primitive")) {
    kurvo::geo::Mesh mesh = makeMeshPrimitive(entry["primitive"], c, "primitive", limits);
    points = std::move(mesh.points);
    polygons = std::move(mesh.polygons);
    source.emplace();
    source->primitive = entry["primitive"];
  }
  if (source) source->fingerprint = fingerprintOf(points, polygons);
  if (source && source->surface) source->polygonHash = fingerprintOf({}, polygons);
  object.setPoints(std::move(points));
  object.setPolygons(std::move(polygons));
  return source;
}

int32_t splineTypeOf(const Json& entry, const ReadContext& c) {
  if (!entry.contains("primitive")) return KH_TYPE_SPLINE;
  const Json& block = entry["primitive"];
  c.requireObject(block, "primitive");
  if (!block.contains("kind")) c.fail("primitive.kind", "missing (line, circle, arc, rectangle or helix)");
  const std::string& kind = c.text(block["kind"], "primitive.kind");
  for (const SplineKind& k : kSplineKinds)
    if (kind == k.name) return k.type;
  c.fail("primitive.kind", "unknown spline primitive \"" + kind + "\" (line, circle, arc, rectangle or helix)");
}

void readSplineGeometry(const Json& entry, host::Object& object, const ReadContext& c, const GeometryLimits& limits) {
  if (object.isPrimitive()) {
    for (const char* key : {"points", "interpolation", "closed", "tangents_in", "tangents_out", "segments"})
      if (entry.contains(key)) c.fail(key, "a spline primitive takes its shape from \"primitive\" alone");
    readSplinePrimitive(entry["primitive"], object, c, "primitive", limits);
    return;
  }
  std::vector<Vector> points;
  if (entry.contains("points")) points = readPoints(entry["points"], c, "points");
  auto interpolation = kurvo::geo::Interpolation::Linear;
  if (entry.contains("interpolation")) {
    const std::string& mode = c.text(entry["interpolation"], "interpolation");
    if (mode == "cubic")
      interpolation = kurvo::geo::Interpolation::Cubic;
    else if (mode == "bezier")
      interpolation = kurvo::geo::Interpolation::Bezier;
    else if (mode != "linear")
      c.fail("interpolation", "expected \"linear\", \"cubic\" or \"bezier\"");
  }
  const bool closed = entry.contains("closed") ? c.boolean(entry["closed"], "closed") : false;
  auto tangents = [&](const char* key) {
    std::vector<Vector> t;
    if (!entry.contains(key)) return t;
    t = readPoints(entry[key], c, key);
    if (t.size() != points.size())
      c.fail(key, "has " + std::to_string(t.size()) + " tangents for " + std::to_string(points.size()) + " points");
    return t;
  };
  std::vector<Vector> in = tangents("tangents_in"), out = tangents("tangents_out");
  if (!in.empty() && out.empty()) out.assign(points.size(), Vector());
  if (!out.empty() && in.empty()) in.assign(points.size(), Vector());
  std::vector<int32_t> segments;
  if (entry.contains("segments")) {
    const Json& s = entry["segments"];
    c.requireArray(s, "segments");
    uint64_t sum = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      const int32_t n = c.integer(s[i], indexed("segments", i));
      if (n < 1) c.fail(indexed("segments", i), "a segment needs at least 1 point");
      segments.push_back(n);
      sum += static_cast<uint64_t>(n);
    }
    if (sum != points.size())
      c.fail("segments", "the segments hold " + std::to_string(sum) + " points, the spline has " +
                             std::to_string(points.size()));
  }
  object.spline().tangentsIn = std::move(in);
  object.spline().tangentsOut = std::move(out);
  object.setSplineShape(interpolation, std::move(segments));
  object.parameters().setBool(host::kSplineClosed, closed);
  object.setPoints(std::move(points));
}

void writePolygonGeometry(const host::Object& object, const GeometrySource* source,
                          const std::filesystem::path& targetDirectory, PointLists& pointLists, Json& entry) {
  const auto& points = object.restPoints();
  const auto& polygons = object.restPolygons();
  if (source && source->fingerprint == fingerprintOf(points, polygons)) {
    if (!source->primitive.is_null()) {
      entry["primitive"] = source->primitive;
      return;
    }
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::absolute(targetDirectory, ec);
    std::filesystem::path relative = ec ? std::filesystem::path() : source->meshFile.lexically_relative(dir);
    entry["mesh"] = relative.empty() ? source->meshFile.generic_string() : relative.generic_string();
    if (!source->meshName.empty()) entry["mesh_name"] = source->meshName;
    if (source->meshRawAxes) entry["mesh_axes"] = "raw";
    if (source->meshWeld) entry["mesh_weld"] = true;
    if (source->meshScale != 1.0f) entry["mesh_scale"] = jsonFloat(source->meshScale);
    if (source->carryNormals) entry["normals"] = "carry";
    return;
  }
  entry["points"] = deferredPointList(points, pointLists);
  Json list = Json::array();
  for (const Polygon& p : polygons) {
    if (p.c == p.d)
      list.push_back(Json::array({p.a, p.b, p.c}));
    else
      list.push_back(Json::array({p.a, p.b, p.c, p.d}));
  }
  entry["polygons"] = std::move(list);
}

void writeSplineGeometry(const host::Object& object, Json& entry) {
  if (object.isPrimitive()) {
    entry["primitive"] = splinePrimitiveJson(object);
    return;
  }
  const kurvo::geo::Spline& s = object.spline();
  entry["interpolation"] = s.interpolation == kurvo::geo::Interpolation::Cubic    ? "cubic"
                           : s.interpolation == kurvo::geo::Interpolation::Bezier ? "bezier"
                                                                                   : "linear";
  entry["closed"] = object.parameters().getBool(host::kSplineClosed, false);
  entry["points"] = pointsJson(object.restPoints());
  if (!s.tangentsIn.empty()) entry["tangents_in"] = pointsJson(s.tangentsIn);
  if (!s.tangentsOut.empty()) entry["tangents_out"] = pointsJson(s.tangentsOut);
  if (!s.segments.empty()) entry["segments"] = s.segments;
}

void checkSplinePrimitiveParams(host::Object& object, const ReadContext& c, const std::string& field,
                                const GeometryLimits& limits) {
  host::Container& p = object.parameters();
  for (const PrimitiveRule& rule : kPrimitiveRules) {
    if (rule.type != object.type()) continue;
    host::Data* d = p.find(rule.id);
    if (!d) continue;
    const std::string f = member(field, std::to_string(rule.id));
    const bool isLong = std::holds_alternative<int32_t>(d->value);
    const bool isReal = std::holds_alternative<float>(d->value);
    if (rule.kind == PrimitiveRule::kPointsPerTurn) {
      if (!isLong) c.fail(f, "expected an integer");
      if (std::string problem = primitiveValueProblem(rule.type, rule.id, d->getLong(), true); !problem.empty())
        c.fail(f, problem);
      continue;
    }
    if (!isLong && !isReal) c.fail(f, "expected a number");
    const float v = d->getReal();
    d->setReal(v);  // a whole number given for a size is a size all the same
    if (std::string problem = primitiveValueProblem(rule.type, rule.id, v, false); !problem.empty()) c.fail(f, problem);
  }
  if (object.type() == host::kTypeHelixPrimitive)
    checkSize(static_cast<double>(p.getReal(host::kPrimTurns, 2.0f)) * p.getLong(host::kPrimSubdivision, 16) + 1.0,
              limits, c, field);
  else
    c.chargePoints(4.0, field);  // the other primitives make a handful of points
}

}  // namespace kurvo::scenefile
