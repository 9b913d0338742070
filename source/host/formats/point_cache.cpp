#include "point_cache.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>

#include "atomic_file.h"
#include "axis_convention.h"
#include "path_text.h"
#include "text_sink.h"

namespace kurvo::media {
namespace {

enum class CacheFormat { pc2, mdd };

// A mesh name made fit for a file name: letters, digits, '-', '_', '.' and
// UTF-8 sequences stay; path separators, spaces, control characters and the
// characters other systems refuse become '_'. Long names are cut, at a
// character boundary, so that stem, name and extension still fit a name.
std::string file_safe(const std::string& name) {
  constexpr size_t kMaxBytes = 64;
  std::string out;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    const bool keep = u >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_' || c == '.';
    out += keep ? c : '_';
  }
  if (out.size() > kMaxBytes) {
    size_t cut = kMaxBytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    out.resize(cut);
  }
  return out;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string frame_text(double frame) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, frame);
  return std::string(buffer, ec == std::errc() ? end : buffer);
}

// The point as the rest OBJ holds it: the same operations, in the same order,
// as export_meshes(), so both files carry bit-identical coordinates.
Vector in_obj_frame(const Vector& world, const ExportOptions& options) {
  if (options.raw_axes) return options.scale != 1.0f ? world * options.scale : world;
  return to_file_frame(world, FileFrame::y_up_right_handed) * options.scale;
}

// ---- byte order

void put_u32(std::string& out, uint32_t v, CacheFormat format) {
  if (format == CacheFormat::pc2) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
  } else {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
  }
}
void put_i32(std::string& out, int32_t v, CacheFormat format) { put_u32(out, static_cast<uint32_t>(v), format); }
void put_f32(std::string& out, float v, CacheFormat format) { put_u32(out, std::bit_cast<uint32_t>(v), format); }

// ---- checks before anything is written

