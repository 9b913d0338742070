#include "raster.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "surface_normals.h"

namespace kurvo::media {
namespace {


struct Rgb8 {
  uint8_t r, g, b;
};

// NaN (a shader may answer one) becomes 0 rather than an undefined conversion.
uint8_t to_byte(float v) { return v > 0.0f ? static_cast<uint8_t>(std::min(v, 1.0f) * 255.0f + 0.5f) : 0; }
Rgb8 to_rgb8(const Vector& c) { return Rgb8{to_byte(c.x), to_byte(c.y), to_byte(c.z)}; }

// One mesh's points, projected once and shared by all bands.
struct ProjectedMesh {
  const Mesh* mesh;
  Vector colour;
  const SurfaceShader* shader;  // null: `colour`
  std::vector<ScreenPoint> points;
  std::vector<uint8_t> visible;  // in front of the near plane
  std::vector<Polygon> polygons;  // the mesh's quads and triangles
  // Per polygon, the base colour of its face's material; empty: `colour`
  // for every polygon.
  std::vector<Vector> polygon_colours;
  // The mesh's point colours, which tint the faces' material colours (or
  // are the colour, without materials); null: none.
  const std::vector<Vector>* point_colours = nullptr;
  // Smooth shading: the corners' normals; empty when faceted.
  VertexLayout normals;
  bool smooth = false;

  // Unit normal of polygon f's corner k (0..3: a, b, c, d).
  const Vector& corner_normal(size_t f, int k, int32_t point) const {
    const uint32_t shared = normals.point_vertex[static_cast<size_t>(point)];
    return normals.normals[shared != VertexLayout::kPerCorner ? shared : normals.corner_vertex[f * 4 + static_cast<size_t>(k)]];
  }
};

// Per pixel, for meshes coloured by a shader: which surface is visible there
// (mesh index + 1, 0 for none or a plain mesh), which of its triangles
// (polygon index * 2, + 1 for the second half of a quad) and where it is in
// world space. Filled only when some mesh has a shader.
struct SurfaceBuffer {
  std::vector<uint32_t> mesh;
  std::vector<uint32_t> triangle;
  std::vector<Vector> position;
  std::vector<Vector> normal;  // unit, as drawn (smooth or the face's)
};

// The rows [y0, y1) of the picture that one thread owns.
struct Band {
  Image& image;
  std::vector<float>& keys;
  std::vector<uint32_t>& line_marks;  // which line last touched a pixel (index + 1)
  SurfaceBuffer* surfaces;            // null when no mesh has a shader
  bool perspective;
  int y0, y1;

