// Animation keys obey the rules the scene reader applies to the value they
// animate: a circle's radius keyed to 0 or a helix's points per turn keyed to
// -5 is refused at load with the key named, as the same value in "params"
// would be, instead of making a shape the deformer silently ignores. Keys
// are enough: linear and smooth interpolation never leave the range of the
// keys around them (track.h).
#pragma once

#include "read_context.h"
#include "scene_geometry.h"
#include "timeline.h"

namespace kurvo::host {
class Object;
}

namespace kurvo::scenefile {

// Checks every key of `animation`'s tracks on `object` (read by readTracks
// from the object's "tracks"); a helix's largest keyed turns and points per
// turn together stay within the primitive limit.
void checkTrackValues(const animation::ObjectAnimation& animation, const host::Object& object,
                      const ReadContext& context, const GeometryLimits& limits);

}  // namespace kurvo::scenefile
