// Binary glTF (GLB) files declare their own length and the length of each
// chunk. The importer allocates what a chunk declares before it reads, so a
// file of a few bytes that declares 4 GB would take 4 GB; this check compares
// every declared length with the real file size first. The importer's JSON
// reader also reads past the end of a malformed document, so the JSON (the
// GLB's JSON chunk, or a .gltf file) must be well-formed before it is handed
// over.
#ifndef KURVO_MEDIA_GLB_HEADER_CHECK_H
#define KURVO_MEDIA_GLB_HEADER_CHECK_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kurvo::media {

// True when the bytes start with the GLB magic "glTF".
bool looks_like_glb(const std::filesystem::path& file);

// Empty when the GLB header and chunk headers fit the file; otherwise the
// problem, without the file's name.
std::string check_glb_header(const std::filesystem::path& file);
std::string check_glb_bytes(std::string_view bytes, uint64_t file_size);

// Empty when a .gltf file is well-formed JSON; otherwise the problem.
std::string check_gltf_json(const std::filesystem::path& file);

}  // namespace kurvo::media

#endif
