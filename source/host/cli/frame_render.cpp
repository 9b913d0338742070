// kurvo render --frames: an animated preview (frame_outputs.h).
#include <cstdio>

#include "animation/apply_frame.h"
#include "animation_writer.h"
#include "atomic_file.h"
#include "finite_results.h"
#include "frame_outputs.h"
#include "png_writer.h"
#include "progress.h"
#include "scene/shading.h"
#include "scene_preview.h"

namespace kurvo::cli {

using kurvo::media::Status;

namespace {

// Points for the camera to frame: all of them, or per mesh only the points
// farthest along each of the directions below (the axes and the diagonals).
// Those stand in closely for a frame's outline from any view; the picture's
// free border takes up what they miss.
void addFitPoints(const kurvo::scenefile::Preview& preview, bool all, std::vector<Vector>& fit) {
  static const Vector kDirections[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1},  {1, 1, -1},
                                       {1, -1, 1}, {-1, 1, 1}, {1, 1, 0}, {1, -1, 0}, {1, 0, 1},
                                       {1, 0, -1}, {0, 1, 1}, {0, 1, -1}};
  const auto extremes = [&](const std::vector<Vector>& points) {
    if (points.empty()) return;
    if (all) {
      fit.insert(fit.end(), points.begin(), points.end());
      return;
    }
    for (const Vector& d : kDirections) {
      const Vector* low = &points[0];
      const Vector* high = &points[0];
      float lowDot = Dot(*low, d), highDot = lowDot;
      for (const Vector& p : points) {
        const float t = Dot(p, d);
        if (t < lowDot) lowDot = t, low = &p;
        if (t > highDot) highDot = t, high = &p;
      }
      fit.push_back(*low);
      fit.push_back(*high);
    }
  };
  for (const kurvo::media::Mesh& mesh : preview.meshes) extremes(mesh.points);
  std::vector<Vector> ends;
  for (const kurvo::media::Line& line : preview.lines) {
    ends.push_back(line.a);
    ends.push_back(line.b);
  }
  extremes(ends);
}

}  // namespace

Status renderFrames(SceneRun& run, const animation::FrameRange& range, const std::filesystem::path& out,
                    kurvo::media::RenderOptions options, bool quiet, const animation::FrameRange* only,
                    kurvo::media::AnimationWriter* instead) {
  // A name with '#': one PNG per frame; else one animation file.
  const bool sequence = isSequenceName(out);
  std::unique_ptr<kurvo::media::AnimationWriter> owned;
  kurvo::media::AnimationWriter* writer = sequence ? nullptr : instead;
  if (!sequence && !writer) {
    auto made = kurvo::media::make_animation_writer(out);
    if (!made) return made.status();
    owned = std::move(made.value());
    writer = owned.get();
  }
  kurvo::media::OutputBatch outputs;  // every picture of a sequence appears together
  const std::vector<double> frames = range.frames();
  kurvo::host::Document& document = *run.document;
  const animation::Timeline& timeline = run.scene.timeline;

  // First pass: where everything goes over the whole range. Every point of
  // the first frame and the extremes of every later one are kept: with the
  // border around the picture, that frames all the motion.
  std::vector<Vector> fit;
  {
    kurvo::media::ProgressBar bar("framing", frames.size(), quiet);
    for (const double frame : frames) {
      animation::applyFrame(document, timeline, frame);
      document.evaluate();
      if (auto s = kurvo::scenefile::checkFiniteResults(document, run.session->state(), run.scene.file); !s)
        return Status::failure(s.message() + " (frame " + std::to_string(static_cast<long long>(frame)) + ")");
      const kurvo::scenefile::Preview preview = kurvo::scenefile::buildPreview(document, nullptr);
      addFitPoints(preview, fit.empty(), fit);
      bar.advance();
    }
    bar.finish();
  }
  options.fit = std::move(fit);

  const double fps = timeline.fps / static_cast<double>(range.step);
  if (writer) {
    if (auto s = writer->open(out, options.width, options.height, fps); !s) return s;
  } else if (!out.parent_path().empty()) {
    std::error_code ec;
    std::filesystem::create_directories(out.parent_path(), ec);
    if (ec) return Status::failure(out.parent_path().string() + ": cannot create the folder: " + ec.message());
  }
  const std::vector<double> rendered = only ? only->frames() : frames;
  kurvo::media::ProgressBar bar("rendering", rendered.size(), quiet);
  bool warned = false;
  for (const double frame : rendered) {
    animation::applyFrame(document, timeline, frame);
    document.evaluate();
    const kurvo::host::RenderShading shading(document);
    if (!warned) {
      for (const std::string& w : shading.warnings())
        std::fprintf(stderr, "kurvo: warning: %s: %s\n", run.scene.file.string().c_str(), w.c_str());
      warned = true;
    }
    const kurvo::scenefile::Preview preview = kurvo::scenefile::buildPreview(document, &shading);
    const kurvo::media::Image image = kurvo::media::render(preview.drawList(), options);
    if (auto s = writer ? writer->add(image)
                        : kurvo::media::write_png(image, sequenceName(out, static_cast<long long>(frame)));
        !s)
      return s;
    bar.advance();
  }
  bar.finish();
  if (writer)
    if (auto s = writer->finish(); !s) return s;
  return outputs.commit();
}

}  // namespace kurvo::cli
