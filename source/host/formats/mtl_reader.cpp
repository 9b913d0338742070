#include "mtl_reader.h"

#include <algorithm>
#include <string_view>

#include "input_file.h"
#include "obj_text.h"
#include "path_text.h"

namespace kurvo::media {

using namespace obj_text;

std::string read_material_library(const std::filesystem::path& obj, const std::string& name,
                                  bool outside_allowed, std::map<std::string, Material>& materials) {
  const std::filesystem::path file = obj.parent_path() / name;
  const std::string prefix = "cannot read mesh file " + quoted(obj) + ": material library " + quoted(std::filesystem::path(name)) + ": ";
  if (!outside_allowed && !is_inside_folder(file, obj.parent_path().empty() ? std::filesystem::path(".") : obj.parent_path()))
    return prefix + "it lies outside the mesh file's folder";
  uint64_t size = 0;
  if (std::string problem = input_file_problem(file, size); !problem.empty())
    return problem == "no such file" ? std::string() : prefix + problem;
  auto read = read_input_file(file);
  if (!read) return prefix + read.message();
  const std::string& text = read.value();
  Material* current = nullptr;
  const auto number = [](std::string_view rest, float& out) { return parse_float(next_token(rest), out); };
  for_each_line(text, [&](std::string_view keyword, std::string_view rest, size_t) {
    if (keyword == "newmtl") {
      current = &materials[std::string(rest)];
      current->name = std::string(rest);
      return;
    }
    if (!current) return;
    float v = 0.0f;
    if (keyword == "Kd") {
      float c[3];
      for (float& x : c)
        if (!parse_float(next_token(rest), x)) return;
      current->base_colour = Vector(std::clamp(c[0], 0.0f, 1.0f), std::clamp(c[1], 0.0f, 1.0f),
                                    std::clamp(c[2], 0.0f, 1.0f));
    } else if (keyword == "d" && number(rest, v)) {
      current->opacity = std::clamp(v, 0.0f, 1.0f);
    } else if (keyword == "Tr" && number(rest, v)) {
      current->opacity = 1.0f - std::clamp(v, 0.0f, 1.0f);
    } else if (keyword == "Pm" && number(rest, v)) {
      current->metallic = std::clamp(v, 0.0f, 1.0f);
    } else if (keyword == "Pr" && number(rest, v)) {
      current->roughness = std::clamp(v, 0.0f, 1.0f);
    } else if (keyword == "map_Kd") {
      // Options (-bm 1, -s 1 1 1, ...) come before the file name, which may
      // hold spaces: the name is what follows the last option.
      std::string_view texture = rest;
      while (!texture.empty() && texture.front() == '-') {
        std::string_view probe = texture;
        const std::string_view option = next_token(probe);
        const int values = option == "-s" || option == "-o" || option == "-t" ? 3 : option == "-mm" ? 2 : 1;
        for (int i = 0; i < values; ++i) {
          std::string_view before = probe;
          float ignored = 0.0f;
          if (!parse_float(next_token(probe), ignored) && option != "-blendu" && option != "-blendv" &&
              option != "-clamp" && option != "-imfchan" && option != "-type") {
            probe = before;
            break;
          }
        }
        texture = trimmed(probe);
      }
      // Files written on Windows name ".\\wood.jpg": a backslash separates folders.
      std::string name(texture);
      std::replace(name.begin(), name.end(), '\\', '/');
      if (!name.empty())
        current->base_colour_texture = (file.parent_path() / std::filesystem::path(name)).lexically_normal().string();
    }
  });
  return {};
}


}  // namespace kurvo::media
