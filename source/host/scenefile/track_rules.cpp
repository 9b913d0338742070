#include "track_rules.h"

#include <algorithm>
#include <variant>

#include "scene/node.h"

namespace kurvo::scenefile {

void checkTrackValues(const animation::ObjectAnimation& animation, const host::Object& object,
                      const ReadContext& context, const GeometryLimits& limits) {
  const int32_t type = object.type();
  const host::Container& params = object.parameters();
  double turns = params.getReal(host::kPrimTurns, 2.0f);
  double subdivision = params.getLong(host::kPrimSubdivision, 16);
  std::string sizeField;  // the first track that drives the helix's size
  for (size_t i = 0; i < animation.tracks.size(); ++i) {
    const animation::Track& track = animation.tracks[i];
    if (track.channel != animation::Channel::parameter) continue;
    const std::string keysField = member(indexed("tracks", i), "keys");
    for (size_t k = 0; k < track.keys.size(); ++k) {
      const animation::Value& value = track.keys[k].value;
      double number = 0.0;
      bool whole = false;
      if (const auto* n = std::get_if<int32_t>(&value)) {
        number = *n;
        whole = true;
      } else if (const auto* r = std::get_if<float>(&value)) {
        number = *r;
      } else {
        continue;  // vectors: no size rule covers them
      }
      if (std::string problem = primitiveValueProblem(type, track.parameter, number, whole); !problem.empty())
        context.fail(indexed(indexed(keysField, k), 1), problem);
      if (type == host::kTypeHelixPrimitive && track.parameter == host::kPrimTurns) turns = std::max(turns, number);
      if (type == host::kTypeHelixPrimitive && track.parameter == host::kPrimSubdivision)
        subdivision = std::max(subdivision, number);
    }
    if (type == host::kTypeHelixPrimitive && sizeField.empty() &&
        (track.parameter == host::kPrimTurns || track.parameter == host::kPrimSubdivision))
      sizeField = keysField;
  }
  if (!sizeField.empty()) checkHelixPoints(turns, subdivision, limits, context, sizeField);
}

}  // namespace kurvo::scenefile
