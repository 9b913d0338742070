// The deformation run: bends the points of `op` along the path linked in the
// deformer `mod`, writes the path length back into mod's parameters and runs
// the host's optimize command when asked.
#pragma once

#include "deformer/path_transport.h"
#include "kurvo_api.h"

// `random` is the deformer node's generator (one draw per run), `transports`
// its kept table of up mode 3. `thread` may
// be null; otherwise it is asked every 64 points whether to stop.
void RunDeformation(Random& random, PathTransportCache& transports, BaseObject* mod, BaseDocument* doc, BaseObject* op,
                    const Matrix& opMg, const Matrix& modMg, BaseThread* thread);
