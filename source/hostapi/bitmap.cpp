#include "bitmap.h"

#include "families.h"

using family::Bitmap;

BaseBitmap* BaseBitmap::Alloc() { return From(Bitmap().alloc()); }

void BaseBitmap::Free(BaseBitmap*& bmp) {
  if (bmp) Bitmap().free(bmp->Kh());
  bmp = nullptr;
}

int32 BaseBitmap::Init(const Filename& name, int32 frame, Bool* ismovie) {
  if (ismovie) *ismovie = false;
  return Bitmap().init_file(Kh(), name.Kh(), frame);
}

int32 BaseBitmap::Init(int32 w, int32 h) { return Bitmap().init_size(Kh(), w, h); }
int32 BaseBitmap::GetBw() { return Bitmap().get_width(Kh()); }
int32 BaseBitmap::GetBh() { return Bitmap().get_height(Kh()); }
void BaseBitmap::GetPixel(int32 x, int32 y, int32* r, int32* g, int32* b) {
  Bitmap().get_pixel(Kh(), x, y, r, g, b);
}
void BaseBitmap::SetPixel(int32 x, int32 y, int32 r, int32 g, int32 b) { Bitmap().set_pixel(Kh(), x, y, r, g, b); }
