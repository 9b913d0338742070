/* Family 6: bitmaps. [main-thread] for loading; reads [thread-safe]. */
#ifndef KH_BITMAP_H
#define KH_BITMAP_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

enum { KH_IMAGE_OK = 1, KH_IMAGE_NOTEXISTING = -1, KH_IMAGE_WRONGTYPE = 2, KH_IMAGE_NOMEM = 3 };

typedef struct KhBitmapFamily {
  /* A new empty bitmap, or null. Released with `free`. */
  KhBitmap*(KH_CALL* alloc)(void);
  void(KH_CALL* free)(KhBitmap* bmp);
  /* Loads an image file (frame -1: the first). Answers KH_IMAGE_OK (1) on
   * success, another KH_IMAGE_ value otherwise; the bitmap is then empty. */
  int32_t(KH_CALL* init_file)(KhBitmap* bmp, const KhFilenameValue* name, int32_t frame);
  /* Makes the bitmap w x h, black. KH_IMAGE_OK or KH_IMAGE_NOMEM. */
  int32_t(KH_CALL* init_size)(KhBitmap* bmp, int32_t w, int32_t h);
  int32_t(KH_CALL* get_width)(const KhBitmap* bmp);
  int32_t(KH_CALL* get_height)(const KhBitmap* bmp);
  /* Pixel colour in 0..255 per channel; outside the bitmap: 0. */
  void(KH_CALL* get_pixel)(const KhBitmap* bmp, int32_t x, int32_t y, int32_t* r, int32_t* g,
                           int32_t* b);
  void(KH_CALL* set_pixel)(KhBitmap* bmp, int32_t x, int32_t y, int32_t r, int32_t g, int32_t b);
} KhBitmapFamily;

#ifdef __cplusplus
}
#endif
#endif
