#include "raster_camera.h"

#include <algorithm>
#include <cmath>

namespace kurvo::media {
namespace {

float radians(float degrees) { return degrees * 0.017453292519943295f; }

bool finite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

void view_axes(View view, Vector& right, Vector& up, Vector& forward) {
  Vector world_up(0.0f, 1.0f, 0.0f);
  switch (view) {
    case View::front: forward = Vector(0.0f, 0.0f, 1.0f); break;
    case View::top:
      forward = Vector(0.0f, -1.0f, 0.0f);
      world_up = Vector(0.0f, 0.0f, 1.0f);
      break;
    case View::side: forward = Vector(-1.0f, 0.0f, 0.0f); break;
    case View::persp: forward = Normalize(Vector(-0.55f, -0.45f, 0.7f)); break;
  }
  right = Normalize(Cross(world_up, forward));
  up = Cross(forward, right);
}

void corners_of(const Bounds& b, Vector out[8]) {
  for (int i = 0; i < 8; ++i)
    out[i] = Vector(i & 1 ? b.max.x : b.min.x, i & 2 ? b.max.y : b.min.y, i & 4 ? b.max.z : b.min.z);
}

}  // namespace

std::optional<View> parse_view(std::string_view name) {
  if (name == "front") return View::front;
  if (name == "top") return View::top;
  if (name == "side") return View::side;
  if (name == "persp") return View::persp;
  return std::nullopt;
}

const char* view_name(View view) {
  switch (view) {
    case View::front: return "front";
    case View::top: return "top";
    case View::side: return "side";
    case View::persp: return "persp";
  }
  return "persp";
}

bool Camera::project(const Vector& p, ScreenPoint& out) const {
  const Vector v = p - eye;
  const float z = Dot(v, forward);
  const float cx = 0.5f * static_cast<float>(width), cy = 0.5f * static_cast<float>(height);
  if (perspective) {
    if (!(z > near_distance)) return false;
    const float inv = 1.0f / z;
    out = ScreenPoint{cx + scale * Dot(v, right) * inv, cy - scale * Dot(v, up) * inv, inv};
  } else {
    out = ScreenPoint{cx + scale * Dot(v, right), cy - scale * Dot(v, up), -z};
  }
  return true;
}

Camera frame_camera(const Bounds& input, View view, int width, int height, float margin,
                    std::span<const Vector> points, float fov_degrees) {
  Camera cam;
  cam.width = std::max(width, 1);
  cam.height = std::max(height, 1);
  cam.perspective = view == View::persp;
  view_axes(view, cam.right, cam.up, cam.forward);

  // An empty or single-point box is framed as a unit box around it.
  Bounds b = input;
  if (b.empty) b.add(Vector(0.0f, 0.0f, 0.0f));
  const Vector size = b.max - b.min;
  float extent = std::max({size.x, size.y, size.z});
  const bool framed_as_unit = !(extent > 0.0f);
  if (framed_as_unit) {
    b.min = b.min - Vector(0.5f);
    b.max = b.max + Vector(0.5f);
    extent = 1.0f;
  }
  const Vector centre = (b.min + b.max) * 0.5f;
  const float radius = Len(b.max - centre);

  const float usable = std::clamp(1.0f - 2.0f * margin, 0.05f, 1.0f);
  const float half_w = 0.5f * static_cast<float>(cam.width) * usable;
  const float half_h = 0.5f * static_cast<float>(cam.height) * usable;
  Vector corners[8];
  corners_of(b, corners);
  // What the picture must hold: the drawn points when given, else the box
  // (also for a box without extent, framed as the unit box around it).
  const std::span<const Vector> fit = points.empty() || framed_as_unit ? std::span<const Vector>(corners, 8) : points;

  if (!cam.perspective) {
    // Centred on the middle of the picture of the fitted points.
    float lo_x = 1e30f, hi_x = -1e30f, lo_y = 1e30f, hi_y = -1e30f;
    for (const Vector& c : fit) {
      const float x = Dot(c - centre, cam.right), y = Dot(c - centre, cam.up);
      lo_x = std::min(lo_x, x), hi_x = std::max(hi_x, x);
      lo_y = std::min(lo_y, y), hi_y = std::max(hi_y, y);
    }
    const Vector middle = centre + cam.right * (0.5f * (lo_x + hi_x)) + cam.up * (0.5f * (lo_y + hi_y));
    const float ex = 0.5f * (hi_x - lo_x), ey = 0.5f * (hi_y - lo_y);
    // A box seen edge-on (a line along the view) still gets a finite scale.
    const float least = 1e-6f * extent;
    cam.scale = std::min(half_w / std::max(ex, least), half_h / std::max(ey, least));
    cam.eye = middle - cam.forward * (2.0f * radius);
    cam.key_tolerance = 2e-3f * 2.0f * radius;
    return cam;
  }

  // Perspective: the nearest distance from the aim point at which every fitted
  // point falls inside the usable part of the picture. The aim starts at the
  // middle of the points' picture seen from afar (along the view, without
  // perspective); their perspective picture is not symmetric about it, so
  // the aim is then moved to the middle of that picture and the distance
  // found again, which frames it tighter.
  cam.scale = 0.5f * static_cast<float>(cam.height) / std::tan(0.5f * radians(fov_degrees));
  const float tx = half_w / cam.scale, ty = half_h / cam.scale;
  const auto fit_distance = [&](const Vector& aim) {
    float distance = 0.0f;
    for (const Vector& c : fit) {
      const Vector v = c - aim;
      const float along = Dot(v, cam.forward);
      distance = std::max({distance, std::fabs(Dot(v, cam.right)) / tx - along,
                           std::fabs(Dot(v, cam.up)) / ty - along, 0.05f * radius - along});
    }
    return distance;
  };
  Vector aim = centre;
  {
    float lo_x = 1e30f, hi_x = -1e30f, lo_y = 1e30f, hi_y = -1e30f;
    for (const Vector& c : fit) {
      const float x = Dot(c - centre, cam.right), y = Dot(c - centre, cam.up);
      lo_x = std::min(lo_x, x), hi_x = std::max(hi_x, x);
      lo_y = std::min(lo_y, y), hi_y = std::max(hi_y, y);
    }
    if (lo_x <= hi_x && lo_y <= hi_y) aim = centre + cam.right * (0.5f * (lo_x + hi_x)) + cam.up * (0.5f * (lo_y + hi_y));
  }
  float distance = fit_distance(aim);
  for (int pass = 0; pass < 2; ++pass) {
    float lo_x = 1e30f, hi_x = -1e30f, lo_y = 1e30f, hi_y = -1e30f;
    for (const Vector& c : fit) {
      const Vector v = c - (aim - cam.forward * distance);
      const float z = Dot(v, cam.forward);
      lo_x = std::min(lo_x, Dot(v, cam.right) / z), hi_x = std::max(hi_x, Dot(v, cam.right) / z);
      lo_y = std::min(lo_y, Dot(v, cam.up) / z), hi_y = std::max(hi_y, Dot(v, cam.up) / z);
    }
    aim = aim + cam.right * (0.5f * (lo_x + hi_x) * distance) + cam.up * (0.5f * (lo_y + hi_y) * distance);
    distance = fit_distance(aim);
  }
  cam.eye = aim - cam.forward * distance;
  float nearest = distance, farthest = distance;
  for (const Vector& c : corners) {
    nearest = std::min(nearest, cam.depth(c));
    farthest = std::max(farthest, cam.depth(c));
  }
  cam.near_distance = 0.5f * nearest;
  cam.key_tolerance = 2e-3f * (1.0f / nearest - 1.0f / farthest);
  return cam;
}

std::string placement_problem(const CameraPlacement& placement) {
  if (!finite(placement.position)) return "camera position is not a finite point";
  if (!finite(placement.target)) return "camera target is not a finite point";
  if (!finite(placement.up)) return "camera up is not a finite direction";
  if (!(placement.fov_degrees >= 1.0f && placement.fov_degrees <= 179.0f))
    return "field of view must be between 1 and 179 degrees";
  const Vector view = placement.target - placement.position;
  const float distance = Len(view);
  if (!(distance > 0.0f)) return "camera target is the camera position: the camera looks nowhere";
  const float up = Len(placement.up);
  if (!(up > 0.0f)) return "camera up has no length";
  // Up within about half a degree of the view gives no picture orientation.
  if (Len(Cross(view * (1.0f / distance), placement.up * (1.0f / up))) < 1e-2f)
    return "camera up points along the view: give an up that crosses it";
  return {};
}

Camera placed_camera(const CameraPlacement& placement, int width, int height, std::span<const Vector> points) {
  Camera cam;
  cam.width = std::max(width, 1);
  cam.height = std::max(height, 1);
  cam.perspective = true;
  cam.eye = placement.position;
  const Vector view = placement.target - placement.position;
  const float distance = Len(view);
  cam.forward = view * (1.0f / distance);
  cam.right = Normalize(Cross(placement.up, cam.forward));
  cam.up = Cross(cam.forward, cam.right);
  cam.scale = 0.5f * static_cast<float>(cam.height) / std::tan(0.5f * radians(placement.fov_degrees));
  cam.near_distance = 1e-3f * distance;
  // The depth range of what is in front, for the lines' slack.
  float nearest = distance, farthest = distance;
  for (const Vector& p : points) {
    const float d = cam.depth(p);
    if (!(d > cam.near_distance)) continue;
    nearest = std::min(nearest, d);
    farthest = std::max(farthest, d);
  }
  cam.key_tolerance = 2e-3f * (1.0f / nearest - 1.0f / farthest);
  return cam;
}

}  // namespace kurvo::media
