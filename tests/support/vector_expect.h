// Test assertion for vectors: agreement within a tolerance per component,
// printing both vectors on failure.
#pragma once

#include <gtest/gtest.h>

#include "math/vector.h"

#define EXPECT_VEC_NEAR(a, b, tol)                            \
  do {                                                        \
    const Vector va_ = (a), vb_ = (b);                        \
    EXPECT_NEAR(va_.x, vb_.x, (tol)) << va_ << " vs " << vb_; \
    EXPECT_NEAR(va_.y, vb_.y, (tol)) << va_ << " vs " << vb_; \
    EXPECT_NEAR(va_.z, vb_.z, (tol)) << va_ << " vs " << vb_; \
  } while (0)
