// Showing a frame: every animated value set to its value at that frame, the
// way a user's edit would set it. Only values that differ from what the
// object holds are written, and an object is told of a change only when one
// of its values changed, so the evaluation loop's change detection sees
// exactly what moved and the deformers rebuild only what depends on it.
#pragma once

#include "timeline.h"

namespace kurvo::host {
class Document;
}

namespace kurvo::animation {

// Sets the document's animated values to those of `frame` (any real frame;
// between keys the tracks interpolate). Objects of the timeline that are no
// longer in the document are passed over. Answers the number of objects
// changed.
size_t applyFrame(host::Document& document, const Timeline& timeline, double frame);

// Puts every animated value back to its rest state (timeline.h).
size_t applyRest(host::Document& document, const Timeline& timeline);

}  // namespace kurvo::animation
