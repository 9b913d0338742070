// Draws the module's three bitmaps and writes them as RGBA TIFF files:
//   Kurvo.tif           32 x 32   deformer icon: an arrow bent along a curve
//   gradienttypes.tif  256 x 32   eight 32 x 32 gradient swatches, side by side
//   kurvoBar_small.tif 130 x 32   title-bar banner: normal row (y 0..15) above
//                                 the lit row (y 16..31) shown under the pointer
// Usage: make_res_images <output directory>
// The outputs are committed in res/; run this only to change the artwork.
#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Rgba {
  float r = 0, g = 0, b = 0, a = 0;
};

class Image {
 public:
  Image(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h) {}
  int width() const { return w_; }
  int height() const { return h_; }
  Rgba& at(int x, int y) { return px_[static_cast<size_t>(y) * w_ + x]; }
  const Rgba& at(int x, int y) const { return px_[static_cast<size_t>(y) * w_ + x]; }

  // Source-over compositing of a colour with coverage `cover`.
  void blend(int x, int y, Rgba c, float cover) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_ || cover <= 0) return;
    Rgba& d = at(x, y);
    const float sa = std::clamp(c.a * cover, 0.0f, 1.0f);
    const float oa = sa + d.a * (1 - sa);
    if (oa <= 0) return;
    d.r = (c.r * sa + d.r * d.a * (1 - sa)) / oa;
    d.g = (c.g * sa + d.g * d.a * (1 - sa)) / oa;
    d.b = (c.b * sa + d.b * d.a * (1 - sa)) / oa;
    d.a = oa;
  }

 private:
  int w_, h_;
  std::vector<Rgba> px_;
};

struct P2 {
  float x, y;
};

float SegmentDistance(P2 p, P2 a, P2 b) {
  const float vx = b.x - a.x, vy = b.y - a.y;
  const float wx = p.x - a.x, wy = p.y - a.y;
  const float len2 = vx * vx + vy * vy;
  const float t = len2 > 0 ? std::clamp((wx * vx + wy * vy) / len2, 0.0f, 1.0f) : 0.0f;
  const float dx = wx - t * vx, dy = wy - t * vy;
  return std::sqrt(dx * dx + dy * dy);
}

// Anti-aliased stroke of a polyline with half width `half`.
void StrokePolyline(Image& img, const std::vector<P2>& pts, float half, Rgba c) {
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const P2 p{x + 0.5f, y + 0.5f};
      float d = 1e9f;
      for (size_t i = 1; i < pts.size(); ++i) d = std::min(d, SegmentDistance(p, pts[i - 1], pts[i]));
      img.blend(x, y, c, std::clamp(half + 0.5f - d, 0.0f, 1.0f));
    }
}

// Anti-aliased filled triangle, by 4 x 4 supersampling.
void FillTriangle(Image& img, P2 a, P2 b, P2 c, Rgba col) {
  auto edge = [](P2 p, P2 q, P2 r) { return (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x); };
  const float area = edge(a, b, c);
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      int hits = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
          const P2 p{x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4};
          const float w0 = edge(b, c, p) * area, w1 = edge(c, a, p) * area, w2 = edge(a, b, p) * area;
          if (w0 >= 0 && w1 >= 0 && w2 >= 0) ++hits;
        }
      img.blend(x, y, col, hits / 16.0f);
    }
}

