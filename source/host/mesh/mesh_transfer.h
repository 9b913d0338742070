// Meshes as bytes and back, whole: every list and attribute a Mesh carries,
// for handing meshes from a reader's child process to the tool.
//
// The bytes are this build's own (native byte order and layout), never a
// file format: they are made and read by the same program at the same time.
// Images shared between materials are written once and shared again when read.
#ifndef KURVO_MEDIA_MESH_TRANSFER_H
#define KURVO_MEDIA_MESH_TRANSFER_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mesh.h"

namespace kurvo::media {

std::string encode_meshes(const std::vector<Mesh>& meshes);
// Nothing when the bytes are cut short, carry more than they should, or
// name an image that is not there.
std::optional<std::vector<Mesh>> decode_meshes(std::string_view bytes);

}  // namespace kurvo::media

#endif
