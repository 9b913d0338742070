#include "atomic_file.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "path_text.h"

namespace kurvo::media {
namespace {

// Hidden name in the same directory, unique per process and call, so two
// writers of one tool never share a temporary.
std::filesystem::path temporary_beside(const std::filesystem::path& final_path) {
  static std::atomic<unsigned> counter{0};
  std::string name = "." + final_path.filename().string() + "." + std::to_string(::getpid()) + "." +
                     std::to_string(counter.fetch_add(1)) + ".tmp";
  return final_path.parent_path() / name;
}

}  // namespace

StagedFiles::~StagedFiles() { discard(); }

std::filesystem::path StagedFiles::stage(const std::filesystem::path& final_path) {
  for (const Entry& e : entries_)
    if (e.final_path == final_path) return e.temp_path;
  entries_.push_back({final_path, temporary_beside(final_path)});
  return entries_.back().temp_path;
}

bool StagedFiles::is_staged(const std::filesystem::path& final_path) const {
  for (const Entry& e : entries_)
    if (e.final_path == final_path) return true;
  return false;
}

Status StagedFiles::commit(const std::filesystem::path& primary) {
  if (entries_.empty()) return Status::success();
  size_t last = 0;
  for (size_t i = 0; i < entries_.size(); ++i)
    if (!primary.empty() && entries_[i].final_path == primary) last = i;

  std::error_code ec;
  for (const Entry& e : entries_) {
    if (!std::filesystem::exists(e.temp_path, ec))
      return Status::failure("cannot write " + quoted(e.final_path) + ": the writer produced no file");
  }
  // Side files first, the primary file last.
  std::vector<size_t> order;
  for (size_t i = 0; i < entries_.size(); ++i)
    if (i != last) order.push_back(i);
  order.push_back(last);
  for (size_t i : order) {
    Entry& e = entries_[i];
    std::filesystem::rename(e.temp_path, e.final_path, ec);
    if (ec) return Status::failure("cannot write " + quoted(e.final_path) + ": " + ec.message());
    e.temp_path.clear();  // committed: nothing left to remove
  }
  entries_.clear();
  return Status::success();
}

void StagedFiles::discard() {
  std::error_code ec;
  for (const Entry& e : entries_)
    if (!e.temp_path.empty()) std::filesystem::remove(e.temp_path, ec);
  entries_.clear();
}

Status write_file_atomically(const std::filesystem::path& path,
                             const std::function<Status(const std::filesystem::path& temp)>& write) {
  StagedFiles files;
  Status written = write(files.stage(path));
  if (!written.ok()) return written;  // the destructor removes the temporary
  return files.commit(path);
}

Status write_bytes_atomically(const std::filesystem::path& path, std::string_view content) {
  return write_file_atomically(path, [&](const std::filesystem::path& temp) {
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return Status::failure("cannot write " + quoted(path) + ": " + std::strerror(errno));
    const bool wrote = std::fwrite(content.data(), 1, content.size(), f) == content.size();
    const int write_errno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!wrote || !closed)
      return Status::failure("cannot write " + quoted(path) + ": " +
                             std::strerror(wrote ? errno : write_errno));
    return Status::success();
  });
}

}  // namespace kurvo::media
