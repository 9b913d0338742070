#include "reference_scene.h"

#include <nlohmann/json.hpp>
#include <numbers>

namespace kurvo::reference {

using Json = nlohmann::ordered_json;

namespace {

Json Vec(const Float3 &v) { return Json::array({v.x, v.y, v.z}); }

Json VecList(const std::vector<Float3> &list) {
  Json out = Json::array();
  for (const Float3 &v : list) out.push_back(Vec(v));
  return out;
}

void PutPlacement(Json &object, const Placement &p) {
  if (p.asMatrix) {
    object["matrix"] = Json::array({Vec(p.off), Vec(p.ax), Vec(p.ay), Vec(p.az)});
    return;
  }
  object["position"] = Vec(p.position);
  object["rotation"] = Vec(p.rotation);
  object["scale"] = Vec(p.scale);
}

Json SplineObject(const char *name, const SplineInput &s, const Placement &placement) {
  static const char *kinds[] = {"linear", "cubic", "bezier"};
  Json o = {{"name", name}, {"type", "spline"}};
  PutPlacement(o, placement);
  o["interpolation"] = kinds[static_cast<int>(s.kind)];
  o["closed"] = s.closed;
  o["points"] = VecList(s.points);
  if (!s.tangentsIn.empty()) o["tangents_in"] = VecList(s.tangentsIn);
  if (!s.tangentsOut.empty()) o["tangents_out"] = VecList(s.tangentsOut);
  return o;
}

Json CurveJson(const CurveInput &c) {
  Json knots = Json::array();
  for (size_t i = 0; i < c.knots.size(); ++i) {
    Json k = Json::array({c.knots[i].first, c.knots[i].second});
    if (!c.linearKnots.empty()) k.push_back(c.linearKnots[i] ? 1 : 0);
    knots.push_back(k);
  }
  Json out = {{"knots", knots}, {"interpolation", c.smooth ? "smooth" : "linear"}};
  if (c.round) out["round"] = *c.round;
  return out;
}

}  // namespace

SplineShape SplineInput::Shape() const {
  SplineShape s;
  s.kind = kind;
  s.closed = closed;
  for (const Float3 &p : points) s.points.push_back(p.d());
  for (const Float3 &t : tangentsIn) s.tangentsIn.push_back(t.d());
  for (const Float3 &t : tangentsOut) s.tangentsOut.push_back(t.d());
  return s;
}

RefCurve CurveInput::Curve() const {
  std::vector<CurveKnot> list;
  for (size_t i = 0; i < knots.size(); ++i) {
    // A linear curve flags every knot linear; a smooth one only the knots
    // that say so.
    const bool flagged = linearKnots.empty() ? !smooth : linearKnots[i];
    list.push_back({knots[i].first, knots[i].second, flagged});
  }
  return RefCurve(std::move(list), smooth ? (round ? *round : 1.0) : 0.0);
}

DMat LocalMatrix(const Placement &p) {
  if (p.asMatrix) return {p.off.d(), p.ax.d(), p.ay.d(), p.az.d()};
  const double k = std::numbers::pi / 180;
  const double a = p.rotation.x * k, b = p.rotation.y * k, c = p.rotation.z * k;
  // Rotations about X, then Y, then Z: R = Rz Ry Rx, each turning
  // counter-clockwise when seen from the positive end of its axis.
  auto rx = [&](DVec3 v) {
    return DVec3(v.x, std::cos(a) * v.y - std::sin(a) * v.z, std::sin(a) * v.y + std::cos(a) * v.z);
  };
  auto ry = [&](DVec3 v) {
    return DVec3(std::cos(b) * v.x + std::sin(b) * v.z, v.y, -std::sin(b) * v.x + std::cos(b) * v.z);
  };
  auto rz = [&](DVec3 v) {
    return DVec3(std::cos(c) * v.x - std::sin(c) * v.y, std::sin(c) * v.x + std::cos(c) * v.y, v.z);
  };
  auto rot = [&](DVec3 v) { return rz(ry(rx(v))); };
  return {p.position.d(), rot({1, 0, 0}) * p.scale.x, rot({0, 1, 0}) * p.scale.y, rot({0, 0, 1}) * p.scale.z};
}

std::string SceneJson(const Scene &scene) {
  Json objects = Json::array();
  Json path = SplineObject("Path", scene.path, scene.pathPlacement);
  if (scene.pathParent) {
    Json parent = {{"name", "PathParent"}, {"type", "null"}};
    PutPlacement(parent, *scene.pathParent);
    parent["children"] = Json::array({path});
    objects.push_back(parent);
  } else {
    objects.push_back(path);
  }
  if (scene.rail) objects.push_back(SplineObject("Rail", *scene.rail, scene.railPlacement));

  const DeformerSettings &d = scene.deformer;
  Json params = {{"KURVO_SPLINE", "Path"},
                 {"KURVO_OFFSET", d.offset},
                 {"KURVO_ROTATION", d.rotation},
                 {"KURVO_RANDOM", d.random},
                 {"KURVO_STRETCH", d.stretch},
                 {"KURVO_STRETCH_FACTOR", d.stretchFactor},
                 {"KURVO_UP_MODE", d.upMode},
                 {"KURVO_UP_VECTOR", Vec(d.upVector)},
                 {"KURVO_SCALE_STRENGTH", d.scaleStrength},
                 {"KURVO_TWIST_STRENGTH", d.twistStrength},
                 {"KURVO_PROFILE_STRENGTH", d.profileStrength}};
  if (scene.rail) params["KURVO_RAIL"] = "Rail";
  if (d.scaleCurve) params["KURVO_SCALE_CURVE"] = CurveJson(*d.scaleCurve);
  if (d.twistCurve) params["KURVO_TWIST_CURVE"] = CurveJson(*d.twistCurve);
  if (d.profileCurve) params["KURVO_PROFILE_CURVE"] = CurveJson(*d.profileCurve);
  Json bend = {{"name", "Bend"}, {"type", "Kurvo2"}};
  PutPlacement(bend, scene.deformerPlacement);
  if (!scene.deformOn) bend["deform"] = false;
  bend["params"] = params;

  Json object = {{"name", "Object"}, {"type", "polygon"}};
  PutPlacement(object, scene.objectPlacement);
  object["points"] = VecList(scene.objectPoints);
  Json polygons = Json::array();
  for (const auto &t : scene.triangles) polygons.push_back(Json::array({t[0], t[1], t[2]}));
  object["polygons"] = polygons;
  Json tags = Json::array();
  if (scene.tagIndex)
    tags.push_back({{"type", "VorlaDeformerTag"}, {"params", {{"1000", *scene.tagIndex}, {"1001", 10}}}});
  if (!scene.weights.empty()) tags.push_back({{"type", "vertexmap"}, {"weights", scene.weights}});
  if (!tags.empty()) object["tags"] = tags;
  object["children"] = Json::array({bend});
  objects.push_back(object);

  Json file = {{"format", "kurvo-scene"}, {"version", 1}, {"objects", objects}};
  return file.dump(1);
}

}  // namespace kurvo::reference
