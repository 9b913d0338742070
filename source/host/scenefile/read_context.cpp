#include "read_context.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace kurvo::scenefile {

std::string indexed(const std::string& field, size_t index) {
  return field + "[" + std::to_string(index) + "]";
}

std::string member(const std::string& field, const std::string& key) {
  return field.empty() ? key : field + "." + key;
}

void ReadContext::fail(const std::string& field, const std::string& problem) const {
  std::string m = file + ": ";
  if (!object.empty())
    m += "object \"" + object + "\": ";
  else if (!material.empty())
    m += "material \"" + material + "\": ";
  if (!field.empty()) m += field + ": ";
  m += problem;
  throw SceneError{std::move(m)};
}

void ReadContext::chargePoints(double points, const std::string& field) const {
  scenePoints += points;
  if (maxScenePoints == 0 || scenePoints <= static_cast<double>(maxScenePoints)) return;
  char needed[32];
  std::snprintf(needed, sizeof needed, scenePoints < 1e15 ? "%.0f" : "%.2g", scenePoints);
  fail(field, std::string("with this object the scene needs at least ") + needed + " points; a scene may hold " +
                  std::to_string(maxScenePoints) + " (raise it with --max-points)");
}

void ReadContext::allowOnly(const Json& object, const std::string& path,
                            std::initializer_list<const char*> keys) const {
  for (auto it = object.begin(); it != object.end(); ++it) {
    bool known = false;
    for (const char* k : keys) known = known || it.key() == k;
    if (!known) fail(member(path, it.key()), "unknown field");
  }
}

void ReadContext::requireObject(const Json& value, const std::string& field) const {
  if (!value.is_object()) fail(field, "expected an object {...}");
}

void ReadContext::requireArray(const Json& value, const std::string& field) const {
  if (!value.is_array()) fail(field, "expected a list [...]");
}

float ReadContext::number(const Json& value, const std::string& field) const {
  if (!value.is_number()) fail(field, "expected a number");
  const double d = value.get<double>();
  const float f = static_cast<float>(d);
  if (!std::isfinite(d) || !std::isfinite(f)) fail(field, "not a finite number");
  return f;
}

int32_t ReadContext::integer(const Json& value, const std::string& field) const {
  if (value.is_number_integer()) {
    if (value.is_number_unsigned()) {
      const uint64_t u = value.get<uint64_t>();
      if (u > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        fail(field, "integer out of range");
      return static_cast<int32_t>(u);
    }
    const int64_t i = value.get<int64_t>();
    if (i < std::numeric_limits<int32_t>::min() || i > std::numeric_limits<int32_t>::max())
      fail(field, "integer out of range");
    return static_cast<int32_t>(i);
  }
  fail(field, value.is_number() ? "expected an integer, not a number with a fraction" : "expected an integer");
}

bool ReadContext::boolean(const Json& value, const std::string& field) const {
  if (!value.is_boolean()) fail(field, "expected true or false");
  return value.get<bool>();
}

const std::string& ReadContext::text(const Json& value, const std::string& field) const {
  if (!value.is_string()) fail(field, "expected a string");
  return value.get_ref<const std::string&>();
}

Vector ReadContext::vector(const Json& value, const std::string& field) const {
  if (!value.is_array() || value.size() != 3) fail(field, "expected a vector [x, y, z]");
  return Vector(number(value[0], indexed(field, 0)), number(value[1], indexed(field, 1)),
                number(value[2], indexed(field, 2)));
}

Vector ReadContext::colour(const Json& value, const std::string& field) const {
  if (!value.is_array() || value.size() != 3) fail(field, "expected a colour [r, g, b]");
  return Vector(numberIn(value[0], indexed(field, 0), 0.0f, 1.0f), numberIn(value[1], indexed(field, 1), 0.0f, 1.0f),
                numberIn(value[2], indexed(field, 2), 0.0f, 1.0f));
}

float ReadContext::numberIn(const Json& value, const std::string& field, float low, float high) const {
  const float f = number(value, field);
  if (f < low || f > high) {
    char range[64];
    std::snprintf(range, sizeof range, "must be between %g and %g", low, high);
    fail(field, range);
  }
  return f;
}

KhMatrix ReadContext::matrix(const Json& value, const std::string& field) const {
  if (!value.is_array() || value.size() != 4)
    fail(field, "expected a matrix [[tx, ty, tz], [xx, xy, xz], [yx, yy, yz], [zx, zy, zz]]");
  KhMatrix m;
  m.off = ToKh(vector(value[0], indexed(field, 0)));
  m.v1 = ToKh(vector(value[1], indexed(field, 1)));
  m.v2 = ToKh(vector(value[2], indexed(field, 2)));
  m.v3 = ToKh(vector(value[3], indexed(field, 3)));
  return m;
}

}  // namespace kurvo::scenefile
