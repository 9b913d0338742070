// The wire form of geometry the viewer page receives: one binary message of
//
//   "KVF1"  u32 header length  header (JSON text, padded with spaces to 4)
//   payload: float32 / uint32 arrays, little-endian, each 4-byte aligned
//
// The header describes what the payload holds; arrays are referred to as
// {"offset": bytes into the payload, "count": elements}. Points travel as
// floats, never as JSON text, so a 10^5-point mesh is 1.2 MB to copy instead
// of several MB to print and parse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kurvo::viewer {

class FrameWriter {
 public:
  // Appends the array and answers its reference for the header.
  nlohmann::json addFloats(const float* values, size_t count);
  nlohmann::json addUints(const uint32_t* values, size_t count);
  // The whole message.
  std::string finish(const nlohmann::json& header) const;

 private:
  nlohmann::json add(const void* bytes, size_t size, size_t count);
  std::vector<uint8_t> payload_;
};

}  // namespace kurvo::viewer
