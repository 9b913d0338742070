// Renders call the shader per pixel from every render thread at once. Built
// on its own so that scripts/tsan.sh can run it under ThreadSanitizer.
#include <gtest/gtest.h>

#include "render_fixture.h"

namespace {

namespace sf = kurvo::scenefile;
using kurvo::host::Document;
using render_test::shaderCalls;

kurvo::media::RenderOptions smallFront(int threads) {
  kurvo::media::RenderOptions options;
  options.width = 320;
  options.height = 180;
  options.view = kurvo::media::View::front;
  options.threads = threads;
  return options;
}

TEST_F(SceneTest, ShaderRunsOnBothRenderThreadsAndThePictureMatchesOneThread) {
  render_test::registerCountingShader(host());
  sf::Scene scene;
  Document& doc = load(render_test::tenCubes(std::to_string(render_test::kCountingShader), render_test::kRampKnots),
                       scene);
  doc.evaluate();

  const render_test::Rendered one = render_test::renderDocument(doc, smallFront(1));
  EXPECT_EQ(shaderCalls().distinctThreads(), 1);
  EXPECT_EQ(shaderCalls().initRender, 1);
  EXPECT_EQ(shaderCalls().freeRender, 1);

  shaderCalls().reset();
  const render_test::Rendered two = render_test::renderDocument(doc, smallFront(2));
  EXPECT_GE(shaderCalls().distinctThreads(), 2);
  // Once per covered pixel at most: the visible surface is settled first.
  EXPECT_GT(shaderCalls().output, 0);
  EXPECT_LE(shaderCalls().output, 320 * 180);
  EXPECT_EQ(shaderCalls().outputWithoutContext, 0);
  EXPECT_EQ(shaderCalls().initRender, 1);
  EXPECT_EQ(shaderCalls().freeRender, 1);

  EXPECT_TRUE(one.image.rgb == two.image.rgb) << "the picture depends on the number of threads";
}

// The rasteriser alone: a shaded quad behind and in front of a plain one,
// with a shader that colours by world position.
class LeftRight final : public kurvo::media::SurfaceShader {
 public:
  Vector colour(const kurvo::media::SurfaceSample& s) const override {
    return s.position.x < 0.0f ? Vector(1, 0, 0) : Vector(0, 1, 0);
  }
};

kurvo::media::Mesh quad(float z, float half) {
  kurvo::media::Mesh m;
  m.points = {{-half, -half, z}, {half, -half, z}, {half, half, z}, {-half, half, z}};
  set_polygons(m, {{0, 1, 2, 3}});
  m.colour = Vector(0, 0, 1);
  return m;
}

TEST(SurfaceShaderRaster, ShadedSurfacesTakeTheShaderColourWhereVisible) {
  const LeftRight shader;
  for (const auto view : {kurvo::media::View::front, kurvo::media::View::persp}) {
    SCOPED_TRACE(kurvo::media::view_name(view));
    kurvo::media::RenderOptions options = smallFront(2);
    options.view = view;
    options.flat = true;
    options.background = Vector(0, 0, 0);
    // Front view looks along +Z: the quad at z = -50 is in front.
    const kurvo::media::Mesh shadedBehind = quad(50, 100), plainInFront = quad(-50, 20);
    kurvo::media::DrawList list;
    list.meshes = {&shadedBehind, &plainInFront};
    list.shaders = {&shader};
    const kurvo::media::Camera cam = kurvo::media::camera_for(list, options);
    const kurvo::media::Image image = kurvo::media::render(list, options);
    const auto at = [&](const Vector& p) {
      kurvo::media::ScreenPoint s{};
      EXPECT_TRUE(cam.project(p, s));
      return image.pixel(static_cast<int>(s.x), static_cast<int>(s.y));
    };
    EXPECT_EQ(at({-60, 0, 50}), (std::array<uint8_t, 3>{255, 0, 0}));
    EXPECT_EQ(at({60, 30, 50}), (std::array<uint8_t, 3>{0, 255, 0}));
    EXPECT_EQ(at({0, 0, -50}), (std::array<uint8_t, 3>{0, 0, 255}));  // the plain quad hides the shaded one

    // Drawn the other way round, the shaded quad hides the plain one.
    const kurvo::media::Mesh plainBehind = quad(50, 100), shadedInFront = quad(-50, 20);
    list.meshes = {&plainBehind, &shadedInFront};
    list.shaders = {nullptr, &shader};
    const kurvo::media::Image second = kurvo::media::render(list, options);
    kurvo::media::ScreenPoint s{};
    ASSERT_TRUE(cam.project({-10, 5, -50}, s));
    EXPECT_EQ(second.pixel(static_cast<int>(s.x), static_cast<int>(s.y)), (std::array<uint8_t, 3>{255, 0, 0}));
    ASSERT_TRUE(cam.project({10, 5, -50}, s));
    EXPECT_EQ(second.pixel(static_cast<int>(s.x), static_cast<int>(s.y)), (std::array<uint8_t, 3>{0, 255, 0}));
    ASSERT_TRUE(cam.project({80, 80, 50}, s));
    EXPECT_EQ(second.pixel(static_cast<int>(s.x), static_cast<int>(s.y)), (std::array<uint8_t, 3>{0, 0, 255}));
  }
}

}  // namespace
