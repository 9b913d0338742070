// Host bitmaps. Like the scene objects, `this` is the host's KhBitmap handle.
#pragma once

#include "api_types.h"
#include "values.h"

enum { IMAGE_OK = KH_IMAGE_OK };

class BaseBitmap {
 public:
  BaseBitmap() = delete;

  // A new empty bitmap, or null.
  static BaseBitmap* Alloc();
  // Frees the bitmap and clears the pointer; null is ignored.
  static void Free(BaseBitmap*& bmp);

  // Loads an image file (frame -1: the first). 1 (IMAGE_OK) on success.
  int32 Init(const Filename& name, int32 frame = -1, Bool* ismovie = nullptr);
  // Makes the bitmap w x h; IMAGE_OK on success.
  int32 Init(int32 w, int32 h);
  int32 GetBw();
  int32 GetBh();
  // Pixel colour in 0..255 per channel; outside: 0.
  void GetPixel(int32 x, int32 y, int32* r, int32* g, int32* b);
  void SetPixel(int32 x, int32 y, int32 r, int32 g, int32 b);

  KhBitmap* Kh() { return reinterpret_cast<KhBitmap*>(this); }
  static BaseBitmap* From(KhBitmap* bmp) { return reinterpret_cast<BaseBitmap*>(bmp); }
};
