#include "gltf_document.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

#include "atomic_file.h"
#include "path_text.h"
#include "text_sink.h"

namespace kurvo::media::gltf {
namespace {

constexpr int kFloat = 5126, kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;

float unit_interval(float v) { return v > 0.0f ? std::min(v, 1.0f) : 0.0f; }  // NaN gives 0

// A file name as a relative URI: everything but unreserved characters escaped.
std::string uri_of(const std::string& name) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

void pad_to_four(std::string& s, char with) {
  while (s.size() % 4 != 0) s += with;
}

void append_u32(std::string& out, uint32_t v) {
  char b[4];
  std::memcpy(b, &v, 4);  // glTF is little-endian, as every supported platform
  out.append(b, 4);
}

// A .glb: header, the JSON chunk and the binary chunk, written straight to
// the file rather than joined into one more copy of the buffer first.
Status write_glb(const std::filesystem::path& file, std::string json, const std::string& bin,
                 const StreamedTail& tail) {
  pad_to_four(json, ' ');
  const size_t bin_total = bin.size() + tail.size;
  const size_t bin_padding = (4 - bin_total % 4) % 4;
  const size_t bin_size = bin_total + bin_padding;
  std::string head = "glTF";
  append_u32(head, 2);
  append_u32(head, static_cast<uint32_t>(12 + 8 + json.size() + (bin_total == 0 ? 0 : 8 + bin_size)));
  append_u32(head, static_cast<uint32_t>(json.size()));
  head += "JSON";
  StagedFiles files;
  TextSink sink(files.stage(file), file);
  sink.append(head);
  sink.append(json);
  if (bin_total != 0) {
    std::string chunk;
    append_u32(chunk, static_cast<uint32_t>(bin_size));
    chunk += "BIN";
    chunk += '\0';
    sink.append(chunk);
    sink.append(bin);
    if (tail.write) tail.write([&](std::string_view bytes) { sink.append(bytes); });
    sink.append(std::string(bin_padding, '\0'));
  }
  if (Status s = sink.finish(); !s.ok()) return s;
  return files.commit(file);
}

// Writes one staged file; messages name the file the user asked for.
Status write_staged(const std::filesystem::path& temp, const std::filesystem::path& file, const std::string& content,
                    const StreamedTail& tail = {}) {
  TextSink sink(temp, file);
  sink.append(content);
  if (tail.write) tail.write([&](std::string_view bytes) { sink.append(bytes); });
  return sink.finish();
}

}  // namespace

double shortest(float v) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text - 1, v);
  *end = '\0';
  return std::strtod(text, nullptr);
}

BufferBuilder::BufferBuilder(Json& root) : root_(root) {
  root_["bufferViews"] = Json::array();
  root_["accessors"] = Json::array();
}

int BufferBuilder::add_vectors(const std::vector<Vector>& values, bool with_bounds) {
  static_assert(sizeof(Vector) == 12, "Vectors are copied as three packed floats");
  const size_t offset = append(values.data(), values.size() * 12);
  Json accessor = {{"bufferView", add_view(offset, bytes_.size() - offset, kArrayBuffer)},
                   {"componentType", kFloat},
                   {"count", values.size()},
                   {"type", "VEC3"}};
  if (with_bounds) {
    Bounds b;
    for (const Vector& v : values) b.add(v);
    accessor["min"] = {shortest(b.min.x), shortest(b.min.y), shortest(b.min.z)};
    accessor["max"] = {shortest(b.max.x), shortest(b.max.y), shortest(b.max.z)};
  }
  return add_accessor(std::move(accessor));
}

int BufferBuilder::reserve_vectors(size_t count, const std::optional<Bounds>& bounds) {
  Json accessor = {{"bufferView", reserve_view(count * 12, kArrayBuffer)},
                   {"componentType", kFloat},
                   {"count", count},
                   {"type", "VEC3"}};
  if (bounds) {
    accessor["min"] = {shortest(bounds->min.x), shortest(bounds->min.y), shortest(bounds->min.z)};
    accessor["max"] = {shortest(bounds->max.x), shortest(bounds->max.y), shortest(bounds->max.z)};
  }
  return add_accessor(std::move(accessor));
}

int BufferBuilder::reserve_indices(size_t count) {
  return add_accessor({{"bufferView", reserve_view(count * 4, kElementArrayBuffer)},
                       {"componentType", kUnsignedInt},
                       {"count", count},
                       {"type", "SCALAR"}});
}

int BufferBuilder::reserve_floats(size_t count, int components) {
  static const char* const kType[] = {"SCALAR", "VEC2", "VEC3", "VEC4"};
  const int width = std::clamp(components, 1, 4);
  return add_accessor({{"bufferView", reserve_view(count * 4 * static_cast<size_t>(width), kArrayBuffer)},
                       {"componentType", kFloat},
                       {"count", count},
                       {"type", kType[width - 1]}});
}

int BufferBuilder::add_image(const std::string& bytes) {
  const size_t offset = append(bytes.data(), bytes.size());
  const int view = add_view(offset, bytes.size(), std::nullopt);
  pad_to_four(bytes_, '\0');  // what follows stays aligned for its floats
  return view;
}

