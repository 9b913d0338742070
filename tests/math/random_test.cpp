#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "random.h"

namespace {

// Inverse of an odd number modulo 2^32 (Newton iteration), used to find the
// seed that steps to a chosen state.
uint32_t InverseMod2_32(uint32_t a) {
  uint32_t x = a;
  for (int i = 0; i < 5; ++i) x *= 2u - a * x;
  return x;
}

// The seed whose next state is `state` (mod 2^31).
uint32_t SeedBefore(uint32_t state) { return (state * InverseMod2_32(69069u) - 1u) & 0x7FFFFFFFu; }

TEST(Random, FirstDrawOfNewGeneratorIsState6975969) {
  Random r;
  EXPECT_EQ(r.Seed(), 100u);
  EXPECT_FALSE(r.HasHeldValue());
  EXPECT_EQ(r.Get01(), 6975969.0f * 0x1p-31f);
  EXPECT_EQ(r.Seed(), 6975969u);
}

TEST(Random, StepKeepsLow31BitsOfWrappedProduct) {
  Random r;
  r.Init(0xFFFFFFFFu);  // 0xFFFFFFFF * 69069 + 69069 wraps to 0
  EXPECT_EQ(r.Get01(), 0.0f);
  r.Init(0x7FFFFFFFu);  // 0x7FFFFFFF * 69069 + 69069 = 69069 * 2^31
  EXPECT_EQ(r.Get01(), 0.0f);
  EXPECT_EQ(r.Seed(), 0u);
}

TEST(Random, TopStatesRoundToExactlyOne) {
  for (uint32_t state = 0x7FFFFFFFu - 63u; state != 0x80000000u; ++state) {
    Random r;
    r.Init(SeedBefore(state));
    EXPECT_EQ(r.Get01(), 1.0f) << "state " << state;
    EXPECT_EQ(r.Seed(), state);
  }
  // The state just below the top 64 still rounds below 1.
  Random r;
  r.Init(SeedBefore(0x7FFFFFFFu - 64u));
  EXPECT_LT(r.Get01(), 1.0f);
}

TEST(Random, KnownSeedsOfTheShader) {
  Random r;
  r.Init(227192u);
  EXPECT_NEAR(r.Get01(), 0.307154f, 1e-6f);
  r.Init(227193u);
  EXPECT_NEAR(r.Get01(), 0.307186f, 1e-6f);
  r.Init(0u);
  EXPECT_NEAR(r.Get01(), 0.0000322f, 1e-7f);
  EXPECT_EQ(r.Seed(), 69069u);
}

TEST(Random, InitRestartsSequenceAndDropsHeldGaussian) {
  Random a, b;
  a.Init(4242u);
  const float first = a.Get01(), second = a.Get01();
  b.GetG01();  // leaves a value held
  ASSERT_TRUE(b.HasHeldValue());
  b.Init(4242u);
  EXPECT_FALSE(b.HasHeldValue());
  EXPECT_EQ(b.Get01(), first);
  EXPECT_EQ(b.Get01(), second);

  // After Init a Gaussian draw starts a new pair instead of answering the held value.
  Random c, d;
  c.Init(7u);
  d.GetG11();
  d.Init(7u);
  EXPECT_EQ(c.GetG11(), d.GetG11());
  EXPECT_EQ(c.Seed(), d.Seed());
}

TEST(Random, Get11IsTwiceGet01MinusOne) {
  Random a, b;
  a.Init(99u);
  b.Init(99u);
  for (int i = 0; i < 1000; ++i) {
    const float v = a.Get01();
    const float w = b.Get11();
    EXPECT_EQ(w, static_cast<float>(2.0 * static_cast<double>(v) - 1.0));
    EXPECT_GE(w, -1.0f);
    EXPECT_LE(w, 1.0f);
  }
}

TEST(Random, GaussianPairSharesHeldValueAcrossScalings) {
  Random a, b;
  a.Init(12345u);
  b.Init(12345u);
  const float a1 = a.GetG01();
  const uint32_t seedAfterPair = a.Seed();
  const float a2 = a.GetG11();  // held value, GetG11 scaling
  EXPECT_EQ(a.Seed(), seedAfterPair) << "a held value does not step the generator";
  EXPECT_FALSE(a.HasHeldValue());

  const float b1 = b.GetG11();
  const float b2 = b.GetG01();
  // Same unscaled pair, different scalings: g01 = g * 0.09 + 0.5, g11 = g * 0.18.
  EXPECT_NEAR((a1 - 0.5) / 0.09, b1 / 0.18, 1e-5);
  EXPECT_NEAR(a2 / 0.18, (b2 - 0.5) / 0.09, 1e-5);
}

TEST(Random, GaussianPairMatchesPolarMethod) {
  // Independent recomputation of one pair from the uniform draws.
  Random g, u;
  g.Init(2024u);
  u.Init(2024u);
  float a, b, s;
  do {
    a = static_cast<float>(2.0 * u.Get01() - 1.0);
    b = static_cast<float>(2.0 * u.Get01() - 1.0);
    s = a * a + b * b;
  } while (s >= 1.0f || s == 0.0f);
  const float f = static_cast<float>(std::sqrt(-2.0 * std::log(double(s)) / double(s)));
  EXPECT_EQ(g.GetG11(), static_cast<float>(double(b * f) * 0.18));
  EXPECT_EQ(g.GetG01(), static_cast<float>(double(a * f) * 0.09 + 0.5));
  EXPECT_EQ(g.Seed(), u.Seed());
}

TEST(Random, GaussianDrawsHaveExpectedSpread) {
  Random r;
  r.Init(31337u);
  double sum = 0.0, sumSq = 0.0;
  const int n = 20000;
  for (int i = 0; i < n; ++i) {
    const double v = r.GetG01();
    sum += v;
    sumSq += v * v;
  }
  const double mean = sum / n;
  const double sd = std::sqrt(sumSq / n - mean * mean);
  EXPECT_NEAR(mean, 0.5, 0.005);
  EXPECT_NEAR(sd, 0.09, 0.005);
}

}  // namespace
