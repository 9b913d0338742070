#include "obj_reader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "progress.h"
#include "input_file.h"
#include "path_text.h"
#include "polygon_split.h"

namespace kurvo::media {
namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Splits off the next whitespace-separated token of `line`.
std::string_view next_token(std::string_view& line) {
  size_t start = 0;
  while (start < line.size() && is_space(line[start])) ++start;
  size_t end = start;
  while (end < line.size() && !is_space(line[end])) ++end;
  std::string_view token = line.substr(start, end - start);
  line.remove_prefix(end);
  return token;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

// Parses a float, "nan" and "inf" included (the caller rejects those with a
// message naming the mesh).
bool parse_float(std::string_view token, float& out) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), out);
  return ec == std::errc() && end == token.data() + token.size();
}

// A plain decimal ("-12.375", "0.922135": digits, a point with digits
// after it or none) that ends at `end` or a space, of digits that make a
// whole number below 2^24 and at most ten after the point: its float made
// exactly as the nearest to the text, which is what from_chars answers. The
// digits and the power of ten are both exact floats, so their quotient,
// rounded once, is the nearest float to the number. Null for anything else
// (more digits, an exponent, nan, inf, ...), which from_chars reads.
const char* plain_decimal(const char* p, const char* end, float& out) {
  static constexpr float kPowerOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  uint32_t digits = 0;
  int count = 0, after = 0;
  for (; p < end && *p >= '0' && *p <= '9' && count < 9; ++p, ++count) digits = digits * 10 + uint32_t(*p - '0');
  if (count == 0) return nullptr;
  if (p < end && *p == '.') {
    ++p;
    for (; p < end && *p >= '0' && *p <= '9' && count < 9; ++p, ++count, ++after)
      digits = digits * 10 + uint32_t(*p - '0');
    if (after == 0) return nullptr;
  }
  if ((p < end && !is_space(*p)) || digits >= (1u << 24) || after > 10) return nullptr;
  const float value = float(digits) / kPowerOfTen[after];
  out = negative ? -value : value;
  return p;
}

// Reads the next number of `rest` where it lies, as parse_float of the next
// token would: the token must be the whole number.
bool next_float(std::string_view& rest, float& out) {
  const char* p = rest.data();
  const char* const end = p + rest.size();
  while (p < end && is_space(*p)) ++p;
  if (p < end && *p == '+') ++p;
  if (const char* stop = plain_decimal(p, end, out)) {
    rest.remove_prefix(static_cast<size_t>(stop - rest.data()));
    return true;
  }
  const auto [stop, ec] = std::from_chars(p, end, out);
  if (ec != std::errc() || (stop < end && !is_space(*stop))) return false;
  rest.remove_prefix(static_cast<size_t>(stop - rest.data()));
  return true;
}

// Calls `fn(keyword, rest, line number)` for every logical line, joining
// lines that end in a backslash and dropping comments. Text arrives in pieces
// of any size (feed), a line may span pieces; finish() takes the last line
// when the text does not end in a line break.
template <class Fn>
class LineReader {
 public:
  explicit LineReader(Fn& fn) : fn_(fn) {}

  void feed(std::string_view text) {
    while (!text.empty()) {
      const size_t end = text.find('\n');
      if (end == std::string_view::npos) {
        partial_.append(text);
        return;
      }
      if (partial_.empty()) {
        line(text.substr(0, end));
      } else {
        partial_.append(text.substr(0, end));
        line(partial_);
        partial_.clear();
      }
      text.remove_prefix(end + 1);
    }
  }
  void finish() {
    if (!partial_.empty()) line(std::string(std::move(partial_)));
    partial_.clear();
  }

 private:
  void line(std::string_view raw) {
    ++line_no_;
    if (joined_.empty()) first_line_ = line_no_;
    const size_t hash = raw.find('#');
    if (hash != std::string_view::npos) raw = raw.substr(0, hash);
    std::string_view body = trimmed(raw);
    if (!body.empty() && body.back() == '\\') {
      joined_.append(body.substr(0, body.size() - 1));
      joined_.push_back(' ');
      return;
    }
    // Only a joined line needs a copy; a plain one is read where it lies.
    std::string line;
    std::string_view rest = body;
    if (!joined_.empty()) {
      line = joined_ + std::string(body);
      joined_.clear();
      rest = line;
    }
    const std::string_view keyword = next_token(rest);
    if (!keyword.empty()) fn_(keyword, trimmed(rest), first_line_);
  }

