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
  set_polygons(m, {{0, 1, 2, 3}});
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
  set_polygons(tri, {make_triangle(0, 1, 2)});
  for (View view : {View::front, View::persp}) {
    SCOPED_TRACE(view_name(view));
    const RenderOptions o = small(view);
    const Image image = render(DrawList{{&tri}, {}, {}}, o);
    ASSERT_EQ(image.width, 160);
    ASSERT_EQ(image.rgb.size(), 160u * 120u * 3u);
    const Camera cam = camera_for(DrawList{{&tri}, {}, {}}, o);
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
  for (const DrawList& list : {DrawList{{&red, &blue}, {}, {}}, DrawList{{&blue, &red}, {}, {}}}) {
    const Image image = render(list, small(View::front));
    const Rgb centre = image.pixel(80, 60);
    EXPECT_GT(centre[0], 100);
    EXPECT_EQ(centre[2], 0);
  }
}

TEST(Raster, ShadingIsTwoSidedAndUsesTheMeshColour) {
  Mesh front = square(0.0f, 1.0f, Vector(0, 1, 0));
  Mesh back = front;
  set_polygons(back, {{3, 2, 1, 0}});
  const Rgb a = render(DrawList{{&front}, {}, {}}, small(View::front)).pixel(80, 60);
  const Rgb b = render(DrawList{{&back}, {}, {}}, small(View::front)).pixel(80, 60);
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
  const DrawList list{{&wall}, {before, behind}, {}};
  const Image image = render(list, o);
  const Image bare = render(DrawList{{&wall}, {}, {}}, o);
  const Camera cam = camera_for(list, o);

  ScreenPoint p;
  ASSERT_TRUE(cam.project({0.0f, 0.3f, -1.0f}, p));
  EXPECT_EQ(image.pixel(int(p.x), int(p.y)), to_rgb(yellow));
  ASSERT_TRUE(cam.project({0.0f, -0.3f, 1.0f}, p));
  const Rgb faded = image.pixel(int(p.x), int(p.y));
  EXPECT_NE(faded, to_rgb(yellow));
  EXPECT_NE(faded, bare.pixel(int(p.x), int(p.y)));
  // A line alone in the picture.
  const Image lone = render(DrawList{{}, {behind}, {}}, o);
  ASSERT_TRUE(camera_for(DrawList{{}, {behind}, {}}, o).project({0.0f, -0.3f, 1.0f}, p));
  EXPECT_EQ(lone.pixel(int(p.x), int(p.y)), to_rgb(yellow));
}

TEST(Raster, BandsGiveTheSamePictureAsOneThread) {
  Mesh fan;
  fan.points.push_back({0, 0, 0});
  for (int i = 0; i <= 64; ++i) {
    const float a = float(i) / 64.0f * 6.2831853f;
    fan.points.push_back({std::cos(a), std::sin(a), 0.3f * std::sin(3 * a)});
    if (i > 0) fan.add_polygon(make_triangle(0, i, i + 1));
  }
  const DrawList list{{&fan}, {Line{{-1, -1, 0}, {1, 1, 0}, Vector(1, 0, 0)}}, {}};
  RenderOptions one = small(View::persp), three = one;
  one.threads = 1;
  three.threads = 3;
  EXPECT_EQ(render(list, one).rgb, render(list, three).rgb);
}

