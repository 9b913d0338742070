// Shared helpers of the geometry tests.
#ifndef KURVO_TESTS_GEOMETRY_TEST_UTIL_H
#define KURVO_TESTS_GEOMETRY_TEST_UTIL_H

#include <gtest/gtest.h>

#include "random.h"
#include "spline.h"
#include "vector.h"

namespace kurvo::geo::test {

inline void ExpectNear(const Vector& a, const Vector& b, float tol) {
  EXPECT_NEAR(a.x, b.x, tol) << a << " vs " << b;
  EXPECT_NEAR(a.y, b.y, tol) << a << " vs " << b;
  EXPECT_NEAR(a.z, b.z, tol) << a << " vs " << b;
}

inline Vector RandomVector(Random& r, float scale) { return Vector(r.Get11(), r.Get11(), r.Get11()) * scale; }

// A spline of `count` random points of the given kind, seeded.
inline Spline RandomSpline(Random& r, Interpolation kind, int count, bool closed) {
  Spline s;
  s.interpolation = kind;
  s.closed = closed;
  Vector at;
  for (int i = 0; i < count; ++i) {
    at += RandomVector(r, 10.0f) + Vector(0, 0, 5);  // wandering, mostly upwards
    s.points.push_back(at);
    if (kind == Interpolation::Bezier) {
      const Vector t = RandomVector(r, 3.0f);
      s.tangentsIn.push_back(-t);
      s.tangentsOut.push_back(t);
    }
  }
  return s;
}

}  // namespace kurvo::geo::test

#endif
