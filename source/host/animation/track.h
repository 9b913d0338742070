// Animation tracks: values keyed at frames, sampled at any frame.
//
// A track animates one thing of one object: a parameter (by ID), one part of
// its placement (position, rotation in degrees, scale) or a spline's whole
// point list. Keys are (frame, value) with strictly increasing frames; all
// values of a track have the same kind, and point lists the same length.
//
// Sampling at frame f:
//  - before the first key the first key's value holds, after the last key the
//    last key's value (no extrapolation);
//  - step: the value of the last key at or before f;
//  - linear: straight between the two keys around f, component by component;
//  - smooth: a cubic Hermite curve through the keys, component by component,
//    with the slope at a key taken from its two neighbours (v[k+1] - v[k-1]) /
//    (f[k+1] - f[k-1]) and flat (0) at the first and last key and at a key
//    that is a highest or lowest value among its neighbours, so that the
//    curve never overshoots a key it turns at.
// Integer tracks round the interpolated value to the nearest integer (halves
// away from zero); boolean tracks only step.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "vector.h"

namespace kurvo::animation {

enum class Interpolation { step, linear, smooth };
enum class ValueKind { integer, boolean, real, vector, points };
// What a track drives on its object.
enum class Channel { parameter, position, rotation, scale, points };

using Value = std::variant<int32_t, float, Vector, std::vector<Vector>>;

struct Key {
  double frame = 0.0;
  Value value;
};

struct Track {
  Channel channel = Channel::parameter;
  int32_t parameter = 0;  // the parameter's ID (channel parameter only)
  // The parameter as the file named it ("KURVO_OFFSET" or "1000"), kept so
  // that saving writes the track the way it was read.
  std::string parameterName;
  ValueKind kind = ValueKind::real;
  Interpolation interpolation = Interpolation::linear;
  std::vector<Key> keys;  // at least one; frames strictly increasing

  // The value at `frame`; for kind points, `out` receives the list (reused
  // between calls to spare allocations) and the answer holds an empty list.
  Value sample(double frame) const;
  void samplePoints(double frame, std::vector<Vector>& out) const;
};

const char* interpolationName(Interpolation i) noexcept;
const char* channelName(Channel c) noexcept;

}  // namespace kurvo::animation
