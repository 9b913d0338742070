// A file written through a fixed buffer: text is appended piece by piece and
// goes to disk a buffer at a time, so a writer never holds the whole file in
// memory. Numbers are formatted with std::to_chars (floats: the shortest text
// that reads back to the same value). Blocks made elsewhere (ordered_blocks.h)
// go out as they are, without passing through the buffer. Every few MiB the
// system is asked to start writing what has gone out, so the final sync of a
// staged file has little left to wait for.
#ifndef KURVO_MEDIA_TEXT_SINK_H
#define KURVO_MEDIA_TEXT_SINK_H

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "result.h"

namespace kurvo::media {

class TextSink {
 public:
  // Opens `path` for writing; `shown` is the name messages use (the final
  // name of a staged file).
  TextSink(const std::filesystem::path& path, const std::filesystem::path& shown);
  TextSink(const TextSink&) = delete;
  TextSink& operator=(const TextSink&) = delete;
  ~TextSink();

  void append(std::string_view text) {
    if (text.size() > kBuffer - used_) make_room(text.size());
    if (text.size() > kBuffer) return write_through(text);
    text.copy(buffer_.data() + used_, text.size());
    used_ += text.size();
  }
  void append(char c) {
    if (used_ == kBuffer) make_room(1);
    buffer_[used_++] = c;
  }
  void append(float v) { append_number(v); }
  void append(uint64_t v) { append_number(v); }
  // A block of text, written after what is buffered.
  void append_block(std::string_view text);

  // Writes what is buffered and closes the file; the first failure of the
  // whole write as a message naming the file.
  Status finish();

 private:
  static constexpr size_t kBuffer = size_t(1) << 20;
  static constexpr size_t kNumber = 32;  // room for any float or 64-bit integer

  template <class T>
  void append_number(T v) {
    if (kBuffer - used_ < kNumber) make_room(kNumber);
    char* at = buffer_.data() + used_;
    const auto [end, ec] = std::to_chars(at, at + kNumber, v);
    if (ec == std::errc()) used_ += static_cast<size_t>(end - at);
  }
  void make_room(size_t bytes);
  void write_through(std::string_view text);
  void fail();

  std::filesystem::path shown_;
  int fd_ = -1;
  std::vector<char> buffer_;
  size_t used_ = 0;
  uint64_t written_ = 0, sent_ = 0;  // bytes written; of those, handed to write-back
  int error_ = 0;  // errno of the first failure
};

}  // namespace kurvo::media

#endif
