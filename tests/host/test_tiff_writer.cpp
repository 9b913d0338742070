#include "test_tiff_writer.h"

#include <algorithm>
#include <fstream>

#include "test_support.h"

namespace kurvo::host::test {
namespace {

class Writer {
 public:
  explicit Writer(bool big) : big_(big) {}
  void u16(uint32_t v) {
    if (big_) {
      bytes.push_back(static_cast<uint8_t>(v >> 8));
      bytes.push_back(static_cast<uint8_t>(v));
    } else {
      bytes.push_back(static_cast<uint8_t>(v));
      bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
  }
  void u32(uint32_t v) {
    if (big_) {
      u16(v >> 16);
      u16(v & 0xFFFF);
    } else {
      u16(v & 0xFFFF);
      u16(v >> 16);
    }
  }
  std::vector<uint8_t> bytes;

 private:
  bool big_;
};

// PackBits in its simplest valid form: literal runs of up to 128 bytes,
// with runs of equal bytes packed.
std::vector<uint8_t> packBits(const uint8_t* p, size_t n) {
  std::vector<uint8_t> out;
  size_t i = 0;
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 128 && p[i + run] == p[i]) ++run;
    if (run >= 3) {
      out.push_back(static_cast<uint8_t>(static_cast<int8_t>(1 - static_cast<int>(run))));
      out.push_back(p[i]);
      i += run;
      continue;
    }
    size_t lit = 1;
    while (i + lit < n && lit < 128 && !(i + lit + 2 < n && p[i + lit] == p[i + lit + 1] && p[i + lit] == p[i + lit + 2]))
      ++lit;
    out.push_back(static_cast<uint8_t>(lit - 1));
    out.insert(out.end(), p + i, p + i + lit);
    i += lit;
  }
  return out;
}

}  // namespace

std::vector<uint8_t> testPattern(const TiffLayout& layout) {
  std::vector<uint8_t> px;
  for (int y = 0; y < layout.height; ++y)
    for (int x = 0; x < layout.width; ++x) {
      px.push_back(static_cast<uint8_t>(x));
      px.push_back(static_cast<uint8_t>(y));
      px.push_back(static_cast<uint8_t>(x + y));
      if (layout.samples == 4) px.push_back(200);
    }
  return px;
}

std::vector<uint8_t> makeTiff(const TiffLayout& layout, const std::vector<uint8_t>& pixels) {
  Writer w(layout.bigEndian);
  w.bytes = {static_cast<uint8_t>(layout.bigEndian ? 'M' : 'I'), static_cast<uint8_t>(layout.bigEndian ? 'M' : 'I')};
  w.u16(42);
  w.u32(0);  // directory offset, patched below
  // Strips first.
  const size_t rowBytes = static_cast<size_t>(layout.width) * static_cast<size_t>(layout.samples);
  const int rps = layout.rowsPerStrip > 0 ? layout.rowsPerStrip : layout.height;
  std::vector<uint32_t> offsets, counts;
  for (int row = 0; row < layout.height; row += rps) {
    const int rows = std::min(rps, layout.height - row);
    const uint8_t* p = pixels.data() + static_cast<size_t>(row) * rowBytes;
    const size_t n = static_cast<size_t>(rows) * rowBytes;
    std::vector<uint8_t> data = layout.compression == 32773 ? packBits(p, n) : std::vector<uint8_t>(p, p + n);
    offsets.push_back(static_cast<uint32_t>(w.bytes.size()));
    counts.push_back(static_cast<uint32_t>(data.size()));
    w.bytes.insert(w.bytes.end(), data.begin(), data.end());
  }
  // Arrays that do not fit an entry.
  auto array = [&w](const std::vector<uint32_t>& values) {
    const auto at = static_cast<uint32_t>(w.bytes.size());
    for (uint32_t v : values) w.u32(v);
    return at;
  };
  const uint32_t offsetsAt = offsets.size() > 1 ? array(offsets) : offsets[0];
  const uint32_t countsAt = counts.size() > 1 ? array(counts) : counts[0];
  const auto bitsAt = static_cast<uint32_t>(w.bytes.size());
  for (int s = 0; s < layout.samples; ++s) w.u16(8);
  if (w.bytes.size() % 2) w.bytes.push_back(0);

  struct Tag {
    uint16_t tag, type;
    uint32_t count, value;
  };
  std::map<uint16_t, Tag> tags{
      {256, {256, 4, 1, static_cast<uint32_t>(layout.width)}},
      {257, {257, 4, 1, static_cast<uint32_t>(layout.height)}},
      {258, {258, 3, static_cast<uint32_t>(layout.samples), bitsAt}},
      {259, {259, 3, 1, layout.compression}},
      {262, {262, 3, 1, 2}},
      {273, {273, 4, static_cast<uint32_t>(offsets.size()), offsetsAt}},
      {277, {277, 3, 1, static_cast<uint32_t>(layout.samples)}},
      {278, {278, 4, 1, static_cast<uint32_t>(rps)}},
      {279, {279, 4, static_cast<uint32_t>(counts.size()), countsAt}},
      {284, {284, 3, 1, 1}},
  };
  if (layout.samples == 4) tags[338] = {338, 3, 1, 2};  // unassociated alpha
  for (const auto& [tag, value] : layout.overrides) {
    if (value == ~0u)
      tags.erase(tag);
    else
      tags[tag] = {tag, 4, 1, value};
  }
  const auto dirAt = static_cast<uint32_t>(w.bytes.size());
  w.u16(static_cast<uint32_t>(tags.size()));
  for (const auto& [id, t] : tags) {
    w.u16(t.tag);
    w.u16(t.type);
    w.u32(t.count);
    if (t.type == 3 && t.count == 1) {  // a SHORT sits in the first two bytes
      w.u16(t.value);
      w.u16(0);
    } else {
      w.u32(t.value);
    }
  }
  w.u32(0);  // no further directory
  Writer patch(layout.bigEndian);
  patch.u32(dirAt);
  std::copy(patch.bytes.begin(), patch.bytes.end(), w.bytes.begin() + 4);
  return w.bytes;
}

bool writeFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool writeTestTiff(const std::filesystem::path& file, int w, int h, int samples) {
  TiffLayout layout;
  layout.width = w;
  layout.height = h;
  layout.samples = samples;
  return writeFile(file, makeTiff(layout));
}

}  // namespace kurvo::host::test
