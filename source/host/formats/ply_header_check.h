// A check of a PLY file's header before it reaches the importer library,
// whose PLY reader loops for ever on a header line it does not know. A PLY
// header is always text, whatever the body's format: "ply", then lines that
// start with a known keyword, up to "end_header".
#pragma once

#include <filesystem>
#include <string>

namespace kurvo::media {

// True when `file` starts with the PLY magic line.
bool looks_like_ply(const std::filesystem::path& file);

// Empty when the header is well formed; otherwise what is wrong with it.
std::string check_ply_header(const std::filesystem::path& file);

}  // namespace kurvo::media
