#include "corner_sharing.h"

namespace kurvo::media {

CornersAround corners_around(const Mesh& mesh) {
  CornersAround out;
  out.start.assign(mesh.points.size() + 1, 0);
  for (int32_t p : mesh.corners) ++out.start[size_t(p) + 1];
  for (size_t i = 1; i < out.start.size(); ++i) out.start[i] += out.start[i - 1];
  out.corners.resize(mesh.corners.size());
  std::vector<uint32_t> fill(out.start.begin(), out.start.end() - 1);
  for (size_t c = 0; c < mesh.corners.size(); ++c) out.corners[fill[size_t(mesh.corners[c])]++] = uint32_t(c);
  return out;
}

FaceOfCorner::FaceOfCorner(const Mesh& mesh) {
  const size_t faces = mesh.face_count();
  const uint32_t size = faces > 0 ? mesh.face_start[1] - mesh.face_start[0] : 0;
  bool uniform = size > 0 && mesh.face_start[0] == 0;
  for (size_t f = 0; uniform && f < faces; ++f) uniform = mesh.face_start[f + 1] - mesh.face_start[f] == size;
  if (uniform) {
    size_ = size;
    return;
  }
  listed_.resize(mesh.corners.size());
  for (size_t f = 0; f < faces; ++f)
    for (uint32_t c = mesh.face_start[f]; c < mesh.face_start[f + 1]; ++c) listed_[c] = uint32_t(f);
}

}  // namespace kurvo::media
