#include "scene_frames.h"

#include <cmath>

#include "placement.h"
#include "scene/document.h"
#include "scene_geometry.h"
#include "scene_preview.h"

namespace kurvo::scenefile {
namespace {

std::string frameText(double frame) {
  std::string text = std::to_string(frame);
  if (frame == std::floor(frame)) text = std::to_string(static_cast<long long>(frame));
  return text;
}

Json frameNumber(double frame) {
  return frame == std::floor(frame) ? Json(static_cast<int64_t>(frame)) : Json(frame);
}

}  // namespace

kurvo::media::Status appendSample(const host::Document& document, const host::RenderShading* shading, double frame,
                                  kurvo::media::FrameSeries& series) {
  const bool first = series.frames.empty();
  if (first) {
    for (kurvo::media::Mesh& mesh : worldMeshes(document, shading)) {
      kurvo::media::AnimatedMesh animated;
      animated.name = std::move(mesh.name);
      animated.polygons = std::move(mesh.polygons);
      animated.colour = mesh.colour;
      series.meshes.push_back(std::move(animated));
    }
  }
  size_t index = 0;
  std::string problem;
  document.forEachObject([&](host::Object& o) {
    if (!o.isPolygon() || !problem.empty()) return;
    if (index >= series.meshes.size()) {
      problem = "object \"" + o.name() + "\" appears at frame " + frameText(frame) + " but not at frame " +
                frameText(series.frames.front());
      return;
    }
    kurvo::media::AnimatedMesh& mesh = series.meshes[index++];
    if (mesh.name != o.name()) {
      problem = "the objects at frame " + frameText(frame) + " differ from those at frame " +
                frameText(series.frames.front());
      return;
    }
    if (!first && o.points().size() != mesh.points.front().size()) {
      problem = "object \"" + o.name() + "\" has " + std::to_string(o.points().size()) + " points at frame " +
                frameText(frame) + " but " + std::to_string(mesh.points.front().size()) + " at frame " +
                frameText(series.frames.front()) +
                "; an animation needs the same points at every frame (is the deformer's optimize on?)";
      return;
    }
    mesh.placements.push_back(FromKh(o.globalMatrix()));
    mesh.points.push_back(o.points());
  });
  if (problem.empty() && index != series.meshes.size())
    problem = "frame " + frameText(frame) + " has fewer polygon objects than frame " +
              frameText(series.frames.front());
  if (!problem.empty()) return kurvo::media::Status::failure(problem);
  series.frames.push_back(frame);
  return kurvo::media::Status::success();
}

Json frameJson(const host::Document& document, const animation::Timeline& timeline, double frame) {
  Json objects = Json::object();
  document.forEachObject([&](host::Object& o) {
    Json entry = Json::object();
    if (o.isPointObject() && o.hasRestState() && o.points() != o.restPoints())
      entry["deformed_points"] = pointsJson(o.points());
    if (const animation::ObjectAnimation* a = timeline.find(o.serial()); a && a->restPlacement)
      entry["matrix"] = matrixJson(o.localMatrix());
    if (!entry.empty()) objects[o.name()] = std::move(entry);
  });
  Json out = Json::object();
  out["frame"] = frameNumber(frame);
  out["objects"] = std::move(objects);
  return out;
}

}  // namespace kurvo::scenefile
