#include "obj_stretch.h"

#include <algorithm>
#include <charconv>

#include "obj_text.h"

namespace kurvo::media {
namespace {

using namespace obj_text;

// One index of a corner token as written: a whole number other than 0 that
// fits the indices a file can hold; false for anything else.
[[gnu::always_inline]] inline bool read_index(const char*& at, const char* end, long long& out) {
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
  if (index == 0) return false;
  at = p;
  out = negative ? -index : index;
  return true;
}

class StretchReader {
 public:
  explicit StretchReader(ObjStretch& out) : s_(out) { s_.meshes.emplace_back(); }

  void operator()(std::string_view keyword, std::string_view rest, size_t line) {
    if (s_.error_line) return;
    // The keywords of most lines, told apart without a comparison call.
    const bool v = keyword.size() == 1 && keyword[0] == 'v';
    const bool vt = keyword.size() == 2 && keyword[0] == 'v' && keyword[1] == 't';
    const bool vn = keyword.size() == 2 && keyword[0] == 'v' && keyword[1] == 'n';
    const bool f = keyword.size() == 1 && keyword[0] == 'f';
    if (v) return point(rest, line);
    if (vt) {
      Uv uv;
      if (!next_float(rest, uv.u)) return fail(line, "a texture coordinate needs a number");
      if (!next_float(rest, uv.v)) uv.v = 0.0f;
      s_.uvs.push_back(uv);
      return;
    }
    if (vn) {
      float c[3];
      for (float& x : c)
        if (!next_float(rest, x)) return fail(line, "a normal needs three numbers");
      s_.normals.emplace_back(c[0], c[1], c[2]);
      return;
    }
    if (f) return face(rest, line);
    if (keyword == "o" || keyword == "g") {
      s_.split = true;
      if (!s_.meshes.back().sizes.empty())
        s_.meshes.emplace_back();
      else if (s_.meshes.size() == 1)
        s_.opens = true;
      s_.meshes.back().name = std::string(rest);
      // A new object starts without a material; groups within one keep it.
      if (keyword == "o") set_material(kNoMaterial);
    } else if (keyword == "usemtl") {
      const std::string name(rest);
      auto [it, added] = material_index_.emplace(name, static_cast<uint32_t>(s_.material_names.size()));
      if (added) s_.material_names.push_back(name);
      set_material(it->second);
    } else if (keyword == "s") {
      s_.any_smoothing = true;
      const std::string_view value = next_token(rest);
      uint32_t group = 0;
      if (value == "on") group = 1;
      else if (value != "off") std::from_chars(value.data(), value.data() + value.size(), group);
      if (!s_.smoothing_set) s_.faces_before_smoothing = s_.faces;
      s_.smoothing_set = true;
      s_.smooth_group = group;
    } else if (keyword == "mtllib") {
      for (std::string_view name = next_token(rest); !name.empty(); name = next_token(rest))
        if (libraries_.emplace(name, 0).second) s_.libraries.emplace_back(name);
    }
  }

 private:
  void fail(size_t line, std::string what) {
    s_.error_line = line;
    s_.error = std::move(what);
  }
  void set_material(uint32_t m) {
    if (!s_.material_set) s_.faces_before_material = s_.faces;
    s_.material_set = true;
    s_.material = m;
  }

  void point(std::string_view rest, size_t line) {
    float c[3];
    for (float& x : c)
      if (!next_float(rest, x)) return fail(line, "a point needs three numbers");
    std::vector<Vector>& points = s_.points;
    points.emplace_back(c[0], c[1], c[2]);
    // A colour may follow the point (three more numbers, 0..1).
    float rgb[3];
    std::string_view more = rest;
    if (next_float(more, rgb[0]) && next_float(more, rgb[1]) && next_float(more, rgb[2])) {
      std::vector<Vector>& colours = s_.colours;
      if (colours.size() + 1 < points.size()) colours.resize(points.size() - 1, Vector(1.0f, 1.0f, 1.0f));
      colours.emplace_back(std::clamp(rgb[0], 0.0f, 1.0f), std::clamp(rgb[1], 0.0f, 1.0f),
                           std::clamp(rgb[2], 0.0f, 1.0f));
    }
  }

  // Index `raw` of a corner's `kind` against the `count` entries read in the
  // stretch so far; a negative one is settled by the join.
  int32_t resolve(long long raw, size_t count, BackIndex::Kind kind, size_t corner, const char* token,
                  const char* end, size_t line) {
    if (raw > 0) return static_cast<int32_t>(raw - 1);
    const int64_t value = static_cast<int64_t>(count) + raw;
    s_.back.push_back(BackIndex{uint32_t(s_.meshes.size() - 1), uint32_t(corner), kind, value});
    if (value < 0) {
      const char* stop = token;
      while (stop < end && !is_space(*stop)) ++stop;
      s_.reach_back.push_back(ReachBack{line, kind, value, std::string(token, stop)});
    }
    return 0;  // the join writes the index
  }

