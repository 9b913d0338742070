// The glTF part of import_limits.h: one SAX pass over the JSON document
// keeps the few numbers the checks need (nodes' children, accessors, buffer
// views, buffers) and nothing else, so neither a deep document nor a large
// one costs more than its own bytes.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "import_limits.h"

namespace kurvo::media {
namespace {

using Json = nlohmann::json;
constexpr uint64_t kUnset = std::numeric_limits<uint64_t>::max();

// A declared number: what a file asks for (a count, an offset) keeps the
// largest of duplicate keys, what it offers (a length) the smallest, so that
// whichever of them the import library takes, the check has seen worse.
struct Demand {
  uint64_t v = kUnset;
  void set(uint64_t x) { v = v == kUnset ? x : std::max(v, x); }
  uint64_t or0() const { return v == kUnset ? 0 : v; }
};
struct Offer {
  uint64_t v = kUnset;
  void set(uint64_t x) { v = v == kUnset ? x : std::min(v, x); }
};

struct Accessor {
  Demand count, view, offset, component_type;
  int components = 0;
  bool sparse = false;
  Demand sparse_count, index_view, index_offset, index_type, value_view, value_offset;
};
struct View {
  Demand buffer, offset, stride;
  Offer length;
};
struct Buffer {
  Offer length;
  bool has_uri = false;
  std::string uri;  // external file names only
  uint64_t data_uri_bytes = kUnset;  // the decoded size of a data: URI
};

struct Document {
  std::vector<Accessor> accessors;
  std::vector<View> views;
  std::vector<Buffer> buffers;
  std::vector<std::vector<uint64_t>> children;  // per node
};

template <class T>
T& at(std::vector<T>& list, uint64_t i) {
  if (list.size() <= i) list.resize(i + 1);
  return list[i];
}

class Reader : public nlohmann::json_sax<Json> {
 public:
  explicit Reader(Document& doc) : doc_(doc) {}
  std::string problem;

  bool null() override { return scalar(); }
  bool boolean(bool) override { return scalar(); }
  bool number_integer(number_integer_t v) override {
    if (v >= 0) return number_unsigned(static_cast<uint64_t>(v));
    return scalar();
  }
  bool number_unsigned(number_unsigned_t v) override {
    enter();
    whole(v);
    return true;
  }
  bool number_float(number_float_t, const string_t&) override { return scalar(); }
  bool string(string_t& s) override {
    enter();
    text(s);
    return true;
  }
  bool binary(binary_t&) override { return scalar(); }
  bool start_object(std::size_t) override { return open(false); }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(true); }
  bool end_array() override { return close(); }
  bool key(string_t& k) override {
    frames_.back().key = k;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    problem = "its JSON document is not well-formed JSON";
    return false;
  }

 private:
  struct Frame {
    bool array = false;
    std::string key;        // objects: the current member
    uint64_t next = 0;      // arrays: the next element's index
    uint64_t current = 0;   // arrays: the element being read
  };

  // A value begins: in an array it takes the next index.
  void enter() {
    if (!frames_.empty() && frames_.back().array) frames_.back().current = frames_.back().next++;
  }
  bool scalar() {
    enter();
    return true;
  }
  bool open(bool array) {
    enter();
    if (frames_.size() >= static_cast<size_t>(kMaxJsonDepth)) {
      problem = "its JSON document nests deeper than " + std::to_string(kMaxJsonDepth) + " levels";
      return false;
    }
    started();
    frames_.push_back(Frame{array, {}, 0, 0});
    return true;
  }
  bool close() {
    frames_.pop_back();
    return true;
  }

  // The index of the element of the top-level array (frames_[1]).
  uint64_t item() const { return frames_[1].current; }
  const std::string& last_key() const { return frames_.back().key; }

  // The index of a glTF 1.0 node named `id`.
  uint64_t named(const std::string& id) {
    const auto [it, added] = named_.emplace(id, named_.size());
    return it->second;
  }

