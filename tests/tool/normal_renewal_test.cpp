// Normals made again with smoothing groups, against a plain corner-by-corner
// routine: a corner of a smooth face takes the area-weighted mean of the
// faces of its group at its point, a corner of a flat face (group 0) its
// face's own normal. On top, the shared list must share: a flat face's
// corners use one entry, and no point holds two entries of one value.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

#include "normal_renewal.h"

using namespace kurvo::media;

namespace {

// A bumpy grid of quads (and triangles) with random smoothing groups.
Mesh random_grid(std::mt19937& random, int size, bool triangles) {
  std::uniform_real_distribution<float> bump(-0.3f, 0.3f);
  std::uniform_int_distribution<uint32_t> group(0, 2);
  Mesh m;
  for (int y = 0; y <= size; ++y)
    for (int x = 0; x <= size; ++x) m.points.emplace_back(float(x), float(y), bump(random));
  const auto at = [&](int x, int y) { return int32_t(y * (size + 1) + x); };
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      if (triangles && random() % 3 == 0) {
        m.add_face({at(x, y), at(x + 1, y), at(x + 1, y + 1)});
        m.add_face({at(x, y), at(x + 1, y + 1), at(x, y + 1)});
        m.face_smooth_group.push_back(group(random));
      } else {
        m.add_face({at(x, y), at(x + 1, y), at(x + 1, y + 1), at(x, y + 1)});
      }
      m.face_smooth_group.push_back(group(random));
    }
  return m;
}

Vector reference_corner_normal(const Mesh& m, size_t face, int32_t point) {
  double sum[3] = {0, 0, 0};
  for (size_t g = 0; g < m.face_count(); ++g) {
    const bool same_region = g == face || (m.face_smooth_group[face] != 0 &&
                                           m.face_smooth_group[g] == m.face_smooth_group[face]);
    if (!same_region) continue;
    bool at_point = false;
    for (int32_t p : m.face(g)) at_point |= p == point;
    if (!at_point) continue;
    const Vector a = face_area_normal(m, g);
    sum[0] += a.x, sum[1] += a.y, sum[2] += a.z;
  }
  const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
  return Vector(float(sum[0] / length), float(sum[1] / length), float(sum[2] / length));
}

}  // namespace

TEST(NormalRenewal, SmoothingGroupsGiveTheReferenceNormalsSharedPerFlatFaceAndPerPoint) {
  std::mt19937 random(20261210);
  for (int round = 0; round < 20; ++round) {
    Mesh m = random_grid(random, 3 + round % 6, round % 5 != 0);
    // Every fourth mesh is one smooth region (where each point's corners
    // share one sum); every fourth after it says so by authored normals,
    // one per point, instead of by groups.
    if (round % 4 >= 2) m.face_smooth_group.assign(m.face_count(), 1);
    IndexedNormals out;
    if (round % 4 == 3) {
      Mesh authored = m;
      authored.face_smooth_group.clear();
      for (int32_t p : authored.corners) authored.corner_normals.push_back(Vector(0.1f * float(p % 7), 0.0f, 1.0f));
      out = renew_normals(authored);
    } else {
      out = renew_normals(m);
    }
    ASSERT_EQ(out.corner.size(), m.corners.size());
    for (size_t f = 0; f < m.face_count(); ++f) {
      std::set<uint32_t> entries;
      for (uint32_t c = m.face_start[f]; c < m.face_start[f + 1]; ++c) {
        ASSERT_LT(out.corner[c], out.normals.size());
        const Vector& got = out.normals[out.corner[c]];
        const Vector want = reference_corner_normal(m, f, m.corners[c]);
        EXPECT_NEAR(got.x, want.x, 1e-5f) << "round " << round << " face " << f << " corner " << c;
        EXPECT_NEAR(got.y, want.y, 1e-5f);
        EXPECT_NEAR(got.z, want.z, 1e-5f);
        entries.insert(out.corner[c]);
      }
      if (m.face_smooth_group[f] == 0) {
        EXPECT_EQ(entries.size(), 1u) << "flat face " << f << " of round " << round;
      }
    }
    std::map<int32_t, std::set<uint32_t>> at_point;
    for (size_t c = 0; c < m.corners.size(); ++c) at_point[m.corners[c]].insert(out.corner[c]);
    for (const auto& [point, entries] : at_point)
      for (uint32_t a : entries)
        for (uint32_t b : entries)
          if (a < b) {
            const Vector &u = out.normals[a], &v = out.normals[b];
            EXPECT_FALSE(std::fabs(u.x - v.x) <= 1e-6f && std::fabs(u.y - v.y) <= 1e-6f &&
                         std::fabs(u.z - v.z) <= 1e-6f)
                << "point " << point << " holds two entries of one normal";
          }
  }
}