  void face(std::string_view rest, size_t line) {
    PendingMesh& mesh = s_.meshes.back();
    uint32_t count = 0;
    constexpr size_t kHeld = 16;
    int32_t held_points[kHeld], held_uvs[kHeld], held_normals[kHeld];
    size_t held = 0;
    const auto flush = [&] {
      // The UV and normal lists catch up with the corners once one is used.
      if (mesh.any_uv) {
        mesh.uvs.resize(mesh.corners.size(), -1);
        mesh.uvs.insert(mesh.uvs.end(), held_uvs, held_uvs + held);
      }
      if (mesh.any_normal) {
        mesh.normals.resize(mesh.corners.size(), -1);
        mesh.normals.insert(mesh.normals.end(), held_normals, held_normals + held);
      }
      mesh.corners.insert(mesh.corners.end(), held_points, held_points + held);
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
        return fail(line, std::string("bad ") + what + " index '" + std::string(token, at) + "'");
      };
      if (held == kHeld) flush();
      const size_t corner = mesh.corners.size() + held;
      long long raw = 0;
      int32_t point = 0, uv = -1, normal = -1;
      if (!read_index(at, end, raw)) return bad("point");
      point = resolve(raw, s_.points.size(), BackIndex::point, corner, token, end, line);
      if (at < end && *at == '/') {
        ++at;
        if (at < end && *at != '/' && !is_space(*at)) {
          if (!read_index(at, end, raw)) return bad("texture coordinate");
          uv = resolve(raw, s_.uvs.size(), BackIndex::uv, corner, token, end, line);
        }
        if (at < end && *at == '/') {
          ++at;
          if (!read_index(at, end, raw)) return bad("normal");
          normal = resolve(raw, s_.normals.size(), BackIndex::normal, corner, token, end, line);
        }
      }
      if (at < end && !is_space(*at)) return bad("point");
      // Gathered a few at a time, then added to the mesh's lists together.
      held_points[held] = point;
      held_uvs[held] = uv;
      held_normals[held] = normal;
      ++held;
      if (uv >= 0 && !mesh.any_uv) {
        mesh.any_uv = true;
        mesh.uvs.assign(mesh.corners.size(), -1);
      }
      if (normal >= 0 && !mesh.any_normal) {
        mesh.any_normal = true;
        mesh.normals.assign(mesh.corners.size(), -1);
      }
      ++count;
    }
    flush();
    mesh.sizes.push_back(count);
    mesh.material.push_back(s_.material);
    mesh.smooth_group.push_back(s_.smooth_group);
    ++s_.faces;
  }

  ObjStretch& s_;
  std::map<std::string, uint32_t> material_index_;
  std::map<std::string, int> libraries_;
};

constexpr size_t kPiece = size_t(1) << 20;
constexpr size_t kLook = size_t(1) << 12;

// Whether the line that ends at the line break at `end` goes on into the
// next one: its text before any comment ends in a backslash.
bool continues(const InputFile& file, uint64_t end, std::string& problem) {
  std::string line;  // read backwards to the line's start
  uint64_t begin = end;
  char piece[kLook];
  while (begin > 0) {
    const uint64_t from = begin > kLook ? begin - kLook : 0;
    const int64_t got = file.read_at(from, piece, size_t(begin - from), problem);
    if (got < int64_t(begin - from)) return false;  // a failure, or the file shrank
    const std::string_view text(piece, size_t(got));
    const size_t previous = text.rfind('\n');
    const size_t start = previous == std::string_view::npos ? 0 : previous + 1;
    line.insert(0, text.substr(start));
    begin = from + start;
    if (previous != std::string_view::npos) break;
  }
  std::string_view body = line;
  if (const size_t hash = body.find('#'); hash != std::string_view::npos) body = body.substr(0, hash);
  body = trimmed(body);
  return !body.empty() && body.back() == '\\';
}

// The first offset from `at` where a logical line starts (or the file's size).
uint64_t line_start(const InputFile& file, uint64_t at, std::string& problem) {
  char piece[kLook];
  uint64_t from = at - 1;  // a line starting at `at` follows a line break just before it
  while (from < file.size()) {
    const int64_t got = file.read_at(from, piece, kLook, problem);
    if (got <= 0) return file.size();
    const std::string_view text(piece, size_t(got));
    const size_t found = text.find('\n');
    if (found == std::string_view::npos) {
      from += uint64_t(got);
      continue;
    }
    const uint64_t end = from + found;
    if (!continues(file, end, problem)) return end + 1;
    from = end + 1;
  }
  return file.size();
}

}  // namespace

ObjStretch read_obj_stretch(const InputFile& file, uint64_t begin, uint64_t end, SharedFileProgress* progress) {
  ObjStretch out;
  StretchReader reader(out);
  LineReader<StretchReader> lines(reader);
  std::string piece(std::min<uint64_t>(kPiece, end - begin), '\0');
  for (uint64_t at = begin; at < end && out.error_line == 0;) {
    const int64_t got = file.read_at(at, piece.data(), size_t(std::min<uint64_t>(piece.size(), end - at)), out.read_problem);
    if (got < 0) return out;
    if (got == 0) break;  // the file shrank
    lines.feed(std::string_view(piece.data(), size_t(got)));
    at += uint64_t(got);
    if (progress) progress->add(uint64_t(got));
  }
  if (out.error_line == 0) lines.finish();
  out.lines = lines.lines();
  return out;
}

std::vector<uint64_t> stretch_bounds(const InputFile& file, size_t count, std::string& problem) {
  std::vector<uint64_t> bounds{0};
  const uint64_t size = file.size();
  for (size_t i = 1; i < count; ++i) {
    const uint64_t target = std::max<uint64_t>(size / count * i, bounds.back() + 1);
    if (target >= size) break;
    const uint64_t start = line_start(file, target, problem);
    if (!problem.empty()) return {};
    if (start >= size) break;
    bounds.push_back(start);
  }
  bounds.push_back(size);
  return bounds;
}

}  // namespace kurvo::media
