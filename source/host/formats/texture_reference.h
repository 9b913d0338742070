// How a written file names a texture it does not copy.
#ifndef KURVO_MEDIA_TEXTURE_REFERENCE_H
#define KURVO_MEDIA_TEXTURE_REFERENCE_H

#include <filesystem>
#include <string>

namespace kurvo::media {

// The texture's path relative to the folder of `file` (the output that names
// it) where it can be, else absolute; forward slashes.
std::string texture_reference(const std::string& texture, const std::filesystem::path& file);

}  // namespace kurvo::media

#endif
