// Vector: three single-precision floats x, y, z.
//
// Used for positions, directions, scale factors and colours (red, green, blue)
// by the module and by the host alike. Layout-compatible with KhVector, so a
// KhVector* from the host boundary may be viewed as a Vector*.
//
// Global helpers (no namespace; the module's code expects them unqualified):
//   a + b, a - b, -a, a * s, s * a, a / s, +=, -=, *=, /=, ==, !=
//   Dot(a, b)               scalar product
//   Cross(a, b), a % b      cross product (a.y*b.z - a.z*b.y, ...)
//   Len(v)                  sqrt(x*x + y*y + z*z) in single precision
//   Normalize(v)            v / Len(v); a vector of length exactly 0 gives (0, 0, 0)
//   ToKh(v), FromKh(k)      conversion to and from the boundary's KhVector
//   operator<<              "(x, y, z)", so failing tests print values
// Every operation is single precision; there is no Vector * Vector, to keep
// scalar and cross products visibly apart at the call site.
#ifndef KURVO_MATH_VECTOR_H
#define KURVO_MATH_VECTOR_H

#include <cmath>
#include <cstddef>
#include <ostream>
#include <type_traits>

#include "kh_types.h"

struct Vector {
  float x, y, z;

  constexpr Vector() : x(0.0f), y(0.0f), z(0.0f) {}
  constexpr Vector(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
  // All three components set to v (uniform scale factors, grey colours).
  constexpr explicit Vector(float v) : x(v), y(v), z(v) {}

  constexpr Vector& operator+=(const Vector& b) { x += b.x; y += b.y; z += b.z; return *this; }
  constexpr Vector& operator-=(const Vector& b) { x -= b.x; y -= b.y; z -= b.z; return *this; }
  constexpr Vector& operator*=(float s) { x *= s; y *= s; z *= s; return *this; }
  constexpr Vector& operator/=(float s) { x /= s; y /= s; z /= s; return *this; }
};

static_assert(sizeof(Vector) == sizeof(KhVector), "Vector must match KhVector");
static_assert(offsetof(Vector, x) == offsetof(KhVector, x) && offsetof(Vector, y) == offsetof(KhVector, y) &&
                  offsetof(Vector, z) == offsetof(KhVector, z),
              "Vector must match KhVector");
static_assert(std::is_standard_layout_v<Vector> && std::is_trivially_copyable_v<Vector>);

constexpr Vector operator+(const Vector& a, const Vector& b) { return Vector(a.x + b.x, a.y + b.y, a.z + b.z); }
constexpr Vector operator-(const Vector& a, const Vector& b) { return Vector(a.x - b.x, a.y - b.y, a.z - b.z); }
constexpr Vector operator-(const Vector& a) { return Vector(-a.x, -a.y, -a.z); }
constexpr Vector operator*(const Vector& a, float s) { return Vector(a.x * s, a.y * s, a.z * s); }
constexpr Vector operator*(float s, const Vector& a) { return Vector(a.x * s, a.y * s, a.z * s); }
constexpr Vector operator/(const Vector& a, float s) { return Vector(a.x / s, a.y / s, a.z / s); }
constexpr bool operator==(const Vector& a, const Vector& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }
constexpr bool operator!=(const Vector& a, const Vector& b) { return !(a == b); }

constexpr float Dot(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

constexpr Vector Cross(const Vector& a, const Vector& b) {
  return Vector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
constexpr Vector operator%(const Vector& a, const Vector& b) { return Cross(a, b); }

inline float Len(const Vector& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// Divides by the length (rather than multiplying by its reciprocal) so that the
// result is the correctly rounded quotient per component.
inline Vector Normalize(const Vector& v) {
  const float len = Len(v);
  if (len == 0.0f) return Vector();
  return Vector(v.x / len, v.y / len, v.z / len);
}

constexpr KhVector ToKh(const Vector& v) { return KhVector{v.x, v.y, v.z}; }
constexpr Vector FromKh(const KhVector& k) { return Vector(k.x, k.y, k.z); }

inline std::ostream& operator<<(std::ostream& os, const Vector& v) {
  return os << '(' << v.x << ", " << v.y << ", " << v.z << ')';
}

#endif