  void started() {
    // A node with no children still counts; "sparse" marks its accessor.
    if (frames_.size() == 2 && frames_[0].key == "nodes" && frames_[1].array) at(doc_.children, item());
    if (frames_.size() == 2 && frames_[0].key == "nodes" && !frames_[1].array)
      at(doc_.children, named(frames_[1].key));
    if (frames_.size() == 3 && frames_[0].key == "accessors" && frames_[1].array && frames_[2].key == "sparse")
      at(doc_.accessors, item()).sparse = true;
  }

  void whole(uint64_t v) {
    if (frames_.size() < 3 || frames_[0].array || !frames_[1].array) return;
    const std::string& top = frames_[0].key;
    const size_t n = frames_.size();
    if (top == "nodes" && n == 4 && frames_[2].key == "children" && frames_[3].array) {
      at(doc_.children, item()).push_back(v);
    } else if (top == "accessors" && n == 3 && !frames_[2].array) {
      Accessor& a = at(doc_.accessors, item());
      const std::string& k = last_key();
      if (k == "count") a.count.set(v);
      if (k == "bufferView") a.view.set(v);
      if (k == "byteOffset") a.offset.set(v);
      if (k == "componentType") a.component_type.set(v);
    } else if (top == "accessors" && n == 4 && frames_[2].key == "sparse" && !frames_[3].array) {
      if (last_key() == "count") at(doc_.accessors, item()).sparse_count.set(v);
    } else if (top == "accessors" && n == 5 && frames_[2].key == "sparse" && !frames_[4].array) {
      Accessor& a = at(doc_.accessors, item());
      const std::string& part = frames_[3].key;
      const std::string& k = last_key();
      if (part == "indices" && k == "bufferView") a.index_view.set(v);
      if (part == "indices" && k == "byteOffset") a.index_offset.set(v);
      if (part == "indices" && k == "componentType") a.index_type.set(v);
      if (part == "values" && k == "bufferView") a.value_view.set(v);
      if (part == "values" && k == "byteOffset") a.value_offset.set(v);
    } else if (top == "bufferViews" && n == 3 && !frames_[2].array) {
      View& w = at(doc_.views, item());
      const std::string& k = last_key();
      if (k == "buffer") w.buffer.set(v);
      if (k == "byteOffset") w.offset.set(v);
      if (k == "byteLength") w.length.set(v);
      if (k == "byteStride") w.stride.set(v);
    } else if (top == "buffers" && n == 3 && !frames_[2].array && last_key() == "byteLength") {
      at(doc_.buffers, item()).length.set(v);
    }
  }

  void text(const std::string& s) {
    // glTF 1.0: "nodes" is an object of named nodes, children by name.
    if (frames_.size() == 4 && frames_[0].key == "nodes" && !frames_[1].array && frames_[2].key == "children" &&
        frames_[3].array) {
      at(doc_.children, named(frames_[1].key)).push_back(named(s));
      return;
    }
    if (frames_.size() != 3 || frames_[0].array || !frames_[1].array || frames_[2].array) return;
    const std::string& top = frames_[0].key;
    if (top == "accessors" && last_key() == "type") {
      static const std::pair<const char*, int> kTypes[] = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4},
                                                           {"MAT2", 4},   {"MAT3", 9}, {"MAT4", 16}};
      for (const auto& [name, components] : kTypes)
        if (s == name) at(doc_.accessors, item()).components = components;
    } else if (top == "buffers" && last_key() == "uri") {
      Buffer& b = at(doc_.buffers, item());
      b.has_uri = true;
      if (s.rfind("data:", 0) == 0) {
        const size_t comma = s.find(',');
        const uint64_t payload = comma == std::string::npos ? 0 : s.size() - comma - 1;
        const bool base64 = comma != std::string::npos && comma >= 7 && s.compare(comma - 7, 7, ";base64") == 0;
        b.data_uri_bytes = base64 ? payload / 4 * 3 + 3 : payload;  // a plain one decodes to no more than itself
      } else {
        b.uri = s;
      }
    }
  }

  Document& doc_;
  std::vector<Frame> frames_;
  std::unordered_map<std::string, uint64_t> named_;
};

