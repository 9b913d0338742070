#include "scene_frames.h"

#include <cmath>
#include <string_view>

#include "atomic_file.h"
#include "json_text.h"
#include "placement.h"
#include "text_sink.h"
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
                                  kurvo::media::FrameSeries& series,
                                  const std::unordered_map<uint64_t, GeometrySource>* sources) {
  const bool first = series.frames.empty();
  if (first) {
    for (kurvo::media::Mesh& mesh : worldMeshes(document, shading, nullptr, sources)) {
      kurvo::media::AnimatedMesh animated;
      animated.name = std::move(mesh.name);
      animated.polygons = kurvo::media::mesh_polygons(mesh);
      animated.colour = mesh.colour;
      mesh.points = {};
      animated.surface = std::move(mesh);
      series.meshes.push_back(std::move(animated));
    }
  }
  size_t index = 0;
  std::string problem;
  bool copies = false;  // of an array, whose count may change from frame to frame
  const std::string copiesHint =
      "; an array's count changes between them, and an animation needs the same objects at every frame: write one "
      "file per frame (name##.obj) or a picture (.gif, .mp4)";
  document.forEachObject([&](host::Object& o) {
    if (!o.isPolygon() || o.isArraySource() || !problem.empty()) return;
    copies = copies || o.role() == host::ObjectRole::arrayCopy;
    if (index >= series.meshes.size()) {
      problem = "object \"" + o.name() + "\" appears at frame " + frameText(frame) + " but not at frame " +
                frameText(series.frames.front()) + (copies ? copiesHint : "");
      return;
    }
    kurvo::media::AnimatedMesh& mesh = series.meshes[index++];
    if (mesh.name != o.name()) {
      problem = "the objects at frame " + frameText(frame) + " differ from those at frame " +
                frameText(series.frames.front()) + (copies ? copiesHint : "");
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
              frameText(series.frames.front()) + (copies ? copiesHint : "");
  if (!problem.empty()) return kurvo::media::Status::failure(problem);
  series.frames.push_back(frame);
  return kurvo::media::Status::success();
}

namespace {

void appendVector(const Vector& v, std::string& out) {
  out += '[';
  appendReal(v.x, out);
  out += ", ";
  appendReal(v.y, out);
  out += ", ";
  appendReal(v.z, out);
  out += ']';
}

}  // namespace

void appendFrameText(const host::Document& document, const animation::Timeline& timeline, double frame,
                     std::string& out) {
  out += "    {\n      \"frame\": ";
  out += frameNumber(frame).dump();
  out += ",\n      \"objects\": {";
  bool firstObject = true;
  document.forEachObject([&](host::Object& o) {
    const bool deformed = o.isPointObject() && o.hasRestState() && o.points() != o.restPoints();
    const animation::ObjectAnimation* a = timeline.find(o.serial());
    const bool placed = a && a->restPlacement;
    if (!deformed && !placed) return;
    out += firstObject ? "\n        " : ",\n        ";
    firstObject = false;
    out += Json(o.name()).dump();
    out += ": {";
    if (deformed) {
      out += "\n          \"deformed_points\": [";
      bool firstPoint = true;
      for (const Vector& p : o.points()) {
        out += firstPoint ? "\n            " : ",\n            ";
        firstPoint = false;
        appendVector(p, out);
      }
      out += "\n          ]";
    }
    if (placed) {
      const KhMatrix& m = o.localMatrix();
      out += deformed ? ",\n          \"matrix\": [" : "\n          \"matrix\": [";
      const KhVector rows[] = {m.off, m.v1, m.v2, m.v3};
      for (int r = 0; r < 4; ++r) {
        out += r ? ", " : "";
        appendVector(FromKh(rows[r]), out);
      }
      out += ']';
    }
    out += "\n        }";
  });
  out += firstObject ? "}\n    }" : "\n      }\n    }";
}

kurvo::media::Status saveWithFrames(const std::string& sceneText, const std::string& frames,
                                    const std::filesystem::path& file) {
  // The scene text ends with the closing brace and a newline: the frames go
  // before that brace.
  std::string_view head(sceneText);
  head = head.substr(0, head.rfind('}'));
  while (!head.empty() && (head.back() == '\n' || head.back() == ' ')) head.remove_suffix(1);
  return kurvo::media::write_file_atomically(file, [&](const std::filesystem::path& temp) {
    kurvo::media::TextSink sink(temp, file);
    sink.append(head);
    sink.append(",\n  \"frames\": [\n");
    sink.append(frames);
    sink.append("\n  ]\n}\n");
    return sink.finish();
  });
}

}  // namespace kurvo::scenefile
