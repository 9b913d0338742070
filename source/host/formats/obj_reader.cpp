#include "obj_reader.h"

#include <algorithm>
#include <map>
#include <new>
#include <utility>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "core/task_pool.h"
#include "input_file.h"
#include "mtl_reader.h"
#include "obj_stretch.h"
#include "path_text.h"
#include "polygon_split.h"
#include "progress.h"

namespace kurvo::media {
namespace {

// Stretches of at least this much text: fewer for a small file, where
// starting threads would cost more than they save.
constexpr size_t kStretchBytes = size_t(1) << 20;

// Frees a list read once it is no longer needed.
template <class T>
void release(std::vector<T>& list) {
  std::vector<T>().swap(list);
}

template <class T>
void append(std::vector<T>& to, const std::vector<T>& from) {
  to.insert(to.end(), from.begin(), from.end());
}

// Appends `from`, or takes it over while `to` is empty (the first stretch).
template <class T>
void take(std::vector<T>& to, std::vector<T>& from, size_t total) {
  if (to.empty()) {
    to.swap(from);
    to.reserve(total);
  } else {
    append(to, from);
  }
  std::vector<T>().swap(from);
}

struct StretchJob {
  const InputFile* file;
  const std::vector<uint64_t>* bounds;
  std::vector<ObjStretch>* out;
  SharedFileProgress* progress;
};

void read_stretch(void* context, int32_t i) {
  const StretchJob& job = *static_cast<const StretchJob*>(context);
  const std::vector<uint64_t>& bounds = *job.bounds;
  ObjStretch& out = (*job.out)[size_t(i)];
  // A task cannot throw: running out of memory is the stretch's problem,
  // reported with the file's name like any other.
  try {
    out = read_obj_stretch(*job.file, bounds[size_t(i)], bounds[size_t(i) + 1], job.progress);
  } catch (const std::bad_alloc&) {
    out = ObjStretch();
    out.read_problem = "there is not enough memory to read it";
  }
}

const char* kind_name(BackIndex::Kind kind) {
  return kind == BackIndex::point ? "point" : kind == BackIndex::uv ? "texture coordinate" : "normal";
}

}  // namespace

Result<std::vector<Mesh>> read_obj(const std::filesystem::path& file, bool resources_outside_folder) {
  // A stretch per MiB, up to two per thread, so a thread that ends early takes another.
  std::error_code ec;
  const uintmax_t size = std::filesystem::file_size(file, ec);
  const size_t threads = size_t(std::max(1, host::TaskPool::shared().concurrency()));
  const size_t stretches = ec ? 1 : std::clamp<size_t>(size_t(size / kStretchBytes), 1, threads * 2);
  return read_obj_in_stretches(file, resources_outside_folder, stretches);
}

Result<std::vector<Mesh>> read_obj_in_stretches(const std::filesystem::path& file, bool resources_outside_folder,
                                                size_t stretch_count) {
  // Stretches of the file read at once on the task pool, each a piece at a
  // time, and joined in file order (obj_stretch.h).
  std::error_code size_error;
  const uintmax_t size = std::filesystem::file_size(file, size_error);
  FileProgress progress = FileProgress::bytes("reading " + file.filename().string(), size_error ? 0 : size);
  Result<InputFile> input = InputFile::open(file);
  if (!input) return Status::failure("cannot read mesh file " + quoted(file) + ": " + input.message());
  std::string problem;
  const std::vector<uint64_t> bounds = stretch_bounds(input.value(), std::max<size_t>(1, stretch_count), problem);
  if (!problem.empty()) return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
  std::vector<ObjStretch> stretches(bounds.size() - 1);
  SharedFileProgress shared_progress(progress);
  StretchJob job{&input.value(), &bounds, &stretches, &shared_progress};
  host::TaskPool::shared().run(int32_t(stretches.size()), read_stretch, &job);
  progress.reach(input.value().size());
  progress.finish();
  for (const ObjStretch& s : stretches)
    if (!s.read_problem.empty())
      return Status::failure("cannot read mesh file " + quoted(file) + ": " + s.read_problem);

  // The first error in file order: a stretch's own, or before it an index
  // that counts back past the first entry of the file.
  size_t line_base = 0, counts[3] = {0, 0, 0};
  for (ObjStretch& s : stretches) {
    for (const ReachBack& r : s.reach_back)
      if (int64_t(counts[r.kind]) + r.value < 0)
        return Status::failure("cannot read mesh file " + quoted(file) + ": line " + std::to_string(line_base + r.line) +
                               ": bad " + kind_name(r.kind) + " index '" + r.token + "'");
    if (s.error_line)
      return Status::failure("cannot read mesh file " + quoted(file) + ": line " +
                             std::to_string(line_base + s.error_line) + ": " + s.error);
    line_base += s.lines;
    counts[BackIndex::point] += s.points.size();
    counts[BackIndex::uv] += s.uvs.size();
    counts[BackIndex::normal] += s.normals.size();
  }
  // One stretch needs no join.
  std::vector<Vector> points, colours, normals;
  std::vector<Uv> uvs;
  std::vector<PendingMesh> pending(1);
  std::vector<std::string> material_names;
  std::map<std::string, uint32_t> material_index;
  uint32_t material = kNoMaterial, smooth_group = 0;
  bool any_smoothing = false, split = false;
  std::vector<std::string> libraries;
  std::set<std::string> named;  // a library named many times is read once
  const bool any_colour =
      std::any_of(stretches.begin(), stretches.end(), [](const ObjStretch& s) { return !s.colours.empty(); });
  // The faces and corners each mesh will have once joined, so that its lists
  // are made once at their full length instead of growing (a peak of the
  // joined lists and the stretches' together, and copies on the way).
  std::vector<std::pair<size_t, size_t>> totals(1, {0, 0});
  for (const ObjStretch& s : stretches)
    for (size_t i = 0; i < s.meshes.size(); ++i) {
      if ((i > 0 || s.opens) && totals.back().first > 0) totals.emplace_back(0, 0);
      totals.back().first += s.meshes[i].sizes.size();
      totals.back().second += s.meshes[i].corners.size();
    }
  const auto reserve_all = [&](PendingMesh& m) {
    const auto [faces, corners] = totals[pending.size() - 1];
    m.corners.reserve(corners);
    if (m.any_uv) m.uvs.reserve(corners);
    if (m.any_normal) m.normals.reserve(corners);
    m.sizes.reserve(faces);
    m.material.reserve(faces);
    m.smooth_group.reserve(faces);
  };
  for (ObjStretch& s : stretches) {
    const int64_t before[3] = {int64_t(points.size()), int64_t(uvs.size()), int64_t(normals.size())};
    for (const BackIndex& b : s.back) {
      PendingMesh& m = s.meshes[b.mesh];
      std::vector<int32_t>& list = b.kind == BackIndex::point ? m.corners : b.kind == BackIndex::uv ? m.uvs : m.normals;
      list[b.corner] = static_cast<int32_t>(before[b.kind] + b.value);
    }
    // The stretch's material names in the file's list, in order of first use.
    std::vector<uint32_t> material_of(s.material_names.size());
    for (size_t i = 0; i < s.material_names.size(); ++i) {
      auto [it, added] = material_index.emplace(s.material_names[i], static_cast<uint32_t>(material_names.size()));
      if (added) material_names.push_back(s.material_names[i]);
      material_of[i] = it->second;
    }
    const auto global_material = [&](uint32_t m) { return m == kNoMaterial ? kNoMaterial : material_of[m]; };
    size_t face = 0;  // in the stretch
    for (size_t i = 0; i < s.meshes.size(); ++i) {
      PendingMesh& from = s.meshes[i];
      if (i > 0 || s.opens) {
        // As an "o" or "g" line does: a new mesh unless the current one has no faces yet.
        if (!pending.back().sizes.empty()) pending.emplace_back();
        pending.back().name = std::move(from.name);
      }
      PendingMesh& to = pending.back();
      for (size_t f = 0; f < from.sizes.size(); ++f, ++face) {
        from.material[f] = face < s.faces_before_material || !s.material_set ? material : global_material(from.material[f]);
        if (face < s.faces_before_smoothing || !s.smoothing_set) from.smooth_group[f] = smooth_group;
      }
      if (to.sizes.empty() && to.corners.empty()) {  // taken over whole
        std::string name = std::move(to.name);
        to = std::move(from);
        to.name = std::move(name);
        if (stretches.size() > 1) reserve_all(to);
        continue;
      }
      // UVs and normals: the lists of both sides, once either has them.
      if (from.any_uv && !to.any_uv) to.uvs.reserve(totals[pending.size() - 1].second);
      if (from.any_normal && !to.any_normal) to.normals.reserve(totals[pending.size() - 1].second);
      if (from.any_uv || to.any_uv) {
        to.uvs.resize(to.corners.size(), -1);
        from.uvs.resize(from.corners.size(), -1);
        append(to.uvs, from.uvs);
      }
      if (from.any_normal || to.any_normal) {
        to.normals.resize(to.corners.size(), -1);
        from.normals.resize(from.corners.size(), -1);
        append(to.normals, from.normals);
      }
      to.any_uv = to.any_uv || from.any_uv;
      to.any_normal = to.any_normal || from.any_normal;
      append(to.corners, from.corners);
      append(to.sizes, from.sizes);
      append(to.material, from.material);
      append(to.smooth_group, from.smooth_group);
      from = PendingMesh();
    }
    if (s.material_set) material = global_material(s.material);
    if (s.smoothing_set) smooth_group = s.smooth_group;
    any_smoothing = any_smoothing || s.any_smoothing;
    split = split || s.split;
    for (std::string& name : s.libraries)
      if (named.emplace(name).second) libraries.push_back(std::move(name));
    if (any_colour) {
      colours.resize(points.size(), Vector(1.0f, 1.0f, 1.0f));
      append(colours, s.colours);
    }
    take(points, s.points, counts[BackIndex::point]);
    take(uvs, s.uvs, counts[BackIndex::uv]);
    take(normals, s.normals, counts[BackIndex::normal]);
    s = ObjStretch();
  }

  if (!colours.empty()) colours.resize(points.size(), Vector(1.0f, 1.0f, 1.0f));
  std::map<std::string, Material> library_materials;
  for (const std::string& library : libraries) {
    if (std::string problem = read_material_library(file, library, resources_outside_folder, library_materials);
        !problem.empty())
      return Status::failure(problem);
  }

  const auto total = static_cast<int64_t>(points.size());
  std::vector<Mesh> meshes;
  // Names without polygons make no mesh; a file with a single mesh keeps
  // every point, used or not.
  std::erase_if(pending, [&](const PendingMesh& p) { return p.sizes.empty() && (split || points.empty()); });
  const bool all_points = pending.size() == 1;
  // Global -> mesh index, reset after each mesh; not needed for a single mesh.
  std::vector<int32_t> local(all_points ? 0 : points.size(), -1);
  // The same for normals (the last entry: no normal), with those a mesh used;
  // made when a mesh first needs it.
  std::vector<int32_t> local_normal, used_normals;
  for (PendingMesh& p : pending) {
    for (int32_t g : p.corners)
      if (g >= total)
        return Status::failure("cannot read mesh file " + quoted(file) + ": mesh '" + p.name + "' uses point " +
                               std::to_string(static_cast<int64_t>(g) + 1) + " but the file has " +
                               std::to_string(total));

    Mesh mesh;
    mesh.name = p.name.empty() ? file.stem().string() : p.name;
    std::vector<int32_t> used;
    if (!all_points) {
      used = p.corners;
      std::sort(used.begin(), used.end());
      used.erase(std::unique(used.begin(), used.end()), used.end());
      mesh.points.reserve(used.size());
      if (!colours.empty()) mesh.point_colours.reserve(used.size());
      for (int32_t g : used) {
        local[g] = static_cast<int32_t>(mesh.points.size());
        mesh.points.push_back(points[g]);
        if (!colours.empty()) mesh.point_colours.push_back(colours[g]);
      }
    } else {
      mesh.points = std::move(points);  // the only mesh: every point, in the file's numbering
      mesh.point_colours = std::move(colours);
    }
    for (int32_t t : p.uvs)
      if (t >= static_cast<int64_t>(uvs.size()))
        return Status::failure("cannot read mesh file " + quoted(file) + ": mesh '" + mesh.name +
                               "' uses texture coordinate " + std::to_string(int64_t(t) + 1) + " but the file has " +
                               std::to_string(uvs.size()));
    for (int32_t n : p.normals)
      if (n >= static_cast<int64_t>(normals.size()))
        return Status::failure("cannot read mesh file " + quoted(file) + ": mesh '" + mesh.name + "' uses normal " +
                               std::to_string(int64_t(n) + 1) + " but the file has " +
                               std::to_string(normals.size()));
    // Faces of fewer than three corners (lines written as faces) are left out
    // with their corners.
    const bool every_face = std::all_of(p.sizes.begin(), p.sizes.end(), [](uint32_t n) { return n >= 3; });
    if (all_points && every_face) {
      // The file's faces as they are: the corner list is taken over, and each
      // list read goes as soon as the mesh's own is made from it.
      mesh.corners = std::move(p.corners);
      mesh.face_start.resize(p.sizes.size() + 1);
      for (size_t f = 0; f < p.sizes.size(); ++f) mesh.face_start[f + 1] = mesh.face_start[f] + p.sizes[f];
      if (p.any_uv) {
        std::vector<Uv> corner_uvs(p.uvs.size());
        for (size_t k = 0; k < p.uvs.size(); ++k)
          if (p.uvs[k] >= 0) corner_uvs[k] = uvs[size_t(p.uvs[k])];
        mesh.uv_sets.push_back(UvSet{"UVMap", std::move(corner_uvs)});
      }
      release(p.uvs);
      release(uvs);
      if (p.any_normal) {
        // The file's list as it is, its corners naming entries as in the
        // file; a corner without one names a zero vector after them.
        const auto none = static_cast<int32_t>(normals.size());
        bool any_missing = false;
        for (int32_t& n : p.normals)
          if (n < 0) n = none, any_missing = true;
        if (any_missing) normals.emplace_back(0.0f, 0.0f, 0.0f);
        mesh.corner_normals.values = std::move(normals);
        mesh.corner_normals.index = std::move(p.normals);
      }
      release(p.normals);
      release(normals);
    } else {
      mesh.reserve_faces(p.sizes.size(), p.corners.size());
      std::vector<Uv> corner_uvs;
      if (p.any_uv) corner_uvs.reserve(p.corners.size());
      if (p.any_normal) mesh.corner_normals.index.reserve(p.corners.size());
      if (p.any_normal && local_normal.empty()) local_normal.assign(normals.size() + 1, -1);
      // The mesh's own numbering of the file's normals, as of its points.
      const auto entry_of = [&](int32_t n) {
        if (n < 0) n = static_cast<int32_t>(normals.size());  // none: a zero vector
        int32_t& entry = local_normal[size_t(n)];
        if (entry < 0) {
          entry = static_cast<int32_t>(mesh.corner_normals.values.size());
          mesh.corner_normals.values.push_back(size_t(n) < normals.size() ? normals[size_t(n)] : Vector(0.0f, 0.0f, 0.0f));
          used_normals.push_back(n);
        }
        return entry;
      };
      size_t at = 0;
      std::vector<int32_t> face;
      for (const uint32_t n : p.sizes) {
        const size_t first = at;
        at += n;
        if (n < 3) continue;
        face.clear();
        for (size_t k = first; k < at; ++k) face.push_back(all_points ? p.corners[k] : local[p.corners[k]]);
        mesh.add_face(face);
        for (size_t k = first; k < at; ++k) {
          if (p.any_uv) corner_uvs.push_back(p.uvs[k] >= 0 ? uvs[p.uvs[k]] : Uv{});
          if (p.any_normal) mesh.corner_normals.index.push_back(entry_of(p.normals[k]));
        }
      }
      if (p.any_uv) mesh.uv_sets.push_back(UvSet{"UVMap", std::move(corner_uvs)});
    }
    // The materials and smoothing groups of the faces kept.
    std::map<uint32_t, uint32_t> local_material;
    const bool any_material = std::any_of(p.material.begin(), p.material.end(), [](uint32_t m) { return m != kNoMaterial; });
    for (size_t f = 0; f < p.sizes.size() && (any_material || any_smoothing); ++f) {
      if (p.sizes[f] < 3) continue;
      if (any_material) {
        const uint32_t m = p.material[f];
        auto [it, added] = local_material.emplace(m, static_cast<uint32_t>(mesh.materials.size()));
        if (added) {
          Material made;
          if (m != kNoMaterial) {
            made.name = material_names[m];
            if (auto found = library_materials.find(made.name); found != library_materials.end()) made = found->second;
            made.file_index = static_cast<int32_t>(m);  // the file's own list: its usemtl names in order
          }
          mesh.materials.push_back(std::move(made));
        }
        mesh.face_material.push_back(it->second);
      }
      if (any_smoothing) mesh.face_smooth_group.push_back(p.smooth_group[f]);
    }
    for (int32_t g : used) local[g] = -1;
    for (int32_t n : used_normals) local_normal[size_t(n)] = -1;
    used_normals.clear();
    if (!mesh.materials.empty() && library_materials.count(mesh.materials.front().name))
      mesh.colour = mesh.materials.front().base_colour;
    if (std::string problem = check_mesh(mesh); !problem.empty())
      return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
    meshes.push_back(std::move(mesh));
  }
  if (meshes.empty()) return Status::failure("cannot read mesh file " + quoted(file) + ": it holds no mesh");
  return meshes;
}

}  // namespace kurvo::media
