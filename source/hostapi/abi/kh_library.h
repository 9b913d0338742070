/* Host libraries: services reached through a record registered in the host
 * registry (type 28) under a numeric ID, instead of through the table. Every
 * record starts with KhLibraryHead; `size` lets a caller tell whether an older
 * record already holds the entry it needs. Entries take the service's object
 * first. A module may install a library of its own (the custom GUI library). */
#ifndef KH_LIBRARY_H
#define KH_LIBRARY_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhLibraryHead {
  int32_t version;
  int32_t size; /* bytes of the whole record, head included */
} KhLibraryHead;

/* 1000467: descriptions. */
typedef struct KhDescriptionLib {
  KhLibraryHead head;
  /* Registers description `name` of `res` for node type `id`. */
  int32_t(KH_CALL* register_description)(int32_t id, const KhStringValue* name, KhResource* res);
  /* The level at `depth` of a description ID, or null past its depth. */
  const KhDescLevel*(KH_CALL* get_level)(const KhDescID* id, int32_t depth);
  int32_t(KH_CALL* get_depth)(const KhDescID* id);
} KhDescriptionLib;

/* 1009310: icons. */
typedef struct KhIconLib {
  KhLibraryHead head;
  /* Registers region (x, y, w, h) of `bmp` as icon `id`; the host copies the
   * pixels. True on success. */
  int32_t(KH_CALL* register_icon)(int32_t id, KhBitmap* bmp, int32_t x, int32_t y, int32_t w,
                                  int32_t h, int32_t flags);
} KhIconLib;

/* 1000480: colour gradients (custom data type 1000481). */
typedef struct KhGradientKnot {
  KhVector col;     /* red, green, blue in 0..1 */
  float brightness;
  float pos;        /* 0..1 */
  float bias;       /* 0..1, 0.5 linear */
  int32_t index;
} KhGradientKnot;

typedef struct KhGradientLib {
  KhLibraryHead head;
  KhCustomData*(KH_CALL* alloc)(void);
  void(KH_CALL* free)(KhCustomData* g);
  /* Inserts a knot; its position in the knot list, or -1. */
  int32_t(KH_CALL* insert_knot)(KhCustomData* g, const KhGradientKnot* knot);
  /* Prepares evaluation; true on success. [main-thread] */
  int32_t(KH_CALL* init_render)(KhCustomData* g);
  void(KH_CALL* free_render)(KhCustomData* g);
  /* Colour at position x, between init_render and free_render. [thread-safe] */
  void(KH_CALL* calc_pixel)(const KhCustomData* g, float x, KhVector* out);
  /* Knot `index` in render order, or null. */
  const KhGradientKnot*(KH_CALL* get_render_knot)(const KhCustomData* g, int32_t index);
  int32_t(KH_CALL* get_knot_count)(const KhCustomData* g);
} KhGradientLib;

/* 1009059: spline curves (custom data type 1009060), a function y(x) over x in
 * [0, 1]; outside it a curve holds its end values. */
enum { KH_CURVE_KNOT_LINEAR = 1 };
typedef struct KhSplineDataLib {
  KhLibraryHead head;
  /* Point of the curve at x; y is the curve's value. [thread-safe] */
  void(KH_CALL* get_point)(const KhCustomData* sd, float x, KhVector* out);
  /* Replaces the knots by `count` knots on a straight line (-1: none). */
  int32_t(KH_CALL* make_linear_spline)(KhCustomData* sd, int32_t count);
  void(KH_CALL* set_round)(KhCustomData* sd, float r);
  /* Inserts a knot; its index, or -1. flags 1: linear on both sides. */
  int32_t(KH_CALL* insert_knot)(KhCustomData* sd, float x, float y, int32_t flags);
  int32_t(KH_CALL* get_knot_count)(const KhCustomData* sd);
  /* For each of `count` positions x[i], the curve's value there into y[i]:
   * exactly the y that get_point answers for x[i]. A null sd writes zeros;
   * count <= 0 writes nothing. [thread-safe] Records of an older host end
   * before this entry (head.size); ask get_point one position at a time. */
  void(KH_CALL* get_values)(const KhCustomData* sd, int32_t count, const float* x, float* y);
} KhSplineDataLib;

/* 1019534: spline help (a helper that evaluates a spline with its object's
 * matrix). */
typedef struct KhSplineHelpLib {
  KhLibraryHead head;
  void*(KH_CALL* alloc)(void);
  void(KH_CALL* free)(void* sh);
  void(KH_CALL* free_spline)(void* sh);
} KhSplineHelpLib;

/* The custom GUI library that a custom GUI plug-in installs under its own ID.
 * `gui` is the module's GUI object (the dialog's user object). */
typedef struct KhCustomGuiLib {
  KhLibraryHead head;
  void(KH_CALL* redraw)(void* gui);
  void(KH_CALL* layout_changed)(void* gui);
  int32_t(KH_CALL* width)(void* gui);
  int32_t(KH_CALL* height)(void* gui);
  void(KH_CALL* activate)(void* gui);
  void(KH_CALL* set_default_for_res_edit)(void* gui);
  int32_t(KH_CALL* set_data)(void* gui, const KhTriState* value);
  /* Initialises `out->value` and sets `out->state`. */
  void(KH_CALL* get_data)(void* gui, KhTriState* out);
  void(KH_CALL* set_layout_mode)(void* gui, int32_t mode);
  int32_t(KH_CALL* get_layout_mode)(void* gui);
  int32_t(KH_CALL* support_layout_switch)(void* gui);
  int32_t(KH_CALL* set_objects)(void* gui, void* objects);
} KhCustomGuiLib;

#ifdef __cplusplus
}
#endif
#endif
