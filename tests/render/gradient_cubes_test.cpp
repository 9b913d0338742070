// The example of ten tagged cubes sharing one gradient material: rendered as
// a ramp from the first knot's colour towards the last, exported with the
// same colours, and with the random switch on, seeded colours that stay the
// same from run to run.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "mesh_import.h"
#include "render_fixture.h"
#include "temp_dir.h"
#include "vector_expect.h"

namespace {

namespace sf = kurvo::scenefile;
using kurvo::host::Document;
using render_test::rampAt;
using render_test::runTool;

const std::filesystem::path kExample = std::filesystem::path(KURVO_EXAMPLES_DIR) / "gradient_cubes.json";

std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST_F(SceneTest, ExampleRendersAsARamp) {
  sf::Scene scene;
  Document& doc = load(readText(kExample), scene, kExample);
  doc.evaluate();
  kurvo::media::RenderOptions options;
  options.width = 640;
  options.height = 360;
  options.view = kurvo::media::View::front;
  options.flat = true;
  const render_test::Rendered r = render_test::renderDocument(doc, options);
  EXPECT_TRUE(r.warnings.empty());
  std::array<uint8_t, 3> previous{};
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    // The face towards the camera (front view looks along +Z).
    const auto pixel = render_test::pixelAt(r, Vector(-675.0f + 150.0f * i, 0.0f, -50.0f));
    const auto expected = render_test::bytes(rampAt(i / 10.0f));
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(pixel[k], expected[k], 1) << "channel " << k;
    if (i > 0) {
      EXPECT_LT(pixel[0], previous[0]);  // red falls, blue rises along the row
      EXPECT_GT(pixel[2], previous[2]);
    }
    previous = pixel;
  }
  EXPECT_EQ(render_test::pixelAt(r, Vector(-675, 0, -50)), render_test::bytes(Vector(1, 0.3f, 0)));
}

// Seen end-on the ten cubes are one square: every pixel inside it belongs
// to some face, the shared diagonals of the faces included.
TEST_F(SceneTest, ExampleSeenEndOnHasNoHoles) {
  sf::Scene scene;
  Document& doc = load(readText(kExample), scene, kExample);
  doc.evaluate();
  kurvo::media::RenderOptions options;  // the tool's default picture
  options.view = kurvo::media::View::side;
  options.flat = true;
  const render_test::Rendered r = render_test::renderDocument(doc, options);
  const kurvo::media::Image& image = r.image;
  const std::array<uint8_t, 3> background = render_test::bytes(options.background);
  int covered = 0, holes = 0;
  for (int y = 0; y < image.height; ++y) {
    int first = -1, last = -1;
    for (int x = 0; x < image.width; ++x)
      if (image.pixel(x, y) != background) (first < 0 ? first : last) = x, last = x;
    for (int x = first; first >= 0 && x <= last; ++x) (image.pixel(x, y) == background ? holes : covered) += 1;
  }
  EXPECT_GT(covered, 100000);
  EXPECT_EQ(holes, 0);
}

