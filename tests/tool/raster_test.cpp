// The rasteriser: coverage, depth, lines, colours and the camera framing.
#include <gtest/gtest.h>

#include "raster.h"

using namespace kurvo::media;

namespace {

using Rgb = std::array<uint8_t, 3>;

Rgb to_rgb(const Vector& c) {
  return {static_cast<uint8_t>(c.x * 255 + 0.5f), static_cast<uint8_t>(c.y * 255 + 0.5f),
          static_cast<uint8_t>(c.z * 255 + 0.5f)};
}

// A square of side 2 around the origin in the XY plane at depth z.
Mesh square(float z, float half = 1.0f, std::optional<Vector> colour = std::nullopt) {
  Mesh m;
  m.name = "square";
  m.points = {{-half, -half, z}, {half, -half, z}, {half, half, z}, {-half, half, z}};
  m.polygons = {{0, 1, 2, 3}};
  m.colour = colour;
  return m;
}

RenderOptions small(View view) {
  RenderOptions o;
  o.width = 160;
  o.height = 120;
  o.view = view;
  return o;
}

TEST(Raster, TriangleIsDrawnWhereItIsAndBackgroundElsewhere) {
  Mesh tri;
  tri.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  tri.polygons = {make_triangle(0, 1, 2)};
  for (View view : {View::front, View::persp}) {
    SCOPED_TRACE(view_name(view));
    const RenderOptions o = small(view);
    const Image image = render(DrawList{{&tri}, {}}, o);
    ASSERT_EQ(image.width, 160);
    ASSERT_EQ(image.rgb.size(), 160u * 120u * 3u);
    const Camera cam = camera_for(DrawList{{&tri}, {}}, o);
    ScreenPoint inside, outside;
    ASSERT_TRUE(cam.project({0.2f, 0.2f, 0.0f}, inside));
    ASSERT_TRUE(cam.project({0.8f, 0.8f, 0.0f}, outside));  // beyond the hypotenuse
    EXPECT_NE(image.pixel(int(inside.x), int(inside.y)), to_rgb(o.background));
    EXPECT_EQ(image.pixel(int(outside.x), int(outside.y)), to_rgb(o.background));
    EXPECT_EQ(image.pixel(0, 0), to_rgb(o.background));
    EXPECT_EQ(image.pixel(159, 119), to_rgb(o.background));
  }
}

TEST(Raster, NearerSurfaceWinsWhateverTheDrawingOrder) {
  const Mesh red = square(-1.0f, 1.0f, Vector(1, 0, 0));  // nearer in the front view
  const Mesh blue = square(1.0f, 2.0f, Vector(0, 0, 1));
  for (const DrawList& list : {DrawList{{&red, &blue}, {}}, DrawList{{&blue, &red}, {}}}) {
    const Image image = render(list, small(View::front));
    const Rgb centre = image.pixel(80, 60);
    EXPECT_GT(centre[0], 100);
    EXPECT_EQ(centre[2], 0);
  }
}

TEST(Raster, ShadingIsTwoSidedAndUsesTheMeshColour) {
  Mesh front = square(0.0f, 1.0f, Vector(0, 1, 0));
  Mesh back = front;
  back.polygons = {{3, 2, 1, 0}};
  const Rgb a = render(DrawList{{&front}, {}}, small(View::front)).pixel(80, 60);
  const Rgb b = render(DrawList{{&back}, {}}, small(View::front)).pixel(80, 60);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a[0], 0);
  EXPECT_GT(a[1], 100);
  EXPECT_EQ(a[2], 0);
}

TEST(Raster, LinesStayVisibleAndFadeWhereHidden) {
  const Mesh wall = square(0.0f, 1.0f);
  const Vector yellow(1, 1, 0);
  const Line before{{-0.5f, 0.3f, -1.0f}, {0.5f, 0.3f, -1.0f}, yellow};
  const Line behind{{-0.5f, -0.3f, 1.0f}, {0.5f, -0.3f, 1.0f}, yellow};
  const RenderOptions o = small(View::front);
  const DrawList list{{&wall}, {before, behind}};
  const Image image = render(list, o);
  const Image bare = render(DrawList{{&wall}, {}}, o);
  const Camera cam = camera_for(list, o);

  ScreenPoint p;
  ASSERT_TRUE(cam.project({0.0f, 0.3f, -1.0f}, p));
  EXPECT_EQ(image.pixel(int(p.x), int(p.y)), to_rgb(yellow));
  ASSERT_TRUE(cam.project({0.0f, -0.3f, 1.0f}, p));
  const Rgb faded = image.pixel(int(p.x), int(p.y));
  EXPECT_NE(faded, to_rgb(yellow));
  EXPECT_NE(faded, bare.pixel(int(p.x), int(p.y)));
  // A line alone in the picture.
  const Image lone = render(DrawList{{}, {behind}}, o);
  ASSERT_TRUE(camera_for(DrawList{{}, {behind}}, o).project({0.0f, -0.3f, 1.0f}, p));
  EXPECT_EQ(lone.pixel(int(p.x), int(p.y)), to_rgb(yellow));
}

