#include "obj_writer.h"

#include <charconv>
#include <map>
#include <string>

#include "atomic_file.h"
#include "corner_vertices.h"
#include "normal_renewal.h"
#include "ordered_blocks.h"
#include "path_text.h"
#include "progress.h"
#include "text_block.h"
#include "text_sink.h"
#include "texture_reference.h"

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

std::string word_safe(std::string name) {
  name = line_safe(std::move(name));
  for (char& c : name)
    if (c == ' ' || c == '\t') c = '_';
  return name.empty() ? "material" : name;
}

void append_colour(std::string& out, const char* keyword, const Vector& c) {
  out += keyword;
  for (float v : {c.x, c.y, c.z}) {
    out += ' ';
    append_float(out, v);
  }
  out += '\n';
}

// " x y z" after a line's keyword.
void append_xyz(TextBlock& text, const Vector& v) {
  for (float c : {v.x, v.y, v.z}) {
    text.append(' ');
    text.append(c);
  }
}

}  // namespace

Status write_obj(const std::vector<Mesh>& meshes, const std::filesystem::path& file, NormalStyle style) {
  return write_obj_in_blocks(meshes, file, style, 8192);
}

Status write_obj_in_blocks(const std::vector<Mesh>& meshes, const std::filesystem::path& file, NormalStyle style,
                           size_t lines_per_block) {
  bool library_needed = false;
  for (const Mesh& m : meshes) library_needed = library_needed || m.colour.has_value() || !m.materials.empty();
  std::filesystem::path library = file;
  library.replace_extension(".mtl");
  // Every texture must be there before anything is written.
  for (const Mesh& m : meshes)
    for (const Material& material : m.materials) {
      std::error_code ec;
      if (!material.base_colour_texture.empty() && !std::filesystem::is_regular_file(material.base_colour_texture, ec))
        return Status::failure("cannot write " + quoted(file) + ": material \"" + material.name +
                               "\" has the texture (map_Kd) " + quoted(std::filesystem::path(material.base_colour_texture)) +
                               ", which does not exist");
    }

  StagedFiles files;
  SideImages images(file, files);  // a .glb's pictures, written beside the output
  for (const Mesh& m : meshes)
    for (const Material& material : m.materials) images.keep(material.base_colour_texture);
  TextSink obj(files.stage(file), file);
  std::string mtl = "# written by kurvo\n";
  obj.append("# written by kurvo\n");
  if (library_needed) obj.append("mtllib " + library.filename().string() + "\n");

  uint64_t elements = 0;
  for (const Mesh& m : meshes) elements += m.points.size() + m.face_count();
  FileProgress progress = FileProgress::count("writing " + file.filename().string(), elements, "points and faces");
  const auto step = [&](size_t items) { progress.add(items); };
  std::map<std::string, const Material*> written;  // by name: one definition each
  uint64_t base = 1, uv_base = 1, normal_base = 1;  // OBJ indices are global and start at 1
  for (size_t i = 0; i < meshes.size(); ++i) {
    const Mesh& mesh = meshes[i];
    obj.append("o " + object_name(mesh, i) + "\n");
    std::vector<std::string> names;  // per material of the mesh, as written
    for (const Material& material : mesh.materials) {
      std::string name = word_safe(material.name);
      // The same name for a different material gets a suffix.
      for (int n = 2;; ++n) {
        auto found = written.find(name);
        if (found == written.end()) break;
        if (same_material(*found->second, material)) break;
        name = word_safe(material.name) + "." + std::to_string(n);
      }
      if (written.emplace(name, &material).second) {
        mtl += "newmtl " + name + "\n";
        append_colour(mtl, "Kd", material.base_colour);
        if (material.opacity < 1.0f) {
          mtl += "d ";
          append_float(mtl, material.opacity);
          mtl += '\n';
        }
        if (material.metallic) {
          mtl += "Pm ";
          append_float(mtl, *material.metallic);
          mtl += '\n';
        }
        if (material.roughness) {
          mtl += "Pr ";
          append_float(mtl, *material.roughness);
          mtl += '\n';
        }
        if (!material.base_colour_texture.empty()) {
          mtl += "map_Kd " + texture_reference(material.base_colour_texture, file) + "\n";
        } else if (material.base_colour_image && !material.base_colour_image->empty()) {
          Result<std::string> picture = images.write(name, material.base_colour_image);
          if (!picture) return picture.status();
          mtl += "map_Kd " + picture.value() + "\n";
        }
      }
      names.push_back(name);
    }
    if (mesh.materials.empty() && mesh.colour) {
      const std::string material = material_name(mesh, i);
      obj.append("usemtl " + material + "\n");
      mtl += "newmtl " + material + "\n";
      append_colour(mtl, "Kd", *mesh.colour);
    }
    // Lines are made in blocks on the task pool (ordered_blocks.h); each
    // block reads the mesh only, and what a face line needs from the face
    // before it (the last group, material and smoothing group) it reads
    // there.
    const bool coloured = mesh.point_colours.size() == mesh.points.size();
    write_ordered_blocks(obj, mesh.points.size(), [&](size_t first, size_t last, std::string& out) {
      TextBlock text(out);
      for (size_t p = first; p < last; ++p) {
        text.append('v');
        append_xyz(text, mesh.points[p]);
        if (coloured) append_xyz(text, mesh.point_colours[p]);
        text.append('\n');
      }
    }, {lines_per_block, step});
    // UVs and normals shared where the corners of a point agree.
    const bool textured = !mesh.uv_sets.empty();
    IndexedValues<Uv> uvs;
    if (textured) uvs = shared_per_point(mesh, mesh.uv_sets.front().uvs);
    write_ordered_blocks(obj, uvs.values.size(), [&](size_t first, size_t last, std::string& out) {
      TextBlock text(out);
      for (size_t k = first; k < last; ++k) {
        text.append("vt ");
        text.append(uvs.values[k].u);
        text.append(' ');
        text.append(uvs.values[k].v);
        text.append('\n');
      }
    }, {lines_per_block, {}});
    IndexedNormals normals;
    const bool with_normals = mesh.face_count() > 0;
    if (with_normals) normals = writer_normals(mesh, style);
    write_ordered_blocks(obj, normals.normals.size(), [&](size_t first, size_t last, std::string& out) {
      TextBlock text(out);
      for (size_t k = first; k < last; ++k) {
        text.append("vn");
        append_xyz(text, normals.normals[k]);
        text.append('\n');
      }
    }, {lines_per_block, {}});
    const bool grouped = !mesh.face_smooth_group.empty();
    const bool named_groups = mesh.face_group.size() == mesh.face_count() && mesh.group_names.size() > 1;
    const bool materials = !mesh.face_material.empty();
    write_ordered_blocks(obj, mesh.face_count(), [&](size_t first, size_t last, std::string& out) {
      TextBlock text(out);
      // As the face before the block left them.
      const bool after = first > 0;
      uint32_t last_material = after && materials ? mesh.face_material[first - 1] : UINT32_MAX;
      uint32_t last_group = after && grouped ? mesh.face_smooth_group[first - 1] : UINT32_MAX;
      uint32_t last_named = after && named_groups ? mesh.face_group[first - 1] : UINT32_MAX;
      for (size_t f = first; f < last; ++f) {
        if (named_groups && mesh.face_group[f] != last_named) {
          last_named = mesh.face_group[f];
          text.append("g " + line_safe(mesh.group_names[last_named]) + "\n");
        }
        if (materials && mesh.face_material[f] != last_material) {
          last_material = mesh.face_material[f];
          text.append("usemtl " + names[last_material] + "\n");
        }
        if (grouped && mesh.face_smooth_group[f] != last_group) {
          last_group = mesh.face_smooth_group[f];
          text.append("s ");
          if (last_group == 0)
            text.append("off");
          else
            text.append(uint64_t{last_group});
          text.append('\n');
        }
        text.append('f');
        for (uint32_t c = mesh.face_start[f]; c < mesh.face_start[f + 1]; ++c) {
          text.append(' ');
          text.append(base + static_cast<uint64_t>(mesh.corners[c]));
          if (textured || with_normals) text.append('/');
          if (textured) text.append(uv_base + uvs.corner[c]);
          if (with_normals) {
            text.append('/');
            text.append(normal_base + normals.corner[c]);
          }
        }
        text.append('\n');
      }
    }, {lines_per_block, step});
    base += mesh.points.size();
    uv_base += uvs.values.size();
    normal_base += normals.normals.size();
  }
  progress.finish();
  if (Status s = obj.finish(); !s.ok()) return s;
  if (library_needed) {
    TextSink side(files.stage(library), library);
    side.append(mtl);
    if (Status s = side.finish(); !s.ok()) return s;
  }
  return files.commit(file);  // the library first, so the OBJ never names a missing one
}

}  // namespace kurvo::media
