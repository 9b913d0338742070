// Materials in scene files: reading (with messages that name the file, the
// material or object, and the field), writing back, and the shader nodes'
// lifetime in the document.
#include <gtest/gtest.h>

#include "core/custom_types.h"
#include "core/memory.h"
#include "render_fixture.h"

namespace {

namespace sf = kurvo::scenefile;
using kurvo::host::Document;
using render_test::kRampKnots;
using render_test::tenCubes;

std::string withMaterials(const std::string& materials, const std::string& objects) {
  return R"({"format": "kurvo-scene", "version": 1, "materials": [)" + materials + R"(], "objects": [)" + objects +
         "]}";
}

const char* kCube = R"({"name": "Box", "type": "polygon", "primitive": {"kind": "cube"}, "material": "Red"})";
const char* kRed = R"({"name": "Red", "color": [1, 0, 0]})";

std::string gradientMaterial(const std::string& knots) {
  return R"({"name": "Red", "color": {"shader": "Vorla Gradient", "params": {"XVORLAGRADIENT_GRADIENT": {"knots": )" +
         knots + "}}}}";
}

TEST_F(SceneTest, MaterialsAreReadByShaderNameOrIdWithTheirParameters) {
  sf::Scene scene;
  Document& doc = load(tenCubes("1024167", kRampKnots, true, 42), scene);
  ASSERT_EQ(doc.materials().size(), 1u);
  const kurvo::host::Material& ramp = *doc.materials()[0];
  EXPECT_EQ(ramp.name, "Ramp");
  ASSERT_NE(ramp.shader, nullptr);
  EXPECT_EQ(ramp.shader->type(), render_test::kGradientShader);
  EXPECT_NE(ramp.shader->pluginData(), nullptr);  // made by the module's alloc and init
  EXPECT_EQ(ramp.shader->document(), &doc);
  EXPECT_TRUE(ramp.shader->parameters().getBool(1005));
  EXPECT_EQ(ramp.shader->parameters().getLong(1006), 42);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(doc.materialOf(*find(doc, "Cube" + std::to_string(i))), &ramp) << i;

  sf::Scene byName;
  Document& named = load(withMaterials(R"({"name": "G", "color": {"shader": "Vorla Gradient"}})", ""), byName);
  ASSERT_EQ(named.materials().size(), 1u);
  // No params: the shader's own defaults (two knots).
  const auto* gradient = static_cast<kurvo::host::GradientData*>(
      named.materials()[0]->shader->parameters().find(1004)->getCustom(kurvo::host::GradientData::kType));
  ASSERT_NE(gradient, nullptr);
  EXPECT_EQ(gradient->gradient.KnotCount(), 2);
}

TEST_F(SceneTest, PlainColourMaterialAndObjectsWithout) {
  sf::Scene scene;
  Document& doc = load(withMaterials(kRed, std::string(kCube) +
                                               R"(, {"name": "Bare", "type": "polygon", "primitive": {"kind": "cube"}})"),
                       scene);
  const kurvo::host::Material* red = doc.findMaterial("Red");
  ASSERT_NE(red, nullptr);
  EXPECT_EQ(red->shader, nullptr);
  EXPECT_EQ(red->colour, Vector(1, 0, 0));
  EXPECT_EQ(doc.materialOf(*find(doc, "Box")), red);
  EXPECT_EQ(doc.materialOf(*find(doc, "Bare")), nullptr);
}

// Each mistake names the file, the material or object, and the field.
TEST_F(SceneTest, MaterialMistakesAreNamed) {
  struct Case {
    const char* what;
    std::string text;
    std::string expected;
  };
  const std::string spline = R"({"name": "Path", "type": "spline", "points": [[0,0,0],[1,0,0]], "material": "Red"})";
  const Case cases[] = {
      {"unknown material", withMaterials(kRed, R"({"name": "Box", "type": "polygon", "primitive": {"kind": "cube"},
                                                   "material": "Rde"})"),
       R"(bad.json: object "Box": material: no material is named "Rde")"},
      {"material on a spline", withMaterials(kRed, spline),
       R"(bad.json: object "Path": material: only polygon objects take a material)"},
      {"unknown shader name", withMaterials(R"({"name": "Red", "color": {"shader": "Vorla Gradeint"}})", kCube),
       R"(bad.json: material "Red": color.shader: unknown shader "Vorla Gradeint")"},
      {"unknown shader ID", withMaterials(R"({"name": "Red", "color": {"shader": 1024244}})", kCube),
       R"(bad.json: material "Red": color.shader: no shader plug-in with ID 1024244 is registered)"},
      {"missing shader", withMaterials(R"({"name": "Red", "color": {"params": {}}})", kCube),
       R"(bad.json: material "Red": color.shader: missing)"},
      {"plain colour out of range", withMaterials(R"({"name": "Red", "color": [1, 2, 0]})", kCube),
       R"(bad.json: material "Red": color[1]: must be between 0 and 1)"},
      {"colour of the wrong form", withMaterials(R"({"name": "Red", "color": "red"})", kCube),
       R"(bad.json: material "Red": color: expected a colour [r, g, b] or a shader)"},
      {"no colour", withMaterials(R"({"name": "Red"})", kCube), R"(bad.json: material "Red": color: missing)"},
      {"duplicate material", withMaterials(std::string(kRed) + "," + kRed, kCube),
       R"(bad.json: material "Red": name: another material already has this name)"},
      {"unknown material field", withMaterials(R"({"name": "Red", "color": [1, 0, 0], "gloss": 1})", kCube),
       R"(bad.json: material "Red": gloss: unknown field)"},
      {"knot position", withMaterials(gradientMaterial(R"([{"color": [1, 0, 0], "position": 1.5}])"), kCube),
       R"(bad.json: material "Red": color.params.XVORLAGRADIENT_GRADIENT.knots[0].position: must be between 0 and 1)"},
      {"knot bias", withMaterials(gradientMaterial(R"([{"color": [1, 0, 0]}, {"color": [0, 0, 1], "bias": -0.1}])"),
                                  kCube),
       R"(color.params.XVORLAGRADIENT_GRADIENT.knots[1].bias: must be between 0 and 1)"},
      {"knot colour", withMaterials(gradientMaterial(R"([{"color": [1, 0, 7]}])"), kCube),
       R"(color.params.XVORLAGRADIENT_GRADIENT.knots[0].color[2]: must be between 0 and 1)"},
      {"knot without colour", withMaterials(gradientMaterial(R"([{"position": 0}])"), kCube),
       R"(color.params.XVORLAGRADIENT_GRADIENT.knots[0].color: missing)"},
      {"no knots", withMaterials(gradientMaterial("[]"), kCube),
       R"(color.params.XVORLAGRADIENT_GRADIENT.knots: a gradient needs at least one knot)"},
      {"unknown shader parameter", withMaterials(R"({"name": "Red", "color": {"shader": "Vorla Gradient",
                                                     "params": {"XVORLAGRADIENT_SEDE": 1}}})", kCube),
       R"(bad.json: material "Red": color.params.XVORLAGRADIENT_SEDE: unknown parameter symbol)"},
  };
  for (const Case& c : cases) {
    const std::string message = loadError(c.text);
    EXPECT_NE(message.find(c.expected), std::string::npos) << c.what << ": " << message;
  }
}

