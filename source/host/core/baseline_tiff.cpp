#include "baseline_tiff.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <new>

#include "kh_bitmap.h"
#include "tiff_codecs.h"

namespace kurvo::host {
namespace {

enum Tag : uint16_t {
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kStripOffsets = 273,
  kOrientation = 274,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kPlanarConfig = 284,
  kPredictor = 317,
  kTileWidth = 322,
};

enum Compression : uint32_t { kNone = 1, kLzw = 5, kPackBits = 32773 };

// Bounds-checked reads in the file's byte order.
class Bytes {
 public:
  explicit Bytes(std::span<const uint8_t> data) : data_(data) {}
  bool bigEndian = false;
  size_t size() const { return data_.size(); }
  bool has(uint64_t offset, uint64_t count) const { return offset <= data_.size() && count <= data_.size() - offset; }
  uint32_t u16(size_t at) const {
    const uint32_t a = data_[at], b = data_[at + 1];
    return bigEndian ? (a << 8) | b : (b << 8) | a;
  }
  uint32_t u32(size_t at) const {
    const uint32_t lo = u16(at), hi = u16(at + 2);
    return bigEndian ? (lo << 16) | hi : (hi << 16) | lo;
  }
  std::span<const uint8_t> range(size_t at, size_t count) const { return data_.subspan(at, count); }

 private:
  std::span<const uint8_t> data_;
};

// One directory entry: a tag's values, read as unsigned integers.
struct Entry {
  uint32_t type = 0;
  uint32_t count = 0;
  size_t valueAt = 0;  // where the values start in the file
};

size_t typeSize(uint32_t type) {
  switch (type) {
    case 1: return 1;  // BYTE
    case 3: return 2;  // SHORT
    case 4: return 4;  // LONG
    default: return 0;
  }
}

class Directory {
 public:
  explicit Directory(const Bytes& bytes) : bytes_(bytes) {}

  // Reads the directory at `offset`; false when it lies outside the file.
  // Entries of other types, or whose values lie outside the file, count as
  // missing.
  bool read(uint32_t offset) {
    if (!bytes_.has(offset, 2)) return false;
    const uint32_t n = bytes_.u16(offset);
    if (!bytes_.has(offset + 2, uint64_t{n} * 12)) return false;
    for (uint32_t i = 0; i < n; ++i) {
      const size_t at = offset + 2 + size_t{i} * 12;
      Entry e{bytes_.u16(at + 2), bytes_.u32(at + 4), at + 8};
      const uint64_t total = uint64_t{e.count} * typeSize(e.type);
      if (total > 4) e.valueAt = bytes_.u32(at + 8);
      if (total != 0 && bytes_.has(e.valueAt, total)) entries_[static_cast<uint16_t>(bytes_.u16(at))] = e;
    }
    return true;
  }
  bool has(uint16_t tag) const { return entries_.count(tag) != 0; }
  uint32_t count(uint16_t tag) const {
    const auto it = entries_.find(tag);
    return it == entries_.end() ? 0 : it->second.count;
  }
  // Value `index` of `tag`, or `fallback` when the tag is missing.
  uint32_t value(uint16_t tag, uint32_t fallback, uint32_t index = 0) const {
    const auto it = entries_.find(tag);
    if (it == entries_.end() || index >= it->second.count) return fallback;
    const Entry& e = it->second;
    const size_t at = e.valueAt + size_t{index} * typeSize(e.type);
    switch (e.type) {
      case 1: return bytes_.range(at, 1)[0];
      case 3: return bytes_.u16(at);
      default: return bytes_.u32(at);
    }
  }

