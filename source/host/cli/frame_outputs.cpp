#include "frame_outputs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "animation/apply_frame.h"
#include "atomic_file.h"
#include "finite_results.h"
#include "gltf_animation.h"
#include "point_cache.h"
#include "progress.h"
#include "scene/shading.h"
#include "scene_frames.h"

namespace kurvo::cli {
namespace {

using kurvo::media::Status;

// Point-frames (points of all polygon objects times frames) an output may
// hold in memory: 12 bytes each in a frame series, about 45 as JSON text.
constexpr double kMaxSeriesPointFrames = 200e6;
constexpr double kMaxJsonPointFrames = 20e6;

std::string lowerExtension(const std::filesystem::path& out) {
  std::string ext = out.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

enum class Kind { sequence, gltf, pointCache, json };

Kind kindOf(const std::filesystem::path& out) {
  if (isSequenceName(out)) return Kind::sequence;
  const std::string ext = lowerExtension(out);
  if (ext == ".glb" || ext == ".gltf") return Kind::gltf;
  if (ext == ".pc2" || ext == ".mdd") return Kind::pointCache;
  return Kind::json;
}

double scenePoints(const kurvo::host::Document& document) {
  double points = 0;
  document.forEachObject([&](kurvo::host::Object& o) {
    if (o.isPointObject()) points += static_cast<double>(o.points().size());
  });
  return points;
}

std::string frameLabel(double frame) { return std::to_string(static_cast<long long>(frame)); }

}  // namespace

bool isSequenceName(const std::filesystem::path& out) {
  return out.filename().string().find('#') != std::string::npos;
}

std::filesystem::path sequenceName(const std::filesystem::path& pattern, long long frame) {
  std::string name = pattern.filename().string();
  const size_t end = name.rfind('#') + 1;
  size_t begin = end - 1;
  while (begin > 0 && name[begin - 1] == '#') --begin;
  std::string digits = std::to_string(frame < 0 ? -frame : frame);
  if (digits.size() < end - begin) digits.insert(0, end - begin - digits.size(), '0');
  if (frame < 0) digits.insert(0, 1, '-');
  name.replace(begin, end - begin, digits);
  return pattern.parent_path() / name;
}

bool isKnownFramesOutput(const std::filesystem::path& out, std::string& problem) {
  if (isSequenceName(out)) return isKnownOutput(out, problem);
  const std::string ext = lowerExtension(out);
  if (ext == ".glb" || ext == ".gltf" || ext == ".pc2" || ext == ".mdd" || ext == ".json") return true;
  problem = out.string() + ": --frames writes .glb, .gltf, .pc2, .mdd or .json, or a sequence of any output "
                           "format named with a run of '#' (e.g. frames/bent_####" + ext + ")";
  return false;
}

Status framesFitOutput(const kurvo::host::Document& document, size_t frames, const std::filesystem::path& out) {
  const Kind kind = kindOf(out);
  const double pointFrames = scenePoints(document) * static_cast<double>(frames);
  const double budget = kind == Kind::json ? kMaxJsonPointFrames : kMaxSeriesPointFrames;
  if (kind != Kind::sequence && pointFrames > budget) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "%.0f points times frames is more than this output holds in memory (%.0f); write a sequence "
                  "(a name with ####) or fewer frames",
                  pointFrames, budget);
    return Status::failure(out.string() + ": " + text);
  }
  return Status::success();
}

Status writeFrames(SceneRun& run, const animation::FrameRange& range, const std::filesystem::path& out,
                   const kurvo::media::ExportOptions& exportOptions, bool quiet, const CollectedWriter& instead) {
  const std::vector<double> frames = range.frames();
  const Kind kind = kindOf(out);
  const double pointFrames = scenePoints(*run.document) * static_cast<double>(frames.size());
  if (auto s = framesFitOutput(*run.document, frames.size(), out); !s) return s;

  kurvo::host::Document& document = *run.document;
  const animation::Timeline& timeline = run.scene.timeline;
  kurvo::media::FrameSeries series;
  series.fps = timeline.fps;
  std::string framesText;
  // About 40 bytes a point: reserved at once rather than grown by copying.
  if (kind == Kind::json) framesText.reserve(static_cast<size_t>(pointFrames * 40.0));
  std::unique_ptr<kurvo::host::RenderShading> shading;

  if (kind == Kind::sequence && !out.parent_path().empty()) {
    // A sequence usually goes into a folder of its own: make it.
    std::error_code ec;
    std::filesystem::create_directories(out.parent_path(), ec);
    if (ec) return Status::failure(out.parent_path().string() + ": cannot create the folder: " + ec.message());
  }
  kurvo::media::ProgressBar bar("frames", frames.size(), quiet);
  for (const double frame : frames) {
    animation::applyFrame(document, timeline, frame);
    document.evaluate();
    if (auto s = kurvo::scenefile::checkFiniteResults(document, run.session->state(), run.scene.file); !s)
      return Status::failure(s.message() + " (frame " + frameLabel(frame) + ")");
    switch (kind) {
      case Kind::sequence:
        if (auto s = writeResult(run, sequenceName(out, static_cast<long long>(frame)), exportOptions); !s)
          return s;
        break;
      case Kind::gltf:
      case Kind::pointCache:
        // Colours are baked once, at the first frame, as a still export bakes them.
        if (!shading) shading = std::make_unique<kurvo::host::RenderShading>(document);
        if (auto s = kurvo::scenefile::appendSample(document, shading.get(), frame, series, &run.scene.sources); !s)
          return Status::failure(run.scene.file.string() + ": " + s.message());
        break;
      case Kind::json:
        if (!framesText.empty()) framesText += ",\n";
        kurvo::scenefile::appendFrameText(document, timeline, frame, framesText);
        break;
    }
    bar.advance();
  }
  bar.finish();

  if (instead && kind != Kind::sequence) {
    CollectedFrames collected;
    if (kind == Kind::json)
      collected.framesText = &framesText;
    else
      collected.series = &series;
    return instead(collected);
  }
  switch (kind) {
    case Kind::sequence: return Status::success();
    case Kind::gltf: return kurvo::media::write_animated_gltf(series, out, exportOptions);
    case Kind::pointCache: return kurvo::media::write_point_caches(series, out, exportOptions);
    case Kind::json: {
      // The scene is written as read: animated values at rest, tracks kept.
      kurvo::scenefile::SaveOptions options;
      options.deformedPoints = false;
      auto text = kurvo::scenefile::sceneText(document, run.scene, out, run.session->state(), options);
      if (!text) return text.status();
      return kurvo::scenefile::saveWithFrames(text.value(), framesText, out);
    }
  }
  return Status::success();
}

}  // namespace kurvo::cli
