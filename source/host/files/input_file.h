// Reading files that a scene names, safely: only regular files are opened
// (a device such as /dev/zero would be read for ever, a FIFO would block),
// their size is known before a byte is allocated, and a path that cannot be
// followed (a symbolic link loop, a missing file) says so in words.
#ifndef KURVO_MEDIA_INPUT_FILE_H
#define KURVO_MEDIA_INPUT_FILE_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "result.h"

namespace kurvo::media {

// Scene and mesh files larger than this are refused before reading.
inline constexpr uint64_t kMaxInputFileBytes = uint64_t{1} << 31;  // 2 GiB

// Empty when `file` is a regular file (after following links) of at most
// `max_bytes`; otherwise the reason, without the file name ("it is a
// directory", "it is not a regular file (a FIFO)", "no such file", ...).
// On success, `size` holds the file's size.
std::string input_file_problem(const std::filesystem::path& file, uint64_t& size,
                               uint64_t max_bytes = kMaxInputFileBytes);

// The whole content of a regular file; the failure message is the reason
// alone, as above, for the caller to prefix with the file's role.
Result<std::string> read_input_file(const std::filesystem::path& file, uint64_t max_bytes = kMaxInputFileBytes);

// The same file, with the same checks and messages, handed to `consume` a
// block at a time (1 MiB, the last one shorter), for readers that need not
// hold the whole file.
Status read_input_blocks(const std::filesystem::path& file, const std::function<void(std::string_view)>& consume,
                         uint64_t max_bytes = kMaxInputFileBytes);

// A regular file opened after the checks above, for reading pieces of it at
// any offset, from several threads at once.
class InputFile {
 public:
  // The file, or the reason as above.
  static Result<InputFile> open(const std::filesystem::path& file, uint64_t max_bytes = kMaxInputFileBytes);
  InputFile(InputFile&& other) noexcept : fd_(other.fd_), size_(other.size_) { other.fd_ = -1; }
  InputFile& operator=(InputFile&&) = delete;
  InputFile(const InputFile&) = delete;
  ~InputFile();

  // The size when it was opened.
  uint64_t size() const { return size_; }
  // Up to `length` bytes from `offset`, fewer where the file ends (one that
  // shrank keeps what is there); -1 with the reason on a failure.
  int64_t read_at(uint64_t offset, char* into, size_t length, std::string& problem) const;

 private:
  InputFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  int fd_;
  uint64_t size_;
};

// True when `file` lies inside `folder` (or below), comparing the paths with
// every symbolic link resolved, so neither ".." nor a link leads out.
bool is_inside_folder(const std::filesystem::path& file, const std::filesystem::path& folder);

}  // namespace kurvo::media

#endif