  size_t index(int x, int y) const { return static_cast<size_t>(y) * static_cast<size_t>(image.width) + x; }
};

// Screen positions snapped to a grid of 1/256 pixel: edge functions on the
// grid are exact integers, so the two triangles sharing an edge see exactly
// opposite values there and, with the top-left rule, every pixel centre on
// it belongs to exactly one of them. That is what keeps adjacent faces free
// of gaps and double hits.
constexpr int kSubpixelBits = 8;
constexpr float kSubpixel = 1 << kSubpixelBits;
// Beyond this many pixels from the origin the products below could overflow;
// automatic framing keeps every drawn point far inside it.
constexpr float kMaxScreen = 1 << 21;

struct GridPoint {
  int64_t x, y;
};

GridPoint snap(const ScreenPoint& p) {
  return GridPoint{static_cast<int64_t>(std::lround(p.x * kSubpixel)), static_cast<int64_t>(std::lround(p.y * kSubpixel))};
}

int64_t edge(const GridPoint& u, const GridPoint& v, int64_t px, int64_t py) {
  return (v.x - u.x) * (py - u.y) - (v.y - u.y) * (px - u.x);
}

// With y pointing down and counter-clockwise-on-screen winding (positive
// area), a top edge runs right to left horizontally and a left edge runs
// downwards. Pixel centres exactly on such an edge are inside; on any other
// edge they belong to the neighbour.
bool is_top_left(const GridPoint& u, const GridPoint& v) {
  return (u.y == v.y && v.x < u.x) || v.y > u.y;
}

bool drawable(const ScreenPoint& p) {
  return std::fabs(p.x) < kMaxScreen && std::fabs(p.y) < kMaxScreen;  // false for NaN too
}

// Calls plot(pixel index, key, wa, wb, wc) for every pixel of the triangle
// inside the band that is nearer than what the pixel holds, after taking its
// depth; wa, wb, wc are the pixel's screen-space weights of a, b and c.
template <class Plot>
void fill_triangle(ScreenPoint a, ScreenPoint b, ScreenPoint c, Band& band, Plot&& plot) {
  if (!drawable(a) || !drawable(b) || !drawable(c)) return;  // a wild point
  GridPoint ga = snap(a), gb = snap(b), gc = snap(c);
  int64_t area = edge(ga, gb, gc.x, gc.y);
  const bool swapped = area < 0;
  if (swapped) {
    std::swap(b, c);
    std::swap(gb, gc);
    area = -area;
  }
  if (area == 0) return;  // degenerate

  const int64_t gx0 = std::min({ga.x, gb.x, gc.x}), gx1 = std::max({ga.x, gb.x, gc.x});
  const int64_t gy0 = std::min({ga.y, gb.y, gc.y}), gy1 = std::max({ga.y, gb.y, gc.y});
  // Pixel x has its centre at (x + 0.5) pixels.
  const auto first_pixel = [](int64_t g) { return (g - (1 << (kSubpixelBits - 1)) + (1 << kSubpixelBits) - 1) >> kSubpixelBits; };
  const auto last_pixel = [](int64_t g) { return (g - (1 << (kSubpixelBits - 1))) >> kSubpixelBits; };
  const int x0 = static_cast<int>(std::max<int64_t>(first_pixel(gx0), 0));
  const int x1 = static_cast<int>(std::min<int64_t>(last_pixel(gx1), band.image.width - 1));
  const int y0 = static_cast<int>(std::max<int64_t>(first_pixel(gy0), band.y0));
  const int y1 = static_cast<int>(std::min<int64_t>(last_pixel(gy1), band.y1 - 1));
  if (x0 > x1 || y0 > y1) return;

  // Off-edge pixel centres owned by the neighbour are pushed out by one.
  const int64_t bias0 = is_top_left(gb, gc) ? 0 : -1, bias1 = is_top_left(gc, ga) ? 0 : -1,
                bias2 = is_top_left(ga, gb) ? 0 : -1;
  const float inv_area = 1.0f / static_cast<float>(area);
  // Edge functions are affine: step them along the row instead of recomputing.
  const int64_t step = 1 << kSubpixelBits;
  const int64_t step0 = -(gc.y - gb.y) * step, step1 = -(ga.y - gc.y) * step, step2 = -(gb.y - ga.y) * step;
  for (int y = y0; y <= y1; ++y) {
    const int64_t py = (static_cast<int64_t>(y) << kSubpixelBits) + (1 << (kSubpixelBits - 1));
    const int64_t px = (static_cast<int64_t>(x0) << kSubpixelBits) + (1 << (kSubpixelBits - 1));
    int64_t w0 = edge(gb, gc, px, py), w1 = edge(gc, ga, px, py), w2 = edge(ga, gb, px, py);
    size_t i = band.index(x0, y);
    for (int x = x0; x <= x1; ++x, ++i, w0 += step0, w1 += step1, w2 += step2) {
      if (w0 + bias0 < 0 || w1 + bias1 < 0 || w2 + bias2 < 0) continue;
      const float wa = static_cast<float>(w0) * inv_area, wb = static_cast<float>(w1) * inv_area,
                  wc = static_cast<float>(w2) * inv_area;
      const float key = wa * a.key + wb * b.key + wc * c.key;
      if (key <= band.keys[i]) continue;
      band.keys[i] = key;
      if (swapped)
        plot(i, key, wa, wc, wb);
      else
        plot(i, key, wa, wb, wc);
    }
  }
}

float light_intensity(const Vector& normal, const Vector& light, bool flat) {
  return flat ? 1.0f : kAmbientLight + kDiffuseLight * std::fabs(Dot(normal, light));
}

Vector face_normal(const Vector& a, const Vector& b, const Vector& c) { return Normalize(Cross(b - a, c - a)); }

// Screen weights made perspective-correct: keys are 1 / depth, so weighting
// by them gives the weights of the point in world space.
void correct_weights(bool perspective, const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, float key,
                     float& wa, float& wb, float& wc) {
  if (!perspective) return;
  const float inv = 1.0f / key;
  wa *= a.key * inv;
  wb *= b.key * inv;
  wc *= c.key * inv;
}

Vector unit_or(const Vector& v, const Vector& fallback) {
  const float length = Len(v);
  return length > 0.0f ? v * (1.0f / length) : fallback;
}

// Normals of a triangle's corners and its face, for a fill.
struct CornerNormals {
  Vector a, b, c, face;
};

// Colours of a triangle's corners, for a fill: the same at all three unless
// the mesh has point colours.
struct CornerColours {
  Vector a, b, c;
  bool varying = false;