// The bent arrow: a quarter arc from the lower left, ending in a head that
// points up and to the right. `scale` and `origin` place it.
void DrawBentArrow(Image& img, P2 origin, float scale, Rgba shaft, Rgba outline) {
  std::vector<P2> arc;
  const float cx = origin.x + 26 * scale, cy = origin.y + 28 * scale, r = 20 * scale;
  for (int i = 0; i <= 24; ++i) {
    const float t = 3.14159265f * (1.0f + 0.42f * i / 24.0f);  // from 180 deg to ~255 deg
    arc.push_back({cx + r * std::cos(t), cy + r * std::sin(t)});
  }
  const P2 end = arc.back();
  const P2 prev = arc[arc.size() - 2];
  float dx = end.x - prev.x, dy = end.y - prev.y;
  const float n = std::sqrt(dx * dx + dy * dy);
  dx /= n;
  dy /= n;
  const float headLen = 9 * scale, headHalf = 6 * scale;
  const P2 tip{end.x + dx * headLen, end.y + dy * headLen};
  const P2 left{end.x - dy * headHalf, end.y + dx * headHalf};
  const P2 right{end.x + dy * headHalf, end.y - dx * headHalf};

  StrokePolyline(img, arc, 3.2f * scale, outline);
  FillTriangle(img, {tip.x + dx * scale, tip.y + dy * scale},
               {left.x - dy * scale - dx * scale, left.y + dx * scale - dy * scale},
               {right.x + dy * scale - dx * scale, right.y - dx * scale - dy * scale}, outline);
  StrokePolyline(img, arc, 2.0f * scale, shaft);
  FillTriangle(img, tip, left, right, shaft);
}

Rgba Mix(Rgba a, Rgba b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Image DrawIcon() {
  Image img(32, 32);
  // A faint path line under the arrow, then the arrow.
  std::vector<P2> path;
  for (int i = 0; i <= 32; ++i) {
    const float t = 3.14159265f * (1.0f + 0.5f * i / 32.0f);
    path.push_back({26 + 22 * std::cos(t), 30 + 22 * std::sin(t)});
  }
  StrokePolyline(img, path, 0.6f, {0.1f, 0.5f, 0.9f, 0.9f});
  DrawBentArrow(img, {0, 0}, 1.0f, {0.95f, 0.72f, 0.05f, 1}, {0.25f, 0.15f, 0.0f, 1});
  return img;
}

// Eight gradient swatches: linear across, linear down, diagonal, radial,
// circular (angle), box, two-colour stripes and a four-corner blend.
Image DrawGradientTypes() {
  Image img(256, 32);
  const Rgba c0{0.05f, 0.15f, 0.55f, 1}, c1{1.0f, 0.8f, 0.1f, 1};
  for (int k = 0; k < 8; ++k)
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const float u = (x + 0.5f) / 32, v = (y + 0.5f) / 32;
        const float du = u - 0.5f, dv = v - 0.5f;
        float t = 0;
        switch (k) {
          case 0: t = u; break;
          case 1: t = v; break;
          case 2: t = (u + v) / 2; break;
          case 3: t = std::min(1.0f, std::sqrt(du * du + dv * dv) * 2); break;
          case 4: t = (std::atan2(dv, du) + 3.14159265f) / 6.2831853f; break;
          case 5: t = std::max(std::fabs(du), std::fabs(dv)) * 2; break;
          case 6: t = 0.5f + 0.5f * std::sin(u * 6.2831853f * 3); break;
          case 7: {
            const Rgba top = Mix(c0, {0.9f, 0.2f, 0.2f, 1}, u), bottom = Mix({0.2f, 0.8f, 0.3f, 1}, c1, u);
            t = -1;  // marks the four-corner blend
            img.at(k * 32 + x, y) = Mix(top, bottom, v);
            break;
          }
        }
        Rgba c = t < 0 ? img.at(k * 32 + x, y) : Mix(c0, c1, t);
        // A one-pixel frame keeps neighbouring swatches apart.
        if (x == 0 || y == 0 || x == 31 || y == 31) c = {0.1f, 0.1f, 0.1f, 1};
        img.at(k * 32 + x, y) = c;
      }
  return img;
}

