#include "demo_scene.h"

#include <cmath>
#include <numbers>

#include "scene_file.h"

namespace kurvo::scenefile {
namespace {

Json curve(std::initializer_list<std::pair<float, float>> knots, const char* interpolation) {
  Json list = Json::array();
  for (const auto& [x, y] : knots) list.push_back(Json::array({x, y}));
  return Json{{"knots", list}, {"interpolation", interpolation}};
}

// The wave that the bar follows, and the rail that circles it: the rail's
// offset from the wave turns one and a half times about the wave's direction,
// and the bar's cross-section turns with it.
constexpr int kWavePoints = 25;
constexpr float kWaveLength = 3200.0f;

Vector wavePoint(int i) {
  const float u = static_cast<float>(i) / (kWavePoints - 1);
  return Vector(700.0f + kWaveLength * u, 700.0f, 260.0f * std::sin(u * 2.0f * std::numbers::pi_v<float>));
}

Vector railPoint(int i) {
  const float u = static_cast<float>(i) / (kWavePoints - 1);
  const float angle = u * 3.0f * std::numbers::pi_v<float>;
  return wavePoint(i) + Vector(0.0f, 180.0f * std::cos(angle), 180.0f * std::sin(angle));
}

Json wave(Vector (*point)(int)) {
  Json points = Json::array();
  for (int i = 0; i < kWavePoints; ++i) {
    const Vector p = point(i);
    points.push_back(Json::array({jsonFloat(p.x), jsonFloat(p.y), jsonFloat(p.z)}));
  }
  return points;
}

}  // namespace

Json demoScene() {
  // Path 1: a helix standing up (its own Z axis turned to the world's Y).
  Json helix = {{"name", "Helix"},
                {"type", "spline"},
                {"rotation", {-90, 0, 0}},
                {"primitive",
                 {{"kind", "helix"},
                  {"start_radius", 420},
                  {"end_radius", 300},
                  {"height", 1500},
                  {"turns", 2.25},
                  {"subdivision", 16}}}};

  // The ribbon: 32 x 8000 segments along its Z axis, bent onto the helix. The
  // deformer sits at the ribbon's back end (at the world origin, where its
  // arrow shows inside the helix), so the ribbon starts at the helix's start. Up is the helix axis; the twist turns the ribbon about four
  // times (it acts together with the random value, which the tag fixes).
  Json bend = {{"name", "Bend"},
               {"type", "Kurvo2"},
               {"position", {0, 0, -2600}},
               {"deform", true},
               {"params",
                {{"KURVO_SPLINE", "Helix"},
                 {"KURVO_UP_MODE", 0},
                 {"KURVO_UP_VECTOR", {0, 0, 1}},
                 {"KURVO_TWIST_CURVE", curve({{0.0f, 0.0f}, {1.0f, 1.0f}}, "linear")},
                 {"KURVO_TWIST_STRENGTH", 1440},
                 {"KURVO_RANDOM", 1.0},
                 {"KURVO_SCALE_CURVE", curve({{0.0f, 0.7f}, {0.5f, 1.5f}, {1.0f, 0.7f}}, "smooth")},
                 {"KURVO_PROFILE_CURVE", curve({{0.0f, 0.05f}, {0.06f, 1.0f}, {0.94f, 1.0f}, {1.0f, 0.05f}}, "smooth")}}}};
  Json ribbon = {{"name", "Ribbon"},
                 {"type", "polygon"},
                 {"position", {0, 0, 2600}},
                 {"primitive",
                  {{"kind", "plane"}, {"width", 240}, {"depth", 5200}, {"width_segments", 32}, {"depth_segments", 8000}}},
                 {"material", "Ribbon gradient"},
                 {"tags", Json::array({{{"type", 1024306}, {"params", {{"1000", 13}, {"1001", 20}}}}})},
                 {"children", Json::array({bend})}};

  // Path 2 and its rail, beside the helix; the bar is rolled by the rail (up
  // mode 2). The bar and its deformer are turned so that the deformer's arrow
  // sits at the wave's start and points along it.
  Json wavePath = {{"name", "Wave"}, {"type", "spline"}, {"interpolation", "cubic"}, {"closed", false},
                   {"points", wave(wavePoint)}};
  Json rail = {{"name", "Rail"}, {"type", "spline"}, {"interpolation", "cubic"}, {"closed", false},
               {"points", wave(railPoint)}};
  // The bar travels along the wave and back over the two seconds of the
  // scene's time: its deformer's offset is animated.
  Json guide = {{"name", "Guide"},
                {"type", "Kurvo2"},
                {"position", {0, 0, -1600}},
                {"params", {{"KURVO_SPLINE", "Wave"}, {"KURVO_RAIL", "Rail"}, {"KURVO_UP_MODE", 2}}},
                {"tracks", Json::array({{{"param", "KURVO_OFFSET"},
                                         {"interpolation", "smooth"},
                                         {"keys", Json::array({{0, 0.0}, {24, 0.3}, {48, 0.0}})}}})}};
  Json bar = {{"name", "Bar"},
              {"type", "polygon"},
              {"position", {2300, 700, 0}},
              {"rotation", {0, 90, 0}},
              {"primitive", {{"kind", "cube"}, {"size", {120, 24, 3200}}, {"segments", {6, 2, 800}}}},
              {"children", Json::array({guide})}};

  // The ribbon's colour comes from the gradient shader: its tag's index over
  // its count (13 / 20) picks the place on the gradient.
  Json knots = Json::array({{{"color", {1.0, 0.78, 0.25}}, {"position", 0}},
                            {{"color", {0.75, 0.12, 0.35}}, {"position", 1}}});
  Json material = {{"name", "Ribbon gradient"},
                   {"color", {{"shader", "Vorla Gradient"}, {"params", {{"XVORLAGRADIENT_GRADIENT", {{"knots", knots}}}}}}}};

  return Json{{"format", kFormatName},
              {"version", kFormatVersion},
              {"time", {{"fps", 24}, {"start", 0}, {"end", 48}}},
              {"materials", Json::array({material})},
              {"objects", Json::array({helix, ribbon, wavePath, rail, bar})}};
}

}  // namespace kurvo::scenefile
