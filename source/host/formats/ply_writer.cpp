#include "ply_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "atomic_file.h"
#include "corner_vertices.h"
#include "normal_renewal.h"
#include "path_text.h"
#include "progress.h"
#include "srgb.h"
#include "text_sink.h"

namespace kurvo::media {
namespace {

static_assert(std::endian::native == std::endian::little, "the PLY writer copies floats as they are in memory");

struct MeshLayout {
  IndexedValues<Uv> uvs;
  IndexedNormals normals;
  CornerVertices vertices;
  Vector fallback_colour{1.0f, 1.0f, 1.0f};  // for a mesh without point colours
};

template <class T>
void put(std::string& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  out.append(bytes, sizeof(T));
}

// A linear colour channel as the byte PLY files hold: sRGB-encoded (srgb.h).
uint8_t colour_byte(float c) { return static_cast<uint8_t>(std::lround(linear_to_srgb(c) * 255.0)); }

}  // namespace

Status write_ply(const std::vector<Mesh>& meshes, const std::filesystem::path& file, NormalStyle style) {
  bool with_normals = false, with_uvs = false, with_colours = false;
  size_t largest_face = 0;
  for (const Mesh& m : meshes) {
    with_normals = with_normals || m.face_count() > 0;
    with_uvs = with_uvs || !m.uv_sets.empty();
    with_colours = with_colours || (!m.points.empty() && m.point_colours.size() == m.points.size());
    for (size_t f = 0; f < m.face_count(); ++f) largest_face = std::max<size_t>(largest_face, m.face_size(f));
  }

  std::vector<MeshLayout> layouts(meshes.size());
  uint64_t vertex_count = 0, face_count = 0;
  for (size_t i = 0; i < meshes.size(); ++i) {
    const Mesh& mesh = meshes[i];
    MeshLayout& layout = layouts[i];
    if (!mesh.uv_sets.empty()) layout.uvs = shared_per_point(mesh, mesh.uv_sets.front().uvs);
    if (mesh.face_count() > 0) layout.normals = writer_normals(mesh, style);
    layout.vertices = split_corner_vertices(mesh, layout.uvs.corner, layout.normals.corner);
    // The file's own material where the mesh has one, as the other writers
    // colour it; else the mesh's colour.
    if (!mesh.materials.empty())
      layout.fallback_colour = mesh.materials.front().base_colour;
    else if (mesh.colour)
      layout.fallback_colour = *mesh.colour;
    vertex_count += layout.vertices.point.size();
    face_count += mesh.face_count();
  }
  if (vertex_count > UINT32_MAX)
    return Status::failure("cannot write " + quoted(file) + ": " + std::to_string(vertex_count) +
                           " vertices are more than a PLY file's 32-bit indices reach");

  std::string header = "ply\nformat binary_little_endian 1.0\ncomment written by kurvo\n";
  header += "element vertex " + std::to_string(vertex_count) + "\n";
  header += "property float x\nproperty float y\nproperty float z\n";
  if (with_normals) header += "property float nx\nproperty float ny\nproperty float nz\n";
  if (with_uvs) header += "property float s\nproperty float t\n";
  if (with_colours) header += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
  header += "element face " + std::to_string(face_count) + "\n";
  // A corner count above 255 needs a wider count than the usual uchar.
  const bool wide_counts = largest_face > 255;
  header += wide_counts ? "property list uint int vertex_indices\n" : "property list uchar int vertex_indices\n";
  header += "end_header\n";

  const size_t record_size = 12 + (with_normals ? 12 : 0) + (with_uvs ? 8 : 0) + (with_colours ? 3 : 0);
  uint64_t total_bytes = header.size() + vertex_count * record_size;
  for (const Mesh& m : meshes) total_bytes += m.face_count() * (wide_counts ? 4 : 1) + 4 * m.corners.size();
  FileProgress progress = FileProgress::bytes("writing " + file.filename().string(), total_bytes, vertex_count);
  StagedFiles files;
  TextSink out(files.stage(file), file);
  out.append(header);
  progress.add(header.size());
  std::string record;
  for (size_t i = 0; i < meshes.size(); ++i) {
    const Mesh& mesh = meshes[i];
    const MeshLayout& layout = layouts[i];
    const CornerVertices& v = layout.vertices;
    const bool coloured = mesh.point_colours.size() == mesh.points.size();
    for (size_t k = 0; k < v.point.size(); ++k) {
      record.clear();
      const uint32_t p = v.point[k];
      for (float c : {mesh.points[p].x, mesh.points[p].y, mesh.points[p].z}) put(record, c);
      if (with_normals) {
        const Vector n = v.normal[k] == CornerVertices::kNone ? Vector(0.0f, 0.0f, 0.0f) : layout.normals.normals[v.normal[k]];
        for (float c : {n.x, n.y, n.z}) put(record, c);
      }
      if (with_uvs) {
        const Uv uv = v.uv[k] == CornerVertices::kNone ? Uv{} : layout.uvs.values[v.uv[k]];
        put(record, uv.u);
        put(record, uv.v);
      }
      if (with_colours) {
        const Vector& c = coloured ? mesh.point_colours[p] : layout.fallback_colour;
        for (float channel : {c.x, c.y, c.z}) put(record, colour_byte(channel));
      }
      out.append(record);
      progress.add(record.size());
    }
  }
  uint32_t base = 0;
  for (size_t i = 0; i < meshes.size(); ++i) {
    const Mesh& mesh = meshes[i];
    const CornerVertices& v = layouts[i].vertices;
    for (size_t f = 0; f < mesh.face_count(); ++f) {
      record.clear();
      const uint32_t size = mesh.face_size(f);
      if (wide_counts)
        put(record, size);
      else
        put(record, static_cast<uint8_t>(size));
      for (uint32_t c = mesh.face_start[f]; c < mesh.face_start[f + 1]; ++c)
        put(record, static_cast<int32_t>(base + v.corner_vertex[c]));
      out.append(record);
      progress.add(record.size());
    }
    base += static_cast<uint32_t>(v.point.size());
  }
  progress.finish();
  if (Status s = out.finish(); !s.ok()) return s;
  return files.commit(file);
}

}  // namespace kurvo::media
