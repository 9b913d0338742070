#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

Result<std::string> read_input_file(const std::filesystem::path& file, uint64_t max_bytes) {
  // O_NONBLOCK: a FIFO put in place after a check must not block the open.
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Status::failure(errno_problem(errno));
  struct stat st {};
  std::string problem;
  if (::fstat(fd, &st) != 0)
    problem = errno_problem(errno);
  else if (!S_ISREG(st.st_mode))
    problem = kind_problem(st.st_mode);
  else if (static_cast<uint64_t>(st.st_size) > max_bytes)
    problem = size_problem(static_cast<uint64_t>(st.st_size), max_bytes);
  if (!problem.empty()) {
    ::close(fd);
    return Status::failure(problem);
  }
  std::string content(static_cast<size_t>(st.st_size), '\0');
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      problem = std::strerror(errno);
      break;
    }
    if (n == 0) break;  // the file shrank while it was read: keep what is there
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (!problem.empty()) return Status::failure(problem);
  content.resize(done);
  return content;
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
