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

// Whether the line ending just before `end` goes on into the next one: its
// text before any comment ends in a backslash.
bool continues(std::string_view text, size_t end) {
  const size_t begin = end == 0 ? 0 : text.rfind('\n', end - 1) + 1;  // npos + 1 is 0
  std::string_view line = text.substr(begin, end - begin);
  if (const size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
  line = trimmed(line);
  return !line.empty() && line.back() == '\\';
}

}  // namespace

ObjStretch read_obj_stretch(std::string_view text) {
  ObjStretch out;
  StretchReader reader(out);
  LineReader<StretchReader> lines(reader);
  lines.feed(text);
  lines.finish();
  out.lines = lines.lines();
  return out;
}

std::vector<size_t> stretch_starts(std::string_view text, size_t count) {
  std::vector<size_t> starts;
  for (size_t i = 1; i < count; ++i) {
    size_t at = std::max(text.size() / count * i, starts.empty() ? 0 : starts.back());
    for (;;) {
      const size_t line_end = text.find('\n', at);
      if (line_end == std::string_view::npos || line_end + 1 >= text.size()) return starts;
      at = line_end + 1;
      if (!continues(text, line_end)) break;
    }
    if (starts.empty() || at > starts.back()) starts.push_back(at);
  }
  return starts;
}

}  // namespace kurvo::media
