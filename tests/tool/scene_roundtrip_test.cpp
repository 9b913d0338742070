// Scene files: load, save, load gives the same containers and points; saving
// an evaluated scene twice gives the same text; deformed points are written
// for deformed objects only and ignored on load.
#include <gtest/gtest.h>

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "core/custom_types.h"
#include "json_text.h"
#include "demo_scene.h"
#include "placement.h"
#include "scene_fixture.h"

namespace {

using kurvo::host::Container;
using kurvo::host::Data;
using kurvo::host::Document;
using kurvo::host::Object;
namespace sf = kurvo::scenefile;

// Every kind of object, geometry, parameter and tag the format has.
const char* kFullScene = R"({
  "format": "kurvo-scene", "version": 1,
  "objects": [
    {"name": "Path", "type": "spline", "interpolation": "bezier", "closed": false,
     "position": [10, 0, 0], "rotation": [0, 90, 0],
     "points": [[0, 0, 0], [0, 50, 200], [0, 0, 400]],
     "tangents_in": [[0, 0, 0], [0, 0, -60], [0, 0, -40]],
     "tangents_out": [[0, 0, 40], [0, 0, 60], [0, 0, 0]]},
    {"name": "Rail", "type": "spline", "primitive": {"kind": "helix", "start_radius": 50, "end_radius": 80,
     "height": 400, "turns": 1.5, "subdivision": 12}},
    {"name": "Arc", "type": "spline", "primitive": {"kind": "arc", "radius": 30, "start_angle": 10, "end_angle": 200}},
    {"name": "Group", "type": "null", "matrix": [[1, 2, 3], [0, 1, 0], [-1, 0, 0], [0, 0, 2]],
     "children": [
      {"name": "Tube", "type": "polygon",
       "primitive": {"kind": "tube", "radius": 20, "height": 300, "rotation_segments": 8, "height_segments": 30},
       "tags": [{"type": "VorlaDeformerTag", "params": {"1000": 7, "1001": 12, "5": 0.25, "6": 2.0}}],
       "children": [
        {"name": "Bend", "type": "Kurvo2", "position": [0, 0, -150],
         "params": {"KURVO_SPLINE": "Path", "KURVO_RAIL": "Rail", "KURVO_UP_MODE": 2,
                    "KURVO_OFFSET": 0.1, "1203": 0.5, "KURVO_STRETCH": 2,
                    "KURVO_UP_VECTOR": [0.1, 0.7, 0.3], "KURVO_SPARE_1201": true,
                    "KURVO_TWIST_CURVE": {"knots": [[0, 0], [0.3, 1, 0], [1, 2]], "interpolation": "linear"},
                    "KURVO_TWIST_STRENGTH": 90,
                    "KURVO_SCALE_CURVE": {"knots": [[0, 1], [0.5, 1.2], [1, 0.8]], "interpolation": "smooth",
                                          "round": 0.4},
                    "77": {"link": "Arc"}, "78": {"filename": "a/b.txt"}, "79": "text",
                    "80": [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]],
                    "81": {"curve": {"knots": [[0, 0], [1, 1]], "interpolation": "smooth"}},
                    "82": {"gradient": {"knots": [{"colour": [1, 0, 0], "position": 0},
                                                  {"colour": [0, 0, 1], "position": 1, "bias": 0.3}]}},
                    "83": {"container": {"1": 5, "2": {"link": "Path"}}}, "84": null}}
       ]},
      {"name": "Quad", "type": "polygon", "deform": false,
       "points": [[0, 0, 0], [10, 0, 0], [10, 0, 10], [0, 0, 10], [5, 5, 5]],
       "polygons": [[0, 1, 2, 3], [0, 1, 4], [4, 3, 2, 1, 0]],
       "tags": [{"type": "vertexmap", "weights": [1, 0.5, 0.25, 0, 1]}],
       "children": [{"name": "Off", "type": 1024244, "deform": false, "params": {"KURVO_SPLINE": "Path"}}]}
    ]}
  ]
})";

