#include "confined_io_system.h"

#include <assimp/IOStream.hpp>

#include "input_file.h"
#include "path_text.h"

namespace kurvo::media {
namespace {

// A stream that tells how many bytes were read through it.
class CountedStream : public Assimp::IOStream {
 public:
  CountedStream(Assimp::IOStream* inner, const std::function<void(uint64_t)>& told) : inner_(inner), told_(told) {}
  ~CountedStream() override { delete inner_; }
  size_t Read(void* buffer, size_t size, size_t count) override {
    const size_t items = inner_->Read(buffer, size, count);
    read_ += static_cast<uint64_t>(items) * size;
    told_(read_);
    return items;
  }
  size_t Write(const void* buffer, size_t size, size_t count) override { return inner_->Write(buffer, size, count); }
  aiReturn Seek(size_t offset, aiOrigin origin) override { return inner_->Seek(offset, origin); }
  size_t Tell() const override { return inner_->Tell(); }
  size_t FileSize() const override { return inner_->FileSize(); }
  void Flush() override { inner_->Flush(); }

 private:
  Assimp::IOStream* inner_;
  uint64_t read_ = 0;
  const std::function<void(uint64_t)>& told_;
};

}  // namespace

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
  Assimp::IOStream* stream = DefaultIOSystem::Open(file, mode);
  if (!stream || !on_read_ || std::filesystem::path(file).lexically_normal() != mesh_file_) return stream;
  return new CountedStream(stream, on_read_);
}

}  // namespace kurvo::media