// A closed UV sphere of triangles and quads around `centre`.
Mesh sphere(const Vector& centre, float radius, int rings, int segments) {
  Mesh m;
  m.name = "sphere";
  m.points.push_back(centre + Vector(0, radius, 0));
  for (int r = 1; r < rings; ++r) {
    const float polar = 3.14159265f * float(r) / float(rings);
    for (int s = 0; s < segments; ++s) {
      const float azimuth = 6.2831853f * float(s) / float(segments);
      m.points.push_back(centre + Vector(std::sin(polar) * std::cos(azimuth), std::cos(polar),
                                         std::sin(polar) * std::sin(azimuth)) * radius);
    }
  }
  m.points.push_back(centre + Vector(0, -radius, 0));
  const auto ring = [&](int r, int s) { return 1 + (r - 1) * segments + (s % segments); };
  const int south = int(m.points.size()) - 1;
  for (int s = 0; s < segments; ++s) {
    m.add_polygon(make_triangle(0, ring(1, s + 1), ring(1, s)));
    for (int r = 1; r + 1 < rings; ++r)
      m.add_polygon({ring(r, s), ring(r, s + 1), ring(r + 1, s + 1), ring(r + 1, s)});
    m.add_polygon(make_triangle(south, ring(rings - 1, s), ring(rings - 1, s + 1)));
  }
  return m;
}

// Background pixels between the first and the last covered pixel of a row or
// a column: holes inside the silhouette of a convex shape.
int holes_inside_silhouette(const Image& image, const Rgb& background) {
  int holes = 0;
  const auto scan = [&](int count, int length, auto&& at) {
    for (int k = 0; k < count; ++k) {
      int first = -1, last = -1;
      for (int i = 0; i < length; ++i)
        if (at(k, i) != background) (first < 0 ? first : last) = i, last = i;
      for (int i = first + 1; first >= 0 && i < last; ++i) holes += at(k, i) == background;
    }
  };
  scan(image.height, image.width, [&](int y, int x) { return image.pixel(x, y); });
  scan(image.width, image.height, [&](int x, int y) { return image.pixel(x, y); });
  return holes;
}

TEST(Raster, ClosedMeshesHaveNoHolesInTheirSilhouette) {
  // Many thin triangles meeting at shared edges and at the poles: the case
  // where a fill rule that is not exact lets background through.
  const Mesh ball = sphere({0.1f, -0.2f, 0.3f}, 1.0f, 23, 57);
  Mesh box;  // a cube, each face two triangles sharing a diagonal
  box.points = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}};
  const int faces[6][4] = {{0, 1, 2, 3}, {5, 4, 7, 6}, {4, 0, 3, 7}, {1, 5, 6, 2}, {3, 2, 6, 7}, {4, 5, 1, 0}};
  for (const auto& f : faces) {
    box.add_polygon(make_triangle(f[0], f[1], f[2]));
    box.add_polygon(make_triangle(f[0], f[2], f[3]));
  }
  Mesh row;  // ten such cubes in a row along X, seen end-on from the side
  row.name = "row";
  for (int k = 0; k < 10; ++k) {
    const auto base = static_cast<int32_t>(row.points.size());
    for (const Vector& p : box.points) row.points.push_back(p * 50.0f + Vector(-675.0f + 150.0f * float(k), 0, 0));
    for (const Polygon& q : mesh_polygons(box)) row.add_polygon({q.a + base, q.b + base, q.c + base, q.d + base});
  }
  const std::vector<View> all = {View::front, View::side, View::top, View::persp};
  const std::vector<std::pair<const Mesh*, std::vector<View>>> cases = {
      {&ball, all}, {&box, all}, {&row, {View::side}}};  // the row is convex only end-on
  for (const auto& [mesh, views] : cases) {
    for (View view : views) {
      SCOPED_TRACE(std::string(mesh->name) + " " + view_name(view));
      // Large pictures: long edges, where a fill rule that is not exact
      // lets background through along the shared diagonal of a face.
      for (const auto& [w, h] : {std::pair{331, 247}, std::pair{1280, 720}, std::pair{1917, 1083}}) {
        RenderOptions o = small(view);
        o.width = w;
        o.height = h;
        o.flat = true;
        EXPECT_EQ(holes_inside_silhouette(render(DrawList{{mesh}, {}, {}}, o), to_rgb(o.background)), 0) << w;
      }
    }
  }
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