// Two data values hold the same thing (links: the same object name).
void expectSameData(const Data& a, const Data& b, const Document& da, const Document& db, const std::string& where) {
  ASSERT_EQ(a.type(), b.type()) << where;
  switch (a.value.index()) {
    case 1: EXPECT_EQ(a.getLong(), b.getLong()) << where; break;
    case 2: EXPECT_EQ(a.getReal(), b.getReal()) << where; break;
    case 3: EXPECT_EQ(FromKh(a.getVector()), FromKh(b.getVector())) << where; break;
    case 4: {
      const KhMatrix ma = a.getMatrix(), mb = b.getMatrix();
      EXPECT_EQ(0, std::memcmp(&ma, &mb, sizeof ma)) << where;
      break;
    }
    case 5:
    case 6: EXPECT_EQ(a.getText(), b.getText()) << where; break;
    case 7: {
      auto* na = da.findLive(a.getLink());
      auto* nb = db.findLive(b.getLink());
      ASSERT_EQ(na == nullptr, nb == nullptr) << where;
      if (na) {
        EXPECT_EQ(na->name(), nb->name()) << where;
      }
      break;
    }
    case 8: {
      const Container& ca = *a.getContainer();
      const Container& cb = *b.getContainer();
      ASSERT_EQ(ca.keys(), cb.keys()) << where;
      for (int32_t k : ca.keys()) expectSameData(*ca.find(k), *cb.find(k), da, db, where + "." + std::to_string(k));
      break;
    }
    case 9:
      if (auto* ca = dynamic_cast<kurvo::host::CurveData*>(a.getCustom(kurvo::host::CurveData::kType))) {
        EXPECT_TRUE(ca->curve == static_cast<kurvo::host::CurveData*>(b.getCustom(ca->kType))->curve) << where;
      } else if (auto* ga = dynamic_cast<kurvo::host::GradientData*>(a.getCustom(kurvo::host::GradientData::kType))) {
        EXPECT_TRUE(ga->gradient == static_cast<kurvo::host::GradientData*>(b.getCustom(ga->kType))->gradient)
            << where;
      }
      break;
    default: break;
  }
}

void expectSameContainer(const Container& a, const Container& b, const Document& da, const Document& db,
                         const std::string& where) {
  ASSERT_EQ(a.keys(), b.keys()) << where;
  for (int32_t k : a.keys()) expectSameData(*a.find(k), *b.find(k), da, db, where + "." + std::to_string(k));
}

// Same objects in the same tree order with the same type, matrix, modes,
// own points, polygons, containers and tags.
void expectSameScene(Document& a, Document& b) {
  std::vector<Object*> oa, ob;
  a.forEachObject([&](Object& o) { oa.push_back(&o); });
  b.forEachObject([&](Object& o) { ob.push_back(&o); });
  ASSERT_EQ(oa.size(), ob.size());
  for (size_t i = 0; i < oa.size(); ++i) {
    const Object& x = *oa[i];
    const Object& y = *ob[i];
    const std::string& n = x.name();
    ASSERT_EQ(n, y.name());
    EXPECT_EQ(x.type(), y.type()) << n;
    EXPECT_EQ((x.parent() ? x.parent()->name() : ""), (y.parent() ? y.parent()->name() : "")) << n;
    EXPECT_EQ(0, std::memcmp(&x.localMatrix(), &y.localMatrix(), sizeof(KhMatrix))) << n;
    EXPECT_EQ(x.mode(KH_MODE_KIND_DEFORM) == 0, y.mode(KH_MODE_KIND_DEFORM) == 0) << n;
    EXPECT_EQ(x.restPoints(), y.restPoints()) << n;
    EXPECT_EQ(x.restPolygons(), y.restPolygons()) << n;
    EXPECT_EQ(x.spline().tangentsIn, y.spline().tangentsIn) << n;
    EXPECT_EQ(x.spline().tangentsOut, y.spline().tangentsOut) << n;
    expectSameContainer(x.parameters(), y.parameters(), a, b, n);
    auto* ta = x.firstTag();
    auto* tb = y.firstTag();
    for (; ta && tb; ta = static_cast<kurvo::host::Tag*>(ta->next()), tb = static_cast<kurvo::host::Tag*>(tb->next())) {
      EXPECT_EQ(ta->type(), tb->type()) << n;
      EXPECT_EQ(ta->weights, tb->weights) << n;
      expectSameContainer(ta->parameters(), tb->parameters(), a, b, n + " tag");
    }
    EXPECT_EQ(ta == nullptr, tb == nullptr) << n << ": tag count";
  }
}

