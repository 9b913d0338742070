#include "deformer_fixture.h"

#include <cmath>
#include <numbers>

#include "core/custom_types.h"

namespace kurvo::test {

void DeformerTest::StartSession(const std::filesystem::path& resDir) {
  session_.reset();
  host::HostSession::Options options;
  options.quiet = true;
  session_ = std::make_unique<host::HostSession>(options);
  std::string error;
  ASSERT_TRUE(session_->startModule(&plugin_main, resDir.parent_path() / "Kurvo2.so", error)) << error;
  doc_ = &session_->newDocument();
}

Object* DeformerTest::MakePointObject(std::vector<Vector> points, Object* parent) {
  Object* o = doc().createObject(KH_TYPE_POLYGON);
  doc().setPoints(o, std::move(points));
  if (parent) doc().insertUnder(o, parent);
  return o;
}

Object* DeformerTest::MakeSpline(std::vector<Vector> points, int interpolation, bool closed) {
  Object* s = doc().createObject(KH_TYPE_SPLINE);
  doc().setPoints(s, std::move(points));
  s->setSplineShape(static_cast<geo::Interpolation>(interpolation), {});
  s->parameters().setBool(host::kSplineClosed, closed);
  return s;
}

Object* DeformerTest::MakeDeformer(Object* parent, Object* path) {
  Object* d = doc().createObject(kDeformerType);
  EXPECT_NE(d, nullptr);
  if (parent) doc().insertUnder(d, parent);
  if (path) doc().setLink(d, 1002, path);
  return d;
}

std::vector<Vector> DeformerTest::Cylinder(float radius, float z0, float z1, int rings, int perRing) {
  std::vector<Vector> pts;
  for (int r = 0; r < rings; ++r) {
    const float z = z0 + (z1 - z0) * static_cast<float>(r) / static_cast<float>(rings - 1);
    for (int k = 0; k < perRing; ++k) {
      const float a = 2.0f * std::numbers::pi_v<float> * static_cast<float>(k) / static_cast<float>(perRing);
      pts.emplace_back(radius * std::cos(a), radius * std::sin(a), z);
    }
  }
  return pts;
}

void DeformerTest::Modify(Object* deformer, host::BreakThread* thread) {
  Object* op = deformer->parent();
  ASSERT_NE(op, nullptr);
  const KhMatrix opMg = op->globalMatrix();
  const KhMatrix modMg = deformer->globalMatrix();
  EXPECT_TRUE(Record(deformer).modify_object(deformer->pluginData(), host::toObjectHandle(deformer),
                                             doc().handle(), host::toObjectHandle(op), &opMg, &modMg, 1.0f,
                                             0, thread ? thread->handle() : nullptr));
}

void DeformerTest::CheckDirty(Object* deformer) {
  Record(deformer).check_dirty(deformer->pluginData(), host::toObjectHandle(deformer), doc().handle());
}

void DeformerTest::SetCurve(host::Node* node, int32_t id, std::vector<std::pair<float, float>> knots) {
  auto curve = std::make_unique<host::CurveData>();
  curve->curve.SetRound(0.0f);
  for (const auto& [x, y] : knots) curve->curve.InsertKnot(x, y, geo::Curve::kLinearKnot);
  node->parameters().set(id).setCustom(std::move(curve));
  node->parameters().touched();
}

}  // namespace kurvo::test
