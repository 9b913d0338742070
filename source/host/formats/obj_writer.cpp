#include "obj_writer.h"

#include <charconv>
#include <string>

#include "atomic_file.h"
#include "path_text.h"
#include "text_sink.h"

namespace kurvo::media {
namespace {

void append_float(std::string& out, float v) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, ec == std::errc() ? end : buffer);
}

// A name as one OBJ or MTL line can hold it: a line break would start a line
// of its own (a stray "v" line shifts every face index after it), '#' would
// begin a comment and a final backslash would join the next line, so those
// become '_', as do all other control characters.
std::string line_safe(std::string name) {
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || c == '#') c = '_';
  }
  if (!name.empty() && name.back() == '\\') name.back() = '_';
  return name;
}

// Material names are single words in practice; spaces would split them.
std::string material_name(const Mesh& mesh, size_t index) {
  std::string name = "kurvo_" + std::to_string(index);
  if (!mesh.name.empty()) name += "_" + mesh.name;
  name = line_safe(std::move(name));
  for (char& c : name)
    if (c == ' ') c = '_';
  return name;
}

std::string object_name(const Mesh& mesh, size_t index) {
  return line_safe(mesh.name.empty() ? "mesh" + std::to_string(index) : mesh.name);
}

}  // namespace

Status write_obj(const std::vector<Mesh>& meshes, const std::filesystem::path& file) {
  bool coloured = false;
  for (const Mesh& m : meshes) coloured = coloured || m.colour.has_value();
  std::filesystem::path library = file;
  library.replace_extension(".mtl");

  StagedFiles files;
  TextSink obj(files.stage(file), file);
  std::string mtl = "# written by kurvo\n";
  obj.append("# written by kurvo\n");
  if (coloured) obj.append("mtllib " + library.filename().string() + "\n");

  uint64_t base = 1;  // OBJ indices are global and start at 1
  for (size_t i = 0; i < meshes.size(); ++i) {
    const Mesh& mesh = meshes[i];
    obj.append("o " + object_name(mesh, i) + "\n");
    if (mesh.colour) {
      const std::string material = material_name(mesh, i);
      obj.append("usemtl " + material + "\n");
      mtl += "newmtl " + material + "\nKd ";
      append_float(mtl, mesh.colour->x);
      mtl += ' ';
      append_float(mtl, mesh.colour->y);
      mtl += ' ';
      append_float(mtl, mesh.colour->z);
      mtl += "\n";
    }
    for (const Vector& p : mesh.points) {
      obj.append("v ");
      obj.append(p.x);
      obj.append(' ');
      obj.append(p.y);
      obj.append(' ');
      obj.append(p.z);
      obj.append('\n');
    }
    for (size_t f = 0; f < mesh.face_count(); ++f) {
      obj.append("f");
      for (int32_t c : mesh.face(f)) {
        obj.append(' ');
        obj.append(base + static_cast<uint64_t>(c));
      }
      obj.append('\n');
    }
    base += mesh.points.size();
  }
  if (Status s = obj.finish(); !s.ok()) return s;
  if (coloured) {
    TextSink side(files.stage(library), library);
    side.append(mtl);
    if (Status s = side.finish(); !s.ok()) return s;
  }
  return files.commit(file);  // the library first, so the OBJ never names a missing one
}

}  // namespace kurvo::media