uint64_t component_bytes(uint64_t type) {
  switch (type) {
    case 5120:
    case 5121: return 1;
    case 5122:
    case 5123: return 2;
    case 5125:
    case 5126: return 4;
    default: return 0;
  }
}

using Wide = unsigned __int128;

std::string text_of(Wide v) {
  if (v <= std::numeric_limits<uint64_t>::max()) return std::to_string(static_cast<uint64_t>(v));
  return "more than " + std::to_string(std::numeric_limits<uint64_t>::max());
}

// What each buffer really holds, or kUnset where that cannot be known here.
std::vector<uint64_t> held_bytes(const Document& doc, uint64_t glb_binary, const std::filesystem::path& folder) {
  std::vector<uint64_t> held;
  for (const Buffer& b : doc.buffers) {
    uint64_t h = kUnset;
    if (!b.has_uri)
      h = glb_binary;
    else if (b.data_uri_bytes != kUnset)
      h = b.data_uri_bytes;
    else if (!folder.empty() && !b.uri.empty()) {
      std::error_code ec;
      const uint64_t size = std::filesystem::file_size(folder / b.uri, ec);
      if (!ec) h = size;
    }
    held.push_back(h);
  }
  return held;
}

std::string buffer_problem(const Document& doc, const std::vector<uint64_t>& held) {
  for (size_t i = 0; i < doc.buffers.size(); ++i) {
    const uint64_t declared = doc.buffers[i].length.v;
    if (declared != kUnset && held[i] != kUnset && declared > held[i])
      return "buffers[" + std::to_string(i) + "] declares " + std::to_string(declared) + " bytes but holds " +
             std::to_string(held[i]);
  }
  for (size_t i = 0; i < doc.views.size(); ++i) {
    const View& w = doc.views[i];
    if (w.buffer.v >= doc.buffers.size() || w.length.v == kUnset) continue;
    const uint64_t buffer = doc.buffers[w.buffer.v].length.v;
    if (buffer != kUnset && Wide(w.offset.or0()) + w.length.v > buffer)
      return "bufferViews[" + std::to_string(i) + "] runs past the end of its buffer of " + std::to_string(buffer) +
             " bytes";
  }
  return {};
}

// The bytes a view must hold for `count` elements of `bytes` each from
// `offset`, with the view's stride.
Wide needed(uint64_t count, uint64_t bytes, uint64_t offset, uint64_t stride) {
  if (count == 0) return offset;
  return Wide(offset) + Wide(count - 1) * std::max(stride, bytes) + bytes;
}

std::string accessor_problem(const Document& doc, uint64_t file_bytes) {
  const auto view_length = [&](uint64_t view) -> uint64_t {
    return view < doc.views.size() ? doc.views[view].length.v : kUnset;
  };
  for (size_t i = 0; i < doc.accessors.size(); ++i) {
    const Accessor& a = doc.accessors[i];
    const std::string name = "accessors[" + std::to_string(i) + "]";
    const uint64_t count = a.count.or0();
    const uint64_t element = a.components * component_bytes(a.component_type.or0());
    if (a.view.v == kUnset) {
      // No data of its own (zeros, perhaps with sparse values): the elements
      // still take memory, so a file declares no more of them than its bytes.
      if (count > file_bytes)
        return name + " declares " + std::to_string(count) + " elements without a buffer view; the file has " +
               std::to_string(file_bytes) + " bytes";
    } else if (element != 0 && view_length(a.view.v) != kUnset) {
      const uint64_t stride = doc.views[a.view.v].stride.or0();
      const Wide need = needed(count, element, a.offset.or0(), stride);
      if (need > view_length(a.view.v))
        return name + " declares " + std::to_string(count) + " elements, which need " + text_of(need) +
               " bytes; its buffer view holds " + std::to_string(view_length(a.view.v));
    }
    if (!a.sparse) continue;
    const uint64_t sparse = a.sparse_count.or0();
    if (sparse > count)
      return name + " replaces " + std::to_string(sparse) + " of its " + std::to_string(count) + " elements";
    const uint64_t index_bytes = component_bytes(a.index_type.or0());
    if (index_bytes != 0 && view_length(a.index_view.v) != kUnset &&
        needed(sparse, index_bytes, a.index_offset.or0(), 0) > view_length(a.index_view.v))
      return name + ".sparse declares " + std::to_string(sparse) + " indices; their buffer view holds " +
             std::to_string(view_length(a.index_view.v)) + " bytes";
    if (element != 0 && view_length(a.value_view.v) != kUnset &&
        needed(sparse, element, a.value_offset.or0(), 0) > view_length(a.value_view.v))
      return name + ".sparse declares " + std::to_string(sparse) + " values; their buffer view holds " +
             std::to_string(view_length(a.value_view.v)) + " bytes";
    if (sparse > file_bytes)
      return name + ".sparse declares " + std::to_string(sparse) + " values; the file has " +
             std::to_string(file_bytes) + " bytes";
  }
  return {};
}

