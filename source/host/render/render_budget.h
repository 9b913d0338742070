// A picture's memory grows with its pixel count: colour, depth and line
// buffers plus the encoder's rows come to about 28 bytes a pixel, so the
// largest size the options allow (16384 x 16384) would take some 7.5 GB.
// Pictures are held to a budget that fits an ordinary machine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kurvo::media {

inline constexpr uint64_t kMaxRenderPixels = uint64_t{8192} * 8192;
inline constexpr double kRenderBytesPerPixel = 28.0;

// Empty when a width x height picture fits the budget, else why not.
inline std::string render_size_problem(int width, int height) {
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (pixels <= kMaxRenderPixels) return {};
  char text[200];
  std::snprintf(text, sizeof text,
                "a %d x %d picture needs about %.1f GB; at most %llu pixels (8192 x 8192) are rendered", width,
                height, static_cast<double>(pixels) * kRenderBytesPerPixel / 1e9,
                static_cast<unsigned long long>(kMaxRenderPixels));
  return text;
}

}  // namespace kurvo::media
