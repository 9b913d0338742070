// One stretch of an OBJ file (whole lines) read on its own, so that several
// stretches can be read at once and joined in file order (obj_reader.cpp).
//
// What a stretch cannot know is left open: how many points, UVs and normals
// come before it (a negative index counts back from those), the mesh, the
// material and the smoothing group current where it starts, and the number
// of its first line. The join settles them.
#ifndef KURVO_MEDIA_OBJ_STRETCH_H
#define KURVO_MEDIA_OBJ_STRETCH_H

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "input_file.h"
#include "mesh.h"
#include "progress.h"

namespace kurvo::media {

inline constexpr uint32_t kNoMaterial = UINT32_MAX;

// Faces of one mesh, as read. The UV and normal lists stay empty until a
// corner has one (then they hold one entry per corner, -1 for none).
struct PendingMesh {
  std::string name;
  std::vector<int32_t> corners;  // point indices, polygon after polygon
  std::vector<int32_t> uvs;      // per corner, "vt" index or -1
  std::vector<int32_t> normals;  // per corner, "vn" index or -1
  std::vector<uint32_t> sizes;   // corner count of each polygon
  std::vector<uint32_t> material;      // per polygon, index into the material names
  std::vector<uint32_t> smooth_group;  // per polygon
  bool any_uv = false, any_normal = false;
};

// A corner index that counted back from the end ("-1"): `value` is the count
// read in the stretch plus the index, to which the join adds what came before.
struct BackIndex {
  enum Kind : uint8_t { point, uv, normal };
  uint32_t mesh;   // index into ObjStretch::meshes
  uint32_t corner; // index into that mesh's list of the kind
  Kind kind;
  int64_t value;
};

// One that reaches before the stretch, and is an error if the file has too
// few entries there: kept with its line and text for the message.
struct ReachBack {
  size_t line;  // in the stretch, from 1
  BackIndex::Kind kind;
  int64_t value;
  std::string token;
};

struct ObjStretch {
  std::vector<Vector> points, colours;  // colours: empty, or up to the last coloured point
  std::vector<Uv> uvs;
  std::vector<Vector> normals;
  // meshes[0] goes on with the mesh current at the stretch's start; when
  // `opens` an "o" or "g" line came before any face of the stretch, named
  // meshes[0].name. Each later one was started by such a line.
  std::vector<PendingMesh> meshes;
  bool opens = false;
  // Materials and smoothing groups of faces index these names and values;
  // the faces before the first "usemtl" or "o" (before the first "s") keep
  // those current at the start.
  std::vector<std::string> material_names;
  size_t faces = 0, faces_before_material = 0, faces_before_smoothing = 0;
  bool material_set = false, smoothing_set = false;  // at the end: material, smooth_group
  uint32_t material = kNoMaterial, smooth_group = 0;
  bool any_smoothing = false, split = false;
  std::vector<std::string> libraries;
  std::vector<BackIndex> back;
  std::vector<ReachBack> reach_back;
  size_t lines = 0;
  std::string read_problem;  // the file could not be read
  // The first error: its line in the stretch (0: none) and what it is.
  size_t error_line = 0;
  std::string error;
};

// Bytes [begin, end) of the file, read a piece at a time: the stretch never
// holds more than a piece of the text. Each piece read is added to
// `progress` when given.
ObjStretch read_obj_stretch(const InputFile& file, uint64_t begin, uint64_t end,
                            SharedFileProgress* progress = nullptr);

// Where to cut the file into up to `count` stretches of whole logical lines:
// 0, the offsets where the others begin (a line ending in a backslash is
// never cut from the next), and the file's size. Empty, with the reason, when
// the file cannot be read.
std::vector<uint64_t> stretch_bounds(const InputFile& file, size_t count, std::string& problem);

}  // namespace kurvo::media

#endif