  Fn& fn_;
  std::string partial_;  // the start of a line whose end has not arrived
  std::string joined_;   // lines ended by a backslash so far
  size_t line_no_ = 0, first_line_ = 0;
};

template <class Fn>
void for_each_line(std::string_view text, Fn&& fn) {
  LineReader<std::remove_reference_t<Fn>> reader(fn);
  reader.feed(text);
  reader.finish();
}

// The materials of one MTL file: diffuse colour (Kd), opacity (d, or Tr as
// its complement), the diffuse texture (map_Kd, its path taken relative to
// the library and made absolute) and the PBR extension's Pm and Pr. A missing
// library only loses the materials; one that cannot be read safely is an error.
std::string read_material_library(const std::filesystem::path& obj, const std::string& name,
                                  bool outside_allowed, std::map<std::string, Material>& materials) {
  const std::filesystem::path file = obj.parent_path() / name;
  const std::string prefix = "cannot read mesh file " + quoted(obj) + ": material library " + quoted(std::filesystem::path(name)) + ": ";
  if (!outside_allowed && !is_inside_folder(file, obj.parent_path().empty() ? std::filesystem::path(".") : obj.parent_path()))
    return prefix + "it lies outside the mesh file's folder";
  uint64_t size = 0;
  if (std::string problem = input_file_problem(file, size); !problem.empty())
    return problem == "no such file" ? std::string() : prefix + problem;
  auto read = read_input_file(file);
  if (!read) return prefix + read.message();
  const std::string& text = read.value();
  Material* current = nullptr;
  const auto number = [](std::string_view rest, float& out) { return parse_float(next_token(rest), out); };
  for_each_line(text, [&](std::string_view keyword, std::string_view rest, size_t) {
    if (keyword == "newmtl") {
      current = &materials[std::string(rest)];
      current->name = std::string(rest);
      return;
    }
    if (!current) return;
    float v = 0.0f;
    if (keyword == "Kd") {
      float c[3];
      for (float& x : c)
        if (!parse_float(next_token(rest), x)) return;
      current->base_colour = Vector(std::clamp(c[0], 0.0f, 1.0f), std::clamp(c[1], 0.0f, 1.0f),
                                    std::clamp(c[2], 0.0f, 1.0f));
    } else if (keyword == "d" && number(rest, v)) {
      current->opacity = std::clamp(v, 0.0f, 1.0f);
    } else if (keyword == "Tr" && number(rest, v)) {
      current->opacity = 1.0f - std::clamp(v, 0.0f, 1.0f);
    } else if (keyword == "Pm" && number(rest, v)) {
      current->metallic = std::clamp(v, 0.0f, 1.0f);
    } else if (keyword == "Pr" && number(rest, v)) {
      current->roughness = std::clamp(v, 0.0f, 1.0f);
    } else if (keyword == "map_Kd") {
      // Options (-bm 1, -s 1 1 1, ...) come before the file name, which may
      // hold spaces: the name is what follows the last option.
      std::string_view texture = rest;
      while (!texture.empty() && texture.front() == '-') {
        std::string_view probe = texture;
        const std::string_view option = next_token(probe);
        const int values = option == "-s" || option == "-o" || option == "-t" ? 3 : option == "-mm" ? 2 : 1;
        for (int i = 0; i < values; ++i) {
          std::string_view before = probe;
          float ignored = 0.0f;
          if (!parse_float(next_token(probe), ignored) && option != "-blendu" && option != "-blendv" &&
              option != "-clamp" && option != "-imfchan" && option != "-type") {
            probe = before;
            break;
          }
        }
        texture = trimmed(probe);
      }
      // Files written on Windows name ".\\wood.jpg": a backslash separates folders.
      std::string name(texture);
      std::replace(name.begin(), name.end(), '\\', '/');
      if (!name.empty())
        current->base_colour_texture = (file.parent_path() / std::filesystem::path(name)).lexically_normal().string();
    }
  });
  return {};
}

