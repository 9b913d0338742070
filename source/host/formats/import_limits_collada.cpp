// The COLLADA part of import_limits.h: one pass over the XML text, keeping
// only a stack of the open elements (bounded by the depth limit) and the
// counts they declare.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "import_limits.h"

namespace kurvo::media {
namespace {

constexpr uint64_t kHuge = std::numeric_limits<uint64_t>::max();

uint64_t saturating_mul(uint64_t a, uint64_t b) { return b != 0 && a > kHuge / b ? kHuge : a * b; }
uint64_t saturating_add(uint64_t a, uint64_t b) { return a > kHuge - b ? kHuge : a + b; }

// The elements whose counts the import library reserves memory for.
enum class Kind { other, accessor, triangles, lines, polylist, primitive, vcount };

Kind kind_of(std::string_view name) {
  if (const size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
  if (name == "accessor") return Kind::accessor;
  if (name == "triangles") return Kind::triangles;
  if (name == "lines") return Kind::lines;
  if (name == "polylist") return Kind::polylist;
  if (name == "polygons" || name == "linestrips" || name == "tristrips" || name == "trifans") return Kind::primitive;
  if (name == "vcount") return Kind::vcount;
  return Kind::other;
}

struct Open {
  Kind kind = Kind::other;
  uint64_t count = 0, stride = 1, inputs = 1, corners = 0;
};

class Scanner {
 public:
  explicit Scanner(std::string_view bytes) : b_(bytes) {}

  std::string run() {
    for (size_t i = 0; i < b_.size(); ++i) {
      const auto c = static_cast<unsigned char>(b_[i]);
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
        return "byte " + std::to_string(i) + " is not text (a COLLADA file is XML text; a zip container is not read)";
    }
    size_t i = 0;
    while (i < b_.size() && problem_.empty()) {
      if (b_[i] != '<') {
        const size_t next = std::min(b_.find('<', i), b_.size());
        if (!open_.empty() && open_.back().kind == Kind::vcount) add_corners(b_.substr(i, next - i));
        i = next;
        continue;
      }
      i = markup(i);
    }
    return problem_;
  }

 private:
  bool at(size_t i, const char* text) const { return b_.compare(i, std::strlen(text), text) == 0; }
  size_t past(size_t i, const char* end) const {
    const size_t at = b_.find(end, i);
    return at == std::string_view::npos ? b_.size() : at + std::strlen(end);
  }

  size_t markup(size_t i) {
    if (at(i, "<!--")) return past(i + 4, "-->");
    if (at(i, "<![CDATA[")) return past(i + 9, "]]>");
    if (at(i, "<?")) return past(i + 2, "?>");
    if (at(i, "<!")) {  // a document type, perhaps with an internal subset in [...]
      const size_t bracket = b_.find('[', i), close = b_.find('>', i);
      return bracket < close ? past(bracket, "]") : past(i, ">");
    }
    if (at(i, "</")) {
      if (!open_.empty()) {
        finish(open_.back());
        open_.pop_back();
      }
      return past(i, ">");
    }
    return start_tag(i + 1);
  }

  size_t start_tag(size_t i) {
    const size_t name_end = std::min(b_.find_first_of(" \t\r\n/>", i), b_.size());
    Open element;
    element.kind = kind_of(b_.substr(i, name_end - i));
    i = name_end;
    bool closed = false;
    while (i < b_.size()) {
      const char c = b_[i];
      if (c == '>') break;
      if (c == '/' && i + 1 < b_.size() && b_[i + 1] == '>') {
        closed = true;
        ++i;
        break;
      }
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++i;
        continue;
      }
      i = attribute(i, element);
    }
    if (!problem_.empty()) return b_.size();
    if (element.kind == Kind::accessor && saturating_mul(element.count, element.stride) > b_.size())
      fail("an <accessor> declares " + std::to_string(element.count) + " items of stride " +
           std::to_string(element.stride) + ", more than the file's " + std::to_string(b_.size()) + " bytes hold");
    if (closed) {
      finish(element);
    } else {
      open_.push_back(element);
      if (open_.size() > static_cast<size_t>(kMaxXmlDepth))
        fail("its XML nests deeper than " + std::to_string(kMaxXmlDepth) + " levels");
    }
    return i + 1;
  }

  // One name="value" pair; answers where the next one may start.
  size_t attribute(size_t i, Open& element) {
    const size_t eq = b_.find('=', i);
    if (eq == std::string_view::npos) return b_.size();
    std::string_view name = b_.substr(i, eq - i);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\r' || name.back() == '\n'))
      name.remove_suffix(1);
    size_t q = eq + 1;
    while (q < b_.size() && (b_[q] == ' ' || b_[q] == '\t' || b_[q] == '\r' || b_[q] == '\n')) ++q;
    if (q >= b_.size() || (b_[q] != '"' && b_[q] != '\'')) return q + 1;  // malformed: the XML parser says so
    const size_t close = b_.find(b_[q], q + 1);
    if (close == std::string_view::npos) return b_.size();
    const std::string_view value = b_.substr(q + 1, close - q - 1);
    if (name == "count" || name == "stride" || name == "offset") {
      const uint64_t n = whole(value, name);
      if (name == "count") {
        element.count = n;
        if (n > b_.size())
          fail("an element declares a count of " + std::to_string(n) + ", more than the file's " +
               std::to_string(b_.size()) + " bytes hold");
      } else if (name == "stride") {
        element.stride = std::max<uint64_t>(n, 1);
      } else if (!open_.empty()) {  // an <input>'s offset: its primitive reads that many values per corner
        open_.back().inputs = std::max(open_.back().inputs, saturating_add(n, 1));
      }
    }
    return close + 1;
  }

  uint64_t whole(std::string_view text, std::string_view name) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
      fail("an attribute " + std::string(name) + " is not a whole number");
      return 0;
    }
    uint64_t n = 0;
    for (char c : text) n = saturating_add(saturating_mul(n, 10), static_cast<uint64_t>(c - '0'));
    return n;
  }

