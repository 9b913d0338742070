// Bitmaps.
#include <algorithm>

#include "bitmap.h"
#include "boundary.h"
#include "families.h"
#include "memory.h"
#include "text_value.h"
#include "utf8_path.h"

namespace kurvo::host {
namespace {

uint8_t channel(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

KhBitmap* KH_CALL alloc() {
  return guarded<KhBitmap*>(nullptr, []() -> KhBitmap* {
    if (!Memory::admit()) return nullptr;
    auto* b = new Bitmap();
    LiveHandles::added();
    return toHandle(b);
  });
}
void KH_CALL release(KhBitmap* handle) {
  if (Bitmap* b = bitmapFrom(handle)) {
    delete b;
    LiveHandles::removed();
  }
}
int32_t KH_CALL initFile(KhBitmap* handle, const KhFilenameValue* name, int32_t frame) {
  return guarded<int32_t>(KH_IMAGE_NOMEM, [&]() -> int32_t {
    Bitmap* b = bitmapFrom(handle);
    if (!b) return KH_IMAGE_NOTEXISTING;
    // TIFF files here hold a single image: frame -1 and 0 both name it.
    if (frame > 0) {
      b->clear();
      return KH_IMAGE_NOTEXISTING;
    }
    return b->loadTiff(pathFromUtf8(textOf(name)));
  });
}
int32_t KH_CALL initSize(KhBitmap* handle, int32_t w, int32_t h) {
  return guarded<int32_t>(KH_IMAGE_NOMEM, [&]() -> int32_t {
    Bitmap* b = bitmapFrom(handle);
    return b ? b->resize(w, h) : KH_IMAGE_NOMEM;
  });
}
int32_t KH_CALL getWidth(const KhBitmap* handle) {
  const Bitmap* b = bitmapFrom(handle);
  return b ? b->width() : 0;
}
int32_t KH_CALL getHeight(const KhBitmap* handle) {
  const Bitmap* b = bitmapFrom(handle);
  return b ? b->height() : 0;
}
void KH_CALL getPixel(const KhBitmap* handle, int32_t x, int32_t y, int32_t* r, int32_t* g,
                      int32_t* b) {
  uint8_t px[4] = {0, 0, 0, 0};
  if (const Bitmap* bmp = bitmapFrom(handle)) bmp->get(x, y, px);
  if (r) *r = px[0];
  if (g) *g = px[1];
  if (b) *b = px[2];
}
void KH_CALL setPixel(KhBitmap* handle, int32_t x, int32_t y, int32_t r, int32_t g, int32_t b) {
  if (Bitmap* bmp = bitmapFrom(handle)) bmp->set(x, y, channel(r), channel(g), channel(b));
}

}  // namespace

const KhBitmapFamily* bitmapFamily() noexcept {
  static const KhBitmapFamily family = [] {
    KhBitmapFamily f{};
    f.alloc = alloc;
    f.free = release;
    f.init_file = initFile;
    f.init_size = initSize;
    f.get_width = getWidth;
    f.get_height = getHeight;
    f.get_pixel = getPixel;
    f.set_pixel = setPixel;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