int BufferBuilder::reserve_view(size_t length, int target) {
  reserved_views_.push_back(add_view(reserved_, length, target));
  reserved_ += length;
  return reserved_views_.back();
}

void BufferBuilder::place_reserved() {
  Json& views = root_["bufferViews"];
  for (int view : reserved_views_) views[view]["byteOffset"] = views[view]["byteOffset"].get<size_t>() + bytes_.size();
  reserved_views_.clear();
}

int BufferBuilder::add_indices(const std::vector<uint32_t>& indices) {
  const size_t offset = append(indices.data(), indices.size() * 4);
  return add_accessor({{"bufferView", add_view(offset, bytes_.size() - offset, kElementArrayBuffer)},
                       {"componentType", kUnsignedInt},
                       {"count", indices.size()},
                       {"type", "SCALAR"}});
}

int BufferBuilder::add_key_times(const std::vector<float>& seconds) {
  const size_t offset = append(seconds.data(), seconds.size() * 4);
  const auto [low, high] = std::minmax_element(seconds.begin(), seconds.end());
  return add_accessor({{"bufferView", add_view(offset, bytes_.size() - offset, std::nullopt)},
                       {"componentType", kFloat},
                       {"count", seconds.size()},
                       {"type", "SCALAR"},
                       {"min", {shortest(*low)}},
                       {"max", {shortest(*high)}}});
}

int BufferBuilder::add_floats(const std::vector<float>& values, const char* type) {
  const size_t offset = append(values.data(), values.size() * 4);
  const size_t width = std::strcmp(type, "VEC4") == 0 ? 4 : std::strcmp(type, "VEC3") == 0 ? 3 : 1;
  return add_accessor({{"bufferView", add_view(offset, bytes_.size() - offset, std::nullopt)},
                       {"componentType", kFloat},
                       {"count", values.size() / width},
                       {"type", type}});
}

int BufferBuilder::add_vertex_floats(const std::vector<float>& values, int components) {
  static const char* const kType[] = {"SCALAR", "VEC2", "VEC3", "VEC4"};
  const int width = std::clamp(components, 1, 4);
  const size_t offset = append(values.data(), values.size() * 4);
  return add_accessor({{"bufferView", add_view(offset, bytes_.size() - offset, kArrayBuffer)},
                       {"componentType", kFloat},
                       {"count", values.size() / static_cast<size_t>(width)},
                       {"type", kType[width - 1]}});
}

size_t BufferBuilder::append(const void* data, size_t size) {
  const size_t offset = bytes_.size();
  bytes_.append(static_cast<const char*>(data), size);
  return offset;
}

int BufferBuilder::add_view(size_t offset, size_t length, std::optional<int> target) {
  Json& views = root_["bufferViews"];
  Json view = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", length}};
  if (target) view["target"] = *target;
  views.push_back(std::move(view));
  return static_cast<int>(views.size() - 1);
}

int BufferBuilder::add_accessor(Json accessor) {
  Json& accessors = root_["accessors"];
  accessors.push_back(std::move(accessor));
  return static_cast<int>(accessors.size() - 1);
}

std::string uri_of_path(const std::string& path) {
  std::string out;
  size_t start = 0;
  while (true) {
    const size_t slash = path.find('/', start);
    if (slash == std::string::npos) return out + uri_of(path.substr(start));
    out += uri_of(path.substr(start, slash - start)) + "/";
    start = slash + 1;
  }
}

Json material_for(const std::optional<Vector>& colour, const std::string& name) {
  // A plain dielectric: glTF's default of a fully metallic surface renders
  // nearly black in most viewers.
  Json pbr = {{"metallicFactor", 0}, {"roughnessFactor", shortest(0.7f)}};
  if (colour)
    pbr["baseColorFactor"] = {shortest(unit_interval(colour->x)), shortest(unit_interval(colour->y)),
                              shortest(unit_interval(colour->z)), 1};
  return Json{{"name", name}, {"pbrMetallicRoughness", std::move(pbr)}};
}

Status write_document(Json& root, const std::string& bin, const std::filesystem::path& file,
                      GltfContainer container, const StreamedTail& tail) {
  const size_t bin_total = bin.size() + tail.size;
  if (bin_total == 0) {
    root.erase("bufferViews");
    root.erase("accessors");
  }
  if (container == GltfContainer::binary) {
    // A .glb states its length in 32 bits.
    if (bin_total > 0xFFFF0000u)
      return Status::failure("cannot write " + quoted(file) + ": the meshes need more than 4 GB, too much for .glb");
    if (bin_total != 0) root["buffers"] = Json::array({Json{{"byteLength", bin_total}}});
    return write_glb(file, root.dump(), bin, tail);
  }
  std::filesystem::path bin_file = file;
  bin_file.replace_extension(".bin");
  if (bin_total != 0)
    root["buffers"] = Json::array({Json{{"byteLength", bin_total}, {"uri", uri_of(bin_file.filename().string())}}});
  StagedFiles files;
  if (bin_total != 0) {
    if (Status s = write_staged(files.stage(bin_file), bin_file, bin, tail); !s.ok()) return s;
  }
  if (Status s = write_staged(files.stage(file), file, root.dump(1, ' ') + "\n"); !s.ok()) return s;
  return files.commit(file);
}