  // A polygon list's corner counts, summed into its <polylist>.
  void add_corners(std::string_view text) {
    if (open_.size() < 2) return;
    Open& list = open_[open_.size() - 2];
    uint64_t n = 0;
    bool digits = false;
    for (char c : text) {
      if (c >= '0' && c <= '9') {
        n = saturating_add(saturating_mul(n, 10), static_cast<uint64_t>(c - '0'));
        digits = true;
      } else if (digits) {
        list.corners = saturating_add(list.corners, n);
        n = 0;
        digits = false;
      }
    }
    if (digits) list.corners = saturating_add(list.corners, n);
    // A number cut by the end of a text chunk (a comment inside <vcount>)
    // counts as two: more, never less.
  }

  // A primitive's corners times its inputs' values, as the import library
  // reserves them.
  void finish(const Open& element) {
    uint64_t corners = 0;
    switch (element.kind) {
      case Kind::triangles: corners = saturating_mul(element.count, 3); break;
      case Kind::lines: corners = saturating_mul(element.count, 2); break;
      case Kind::polylist: corners = std::max(element.corners, element.count); break;
      case Kind::primitive: corners = element.count; break;
      default: return;
    }
    if (saturating_mul(corners, element.inputs) > b_.size())
      fail("a primitive declares " + (corners == kHuge ? std::string("more than 2^64") : std::to_string(corners)) +
           " corners of " + std::to_string(element.inputs) + " values each, more than the file's " +
           std::to_string(b_.size()) + " bytes hold");
  }

  void fail(std::string why) {
    if (problem_.empty()) problem_ = std::move(why);
  }

  std::string_view b_;
  std::vector<Open> open_;
  std::string problem_;
};

}  // namespace

std::string collada_limit_problem(std::string_view bytes) { return Scanner(bytes).run(); }

}  // namespace kurvo::media
