// An editor view as the draw family sees it: records pen colours and 3D
// lines in order instead of rasterising them.
#pragma once

#include <cstdint>
#include <vector>

#include "kh_types.h"

namespace kurvo::host {

class DrawRecorder {
 public:
  static constexpr uint32_t kMagic = 0x44524157;  // 'DRAW'
  uint32_t magic = kMagic;

  struct Line {
    KhVector a, b;
    KhVector colour;  // the pen at the time
  };
  std::vector<KhVector> pens;  // every set_pen, in order
  std::vector<Line> lines;
  KhVector pen{0, 0, 0};

  void clear() {
    pens.clear();
    lines.clear();
    pen = {0, 0, 0};
  }
  KhDraw* handle() noexcept { return reinterpret_cast<KhDraw*>(this); }
};

inline DrawRecorder* drawFrom(KhDraw* h) noexcept {
  auto* d = reinterpret_cast<DrawRecorder*>(h);
  return d && d->magic == DrawRecorder::kMagic ? d : nullptr;
}

}  // namespace kurvo::host
