// Undo and redo for `kurvo view`: each step holds what one edit changed on
// one object, as it was before and after, so that undoing gives back exactly
// the earlier values (the same floats, not a value computed back).
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/data_value.h"
#include "kh_types.h"
#include "animation/placement_parts.h"
#include "track.h"
#include "vector.h"

namespace kurvo::viewer {

// The parts of an object that an edit sets; those an edit leaves alone are empty.
struct ObjectState {
  std::optional<kurvo::host::Container> parameters;
  struct Shape {
    std::vector<Vector> points, tangentsIn, tangentsOut;
    int32_t interpolation = 0;  // 0 linear, 1 cubic, 2 Bezier
    bool closed = false;
  };
  std::optional<Shape> shape;  // a spline's points, Bezier tangents, interpolation and closed flag
  std::optional<KhMatrix> placement;
  // The placement as the parts the edit gave (position, rotation, scale).
  std::optional<kurvo::animation::PlacementParts> parts;
  // The keys of the tracks animating edited parameters, by parameter ID.
  using Keys = std::vector<std::pair<int32_t, std::vector<kurvo::animation::Key>>>;
  std::optional<Keys> keys;
  // The keys of the tracks animating the edited placement parts or points.
  using ChannelKeys = std::vector<std::pair<kurvo::animation::Channel, std::vector<kurvo::animation::Key>>>;
  std::optional<ChannelKeys> channelKeys;
  // The parts an animated placement starts from (its parts without a track).
  std::optional<kurvo::animation::PlacementParts> rest;
};

struct EditStep {
  uint64_t object = 0;
  ObjectState before, after;
  std::vector<int32_t> ids;  // the parameters a parameter edit named
  // Edits of one gesture (a drag) share a number other than 0 and become one step.
  uint64_t gesture = 0;
};

class EditHistory {
 public:
  void record(EditStep step) {
    redo_.clear();
    if (step.gesture != 0 && !undo_.empty() && undo_.back().gesture == step.gesture &&
        undo_.back().object == step.object) {
      undo_.back().after = std::move(step.after);
      return;
    }
    undo_.push_back(std::move(step));
    if (undo_.size() > kLimit) undo_.erase(undo_.begin());
  }
  // The step to take back (moved to the redo list), or null.
  const EditStep* undo() { return move(undo_, redo_); }
  const EditStep* redo() { return move(redo_, undo_); }
  void clear() {
    undo_.clear();
    redo_.clear();
  }
  size_t undoCount() const noexcept { return undo_.size(); }
  size_t redoCount() const noexcept { return redo_.size(); }

 private:
  static constexpr size_t kLimit = 500;
  static const EditStep* move(std::vector<EditStep>& from, std::vector<EditStep>& to) {
    if (from.empty()) return nullptr;
    to.push_back(std::move(from.back()));
    from.pop_back();
    return &to.back();
  }
  std::vector<EditStep> undo_, redo_;
};

}  // namespace kurvo::viewer
