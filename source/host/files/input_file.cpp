#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kurvo::media {
namespace {

std::string errno_problem(int error) {
  if (error == ENOENT || error == ENOTDIR) return "no such file";
  if (error == ELOOP) return "its path has a loop of symbolic links";
  return std::strerror(error);
}

std::string kind_problem(mode_t mode) {
  if (S_ISDIR(mode)) return "it is a directory";
  if (S_ISFIFO(mode)) return "it is not a regular file (a FIFO)";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is not a regular file (a device)";
  if (S_ISSOCK(mode)) return "it is not a regular file (a socket)";
  return "it is not a regular file";
}

std::string size_problem(uint64_t size, uint64_t max_bytes) {
  return "it is " + std::to_string(size) + " bytes; files over " + std::to_string(max_bytes) +
         " bytes are not read";
}

}  // namespace

std::string input_file_problem(const std::filesystem::path& file, uint64_t& size, uint64_t max_bytes) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return errno_problem(errno);
  if (!S_ISREG(st.st_mode)) return kind_problem(st.st_mode);
  size = static_cast<uint64_t>(st.st_size);
  if (size > max_bytes) return size_problem(size, max_bytes);
  return {};
}

namespace {

// Opens a regular file of at most `max_bytes`: the descriptor and its size, or
// the reason (fd < 0).
int open_input(const std::filesystem::path& file, uint64_t max_bytes, uint64_t& size, std::string& problem) {
  // O_NONBLOCK: a FIFO put in place after a check must not block the open.
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    problem = errno_problem(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0)
    problem = errno_problem(errno);
  else if (!S_ISREG(st.st_mode))
    problem = kind_problem(st.st_mode);
  else if (static_cast<uint64_t>(st.st_size) > max_bytes)
    problem = size_problem(static_cast<uint64_t>(st.st_size), max_bytes);
  if (!problem.empty()) {
    ::close(fd);
    return -1;
  }
  size = static_cast<uint64_t>(st.st_size);
  return fd;
}

// Reads up to `want` bytes with read_some(into, length, done) (a read or
// pread that may stop short); fewer only at the end of the file (a file
// that shrank while it was read keeps what is there). -1 on an error.
template <class ReadSome>
int64_t read_until_full(const ReadSome& read_some, char* into, size_t want, std::string& problem) {
  size_t done = 0;
  while (done < want) {
    const ssize_t n = read_some(into + done, want - done, done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      problem = std::strerror(errno);
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int64_t read_fully(int fd, char* into, size_t want, std::string& problem) {
  return read_until_full([fd](char* at, size_t length, size_t) { return ::read(fd, at, length); }, into, want,
                         problem);
}

}  // namespace

Result<std::string> read_input_file(const std::filesystem::path& file, uint64_t max_bytes) {
  uint64_t size = 0;
  std::string problem;
  const int fd = open_input(file, max_bytes, size, problem);
  if (fd < 0) return Status::failure(problem);
  std::string content(static_cast<size_t>(size), '\0');
  const ssize_t done = read_fully(fd, content.data(), content.size(), problem);
  ::close(fd);
  if (done < 0) return Status::failure(problem);
  content.resize(static_cast<size_t>(done));
  return content;
}

Result<InputFile> InputFile::open(const std::filesystem::path& file, uint64_t max_bytes) {
  uint64_t size = 0;
  std::string problem;
  const int fd = open_input(file, max_bytes, size, problem);
  if (fd < 0) return Status::failure(problem);
  return InputFile(fd, size);
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t InputFile::read_at(uint64_t offset, char* into, size_t length, std::string& problem) const {
  return read_until_full(
      [this, offset](char* at, size_t want, size_t done) {
        return ::pread(fd_, at, want, static_cast<off_t>(offset + done));
      },
      into, length, problem);
}

Status read_input_blocks(const std::filesystem::path& file, const std::function<void(std::string_view)>& consume,
                         uint64_t max_bytes) {
  uint64_t size = 0;
  std::string problem;
  const int fd = open_input(file, max_bytes, size, problem);
  if (fd < 0) return Status::failure(problem);
  std::string block(std::min<uint64_t>(size, uint64_t{1} << 20), '\0');
  uint64_t left = size;  // no more than the size seen at the start, as a whole read
  while (left > 0) {
    const ssize_t done = read_fully(fd, block.data(), static_cast<size_t>(std::min<uint64_t>(left, block.size())), problem);
    if (done < 0) break;
    if (done == 0) break;  // the file shrank
    consume(std::string_view(block.data(), static_cast<size_t>(done)));
    left -= static_cast<uint64_t>(done);
  }
  ::close(fd);
  if (!problem.empty()) return Status::failure(problem);
  return Status::success();
}

bool is_inside_folder(const std::filesystem::path& file, const std::filesystem::path& folder) {
  std::error_code ec;
  const std::filesystem::path root = std::filesystem::weakly_canonical(std::filesystem::absolute(folder, ec), ec);
  if (ec) return false;
  const std::filesystem::path target = std::filesystem::weakly_canonical(std::filesystem::absolute(file, ec), ec);
  if (ec) return false;
  auto r = root.begin();
  auto t = target.begin();
  for (; r != root.end(); ++r, ++t) {
    if (r->empty()) continue;  // a trailing separator
    if (t == target.end() || *r != *t) return false;
  }
  return true;
}

}  // namespace kurvo::media