// Every node has at most one parent, the hierarchy has no cycle and is no
// deeper than kMaxNodeDepth; walked without recursion.
std::string node_problem(const Document& doc) {
  const size_t n = doc.children.size();
  std::vector<uint32_t> parents(n, 0);
  for (const auto& list : doc.children)
    for (uint64_t c : list) {
      if (c >= n) continue;  // the import library names a missing node itself
      if (++parents[c] > 1) return "node " + std::to_string(c) + " has more than one parent";
    }
  std::vector<int> depth(n, 0);
  std::vector<uint64_t> stack;
  size_t reached = 0;
  for (size_t root = 0; root < n; ++root) {
    if (parents[root] != 0) continue;
    depth[root] = 1;
    stack.push_back(root);
    while (!stack.empty()) {
      const uint64_t node = stack.back();
      stack.pop_back();
      ++reached;
      if (depth[node] > kMaxNodeDepth)
        return "its nodes nest deeper than " + std::to_string(kMaxNodeDepth) + " levels";
      for (uint64_t c : doc.children[node]) {
        if (c >= n) continue;
        depth[c] = depth[node] + 1;
        stack.push_back(c);
      }
    }
  }
  if (reached != n) return "its nodes form a cycle (a node is its own ancestor)";
  return {};
}

std::string check(std::string_view json, uint64_t glb_binary, uint64_t file_bytes,
                  const std::filesystem::path& folder) {
  Document doc;
  Reader reader(doc);
  // The JSON check before this one has refused NUL bytes and malformed text.
  Json::sax_parse(json.begin(), json.end(), &reader);
  if (!reader.problem.empty()) return reader.problem;
  if (std::string p = node_problem(doc); !p.empty()) return p;
  const std::vector<uint64_t> held = held_bytes(doc, glb_binary, folder);
  if (std::string p = buffer_problem(doc, held); !p.empty()) return p;
  uint64_t total = file_bytes;
  for (uint64_t h : held)
    if (h != kUnset) total += h;
  return accessor_problem(doc, total);
}

uint32_t read_u32(std::string_view bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  return v;
}

}  // namespace

std::string gltf_limit_problem(std::string_view json, const std::filesystem::path& folder) {
  return check(json, 0, json.size(), folder);
}

std::string glb_limit_problem(std::string_view bytes) {
  // The framing has been checked (glb_header_check.h): a version 2 file's
  // first chunk is the JSON document, a binary chunk may follow.
  if (bytes.size() < 20) return {};
  const uint64_t json_length = read_u32(bytes, 12);
  if (read_u32(bytes, 4) == 1)  // a content block, then the binary body
    return 20 + json_length > bytes.size() ? std::string() : check(bytes.substr(20, json_length), 0, bytes.size(), {});
  if (20 + json_length > bytes.size()) return {};
  const std::string_view json = bytes.substr(20, json_length);
  uint64_t binary = 0;
  const uint64_t next = 20 + ((json_length + 3) & ~uint64_t{3});
  if (next + 8 <= bytes.size() && bytes.substr(next + 4, 4) == std::string_view("BIN\0", 4))
    binary = std::min<uint64_t>(read_u32(bytes, next), bytes.size() - next - 8);
  return check(json, binary, bytes.size(), {});
}

}  // namespace kurvo::media
