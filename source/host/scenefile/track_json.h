// Time and animation tracks in scene files.
//
// The scene's "time" block: {"fps": 24, "start": 0, "end": 96} (whole frames,
// start <= end, fps from 0.01 to 1000). An object's "tracks": a list of
//
//   {"param": "KURVO_OFFSET", "interpolation": "linear", "keys": [[0, 0.0], [48, 250.0]]}
//   {"placement": "position" | "rotation" | "scale", "keys": [[0, [0, 0, 0]], ...]}
//   {"points": true, "keys": [[0, [[x, y, z], ...]], ...]}
//
// A parameter is named as in "params" (symbol or decimal ID) and must hold a
// real, a vector, an integer or a boolean; keys take that type's value form.
// Placement tracks need the object's placement as position/rotation/scale
// (not "matrix"); rotation is in degrees, scale a vector or one number.
// Points tracks animate a spline's own point list; every key gives as many
// points as the spline has. Interpolation is "step", "linear" or "smooth"
// (track.h); it defaults to "linear", and to "step" for integers and
// booleans, which only step.
//
// Every mistake (an unknown parameter, keys out of order, a value of the
// wrong type, a second track on the same thing) ends the load with one line
// naming the file, the object, the track and the key.
#pragma once

#include "core/description.h"
#include "json_text.h"
#include "read_context.h"
#include "timeline.h"

namespace kurvo::host {
class Object;
}

namespace kurvo::scenefile {

// The "time" block (frame rate and range) into `timeline`.
void readTime(const Json& time, animation::Timeline& timeline, const ReadContext& context);
Json timeJson(const animation::Timeline& timeline);

// The object's "tracks", read after its geometry, placement and params (the
// rest values are taken from the object as it then stands). `entry` is the
// object's entry in the file, for its placement.
animation::ObjectAnimation readTracks(const Json& tracks, const Json& entry, host::Object& object,
                                      const host::Description* description, const ReadContext& context);
Json tracksJson(const animation::ObjectAnimation& animation);

// One track value as the file spells it.
Json valueJson(const animation::Value& value, animation::ValueKind kind);

}  // namespace kurvo::scenefile