TEST_F(SceneTest, ExportCarriesTheShaderColours) {
  TempDir dir;
  ASSERT_EQ(runTool("eval " + kExample.string() + " -o " + (dir / "cubes.glb").string()), 0);
  auto meshes = kurvo::media::import_meshes(dir / "cubes.glb");
  ASSERT_TRUE(meshes.ok()) << meshes.message();
  ASSERT_EQ(meshes.value().size(), 10u);
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    const kurvo::media::Mesh& m = meshes.value()[static_cast<size_t>(i)];
    EXPECT_EQ(m.name, "Cube" + std::to_string(i));
    ASSERT_TRUE(m.colour.has_value());
    EXPECT_VEC_NEAR(*m.colour, rampAt(i / 10.0f), 1e-6f);
  }

  // OBJ: the same colours as the materials' diffuse colours.
  ASSERT_EQ(runTool("eval " + kExample.string() + " -o " + (dir / "cubes.obj").string()), 0);
  const std::string mtl = readText(dir / "cubes.mtl");
  size_t diffuse = 0;
  for (size_t at = mtl.find("Kd "); at != std::string::npos; at = mtl.find("Kd ", at + 1)) ++diffuse;
  EXPECT_EQ(diffuse, 10u);
  EXPECT_NE(mtl.find("newmtl kurvo_0_Cube0\nKd 1 0.3 0\n"), std::string::npos) << mtl;  // the first knot

  // JSON: the scene with each object's baked colour, which loading ignores.
  ASSERT_EQ(runTool("eval " + kExample.string() + " -o " + (dir / "cubes.json").string()), 0);
  const sf::Json saved = sf::Json::parse(readText(dir / "cubes.json"));
  ASSERT_EQ(saved["objects"].size(), 10u);
  for (int i = 0; i < 10; ++i) {
    const sf::Json& baked = saved["objects"][static_cast<size_t>(i)]["baked_color"];
    ASSERT_TRUE(baked.is_array()) << i;
    EXPECT_VEC_NEAR(Vector(baked[0].get<float>(), baked[1].get<float>(), baked[2].get<float>()), rampAt(i / 10.0f),
                    1e-6f);
  }
  EXPECT_EQ(saved["objects"][0]["material"], "Ramp");
  sf::Scene again;
  Document& reloaded = load(readText(dir / "cubes.json"), again, dir / "cubes.json");
  EXPECT_EQ(reloaded.materials().size(), 1u);
}

TEST_F(SceneTest, RandomColoursAreSeededAndSameFromRunToRun) {
  TempDir dir;
  dir.write("random.json", render_test::tenCubes("\"Vorla Gradient\"", render_test::kRampKnots, true, 0));
  ASSERT_EQ(runTool("eval " + (dir / "random.json").string() + " -o " + (dir / "a.glb").string()), 0);
  ASSERT_EQ(runTool("eval " + (dir / "random.json").string() + " -o " + (dir / "b.glb").string()), 0);
  auto a = kurvo::media::import_meshes(dir / "a.glb");
  auto b = kurvo::media::import_meshes(dir / "b.glb");
  ASSERT_TRUE(a.ok() && b.ok());
  ASSERT_EQ(a.value().size(), 10u);
  ASSERT_EQ(b.value().size(), 10u);
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(*a.value()[i].colour, *b.value()[i].colour) << i;
  // Index 0 seeds 0, index 7 seeds 227192: the generator's first values.
  EXPECT_VEC_NEAR(*a.value()[0].colour, rampAt(0.0000322f), 1e-5f);
  EXPECT_VEC_NEAR(*a.value()[7].colour, rampAt(0.307154f), 2e-5f);
  EXPECT_GT(std::fabs(a.value()[7].colour->x - rampAt(0.7f).x), 0.1f);  // not index / count
}

// A material whose shader cannot render: one warning line, the fallback
// colour, and the command still succeeds.
TEST_F(SceneTest, ToolWarnsAboutAShaderThatCannotRender) {
  TempDir dir;
  dir.write("broken.json", R"({"format": "kurvo-scene", "version": 1, "materials": [
      {"name": "NoRamp", "color": {"shader": 1024167, "params": {"XVORLAGRADIENT_GRADIENT": null}}}],
      "objects": [{"name": "Box", "type": "polygon", "primitive": {"kind": "cube"}, "material": "NoRamp"}]})");
  std::string warning;
  ASSERT_EQ(runTool("render " + (dir / "broken.json").string() + " -o " + (dir / "b.png").string() +
                        " --width 64 --height 64",
                    &warning),
            0);
  EXPECT_TRUE(std::filesystem::exists(dir / "b.png"));
  EXPECT_NE(warning.find("kurvo: warning: "), std::string::npos) << warning;
  EXPECT_NE(warning.find("broken.json: material \"NoRamp\""), std::string::npos) << warning;

  ASSERT_EQ(runTool("eval " + (dir / "broken.json").string() + " -o " + (dir / "b.glb").string()), 0);
  auto meshes = kurvo::media::import_meshes(dir / "b.glb");
  ASSERT_TRUE(meshes.ok());
  EXPECT_EQ(*meshes.value()[0].colour, FromKh(kurvo::host::RenderShading::kFallbackColour));
}

}  // namespace
