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
//
// Each edit also keeps each piece as the four coefficients of its blended
// polynomial in x (power form, evaluated by Horner's rule in double
// precision), so a position costs three multiplications and three additions.
// EvaluateMany answers many positions with the bits of Evaluate. Each edit
// also builds a grid of equal x steps over [0, 1] (four cells per piece
// between knots); a cell that meets at most one knot settles its piece with one
// comparison, so the look-up takes constant time, and only cells crowded
// with knots search.
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
  // Evaluate(x[i]) into y[i] for i < count.
  void EvaluateMany(const float* x, int32_t count, float* y) const;
  // (x, y(x), 0).
  Vector GetPoint(float x) const { return Vector(x, Evaluate(x), 0.0f); }

  bool operator==(const Curve& other) const;

 private:
  void UpdateSlopes();
  void BuildCells();
  float EvaluateKnots(float x) const;
  // Index of the knot that starts the piece holding x, first.x < x < last.x,
  // as EvaluateKnots finds it.
  int32_t PieceOf(float x) const;

  // Piece i, from knot i to knot i + 1, in power form: with u = x - x0, the
  // line blended with the monotone cubic by the roundness is
  // c0 + u * (c1 + u * (c2 + u * c3)), rounded to float, then held between
  // lo and hi (holding the float gives the bits of holding the double and
  // rounding it, as lo and hi are floats). One piece fills 64 bytes.
  struct alignas(64) Piece {
    double x0 = 0.0;
    double c0 = 0.0, c1 = 0.0, c2 = 0.0, c3 = 0.0;
    float lo = 0.0f, hi = 0.0f;  // the lower and higher of the knots' values
  };
  static_assert(sizeof(Piece) == 64);
  // Cell k covers x in [k, k + 1) / m, widened by far more than the rounding
  // of k: any x in it lies in piece `first` or, at or past `boundary`, in
  // the next one (+inf: the cell meets no knot). first < 0: search. Cell m
  // repeats cell m - 1 (x * m can round up to m).
  struct Cell {
    int32_t first = 0;
    float boundary = 0.0f;
  };
  std::vector<Piece> pieces_;
  std::vector<Cell> cells_;

  std::vector<Knot> knots_;
  float round_ = 1.0f;
  bool constant_ = false;  // at least one knot, all with this finite value
  float constantValue_ = 0.0f;
};

}  // namespace kurvo::geo

#endif
