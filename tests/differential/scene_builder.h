// A differential-test scene built straight into a host document through the
// host's Document API, without the scene-file layer: builds that go without
// it (the 32-bit host) compare the deformer with the reference on the same
// random scenes. Polygons are left out: the deformer moves points
// and the scenes never ask for the optimize command.
#pragma once

#include "reference_scene.h"
#include "scene/document.h"

namespace kurvo::differential {

// Adds "Path" (below "PathParent" when the scene has one), "Rail", "Object"
// and its deformer "Bend" to `doc`; answers "Object".
host::Object* BuildScene(const reference::Scene& scene, host::Document& doc);

}  // namespace kurvo::differential
