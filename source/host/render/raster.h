// A small software rasteriser for preview pictures.
//
// Meshes are drawn as filled polygons (quads as two triangles) with a
// z-buffer: Lambert light from above left of the viewer plus ambient,
// two-sided, so open surfaces and inverted normals read the same. Shading is
// smooth: each pixel takes the normal interpolated between its triangle's
// corners, whose normals are the mesh's own smooth normals with hard edges
// kept where faces meet at more than the crease angle (surface_normals.h);
// faceted shading gives every face its own normal instead. A face with a
// material takes the material's base colour, other faces the mesh's one
// colour. Point colours, blended across each triangle, tint a material's
// colour (as a glTF viewer multiplies COLOR_0 and the base colour) and, in
// a mesh without materials, replace the one colour. Textures are not
// drawn. A mesh with a SurfaceShader takes its colour from it per pixel: each band first settles
// which surface is visible at each of its pixels, then asks the shader once
// per such pixel, so the shader runs on every render thread. Lines (a
// deformer's arrow, spline paths) are drawn after the meshes: where a surface
// hides them they are blended in faintly instead of vanishing, so paths inside
// or behind a mesh stay visible without looking as if they were in front.
// The camera frames the meshes (raster_camera.h): the lines are helpers and
// may run out of the picture, unless there are no meshes or the options ask
// for them to be framed too. A camera the options place frames nothing.
#ifndef KURVO_MEDIA_RASTER_H
#define KURVO_MEDIA_RASTER_H

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "mesh.h"
#include "raster_camera.h"
#include "vector.h"

namespace kurvo::media {

// RGB, 8 bits per channel, rows from the top.
struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;

  std::array<uint8_t, 3> pixel(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

struct Line {
  Vector a, b;
  Vector colour;  // red, green, blue in 0..1
};

// One point of a surface that a SurfaceShader colours.
struct SurfaceSample {
  Vector position;  // world space
  Vector normal;    // unit surface normal (smooth or faceted, as drawn), facing the viewer
};

// Colours a mesh point by point instead of with its one colour. render()
// calls colour() once for every pixel where the mesh is the visible surface,
// from all of its threads at once: implementations must be thread-safe.
class SurfaceShader {
 public:
  virtual ~SurfaceShader() = default;
  virtual Vector colour(const SurfaceSample& sample) const = 0;
};

struct DrawList {
  std::vector<const Mesh*> meshes;  // not owned; must outlive render()
  std::vector<Line> lines;
  // Per mesh, in the order of `meshes` (may be shorter): the shader that
  // colours it, or null for the mesh's own colour. Not owned.
  std::vector<const SurfaceShader*> shaders;
};

// The light: this much of the surface colour everywhere, plus this much more
// where the surface faces the light.
inline constexpr float kAmbientLight = 0.25f;
inline constexpr float kDiffuseLight = 0.75f;

struct RenderOptions {
  int width = 1280;
  int height = 720;
  View view = View::persp;
  Vector background{0.17f, 0.18f, 0.2f};
  Vector default_colour{0.72f, 0.74f, 0.78f};  // for meshes without a colour
  float margin = 0.06f;                        // free border, fraction of each side
  float line_width = 2.0f;                     // pixels
  float hidden_line_strength = 0.35f;          // 0: hidden lines vanish, 1: drawn over
  int threads = 2;                             // horizontal bands rendered in parallel
  bool flat = false;                           // no light: every surface in its plain colour
  bool faceted = false;                        // one normal per face rather than smooth shading
  bool helpers = true;                         // draw the lines; false: meshes only
  bool frame_helpers = false;                  // frame the lines too, not only the meshes
  float fov_degrees = kDefaultFieldOfViewDegrees;  // the persp view's vertical field of view
  // When given, this camera and no framing.
  std::optional<CameraPlacement> camera;
  // When given, the camera frames these points instead of what the list
  // draws: the frames of an animation keep one camera.
  std::vector<Vector> fit;
};

// Bounds of every mesh point and line end in the list.
Bounds draw_list_bounds(const DrawList& list);

// Whether the camera frames the list's lines: when helpers are drawn and
// either the options ask for it or the list has no mesh point to frame.
bool frames_lines(const DrawList& list, const RenderOptions& options);

// The camera render() uses for this list and these options.
Camera camera_for(const DrawList& list, const RenderOptions& options);

Image render(const DrawList& list, const RenderOptions& options);

}  // namespace kurvo::media

#endif
