// Four floats or two doubles in one vector register, and the exact widening
// of floats to doubles the batched evaluations use.
#ifndef KURVO_GEO_FLOAT_LANES_H
#define KURVO_GEO_FLOAT_LANES_H

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kurvo::geo::lanes {

typedef float Four __attribute__((vector_size(16)));
typedef double Two __attribute__((vector_size(16)));

// Lanes 0 and 1 of v as doubles.
inline Two LowerAsDoubles(Four v) {
#if defined(__SSE2__)
  return static_cast<Two>(_mm_cvtps_pd(static_cast<__m128>(v)));
#else
  return __builtin_convertvector(__builtin_shufflevector(v, v, 0, 1), Two);
#endif
}

// Lanes 2 and 3 of v as doubles.
inline Two UpperAsDoubles(Four v) {
#if defined(__SSE2__)
  const __m128 w = static_cast<__m128>(v);
  return static_cast<Two>(_mm_cvtps_pd(_mm_movehl_ps(w, w)));
#else
  return __builtin_convertvector(__builtin_shufflevector(v, v, 2, 3), Two);
#endif
}

}  // namespace kurvo::geo::lanes

#endif