  Vector at(float wa, float wb, float wc) const { return varying ? a * wa + b * wb + c * wc : a; }
};

void fill_smooth(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, const CornerNormals& n,
                 const CornerColours& colours, const Vector& light, Band& band) {
  fill_triangle(a, b, c, band, [&](size_t i, float key, float wa, float wb, float wc) {
    correct_weights(band.perspective, a, b, c, key, wa, wb, wc);
    const Vector normal = unit_or(n.a * wa + n.b * wb + n.c * wc, n.face);
    const Rgb8 rgb = to_rgb8(colours.at(wa, wb, wc) * light_intensity(normal, light, false));
    uint8_t* p = &band.image.rgb[i * 3];
    p[0] = rgb.r;
    p[1] = rgb.g;
    p[2] = rgb.b;
    if (band.surfaces) band.surfaces->mesh[i] = 0;
  });
}

// One light for the whole triangle (faceted or unlit).
void fill_plain(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, const CornerColours& colours,
                float lit, Band& band) {
  const Rgb8 same = to_rgb8(colours.a * lit);
  fill_triangle(a, b, c, band, [&](size_t i, float key, float wa, float wb, float wc) {
    Rgb8 colour = same;
    if (colours.varying) {
      correct_weights(band.perspective, a, b, c, key, wa, wb, wc);
      colour = to_rgb8(colours.at(wa, wb, wc) * lit);
    }
    uint8_t* p = &band.image.rgb[i * 3];
    p[0] = colour.r;
    p[1] = colour.g;
    p[2] = colour.b;
    if (band.surfaces) band.surfaces->mesh[i] = 0;
  });
}

// Records the surface; its colour is asked for once the band knows what is visible.
void fill_shaded(const ScreenPoint& a, const ScreenPoint& b, const ScreenPoint& c, const Vector& pa,
                 const Vector& pb, const Vector& pc, const CornerNormals& n, bool smooth, uint32_t mesh,
                 uint32_t triangle, Band& band) {
  SurfaceBuffer& s = *band.surfaces;
  fill_triangle(a, b, c, band, [&](size_t i, float key, float wa, float wb, float wc) {
    correct_weights(band.perspective, a, b, c, key, wa, wb, wc);
    s.mesh[i] = mesh;
    s.triangle[i] = triangle;
    s.position[i] = pa * wa + pb * wb + pc * wc;
    s.normal[i] = smooth ? unit_or(n.a * wa + n.b * wb + n.c * wc, n.face) : n.face;
  });
}

void draw_meshes(const std::vector<ProjectedMesh>& meshes, const Vector& light, bool flat, Band& band) {
  for (size_t m = 0; m < meshes.size(); ++m) {
    const ProjectedMesh& pm = meshes[m];
    const std::vector<Vector>& world = pm.mesh->points;
    const auto& polygons = pm.polygons;
    for (size_t k = 0; k < polygons.size(); ++k) {
      const Polygon& q = polygons[k];
      const auto a = static_cast<size_t>(q.a), b = static_cast<size_t>(q.b), c = static_cast<size_t>(q.c),
                 d = static_cast<size_t>(q.d);
      // Points behind the near plane occur only with a placed camera;
      // polygons touching one are skipped rather than drawn inside out.
      const bool first = pm.visible[a] && pm.visible[b] && pm.visible[c];
      const bool second = !q.is_triangle() && pm.visible[a] && pm.visible[c] && pm.visible[d];
      // The corners' normals, for the two triangles (a, b, c) and (a, c, d).
      const auto normals = [&](bool half) {
        CornerNormals n;
        n.face = half ? face_normal(world[a], world[c], world[d]) : face_normal(world[a], world[b], world[c]);
        if (pm.smooth) {
          n.a = pm.corner_normal(k, 0, q.a);
          n.b = half ? pm.corner_normal(k, 2, q.c) : pm.corner_normal(k, 1, q.b);
          n.c = half ? pm.corner_normal(k, 3, q.d) : pm.corner_normal(k, 2, q.c);
        }
        return n;
      };
      if (pm.shader) {
        const auto id = static_cast<uint32_t>(m + 1), tri = static_cast<uint32_t>(k * 2);
        if (first)
          fill_shaded(pm.points[a], pm.points[b], pm.points[c], world[a], world[b], world[c], normals(false),
                      pm.smooth, id, tri, band);
        if (second)
          fill_shaded(pm.points[a], pm.points[c], pm.points[d], world[a], world[c], world[d], normals(true),
                      pm.smooth, id, tri + 1, band);
        continue;
      }
      const Vector& base = pm.polygon_colours.empty() ? pm.colour : pm.polygon_colours[k];
      // The corners' colours, for the two triangles.
      const auto colours = [&](bool half) {
        if (!pm.point_colours) return CornerColours{base, base, base, false};
        const std::vector<Vector>& tint = *pm.point_colours;
        // A face's material is tinted by them; without materials they are
        // the colour.
        const auto tinted = [&](size_t point) {
          return pm.polygon_colours.empty()
                     ? tint[point]
                     : Vector(base.x * tint[point].x, base.y * tint[point].y, base.z * tint[point].z);
        };
        return CornerColours{tinted(a), tinted(half ? c : b), tinted(half ? d : c), true};
      };
      if (pm.smooth && !flat) {
        if (first) fill_smooth(pm.points[a], pm.points[b], pm.points[c], normals(false), colours(false), light, band);
        if (second) fill_smooth(pm.points[a], pm.points[c], pm.points[d], normals(true), colours(true), light, band);
        continue;
      }
      if (first) {
        const float lit = light_intensity(face_normal(world[a], world[b], world[c]), light, flat);
        fill_plain(pm.points[a], pm.points[b], pm.points[c], colours(false), lit, band);
      }
      if (second) {
        const float lit = light_intensity(face_normal(world[a], world[c], world[d]), light, flat);
        fill_plain(pm.points[a], pm.points[c], pm.points[d], colours(true), lit, band);
      }
    }
  }
}

// Asks each visible shaded surface of the band for its colour, once per pixel.
void shade_surfaces(const std::vector<ProjectedMesh>& meshes, const Camera& cam, const Vector& light, bool flat,
                    Band& band) {
  const SurfaceBuffer& s = *band.surfaces;
  for (int y = band.y0; y < band.y1; ++y) {
    for (size_t i = band.index(0, y), end = i + static_cast<size_t>(band.image.width); i < end; ++i) {
      if (s.mesh[i] == 0) continue;
      const ProjectedMesh& pm = meshes[s.mesh[i] - 1];
      Vector normal = s.normal[i];
      const Vector towards = cam.perspective ? s.position[i] - cam.eye : cam.forward;
      if (Dot(normal, towards) > 0.0f) normal = -normal;
      const Vector colour = pm.shader->colour(SurfaceSample{s.position[i], normal});
      const Rgb8 rgb = to_rgb8(colour * light_intensity(normal, light, flat));
      uint8_t* p = &band.image.rgb[i * 3];
      p[0] = rgb.r;
      p[1] = rgb.g;
      p[2] = rgb.b;
    }
  }
}

// Cuts the part of a segment that lies behind the perspective near plane.
bool clip_to_near(const Camera& cam, Vector& a, Vector& b) {
  if (!cam.perspective) return true;
  const float da = cam.depth(a) - cam.near_distance, db = cam.depth(b) - cam.near_distance;
  if (da <= 0.0f && db <= 0.0f) return false;
  const float margin = 1e-6f * std::fabs(cam.near_distance);
  if (da <= 0.0f) a = a + (b - a) * ((margin - da) / (db - da));
  if (db <= 0.0f) b = b + (a - b) * ((margin - db) / (da - db));
  return true;
}

void draw_line(const Line& line, uint32_t mark, const Camera& cam, const RenderOptions& options, Band& band) {
  Vector a = line.a, b = line.b;
  ScreenPoint p, q;
  if (!clip_to_near(cam, a, b) || !cam.project(a, p) || !cam.project(b, q)) return;
  const float length = std::max(std::fabs(q.x - p.x), std::fabs(q.y - p.y));
  if (!std::isfinite(length)) return;
  const int steps = std::max(1, static_cast<int>(std::ceil(length)));
  const float width = std::max(options.line_width, 1.0f);
  const int lo = static_cast<int>(std::floor(-0.5f * (width - 1.0f))), hi = lo + static_cast<int>(width) - 1;
  const float hidden = std::clamp(options.hidden_line_strength, 0.0f, 1.0f);
  const float colour[3] = {line.colour.x, line.colour.y, line.colour.z};
  const Rgb8 solid = to_rgb8(line.colour);

  for (int s = 0; s <= steps; ++s) {
    const float t = static_cast<float>(s) / static_cast<float>(steps);
    const int cx = static_cast<int>(std::floor(p.x + (q.x - p.x) * t));
    const int cy = static_cast<int>(std::floor(p.y + (q.y - p.y) * t));
    const float key = p.key + (q.key - p.key) * t;
    for (int y = std::max(cy + lo, band.y0); y <= std::min(cy + hi, band.y1 - 1); ++y) {
      for (int x = std::max(cx + lo, 0); x <= std::min(cx + hi, band.image.width - 1); ++x) {
        const size_t i = band.index(x, y);
        if (band.line_marks[i] == mark) continue;  // blend each pixel once per line
        band.line_marks[i] = mark;
        uint8_t* px = &band.image.rgb[i * 3];
        if (key >= band.keys[i] - cam.key_tolerance) {
          px[0] = solid.r;
          px[1] = solid.g;
          px[2] = solid.b;
        } else {
          for (int k = 0; k < 3; ++k)
            px[k] = to_byte((1.0f - hidden) * (static_cast<float>(px[k]) / 255.0f) + hidden * colour[k]);
        }
      }
    }
  }
}

}  // namespace

Bounds draw_list_bounds(const DrawList& list) {
  Bounds b;
  for (const Mesh* mesh : list.meshes)
    if (mesh) b.add(mesh_bounds(*mesh));
  for (const Line& line : list.lines) {
    b.add(line.a);
    b.add(line.b);
  }
  return b;
}

bool frames_lines(const DrawList& list, const RenderOptions& options) {
  if (!options.helpers) return false;
  if (options.frame_helpers) return true;
  for (const Mesh* mesh : list.meshes)
    if (mesh && !mesh->points.empty()) return false;
  return true;
}

Camera camera_for(const DrawList& list, const RenderOptions& options) {
  const bool lines = frames_lines(list, options);
  std::vector<Vector> drawn;
  if (options.camera) {
    // Every point only sets the depth range here: a sample of them does as well.
    for (const Mesh* mesh : list.meshes)
      if (mesh)
        for (size_t i = 0; i < mesh->points.size(); i += 1 + mesh->points.size() / 4096) drawn.push_back(mesh->points[i]);
    return placed_camera(*options.camera, options.width, options.height, drawn);
  }
  if (!options.fit.empty()) {
    Bounds b;
    for (const Vector& p : options.fit) b.add(p);
    return frame_camera(b, options.view, options.width, options.height, options.margin, options.fit,
                        options.fov_degrees);
  }
  size_t count = lines ? list.lines.size() * 2 : 0;
  for (const Mesh* mesh : list.meshes)
    if (mesh) count += mesh->points.size();
  drawn.reserve(count);
  Bounds bounds;
  for (const Mesh* mesh : list.meshes)
    if (mesh) {
      drawn.insert(drawn.end(), mesh->points.begin(), mesh->points.end());
      bounds.add(mesh_bounds(*mesh));
    }
  if (lines)
    for (const Line& line : list.lines) {
      drawn.push_back(line.a);
      drawn.push_back(line.b);
      bounds.add(line.a);
      bounds.add(line.b);
    }
  return frame_camera(bounds, options.view, options.width, options.height, options.margin, drawn,
                      options.fov_degrees);
}

Image render(const DrawList& list, const RenderOptions& options) {
  Image image;
  image.width = std::max(options.width, 1);
  image.height = std::max(options.height, 1);
  const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
  image.rgb.resize(pixels * 3);
  const Rgb8 bg = to_rgb8(options.background);
  for (size_t i = 0; i < pixels; ++i) {
    image.rgb[i * 3] = bg.r;
    image.rgb[i * 3 + 1] = bg.g;
    image.rgb[i * 3 + 2] = bg.b;
  }
  std::vector<float> keys(pixels, -std::numeric_limits<float>::infinity());
  const bool lines = options.helpers && !list.lines.empty();
  std::vector<uint32_t> line_marks(lines ? pixels : 0, 0);

  const Camera cam = camera_for(list, options);
  // Light from above left, behind the viewer.
  const Vector light = Normalize(cam.right * -0.4f + cam.up * 0.6f - cam.forward * 0.7f);

  std::vector<ProjectedMesh> meshes;
  bool shaded = false;
  for (size_t m = 0; m < list.meshes.size(); ++m) {
    const Mesh* mesh = list.meshes[m];
    if (!mesh || !check_mesh(*mesh).empty()) continue;  // a broken mesh is not drawn rather than crash
    const SurfaceShader* shader = m < list.shaders.size() ? list.shaders[m] : nullptr;
    shaded = shaded || shader;
    ProjectedMesh pm{mesh, mesh->colour.value_or(options.default_colour), shader, {}, {}, {}, {}, nullptr, {},
                     false};
    if (mesh->face_material.empty() || shader) {
      pm.polygons = mesh_polygons(*mesh);
    } else {
      // A face's material colour wins over the mesh's one colour.
      DerivedPolygons derived = derive_polygons(*mesh);
      pm.polygons = std::move(derived.polygons);
      pm.polygon_colours.reserve(pm.polygons.size());
      for (const uint32_t face : derived.face)
        pm.polygon_colours.push_back(mesh->materials[mesh->face_material[face]].base_colour);
    }
    if (!mesh->point_colours.empty() && !shader) pm.point_colours = &mesh->point_colours;
    pm.smooth = !options.faceted && !(options.flat && !shader);
    if (pm.smooth) pm.normals = layout_by_normals(mesh->points, pm.polygons, NormalStyle::smooth);
    pm.points.resize(mesh->points.size());
    pm.visible.resize(mesh->points.size());
    for (size_t i = 0; i < mesh->points.size(); ++i) pm.visible[i] = cam.project(mesh->points[i], pm.points[i]);
    meshes.push_back(std::move(pm));
  }

  SurfaceBuffer surfaces;
  if (shaded) {
    surfaces.mesh.assign(pixels, 0);
    surfaces.triangle.resize(pixels);
    surfaces.position.resize(pixels);
    surfaces.normal.resize(pixels);
  }

  const auto draw_band = [&](int y0, int y1) {
    Band band{image, keys, line_marks, shaded ? &surfaces : nullptr, cam.perspective, y0, y1};
    draw_meshes(meshes, light, options.flat, band);
    if (shaded) shade_surfaces(meshes, cam, light, options.flat, band);
    for (size_t i = 0; lines && i < list.lines.size(); ++i)
      draw_line(list.lines[i], static_cast<uint32_t>(i + 1), cam, options, band);
  };
  const int threads = std::clamp(options.threads, 1, std::min(8, image.height));
  std::vector<std::thread> workers;
  for (int t = 1; t < threads; ++t)
    workers.emplace_back(draw_band, image.height * t / threads, image.height * (t + 1) / threads);
  draw_band(0, image.height / threads);
  for (std::thread& w : workers) w.join();
  return image;
}

}  // namespace kurvo::media
