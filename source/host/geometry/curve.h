// Curve: a function curve y(x) over x in [0, 1], given by knots (x, y).
//
// Between two knots the curve is
//  - linear when either knot is flagged linear (kLinearKnot) or the curve's
//    roundness is 0;
//  - otherwise the monotone cubic (Fritsch-Carlson slopes) blended with the
//    straight line by the roundness r in (0, 1]: y = lerp(line, cubic, r).
//    Both parts stay between the two knots' values, so a smooth curve never
//    overshoots its knots, and a rising run of knots stays rising.
// Outside [0, 1], and outside the range of its knots, the curve holds its end
// values. A curve without knots is 0 everywhere. Knots are kept sorted by x;
// knot x values are clamped to [0, 1].
//
// Editing (InsertKnot, MakeLinear, SetRound) precomputes the slopes, so GetPoint
// only reads: O(log n) in the knots, allocation-free, safe from any number of
// threads as long as nobody edits at the same time. A curve whose knots all
// have the same value (the usual flat default) is answered without a search:
// every formula below gives exactly that value there.
#ifndef KURVO_GEO_CURVE_H
#define KURVO_GEO_CURVE_H

#include <cstdint>
#include <vector>

#include "vector.h"

namespace kurvo::geo {

class Curve {
 public:
  static constexpr int32_t kLinearKnot = 1;  // linear on both sides of the knot

  struct Knot {
    float x = 0.0f;
    float y = 0.0f;
    int32_t flags = 0;
    float slope = 0.0f;  // dy/dx of the monotone cubic at the knot
  };

  // A new curve has no knots and roundness 1.
  Curve() = default;

  // count < 0: no knots. Otherwise `count` knots evenly on the line from (0, 0)
  // to (1, 1) (one knot: (0, 0)). Answers true.
  bool MakeLinear(int32_t count);
  // Inserts a knot after any knots with the same x; answers its index.
  int32_t InsertKnot(float x, float y, int32_t flags);
  // Replaces every knot at once, in the order InsertKnot would have left them
  // (x clamped, stable by x), with one slope pass: loading a curve of n knots
  // costs O(n log n), not n slope passes.
  void SetKnots(std::vector<Knot> knots);
  void SetRound(float round);  // clamped to [0, 1]; NaN counts as 0

  float Round() const { return round_; }
  int32_t KnotCount() const { return static_cast<int32_t>(knots_.size()); }
  const Knot& GetKnot(int32_t index) const { return knots_[index]; }

  float Evaluate(float x) const { return constant_ ? constantValue_ : EvaluateKnots(x); }
  // (x, y(x), 0).
  Vector GetPoint(float x) const { return Vector(x, Evaluate(x), 0.0f); }

  bool operator==(const Curve& other) const;

 private:
  void UpdateSlopes();
  float EvaluateKnots(float x) const;

  std::vector<Knot> knots_;
  float round_ = 1.0f;
  bool constant_ = false;  // at least one knot, all with this finite value
  float constantValue_ = 0.0f;
};

}  // namespace kurvo::geo

#endif
