#include <gtest/gtest.h>

#include <cmath>

#include "matrix.h"
#include "random.h"
#include "vector.h"

namespace {

void ExpectNear(const Vector& a, const Vector& b, float tol) {
  EXPECT_NEAR(a.x, b.x, tol) << a << " vs " << b;
  EXPECT_NEAR(a.y, b.y, tol) << a << " vs " << b;
  EXPECT_NEAR(a.z, b.z, tol) << a << " vs " << b;
}

Vector RandomVector(Random& r, float scale) { return Vector(r.Get11(), r.Get11(), r.Get11()) * scale; }

TEST(Vector, CrossDotAndNormalize) {
  const Vector x(1, 0, 0), y(0, 1, 0), z(0, 0, 1);
  EXPECT_EQ(Cross(x, y), z);
  EXPECT_EQ(y % z, x);
  EXPECT_EQ(Cross(z, x), y);
  EXPECT_EQ(Dot(Vector(1, 2, 3), Vector(4, -5, 6)), 12.0f);
  EXPECT_EQ(Len(Vector(3, 4, 12)), 13.0f);
  EXPECT_EQ(Normalize(Vector(0, 0, -7)), Vector(0, 0, -1));
  EXPECT_EQ(Normalize(Vector()), Vector());
  // Tiny but non-zero vectors still normalise (no epsilon test).
  EXPECT_NEAR(Len(Normalize(Vector(1e-15f, 0, 0))), 1.0f, 1e-6f);
}

TEST(Matrix, BuildersWriteTheirAxes) {
  const Matrix id;
  EXPECT_EQ(MatrixMove(Vector()), id);
  EXPECT_EQ(MatrixMove(Vector(1, 2, 3)) * Vector(1, 1, 1), Vector(2, 3, 4));
  EXPECT_EQ(MatrixScale(Vector(2, 3, 4)) * Vector(1, 1, 1), Vector(2, 3, 4));
  // A zero component flattens onto a plane without complaint.
  EXPECT_EQ((MatrixScale(Vector(1, 1, 0)) * Vector(5, 6, 7)).z, 0.0f);

  EXPECT_EQ(MatrixRotX(0.0f), id);
  EXPECT_EQ(MatrixRotY(0.0f), id);
  EXPECT_EQ(MatrixRotZ(0.0f), id);

  const float w = 0.7f;
  const float c = std::cos(w), s = std::sin(w);
  EXPECT_EQ(MatrixRotZ(w) * Vector(1, 0, 0), Vector(c, -s, 0));
  EXPECT_EQ(MatrixRotZ(w) * Vector(0, 1, 0), Vector(s, c, 0));
  EXPECT_EQ(MatrixRotX(w).v2, Vector(0, c, -s));
  EXPECT_EQ(MatrixRotX(w).v3, Vector(0, s, c));
  EXPECT_EQ(MatrixRotY(w).v1, Vector(c, 0, s));
  EXPECT_EQ(MatrixRotY(w).v3, Vector(-s, 0, c));
  // Rotations are orthonormal with determinant 1.
  EXPECT_NEAR(Determinant(MatrixRotX(w) * MatrixRotY(1.3f) * MatrixRotZ(-2.0f)), 1.0f, 1e-6f);
}

TEST(Matrix, TranslationIgnoredForDirections) {
  const Matrix m = MatrixMove(Vector(10, 20, 30)) * MatrixScale(Vector(2, 2, 2));
  EXPECT_EQ(TransformDirection(m, Vector(1, 0, 0)), Vector(2, 0, 0));
  EXPECT_EQ(m * Vector(1, 0, 0), Vector(12, 20, 30));
}

TEST(Matrix, CompositionAppliesRightOperandFirst) {
  const Matrix move = MatrixMove(Vector(1, 0, 0));
  const Matrix rot = MatrixRotZ(static_cast<float>(M_PI / 2));
  const Vector p(1, 0, 0);
  ExpectNear((move * rot) * p, move * (rot * p), 1e-6f);
  ExpectNear((rot * move) * p, rot * (move * p), 1e-6f);
  // The two orders differ, so the check above means something.
  EXPECT_GT(Len((move * rot) * p - (rot * move) * p), 0.5f);
}

TEST(Matrix, InverseRoundTripsSeededMatrices) {
  Random r;
  r.Init(77u);
  for (int i = 0; i < 200; ++i) {
    Matrix m(RandomVector(r, 100.0f), RandomVector(r, 2.0f), RandomVector(r, 2.0f), RandomVector(r, 2.0f));
    if (std::fabs(Determinant(m)) < 0.05f) continue;  // badly conditioned: precision, not correctness
    const Matrix inv = Invert(m);
    const Vector p = RandomVector(r, 50.0f);
    const float tol = 1e-3f * (1.0f + Len(p) + Len(m.off));
    ExpectNear(inv * (m * p), p, tol);
    ExpectNear((m * inv) * p, p, tol);
  }
}

TEST(Matrix, InverseOfRigidMotionIsExactEnough) {
  const Matrix m = MatrixMove(Vector(3, -4, 5)) * MatrixRotY(0.3f) * MatrixScale(Vector(2, 0.5f, 4));
  const Matrix inv = Invert(m);
  ExpectNear(inv * Vector(3, -4, 5), Vector(), 1e-6f);
  ExpectNear(inv * (m * Vector(7, 8, 9)), Vector(7, 8, 9), 1e-5f);
}

TEST(Matrix, SingularInvertsToIdentity) {
  EXPECT_EQ(Invert(MatrixScale(Vector(1, 0, 1))), Matrix());
  // Two equal axes and a translation: still the identity, translation dropped.
  const Matrix twin(Vector(5, 5, 5), Vector(1, 2, 3), Vector(1, 2, 3), Vector(0, 0, 1));
  EXPECT_EQ(Invert(twin), Matrix());
  const Matrix zero{Vector(), Vector(), Vector(), Vector()};
  EXPECT_EQ(Invert(zero), Matrix());
}

}  // namespace
