// An evaluation can leave values that are not finite numbers: a path of
// almost no length, an offset of 1e20 or a huge scale overflow the points,
// the length read-out or the placed world points. Written out, they would be
// JSON nulls or meshes no reader accepts; every output therefore asks this
// check first, and all report the same line naming the file, the object and
// the field.
#pragma once

#include <filesystem>

#include "result.h"

namespace kurvo::host {
class Document;
class HostState;
}  // namespace kurvo::host

namespace kurvo::scenefile {

// Fails with "<scene file>: object "<name>": <field>: ..." for the first
// object (in tree order) whose points, parameters or world points are not
// all finite.
kurvo::media::Status checkFiniteResults(const host::Document& document, const host::HostState& host,
                                        const std::filesystem::path& sceneFile);

}  // namespace kurvo::scenefile
