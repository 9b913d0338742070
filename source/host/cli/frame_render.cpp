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

// Points for the camera to frame over a whole range, gathered in one pass:
// every point of the first frame, and per mesh (and for the lines) the
// points farthest along each of the directions below (the axes and the
// diagonals) over all frames. Those stand in closely for the motion's
// outline from any view; the picture's free border takes up what they miss.
// The set stays the same size however many frames there are, so fitting
// the camera to it costs every frame the same. The lines are framed only as
// the still picture frames them (raster.h: frames_lines).
class MotionFit {
 public:
  void add(const kurvo::scenefile::Preview& preview) {
    if (!started_) {
      for (const kurvo::media::Mesh& mesh : preview.meshes) first_.insert(first_.end(), mesh.points.begin(), mesh.points.end());
      for (const kurvo::media::Line& line : preview.lines) {
        firstLines_.push_back(line.a);
        firstLines_.push_back(line.b);
      }
      started_ = true;
    }
    if (groups_.size() < preview.meshes.size()) groups_.resize(preview.meshes.size());
    for (size_t m = 0; m < preview.meshes.size(); ++m)
      for (const Vector& p : preview.meshes[m].points) groups_[m].add(p);
    for (const kurvo::media::Line& line : preview.lines) {
      lines_.add(line.a);
      lines_.add(line.b);
    }
  }

  std::vector<Vector> points(const kurvo::media::RenderOptions& options) const {
    std::vector<Vector> fit = first_;
    for (const Extremes& g : groups_) g.appendTo(fit);
    if (options.helpers && (options.frame_helpers || fit.empty())) {
      fit.insert(fit.end(), firstLines_.begin(), firstLines_.end());
      lines_.appendTo(fit);
    }
    return fit;
  }

 private:
  static constexpr int kDirections = 13;
  static constexpr Vector kDirection[kDirections] = {{1, 0, 0}, {0, 1, 0},  {0, 0, 1},  {1, 1, 1},  {1, 1, -1},
                                                     {1, -1, 1}, {-1, 1, 1}, {1, 1, 0},  {1, -1, 0}, {1, 0, 1},
                                                     {1, 0, -1}, {0, 1, 1},  {0, 1, -1}};
  struct Extremes {
    bool set = false;
    float low[kDirections] = {}, high[kDirections] = {};
    Vector lowAt[kDirections], highAt[kDirections];
    void add(const Vector& p) {
      for (int d = 0; d < kDirections; ++d) {
        const float t = Dot(p, kDirection[d]);
        if (!set || t < low[d]) low[d] = t, lowAt[d] = p;
        if (!set || t > high[d]) high[d] = t, highAt[d] = p;
      }
      set = true;
    }
    void appendTo(std::vector<Vector>& fit) const {
      if (!set) return;
      fit.insert(fit.end(), lowAt, lowAt + kDirections);
      fit.insert(fit.end(), highAt, highAt + kDirections);
    }
  };
  bool started_ = false;
  std::vector<Vector> first_, firstLines_;
  std::vector<Extremes> groups_;  // per mesh, in the preview's order
  Extremes lines_;
};

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
  MotionFit fit;
  if (!options.camera) {
    kurvo::media::ProgressBar bar("framing", frames.size(), quiet);
    for (const double frame : frames) {
      animation::applyFrame(document, timeline, frame);
      document.evaluate();
      if (auto s = kurvo::scenefile::checkFiniteResults(document, run.session->state(), run.scene.file); !s)
        return Status::failure(s.message() + " (frame " + std::to_string(static_cast<long long>(frame)) + ")");
      const kurvo::scenefile::Preview preview = kurvo::scenefile::buildPreview(document, nullptr);
      fit.add(preview);
      bar.advance();
    }
    bar.finish();
  }
  if (!options.camera) options.fit = fit.points(options);

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
    // A placed camera skips the framing pass, whose checks come here instead.
    if (options.camera)
      if (auto s = kurvo::scenefile::checkFiniteResults(document, run.session->state(), run.scene.file); !s)
        return Status::failure(s.message() + " (frame " + std::to_string(static_cast<long long>(frame)) + ")");
    const kurvo::host::RenderShading shading(document);
    if (!warned) {
      for (const std::string& w : shading.warnings())
        std::fprintf(stderr, "kurvo: warning: %s: %s\n", run.scene.file.string().c_str(), w.c_str());
      warned = true;
    }
    const kurvo::scenefile::Preview preview =
        kurvo::scenefile::buildPreview(document, &shading, {}, {}, &run.scene.sources);
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