Status check_series(const FrameSeries& series, const std::filesystem::path& file, CacheFormat format,
                    const ExportOptions& options) {
  const std::string name = quoted(file);
  if (series.meshes.empty()) return Status::failure("cannot write " + name + ": no mesh to write");
  if (series.frames.empty()) return Status::failure("cannot write " + name + ": no frame to write");
  if (!(options.scale > 0.0f) || !std::isfinite(options.scale))
    return Status::failure("cannot write " + name + ": the scale must be a positive number");
  if (series.frames.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    return Status::failure("cannot write " + name + ": too many frames for one file");
  for (size_t i = 0; i < series.frames.size(); ++i) {
    if (!std::isfinite(series.frames[i]) || (i > 0 && !(series.frames[i] > series.frames[i - 1])))
      return Status::failure("cannot write " + name + ": the frames must be increasing numbers (frame " +
                             frame_text(series.frames[i]) + ")");
  }
  if (format == CacheFormat::mdd && !(series.fps > 0.0 && std::isfinite(series.fps)))
    return Status::failure("cannot write " + name + ": the frame rate must be a positive number");
  if (format == CacheFormat::pc2 && series.frames.size() > 2) {
    // One rate for the whole file: every sample must sit where start + i *
    // rate puts it, to a thousandth of the step.
    const double start = series.frames.front();
    const double step = series.frames[1] - start;
    for (size_t i = 2; i < series.frames.size(); ++i) {
      if (std::abs(series.frames[i] - (start + static_cast<double>(i) * step)) > 1e-3 * step)
        return Status::failure("cannot write " + name + ": .pc2 holds evenly spaced frames only, and frame " +
                               frame_text(series.frames[i]) + " breaks the step of " + frame_text(step) +
                               " (write .mdd, which keeps the time of every frame)");
    }
  }
  for (const AnimatedMesh& mesh : series.meshes) {
    const std::string label = "cannot write " + name + ": mesh '" + mesh.name + "'";
    if (mesh.points.size() != series.frames.size() || mesh.placements.size() != series.frames.size())
      return Status::failure(label + " has " + std::to_string(mesh.points.size()) + " samples for " +
                             std::to_string(series.frames.size()) + " frames");
    const size_t count = mesh.points.front().size();
    if (count > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
      return Status::failure(label + " has too many points for one file");
    for (size_t s = 1; s < mesh.points.size(); ++s) {
      if (mesh.points[s].size() != count)
        return Status::failure(label + " has " + std::to_string(count) + " points at frame " +
                               frame_text(series.frames.front()) + " but " + std::to_string(mesh.points[s].size()) +
                               " at frame " + frame_text(series.frames[s]) +
                               "; a point cache needs the same points in every frame");
    }
  }
  return Status::success();
}

// ---- writing

Status write_cache(const FrameSeries& series, const AnimatedMesh& mesh, const std::filesystem::path& file,
                   CacheFormat format, const ExportOptions& options) {
  const size_t count = mesh.points.front().size();
  const auto samples = static_cast<int32_t>(series.samples());
  return write_file_atomically(file, [&](const std::filesystem::path& temp) {
    TextSink out(temp, file);
    std::string bytes;
    if (format == CacheFormat::pc2) {
      bytes.append("POINTCACHE2", 12);  // with its terminating zero
      put_i32(bytes, 1, format);
      put_i32(bytes, static_cast<int32_t>(count), format);
      put_f32(bytes, static_cast<float>(series.frames.front()), format);
      const double step = series.samples() > 1 ? series.frames[1] - series.frames[0] : 1.0;
      put_f32(bytes, static_cast<float>(step), format);
      put_i32(bytes, samples, format);
    } else {
      put_i32(bytes, samples, format);
      put_i32(bytes, static_cast<int32_t>(count), format);
      for (size_t s = 0; s < series.samples(); ++s) put_f32(bytes, static_cast<float>(series.secondsAt(s)), format);
    }
    out.append(bytes);
    for (size_t s = 0; s < series.samples(); ++s) {
      const std::vector<Vector> world = world_points(mesh, s);
      bytes.clear();
      for (size_t i = 0; i < world.size(); ++i) {
        const Vector p = in_obj_frame(world[i], options);
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
          return Status::failure("cannot write " + quoted(file) + ": mesh '" + mesh.name + "': point " +
                                 std::to_string(i) + " at frame " + frame_text(series.frames[s]) +
                                 " is not a finite number");
        put_f32(bytes, p.x, format);
        put_f32(bytes, p.y, format);
        put_f32(bytes, p.z, format);
      }
      out.append(bytes);
    }
    return out.finish();
  });
}

}  // namespace

std::vector<std::filesystem::path> point_cache_names(const FrameSeries& series, const std::filesystem::path& file) {
  if (series.meshes.size() == 1) return {file};
  std::vector<std::filesystem::path> names;
  std::set<std::string> taken;  // lower case: some file systems ignore case
  const std::string stem = file.stem().string();
  for (size_t i = 0; i < series.meshes.size(); ++i) {
    std::string base = file_safe(series.meshes[i].name);
    if (base.empty()) base = "mesh" + std::to_string(i);
    std::string name = base;
    for (int n = 2; !taken.insert(lower(name)).second; ++n) name = base + "_" + std::to_string(n);
    std::filesystem::path path = file;
    path.replace_filename(stem + "_" + name + file.extension().string());
    names.push_back(std::move(path));
  }
  return names;
}

Status write_point_caches(const FrameSeries& series, const std::filesystem::path& file,
                          const ExportOptions& options) {
  const std::string extension = lower_extension(file);
  if (extension != ".pc2" && extension != ".mdd")
    return Status::failure("cannot write " + quoted(file) + ": point cache format '" + extension +
                           "' is not offered; supported: .pc2 .mdd");
  const CacheFormat format = extension == ".pc2" ? CacheFormat::pc2 : CacheFormat::mdd;
  if (Status s = check_series(series, file, format, options); !s.ok()) return s;

  OutputBatch batch;  // nothing appears unless every file was written
  const std::vector<std::filesystem::path> names = point_cache_names(series, file);
  for (size_t m = 0; m < series.meshes.size(); ++m) {
    const AnimatedMesh& animated = series.meshes[m];
    Mesh rest = animated.surface;
    rest.name = animated.name;
    rest.points = world_points(animated, 0);
    if (rest.face_count() == 0)
      for (const Polygon& q : animated.polygons) rest.add_polygon(q);
    rest.colour = animated.colour;
    std::filesystem::path obj = names[m];
    obj.replace_extension(".obj");
    std::vector<Mesh> meshes;
    meshes.push_back(std::move(rest));
    if (Status s = export_meshes(std::move(meshes), obj, options); !s.ok()) return s;
    if (Status s = write_cache(series, animated, names[m], format, options); !s.ok()) return s;
  }
  return batch.commit();
}

}  // namespace kurvo::media
