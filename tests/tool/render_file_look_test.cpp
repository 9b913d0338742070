// A render draws a mesh file as the file colours it: each face in its own
// material's base colour, point colours blended across the faces, unless
// the scene gives the object a material of its own.
#include <gtest/gtest.h>

#include <array>

#include "raster.h"
#include "scene_fixture.h"
#include "scene_preview.h"
#include "temp_dir.h"

namespace {

namespace sf = kurvo::scenefile;
using kurvo::host::Document;

// Two materials side by side: a quad on the left, a pentagon (an n-gon the
// host cuts into triangles) on the right, seen from the front.
const char* kTwoMaterialsObj =
    "mtllib two.mtl\n"
    "v -10 -5 0\nv 0 -5 0\nv 0 5 0\nv -10 5 0\n"
    "v 10 -5 0\nv 10 5 0\nv 5 6 0\n"
    "usemtl Red\nf 1 2 3 4\n"
    "usemtl Blue\nf 2 5 6 7 3\n";
const char* kTwoMaterialsMtl = "newmtl Red\nKd 0.9 0.1 0.1\nnewmtl Blue\nKd 0.1 0.1 0.9\n";

// Points coloured red on the left and green on the right, no materials.
const char* kPointColoursObj =
    "v -10 -5 0 1 0 0\nv 10 -5 0 0 1 0\nv 10 5 0 0 1 0\nv -10 5 0 1 0 0\nf 1 2 3 4\n";

std::array<uint8_t, 3> pixelAt(const kurvo::media::Image& image, float across, float down) {
  return image.pixel(static_cast<int>(across * static_cast<float>(image.width)),
                     static_cast<int>(down * static_cast<float>(image.height)));
}

kurvo::media::Image renderFront(Document& doc, const sf::Scene& scene) {
  doc.evaluate();
  const sf::Preview preview = sf::buildPreview(doc, nullptr, {}, {}, &scene.sources);
  kurvo::media::RenderOptions options;
  options.width = 200;
  options.height = 100;
  options.view = kurvo::media::View::front;
  options.flat = true;  // the plain colours, no light
  return kurvo::media::render(preview.drawList(), options);
}

TEST_F(SceneTest, RenderDrawsEachFaceInItsFileMaterialAndPointColoursAcross) {
  TempDir dir;
  dir.write("two.obj", kTwoMaterialsObj);
  dir.write("two.mtl", kTwoMaterialsMtl);
  dir.write("painted.obj", kPointColoursObj);

  {
    sf::Scene scene;
    Document& doc = load(sceneWith(R"({"name": "Two", "type": "polygon", "mesh": "two.obj"})"), scene,
                         dir / "scene.json");
    const kurvo::media::Image image = renderFront(doc, scene);
    // Flat colours are the materials' own, to the byte.
    EXPECT_EQ(pixelAt(image, 0.3f, 0.5f), (std::array<uint8_t, 3>{230, 26, 26}));
    EXPECT_EQ(pixelAt(image, 0.7f, 0.5f), (std::array<uint8_t, 3>{26, 26, 230}));
  }
  for (const std::string file : {"two.obj", "painted.obj"}) {
    // A scene material is the object's whole look: no file material, no tint.
    sf::Scene scene;
    Document& doc = load(R"({"format": "kurvo-scene", "version": 1,
                             "materials": [{"name": "Grey", "color": [0.5, 0.5, 0.5]}],
                             "objects": [{"name": "M", "type": "polygon", "mesh": ")" + file + R"(", "material": "Grey"}]})",
                         scene, dir / "scene.json");
    const kurvo::media::Image image = renderFront(doc, scene);
    EXPECT_EQ(pixelAt(image, 0.2f, 0.5f), (std::array<uint8_t, 3>{128, 128, 128})) << file;
    EXPECT_EQ(pixelAt(image, 0.8f, 0.5f), (std::array<uint8_t, 3>{128, 128, 128})) << file;
  }
  {
    sf::Scene scene;
    Document& doc = load(sceneWith(R"({"name": "Painted", "type": "polygon", "mesh": "painted.obj"})"), scene,
                         dir / "scene.json");
    const kurvo::media::Image image = renderFront(doc, scene);
    const auto left = pixelAt(image, 0.15f, 0.5f), middle = pixelAt(image, 0.5f, 0.5f),
               right = pixelAt(image, 0.85f, 0.5f);
    EXPECT_GT(left[0], 150);
    EXPECT_LT(left[1], 100);
    EXPECT_GT(right[1], 150);
    EXPECT_LT(right[0], 100);
    // Halfway, half of each (blended, not one colour per triangle).
    EXPECT_NEAR(middle[0], 128, 20);
    EXPECT_NEAR(middle[1], 128, 20);
  }
}

}  // namespace