namespace {

bool starts_with(const std::string& bytes, std::string_view magic) { return bytes.compare(0, magic.size(), magic) == 0; }

std::string base64(const std::string& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t word = 0;
    for (size_t k = 0; k < 3; ++k) word = word << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    for (size_t k = 0; k < 4; ++k) out += k <= n ? digits[(word >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

}  // namespace

Images::Images(const std::filesystem::path& file, GltfContainer container) : file_(file), container_(container) {}

Result<int> Images::texture(const Material& material, const std::string& name, BufferBuilder& buffer) {
  const bool embedded = material.base_colour_texture.empty();
  const std::string key = embedded ? "\n" + std::to_string(reinterpret_cast<uintptr_t>(material.base_colour_image.get()))
                                   : material.base_colour_texture;
  if (auto known = index_.find(key); known != index_.end()) return known->second;
  const std::filesystem::path path = material.base_colour_texture;
  const auto refuse = [&](const std::string& why) {
    return Status::failure("cannot write " + quoted(file_) + ": material \"" + name + "\": its texture " +
                           (embedded ? std::string("(embedded)") : quoted(path)) + " " + why);
  };
  std::string bytes;
  if (embedded) {
    bytes = *material.base_colour_image;
  } else {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return refuse("cannot be read");
  }
  if (bytes.empty()) return refuse("is missing or empty");
  const char* mime = starts_with(bytes, "\x89PNG\r\n\x1a\n") ? "image/png"
                     : starts_with(bytes, "\xff\xd8\xff") ? "image/jpeg"
                                                          : nullptr;
  if (!mime) return refuse("is neither PNG nor JPEG, the images glTF holds (convert it, or write .obj)");
  Json image;
  if (container_ == GltfContainer::binary) {
    image = {{"bufferView", buffer.add_image(bytes)}, {"mimeType", mime}};
  } else if (embedded) {
    image = {{"uri", std::string("data:") + mime + ";base64," + base64(bytes)}, {"mimeType", mime}};
  } else {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::absolute(file_, ec).parent_path();
    std::filesystem::path relative = std::filesystem::relative(path, folder, ec);
    if (ec || relative.empty()) relative = path;
    image = {{"uri", gltf::uri_of_path(relative.generic_string())}, {"mimeType", mime}};
  }
  images_.push_back(std::move(image));
  textures_.push_back(Json{{"source", images_.size() - 1}});
  const int index = static_cast<int>(textures_.size() - 1);
  index_.emplace(key, index);
  return index;
}

void Images::put(Json& root) {
  if (images_.empty()) return;
  root["images"] = std::move(images_);
  root["textures"] = std::move(textures_);
}


// The glTF material of `material`; its texture only where the primitive has
// the UVs it is read with.
Result<Json> material_json(const Material& material, const std::string& name, bool has_uvs, Images& images,
                           BufferBuilder& buffer) {
  const auto unit = [](float v) { return shortest(v > 0.0f ? std::min(v, 1.0f) : 0.0f); };
  const float opacity = material.opacity > 0.0f ? std::min(material.opacity, 1.0f) : 0.0f;
  // A plain dielectric unless the file said otherwise: glTF's default of a
  // fully metallic surface renders nearly black in most viewers.
  Json pbr = {{"baseColorFactor",
               {unit(material.base_colour.x), unit(material.base_colour.y), unit(material.base_colour.z), unit(opacity)}},
              {"metallicFactor", unit(material.metallic.value_or(0.0f))},
              {"roughnessFactor", unit(material.roughness.value_or(0.7f))}};
  if (has_uvs && (!material.base_colour_texture.empty() || material.base_colour_image)) {
    auto texture = images.texture(material, name, buffer);
    if (!texture) return texture.status();
    pbr["baseColorTexture"] = Json{{"index", texture.value()}};
  }
  Json out = {{"name", name}, {"pbrMetallicRoughness", std::move(pbr)}};
  if (opacity < 1.0f) out["alphaMode"] = "BLEND";
  return out;
}

Result<size_t> Materials::index(const Material& material, const std::string& name, bool has_uvs, Json& materials,
                                Images& images, BufferBuilder& buffer) {
  if (!material.name.empty())
    for (const Made& m : made_)
      if (m.has_uvs == has_uvs && same_material(*m.material, material)) return m.index;
  auto made = material_json(material, material.name.empty() ? name : material.name, has_uvs, images, buffer);
  if (!made) return made.status();
  materials.push_back(std::move(made.value()));
  if (!material.name.empty()) made_.push_back(Made{&material, has_uvs, materials.size() - 1});
  return materials.size() - 1;
}

}  // namespace kurvo::media::gltf
