#include "font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace kurvo::panel {

struct Font::Library {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~Library() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

Font::~Font() = default;

kurvo::media::Result<std::unique_ptr<Font>> Font::open(const std::filesystem::path& file, int32_t pixelSize) {
  using kurvo::media::Status;
  std::unique_ptr<Font> font(new Font());
  font->ft_ = std::make_unique<Library>();
  if (FT_Init_FreeType(&font->ft_->library) != 0) return Status::failure("FreeType cannot start");
  if (FT_New_Face(font->ft_->library, file.c_str(), 0, &font->ft_->face) != 0)
    return Status::failure(file.string() + ": not a font FreeType can read");
  if (pixelSize <= 0 || FT_Set_Pixel_Sizes(font->ft_->face, 0, static_cast<FT_UInt>(pixelSize)) != 0)
    return Status::failure(file.string() + ": cannot be set to " + std::to_string(pixelSize) + " pixels");
  const FT_Size_Metrics& m = font->ft_->face->size->metrics;
  font->ascent_ = static_cast<int32_t>((m.ascender + 63) >> 6);
  font->descent_ = static_cast<int32_t>((-m.descender + 63) >> 6);
  return font;
}

const Glyph& Font::glyph(char32_t codePoint) {
  if (auto it = cache_.find(codePoint); it != cache_.end()) return it->second;
  Glyph g;
  FT_Face face = ft_->face;
  // Light hinting keeps the shapes and snaps only vertically: crisp at small
  // sizes without distorting the spacing.
  if (FT_Load_Char(face, codePoint, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) == 0) {
    const FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bmp = slot->bitmap;
    g.width = static_cast<int32_t>(bmp.width);
    g.rows = static_cast<int32_t>(bmp.rows);
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
    g.coverage.resize(static_cast<size_t>(g.width) * static_cast<size_t>(g.rows));
    if (bmp.pixel_mode == FT_PIXEL_MODE_GRAY) {
      for (int32_t r = 0; r < g.rows; ++r)
        for (int32_t c = 0; c < g.width; ++c)
          g.coverage[static_cast<size_t>(r) * g.width + c] = bmp.buffer[r * bmp.pitch + c];
    } else if (bmp.pixel_mode == FT_PIXEL_MODE_MONO) {
      for (int32_t r = 0; r < g.rows; ++r)
        for (int32_t c = 0; c < g.width; ++c)
          g.coverage[static_cast<size_t>(r) * g.width + c] =
              (bmp.buffer[r * bmp.pitch + c / 8] & (0x80 >> (c % 8))) ? 255 : 0;
    }
  }
  return cache_.emplace(codePoint, std::move(g)).first->second;
}

int32_t Font::measure(std::string_view text) {
  int32_t width = 0;
  for (char32_t c : decodeUtf8(text)) width += glyph(c).advance;
  return width;
}

std::u32string decodeUtf8(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t cp = 0;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      extra = 1;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3;
      cp = b & 0x07;
    } else {
      out.push_back(U'\uFFFD');
      ++i;
      continue;
    }
    bool ok = i + static_cast<size_t>(extra) < text.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto cont = static_cast<unsigned char>(text[i + k]);
      if ((cont & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cont & 0x3F);
    }
    if (!ok) {
      out.push_back(U'\uFFFD');
      ++i;
      continue;
    }
    out.push_back(cp);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

const std::vector<std::filesystem::path>& regularFontCandidates() {
  static const std::vector<std::filesystem::path> list = {
      "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
      "/usr/share/fonts/TTF/DejaVuSans.ttf",
      "/usr/share/fonts/dejavu/DejaVuSans.ttf",
  };
  return list;
}

const std::vector<std::filesystem::path>& boldFontCandidates() {
  static const std::vector<std::filesystem::path> list = {
      "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
      "/usr/share/fonts/TTF/DejaVuSans-Bold.ttf",
      "/usr/share/fonts/dejavu/DejaVuSans-Bold.ttf",
  };
  return list;
}

}  // namespace kurvo::panel
