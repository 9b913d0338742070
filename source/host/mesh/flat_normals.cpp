#include "flat_normals.h"

#include <algorithm>
#include <cmath>

#include "core/task_pool.h"
#include "corner_sharing.h"

namespace kurvo::media {
namespace {

constexpr size_t kFacesPerTask = 16384;

struct UnitJob {
  const Mesh* mesh;
  std::vector<Vector>* unit;
};

void unit_normals(void* context, int32_t task) {
  const UnitJob& job = *static_cast<const UnitJob*>(context);
  const size_t first = size_t(task) * kFacesPerTask;
  const size_t last = std::min(job.unit->size(), first + kFacesPerTask);
  for (size_t f = first; f < last; ++f)
    (*job.unit)[f] = unit_or(face_area_normal(*job.mesh, f), Vector(0.0f, 1.0f, 0.0f));
}

}  // namespace

IndexedNormals flat_normals(const Mesh& mesh) {
  const size_t faces = mesh.face_count();
  std::vector<Vector> unit(faces);
  UnitJob job{&mesh, &unit};
  host::TaskPool::shared().run(int32_t((faces + kFacesPerTask - 1) / kFacesPerTask), unit_normals, &job);

  const CornersAround around = corners_around(mesh);
  const FaceOfCorner face_of(mesh);
  IndexedNormals out;
  out.corner.resize(mesh.corners.size());
  out.normals.reserve(mesh.points.size());
  const auto same = [](const Vector& a, const Vector& b) {
    return std::fabs(a.x - b.x) <= 1e-6f && std::fabs(a.y - b.y) <= 1e-6f && std::fabs(a.z - b.z) <= 1e-6f;
  };
  constexpr uint32_t kNone = UINT32_MAX;
  std::vector<uint32_t> entry(faces, kNone), made;
  for (size_t p = 0; p < mesh.points.size(); ++p) {
    made.clear();
    for (uint32_t k = around.start[p]; k < around.start[p + 1]; ++k) {
      const uint32_t c = around.corners[k];
      const uint32_t f = face_of[c];
      if (entry[f] == kNone)
        add_shared(out.normals, made, unit[f], same, entry[f]);
      else
        made.push_back(entry[f]);  // the face's entry, made at a point before
      out.corner[c] = entry[f];
    }
  }
  return out;
}

}  // namespace kurvo::media