// 5 x 7 pixel glyphs for the banner text.
const std::array<const char*, 7>* Glyph(char ch) {
  static const std::array<const char*, 7> K{"X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"};
  static const std::array<const char*, 7> U{"X...X", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."};
  static const std::array<const char*, 7> R{"XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"};
  static const std::array<const char*, 7> V{"X...X", "X...X", "X...X", "X...X", ".X.X.", ".X.X.", "..X.."};
  static const std::array<const char*, 7> O{".XXX.", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."};
  static const std::array<const char*, 7> Two{".XXX.", "X...X", "....X", "...X.", "..X..", ".X...", "XXXXX"};
  switch (ch) {
    case 'K': return &K;
    case 'U': return &U;
    case 'R': return &R;
    case 'V': return &V;
    case 'O': return &O;
    case '2': return &Two;
    default: return nullptr;
  }
}

void DrawText(Image& img, int x0, int y0, const std::string& text, Rgba c) {
  int x = x0;
  for (char ch : text) {
    if (const auto* g = Glyph(ch))
      for (int gy = 0; gy < 7; ++gy)
        for (int gx = 0; gx < 5; ++gx)
          if ((*g)[gy][gx] == 'X') img.blend(x + gx, y0 + gy, c, 1);
    x += 7;
  }
}

// Banner row at y offset `top`; `lit` draws the link zone (x >= 36) lit.
void DrawBannerRow(Image& img, int top, bool lit) {
  const Rgba bg{0.05f, 0.09f, 0.25f, 1}, zone{0.09f, 0.16f, 0.40f, 1}, zoneLit{0.20f, 0.42f, 0.85f, 1};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 130; ++x) {
      Rgba c = bg;
      if (x >= 36 && x <= 129 && y >= 1 && y <= 15) c = lit ? zoneLit : zone;
      img.at(x, top + y) = c;
    }
  // The logo: the bent arrow at half size in the left part.
  Image logo(32, 32);
  DrawBentArrow(logo, {0, 0}, 1.0f, {0.95f, 0.72f, 0.05f, 1}, {0.25f, 0.15f, 0.0f, 1});
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      Rgba s{};  // 2 x 2 box filter down to 16 x 16, premultiplied
      for (int sy = 0; sy < 2; ++sy)
        for (int sx = 0; sx < 2; ++sx) {
          const Rgba& p = logo.at(2 * x + sx, 2 * y + sy);
          s.r += p.r * p.a / 4;
          s.g += p.g * p.a / 4;
          s.b += p.b * p.a / 4;
          s.a += p.a / 4;
        }
      if (s.a > 0) img.blend(x + 10, top + y, {s.r / s.a, s.g / s.a, s.b / s.a, 1}, s.a);
    }
  const Rgba text = lit ? Rgba{1, 1, 1, 1} : Rgba{0.85f, 0.88f, 0.95f, 1};
  DrawText(img, 62, top + 4, "KURVO2", text);
}

Image DrawBanner() {
  Image img(130, 32);
  DrawBannerRow(img, 0, false);
  DrawBannerRow(img, 16, true);
  return img;
}

bool WriteTiff(const Image& img, const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return false;
  const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(img.width()));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(img.height()));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(img.height()));
  std::vector<uint8_t> row(static_cast<size_t>(img.width()) * 4);
  auto to8 = [](float v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255)); };
  bool ok = true;
  for (int y = 0; y < img.height() && ok; ++y) {
    for (int x = 0; x < img.width(); ++x) {
      const Rgba& p = img.at(x, y);
      row[x * 4 + 0] = to8(p.r);
      row[x * 4 + 1] = to8(p.g);
      row[x * 4 + 2] = to8(p.b);
      row[x * 4 + 3] = to8(p.a);
    }
    ok = TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) >= 0;
  }
  TIFFClose(tif);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_res_images <output directory>\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const struct {
    const char* name;
    Image image;
  } outputs[] = {{"Kurvo.tif", DrawIcon()},
                 {"gradienttypes.tif", DrawGradientTypes()},
                 {"kurvoBar_small.tif", DrawBanner()}};
  for (const auto& out : outputs) {
    const std::string path = dir + "/" + out.name;
    if (!WriteTiff(out.image, path)) {
      std::fprintf(stderr, "make_res_images: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("wrote %s\n", path.c_str());
  }
  return 0;
}
