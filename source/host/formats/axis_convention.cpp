#include "axis_convention.h"

#include "path_text.h"

namespace kurvo::media {

FileFrame file_frame(const std::filesystem::path& file) {
  const std::string extension = lower_extension(file);
  if (extension == ".stl" || extension == ".ply") return FileFrame::z_up_right_handed;
  return FileFrame::y_up_right_handed;
}

Polygon reversed(const Polygon& q) {
  if (q.is_triangle()) return make_triangle(q.a, q.c, q.b);
  return Polygon{q.a, q.d, q.c, q.b};
}

void convert_meshes(std::vector<Mesh>& meshes, FileFrame frame, float scale) {
  for (Mesh& mesh : meshes) {
    for (Vector& p : mesh.points) p = to_file_frame(p, frame) * scale;
    for (Vector& n : mesh.corner_normals.values) n = to_file_frame(n, frame);
    reverse_faces(mesh);
  }
}

}  // namespace kurvo::media