// A UV sphere of radius 1 around the origin: quads, triangles at the poles.
Mesh sphere(int rings, int segments) {
  Mesh m;
  m.points.push_back({0, 1, 0});
  for (int r = 1; r < rings; ++r) {
    const float t = 3.14159265f * float(r) / float(rings);
    for (int s = 0; s < segments; ++s) {
      const float a = 6.2831853f * float(s) / float(segments);
      m.points.push_back({std::sin(t) * std::cos(a), std::cos(t), std::sin(t) * std::sin(a)});
    }
  }
  m.points.push_back({0, -1, 0});
  const auto at = [&](int r, int s) { return 1 + (r - 1) * segments + (s % segments); };
  const int bottom = int(m.points.size()) - 1;
  for (int s = 0; s < segments; ++s) {
    m.add_polygon(make_triangle(0, at(1, s + 1), at(1, s)));
    for (int r = 1; r + 1 < rings; ++r) m.add_polygon({at(r, s), at(r, s + 1), at(r + 1, s + 1), at(r + 1, s)});
    m.add_polygon(make_triangle(bottom, at(rings - 1, s), at(rings - 1, s + 1)));
  }
  return m;
}

// Against the sphere's true normal at each pixel (orthographic front view:
// the pixel's x, y on the unit disc give it): smooth shading follows it
// closely everywhere, faceted shading steps away from it between faces.
TEST(Raster, SmoothShadingFollowsTheTrueSurfaceNormal) {
  const Mesh ball = sphere(24, 48);
  RenderOptions o = small(View::front);
  o.width = o.height = 200;
  o.default_colour = Vector(1, 1, 1);
  const DrawList list{{&ball}, {}, {}};
  const Camera cam = camera_for(list, o);
  const Vector light = Normalize(cam.right * -0.4f + cam.up * 0.6f - cam.forward * 0.7f);
  const auto worst = [&](bool faceted) {
    o.faceted = faceted;
    const Image image = render(list, o);
    ScreenPoint centre, edge;
    cam.project({0, 0, 0}, centre);
    cam.project({1, 0, 0}, edge);
    const float radius = edge.x - centre.x;
    float error = 0;
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x) {
        const float u = (float(x) + 0.5f - centre.x) / radius, v = (centre.y - float(y) - 0.5f) / radius;
        if (u * u + v * v > 0.8f) continue;  // the rim is where the polygon outline departs from the circle
        const Vector normal = cam.right * u + cam.up * v - cam.forward * std::sqrt(1 - u * u - v * v);
        const float expected = (kAmbientLight + kDiffuseLight * std::fabs(Dot(normal, light))) * 255.0f;
        error = std::max(error, std::fabs(float(image.pixel(x, y)[0]) - expected));
      }
    return error;
  };
  const float smooth = worst(false), faceted = worst(true);
  EXPECT_LT(smooth, 4.0f);
  EXPECT_GT(faceted, 3 * smooth);
}

// A hard edge stays hard: the faces of a cube keep one shade each, as they
// would faceted.
TEST(Raster, HardEdgesKeepFlatFacesUnderSmoothShading) {
  Mesh cube;
  cube.points = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}};
  set_polygons(cube, {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {3, 7, 6, 2}, {0, 4, 7, 3}, {1, 2, 6, 5}});
  RenderOptions o = small(View::persp);
  const Image smooth = render(DrawList{{&cube}, {}, {}}, o);
  o.faceted = true;
  const Image faceted = render(DrawList{{&cube}, {}, {}}, o);
  EXPECT_EQ(smooth.rgb, faceted.rgb);
}