TEST(Raster, BandsGiveTheSamePictureAsOneThread) {
  Mesh fan;
  fan.points.push_back({0, 0, 0});
  for (int i = 0; i <= 64; ++i) {
    const float a = float(i) / 64.0f * 6.2831853f;
    fan.points.push_back({std::cos(a), std::sin(a), 0.3f * std::sin(3 * a)});
    if (i > 0) fan.polygons.push_back(make_triangle(0, i, i + 1));
  }
  const DrawList list{{&fan}, {Line{{-1, -1, 0}, {1, 1, 0}, Vector(1, 0, 0)}}};
  RenderOptions one = small(View::persp), three = one;
  one.threads = 1;
  three.threads = 3;
  EXPECT_EQ(render(list, one).rgb, render(list, three).rgb);
}

// The picture extent of `points` through `cam`, checked to lie inside the
// free part of a 400 x 300 picture with `margin` on every side.
struct ScreenExtent {
  float lo_x = 1e9f, hi_x = -1e9f, lo_y = 1e9f, hi_y = -1e9f;
};
ScreenExtent ExpectInsideMargin(const Camera& cam, const std::vector<Vector>& points, float margin) {
  ScreenExtent e;
  for (const Vector& p : points) {
    ScreenPoint s;
    EXPECT_TRUE(cam.project(p, s));
    e.lo_x = std::min(e.lo_x, s.x), e.hi_x = std::max(e.hi_x, s.x);
    e.lo_y = std::min(e.lo_y, s.y), e.hi_y = std::max(e.hi_y, s.y);
  }
  EXPECT_GE(e.lo_x, 400 * margin - 0.5f);
  EXPECT_LE(e.hi_x, 400 * (1 - margin) + 0.5f);
  EXPECT_GE(e.lo_y, 300 * margin - 0.5f);
  EXPECT_LE(e.hi_y, 300 * (1 - margin) + 0.5f);
  return e;
}

TEST(RasterCamera, FramingHoldsTheWholeBoxInsideTheMargin) {
  Bounds boxes[3];
  boxes[0].add({-1, -1, -1});
  boxes[0].add({1, 1, 1});
  boxes[1].add({0, 0, 0});
  boxes[1].add({100, 0.5f, 2});  // long and thin
  boxes[2].add({5, 5, 5});       // a single point
  for (const Bounds& b : boxes) {
    for (View view : {View::front, View::top, View::side, View::persp}) {
      SCOPED_TRACE(view_name(view));
      const float margin = 0.1f;
      const Camera cam = frame_camera(b, view, 400, 300, margin);
      std::vector<Vector> corners;
      for (int i = 0; i < 8; ++i)
        corners.emplace_back(i & 1 ? b.max.x : b.min.x, i & 2 ? b.max.y : b.min.y, i & 4 ? b.max.z : b.min.z);
      const ScreenExtent e = ExpectInsideMargin(cam, corners, margin);
      // Not lost in the middle either: the box fills the free width or height.
      if (view != View::persp && b.min != b.max) {
        EXPECT_TRUE(e.hi_x - e.lo_x > 400 * (1 - 2 * margin) - 2 || e.hi_y - e.lo_y > 300 * (1 - 2 * margin) - 2);
      }
    }
  }
}

TEST(RasterCamera, DrawnPointsFillThePictureNotTheirBox) {
  // A diagonal line fills only the edges of its box; fitting the box's
  // corners would leave most of the picture empty.
  std::vector<Vector> points;
  Bounds b;
  for (int i = 0; i <= 20; ++i) {
    const float t = static_cast<float>(i) / 20.0f;
    points.emplace_back(10 * t, 4 * t * t, -6 * t);
    b.add(points.back());
  }
  for (View view : {View::front, View::top, View::side, View::persp}) {
    SCOPED_TRACE(view_name(view));
    const float margin = 0.1f;
    const Camera cam = frame_camera(b, view, 400, 300, margin, points);
    const auto [lo_x, hi_x, lo_y, hi_y] = ExpectInsideMargin(cam, points, margin);
    // Filling the free width or height, and centred. Perspective pictures
    // are asymmetric, so they get some slack.
    const bool persp = view == View::persp;
    const float fill = persp ? 0.85f : 1.0f, slack = persp ? 0.1f * 300 : 4.0f;
    EXPECT_TRUE(hi_x - lo_x > fill * 400 * (1 - 2 * margin) - 4 || hi_y - lo_y > fill * 300 * (1 - 2 * margin) - 4);
    EXPECT_NEAR(lo_x + hi_x, 400.0f, 2 * slack);
    EXPECT_NEAR(lo_y + hi_y, 300.0f, 2 * slack);
  }
}

TEST(RasterCamera, ViewsLookAlongTheirAxes) {
  Bounds b;
  b.add({-1, -1, -1});
  b.add({1, 1, 1});
  ScreenPoint l, r, lo, hi;
  const Camera front = frame_camera(b, View::front, 100, 100, 0.1f);
  front.project({-1, 0, 0}, l), front.project({1, 0, 0}, r), front.project({0, -1, 0}, lo), front.project({0, 1, 0}, hi);
  EXPECT_LT(l.x, r.x);
  EXPECT_LT(hi.y, lo.y);  // +Y is up the picture
  ScreenPoint nearer, farther;
  front.project({0, 0, -1}, nearer), front.project({0, 0, 1}, farther);
  EXPECT_GT(nearer.key, farther.key);

  const Camera top = frame_camera(b, View::top, 100, 100, 0.1f);
  top.project({0, 1, 0}, nearer), top.project({0, -1, 0}, farther);
  EXPECT_GT(nearer.key, farther.key);
  EXPECT_EQ(parse_view("side"), View::side);
  EXPECT_FALSE(parse_view("diagonal").has_value());
}

}  // namespace
