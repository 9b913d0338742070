// Document::deformAgain: the deformers of one object run on other points.
#include <algorithm>

#include "document.h"

namespace kurvo::host {

std::optional<std::vector<Vector>> Document::deformAgain(Object& object, std::vector<Vector> points) {
  if (object.appliedDeformers.empty() || !object.hasRestState() || !object.isPointObject()) return std::nullopt;
  const size_t count = object.restPoints().size();
  if (count == 0 || points.empty() || points.size() % count != 0) return std::nullopt;
  const size_t copies = points.size() / count;

  std::vector<Vector> kept = std::move(object.points());
  // A deformer that optimizes may join points and change polygons: those of
  // the last run are put back whatever it does.
  std::vector<kurvo::geo::Polygon> keptPolygons = object.polygons_;
  const Vector keptMin = object.boxMin_, keptMax = object.boxMax_;
  Tag* map = object.findTag(KH_TYPE_VERTEXMAP, 0);
  std::vector<float> keptWeights;
  if (map) {
    keptWeights = map->weights;
    std::vector<float> repeated(count, 0.0f);
    std::copy_n(keptWeights.begin(), std::min(count, keptWeights.size()), repeated.begin());
    map->weights.clear();
    map->weights.reserve(points.size());
    for (size_t k = 0; k < copies; ++k) map->weights.insert(map->weights.end(), repeated.begin(), repeated.end());
  }
  // The box the last run's deformers saw first: that of the rest points.
  object.points() = object.restPoints();
  object.refreshBox();
  object.points() = std::move(points);
  callDeformers(object, nullptr);
  std::vector<Vector> moved = std::move(object.points());
  object.points() = std::move(kept);
  object.polygons_ = std::move(keptPolygons);
  object.boxMin_ = keptMin;
  object.boxMax_ = keptMax;
  if (map) map->weights = std::move(keptWeights);
  if (moved.size() != copies * count) return std::nullopt;
  return moved;
}

}  // namespace kurvo::host
