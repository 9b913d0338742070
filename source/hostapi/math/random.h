// Random: the module's own pseudo-random generator. A seed gives the same
// sequence on every build target, so the arithmetic below is fixed down to its
// integer widths, its float conversion and where double precision is used.
//
//   Random()       seed 100, nothing held
//   Init(seed)     restart at `seed`; discards a held Gaussian value
//   Get01()        uniform float in [0, 1]
//   Get11()        uniform float in [-1, 1]
//   GetG01()       Gaussian float centred on 0.5 (scale 0.09)
//   GetG11()       Gaussian float centred on 0 (scale 0.18)
//
// One step: t = seed * 69069 + 69069 (mod 2^32); seed = t & 0x7FFFFFFF.
// Get01 converts the new 31-bit state to float (round to nearest even) and
// multiplies by 2^-31 in single precision: state 0 gives 0.0 and the 64
// highest states give exactly 1.0.
// The Gaussian draws use the polar method and come in pairs: the second value
// of a pair is held and returned by the next GetG01 or GetG11, each with its
// own scaling.
//
// A plain value (three fields, in this order: seed, held flag, held value):
// owns nothing, copies by value. Not for sharing between threads without the
// caller's own exclusion.
#ifndef KURVO_MATH_RANDOM_H
#define KURVO_MATH_RANDOM_H

#include <cmath>
#include <cstdint>
#include <type_traits>

class Random {
 public:
  Random() = default;

  void Init(uint32_t seed) {
    seed_ = seed;
    held_ = 0;
  }

  float Get01() {
    seed_ = (seed_ * 69069u + 69069u) & 0x7FFFFFFFu;
    return static_cast<float>(seed_) * 0x1p-31f;
  }

  float Get11() { return Widen(Get01()); }

  float GetG01() { return static_cast<float>(static_cast<double>(NextGaussian()) * 0.09 + 0.5); }
  float GetG11() { return static_cast<float>(static_cast<double>(NextGaussian()) * 0.18); }

  uint32_t Seed() const { return seed_; }
  bool HasHeldValue() const { return held_ != 0; }

 private:
  // 2*v - 1 in double, rounded to float.
  static float Widen(float v) { return static_cast<float>(2.0 * static_cast<double>(v) - 1.0); }

  // Unscaled Gaussian value: the held one if there is one, else a fresh pair.
  float NextGaussian() {
    if (held_ != 0) {
      held_ = 0;
      return heldValue_;
    }
    float a, b, s;
    do {
      a = Widen(Get01());
      b = Widen(Get01());
      const float aa = a * a;
      const float bb = b * b;
      s = aa + bb;
    } while (!(s < 1.0f) || s == 0.0f);
    const double sd = static_cast<double>(s);
    const float f = static_cast<float>(std::sqrt(-2.0 * std::log(sd) / sd));
    heldValue_ = a * f;
    held_ = 1;
    return b * f;
  }

  uint32_t seed_ = 100;
  int32_t held_ = 0;
  float heldValue_ = 0.0f;  // meaningful only while held_ is set
};

static_assert(sizeof(Random) == 12 && std::is_standard_layout_v<Random> && std::is_trivially_copyable_v<Random>);

#endif
