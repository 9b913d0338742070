// The evaluated frames of an animated scene, collected for output: as a
// FrameSeries (frame_series.h) for the writers of animated files, and as the
// "frames" list of a scene file.
#pragma once

#include "frame_series.h"
#include "json_text.h"
#include "result.h"
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
kurvo::media::Status appendSample(const host::Document& document, const host::RenderShading* shading, double frame,
                                  kurvo::media::FrameSeries& series);

// One entry of a scene file's "frames": {"frame": F, "objects": {NAME:
// {"deformed_points": [...]}, ...}} with the evaluated points of every point
// object a deformer moved, and "matrix" (local, as in the file) for every
// object whose placement is animated.
Json frameJson(const host::Document& document, const animation::Timeline& timeline, double frame);

}  // namespace kurvo::scenefile
