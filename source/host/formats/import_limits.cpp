#include "import_limits.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "path_text.h"

namespace kurvo::media {
namespace {

// The file's bytes, mapped rather than read: a check of a large file costs
// no heap, and the pages are the ones the importer reads next.
class MappedFile {
 public:
  explicit MappedFile(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      error_ = errno;
      return;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
      size_ = static_cast<size_t>(st.st_size);
      void* at = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
      if (at == MAP_FAILED) {
        error_ = errno;
        size_ = 0;
      } else {
        data_ = static_cast<const char*>(at);
      }
    }
    ::close(fd);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() {
    if (data_) ::munmap(const_cast<char*>(data_), size_);
  }
  int error() const { return error_; }
  std::string_view bytes() const { return {data_ ? data_ : "", size_}; }

 private:
  const char* data_ = nullptr;
  size_t size_ = 0;
  int error_ = 0;
};

}  // namespace

std::string import_limit_problem(const std::filesystem::path& file) {
  const std::string extension = lower_extension(file);
  if (extension != ".gltf" && extension != ".glb" && extension != ".dae" && extension != ".ply") return {};
  const MappedFile mapped(file);
  if (mapped.error() != 0) return std::string("cannot read it: ") + std::strerror(mapped.error());
  if (extension == ".gltf") return gltf_limit_problem(mapped.bytes(), file.parent_path());
  if (extension == ".glb") return glb_limit_problem(mapped.bytes());
  if (extension == ".dae") return collada_limit_problem(mapped.bytes());
  return ply_limit_problem(mapped.bytes());
}

}  // namespace kurvo::media
