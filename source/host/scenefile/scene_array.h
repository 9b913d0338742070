// Arrays in scene files (the host's "array" object, scene/array.h):
//
//   {"name": "Chain", "type": "array", "fit": "stretch", "path": "Knot", "spacing": -6,
//    "children": [{"name": "Link", "type": "polygon", "mesh": "link.obj"},
//                 {"name": "Bend", "type": "Kurvo2", "params": {"KURVO_SPLINE": "Knot"}}]}
//
// Fields: "count" (0 to 100000, default 3) or "fit" ("stretch" or "keep",
// with "path", the spline it measures); "spacing" (default 0) and
// "spacing_mode" ("gap", the default, or "step"); "offset" (default 0);
// "axis" ("+Z", the default, "+X", "+Y", "-X", "-Y", "-Z"). The source is the
// array's own "mesh", "primitive" or "points"/"polygons" (with its own
// "material" and "tags"), or else its first polygon child. Tracks name the
// fields as parameters: {"param": "count", ...}.
//
// Every mistake ends the load with one line naming the file, the array and
// the field; the checks that need the whole scene (the path, the source, the
// copies' points against the scene's budget) run once every object and link
// is read.
#pragma once

#include <filesystem>
#include <optional>

#include "json_text.h"
#include "param_json.h"
#include "read_context.h"
#include "scene_geometry.h"
#include "timeline.h"

namespace kurvo::host {
class Document;
class Object;
}  // namespace kurvo::host

namespace kurvo::scenefile {

// The fields an array entry may have besides those of every object.
inline constexpr const char* kArrayFields[] = {"count", "fit", "path", "spacing", "spacing_mode", "offset", "axis",
                                               "points", "polygons", "mesh", "mesh_name", "mesh_axes", "mesh_weld", "mesh_scale",
                                               "primitive", "material"};

// True when the entry gives the array geometry of its own.
bool hasOwnGeometry(const Json& entry);

// The array's settings into its parameters; the path link is queued.
void readArrayFields(const Json& entry, host::Object& array, const ReadContext& context,
                     std::vector<PendingLink>& links);

// The checks once the whole scene is read: a source to copy, a path that is
// a spline when fitting (and only then), a step above 0 for a fit (also at
// every spacing key), count keys in range, and the copies' points charged to
// the scene's budget (at the most copies any count key asks for).
void checkArray(host::Object& array, const host::Document& document, const animation::ObjectAnimation* animation,
                const ReadContext& context);

// The array's fields from its parameters (animated ones at rest).
void writeArrayFields(const host::Container& parameters, const host::Document& document, Json& entry);

}  // namespace kurvo::scenefile
