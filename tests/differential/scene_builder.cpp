#include "scene_builder.h"

#include <memory>
#include <utility>
#include <vector>

#include "core/custom_types.h"
#include "deformer/kurvo_params.h"
#include "scene/node.h"

namespace kurvo::differential {
namespace {

using host::Object;
using reference::Float3;

constexpr int32_t kDeformerType = 1024244;
constexpr int32_t kTagType = 1024306;

KhVector ToKh(const Float3& v) { return {v.x, v.y, v.z}; }
KhVector ToKh(const reference::DVec3& v) {
  return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

std::vector<Vector> Points(const std::vector<Float3>& list) {
  std::vector<Vector> out;
  out.reserve(list.size());
  for (const Float3& p : list) out.emplace_back(p.x, p.y, p.z);
  return out;
}

Object* Add(host::Document& doc, int32_t type, const char* name, const reference::Placement& placement,
            Object* parent) {
  Object* object = doc.insert(Object::create(type), parent);
  object->setName(name);
  const reference::DMat m = reference::LocalMatrix(placement);
  object->setLocalMatrix(KhMatrix{ToKh(m.off), ToKh(m.ax), ToKh(m.ay), ToKh(m.az)});
  return object;
}

Object* AddSpline(host::Document& doc, const char* name, const reference::SplineInput& s,
                  const reference::Placement& placement, Object* parent) {
  Object* spline = Add(doc, KH_TYPE_SPLINE, name, placement, parent);
  std::vector<Vector> in = Points(s.tangentsIn), out = Points(s.tangentsOut);
  if (!in.empty() && out.empty()) out.assign(s.points.size(), Vector());
  if (!out.empty() && in.empty()) in.assign(s.points.size(), Vector());
  spline->spline().tangentsIn = std::move(in);
  spline->spline().tangentsOut = std::move(out);
  spline->setSplineShape(static_cast<kurvo::geo::Interpolation>(s.kind), {});
  spline->parameters().setBool(host::kSplineClosed, s.closed);
  spline->setPoints(Points(s.points));
  return spline;
}

// A curve as the scene reader makes it: linear curves flag every knot linear
// and have round 0; smooth ones flag the knots that say so, round 1 unless given.
std::unique_ptr<host::CurveData> Curve(const reference::CurveInput& c) {
  auto data = std::make_unique<host::CurveData>();
  for (size_t i = 0; i < c.knots.size(); ++i) {
    const bool linear = c.linearKnots.empty() ? !c.smooth : static_cast<bool>(c.linearKnots[i]);
    data->curve.InsertKnot(c.knots[i].first, c.knots[i].second, linear ? kurvo::geo::Curve::kLinearKnot : 0);
  }
  data->curve.SetRound(c.smooth ? (c.round ? *c.round : 1.0f) : 0.0f);
  return data;
}

}  // namespace

Object* BuildScene(const reference::Scene& scene, host::Document& doc) {
  Object* pathParent = scene.pathParent ? Add(doc, KH_TYPE_NULL, "PathParent", *scene.pathParent, nullptr) : nullptr;
  Object* path = AddSpline(doc, "Path", scene.path, scene.pathPlacement, pathParent);
  Object* rail = scene.rail ? AddSpline(doc, "Rail", *scene.rail, scene.railPlacement, nullptr) : nullptr;

  Object* object = Add(doc, KH_TYPE_POLYGON, "Object", scene.objectPlacement, nullptr);
  object->setPoints(Points(scene.objectPoints));
  if (scene.tagIndex) {
    host::Tag* tag = object->attachTag(host::Tag::create(kTagType));
    tag->parameters().setLong(1000, *scene.tagIndex);
    tag->parameters().setLong(1001, 10);
  }
  if (!scene.weights.empty()) {
    std::unique_ptr<host::Tag> map = host::Tag::create(KH_TYPE_VERTEXMAP);
    map->weights = scene.weights;
    object->attachTag(std::move(map));
  }

  Object* bend = Add(doc, kDeformerType, "Bend", scene.deformerPlacement, object);
  if (!scene.deformOn) bend->setMode(KH_MODE_KIND_DEFORM, host::kModeOff);
  const reference::DeformerSettings& d = scene.deformer;
  host::Container& p = bend->parameters();
  p.setLink(KURVO_SPLINE, path->serial());
  if (rail) p.setLink(KURVO_RAIL, rail->serial());
  if (d.bendAxis) p.setLong(KURVO_BEND_AXIS, *d.bendAxis);
  p.setReal(KURVO_OFFSET, d.offset);
  p.setReal(KURVO_ROTATION, d.rotation);
  p.setReal(KURVO_RANDOM, d.random);
  p.setBool(KURVO_STRETCH, d.stretch);
  p.setReal(KURVO_STRETCH_FACTOR, d.stretchFactor);
  p.setLong(KURVO_UP_MODE, d.upMode);
  p.setVector(KURVO_UP_VECTOR, ToKh(d.upVector));
  p.setReal(KURVO_SCALE_STRENGTH, d.scaleStrength);
  p.setReal(KURVO_TWIST_STRENGTH, d.twistStrength);
  p.setReal(KURVO_PROFILE_STRENGTH, d.profileStrength);
  if (d.scaleCurve) p.set(KURVO_SCALE_CURVE).setCustom(Curve(*d.scaleCurve));
  if (d.twistCurve) p.set(KURVO_TWIST_CURVE).setCustom(Curve(*d.twistCurve));
  if (d.profileCurve) p.set(KURVO_PROFILE_CURVE).setCustom(Curve(*d.profileCurve));
  p.touched();
  return object;
}

}  // namespace kurvo::differential
