// The text of OBJ and MTL files as their readers see it: tokens, numbers
// and logical lines (comments dropped, lines ending in a backslash joined).
#ifndef KURVO_MEDIA_OBJ_TEXT_H
#define KURVO_MEDIA_OBJ_TEXT_H

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

namespace kurvo::media::obj_text {

inline bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Splits off the next whitespace-separated token of `line`.
inline std::string_view next_token(std::string_view& line) {
  size_t start = 0;
  while (start < line.size() && is_space(line[start])) ++start;
  size_t end = start;
  while (end < line.size() && !is_space(line[end])) ++end;
  std::string_view token = line.substr(start, end - start);
  line.remove_prefix(end);
  return token;
}

inline std::string_view trimmed(std::string_view s) {
  while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_space(s.back())) s.remove_suffix(1);
  return s;
}

// Parses a float, "nan" and "inf" included (the caller rejects those with a
// message naming the mesh).
inline bool parse_float(std::string_view token, float& out) {
  if (!token.empty() && token.front() == '+') token.remove_prefix(1);
  const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), out);
  return ec == std::errc() && end == token.data() + token.size();
}

// A plain decimal ("-12.375", "289.443909": digits, a point with digits
// after it or none) that ends at `end` or a space, of at most 19 digits: its
// float, the nearest to the text, as from_chars makes it. The digits make a
// whole number below 10^19 and the point divides it by an exact power of
// ten; in double each step rounds once, so the quotient lies within two of
// its last-place units of the exact value and rounds to the same float,
// unless it lies that close to halfway between two floats. Null for those
// (a few in a hundred million) and anything else (more digits, an exponent,
// nan, inf, ...), which from_chars reads.
inline const char* plain_decimal(const char* p, const char* end, float& out) {
  static constexpr double kPowerOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                           1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  uint64_t digits = 0;
  int count = 0, after = 0;
  for (; p < end && *p >= '0' && *p <= '9'; ++p, ++count) {
    if (count == 19) return nullptr;
    digits = digits * 10 + uint64_t(*p - '0');
  }
  if (count == 0) return nullptr;
  if (p < end && *p == '.') {
    ++p;
    for (; p < end && *p >= '0' && *p <= '9'; ++p, ++count, ++after) {
      if (count == 19) return nullptr;
      digits = digits * 10 + uint64_t(*p - '0');
    }
    if (after == 0) return nullptr;
  }
  if (p < end && !is_space(*p)) return nullptr;
  const double value = double(digits) / kPowerOfTen[after];
  // Halfway between two floats, a double's 29 bits below a float's last
  // place are 1 followed by zeros.
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  constexpr uint64_t kBelowFloat = (uint64_t(1) << 29) - 1, kHalfway = uint64_t(1) << 28;
  const uint64_t low = bits & kBelowFloat;
  if (low + 4 >= kHalfway && low <= kHalfway + 4) return nullptr;
  out = negative ? -float(value) : float(value);
  return p;
}

// Reads the next number of `rest` where it lies, as parse_float of the next
// token would: the token must be the whole number.
inline bool next_float(std::string_view& rest, float& out) {
  const char* p = rest.data();
  const char* const end = p + rest.size();
  while (p < end && is_space(*p)) ++p;
  if (p < end && *p == '+') ++p;
  if (const char* stop = plain_decimal(p, end, out)) {
    rest.remove_prefix(static_cast<size_t>(stop - rest.data()));
    return true;
  }
  const auto [stop, ec] = std::from_chars(p, end, out);
  if (ec != std::errc() || (stop < end && !is_space(*stop))) return false;
  rest.remove_prefix(static_cast<size_t>(stop - rest.data()));
  return true;
}

// Calls `fn(keyword, rest, line number)` for every logical line, joining
// lines that end in a backslash and dropping comments. Text arrives in pieces
// of any size (feed), a line may span pieces; finish() takes the last line
// when the text does not end in a line break.
template <class Fn>
class LineReader {
 public:
  explicit LineReader(Fn& fn) : fn_(fn) {}

  void feed(std::string_view text) {
    while (!text.empty()) {
      const size_t end = text.find('\n');
      if (end == std::string_view::npos) {
        partial_.append(text);
        return;
      }
      if (partial_.empty()) {
        line(text.substr(0, end));
      } else {
        partial_.append(text.substr(0, end));
        line(partial_);
        partial_.clear();
      }
      text.remove_prefix(end + 1);
    }
  }
  void finish() {
    if (!partial_.empty()) line(std::string(std::move(partial_)));
    partial_.clear();
  }
  // Lines seen so far (physical lines, a joined line counting each of its own).
  size_t lines() const { return line_no_; }

 private:
  void line(std::string_view raw) {
    ++line_no_;
    if (joined_.empty()) first_line_ = line_no_;
    const size_t hash = raw.find('#');
    if (hash != std::string_view::npos) raw = raw.substr(0, hash);
    std::string_view body = trimmed(raw);
    if (!body.empty() && body.back() == '\\') {
      joined_.append(body.substr(0, body.size() - 1));
      joined_.push_back(' ');
      return;
    }
    // Only a joined line needs a copy; a plain one is read where it lies.
    std::string line;
    std::string_view rest = body;
    if (!joined_.empty()) {
      line = joined_ + std::string(body);
      joined_.clear();
      rest = line;
    }
    const std::string_view keyword = next_token(rest);
    if (!keyword.empty()) fn_(keyword, trimmed(rest), first_line_);
  }

  Fn& fn_;
  std::string partial_;  // the start of a line whose end has not arrived
  std::string joined_;   // lines ended by a backslash so far
  size_t line_no_ = 0, first_line_ = 0;
};

template <class Fn>
inline void for_each_line(std::string_view text, Fn&& fn) {
  LineReader<std::remove_reference_t<Fn>> reader(fn);
  reader.feed(text);
  reader.finish();
}

}  // namespace kurvo::media::obj_text

#endif