struct PendingMesh {
  std::string name;
  std::vector<int32_t> corners;  // global point indices, polygon after polygon
  std::vector<int32_t> uvs;      // per corner, global "vt" index or -1
  std::vector<int32_t> normals;  // per corner, global "vn" index or -1
  std::vector<uint32_t> sizes;   // corner count of each polygon
  std::vector<uint32_t> material;      // per polygon, index into the file's material names
  std::vector<uint32_t> smooth_group;  // per polygon
  bool any_uv = false, any_normal = false;
};

constexpr uint32_t kNoMaterial = UINT32_MAX;

// Frees a list read once it is no longer needed.
template <class T>
void release(std::vector<T>& list) {
  std::vector<T>().swap(list);
}

// One index of a corner token, resolved against the `count` entries read so
// far; false for 0, a malformed number or one out of range.
[[gnu::always_inline]] inline bool resolve_index(const char*& at, const char* end, size_t count, int32_t& out) {
  // Digits by hand: indices are most of a textured mesh's face lines, and
  // this is several times the speed of a general number parser on them.
  const char* p = at;
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  if (p == end || *p < '0' || *p > '9') return false;
  long long index = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p) {
    index = index * 10 + (*p - '0');
    if (index > INT32_MAX + 1LL) return false;  // past any index a file can hold
  }
  if (negative) index = -index;
  if (index == 0) return false;
  at = p;
  // Negative indices count back from the entries read so far.
  const long long resolved = index > 0 ? index - 1 : static_cast<long long>(count) + index;
  if (resolved < 0 || resolved > INT32_MAX) return false;
  out = static_cast<int32_t>(resolved);
  return true;
}

}  // namespace

