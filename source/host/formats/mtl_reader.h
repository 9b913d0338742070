// The materials of one MTL file: diffuse colour (Kd), opacity (d, or Tr as
// its complement), the diffuse texture (map_Kd, its path taken relative to
// the library and made absolute) and the PBR extension's Pm and Pr.
#ifndef KURVO_MEDIA_MTL_READER_H
#define KURVO_MEDIA_MTL_READER_H

#include <filesystem>
#include <map>
#include <string>

#include "mesh.h"

namespace kurvo::media {

// Reads the library `name` beside `obj` into `materials` (by name). A missing
// library only loses the materials (an empty answer); one outside the OBJ's
// folder (unless `outside_allowed`) or that cannot be read safely is the
// message returned.
std::string read_material_library(const std::filesystem::path& obj, const std::string& name, bool outside_allowed,
                                  std::map<std::string, Material>& materials);

}  // namespace kurvo::media

#endif