TEST_F(SceneTest, LoadSaveLoadKeepsContainersAndPoints) {
  sf::Scene s1, s2, s3;
  Document& d1 = load(kFullScene, s1);
  d1.evaluate();
  auto text1 = sf::sceneText(d1, s1, "out.json", host());
  ASSERT_TRUE(text1.ok()) << text1.message();

  Document& d2 = load(text1.value(), s2);
  expectSameScene(d1, d2);
  d2.evaluate();
  auto text2 = sf::sceneText(d2, s2, "out.json", host());
  ASSERT_TRUE(text2.ok()) << text2.message();
  // Evaluating a saved file and saving again gives the same file.
  EXPECT_EQ(text1.value(), text2.value());

  // And the evaluation of the reloaded scene moved the points the same way.
  Document& d3 = load(text2.value(), s3);
  d3.evaluate();
  EXPECT_EQ(find(d1, "Tube")->points(), find(d3, "Tube")->points());
}

TEST_F(SceneTest, DeformedPointsAreWrittenForDeformedObjectsOnlyAndIgnoredOnLoad) {
  sf::Scene scene;
  Document& doc = load(kFullScene, scene);
  doc.evaluate();
  Object* tube = find(doc, "Tube");
  ASSERT_NE(tube->points(), tube->restPoints()) << "the deformer should have moved the tube";
  auto text = sf::sceneText(doc, scene, "out.json", host());
  ASSERT_TRUE(text.ok());
  const sf::Json root = sf::Json::parse(text.value());
  const sf::Json& group = root["objects"][3]["children"];
  ASSERT_TRUE(group[0].contains("deformed_points"));
  EXPECT_EQ(group[0]["deformed_points"].size(), tube->points().size());
  EXPECT_EQ(group[0]["deformed_points"][5][1].get<float>(), tube->points()[5].y);
  // The quad's deformer is switched off: its points did not change.
  EXPECT_FALSE(group[1].contains("deformed_points"));
  // The tube is written as its primitive, not as points.
  EXPECT_TRUE(group[0].contains("primitive"));
  EXPECT_FALSE(group[0].contains("points"));

  // Loading ignores the deformed points, whatever they say.
  sf::Json edited = root;
  edited["objects"][3]["children"][0]["deformed_points"] = sf::Json::array({sf::Json::array({1, 2, 3})});
  sf::Scene again;
  Document& d2 = load(edited.dump(), again);
  EXPECT_EQ(find(d2, "Tube")->points(), tube->restPoints());
}

TEST_F(SceneTest, CurvesKeepTheirInterpolationAndKnots) {
  sf::Scene scene;
  Document& doc = load(kFullScene, scene);
  const Container& p = find(doc, "Bend")->parameters();
  auto curve = [&](int32_t id) -> const kurvo::geo::Curve& {
    return static_cast<kurvo::host::CurveData*>(p.find(id)->getCustom(kurvo::host::CurveData::kType))->curve;
  };
  const auto& twist = curve(1003);
  ASSERT_EQ(twist.KnotCount(), 3);
  EXPECT_EQ(twist.GetKnot(0).flags, kurvo::geo::Curve::kLinearKnot);
  EXPECT_EQ(twist.GetKnot(1).flags, 0);  // given explicitly
  EXPECT_EQ(twist.Round(), 0.0f);
  const auto& scale = curve(1004);
  EXPECT_EQ(scale.Round(), 0.4f);
  // A real given by ID with a fraction, a bool given as 2, and an untouched default.
  EXPECT_EQ(p.find(1203)->value.index(), 2u);
  EXPECT_EQ(p.getLong(1005), 2);
  EXPECT_EQ(p.getLong(1103), 1234567);
}

TEST_F(SceneTest, PlacementFromPositionRotationAndScale) {
  const KhMatrix m = sf::composePlacement(Vector(1, 2, 3), Vector(0, 90, 0), Vector(2, 1, 1));
  EXPECT_EQ(FromKh(m.off), Vector(1, 2, 3));
  EXPECT_EQ(FromKh(m.v1), Vector(0, 0, -2));  // X turned to -Z, scaled by 2
  EXPECT_EQ(FromKh(m.v3), Vector(1, 0, 0));   // Z turned to X
  const KhMatrix r = sf::composePlacement(Vector(), Vector(90, 0, 90), Vector(1));
  // About X first (Y -> Z), then about Z (X -> Y).
  EXPECT_EQ(FromKh(r.v1), Vector(0, 1, 0));
  EXPECT_EQ(FromKh(r.v2), Vector(0, 0, 1));
  EXPECT_EQ(FromKh(r.v3), Vector(1, 0, 0));
}

