#include "tiff_codecs.h"

#include <array>
#include <cstring>
#include <memory>

namespace kurvo::host::tiff {

bool decodePackBits(std::span<const uint8_t> in, std::span<uint8_t> out) {
  size_t i = 0, o = 0;
  while (o < out.size()) {
    if (i >= in.size()) return false;
    const int n = static_cast<int8_t>(in[i++]);
    if (n >= 0) {  // n + 1 literal bytes
      const size_t count = static_cast<size_t>(n) + 1;
      if (i + count > in.size() || o + count > out.size()) return false;
      std::memcpy(out.data() + o, in.data() + i, count);
      i += count;
      o += count;
    } else if (n != -128) {  // the next byte 1 - n times; -128 is a no-op
      const size_t count = static_cast<size_t>(1 - n);
      if (i >= in.size() || o + count > out.size()) return false;
      std::memset(out.data() + o, in[i++], count);
      o += count;
    }
  }
  return true;
}

namespace {

constexpr int kClear = 256;
constexpr int kEnd = 257;
constexpr int kFirstFree = 258;
constexpr int kMaxCodes = 4096;

// Reads codes of a given width from the front of the data, high bits first.
class BitReader {
 public:
  explicit BitReader(std::span<const uint8_t> in) : in_(in) {}
  // False when fewer than `width` bits are left.
  bool read(int width, int& code) {
    while (held_ < width) {
      if (pos_ >= in_.size()) return false;
      bits_ = (bits_ << 8) | in_[pos_++];
      held_ += 8;
    }
    held_ -= width;
    code = static_cast<int>((bits_ >> held_) & ((1u << width) - 1));
    return true;
  }

 private:
  std::span<const uint8_t> in_;
  size_t pos_ = 0;
  uint32_t bits_ = 0;
  int held_ = 0;
};

// The string table: each code is a shorter code (its prefix) plus one byte.
struct LzwTable {
  std::array<uint16_t, kMaxCodes> prefix{};
  std::array<uint8_t, kMaxCodes> last{};
  std::array<uint8_t, kMaxCodes> first{};
  std::array<uint16_t, kMaxCodes> length{};

  LzwTable() {
    for (int c = 0; c < 256; ++c) {
      last[c] = first[c] = static_cast<uint8_t>(c);
      length[c] = 1;
    }
  }
  // Writes the string of `code` to out[o..], cut at the end of `out`.
  size_t emit(int code, std::span<uint8_t> out, size_t o) const {
    const size_t len = length[code];
    const size_t room = out.size() - o;
    // The chain of prefixes yields the string from its end backwards.
    size_t k = len;
    for (int c = code; k > 0; c = prefix[c]) {
      --k;
      if (k < room) out[o + k] = last[c];
    }
    return len < room ? len : room;
  }
};

}  // namespace

bool decodeLzw(std::span<const uint8_t> in, std::span<uint8_t> out) {
  auto table = std::make_unique<LzwTable>();
  BitReader reader(in);
  int width = 9;
  int next = kFirstFree;
  int previous = -1;
  size_t o = 0;
  while (o < out.size()) {
    int code = 0;
    if (!reader.read(width, code) || code == kEnd) return false;
    if (code == kClear) {
      width = 9;
      next = kFirstFree;
      previous = -1;
      continue;
    }
    if (previous < 0) {
      if (code >= 256) return false;
    } else {
      if (code > next || (code == next && next >= kMaxCodes)) return false;
      if (next < kMaxCodes) {
        // A code not yet in the table is the previous string plus its own first byte.
        const uint8_t tail = code == next ? table->first[previous] : table->first[code];
        table->prefix[next] = static_cast<uint16_t>(previous);
        table->first[next] = table->first[previous];
        table->last[next] = tail;
        table->length[next] = static_cast<uint16_t>(table->length[previous] + 1);
        ++next;
        if (next == (1 << width) - 1 && width < 12) ++width;
      }
    }
    o += table->emit(code, out, o);
    previous = code;
  }
  return true;
}

void undoHorizontalDifferencing(std::span<uint8_t> data, size_t rowBytes, size_t samples) {
  if (rowBytes == 0) return;
  for (size_t row = 0; row + rowBytes <= data.size(); row += rowBytes)
    for (size_t i = row + samples; i < row + rowBytes; ++i)
      data[i] = static_cast<uint8_t>(data[i] + data[i - samples]);
}

}  // namespace kurvo::host::tiff
