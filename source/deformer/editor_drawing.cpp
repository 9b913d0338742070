// The deformer's editor symbol: a flat arrow along its local +Z axis with an
// axis line through it, placed by the deformer's global matrix. The figure is
// the same whatever the parameters; the deformer has no handles.
#include "deformer/kurvo2.h"

namespace {

// Outline (0..6, closed) and axis line (7, 8), in the local XZ plane.
constexpr Vector Arrow[9] = {
    Vector(-20, 0, -100), Vector(-20, 0, 100), Vector(-50, 0, 100),
    Vector(0, 0, 200),    Vector(50, 0, 100),  Vector(20, 0, 100),
    Vector(20, 0, -100),  Vector(0, 0, -175),  Vector(0, 0, 250),
};

constexpr Vector kOutlineColour(0.9f, 0.7f, 0.0f);
constexpr Vector kAxisColour(0.1f, 0.5f, 0.9f);

}  // namespace

Bool Kurvo2::Draw(BaseObject* op, int32 drawpass, BaseDraw* bd, BaseDrawHelp* bh) {
  if (drawpass != 0) return true;
  const Matrix mg = op->GetMg();
  bd->SetPen(kOutlineColour);
  for (int i = 0; i < 7; ++i) bd->DrawLine(mg * Arrow[i], mg * Arrow[(i + 1) % 7]);
  bd->SetPen(kAxisColour);
  bd->DrawLine(mg * Arrow[8], mg * Arrow[7]);
  return true;
}
