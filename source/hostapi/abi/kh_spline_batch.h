/* Family 41: many positions of one spline in one call. A module that places
 * many points along a spline asks for a block of positions at once instead of
 * making three calls per position; the host answers them side by side, with
 * vector instructions where it can. A host without the family leaves
 * position 41 null, and the module then asks position by position through
 * the object family (18), which answers the same.
 * All entries [thread-safe]; none allocates or locks. */
#ifndef KH_SPLINE_BATCH_H
#define KH_SPLINE_BATCH_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

/* The newest version this header describes. A family of version v has every
 * entry of versions up to v; later entries of an older family are null. */
#define KH_SPLINE_BATCH_VERSION 1

typedef struct KhSplineBatchFamily {
  /* The family's version, at least 1. */
  int32_t(KH_CALL* version)(void);
  /* Version 1. For each of `count` fractions u[i] of the length of segment 0
   * of spline `sp`'s own points, with its length table in use (between the
   * object family's init_length and free_length): the point at the spline
   * parameter uniform_to_natural(sp, u[i]) into px[i], py[i], pz[i] and, when
   * tx is not null, the unit tangent there into tx[i], ty[i], tz[i]. Each
   * answer has exactly the bits that uniform_to_natural followed by
   * spline_point and spline_tangent (segment 0, points null) would give, for
   * any u (outside [0, 1] and not-a-number included). The arrays hold count
   * floats each and must not overlap; ty and tz are used when tx is. A null
   * sp or count <= 0 writes nothing. */
  void(KH_CALL* uniform_points)(KhObject* sp, int32_t count, const float* u, float* px, float* py, float* pz,
                                float* tx, float* ty, float* tz);
} KhSplineBatchFamily;

#ifdef __cplusplus
}
#endif
#endif
