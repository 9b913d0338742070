#include "gradient.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace kurvo::geo {

int32_t Gradient::InsertKnot(const GradientKnot& knot) {
  knots_.push_back(knot);
  return static_cast<int32_t>(knots_.size()) - 1;
}

bool Gradient::InitRender() {
  try {
    render_ = knots_;
  } catch (const std::bad_alloc&) {
    FreeRender();
    return false;
  }
  std::stable_sort(render_.begin(), render_.end(),
                   [](const GradientKnot& a, const GradientKnot& b) { return a.pos < b.pos; });
  rendering_ = true;
  return true;
}

void Gradient::FreeRender() {
  std::vector<GradientKnot>().swap(render_);
  rendering_ = false;
}

namespace {
Vector Lit(const GradientKnot& k) { return k.col * k.brightness; }
}  // namespace

Vector Gradient::CalcGradientPixel(float x) const {
  if (render_.empty()) return Vector();
  const GradientKnot& first = render_.front();
  const GradientKnot& last = render_.back();
  if (!(x > first.pos)) return Lit(first);
  if (x >= last.pos) return Lit(last);
  // render_[i].pos <= x < render_[i + 1].pos
  const auto next = std::upper_bound(render_.begin(), render_.end(), x,
                                     [](float v, const GradientKnot& k) { return v < k.pos; });
  const GradientKnot& right = *next;
  const GradientKnot& left = *(next - 1);
  const double f = (static_cast<double>(x) - left.pos) / (static_cast<double>(right.pos) - left.pos);
  double w = f;
  if (left.bias != 0.5f) {
    const double b = std::clamp(static_cast<double>(left.bias), 0.001, 0.999);  // NaN stays NaN: guard below
    w = std::isnan(b) ? f : std::pow(f, std::log(0.5) / std::log(b));
  }
  const auto wf = static_cast<float>(w);
  return Lit(left) * (1.0f - wf) + Lit(right) * wf;
}

const GradientKnot* Gradient::GetRenderKnot(int32_t i) const {
  if (i < 0 || i >= static_cast<int32_t>(render_.size())) return nullptr;
  return &render_[i];
}

bool Gradient::operator==(const Gradient& other) const {
  if (knots_.size() != other.knots_.size()) return false;
  for (size_t i = 0; i < knots_.size(); ++i) {
    const GradientKnot &a = knots_[i], &b = other.knots_[i];
    if (a.col != b.col || a.brightness != b.brightness || a.pos != b.pos || a.bias != b.bias || a.index != b.index)
      return false;
  }
  return true;
}

}  // namespace kurvo::geo