// The camera frames the meshes; the helpers may leave the picture unless
// asked to be framed, and --no-helpers draws none of them.
TEST(Raster, FramingFitsTheMeshesAndHelpersCanBeHidden) {
  const Mesh small_square = square(0.0f, 0.1f, Vector(0, 1, 0));
  const Vector yellow(1, 1, 0);
  const Line path{{-10.0f, 0.0f, -1.0f}, {10.0f, 0.0f, -1.0f}, yellow};
  const DrawList list{{&small_square}, {path}, {}};
  RenderOptions o = small(View::front);
  const auto covered = [](const Image& image, const Rgb& colour) {
    int n = 0;
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x) n += image.pixel(x, y)[1] > 100 && image.pixel(x, y) != colour;
    return n;
  };
  const Image framed = render(list, o);
  // The square fills the picture's height but for the margin: about 0.88 * 120 rows.
  EXPECT_GT(covered(framed, to_rgb(yellow)), 90 * 90);
  EXPECT_EQ(framed.pixel(80, 60)[0], 255);  // the path runs in front through the middle
  o.frame_helpers = true;
  EXPECT_LT(covered(render(list, o), to_rgb(yellow)), 100);
  o.frame_helpers = false;
  o.helpers = false;
  const Image meshes_only = render(list, o);
  EXPECT_EQ(meshes_only.rgb, render(DrawList{{&small_square}, {}, {}}, o).rgb);
  EXPECT_NE(meshes_only.pixel(80, 60)[0], 255);
}

// A placed camera is a pinhole at the position: a point at angle (h, v) off
// the view lands at tan(h), tan(v) of the focal length from the middle,
// whatever is drawn, with the picture's up as asked and its right as the
// fixed views have it (up x view: the front view's +X).
TEST(RasterCamera, PlacedCameraIsAPinholeAtItsPosition) {
  CameraPlacement placement;
  placement.position = {3, 4, 5};
  placement.target = {3, 4, -5};  // looks along -Z
  placement.up = {1, 0, 0};       // +X is up the picture, so +Y is to the right
  placement.fov_degrees = 60;
  ASSERT_EQ(placement_problem(placement), "");
  const float focal = 0.5f * 120.0f / std::tan(30.0f * 3.14159265f / 180.0f);
  // A small red square 10 units ahead, 2 up (+X) and 1 to the right (+Y).
  Mesh marker;
  const Vector at(3 + 2, 4 + 1, -5);
  marker.points = {at + Vector(-0.05f, -0.05f, 0), at + Vector(0.05f, -0.05f, 0), at + Vector(0.05f, 0.05f, 0),
                   at + Vector(-0.05f, 0.05f, 0)};
  set_polygons(marker, {{0, 1, 2, 3}});
  marker.colour = Vector(1, 0, 0);
  RenderOptions o = small(View::front);
  o.camera = placement;
  const Image image = render(DrawList{{&marker}, {}, {}}, o);
  const int x = int(80.0f + focal * 1.0f / 10.0f), y = int(60.0f - focal * 2.0f / 10.0f);
  EXPECT_GT(image.pixel(x, y)[0], 100);
  EXPECT_EQ(image.pixel(80, 60), to_rgb(o.background));
  EXPECT_EQ(image.pixel(int(80.0f - focal * 0.1f), y), to_rgb(o.background));  // not mirrored
  // The front view's orientation, from a placed camera looking along +Z.
  placement = CameraPlacement{{0, 0, -10}, {0, 0, 0}, {0, 1, 0}, 40};
  const Camera placed = placed_camera(placement, 160, 120);
  const Camera front = camera_for(DrawList{{&marker}, {}, {}}, small(View::front));
  EXPECT_NEAR(Dot(placed.right, front.right), 1.0f, 1e-6f);
  EXPECT_NEAR(Dot(placed.up, front.up), 1.0f, 1e-6f);
  // Unsound placements are named.
  CameraPlacement bad = placement;
  bad.up = {0, 0, 2};
  EXPECT_NE(placement_problem(bad), "");
  bad = placement;
  bad.target = bad.position;
  EXPECT_NE(placement_problem(bad), "");
  bad = placement;
  bad.fov_degrees = 180;
  EXPECT_NE(placement_problem(bad), "");
}