TEST_F(SceneTest, MaterialsSurviveSaveAndLoad) {
  sf::Scene scene;
  const std::string materials =
      std::string(R"({"name": "Red", "color": [1, 0, 0.25]}, )") +
      R"({"name": "Ramp", "color": {"shader": "Vorla Gradient", "params": {"XVORLAGRADIENT_GRADIENT": {"knots": [
           {"colour": [1, 0.3, 0], "position": 0, "brightness": 0.8},
           {"color": [0, 0.4, 1], "position": 1, "bias": 0.25}]}, "XVORLAGRADIENT_RANDOM": true,
           "XVORLAGRADIENT_SEED": -7}}})";
  const std::string objects =
      std::string(kCube) + R"(, {"name": "Other", "type": "polygon", "primitive": {"kind": "cube"}, "material": "Ramp"},
                               {"name": "Bare", "type": "polygon", "primitive": {"kind": "cube"}})";
  Document& first = load(withMaterials(materials, objects), scene);
  auto text = sf::sceneText(first, scene, "scene.json", host());
  ASSERT_TRUE(text.ok()) << text.message();

  sf::Scene again;
  Document& second = load(text.value(), again);
  ASSERT_EQ(second.materials().size(), 2u);
  EXPECT_EQ(second.materials()[0]->name, "Red");
  EXPECT_EQ(second.materials()[0]->colour, Vector(1, 0, 0.25f));
  const kurvo::host::Material& ramp = *second.materials()[1];
  ASSERT_NE(ramp.shader, nullptr);
  const auto gradientOf = [](const kurvo::host::Material& m) {
    return static_cast<kurvo::host::GradientData*>(
               m.shader->parameters().find(1004)->getCustom(kurvo::host::GradientData::kType))
        ->gradient;
  };
  EXPECT_TRUE(gradientOf(ramp) == gradientOf(*first.materials()[1]));
  EXPECT_EQ(gradientOf(ramp).GetKnot(0).brightness, 0.8f);
  EXPECT_EQ(gradientOf(ramp).GetKnot(1).bias, 0.25f);
  EXPECT_TRUE(ramp.shader->parameters().getBool(1005));
  EXPECT_EQ(ramp.shader->parameters().getLong(1006), -7);
  EXPECT_EQ(second.materialOf(*find(second, "Box"))->name, "Red");
  EXPECT_EQ(second.materialOf(*find(second, "Other")), &ramp);
  EXPECT_EQ(second.materialOf(*find(second, "Bare")), nullptr);

  // And the text is stable from then on.
  auto text2 = sf::sceneText(second, again, "scene.json", host());
  ASSERT_TRUE(text2.ok());
  EXPECT_EQ(text2.value(), text.value());
}

