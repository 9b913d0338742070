#include "bench_scene.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>

#include "core/custom_types.h"
#include "deformer/kurvo_params.h"

extern "C" int32_t plugin_main(int32_t action, void* p1, void* p2, void* p3);

namespace kurvo::bench {
namespace {

constexpr int32_t kDeformerType = 1024244;
constexpr float kPathHeight = 400.0f;

// A smooth (round 1) curve through the given knots.
void SetShapedCurve(host::Node* node, int32_t id, std::vector<std::pair<float, float>> knots) {
  auto curve = std::make_unique<host::CurveData>();
  for (const auto& [x, y] : knots) curve->curve.InsertKnot(x, y, 0);
  curve->curve.SetRound(1.0f);
  node->parameters().set(id).setCustom(std::move(curve));
  node->parameters().touched();
}

// A cylinder of radius 5 along Z over the path's height: rings of 100 points
// (fewer for tiny counts), exactly `count` points; ring after ring, or
// `scattered` in a fixed random order.
std::vector<Vector> MeshPoints(int32_t count, bool scattered) {
  const int32_t perRing = count >= 100 ? 100 : 1;
  const int32_t rings = (count + perRing - 1) / perRing;
  std::vector<Vector> pts;
  pts.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    const int32_t ring = i / perRing, k = i % perRing;
    const float z = rings > 1 ? kPathHeight * static_cast<float>(ring) / static_cast<float>(rings - 1) : 0.0f;
    const float a = 2.0f * std::numbers::pi_v<float> * static_cast<float>(k) / static_cast<float>(perRing);
    pts.emplace_back(5.0f * std::cos(a), 5.0f * std::sin(a), z);
  }
  if (scattered) std::shuffle(pts.begin(), pts.end(), std::mt19937(20261209u));
  return pts;
}

}  // namespace

host::Object* MakeWavePath(host::Document& doc, int32_t interpolation, int32_t controls, Vector shift) {
  std::vector<Vector> pts;
  pts.reserve(static_cast<size_t>(controls));
  for (int32_t i = 0; i < controls; ++i) {
    const float f = static_cast<float>(i) / static_cast<float>(controls - 1);
    const float a = 2.0f * std::numbers::pi_v<float> * f;
    pts.emplace_back(shift.x + 60.0f * std::sin(2.0f * a), shift.y + 40.0f * std::sin(3.0f * a),
                     shift.z + kPathHeight * f);
  }
  host::Object* s = doc.createObject(KH_TYPE_SPLINE);
  doc.setPoints(s, std::move(pts));
  s->setSplineShape(static_cast<geo::Interpolation>(interpolation), {});
  s->parameters().setBool(host::kSplineClosed, false);
  return s;
}

DeformScene::DeformScene(const SceneOptions& options) {
  host::HostSession::Options sessionOptions;
  sessionOptions.quiet = true;
  session_ = std::make_unique<host::HostSession>(sessionOptions);
  std::string error;
  const auto moduleFile = std::filesystem::path(KURVO_SOURCE_DIR) / "Kurvo2.so";  // res/ beside it
  if (!session_->startModule(&plugin_main, moduleFile, error)) throw std::runtime_error(error);
  doc_ = &session_->newDocument();

  rest_ = MeshPoints(options.points, options.scattered);
  mesh_ = doc_->createObject(KH_TYPE_POLYGON);
  doc_->setPoints(mesh_, rest_);
  mesh_->refreshBox();

  deformer_ = doc_->createObject(kDeformerType);
  if (!deformer_) throw std::runtime_error("the deformer could not be created");
  doc_->insertUnder(deformer_, mesh_);

  path_ = MakeWavePath(*doc_, options.interpolation, options.controls, Vector(0, 0, 0));
  doc_->setLink(deformer_, KURVO_SPLINE, path_);
  host::Container& params = deformer_->parameters();
  params.setLong(KURVO_UP_MODE, options.upMode);
  if (options.upMode == KURVO_UP_MODE_RAIL)
    doc_->setLink(deformer_, KURVO_RAIL,
                  MakeWavePath(*doc_, options.interpolation, options.controls, Vector(0, 10, 0)));

  if (options.shapedCurves) {
    SetShapedCurve(deformer_, KURVO_PROFILE_CURVE, {{0.0f, 0.5f}, {0.5f, 1.5f}, {1.0f, 0.8f}});
    SetShapedCurve(deformer_, KURVO_SCALE_CURVE, {{0.0f, 1.0f}, {0.3f, 2.0f}, {0.7f, 0.5f}, {1.0f, 1.0f}});
    SetShapedCurve(deformer_, KURVO_TWIST_CURVE, {{0.0f, 0.0f}, {0.5f, 0.3f}, {1.0f, 1.0f}});
    params.setReal(KURVO_TWIST_STRENGTH, 180.0f);
    params.setReal(KURVO_RANDOM, 1.0f);  // the twist acts only with a random value
  }
}

DeformScene::~DeformScene() = default;

void DeformScene::Restore() { mesh_->points() = rest_; }

void DeformScene::Modify() {
  const KhMatrix opMg = mesh_->globalMatrix();
  const KhMatrix modMg = deformer_->globalMatrix();
  deformer_->objectRecord()->modify_object(deformer_->pluginData(), host::toObjectHandle(deformer_), doc_->handle(),
                                           host::toObjectHandle(mesh_), &opMg, &modMg, 1.0f, 0,
                                           doc_->thread().handle());
}

bool DeformScene::AllFinite() const {
  for (const Vector& p : mesh_->points())
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
  return true;
}

}  // namespace kurvo::bench
