#include "mesh_transfer.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <type_traits>

namespace kurvo::media {

namespace {

constexpr uint64_t kNoImage = ~uint64_t{0};

class Writer {
 public:
  template <class T>
  void value(const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    out_.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  template <class T>
  void list(const std::vector<T>& items) {
    static_assert(std::is_trivially_copyable_v<T>);
    value<uint64_t>(items.size());
    out_.append(reinterpret_cast<const char*>(items.data()), items.size() * sizeof(T));
  }
  void text(const std::string& s) {
    value<uint64_t>(s.size());
    out_.append(s);
  }
  template <class T>
  void maybe(const std::optional<T>& v) {
    value<uint8_t>(v.has_value());
    if (v) value(*v);
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : in_(bytes) {}
  bool ok() const { return ok_; }
  bool at_end() const { return ok_ && in_.empty(); }

  template <class T>
  T value() {
    T v{};
    if (!take(&v, sizeof v)) return T{};
    return v;
  }
  // A count that the remaining bytes can hold at `each` bytes an item.
  uint64_t count(size_t each) {
    const uint64_t n = value<uint64_t>();
    if (ok_ && each > 0 && n > in_.size() / each) ok_ = false;
    return ok_ ? n : 0;
  }
  template <class T>
  std::vector<T> list() {
    std::vector<T> items(count(sizeof(T)));
    take(items.data(), items.size() * sizeof(T));
    return items;
  }
  std::string text() {
    std::string s(count(1), '\0');
    take(s.data(), s.size());
    return s;
  }
  template <class T>
  std::optional<T> maybe() {
    if (value<uint8_t>() == 0) return std::nullopt;
    return value<T>();
  }

 private:
  bool take(void* to, size_t size) {
    if (!ok_ || size > in_.size()) {
      ok_ = false;
      return false;
    }
    if (size) std::memcpy(to, in_.data(), size);
    in_.remove_prefix(size);
    return true;
  }
  std::string_view in_;
  bool ok_ = true;
};

}  // namespace

std::string encode_meshes(const std::vector<Mesh>& meshes) {
  // Each image once, however many materials and mesh instances share it.
  std::map<const std::string*, uint64_t> image_index;
  std::vector<const std::string*> images;
  for (const Mesh& mesh : meshes)
    for (const Material& material : mesh.materials)
      if (material.base_colour_image && image_index.emplace(material.base_colour_image.get(), images.size()).second)
        images.push_back(material.base_colour_image.get());

  Writer w;
  w.value<uint64_t>(images.size());
  for (const std::string* image : images) w.text(*image);
  w.value<uint64_t>(meshes.size());
  for (const Mesh& mesh : meshes) {
    w.text(mesh.name);
    w.list(mesh.points);
    w.list(mesh.corners);
    w.list(mesh.face_start);
    w.value<uint64_t>(mesh.uv_sets.size());
    for (const UvSet& set : mesh.uv_sets) {
      w.text(set.name);
      w.list(set.uvs);
    }
    w.list(mesh.corner_normals.values);
    w.list(mesh.corner_normals.index);
    w.value<uint8_t>(mesh.keep_corner_normals);
    w.list(mesh.point_colours);
    w.value<uint64_t>(mesh.materials.size());
    for (const Material& m : mesh.materials) {
      w.text(m.name);
      w.value(m.base_colour);
      w.value(m.opacity);
      w.text(m.base_colour_texture);
      w.value<uint64_t>(m.base_colour_image ? image_index.at(m.base_colour_image.get()) : kNoImage);
      w.maybe(m.metallic);
      w.maybe(m.roughness);
      w.value(m.file_index);
    }
    w.list(mesh.face_material);
    w.list(mesh.face_smooth_group);
    w.value<uint64_t>(mesh.group_names.size());
    for (const std::string& name : mesh.group_names) w.text(name);
    w.list(mesh.face_group);
    w.maybe(mesh.colour);
  }
  return w.take();
}

std::optional<std::vector<Mesh>> decode_meshes(std::string_view bytes) {
  Reader r(bytes);
  std::vector<std::shared_ptr<const std::string>> images(r.count(sizeof(uint64_t)));
  for (auto& image : images) image = std::make_shared<const std::string>(r.text());
  // The smallest mesh takes well over eight bytes, so the count is bounded.
  std::vector<Mesh> meshes(r.count(sizeof(uint64_t)));
  for (Mesh& mesh : meshes) {
    if (!r.ok()) return std::nullopt;
    mesh.name = r.text();
    mesh.points = r.list<Vector>();
    mesh.corners = r.list<int32_t>();
    mesh.face_start = r.list<uint32_t>();
    mesh.uv_sets.resize(r.count(2 * sizeof(uint64_t)));
    for (UvSet& set : mesh.uv_sets) {
      set.name = r.text();
      set.uvs = r.list<Uv>();
    }
    mesh.corner_normals.values = r.list<Vector>();
    mesh.corner_normals.index = r.list<int32_t>();
    mesh.keep_corner_normals = r.value<uint8_t>() != 0;
    mesh.point_colours = r.list<Vector>();
    mesh.materials.resize(r.count(2 * sizeof(uint64_t)));
    for (Material& m : mesh.materials) {
      m.name = r.text();
      m.base_colour = r.value<Vector>();
      m.opacity = r.value<float>();
      m.base_colour_texture = r.text();
      const uint64_t image = r.value<uint64_t>();
      if (image != kNoImage) {
        if (image >= images.size()) return std::nullopt;
        m.base_colour_image = images[image];
      }
      m.metallic = r.maybe<float>();
      m.roughness = r.maybe<float>();
      m.file_index = r.value<int32_t>();
    }
    mesh.face_material = r.list<uint32_t>();
    mesh.face_smooth_group = r.list<uint32_t>();
    mesh.group_names.resize(r.count(sizeof(uint64_t)));
    for (std::string& name : mesh.group_names) name = r.text();
    mesh.face_group = r.list<uint32_t>();
    mesh.colour = r.maybe<Vector>();
  }
  if (!r.at_end()) return std::nullopt;
  return meshes;
}

}  // namespace kurvo::media
