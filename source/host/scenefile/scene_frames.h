// The evaluated frames of an animated scene, collected for output: as a
// FrameSeries (frame_series.h) for the writers of animated files, and as the
// "frames" list of a scene file.
#pragma once

#include "frame_series.h"
#include <cstdint>
#include <unordered_map>

#include "json_text.h"
#include "result.h"
#include "scene_geometry.h"
#include "timeline.h"

namespace kurvo::host {
class Document;
class RenderShading;
}  // namespace kurvo::host

namespace kurvo::scenefile {

// Adds the document as it now stands as the series' sample for `frame`: every
// polygon object's points (object coordinates) and global placement. The
// first sample fixes the meshes: their names, polygons and colours (as
// `shading` bakes them, as for a still export). A later sample whose objects
// or point counts differ fails with a message naming the object and frames.
// With `sources`, the first sample keeps the faces and attributes of
// objects read from mesh files (worldMeshes()).
kurvo::media::Status appendSample(const host::Document& document, const host::RenderShading* shading, double frame,
                                  kurvo::media::FrameSeries& series,
                                  const std::unordered_map<uint64_t, GeometrySource>* sources = nullptr);

// One entry of a scene file's "frames", appended to `out` as JSON text
// indented for its place in the file: {"frame": F, "objects": {NAME:
// {"deformed_points": [...], "matrix": [...]}, ...}} with the evaluated
// points of every point object a deformer moved, and "matrix" (local, as in
// the file) for every object whose placement is animated. Written as text
// straight away (reals as the rest of the file writes them): a tree of
// JSON values for every point of every frame would take many times the
// memory and time.
void appendFrameText(const host::Document& document, const animation::Timeline& timeline, double frame,
                     std::string& out);

// Writes `sceneText` (as sceneText made it) to `file` with `frames` (entries
// of appendFrameText, joined by ",\n") as its last field, through a
// temporary file.
kurvo::media::Status saveWithFrames(const std::string& sceneText, const std::string& frames,
                                    const std::filesystem::path& file);

}  // namespace kurvo::scenefile
