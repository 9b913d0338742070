// Writing an animated scene frame by frame (eval --frames): every sampled
// frame is shown (the tracks applied as a user's edit), evaluated through the
// document's evaluation loop, and collected for the output the file's name
// asks for:
//  - a name with a run of '#' ("frames/bent_####.obj"): one file per frame,
//    the run replaced by the frame number padded with zeros to its length;
//    any format `eval` writes;
//  - .glb / .gltf: one glTF with the motion as morph targets and node
//    animation;
//  - .pc2 / .mdd: a point cache per polygon object with its rest mesh as OBJ;
//  - .json: the scene (as read, tracks included) with "frames", the
//    deformed points of every frame.
// Every file of a run appears together, and only when all were written.
// kurvo render --frames renders the frames into an animated .gif or .mp4.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "animation_writer.h"
#include "frame_range.h"
#include "frame_series.h"
#include "mesh_export.h"
#include "raster.h"
#include "scene_tasks.h"

namespace kurvo::cli {

// True when `out` names an output --frames can write; else says why.
bool isKnownFramesOutput(const std::filesystem::path& out, std::string& problem);

// What the frames of a single-file output came to before it is written:
// the frame series (glTF, point caches) or the frames' text (JSON, entries
// joined by ",\n"). A shard writes this as its part instead of the output.
struct CollectedFrames {
  const kurvo::media::FrameSeries* series = nullptr;
  const std::string* framesText = nullptr;
};
using CollectedWriter = std::function<kurvo::media::Status(const CollectedFrames&)>;

// `run` holds a loaded scene (evaluated or not); the frames are shown and
// evaluated in order and written to `out`, or, when `instead` is given and
// `out` is a single file, handed to it.
kurvo::media::Status writeFrames(SceneRun& run, const animation::FrameRange& range, const std::filesystem::path& out,
                                 const kurvo::media::ExportOptions& exportOptions, bool quiet,
                                 const CollectedWriter& instead = {});

// Success when `frames` frames of the scene fit the memory `out` may take
// (a single-file output holds every frame until it is written); else why not.
kurvo::media::Status framesFitOutput(const kurvo::host::Document& document, size_t frames,
                                     const std::filesystem::path& out);

// Renders the frames into an animation (.gif or .mp4, by the extension) at
// the scene's frame rate divided by the step, or, for a name with a run of
// '#', into one PNG per frame. The camera is fixed for the
// whole animation: it frames everything drawn at any of the frames (a first
// pass evaluates every frame to find that), so nothing leaves the picture.
// With `only` given (a shard: a run of the range's frames), the camera
// still frames the whole range but only those frames are rendered, into
// `instead` when it is given (the shard's part) or as PNGs of a sequence.
kurvo::media::Status renderFrames(SceneRun& run, const animation::FrameRange& range, const std::filesystem::path& out,
                                  kurvo::media::RenderOptions options, bool quiet,
                                  const animation::FrameRange* only = nullptr,
                                  kurvo::media::AnimationWriter* instead = nullptr);

// The name of frame `frame` in a sequence named with a run of '#'.
std::filesystem::path sequenceName(const std::filesystem::path& pattern, long long frame);
bool isSequenceName(const std::filesystem::path& out);

}  // namespace kurvo::cli