TEST_F(SceneTest, ShortestFloatTextReadsBackExactly) {
  for (float f : {0.1f, 1.0f / 3.0f, 5306.6353f, -1.17549435e-38f, 3.4028235e38f, 1e-45f}) {
    const std::string text = sf::Json(sf::jsonFloat(f)).dump();
    EXPECT_EQ(static_cast<float>(std::stod(text)), f) << text;
  }
  EXPECT_EQ(sf::Json(sf::jsonFloat(0.1f)).dump(), "0.1");
  EXPECT_EQ(sf::Json(sf::jsonFloat(2.0f)).dump(), "2.0");
}

TEST_F(SceneTest, DemoSceneLoadsAndBendsBothObjects) {
  sf::Scene scene;
  Document& doc = load(sf::prettyJson(sf::demoScene()), scene);
  doc.evaluate();
  for (const char* name : {"Ribbon", "Bar"}) {
    Object* o = find(doc, name);
    ASSERT_NE(o, nullptr) << name;
    EXPECT_GT(o->points().size(), 1000u) << name;
    EXPECT_NE(o->points(), o->restPoints()) << name;
  }
  EXPECT_GT(find(doc, "Ribbon")->points().size(), 200000u);
  EXPECT_GT(find(doc, "Bend")->parameters().getReal(1014), 5000.0f);  // the helix's length
}

// Every real in the text, as written.
std::vector<std::string> realsIn(const std::string& text) {
  std::vector<std::string> out;
  for (size_t i = 0; i < text.size();) {
    const bool starts = (text[i] == '-' || std::isdigit(static_cast<unsigned char>(text[i]))) &&
                        (i == 0 || std::strchr("[ ,:", text[i - 1]));
    if (!starts) {
      ++i;
      continue;
    }
    size_t end = i + 1;
    while (end < text.size() && std::strchr("0123456789.eE+-", text[end])) ++end;
    const std::string token = text.substr(i, end - i);
    if (token.find_first_of(".eE") != std::string::npos) out.push_back(token);
    i = end;
  }
  return out;
}

TEST_F(SceneTest, EveryRealIsWrittenInItsShortestForm) {
  // The demo (its reals were once widened floats, 0.699999988079071), an arc
  // with its default angles (converted from radians and back) and a scene
  // with deformed points (computed values).
  sf::Scene demo, arc;
  Document& demoDoc = load(sf::prettyJson(sf::demoScene()), demo);
  demoDoc.evaluate();
  Document& arcDoc = load(sceneWith(R"({"name": "Arc", "type": "spline", "primitive": {"kind": "arc", "radius": 123.4}},
                                     {"name": "Tube", "type": "polygon", "primitive": {"kind": "tube", "radius": 7.3},
                                      "children": [{"name": "Bend", "type": "Kurvo2",
                                                    "params": {"KURVO_SPLINE": "Arc", "KURVO_OFFSET": 0.1}}]})"),
                          arc);
  arcDoc.evaluate();
  size_t checked = 0;
  for (auto [doc, scene] : {std::pair{&demoDoc, &demo}, std::pair{&arcDoc, &arc}}) {
    const auto saved = sf::sceneText(*doc, *scene, "out.json", host());
    ASSERT_TRUE(saved.ok()) << saved.message();
    const std::string& text = saved.value();
    for (const std::string& token : realsIn(text)) {
      const float value = std::strtof(token.c_str(), nullptr);
      char shortest[64];
      *std::to_chars(shortest, shortest + sizeof shortest, value).ptr = '\0';
      std::string expected = shortest;
      if (expected.find_first_of(".eEn") == std::string::npos) expected += ".0";
      ASSERT_EQ(token, expected);
      ++checked;
    }
    if (doc == &arcDoc) {
      EXPECT_NE(text.find("\"end_angle\": 90.0"), std::string::npos) << text.substr(0, 2000);
    }
  }
  EXPECT_GT(checked, 1000u);
}

}  // namespace
