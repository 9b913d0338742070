// The batched evaluations (many positions in one call) run as loops over
// small arrays. Where the loader can pick a function's variant at load time,
// they also come compiled for processors with eight-float vectors (AVX2,
// without fused multiply-add, so that every operation stays the IEEE
// operation it is written as and each answer keeps the bits of the
// one-at-a-time evaluation), chosen when the processor has them.
#ifndef KURVO_GEO_VECTOR_VARIANTS_H
#define KURVO_GEO_VECTOR_VARIANTS_H

// Not under ThreadSanitizer: it instruments the variant picker too, which the
// loader runs before the sanitizer's runtime is up, and the program dies
// before main.
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__)
#define KURVO_GEO_VARIANTS [[gnu::target_clones("avx2", "default")]]
#else
#define KURVO_GEO_VARIANTS
#endif

#endif
