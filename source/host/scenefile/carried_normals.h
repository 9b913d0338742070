// Authored normals carried through the bend: for the objects read from mesh
// files whose normals are to be carried ("normals": "carry", or every one
// when the command asks), each corner's authored normal times the inverse
// transpose of its deformers' local derivative at the corner's point
// (scene/deformation_derivative.h).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "scene_geometry.h"

namespace kurvo::host {
class Document;
}

namespace kurvo::scenefile {

enum class NormalChoice {
  asScene,  // each object as its "normals" says (renew unless "carry")
  renew,    // every object's normals made again from the bent surface
  carry,    // every object that has authored normals carries them
};

struct CarriedNormals {
  // Per object serial, per corner of its source surface: unit normals in the
  // object's own coordinates (a corner the file gave no normal has zero).
  std::unordered_map<uint64_t, std::vector<Vector>> objects;
  // Objects whose normals could not be carried (made again instead), one
  // line each, naming the object.
  std::vector<std::string> warnings;
};

// After an evaluation; runs the deformers of each such object once more (on
// seven copies of its points), so the document should be done evaluating.
CarriedNormals carryAuthoredNormals(host::Document& document,
                                    const std::unordered_map<uint64_t, GeometrySource>& sources, NormalChoice choice);

}  // namespace kurvo::scenefile
