// The scene's geometry for the page: meshes with their colours (per point
// where a shader colours them), and the lines the preview draws.
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "geometry_frame.h"
#include "raster.h"
#include "scene/shading.h"
#include "scene_preview.h"
#include "view_session.h"

namespace kurvo::viewer {
namespace {

using kurvo::media::Mesh;

bool samePoints(const Mesh& a, const Mesh& b) {
  return a.points.size() == b.points.size() &&
         (a.points.empty() ||
          std::memcmp(a.points.data(), b.points.data(), a.points.size() * sizeof(a.points[0])) == 0);
}

bool sameTopology(const Mesh& a, const Mesh& b) {
  return a.points.size() == b.points.size() && a.face_start == b.face_start && a.corners == b.corners;
}

std::vector<uint32_t> triangles(const Mesh& mesh) {
  std::vector<uint32_t> out;
  const std::vector<kurvo::media::Polygon> polygons = kurvo::media::mesh_polygons(mesh);
  out.reserve(polygons.size() * 6);
  const auto n = static_cast<int32_t>(mesh.points.size());
  for (const auto& p : polygons) {
    if (p.a < 0 || p.b < 0 || p.c < 0 || p.d < 0 || p.a >= n || p.b >= n || p.c >= n || p.d >= n) continue;
    out.insert(out.end(), {uint32_t(p.a), uint32_t(p.b), uint32_t(p.c)});
    if (!p.is_triangle()) out.insert(out.end(), {uint32_t(p.a), uint32_t(p.c), uint32_t(p.d)});
  }
  return out;
}

// The shader's colour at every point, with the point's averaged face normal.
std::vector<float> pointColours(const Mesh& mesh, const kurvo::media::SurfaceShader& shader) {
  std::vector<Vector> normals(mesh.points.size(), Vector(0.0f, 0.0f, 0.0f));
  const auto n = static_cast<int32_t>(mesh.points.size());
  for (const auto& p : kurvo::media::mesh_polygons(mesh)) {
    if (p.a < 0 || p.b < 0 || p.c < 0 || p.d < 0 || p.a >= n || p.b >= n || p.c >= n || p.d >= n) continue;
    const Vector face = Cross(mesh.points[p.b] - mesh.points[p.a], mesh.points[p.c] - mesh.points[p.a]);
    for (int32_t i : {p.a, p.b, p.c, p.d}) normals[i] += face;
  }
  std::vector<float> out;
  out.reserve(mesh.points.size() * 3);
  for (size_t i = 0; i < mesh.points.size(); ++i) {
    const float length = Len(normals[i]);
    const Vector normal = length > 0.0f ? normals[i] * (1.0f / length) : Vector(0.0f, 1.0f, 0.0f);
    const Vector c = shader.colour({mesh.points[i], normal});
    out.insert(out.end(), {c.x, c.y, c.z});
  }
  return out;
}

// Spline primitives by what they are, as scene files name them.
const char* primitiveKind(int32_t type) {
  switch (type) {
    case kurvo::host::kTypeLinePrimitive: return "line spline";
    case kurvo::host::kTypeCirclePrimitive: return "circle spline";
    case kurvo::host::kTypeArcPrimitive: return "arc spline";
    case kurvo::host::kTypeRectanglePrimitive: return "rectangle spline";
    case kurvo::host::kTypeHelixPrimitive: return "helix spline";
    default: return "object";
  }
}

}  // namespace

const char* objectKind(const kurvo::host::Object& o) {
  return o.isPolygon()    ? "polygon"
         : o.isSpline()   ? "spline"
         : o.isDeformer() ? "deformer"
         : o.isArray()    ? "array"
                          : primitiveKind(o.type());
}

std::string ViewSession::geometry(bool all) {
  const kurvo::host::RenderShading shading(*document_);
  // After one evaluation since the last answer, only the objects it ran
  // again can have moved: the others are neither copied nor compared.
  std::unordered_set<uint64_t> ran;
  const bool onlyRan = !all && !sent_.empty() && document_->evaluationCount() == sentAtEvaluation_ + 1;
  if (onlyRan) ran.insert(document_->lastRuns().begin(), document_->lastRuns().end());
  // An object whose polygons are those the page has sends its points alone:
  // its faces (16 MB at 10^6 points) are neither copied nor compared.
  const auto facesSent = [this](const kurvo::host::Object& o) {
    const auto it = sentFaces_.find(o.serial());
    return it != sentFaces_.end() && it->second == o.polygonStamp();
  };
  kurvo::scenefile::Preview preview = kurvo::scenefile::buildPreview(
      *document_, &shading,
      onlyRan ? std::function<bool(const kurvo::host::Object&)>(
                    [&ran](const kurvo::host::Object& o) { return ran.count(o.serial()) != 0; })
              : std::function<bool(const kurvo::host::Object&)>(),
      all || sent_.empty() ? std::function<bool(const kurvo::host::Object&)>() : facesSent);
  sentAtEvaluation_ = document_->evaluationCount();
  if (preview.meshes.size() != sent_.size() && !all) {
    sent_.clear();  // objects came or went: everything again
    sentFaces_.clear();
    return geometry(true);
  }

  FrameWriter frame;
  nlohmann::json meshes = nlohmann::json::array();
  std::vector<bool> unchanged(preview.meshes.size(), false);  // the page's copy is kept as it is
  for (size_t i = 0; i < preview.meshes.size(); ++i) {
    if (preview.left[i]) continue;
    Mesh& mesh = preview.meshes[i];
    const bool kept = !all && preview.pointsOnly[i];
    if (kept) {
      // The faces the page has are this object's, for as many points.
      if (i >= sentSerials_.size() || sentSerials_[i] != preview.serials[i] ||
          mesh.points.size() != sent_[i].points.size()) {
        sent_.clear();
        sentFaces_.clear();
        return geometry(true);
      }
      if (samePoints(mesh, sent_[i])) {
        unchanged[i] = true;
        continue;
      }
      // The new points with the faces (and every face list) as sent.
      sent_[i].points.swap(mesh.points);
      sent_[i].colour = mesh.colour;
      mesh = std::move(sent_[i]);
    }
    const bool newTopology = all || (!kept && !sameTopology(mesh, sent_[i]));
    if (!kept && !newTopology && samePoints(mesh, sent_[i])) continue;
    nlohmann::json entry = {{"index", i}, {"name", mesh.name}};
    entry["positions"] = frame.addFloats(&mesh.points.data()->x, mesh.points.size() * 3);
    if (newTopology) {
      const std::vector<uint32_t> indices = triangles(mesh);
      entry["indices"] = frame.addUints(indices.data(), indices.size());
    }
    const kurvo::media::SurfaceShader* shader = i < preview.surfaces.size() ? preview.surfaces[i].get() : nullptr;
    if (shader) {
      const std::vector<float> colours = pointColours(mesh, *shader);
      entry["colors"] = frame.addFloats(colours.data(), colours.size());
    }
    if (mesh.colour) entry["color"] = {mesh.colour->x, mesh.colour->y, mesh.colour->z};
    meshes.push_back(std::move(entry));
  }
  std::vector<float> ends, colours;
  ends.reserve(preview.lines.size() * 6);
  colours.reserve(preview.lines.size() * 6);
  for (const auto& line : preview.lines) {
    ends.insert(ends.end(), {line.a.x, line.a.y, line.a.z, line.b.x, line.b.y, line.b.z});
    colours.insert(colours.end(),
                   {line.colour.x, line.colour.y, line.colour.z, line.colour.x, line.colour.y, line.colour.z});
  }
  nlohmann::json header = {{"full", all}, {"meshCount", preview.meshes.size()}, {"meshes", std::move(meshes)}};
  header["lines"] = {{"positions", frame.addFloats(ends.data(), ends.size())},
                     {"colors", frame.addFloats(colours.data(), colours.size())}};
  // What the page has now, and whose faces (by the polygons' stamp).
  sentSerials_.resize(preview.meshes.size(), 0);
  for (size_t i = 0; i < preview.meshes.size(); ++i) {
    if (preview.left[i]) continue;
    sentSerials_[i] = preview.serials[i];
    if (const kurvo::host::Object* o = find(preview.serials[i])) sentFaces_[o->serial()] = o->polygonStamp();
  }
  if (all) {
    sent_ = std::move(preview.meshes);
  } else {
    for (size_t i = 0; i < preview.meshes.size(); ++i)
      if (!preview.left[i] && !unchanged[i]) sent_[i] = std::move(preview.meshes[i]);
  }
  return frame.finish(header);
}

nlohmann::json ViewSession::sceneInfo(int32_t width, int32_t height) {
  nlohmann::json objects = nlohmann::json::array();
  document_->forEachObject([&](kurvo::host::Object& o) {
    // An array's copies show as its children, read-only; the deformers each
    // copy carries and the array's own geometry are the array's business.
    const kurvo::host::ObjectRole role = o.role();
    if (role == kurvo::host::ObjectRole::arrayCopyDeformer || role == kurvo::host::ObjectRole::arrayGeometry) return;
    nlohmann::json entry = {{"id", o.serial()}, {"name", o.name()}, {"parent", o.parent() ? o.parent()->serial() : 0}};
    if (role == kurvo::host::ObjectRole::arrayCopy) entry["generated"] = true;
    entry["panel"] = session_.state().descriptions.count(o.type()) > 0;
    entry["kind"] = objectKind(o);
    objects.push_back(std::move(entry));
  });
  const kurvo::scenefile::Preview preview = kurvo::scenefile::buildPreview(*document_);
  kurvo::media::RenderOptions options;
  options.width = width;
  options.height = height;
  // The viewer is where paths are edited: its first view shows them whole.
  options.frame_helpers = true;
  const kurvo::media::Camera c = kurvo::media::camera_for(preview.drawList(), options);
  auto vec = [](const Vector& v) { return nlohmann::json::array({v.x, v.y, v.z}); };
  nlohmann::json camera = {{"width", c.width},   {"height", c.height},   {"perspective", c.perspective},
                           {"eye", vec(c.eye)},   {"right", vec(c.right)}, {"up", vec(c.up)},
                           {"forward", vec(c.forward)}, {"scale", c.scale}};
  const kurvo::media::Bounds b = kurvo::media::draw_list_bounds(preview.drawList());
  return {{"file", scene_.file.filename().string()},
          {"objects", std::move(objects)},
          {"camera", std::move(camera)},
          {"bounds", {{"min", vec(b.min)}, {"max", vec(b.max)}}}};
}

}  // namespace kurvo::viewer
