// A scene's time: its frame rate, its frame range and the tracks that
// animate its objects (track.h).
//
// Objects are kept by serial: a timeline belongs to one document. Beside its
// tracks, each animated object keeps what it was before any frame was
// applied (its rest state): the placement parts the placement tracks start
// from, and the values of its animated parameters and points, so that saving
// writes the scene as it was read, whatever frame was shown last.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "placement_parts.h"
#include "track.h"

namespace kurvo::animation {

struct ObjectAnimation {
  uint64_t object = 0;  // the object's serial
  std::vector<Track> tracks;
  // The parts the placement tracks start from; set when the object has one.
  std::optional<PlacementParts> restPlacement;
  // Per track, parallel to `tracks`: the value the object held at rest
  // (parameters and points; placement tracks leave it empty).
  std::vector<std::optional<Value>> rest;
};

struct Timeline {
  bool present = false;  // the scene file had a "time" block
  double fps = 30.0;
  double start = 0.0, end = 0.0;  // frames, inclusive
  std::vector<ObjectAnimation> objects;

  bool animated() const noexcept { return !objects.empty(); }
  const ObjectAnimation* find(uint64_t serial) const noexcept {
    for (const auto& o : objects)
      if (o.object == serial) return &o;
    return nullptr;
  }
};

}  // namespace kurvo::animation
