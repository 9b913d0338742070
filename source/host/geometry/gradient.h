// Gradient: a colour ramp over a position, given by knots.
//
// Each knot has a colour (red, green, blue in 0..1), a brightness that scales
// it, a position, a bias and an index (a free number kept for the owner).
// InitRender takes a copy of the knots sorted by position (knots at the same
// position keep their insertion order); CalcGradientPixel reads only that copy,
// so any number of threads may evaluate between InitRender and FreeRender.
//
// CalcGradientPixel(x), with the render knots k[0..n-1]:
//  - no knots (or before InitRender): black;
//  - x at or before k[0].pos: k[0]'s colour times its brightness; at or after
//    k[n-1].pos: the same for k[n-1]; NaN counts as before the first knot;
//  - between k[i] and k[i+1] at the fraction f of the way: the two colours
//    (times brightness) mixed by w = f^(ln 0.5 / ln b), where b is the bias of
//    the left knot k[i], clamped to [0.001, 0.999]. The mix is half-way where
//    f = b; b = 0.5 gives w = f (a straight blend); smaller b moves the
//    half-way point towards k[i], larger towards k[i+1].
#ifndef KURVO_GEO_GRADIENT_H
#define KURVO_GEO_GRADIENT_H

#include <cstdint>
#include <vector>

#include "vector.h"

namespace kurvo::geo {

// Field for field the same as the boundary's gradient knot record, so the host
// can hand render knots across without copying; keep the two in step.
struct GradientKnot {
  Vector col;
  float brightness = 1.0f;
  float pos = 0.0f;
  float bias = 0.5f;
  int32_t index = 0;
};

class Gradient {
 public:
  // Appends a knot; answers its position in the knot list.
  int32_t InsertKnot(const GradientKnot& knot);
  int32_t KnotCount() const { return static_cast<int32_t>(knots_.size()); }
  const GradientKnot& GetKnot(int32_t i) const { return knots_[i]; }

  // Prepares evaluation; false when memory runs out.
  bool InitRender();
  void FreeRender();
  bool IsRendering() const { return rendering_; }

  Vector CalcGradientPixel(float x) const;
  // Knot i in render order, or null outside the range or before InitRender.
  const GradientKnot* GetRenderKnot(int32_t i) const;

  bool operator==(const Gradient& other) const;

 private:
  std::vector<GradientKnot> knots_;
  std::vector<GradientKnot> render_;
  bool rendering_ = false;
};

}  // namespace kurvo::geo

#endif
