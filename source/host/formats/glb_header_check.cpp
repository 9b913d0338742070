#include "glb_header_check.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

namespace kurvo::media {
namespace {

// GLB is little-endian throughout.
uint32_t read_u32(const char* bytes) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[i]);
  return v;
}

// The importer's JSON reader runs past the end of a document that is cut
// short or malformed (it was seen reading beyond its buffer); such a
// document is refused before it gets there. The check builds no tree. JSON
// text holds no NUL byte, and the check's parser would take one as the end
// of the document while the importer reads on past it.
bool well_formed_json(const std::string& text) {
  return text.find('\0') == std::string::npos && nlohmann::json::accept(text);
}

std::string json_problem(const std::string& json) {
  if (well_formed_json(json)) return {};
  return "its JSON document is not well-formed JSON";
}

constexpr uint64_t kHeaderBytes = 12;
constexpr uint64_t kChunkHeaderBytes = 8;

// `read(at, n, out)` copies n bytes at offset `at`; false past the end.
template <class ReadAt>
std::string check_glb(uint64_t file_size, ReadAt&& read) {
  char header[20];
  if (!read(0, kHeaderBytes, header)) return "it is too short for a binary glTF header";
  const uint32_t version = read_u32(header + 4);
  const uint64_t length = read_u32(header + 8);
  if (length > file_size)
    return "its header declares " + std::to_string(length) + " bytes, but the file has " + std::to_string(file_size);
  if (version == 1) {
    if (!read(0, 20, header)) return "it is too short for a binary glTF header";
    const uint64_t content = read_u32(header + 12);
    if (content + 20 > length)
      return "its content length " + std::to_string(content) + " runs past the declared file length";
    std::string json(content, '\0');
    if (!read(20, content, json.data())) return "its content runs past the end of the file";
    return json_problem(json);
  }
  if (version != 2) return "binary glTF version " + std::to_string(version) + " is not supported";
  for (uint64_t at = kHeaderBytes; at < length;) {
    char chunk_header[kChunkHeaderBytes];
    if (at + kChunkHeaderBytes > length || !read(at, kChunkHeaderBytes, chunk_header))
      return "a chunk header at byte " + std::to_string(at) + " runs past the end of the file";
    const uint64_t chunk = read_u32(chunk_header);
    if (at + kChunkHeaderBytes + chunk > length)
      return "a chunk at byte " + std::to_string(at) + " declares " + std::to_string(chunk) +
             " bytes, more than the file holds";
    at += kChunkHeaderBytes + chunk;
  }
  // The first chunk is the JSON document.
  char first[kChunkHeaderBytes];
  if (length < kHeaderBytes + kChunkHeaderBytes || !read(kHeaderBytes, kChunkHeaderBytes, first))
    return "it has no JSON chunk";
  if (std::memcmp(first + 4, "JSON", 4) != 0) return "its first chunk is not the JSON document";
  std::string json(read_u32(first), '\0');
  if (!read(kHeaderBytes + kChunkHeaderBytes, json.size(), json.data())) return "its JSON chunk is cut short";
  return json_problem(json);
}

}  // namespace

std::string check_gltf_json(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "cannot open it";
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (well_formed_json(text)) return {};
  return "it is not well-formed JSON";
}

bool looks_like_glb(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, 4) && std::memcmp(magic, "glTF", 4) == 0;
}

std::string check_glb_bytes(std::string_view bytes, uint64_t file_size) {
  return check_glb(file_size, [&](uint64_t at, uint64_t n, char* out) {
    if (at + n > bytes.size()) return false;
    std::memcpy(out, bytes.data() + at, n);
    return true;
  });
}

std::string check_glb_header(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) return "cannot open it";
  const auto size = static_cast<uint64_t>(in.tellg());
  return check_glb(size, [&](uint64_t at, uint64_t n, char* out) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(at));
    return in.read(out, static_cast<std::streamsize>(n)) && static_cast<uint64_t>(in.gcount()) == n;
  });
}

}  // namespace kurvo::media
