// Checks of a mesh file before the import library parses it. The library
// reserves memory for what a file declares before it reads the data, and it
// parses nested structures by recursion, so a few bytes could ask for
// gigabytes or nest deep enough to overflow the stack. Each check reads the
// file once, builds no tree, and refuses:
//  - glTF and GLB: JSON nested deeper than kMaxJsonDepth, a node hierarchy
//    deeper than kMaxNodeDepth (or a node with two parents, or a cycle),
//    buffers longer than the bytes that hold them, and accessors (their
//    sparse parts too) that need more bytes than their buffer views hold, or
//    without a view more elements than the file has bytes;
//  - COLLADA: XML nested deeper than kMaxXmlDepth, bytes that are not text
//    (a zip container, which the library would inflate without bound, never
//    passes), and a declared count that the file's size cannot hold (an
//    array's count, an accessor's count times its stride, a primitive's
//    count times its corners and inputs);
//  - PLY: a list whose declared length is more than the rest of the file can
//    hold (the element counts are checked with the header, ply_header_check.h).
// Each answer is empty, or the problem without the file's name.
#ifndef KURVO_MEDIA_IMPORT_LIMITS_H
#define KURVO_MEDIA_IMPORT_LIMITS_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kurvo::media {

inline constexpr int kMaxJsonDepth = 512;
inline constexpr int kMaxNodeDepth = 1000;
inline constexpr int kMaxXmlDepth = 1100;

// The check that fits `file`'s extension (.gltf .glb .dae .ply; the others
// have none), on the file's bytes.
std::string import_limit_problem(const std::filesystem::path& file);

// The same checks on bytes. `folder` is where a .gltf's buffer files lie
// (empty: their sizes are not known and not checked).
std::string gltf_limit_problem(std::string_view json, const std::filesystem::path& folder);
std::string glb_limit_problem(std::string_view bytes);
std::string collada_limit_problem(std::string_view bytes);
std::string ply_limit_problem(std::string_view bytes);

}  // namespace kurvo::media

#endif
