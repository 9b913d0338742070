#include "text_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "path_text.h"

namespace kurvo::media {
namespace {

// Write-back is started a stretch at a time: the dirty pages of a large file
// would otherwise wait for the sync at the commit and be written then.
constexpr uint64_t kWriteBackStretch = uint64_t(8) << 20;

}  // namespace

TextSink::TextSink(const std::filesystem::path& path, const std::filesystem::path& shown)
    : shown_(shown), buffer_(kBuffer) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) error_ = errno ? errno : EIO;
}

TextSink::~TextSink() {
  if (fd_ >= 0) ::close(fd_);
}

void TextSink::fail() {
  if (!error_) error_ = errno ? errno : EIO;
}

void TextSink::make_room(size_t) {
  if (used_) write_through(std::string_view(buffer_.data(), used_));
  used_ = 0;
}

void TextSink::write_through(std::string_view text) {
  if (fd_ < 0 || error_) return;
  while (!text.empty()) {
    const ssize_t n = ::write(fd_, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return fail();
    text.remove_prefix(static_cast<size_t>(n));
    written_ += static_cast<uint64_t>(n);
  }
#ifdef __linux__
  if (written_ - sent_ >= kWriteBackStretch) {
    // Only a request: a file system that refuses it loses nothing.
    ::sync_file_range(fd_, static_cast<off_t>(sent_), static_cast<off_t>(written_ - sent_), SYNC_FILE_RANGE_WRITE);
    sent_ = written_;
  }
#endif
}

void TextSink::append_block(std::string_view text) {
  make_room(0);
  write_through(text);
}

Status TextSink::finish() {
  make_room(0);
  if (fd_ >= 0) {
    if (::close(fd_) != 0) fail();
    fd_ = -1;
  }
  if (error_) return Status::failure("cannot write " + quoted(shown_) + ": " + std::strerror(error_));
  return Status::success();
}

}  // namespace kurvo::media
