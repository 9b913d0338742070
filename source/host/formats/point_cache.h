// Point caches: an evaluated animation as per-point positions over time, for
// tools that play them back on a mesh of the same points (a "mesh cache"
// modifier or deformer).
//
// Every mesh of the series gets two files: the cache, and its rest mesh as an
// OBJ (the mesh at the first sample, written by export_meshes(), so material
// library and colours are as `eval -o x.obj` writes them). Point i of the
// cache is vertex i of the rest OBJ, in the same frame: world positions (the
// placement baked in, as OBJ carries no transform), moved into the OBJ's
// right-handed frame and scaled exactly as the OBJ export does
// (axis_convention.h), unless raw axes are asked for. One sample per frame of
// the series.
//
// Layouts (both without padding):
//  .pc2  little-endian: char[12] "POINTCACHE2\0", int32 version (1), int32
//        point count, float32 start frame, float32 frames between samples,
//        int32 sample count, then float32 x, y, z per point per sample.
//        A single rate: frames that are not evenly spaced are refused.
//  .mdd  big-endian: int32 sample count, int32 point count, float32 time in
//        seconds from the first sample per sample, then float32 x, y, z per
//        point per sample. Any spacing works.
//
// All files of one call appear together or not at all (an OutputBatch; inside
// the caller's own batch they join it). A mesh whose point count changes from
// one sample to the next is refused with a message naming it.
#ifndef KURVO_MEDIA_POINT_CACHE_H
#define KURVO_MEDIA_POINT_CACHE_H

#include <filesystem>
#include <string>
#include <vector>

#include "frame_series.h"
#include "mesh_export.h"
#include "result.h"

namespace kurvo::media {

// .pc2 or .mdd by the extension (any case). One mesh: FILE itself and FILE
// with .obj; several: <stem>_<mesh name>.pc2/.mdd and <stem>_<mesh name>.obj
// beside FILE, the names made safe for file names and unique
// (point_cache_names()). Only raw_axes and scale of the options matter.
Status write_point_caches(const FrameSeries& series, const std::filesystem::path& file,
                          const ExportOptions& options);

// The cache file of each mesh, in order, as write_point_caches() names them
// (the rest OBJ is the same path with ".obj").
std::vector<std::filesystem::path> point_cache_names(const FrameSeries& series, const std::filesystem::path& file);

}  // namespace kurvo::media

#endif
