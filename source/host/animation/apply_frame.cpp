#include "apply_frame.h"

#include <cstring>

#include "scene/document.h"

namespace kurvo::animation {
namespace {

bool sameBits(const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; }

bool sameMatrix(const KhMatrix& a, const KhMatrix& b) { return sameBits(&a, &b, sizeof(KhMatrix)); }

bool samePoints(const std::vector<Vector>& a, const std::vector<Vector>& b) {
  return a.size() == b.size() && (a.empty() || sameBits(a.data(), b.data(), a.size() * sizeof(Vector)));
}

// Writes a parameter value unless the entry already holds exactly it (same
// kind, same bits). Answers whether it wrote.
bool writeParameter(host::Container& parameters, const Track& track, const Value& value) {
  const host::Data* current = parameters.find(track.parameter);
  switch (track.kind) {
    case ValueKind::integer:
    case ValueKind::boolean: {
      const int32_t v = std::get<int32_t>(value);
      if (current && current->type() == KH_DA_LONG && current->getLong() == v) return false;
      parameters.set(track.parameter).setLong(v);
      return true;
    }
    case ValueKind::real: {
      const float v = std::get<float>(value);
      if (current && current->type() == KH_DA_REAL) {
        const float had = current->getReal();
        if (sameBits(&had, &v, sizeof v)) return false;
      }
      parameters.set(track.parameter).setReal(v);
      return true;
    }
    case ValueKind::vector: {
      const KhVector v = ToKh(std::get<Vector>(value));
      if (current && current->type() == KH_DA_VECTOR) {
        const KhVector had = current->getVector();
        if (sameBits(&had, &v, sizeof v)) return false;
      }
      parameters.set(track.parameter).setVector(v);
      return true;
    }
    case ValueKind::points:
      break;
  }
  return false;
}

// Applies one object's tracks: `valueAt(k)` gives track k's value (frame or
// rest; none: leave it). Answers whether anything changed.
template <class ValueAt, class PointsAt>
bool applyObject(host::Object& object, const ObjectAnimation& animation, ValueAt&& valueAt, PointsAt&& pointsAt,
                 PlacementParts placement) {
  bool parametersChanged = false, placementAnimated = false, changed = false;
  std::vector<Vector> points;
  for (size_t k = 0; k < animation.tracks.size(); ++k) {
    const Track& track = animation.tracks[k];
    if (track.channel == Channel::points) {
      if (!pointsAt(k, points)) continue;
    }
    const std::optional<Value> value = track.channel == Channel::points ? std::nullopt : valueAt(k);
    if (track.channel != Channel::points && !value) continue;
    switch (track.channel) {
      case Channel::parameter:
        if (writeParameter(object.parameters(), track, *value)) parametersChanged = true;
        break;
      case Channel::position:
        placement.position = std::get<Vector>(*value);
        placementAnimated = true;
        break;
      case Channel::rotation:
        placement.rotation = std::get<Vector>(*value);
        placementAnimated = true;
        break;
      case Channel::scale:
        placement.scale = std::get<Vector>(*value);
        placementAnimated = true;
        break;
      case Channel::points:
        // A deformed object holds its deformed points: compare with its own.
        if (!samePoints(points, object.restPoints())) {
          object.setPoints(std::move(points));
          points = {};
          changed = true;
        }
        break;
    }
  }
  if (parametersChanged) {
    object.parameters().touched();  // one change mark for all the object's parameters
    changed = true;
  }
  if (placementAnimated) {
    const KhMatrix m = composePlacement(placement);
    if (!sameMatrix(m, object.localMatrix())) {
      object.setLocalMatrix(m);
      changed = true;
    }
  }
  return changed;
}

host::Object* liveObject(host::Document& document, uint64_t serial) {
  host::Node* node = document.findLive(serial);
  return node && node->isObject() ? static_cast<host::Object*>(node) : nullptr;
}

}  // namespace

size_t applyFrame(host::Document& document, const Timeline& timeline, double frame) {
  size_t changed = 0;
  for (const ObjectAnimation& animation : timeline.objects) {
    host::Object* object = liveObject(document, animation.object);
    if (!object) continue;
    const auto valueAt = [&](size_t k) -> std::optional<Value> { return animation.tracks[k].sample(frame); };
    const auto pointsAt = [&](size_t k, std::vector<Vector>& out) {
      animation.tracks[k].samplePoints(frame, out);
      return true;
    };
    if (applyObject(*object, animation, valueAt, pointsAt, animation.restPlacement.value_or(PlacementParts{})))
      ++changed;
  }
  return changed;
}

size_t applyRest(host::Document& document, const Timeline& timeline) {
  size_t changed = 0;
  for (const ObjectAnimation& animation : timeline.objects) {
    host::Object* object = liveObject(document, animation.object);
    if (!object) continue;
    const PlacementParts rest = animation.restPlacement.value_or(PlacementParts{});
    const auto valueAt = [&](size_t k) -> std::optional<Value> {
      switch (animation.tracks[k].channel) {
        case Channel::position: return rest.position;
        case Channel::rotation: return rest.rotation;
        case Channel::scale: return rest.scale;
        default: return animation.rest[k];  // none when the object held no value at rest
      }
    };
    const auto pointsAt = [&](size_t k, std::vector<Vector>& out) {
      if (!animation.rest[k]) return false;
      out = std::get<std::vector<Vector>>(*animation.rest[k]);
      return true;
    };
    if (applyObject(*object, animation, valueAt, pointsAt, rest)) ++changed;
  }
  return changed;
}

}  // namespace kurvo::animation