Result<std::vector<Mesh>> read_obj(const std::filesystem::path& file, bool resources_outside_folder) {

  std::vector<Vector> points, colours, normals;
  std::vector<Uv> uvs;
  std::vector<PendingMesh> pending(1);
  std::vector<std::string> material_names;
  std::map<std::string, uint32_t> material_index;
  uint32_t material = kNoMaterial, smooth_group = 0;
  bool any_smoothing = false;
  std::vector<std::string> libraries;
  std::set<std::string> named;  // a library named many times is read once
  std::string error;
  bool split = false;  // an "o" or "g" line was seen

  const auto on_line = [&](std::string_view keyword, std::string_view rest, size_t line) {
    if (!error.empty()) return;
    const auto fail = [&](const std::string& what) {
      error = "cannot read mesh file " + quoted(file) + ": line " + std::to_string(line) + ": " + what;
    };
    // The keywords of most lines, told apart without a comparison call.
    const bool v = keyword.size() == 1 && keyword[0] == 'v';
    const bool vt = keyword.size() == 2 && keyword[0] == 'v' && keyword[1] == 't';
    const bool vn = keyword.size() == 2 && keyword[0] == 'v' && keyword[1] == 'n';
    const bool f = keyword.size() == 1 && keyword[0] == 'f';
    if (v) {
      float c[3];
      for (float& v : c) {
        if (!next_float(rest, v)) return fail("a point needs three numbers");
      }
      points.emplace_back(c[0], c[1], c[2]);
      // A colour may follow the point (three more numbers, 0..1).
      float rgb[3];
      std::string_view more = rest;
      if (next_float(more, rgb[0]) && next_float(more, rgb[1]) && next_float(more, rgb[2])) {
        if (colours.size() + 1 < points.size()) colours.resize(points.size() - 1, Vector(1.0f, 1.0f, 1.0f));
        colours.emplace_back(std::clamp(rgb[0], 0.0f, 1.0f), std::clamp(rgb[1], 0.0f, 1.0f),
                             std::clamp(rgb[2], 0.0f, 1.0f));
      }
    } else if (vt) {
      Uv uv;
      if (!next_float(rest, uv.u)) return fail("a texture coordinate needs a number");
      if (!next_float(rest, uv.v)) uv.v = 0.0f;
      uvs.push_back(uv);
    } else if (vn) {
      float c[3];
      for (float& v : c)
        if (!next_float(rest, v)) return fail("a normal needs three numbers");
      normals.emplace_back(c[0], c[1], c[2]);
    } else if (f) {
      PendingMesh& mesh = pending.back();
      uint32_t count = 0;
      constexpr size_t kHeld = 16;
      int32_t held_points[kHeld], held_uvs[kHeld], held_normals[kHeld];
      size_t held = 0;
      const auto flush = [&] {
        mesh.corners.insert(mesh.corners.end(), held_points, held_points + held);
        mesh.uvs.insert(mesh.uvs.end(), held_uvs, held_uvs + held);
        mesh.normals.insert(mesh.normals.end(), held_normals, held_normals + held);
        held = 0;
      };
      // Each corner is a token "p", "p/t", "p//n" or "p/t/n".
      const char* at = rest.data();
      const char* const end = at + rest.size();
      for (;;) {
        while (at < end && is_space(*at)) ++at;
        if (at == end) break;
        const char* const token = at;
        const auto bad = [&](const char* what) {
          while (at < end && !is_space(*at)) ++at;
          return fail(std::string("bad ") + what + " index '" + std::string(token, at) + "'");
        };
        int32_t point = 0, uv = -1, normal = -1;
        if (!resolve_index(at, end, points.size(), point)) return bad("point");
        if (at < end && *at == '/') {
          ++at;
          if (at < end && *at != '/' && !is_space(*at) && !resolve_index(at, end, uvs.size(), uv))
            return bad("texture coordinate");
          if (at < end && *at == '/') {
            ++at;
            if (!resolve_index(at, end, normals.size(), normal)) return bad("normal");
          }
        }
        if (at < end && !is_space(*at)) return bad("point");
        // Gathered a few at a time, then added to the mesh's lists together.
        if (held == kHeld) flush();
        held_points[held] = point;
        held_uvs[held] = uv;
        held_normals[held] = normal;
        ++held;
        mesh.any_uv = mesh.any_uv || uv >= 0;
        mesh.any_normal = mesh.any_normal || normal >= 0;
        ++count;
      }
      flush();
      mesh.sizes.push_back(count);
      mesh.material.push_back(material);
      mesh.smooth_group.push_back(smooth_group);
    } else if (keyword == "o" || keyword == "g") {
      split = true;
      if (!pending.back().sizes.empty()) pending.emplace_back();
      pending.back().name = std::string(rest);
      // A new object starts without a material; groups within one keep it.
      if (keyword == "o") material = kNoMaterial;
    } else if (keyword == "usemtl") {
      const std::string name(rest);
      auto [it, added] = material_index.emplace(name, static_cast<uint32_t>(material_names.size()));
      if (added) material_names.push_back(name);
      material = it->second;
    } else if (keyword == "s") {
      any_smoothing = true;
      const std::string_view value = next_token(rest);
      uint32_t group = 0;
      if (value == "on") group = 1;
      else if (value != "off") std::from_chars(value.data(), value.data() + value.size(), group);
      smooth_group = group;
    } else if (keyword == "mtllib") {
      for (std::string_view name = next_token(rest); !name.empty(); name = next_token(rest))
        if (named.emplace(name).second) libraries.emplace_back(name);
    }
  };
  // The file a block at a time: the text as a whole is never held.
  LineReader reader(on_line);
  std::error_code size_error;
  const uintmax_t size = std::filesystem::file_size(file, size_error);
  FileProgress progress = FileProgress::bytes("reading " + file.filename().string(), size_error ? 0 : size);
  const Status read = read_input_blocks(file, [&](std::string_view block) {
    if (error.empty()) reader.feed(block);
    progress.add(block.size());
  });
  progress.finish();
  if (!read.ok()) return Status::failure("cannot read mesh file " + quoted(file) + ": " + read.message());
  if (error.empty()) reader.finish();
  if (!error.empty()) return Status::failure(error);

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
        mesh.corner_normals.assign(p.normals.size(), Vector(0.0f, 0.0f, 0.0f));
        for (size_t k = 0; k < p.normals.size(); ++k)
          if (p.normals[k] >= 0) mesh.corner_normals[k] = normals[size_t(p.normals[k])];
      }
      release(p.normals);
      release(normals);
    } else {
      mesh.reserve_faces(p.sizes.size(), p.corners.size());
      std::vector<Uv> corner_uvs;
      if (p.any_uv) corner_uvs.reserve(p.corners.size());
      if (p.any_normal) mesh.corner_normals.reserve(p.corners.size());
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
          if (p.any_normal) mesh.corner_normals.push_back(p.normals[k] >= 0 ? normals[p.normals[k]] : Vector(0.0f, 0.0f, 0.0f));
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
