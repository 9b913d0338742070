// Cosine and sine of the roll angle, many angles at a time.
//
// The roll of every point needs the cosine and sine of its own angle, and
// the C library answers one angle per call. Here the angle is reduced by
// pi/2 in double precision (Cody-Waite, with pi/2 split in two so that the
// product with the quadrant is exact), the reduced angle r in [-pi/4, pi/4]
// is rounded to float, and sin r and cos r come from the single-precision
// polynomials long used for them (odd of degree 7 and even of degree 8),
// four angles per vector instruction. The results are within 1e-7 of the
// exact values (the C library's within a third of that; the two differ in
// a last float step for nearly half of all angles), as close as the float
// angle is to its own exact value. Angles beyond kReduced (or not finite)
// go to the C library.
//
// SinCos (one angle) and SinCosMany (four angles per vector instruction)
// run the same operations in the same order, so they give the same bits: a
// point mapped alone and in a block get the same roll.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace kurvo_roll {

// Above this the split of pi/2 no longer leaves the reduction exact enough.
constexpr double kReduced = 65536.0;
constexpr double kTwoOverPi = 0.63661977236758134308;
// pi/2 = kHalfPi1 + kHalfPi2: kHalfPi1 keeps 33 bits, so n * kHalfPi1 is
// exact for |n| < 2^20.
constexpr double kHalfPi1 = 1.57079632673412561417e+00;
constexpr double kHalfPi2 = 6.07710050650619224932e-11;
// Adding and taking away 1.5 x 2^52 rounds to the nearest integer (ties to
// even); the integer is then in the low bits of the sum.
constexpr double kRound = 6755399441055744.0;

// sin r = r + r z (kS3 + z (kS5 + z kS7)), cos r = 1 - z / 2 + z z (kC4 +
// z (kC6 + z kC8)) with z = r r, on [-pi/4, pi/4].
constexpr float kS3 = -1.6666654611e-1f, kS5 = 8.3321608736e-3f, kS7 = -1.9515295891e-4f;
constexpr float kC4 = 4.166664568298827e-2f, kC6 = -1.388731625493765e-3f, kC8 = 2.443315711809948e-5f;

// The reduction of a double or a vector of doubles D (U: the unsigned
// integer of the same width): x = n pi/2 + r, the low bits of n in q.
template <typename D, typename U>
inline void Reduce(D x, D& r, U& q) {
  auto k = [](double v) { return D{} + v; };  // constants of the type itself
  const D sum = x * k(kTwoOverPi) + k(kRound);
  const D n = sum - k(kRound);
  std::memcpy(&q, &sum, sizeof q);
  r = (x - n * k(kHalfPi1)) - n * k(kHalfPi2);
}

// cos and sin of x = n pi/2 + r from r rounded to float (F: a float or a
// vector of floats; U: the unsigned integer of the same width, holding n's
// low bits).
template <typename F, typename U>
inline void Finish(F r, U q, F& cosOut, F& sinOut) {
  auto k = [](float v) { return F{} + v; };
  const F z = r * r;
  const F s = r + r * z * (k(kS3) + z * (k(kS5) + z * k(kS7)));
  const F c = (k(1.0f) - z * k(0.5f)) + z * z * (k(kC4) + z * (k(kC6) + z * k(kC8)));
  // Quadrant n mod 4: sin x is s, c, -s, -c and cos x is c, -s, -c, s.
  U sBits, cBits;
  std::memcpy(&sBits, &s, sizeof sBits);
  std::memcpy(&cBits, &c, sizeof cBits);
  const U odd = U{} - (q & 1u);  // every bit set where n is odd
  U sinBits = (cBits & odd) | (sBits & ~odd);
  U cosBits = (sBits & odd) | (cBits & ~odd);
  sinBits ^= (q & 2u) << 30;
  cosBits ^= ((q + 1u) & 2u) << 30;
  std::memcpy(&sinOut, &sinBits, sizeof sinOut);
  std::memcpy(&cosOut, &cosBits, sizeof cosOut);
}

inline bool Reduced(float angle) { return std::fabs(static_cast<double>(angle)) <= kReduced; }  // false for NaN

// cos and sin of one angle.
inline void SinCos(float angle, float& cosOut, float& sinOut) {
  if (!Reduced(angle)) {
    cosOut = std::cos(angle);
    sinOut = std::sin(angle);
    return;
  }
  double r;
  uint64_t q;
  Reduce<double, uint64_t>(static_cast<double>(angle), r, q);
  Finish<float, uint32_t>(static_cast<float>(r), static_cast<uint32_t>(q), cosOut, sinOut);
}

// SinCos(angle[i], cosOut[i], sinOut[i]) for i < count.
inline void SinCosMany(const float* angle, int count, float* cosOut, float* sinOut) {
  typedef float TwoFloats __attribute__((vector_size(8)));
  typedef double Two __attribute__((vector_size(16)));
  typedef uint64_t TwoBits __attribute__((vector_size(16)));
  typedef float Four __attribute__((vector_size(16)));
  typedef uint32_t FourBits __attribute__((vector_size(16)));
  // Any angle past kReduced, or not a number: the magnitude's bits above
  // those of kReduced (65536 is 0x47800000).
  int32_t far = 0;
  for (int i = 0; i < count; ++i) {
    int32_t bits;
    std::memcpy(&bits, angle + i, sizeof bits);
    far |= (bits & 0x7fffffff) > 0x47800000;
  }
  int i = 0;
  if (!far)
    for (; i + 4 <= count; i += 4) {
      TwoFloats low, high;
      std::memcpy(&low, angle + i, sizeof low);
      std::memcpy(&high, angle + i + 2, sizeof high);
      Two r01, r23;
      TwoBits q01, q23;
      Reduce<Two, TwoBits>(__builtin_convertvector(low, Two), r01, q01);
      Reduce<Two, TwoBits>(__builtin_convertvector(high, Two), r23, q23);
      const Four r = {static_cast<float>(r01[0]), static_cast<float>(r01[1]), static_cast<float>(r23[0]),
                      static_cast<float>(r23[1])};
      const FourBits q = {static_cast<uint32_t>(q01[0]), static_cast<uint32_t>(q01[1]),
                          static_cast<uint32_t>(q23[0]), static_cast<uint32_t>(q23[1])};
      Four c, s;
      Finish<Four, FourBits>(r, q, c, s);
      std::memcpy(cosOut + i, &c, sizeof c);
      std::memcpy(sinOut + i, &s, sizeof s);
    }
  for (; i < count; ++i) SinCos(angle[i], cosOut[i], sinOut[i]);
}

}  // namespace kurvo_roll
