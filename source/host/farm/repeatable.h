// Whether a shard can repeat what a single run gives at its frames.
//
// A frame evaluated on its own equals the same frame of a single run as
// long as no result depends on the evaluations before it. One does: the
// deformer's random twist without a deformer tag on the deformed object
// draws from a generator that runs on from one evaluation to the next, so
// frame 100 of a single run has seen a hundred draws before it, and a shard
// starting there has seen none. Replaying those draws would mean evaluating
// every earlier frame in every shard (the whole run again) or reaching into
// the module's own state; a split is refused instead, with what makes the
// scene repeatable: a deformer tag (its index seeds every draw) or a random
// factor of 0.
#pragma once

#include <string>

#include "result.h"
#include "timeline.h"

namespace kurvo::host {
class Document;
struct HostState;
}  // namespace kurvo::host

namespace kurvo::farm {

// Success when every frame of `timeline`'s scene can be evaluated on its
// own; else the first object whose result depends on the evaluations
// before, why, and how to make it repeatable. `scene` names the file.
kurvo::media::Status checkRepeatable(const host::Document& document, const host::HostState& host,
                                     const animation::Timeline& timeline, const std::string& scene);

}  // namespace kurvo::farm
