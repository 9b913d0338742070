// The module's four registrations, run in this order at start-up. Each answers
// true on success; the first false stops the chain.
#pragma once

#include "hostapi/kurvo_api.h"

Bool RegisterVorlaDeformer();     // the spline deformer object
Bool RegisterNimbobarGUI();       // the title-bar custom GUI
Bool RegisterVorlaGradient();     // the gradient shader
Bool RegisterVorlaDeformerTag();  // the deformer tag
