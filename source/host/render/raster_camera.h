// The preview camera: one of four fixed views, framed on a bounding box.
//
// The scene is Y-up. "front" looks along +Z with X to the right, "top" looks
// down along -Y with X to the right and Z up the picture, "side" looks along
// -X with Z to the right; "persp" looks from the front, right and above onto
// the box's centre. front, top and side are orthographic.
#ifndef KURVO_MEDIA_RASTER_CAMERA_H
#define KURVO_MEDIA_RASTER_CAMERA_H

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "mesh.h"
#include "vector.h"

namespace kurvo::media {

enum class View { front, top, side, persp };

// "front", "top", "side" or "persp"; anything else gives none.
std::optional<View> parse_view(std::string_view name);
const char* view_name(View view);

// A point as the rasteriser sees it: pixel position (x to the right, y down,
// pixel centres at .5) and a depth key that grows towards the viewer and is
// affine in screen space, so it may be interpolated linearly across a triangle.
struct ScreenPoint {
  float x, y, key;
};

struct Camera {
  int width = 1, height = 1;
  bool perspective = false;
  Vector eye;                  // for orthographic views: a point behind the box
  Vector right, up, forward;   // orthonormal; forward points into the picture
  float scale = 1.0f;          // pixels per unit (orthographic) or focal length in pixels
  float near_distance = 0.0f;  // perspective: nearest depth drawn
  float key_tolerance = 0.0f;  // depth-key slack for lines lying on a surface

  // Distance along `forward` from the eye.
  float depth(const Vector& p) const { return Dot(p - eye, forward); }
  // False for a point at or behind the perspective near plane.
  bool project(const Vector& p, ScreenPoint& out) const;
};

// The vertical field of view of the perspective camera unless one is asked for.
inline constexpr float kDefaultFieldOfViewDegrees = 40.0f;

// A camera for `view` whose picture of `bounds` leaves `margin` (a fraction of
// the picture's width and height, at each side) free. Empty or flat bounds are
// framed as a small box around them.
//
// With `points` (every point that will be drawn, all inside `bounds`), the
// picture of those points is fitted instead of the box's eight corners: a
// curved or diagonal shape fills only part of its box, and fitting the
// corners left much of the picture empty.
//
// `fov_degrees` is the perspective view's vertical field of view; the
// orthographic views ignore it.
Camera frame_camera(const Bounds& bounds, View view, int width, int height, float margin,
                    std::span<const Vector> points = {}, float fov_degrees = kDefaultFieldOfViewDegrees);

// A perspective camera the user places: at `position`, looking at `target`,
// with `up` as the picture's up (tilted to stand square to the view) and a
// vertical field of view in degrees. Nothing is framed: what lies outside
// the view is cut off, and polygons reaching behind the camera are left out.
struct CameraPlacement {
  Vector position{0.0f, 0.0f, 0.0f};
  Vector target{0.0f, 0.0f, 0.0f};
  Vector up{0.0f, 1.0f, 0.0f};
  float fov_degrees = kDefaultFieldOfViewDegrees;
};

// What is wrong with a placement (the camera on its target, `up` along the
// view or of no length, a field of view outside 1..179 degrees, a value not
// finite), in words that follow a field name; empty when it is sound.
std::string placement_problem(const CameraPlacement& placement);

// The camera of a sound placement; `points` (what will be drawn) only set
// the depth range used to keep lines on surfaces visible.
Camera placed_camera(const CameraPlacement& placement, int width, int height, std::span<const Vector> points = {});

}  // namespace kurvo::media

#endif
