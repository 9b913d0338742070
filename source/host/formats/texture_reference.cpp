#include "texture_reference.h"

namespace kurvo::media {

std::string texture_reference(const std::string& texture, const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::weakly_canonical(texture, ec);
  std::filesystem::path folder = std::filesystem::absolute(file, ec).parent_path();
  folder = std::filesystem::weakly_canonical(folder, ec);
  std::filesystem::path relative = target.lexically_relative(folder);
  if (relative.empty()) relative = target;
  return relative.generic_string();
}

}  // namespace kurvo::media
