/* Family 18: scene objects: modes, change state, matrices, points, splines,
 * tags, dependence lists and vertex maps. Reads are [thread-safe] during an
 * evaluation; the per-point spline entries are the hot path and must neither
 * allocate nor lock. */
#ifndef KH_OBJECT_H
#define KH_OBJECT_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhObjectFamily {
  /* A new free object of type `type` (5140 null, 5100 polygon, 5101 spline),
   * or null. Released with the list-node family's `free`. */
  KhObject*(KH_CALL* alloc)(int32_t type);
  /* Mode of kind `kind` (2: deform) is set to `mode` (0 off, 1 on, 2 undefined). */
  void(KH_CALL* set_mode)(KhObject* op, int32_t kind, int32_t mode);
  int32_t(KH_CALL* get_mode)(KhObject* op, int32_t kind);
  /* True when the object changed in one of the classes `flags` (2 matrix,
   * 4 data) since the host's previous evaluation. */
  int32_t(KH_CALL* is_dirty)(KhObject* op, int32_t flags);
  /* A counter that changes whenever the object changes in `flags`. */
  uint32_t(KH_CALL* get_dirty)(KhObject* op, int32_t flags);
  /* Marks the object changed in `flags`. */
  void(KH_CALL* set_dirty)(KhObject* op, int32_t flags);
  void(KH_CALL* get_mg)(KhObject* op, KhMatrix* out); /* global matrix */
  void(KH_CALL* get_ml)(KhObject* op, KhMatrix* out); /* local matrix */
  /* Bounding box centre and half size, in the object's own coordinates. */
  void(KH_CALL* get_mp)(KhObject* op, KhVector* out);
  void(KH_CALL* get_rad)(KhObject* op, KhVector* out);
  /* Writable point array of a point object (polygon or spline) and its count;
   * null and 0 for other objects. */
  KhVector*(KH_CALL* get_points)(KhObject* op);
  int32_t(KH_CALL* get_point_count)(KhObject* op);
  /* The `nr`-th tag of type `type` on the object, or null. */
  KhNode*(KH_CALL* get_tag)(KhObject* op, int32_t type, int32_t nr);
  /* Per-point weights (one float per point) that apply to `modifier`, or null.
   * The caller frees the array with the general family's `free`. */
  float*(KH_CALL* calc_vertex_map)(KhObject* op, KhObject* modifier);

  /* The spline form of the object, owned by the host and valid during the
   * call, or null. */
  KhObject*(KH_CALL* get_real_spline)(KhObject* op);
  /* Point and tangent (unit length) at spline parameter t in [0, 1] of `segment`;
   * `points` null: the spline's own points. */
  void(KH_CALL* spline_point)(KhObject* sp, float t, int32_t segment, const KhVector* points,
                              KhVector* out);
  void(KH_CALL* spline_tangent)(KhObject* sp, float t, int32_t segment, const KhVector* points,
                                KhVector* out);
  /* Builds the arc-length table of one segment; true on success. The table is
   * kept until `free_length`. */
  int32_t(KH_CALL* init_length)(KhObject* sp, int32_t segment, const KhVector* points);
  void(KH_CALL* free_length)(KhObject* sp);
  /* Spline parameter at arc-length fraction u in [0, 1]. */
  float(KH_CALL* uniform_to_natural)(KhObject* sp, float u);
  float(KH_CALL* get_length)(KhObject* sp);

  /* Generator caches and dependence lists. */
  int32_t(KH_CALL* check_cache)(KhObject* op, KhHierarchyHelp* hh);
  KhObject*(KH_CALL* get_cache)(KhObject* op, KhHierarchyHelp* hh);
  void(KH_CALL* new_dependence_list)(KhObject* op);
  int32_t(KH_CALL* compare_dependence_list)(KhObject* op);
  void(KH_CALL* touch_dependence_list)(KhObject* op);
  /* A clone of `child` for generator `op`; adds it to op's dependence list and
   * sets *dirty when it changed (dirty may be null). Caller owns the result. */
  KhObject*(KH_CALL* get_hierarchy_clone)(KhObject* op, KhHierarchyHelp* hh, KhObject* child,
                                          int32_t flags, int32_t* dirty, KhAliasTrans* trans);
} KhObjectFamily;

/* Family 20: threads. */
typedef struct KhThreadFamily {
  /* True when the work running on `thread` is to stop. [thread-safe] */
  int32_t(KH_CALL* test_break)(KhThread* thread);
} KhThreadFamily;

/* Family 28: editor-view drawing. [main-thread] */
typedef struct KhDrawFamily {
  void(KH_CALL* set_pen)(KhDraw* bd, const KhVector* colour);
  /* A line between two world-space points. */
  void(KH_CALL* line3d)(KhDraw* bd, const KhVector* a, const KhVector* b);
} KhDrawFamily;

#ifdef __cplusplus
}
#endif
#endif
