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

// Reads the next number of `rest` where it lies, as parse_float of the next
// token would: the token must be the whole number.
bool next_float(std::string_view& rest, float& out) {
  const char* p = rest.data();
  const char* const end = p + rest.size();
  while (p < end && is_space(*p)) ++p;
  if (p < end && *p == '+') ++p;
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

// Kd colours of the materials in one MTL file. A missing library only loses
// the colours; one that cannot be read safely is an error.
std::string read_material_library(const std::filesystem::path& obj, const std::string& name,
                                  bool outside_allowed, std::map<std::string, Vector>& colours) {
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
  std::string current;
  for_each_line(text, [&](std::string_view keyword, std::string_view rest, size_t) {
    if (keyword == "newmtl") {
      current = std::string(rest);
    } else if (keyword == "Kd" && !current.empty()) {
      float c[3];
      for (float& v : c)
        if (!parse_float(next_token(rest), v)) return;
      colours[current] = Vector(std::clamp(c[0], 0.0f, 1.0f), std::clamp(c[1], 0.0f, 1.0f),
                                std::clamp(c[2], 0.0f, 1.0f));
    }
  });
  return {};
}

struct PendingMesh {
  std::string name;
  std::string material;
  std::vector<int32_t> corners;  // global point indices, polygon after polygon
  std::vector<uint32_t> sizes;   // corner count of each polygon
};

}  // namespace

Result<std::vector<Mesh>> read_obj(const std::filesystem::path& file, bool resources_outside_folder) {

  std::vector<Vector> points;
  std::vector<PendingMesh> pending(1);
  std::vector<std::string> libraries;
  std::set<std::string> named;  // a library named many times is read once
  std::string error;
  bool split = false;  // an "o" or "g" line was seen

  const auto on_line = [&](std::string_view keyword, std::string_view rest, size_t line) {
    if (!error.empty()) return;
    const auto fail = [&](const std::string& what) {
      error = "cannot read mesh file " + quoted(file) + ": line " + std::to_string(line) + ": " + what;
    };
    if (keyword == "v") {
      float c[3];
      for (float& v : c) {
        if (!next_float(rest, v)) return fail("a point needs three numbers");
      }
      points.emplace_back(c[0], c[1], c[2]);
    } else if (keyword == "f") {
      PendingMesh& mesh = pending.back();
      uint32_t count = 0;
      // Each corner is a token "p", "p/t", "p//n" or "p/t/n"; only p is read.
      const char* at = rest.data();
      const char* const end = at + rest.size();
      for (;;) {
        while (at < end && is_space(*at)) ++at;
        if (at == end) break;
        const char* const token = at;
        long long index = 0;
        const auto [stop, ec] = std::from_chars(token, end, index);
        at = stop;
        while (at < end && !is_space(*at)) ++at;
        if (ec != std::errc() || !(stop == at || *stop == '/') || index == 0)
          return fail("bad point index '" + std::string(token, at) + "'");
        // Negative indices count back from the points read so far.
        const long long resolved = index > 0 ? index - 1 : static_cast<long long>(points.size()) + index;
        if (resolved < 0 || resolved > INT32_MAX) return fail("point index " + std::to_string(index) + " out of range");
        mesh.corners.push_back(static_cast<int32_t>(resolved));
        ++count;
      }
      mesh.sizes.push_back(count);
    } else if (keyword == "o" || keyword == "g") {
      split = true;
      if (!pending.back().sizes.empty()) pending.emplace_back();
      pending.back().name = std::string(rest);
    } else if (keyword == "usemtl") {
      if (pending.back().material.empty()) pending.back().material = std::string(rest);
    } else if (keyword == "mtllib") {
      for (std::string_view name = next_token(rest); !name.empty(); name = next_token(rest))
        if (named.emplace(name).second) libraries.emplace_back(name);
    }
  };
  // The file a block at a time: the text as a whole is never held.
  LineReader reader(on_line);
  const Status read = read_input_blocks(file, [&](std::string_view block) {
    if (error.empty()) reader.feed(block);
  });
  if (!read.ok()) return Status::failure("cannot read mesh file " + quoted(file) + ": " + read.message());
  if (error.empty()) reader.finish();
  if (!error.empty()) return Status::failure(error);

  std::map<std::string, Vector> colours;
  for (const std::string& library : libraries) {
    if (std::string problem = read_material_library(file, library, resources_outside_folder, colours);
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
      for (int32_t g : used) {
        local[g] = static_cast<int32_t>(mesh.points.size());
        mesh.points.push_back(points[g]);
      }
    } else {
      mesh.points = std::move(points);  // the only mesh: every point, in the file's numbering
    }
    std::vector<int32_t> corners;
    size_t at = 0;
    mesh.reserve_faces(p.sizes.size(), p.corners.size());
    for (uint32_t n : p.sizes) {
      // A single mesh is numbered as the file is: its corners are used where they lie.
      std::span<const int32_t> polygon(p.corners.data() + at, n);
      if (!all_points) {
        corners.clear();
        for (int32_t g : polygon) corners.push_back(local[g]);
        polygon = corners;
      }
      at += n;
      if (n >= 3) mesh.add_face(polygon);
    }
    for (int32_t g : used) local[g] = -1;
    if (auto it = colours.find(p.material); it != colours.end()) mesh.colour = it->second;

    if (std::string problem = check_mesh(mesh); !problem.empty())
      return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
    meshes.push_back(std::move(mesh));
  }
  if (meshes.empty()) return Status::failure("cannot read mesh file " + quoted(file) + ": it holds no mesh");
  return meshes;
}

}  // namespace kurvo::media
