// Point colours as files outside glTF hold them.
//
// The mesh keeps colours linear (as glTF's COLOR_0). PLY bytes and COLLADA
// vertex colours are read by Blender and most viewers as sRGB-encoded
// values, and written so by them, so the writers of those formats encode.
#ifndef KURVO_MEDIA_SRGB_H
#define KURVO_MEDIA_SRGB_H

#include <algorithm>
#include <cmath>

namespace kurvo::media {

// A linear channel in 0..1 (clamped; not finite: 0) as its sRGB encoding.
inline double linear_to_srgb(double linear) {
  linear = std::isfinite(linear) ? std::clamp(linear, 0.0, 1.0) : 0.0;
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

// The inverse, for readers of those formats.
inline double srgb_to_linear(double encoded) {
  encoded = std::isfinite(encoded) ? std::clamp(encoded, 0.0, 1.0) : 0.0;
  return encoded <= 0.04045 ? encoded / 12.92 : std::pow((encoded + 0.055) / 1.055, 2.4);
}

}  // namespace kurvo::media

#endif
