// Matrix: an affine transform as four Vectors, the translation `off` followed
// by the X, Y and Z axes `v1`, `v2`, `v3` (12 floats, layout-compatible with
// KhMatrix).
//
//   M * p = off + v1*p.x + v2*p.y + v3*p.z        (a point)
//   TransformDirection(M, d) = v1*d.x + v2*d.y + v3*d.z   (a direction: no translation)
//   (A * B) * p == A * (B * p)                    (composition: B first, then A)
//
// Global helpers (no namespace):
//   Matrix()                 the identity
//   Invert(M)                affine inverse; a 3x3 part with determinant exactly 0
//                            gives the identity
//   Determinant(M)           determinant of the 3x3 part, Dot(v1, Cross(v2, v3))
//   MatrixMove(v)            translation v, unit axes
//   MatrixScale(v)           axes (v.x,0,0), (0,v.y,0), (0,0,v.z); no translation
//   MatrixRotX/RotY/RotZ(w)  rotations by w radians (single-precision sin/cos of
//                            the float angle), axes as listed at each builder
//   ToKh(M), FromKh(k)       conversion to and from the boundary's KhMatrix
//   operator<<               for test output
// Every builder writes all 12 floats and returns a new Matrix by value.
#ifndef KURVO_MATH_MATRIX_H
#define KURVO_MATH_MATRIX_H

#include <cmath>
#include <cstddef>
#include <ostream>
#include <type_traits>

#include "kh_types.h"
#include "vector.h"

struct Matrix {
  Vector off, v1, v2, v3;

  constexpr Matrix() : off(), v1(1.0f, 0.0f, 0.0f), v2(0.0f, 1.0f, 0.0f), v3(0.0f, 0.0f, 1.0f) {}
  constexpr Matrix(const Vector& off_, const Vector& v1_, const Vector& v2_, const Vector& v3_)
      : off(off_), v1(v1_), v2(v2_), v3(v3_) {}
};

static_assert(sizeof(Matrix) == sizeof(KhMatrix), "Matrix must match KhMatrix");
static_assert(offsetof(Matrix, off) == offsetof(KhMatrix, off) && offsetof(Matrix, v1) == offsetof(KhMatrix, v1) &&
                  offsetof(Matrix, v2) == offsetof(KhMatrix, v2) && offsetof(Matrix, v3) == offsetof(KhMatrix, v3),
              "Matrix must match KhMatrix");
static_assert(std::is_standard_layout_v<Matrix> && std::is_trivially_copyable_v<Matrix>);

constexpr Vector TransformDirection(const Matrix& m, const Vector& d) {
  return m.v1 * d.x + m.v2 * d.y + m.v3 * d.z;
}

constexpr Vector operator*(const Matrix& m, const Vector& p) {
  return m.off + m.v1 * p.x + m.v2 * p.y + m.v3 * p.z;
}

constexpr Matrix operator*(const Matrix& a, const Matrix& b) {
  return Matrix(a * b.off, TransformDirection(a, b.v1), TransformDirection(a, b.v2), TransformDirection(a, b.v3));
}

constexpr bool operator==(const Matrix& a, const Matrix& b) {
  return a.off == b.off && a.v1 == b.v1 && a.v2 == b.v2 && a.v3 == b.v3;
}
constexpr bool operator!=(const Matrix& a, const Matrix& b) { return !(a == b); }

constexpr float Determinant(const Matrix& m) { return Dot(m.v1, Cross(m.v2, m.v3)); }

// The axes are the columns of the 3x3 part; the rows of its inverse are the
// cross products of pairs of columns (the adjugate) divided by the determinant.
constexpr Matrix Invert(const Matrix& m) {
  const float det = Determinant(m);
  if (det == 0.0f) return Matrix();
  const Vector r0 = Cross(m.v2, m.v3) / det;
  const Vector r1 = Cross(m.v3, m.v1) / det;
  const Vector r2 = Cross(m.v1, m.v2) / det;
  Matrix inv(Vector(), Vector(r0.x, r1.x, r2.x), Vector(r0.y, r1.y, r2.y), Vector(r0.z, r1.z, r2.z));
  inv.off = -TransformDirection(inv, m.off);
  return inv;
}

constexpr Matrix MatrixMove(const Vector& v) {
  return Matrix(v, Vector(1.0f, 0.0f, 0.0f), Vector(0.0f, 1.0f, 0.0f), Vector(0.0f, 0.0f, 1.0f));
}

constexpr Matrix MatrixScale(const Vector& v) {
  return Matrix(Vector(), Vector(v.x, 0.0f, 0.0f), Vector(0.0f, v.y, 0.0f), Vector(0.0f, 0.0f, v.z));
}

// X axis (1,0,0), Y axis (0, cos w, -sin w), Z axis (0, sin w, cos w).
inline Matrix MatrixRotX(float w) {
  const float c = std::cos(w), s = std::sin(w);
  return Matrix(Vector(), Vector(1.0f, 0.0f, 0.0f), Vector(0.0f, c, -s), Vector(0.0f, s, c));
}

// X axis (cos w, 0, sin w), Y axis (0,1,0), Z axis (-sin w, 0, cos w).
inline Matrix MatrixRotY(float w) {
  const float c = std::cos(w), s = std::sin(w);
  return Matrix(Vector(), Vector(c, 0.0f, s), Vector(0.0f, 1.0f, 0.0f), Vector(-s, 0.0f, c));
}

// X axis (cos w, -sin w, 0), Y axis (sin w, cos w, 0), Z axis (0,0,1).
inline Matrix MatrixRotZ(float w) {
  const float c = std::cos(w), s = std::sin(w);
  return Matrix(Vector(), Vector(c, -s, 0.0f), Vector(s, c, 0.0f), Vector(0.0f, 0.0f, 1.0f));
}

constexpr KhMatrix ToKh(const Matrix& m) { return KhMatrix{ToKh(m.off), ToKh(m.v1), ToKh(m.v2), ToKh(m.v3)}; }
constexpr Matrix FromKh(const KhMatrix& k) { return Matrix(FromKh(k.off), FromKh(k.v1), FromKh(k.v2), FromKh(k.v3)); }

inline std::ostream& operator<<(std::ostream& os, const Matrix& m) {
  return os << "[off " << m.off << ", v1 " << m.v1 << ", v2 " << m.v2 << ", v3 " << m.v3 << ']';
}

#endif
