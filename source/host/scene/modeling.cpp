// Modelling commands. 227 (optimize) merges points closer than a tolerance
// (2076), drops degenerate polygons (2078) and unused points (2079) of a
// polygon object; 2077 switches the merging. During an evaluation it changes
// the deformed state only; otherwise the object's own geometry.
#include "core/data_value.h"
#include "core/modeling.h"
#include "document.h"
#include "mesh_optimize.h"

namespace kurvo::host {
namespace {

enum : int32_t {
  kOptimizeTolerance = 2076,
  kOptimizePoints = 2077,
  kOptimizePolygons = 2078,
  kOptimizeUnusedPoints = 2079,
};

bool optimize(KhModelingCommandData& data) {
  Object* o = objectFrom(data.op);
  if (!o || !o->isPolygon()) return false;
  const Container* settings = containerOf(data.settings);
  kurvo::geo::OptimizeOptions options;
  options.tolerance = settings ? settings->getReal(kOptimizeTolerance, 0.01f) : 0.01f;
  options.mergePoints = settings ? settings->getBool(kOptimizePoints, true) : true;
  options.dropDegenerate = settings ? settings->getBool(kOptimizePolygons, true) : true;
  options.dropUnused = settings ? settings->getBool(kOptimizeUnusedPoints, true) : true;
  if (!(options.tolerance >= 0.0f)) return false;
  kurvo::geo::OptimizeResult result = kurvo::geo::OptimizeMesh(o->points(), o->polygons(), options);
  const Document* doc = o->document();
  if (doc && doc->evaluating()) {
    o->points() = std::move(result.points);
    o->writablePolygons() = std::move(result.polygons);
    o->refreshBox();
  } else {
    o->setPoints(std::move(result.points));
    o->setPolygons(std::move(result.polygons));
  }
  return true;
}

}  // namespace

bool runModelingCommand(int32_t command, KhModelingCommandData* data) {
  if (!data) return false;
  switch (command) {
    case KH_MCOMMAND_OPTIMIZE: return optimize(*data);
    default: return false;
  }
}

}  // namespace kurvo::host
