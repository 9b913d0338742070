// Binary glTF (GLB) files declare their own length and the length of each
// chunk. The importer allocates what a chunk declares before it reads, so a
// file of a few bytes that declares 4 GB would take 4 GB; this check compares
// every declared length with the real file size first.
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

}  // namespace kurvo::media

#endif
