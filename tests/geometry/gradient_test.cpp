#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry_test_util.h"
#include "gradient.h"

namespace kurvo::geo {
namespace {

using test::ExpectNear;

GradientKnot Knot(Vector col, float pos, float bias = 0.5f, float brightness = 1.0f) {
  GradientKnot k;
  k.col = col;
  k.pos = pos;
  k.bias = bias;
  k.brightness = brightness;
  return k;
}

// The shader's default: blue at 0, white at 1.
Gradient BlueToWhite() {
  Gradient g;
  g.InsertKnot(Knot(Vector(0, 0, 1), 0.0f));
  g.InsertKnot(Knot(Vector(1, 1, 1), 1.0f));
  return g;
}

TEST(Gradient, EndsAndStraightBlend) {
  Gradient g = BlueToWhite();
  EXPECT_EQ(g.CalcGradientPixel(0.5f), Vector()) << "nothing before InitRender";
  ASSERT_TRUE(g.InitRender());
  EXPECT_EQ(g.CalcGradientPixel(0.0f), Vector(0, 0, 1));
  EXPECT_EQ(g.CalcGradientPixel(-3.0f), Vector(0, 0, 1));
  EXPECT_EQ(g.CalcGradientPixel(1.0f), Vector(1, 1, 1));
  EXPECT_EQ(g.CalcGradientPixel(2.0f), Vector(1, 1, 1));
  EXPECT_EQ(g.CalcGradientPixel(std::numeric_limits<float>::quiet_NaN()), Vector(0, 0, 1));
  ExpectNear(g.CalcGradientPixel(0.75f), Vector(0.75f, 0.75f, 1.0f), 1e-6f);
  g.FreeRender();
  EXPECT_FALSE(g.IsRendering());
  EXPECT_EQ(g.GetRenderKnot(0), nullptr);
}

TEST(Gradient, BrightnessScalesKnotColours) {
  Gradient g;
  g.InsertKnot(Knot(Vector(1, 0.5f, 0), 0.0f, 0.5f, 2.0f));
  g.InsertKnot(Knot(Vector(0, 0, 1), 1.0f, 0.5f, 0.5f));
  ASSERT_TRUE(g.InitRender());
  EXPECT_EQ(g.CalcGradientPixel(0.0f), Vector(2, 1, 0));
  EXPECT_EQ(g.CalcGradientPixel(1.0f), Vector(0, 0, 0.5f));
  ExpectNear(g.CalcGradientPixel(0.5f), Vector(1, 0.5f, 0.25f), 1e-6f);
}

TEST(Gradient, BiasMovesTheHalfWayPoint) {
  for (float bias : {0.1f, 0.25f, 0.5f, 0.8f}) {
    Gradient g;
    g.InsertKnot(Knot(Vector(0, 0, 0), 0.2f, bias));
    g.InsertKnot(Knot(Vector(1, 1, 1), 0.6f));
    ASSERT_TRUE(g.InitRender());
    EXPECT_NEAR(g.CalcGradientPixel(0.2f + 0.4f * bias).x, 0.5f, 1e-5f) << "bias " << bias;
    float last = 0.0f;
    for (int i = 0; i <= 100; ++i) {
      const float v = g.CalcGradientPixel(0.2f + 0.4f * i / 100.0f).x;
      EXPECT_GE(v, last);
      last = v;
    }
    EXPECT_EQ(last, 1.0f);
  }
}

TEST(Gradient, RenderOrderFollowsPosition) {
  Gradient g;
  EXPECT_EQ(g.InsertKnot(Knot(Vector(1, 0, 0), 0.9f)), 0);
  EXPECT_EQ(g.InsertKnot(Knot(Vector(0, 1, 0), 0.1f)), 1);
  EXPECT_EQ(g.InsertKnot(Knot(Vector(0, 0, 1), 0.5f)), 2);
  EXPECT_EQ(g.InsertKnot(Knot(Vector(1, 1, 0), 0.5f)), 3);  // same position: after the earlier one
  ASSERT_TRUE(g.InitRender());
  ASSERT_NE(g.GetRenderKnot(3), nullptr);
  EXPECT_EQ(g.GetRenderKnot(0)->pos, 0.1f);
  EXPECT_EQ(g.GetRenderKnot(1)->col, Vector(0, 0, 1));
  EXPECT_EQ(g.GetRenderKnot(2)->col, Vector(1, 1, 0));
  EXPECT_EQ(g.GetRenderKnot(3)->pos, 0.9f);
  EXPECT_EQ(g.GetRenderKnot(4), nullptr);
  EXPECT_EQ(g.GetRenderKnot(-1), nullptr);
  // At the shared position the later knot takes over; just before it, the earlier one is reached.
  EXPECT_EQ(g.CalcGradientPixel(0.5f), Vector(1, 1, 0));
  ExpectNear(g.CalcGradientPixel(0.49999f), Vector(0, 0, 1), 1e-3f);
  // The insertion order is untouched.
  EXPECT_EQ(g.GetKnot(0).pos, 0.9f);
}

}  // namespace
}  // namespace kurvo::geo
