#include "text_sink.h"

#include <cerrno>
#include <cstring>

#include "path_text.h"

namespace kurvo::media {

TextSink::TextSink(const std::filesystem::path& path, const std::filesystem::path& shown)
    : shown_(shown), buffer_(kBuffer) {
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) error_ = errno ? errno : EIO;
}

TextSink::~TextSink() {
  if (file_) std::fclose(file_);
}

void TextSink::fail() {
  if (!error_) error_ = errno ? errno : EIO;
}

void TextSink::make_room(size_t) {
  if (file_ && !error_ && used_ && std::fwrite(buffer_.data(), 1, used_, file_) != used_) fail();
  used_ = 0;
}

void TextSink::write_through(std::string_view text) {
  if (file_ && !error_ && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) fail();
}

Status TextSink::finish() {
  make_room(0);
  if (file_) {
    if (std::fclose(file_) != 0) fail();
    file_ = nullptr;
  }
  if (error_) return Status::failure("cannot write " + quoted(shown_) + ": " + std::strerror(error_));
  return Status::success();
}

}  // namespace kurvo::media
