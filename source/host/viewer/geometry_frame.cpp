#include "geometry_frame.h"

#include <bit>
#include <cstring>

namespace kurvo::viewer {

static_assert(std::endian::native == std::endian::little, "the page reads the payload as little-endian arrays");

nlohmann::json FrameWriter::add(const void* bytes, size_t size, size_t count) {
  const size_t offset = payload_.size();
  payload_.resize(offset + size);
  if (size) std::memcpy(payload_.data() + offset, bytes, size);
  return {{"offset", offset}, {"count", count}};
}

nlohmann::json FrameWriter::addFloats(const float* values, size_t count) {
  return add(values, count * sizeof(float), count);
}

nlohmann::json FrameWriter::addUints(const uint32_t* values, size_t count) {
  return add(values, count * sizeof(uint32_t), count);
}

std::string FrameWriter::finish(const nlohmann::json& header) const {
  std::string text = header.dump();
  text.append((4 - text.size() % 4) % 4, ' ');
  std::string out("KVF1");
  const uint32_t length = static_cast<uint32_t>(text.size());
  out.append(reinterpret_cast<const char*>(&length), sizeof length);
  out += text;
  out.append(reinterpret_cast<const char*>(payload_.data()), payload_.size());
  return out;
}

}  // namespace kurvo::viewer
