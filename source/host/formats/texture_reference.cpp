#include "texture_reference.h"

#include <cctype>

#include "text_sink.h"

namespace kurvo::media {
namespace {

std::filesystem::path full_path(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::weakly_canonical(path, ec);
  return ec ? std::filesystem::absolute(path, ec).lexically_normal() : full;
}

bool is_jpeg(const std::string& bytes) {
  return bytes.size() > 2 && static_cast<unsigned char>(bytes[0]) == 0xff && static_cast<unsigned char>(bytes[1]) == 0xd8;
}

}  // namespace

std::string texture_reference(const std::string& texture, const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::weakly_canonical(texture, ec);
  std::filesystem::path folder = std::filesystem::absolute(file, ec).parent_path();
  folder = std::filesystem::weakly_canonical(folder, ec);
  std::filesystem::path relative = target.lexically_relative(folder);
  if (relative.empty()) relative = target;
  return relative.generic_string();
}

std::string file_word(const std::string& name) {
  std::string out;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    out += (std::isalnum(u) || c == '-' || c == '_' || c == '.') && u < 0x80 ? c : '_';
  }
  return out.empty() ? "material" : out;
}

void SideImages::keep(const std::string& texture) {
  if (!texture.empty()) taken_.insert(full_path(texture));
}

Result<std::string> SideImages::write(const std::string& material, const std::shared_ptr<const std::string>& picture) {
  if (auto found = written_.find(picture.get()); found != written_.end()) return found->second;
  const std::string extension = is_jpeg(*picture) ? ".jpg" : ".png";
  const std::string base = output_.stem().string() + "_" + file_word(material);
  std::filesystem::path image = output_;
  for (int n = 1;; ++n) {
    const std::string stem = n == 1 ? base : base + "_" + std::to_string(n);
    image.replace_filename(stem + extension);
    if (!stems_.count(stem) && !taken_.count(full_path(image))) {
      stems_.insert(stem);
      break;
    }
  }
  taken_.insert(full_path(image));
  TextSink sink(files_.stage(image), image);
  sink.append(*picture);
  if (Status s = sink.finish(); !s.ok()) return s;
  std::string name = image.filename().generic_string();
  written_.emplace(picture.get(), name);
  return name;
}

}  // namespace kurvo::media