 private:
  const Bytes& bytes_;
  std::map<uint16_t, Entry> entries_;
};

bool decodeStrip(uint32_t compression, std::span<const uint8_t> in, std::span<uint8_t> out) {
  switch (compression) {
    case kNone:
      if (in.size() < out.size()) return false;
      std::copy_n(in.begin(), out.size(), out.begin());
      return true;
    case kLzw: return tiff::decodeLzw(in, out);
    case kPackBits: return tiff::decodePackBits(in, out);
    default: return false;
  }
}

}  // namespace

int32_t readBaselineTiff(std::span<const uint8_t> data, DecodedImage& out) {
  Bytes bytes(data);
  if (!bytes.has(0, 8)) return KH_IMAGE_WRONGTYPE;
  if (data[0] == 'M' && data[1] == 'M') {
    bytes.bigEndian = true;
  } else if (!(data[0] == 'I' && data[1] == 'I')) {
    return KH_IMAGE_WRONGTYPE;
  }
  if (bytes.u16(2) != 42) return KH_IMAGE_WRONGTYPE;
  Directory dir(bytes);
  if (!dir.read(bytes.u32(4))) return KH_IMAGE_WRONGTYPE;

  const uint32_t width = dir.value(kImageWidth, 0);
  const uint32_t height = dir.value(kImageLength, 0);
  const uint32_t samples = dir.value(kSamplesPerPixel, 1);
  if (width == 0 || height == 0 || (samples != 3 && samples != 4)) return KH_IMAGE_WRONGTYPE;
  for (uint32_t s = 0; s < samples; ++s)
    if (dir.value(kBitsPerSample, 1, dir.count(kBitsPerSample) > 1 ? s : 0) != 8) return KH_IMAGE_WRONGTYPE;
  const uint32_t compression = dir.value(kCompression, kNone);
  const uint32_t predictor = dir.value(kPredictor, 1);
  if (dir.value(kPhotometric, 0) != 2 || dir.value(kPlanarConfig, 1) != 1 || dir.value(kOrientation, 1) != 1 ||
      dir.value(kFillOrder, 1) != 1 || dir.has(kTileWidth) || (predictor != 1 && predictor != 2) ||
      (compression != kNone && compression != kLzw && compression != kPackBits))
    return KH_IMAGE_WRONGTYPE;
  if (uint64_t{width} * height > static_cast<uint64_t>(kMaxImagePixels)) return KH_IMAGE_NOMEM;

  const uint32_t rowsPerStrip = std::min(dir.value(kRowsPerStrip, height), height);
  if (rowsPerStrip == 0) return KH_IMAGE_WRONGTYPE;
  const uint32_t strips = (height + rowsPerStrip - 1) / rowsPerStrip;
  if (dir.count(kStripOffsets) < strips) return KH_IMAGE_WRONGTYPE;
  // Byte counts may be left out of uncompressed files: each strip then runs
  // for its decoded size.
  const bool counted = dir.count(kStripByteCounts) >= strips;
  if (!counted && compression != kNone) return KH_IMAGE_WRONGTYPE;

  const size_t rowBytes = size_t{width} * samples;
  DecodedImage img;
  img.width = static_cast<int32_t>(width);
  img.height = static_cast<int32_t>(height);
  std::vector<uint8_t> strip;
  try {
    img.rgba.resize(size_t{width} * height * 4);
    strip.resize(rowBytes * rowsPerStrip);
  } catch (const std::bad_alloc&) {
    return KH_IMAGE_NOMEM;
  }
  for (uint32_t s = 0; s < strips; ++s) {
    const uint32_t firstRow = s * rowsPerStrip;
    const uint32_t rows = std::min(rowsPerStrip, height - firstRow);
    const std::span<uint8_t> decoded(strip.data(), rowBytes * rows);
    const uint32_t offset = dir.value(kStripOffsets, 0, s);
    const uint64_t length = counted ? dir.value(kStripByteCounts, 0, s) : decoded.size();
    if (!bytes.has(offset, length)) return KH_IMAGE_WRONGTYPE;
    if (!decodeStrip(compression, bytes.range(offset, static_cast<size_t>(length)), decoded))
      return KH_IMAGE_WRONGTYPE;
    if (predictor == 2) tiff::undoHorizontalDifferencing(decoded, rowBytes, samples);
    uint8_t* px = img.rgba.data() + size_t{firstRow} * width * 4;
    for (size_t i = 0; i < decoded.size(); i += samples, px += 4) {
      px[0] = decoded[i];
      px[1] = decoded[i + 1];
      px[2] = decoded[i + 2];
      px[3] = samples == 4 ? decoded[i + 3] : 255;
    }
  }
  out = std::move(img);
  return KH_IMAGE_OK;
}

int32_t readBaselineTiffFile(const std::filesystem::path& file, DecodedImage& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return KH_IMAGE_NOTEXISTING;
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec) return KH_IMAGE_NOTEXISTING;
  // Larger than any image this host accepts, with room for the worst packing.
  // On 32 bits a vector holds at most 2^31 - 1 bytes; asking for more throws
  // a length error, not a failed allocation.
  std::vector<uint8_t> data;
  if (size > (uint64_t{1} << 31) || size > data.max_size()) return KH_IMAGE_NOMEM;
  try {
    data.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return KH_IMAGE_NOMEM;
  }
  if (!in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size())))
    return KH_IMAGE_WRONGTYPE;
  return readBaselineTiff(data, out);
}

}  // namespace kurvo::host
