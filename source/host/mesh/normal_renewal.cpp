#include "normal_renewal.h"

#include <algorithm>
#include <cmath>

#include "corner_sharing.h"
#include "flat_normals.h"
#include "surface_normals.h"

namespace kurvo::media {
namespace {

constexpr float kPi = 3.14159265358979f;
// Authored normals closer than this (cosine, about two degrees) mark corners
// of one smooth region.
constexpr float kSameAuthored = 0.9994f;

// `v` divided by its `length`, made by the caller.
Vector divided(const Vector& v, double length) {
  return Vector(float(v.x / length), float(v.y / length), float(v.z / length));
}

}  // namespace

Vector unit_or(const Vector& v, const Vector& fallback) {
  const double length = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
  if (!(length > 0.0) || !std::isfinite(length)) return fallback;
  return divided(v, length);
}

Vector face_area_normal(const Mesh& mesh, size_t f) {
  const std::span<const int32_t> c = mesh.face(f);
  double n[3] = {0.0, 0.0, 0.0};
  for (size_t i = 0; i < c.size(); ++i) {
    const Vector& a = mesh.points[c[i]];
    const Vector& b = mesh.points[c[i + 1 == c.size() ? 0 : i + 1]];  // no division a corner
    n[0] += (double(a.y) - b.y) * (double(a.z) + b.z);
    n[1] += (double(a.z) - b.z) * (double(a.x) + b.x);
    n[2] += (double(a.x) - b.x) * (double(a.y) + b.y);
  }
  // Newell's sum is twice the area vector, along a x b for a face a, b, c.
  return Vector(float(0.5 * n[0]), float(0.5 * n[1]), float(0.5 * n[2]));
}

IndexedNormals renew_normals(const Mesh& mesh) {
  const size_t faces = mesh.face_count();
  const bool groups = !mesh.face_smooth_group.empty();
  // Every face flat (a file's "s off" or "s 0" throughout): the faces' own
  // normals, made on several threads.
  if (groups && std::all_of(mesh.face_smooth_group.begin(), mesh.face_smooth_group.end(),
                            [](uint32_t g) { return g == 0; }))
    return flat_normals(mesh);
  const bool authored = !groups && mesh.corner_normals.size() == mesh.corners.size();
  // The unit face normals are kept only where the crease angle needs them
  // again and again; otherwise each is made from its area normal when asked
  // (a face's worth of memory less at the writer's peak).
  const bool by_angle = !groups && !authored;
  std::vector<Vector> area(faces), unit_kept(by_angle ? faces : 0);
  for (size_t f = 0; f < faces; ++f) {
    area[f] = face_area_normal(mesh, f);
    if (by_angle) unit_kept[f] = unit_or(area[f], Vector(0.0f, 1.0f, 0.0f));
  }
  const auto unit = [&](size_t f) {
    return by_angle ? unit_kept[f] : unit_or(area[f], Vector(0.0f, 1.0f, 0.0f));
  };
  const CornersAround around = corners_around(mesh);
  const FaceOfCorner face_of(mesh);
  const float crease = std::cos(kCreaseAngleDegrees * kPi / 180.0f);
  const auto together = [&](uint32_t c, uint32_t other) {
    const uint32_t f = face_of[c], g = face_of[other];
    if (f == g) return true;
    if (groups) return mesh.face_smooth_group[f] != 0 && mesh.face_smooth_group[f] == mesh.face_smooth_group[g];
    if (authored) {
      const Vector& a = mesh.corner_normals[c];
      const Vector& b = mesh.corner_normals[other];
      if (mesh.corner_normals.index[c] == mesh.corner_normals.index[other]) return Len(a) > 0.0f;
      const float la = Len(a), lb = Len(b);
      return la > 0.0f && lb > 0.0f && Dot(a, b) >= kSameAuthored * la * lb;
    }
    return Dot(unit_kept[f], unit_kept[g]) >= crease;
  };

  IndexedNormals out;
  out.corner.resize(mesh.corners.size());
  out.normals.reserve(mesh.points.size());
  std::vector<uint32_t> made;
  const auto same = [](const Vector& a, const Vector& b) {
    return std::fabs(a.x - b.x) <= 1e-6f && std::fabs(a.y - b.y) <= 1e-6f && std::fabs(a.z - b.z) <= 1e-6f;
  };
  // A face of smoothing group 0 is flat: every corner of it takes the face's
  // own normal, and they share one entry across the face's points (a flat
  // mesh would otherwise write a normal per corner, three times the file).
  std::vector<uint32_t> flat_entry(groups ? faces : 0, UINT32_MAX);
  // Whether every corner at a point lies in one smooth region with every
  // other (one smoothing group, or one authored normal, as inside a smooth
  // surface): then each corner's sum below is the same sum, made once.
  const auto one_region = [&](uint32_t begin, uint32_t end) {
    const uint32_t first = around.corners[begin];
    if (groups) {
      const uint32_t group = mesh.face_smooth_group[face_of[first]];
      if (group == 0) return false;
      for (uint32_t k = begin + 1; k < end; ++k)
        if (mesh.face_smooth_group[face_of[around.corners[k]]] != group) return false;
      return true;
    }
    if (!authored) return false;
    const Vector& a = mesh.corner_normals[first];
    if (!(Len(a) > 0.0f)) return false;
    for (uint32_t k = begin + 1; k < end; ++k)
      if (!mesh.corner_normals.same(first, around.corners[k])) return false;
    return true;
  };
  for (size_t p = 0; p < mesh.points.size(); ++p) {
    made.clear();
    const uint32_t begin = around.start[p], end = around.start[p + 1];
    if (end > begin && one_region(begin, end)) {
      Vector sum(0.0f, 0.0f, 0.0f);
      for (uint32_t j = begin; j < end; ++j) {
        const uint32_t other = around.corners[j];
        bool first_of_face = true;
        for (uint32_t i = begin; i < j; ++i)
          if (face_of[around.corners[i]] == face_of[other]) first_of_face = false;
        if (first_of_face) sum += area[face_of[other]];
      }
      const double length = std::sqrt(double(sum.x) * sum.x + double(sum.y) * sum.y + double(sum.z) * sum.z);
      if (length > 0.0 && std::isfinite(length)) {  // else each corner falls back to its own face
        uint32_t entry = 0;
        add_shared(out.normals, made, divided(sum, length), same, entry);  // its length made once
        for (uint32_t k = begin; k < end; ++k) out.corner[around.corners[k]] = entry;
        continue;
      }
    }
    for (uint32_t k = begin; k < end; ++k) {
      const uint32_t c = around.corners[k];
      const uint32_t f = face_of[c];
      if (groups && mesh.face_smooth_group[f] == 0) {
        if (flat_entry[f] == UINT32_MAX)
          add_shared(out.normals, made, unit(f), same, flat_entry[f]);
        else
          made.push_back(flat_entry[f]);  // smooth corners here may share it too
        out.corner[c] = flat_entry[f];
        continue;
      }
      Vector sum(0.0f, 0.0f, 0.0f);
      // Each face counts once, however many of its corners lie on the point.
      for (uint32_t j = around.start[p]; j < around.start[p + 1]; ++j) {
        const uint32_t other = around.corners[j];
        bool first_of_face = true;
        for (uint32_t i = around.start[p]; i < j; ++i)
          if (face_of[around.corners[i]] == face_of[other]) first_of_face = false;
        if (first_of_face && together(c, other)) sum += area[face_of[other]];
      }
      add_shared(out.normals, made, unit_or(sum, unit(face_of[c])), same, out.corner[c]);
    }
  }
  return out;
}

IndexedValues<Uv> shared_per_point(const Mesh& mesh, const std::vector<Uv>& per_corner) {
  IndexedValues<Uv> out;
  out.corner.resize(per_corner.size());
  out.values.reserve(mesh.points.size());
  const CornersAround around = corners_around(mesh);
  std::vector<uint32_t> made;
  const auto same = [](const Uv& a, const Uv& b) { return a == b; };
  for (size_t p = 0; p < mesh.points.size(); ++p) {
    made.clear();
    for (uint32_t k = around.start[p]; k < around.start[p + 1]; ++k) {
      const uint32_t c = around.corners[k];
      add_shared(out.values, made, per_corner[c], same, out.corner[c]);
    }
  }
  return out;
}

IndexedNormals shared_corner_normals(const Mesh& mesh) {
  IndexedNormals out;
  out.corner.resize(mesh.corner_normals.size());
  out.normals.reserve(mesh.points.size());
  const CornersAround around = corners_around(mesh);
  std::vector<uint32_t> made;
  const auto same = [](const Vector& a, const Vector& b) {
    return std::fabs(a.x - b.x) <= 1e-6f && std::fabs(a.y - b.y) <= 1e-6f && std::fabs(a.z - b.z) <= 1e-6f;
  };
  for (size_t p = 0; p < mesh.points.size(); ++p) {
    made.clear();
    for (uint32_t k = around.start[p]; k < around.start[p + 1]; ++k) {
      const uint32_t c = around.corners[k];
      add_shared(out.normals, made, mesh.corner_normals[c], same, out.corner[c]);
    }
  }
  return out;
}

}  // namespace kurvo::media
