// The array's parameters, description and layout (see array.h).
#include "array.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "arc_length.h"
#include "core/description.h"
#include "document.h"

namespace kurvo::host {

ArraySettings arraySettings(const Container& c) {
  ArraySettings s;
  s.count = c.getLong(kArrayCount, kArrayDefaultCount);
  s.fit = c.getLong(kArrayFit, kArrayFitOff);
  s.spacing = c.getReal(kArraySpacing, 0.0f);
  s.spacingMode = c.getLong(kArraySpacingMode, kArraySpacingGap);
  s.offset = c.getReal(kArrayOffset, 0.0f);
  s.axis = c.getLong(kArrayAxis, 0);
  return s;
}

Vector arrayAxis(int32_t axis) {
  switch (axis) {
    case 1: return {1, 0, 0};
    case 2: return {0, 1, 0};
    case 3: return {-1, 0, 0};
    case 4: return {0, -1, 0};
    case 5: return {0, 0, -1};
    default: return {0, 0, 1};
  }
}

namespace {

// A quotient a hair below a whole number counts as that number: a path of
// exactly five steps holds five, whatever the rounding of its length.
constexpr double kWholeTolerance = 1e-4;

int32_t wholeCopies(double quotient) {
  if (!(quotient >= 0.0)) return 0;
  const double n = std::floor(quotient + kWholeTolerance);
  return n >= kMaxArrayCopies ? kMaxArrayCopies : static_cast<int32_t>(n);
}

}  // namespace

ArrayLayout layoutCopies(const ArraySettings& settings, float pieceLength, const ArrayPath* path) {
  ArrayLayout layout;
  layout.step = settings.spacingMode == kArraySpacingStep ? settings.spacing : pieceLength + settings.spacing;
  if (settings.fit != kArrayFitStretch && settings.fit != kArrayFitKeep) {
    layout.count = std::clamp(settings.count, 0, kMaxArrayCopies);
    return layout;
  }
  if (!path || !(layout.step > 0.0f) || !std::isfinite(path->length)) return {0, layout.step};
  const double length = path->length, step = layout.step, piece = pieceLength;
  if (path->closed) {
    layout.count = wholeCopies(length / step);
    if (settings.fit == kArrayFitStretch && layout.count > 0)
      layout.step = static_cast<float>(length / layout.count);
  } else {
    if (length < piece * (1.0 - kWholeTolerance)) return {0, layout.step};
    layout.count = std::min(kMaxArrayCopies, wholeCopies(std::max(0.0, length - piece) / step) + 1);
    if (settings.fit == kArrayFitStretch && layout.count > 1)
      layout.step = static_cast<float>((length - piece) / (layout.count - 1));
  }
  return layout;
}

CopyNumber copyNumber(bool sourceTagged, int32_t sourceIndex, int32_t sourceCount, int32_t i, int32_t n) {
  if (!sourceTagged) return {i, n};
  // Unsigned arithmetic wraps where signed would overflow.
  const auto u = [](int32_t v) { return static_cast<uint32_t>(v); };
  const uint32_t stride = sourceCount > 0 ? u(sourceCount) : 1u;
  return {static_cast<int32_t>(u(i) * stride + u(sourceIndex)), static_cast<int32_t>(u(sourceCount) * u(n))};
}

Object* arraySourceOf(const Object& array) noexcept {
  for (Object* c = array.firstChild(); c; c = c->nextObject())
    if (c->isPolygon() && !c->isGenerated()) return c;
  return nullptr;
}

void pieceExtent(const Object& source, int32_t axis, float& low, float& high) {
  const Vector a = arrayAxis(axis);
  const KhMatrix& m = source.localMatrix();
  // The axis seen from the source: projecting a point of the source onto it
  // is one dot product.
  const Vector d{m.v1.x * a.x + m.v1.y * a.y + m.v1.z * a.z, m.v2.x * a.x + m.v2.y * a.y + m.v2.z * a.z,
                 m.v3.x * a.x + m.v3.y * a.y + m.v3.z * a.z};
  const float base = m.off.x * a.x + m.off.y * a.y + m.off.z * a.z;
  const std::vector<Vector>& points = source.restPoints();
  if (points.empty()) {
    low = high = base;
    return;
  }
  float lo = std::numeric_limits<float>::infinity(), hi = -lo;
  for (const Vector& p : points) {
    const float t = p.x * d.x + p.y * d.y + p.z * d.z;
    lo = std::min(lo, t);
    hi = std::max(hi, t);
  }
  low = base + lo;
  high = base + hi;
}

bool measurePath(Object& path, ArrayPath& out) {
  Object* real = path.realSpline();
  if (!real) return false;
  kurvo::geo::ArcLengthTable table;
  out.closed = real->spline().closed;
  out.length = table.Build(kurvo::geo::MakeSegmentView(real->spline(), 0)) ? table.Length() : 0.0f;
  return true;
}

ArrayLayout planCopies(Object& array, const Document& document) {
  const ArraySettings settings = arraySettings(array.parameters());
  Object* source = arraySourceOf(array);
  if (!source) return {};
  float low = 0.0f, high = 0.0f;
  pieceExtent(*source, settings.axis, low, high);
  ArrayPath path;
  const ArrayPath* measured = nullptr;
  if (const Data* link = array.parameters().find(kArrayPath))
    if (Node* n = document.findLive(link->getLink()); n && n->isObject())
      if (measurePath(*static_cast<Object*>(n), path)) measured = &path;
  return layoutCopies(settings, high - low, measured);
}

const Description& arrayDescription() {
  static const Description description = [] {
    Description d;
    d.name = "Array";
    d.groups.push_back({2000, "ARRAY_GROUP_COPIES", "Copies", 0});
    d.groups.push_back({2001, "ARRAY_GROUP_PLACEMENT", "Placement", 0});
    const auto add = [&](int32_t id, const char* symbol, const char* label, ParamType type, int32_t group) {
      DescParameter p;
      p.id = id;
      p.symbol = symbol;
      p.label = label;
      p.type = type;
      p.groupId = group;
      d.parameters.push_back(std::move(p));
      return &d.parameters.back();
    };
    DescParameter* p = add(kArrayCount, "count", "Count", ParamType::Long, 2000);
    p->defaultNumber = kArrayDefaultCount;
    p->min = 0;
    p->max = kMaxArrayCopies;
    p->step = 1;
    p = add(kArrayFit, "fit", "Fit to path", ParamType::Long, 2000);
    p->defaultNumber = kArrayFitOff;
    p->options = {{kArrayFitOff, "Off: use the count"},
                  {kArrayFitStretch, "Stretch the spacing"},
                  {kArrayFitKeep, "Keep the spacing"}};
    add(kArrayPath, "path", "Path", ParamType::Link, 2000);
    p = add(kArraySpacing, "spacing", "Spacing", ParamType::Real, 2001);
    p->defaultNumber = 0;
    p->step = 1;
    p->unit = "meter";
    p = add(kArraySpacingMode, "spacing_mode", "Spacing is", ParamType::Long, 2001);
    p->defaultNumber = kArraySpacingGap;
    p->options = {{kArraySpacingGap, "Gap between copies"}, {kArraySpacingStep, "Step, copy to copy"}};
    p = add(kArrayOffset, "offset", "Offset", ParamType::Real, 2001);
    p->defaultNumber = 0;
    p->step = 1;
    p->unit = "meter";
    p = add(kArrayAxis, "axis", "Axis", ParamType::Long, 2001);
    p->defaultNumber = 0;
    p->options = {{1, "+X"}, {2, "+Y"}, {0, "+Z"}, {3, "-X"}, {4, "-Y"}, {5, "-Z"}};
    return d;
  }();
  return description;
}

}  // namespace kurvo::host
