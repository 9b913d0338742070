// The OBJ writer makes its lines in blocks on several threads: for random
// meshes with everything a face line can carry along (groups, materials,
// smoothing groups in runs, n-gons, UVs, colours), every block size and
// thread count writes the bytes of one block on one thread. And the flat
// normals it writes are each face's own, against a plain Newell sum made here.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/task_pool.h"
#include "flat_normals.h"
#include "obj_writer.h"
#include "temp_dir.h"

namespace {

using namespace kurvo::media;

std::string read_all(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A per-face list in runs, so that blocks start inside and at the edges of runs.
std::vector<uint32_t> runs(std::mt19937& rng, size_t faces, uint32_t values) {
  std::vector<uint32_t> out;
  while (out.size() < faces) {
    const uint32_t v = std::uniform_int_distribution<uint32_t>(0, values - 1)(rng);
    const size_t length = std::uniform_int_distribution<size_t>(1, 6)(rng);
    for (size_t i = 0; i < length && out.size() < faces; ++i) out.push_back(v);
  }
  return out;
}

Mesh random_mesh(std::mt19937& rng, int index) {
  Mesh mesh;
  mesh.name = index % 3 ? "part" + std::to_string(index) : "";
  const size_t points = std::uniform_int_distribution<size_t>(4, 120)(rng);
  std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
  // Some points on a plane, so that flat faces there share normals.
  for (size_t p = 0; p < points; ++p)
    mesh.points.emplace_back(coordinate(rng), p % 2 ? 0.0f : coordinate(rng), coordinate(rng));
  if (rng() % 2)
    for (size_t p = 0; p < points; ++p) mesh.point_colours.emplace_back(0.25f, float(p % 7) / 7.0f, 1.0f);
  const size_t faces = std::uniform_int_distribution<size_t>(1, 90)(rng);
  std::uniform_int_distribution<int32_t> point(0, int32_t(points) - 1);
  for (size_t f = 0; f < faces; ++f) {
    std::vector<int32_t> corners;
    const size_t size = std::uniform_int_distribution<size_t>(3, 6)(rng);
    while (corners.size() < size) {
      const int32_t p = point(rng);
      if (std::find(corners.begin(), corners.end(), p) == corners.end()) corners.push_back(p);
    }
    mesh.add_face(corners);
  }
  if (rng() % 2) {
    UvSet set;
    for (size_t c = 0; c < mesh.corners.size(); ++c) set.uvs.push_back(Uv{float(mesh.corners[c] % 5) * 0.25f, float(c % 3)});
    mesh.uv_sets.push_back(set);
  }
  if (rng() % 2) {
    for (int m = 0; m < 3; ++m) {
      Material paint;
      paint.name = "paint" + std::to_string(m);
      mesh.materials.push_back(paint);
    }
    mesh.face_material = runs(rng, faces, 3);
  }
  if (rng() % 3) mesh.face_smooth_group = runs(rng, faces, rng() % 2 ? 1 : 4);  // 1: all flat
  if (rng() % 2) {
    mesh.group_names = {"left", "right", "middle"};
    mesh.face_group = runs(rng, faces, 3);
  }
  return mesh;
}

TEST(ObjBlocks, EveryBlockSizeAndThreadCountWritesTheSameBytes) {
  const TempDir dir;
  kurvo::host::TaskPool& pool = kurvo::host::TaskPool::shared();
  const int32_t threads = pool.concurrency();
  std::mt19937 rng(20261210);
  for (int round = 0; round < 12; ++round) {
    std::vector<Mesh> meshes;
    const int count = 1 + int(rng() % 3);
    for (int i = 0; i < count; ++i) meshes.push_back(random_mesh(rng, i));
    const NormalStyle style = round % 3 == 0 ? NormalStyle::flat : NormalStyle::smooth;
    pool.setConcurrency(1);
    // The same name in two folders: the file names its material library.
    std::filesystem::create_directories(dir / "one");
    std::filesystem::create_directories(dir / "blocks");
    ASSERT_TRUE(write_obj_in_blocks(meshes, dir.path() / "one" / "m.obj", style, size_t(1) << 30).ok());
    const std::string expected = read_all(dir.path() / "one" / "m.obj");
    ASSERT_NE(expected.find("\nf "), std::string::npos);
    for (int32_t concurrency : {1, 3}) {
      pool.setConcurrency(concurrency);
      for (size_t block : {1, 3, 64}) {
        ASSERT_TRUE(write_obj_in_blocks(meshes, dir.path() / "blocks" / "m.obj", style, block).ok());
        const std::string got = read_all(dir.path() / "blocks" / "m.obj");
        ASSERT_TRUE(got == expected) << "round " << round << ", " << block << " lines a block on " << concurrency
                                     << " threads: the first difference at byte "
                                     << std::mismatch(got.begin(), got.end(), expected.begin(), expected.end()).first - got.begin();
      }
    }
  }
  pool.setConcurrency(threads);
}

TEST(ObjBlocks, FlatNormalsAreTheFacesOwnAndNumberedInPointOrder) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    const Mesh mesh = random_mesh(rng, round);
    const IndexedNormals normals = flat_normals(mesh);
    ASSERT_EQ(normals.corner.size(), mesh.corners.size());
    for (size_t f = 0; f < mesh.face_count(); ++f) {
      const std::span<const int32_t> c = mesh.face(f);
      double n[3] = {0, 0, 0};
      for (size_t i = 0; i < c.size(); ++i) {
        const Vector& a = mesh.points[c[i]];
        const Vector& b = mesh.points[c[(i + 1) % c.size()]];
        n[0] += (double(a.y) - b.y) * (double(a.z) + b.z);
        n[1] += (double(a.z) - b.z) * (double(a.x) + b.x);
        n[2] += (double(a.x) - b.x) * (double(a.y) + b.y);
      }
      const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      for (uint32_t k = mesh.face_start[f]; k < mesh.face_start[f + 1]; ++k) {
        const Vector& got = normals.normals[normals.corner[k]];
        EXPECT_NEAR(got.x, n[0] / length, 2e-6) << "face " << f;
        EXPECT_NEAR(got.y, n[1] / length, 2e-6) << "face " << f;
        EXPECT_NEAR(got.z, n[2] / length, 2e-6) << "face " << f;
      }
    }
    // Entries are made point by point: taken in that order, each new one is the next.
    uint32_t next = 0;
    for (size_t p = 0; p < mesh.points.size(); ++p)
      for (size_t k = 0; k < mesh.corners.size(); ++k)
        if (size_t(mesh.corners[k]) == p && normals.corner[k] >= next) {
          ASSERT_EQ(normals.corner[k], next) << "point " << p;
          ++next;
        }
    EXPECT_EQ(next, normals.normals.size());
    // Faces on the plane y = 0 meet there and share.
    EXPECT_LT(normals.normals.size(), mesh.corners.size());
  }
}

}  // namespace
