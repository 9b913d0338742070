#include "confined_io_system.h"

#include "input_file.h"
#include "path_text.h"

namespace kurvo::media {

ConfinedIOSystem::ConfinedIOSystem(const std::filesystem::path& mesh_file, bool outside_allowed,
                                   std::string& refusal)
    : mesh_file_(mesh_file.lexically_normal()),
      folder_(mesh_file.parent_path().empty() ? std::filesystem::path(".") : mesh_file.parent_path()),
      outside_allowed_(outside_allowed),
      refusal_(refusal) {}

std::string ConfinedIOSystem::problem(const char* file) const {
  const std::filesystem::path path(file);
  const bool is_mesh_file = path.lexically_normal() == mesh_file_;
  if (!is_mesh_file && !outside_allowed_ && !is_inside_folder(path, folder_))
    return "it names " + quoted(path) + ", which lies outside the mesh file's folder";
  uint64_t size = 0;
  std::string why = input_file_problem(path, size);
  if (!why.empty()) return is_mesh_file ? why : quoted(path) + ": " + why;
  return {};
}

bool ConfinedIOSystem::Exists(const char* file) const {
  if (!file) return false;
  const std::string why = problem(file);
  if (!why.empty() && why.find("no such file") == std::string::npos && refusal_.empty()) refusal_ = why;
  return why.empty();
}

Assimp::IOStream* ConfinedIOSystem::Open(const char* file, const char* mode) {
  if (!file || !mode) return nullptr;
  const std::string m(mode);
  if (m.find_first_of("wa+") != std::string::npos) {
    if (refusal_.empty()) refusal_ = "it asked to write a file";
    return nullptr;
  }
  if (std::string why = problem(file); !why.empty()) {
    // A missing side file is not a refusal: the importer decides whether it
    // can do without it.
    if (why.find("no such file") == std::string::npos && refusal_.empty()) refusal_ = why;
    return nullptr;
  }
  return DefaultIOSystem::Open(file, mode);
}

}  // namespace kurvo::media