// The module's shader data is made when the material is read and released
// with the document, also when the load fails after the shader was made.
TEST_F(SceneTest, ShaderNodesAreFreedWithTheDocument) {
  kurvo::host::Memory::resetCounters();
  const int64_t blocks = kurvo::host::Memory::liveBlocks();
  const int64_t handles = kurvo::host::LiveHandles::count();
  {
    Document doc;
    auto loaded = sf::loadSceneText(tenCubes("\"Vorla Gradient\"", kRampKnots), "scene.json", doc, host());
    ASSERT_TRUE(loaded.ok()) << loaded.message();
    EXPECT_GT(kurvo::host::Memory::liveBlocks(), blocks);
  }
  EXPECT_EQ(kurvo::host::Memory::liveBlocks(), blocks);
  EXPECT_EQ(kurvo::host::LiveHandles::count(), handles);
  {
    Document doc;
    const std::string bad = withMaterials(gradientMaterial(R"([{"color": [1, 0, 0], "position": 3}])"), kCube);
    EXPECT_FALSE(sf::loadSceneText(bad, "bad.json", doc, host()).ok());
  }
  EXPECT_EQ(kurvo::host::Memory::liveBlocks(), blocks);
  EXPECT_EQ(kurvo::host::LiveHandles::count(), handles);
}

// The module cannot free or move a shader node through the list-node
// family: the material owns it.
TEST_F(SceneTest, ShaderNodeStaysWithItsMaterial) {
  sf::Scene scene;
  Document& doc = load(tenCubes("1024167", kRampKnots), scene);
  kurvo::host::Shader* shader = doc.materials()[0]->shader.get();
  const KhHostTable& table = session_->table();
  table.list_node->free(shader->handle());
  table.node_member->remove(shader->handle());
  table.node_member->insert_under_last(shader->handle(), find(doc, "Cube0")->handle());
  EXPECT_TRUE(shader->alive());
  EXPECT_EQ(table.list_node->get_type(shader->handle()), render_test::kGradientShader);
  EXPECT_EQ(table.list_node->get_document(shader->handle()), doc.handle());
  EXPECT_EQ(find(doc, "Cube0")->firstChild(), nullptr);
}

}  // namespace
