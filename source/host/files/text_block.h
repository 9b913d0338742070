// Characters of one block of lines (ordered_blocks.h), gathered in a small
// buffer on the stack before they join the block's text: a string's own
// append checks its room on every call. Numbers are written as TextSink
// writes them, so a block holds the very bytes the sink would have.
#ifndef KURVO_MEDIA_TEXT_BLOCK_H
#define KURVO_MEDIA_TEXT_BLOCK_H

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace kurvo::media {

class TextBlock {
 public:
  explicit TextBlock(std::string& out) : out_(out) {}
  TextBlock(const TextBlock&) = delete;
  TextBlock& operator=(const TextBlock&) = delete;
  ~TextBlock() { flush(); }

  void append(char c) {
    if (used_ == kSize) flush();
    buffer_[used_++] = c;
  }
  void append(std::string_view text) {
    if (text.size() > kSize - used_) {
      flush();
      if (text.size() > kSize) return void(out_.append(text));
    }
    text.copy(buffer_ + used_, text.size());
    used_ += text.size();
  }
  void append(float v) { append_number(v); }
  void append(uint64_t v) { append_number(v); }

 private:
  static constexpr size_t kSize = 4096;
  static constexpr size_t kNumber = 32;  // room for any float or 64-bit integer

  template <class T>
  void append_number(T v) {
    if (kSize - used_ < kNumber) flush();
    const auto [end, ec] = std::to_chars(buffer_ + used_, buffer_ + used_ + kNumber, v);
    if (ec == std::errc()) used_ = static_cast<size_t>(end - buffer_);
  }
  void flush() {
    out_.append(buffer_, used_);
    used_ = 0;
  }

  std::string& out_;
  char buffer_[kSize];
  size_t used_ = 0;
};

}  // namespace kurvo::media

#endif
