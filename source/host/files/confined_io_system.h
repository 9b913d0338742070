// The file access Assimp gets while importing one mesh file: the file itself,
// and the resources it names (glTF buffers and images, material libraries)
// only when they lie in the mesh file's folder or below and are regular
// files of a readable size. A shared mesh file can thus neither make the tool
// read a local file outside its folder into an output, nor hang it on a FIFO,
// nor exhaust memory on a device such as /dev/zero.
#ifndef KURVO_MEDIA_CONFINED_IO_SYSTEM_H
#define KURVO_MEDIA_CONFINED_IO_SYSTEM_H

#include <assimp/DefaultIOSystem.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace kurvo::media {

class ConfinedIOSystem : public Assimp::DefaultIOSystem {
 public:
  // `refusal` receives the reason of the first refused open, for the
  // importer's caller to report instead of Assimp's generic message; it must
  // outlive this object.
  ConfinedIOSystem(const std::filesystem::path& mesh_file, bool outside_allowed, std::string& refusal);

  // Called after each read from the mesh file itself (its resources do not
  // count) with the bytes read so far through that opening of it: how far
  // the importer has got through the file.
  void on_mesh_file_read(std::function<void(uint64_t)> call) { on_read_ = std::move(call); }

  bool Exists(const char* file) const override;
  Assimp::IOStream* Open(const char* file, const char* mode = "rb") override;

 private:
  // Empty when `file` may be read, else why not.
  std::string problem(const char* file) const;

  std::filesystem::path mesh_file_;
  std::filesystem::path folder_;
  bool outside_allowed_;
  std::string& refusal_;
  std::function<void(uint64_t)> on_read_;
};

}  // namespace kurvo::media

#endif
