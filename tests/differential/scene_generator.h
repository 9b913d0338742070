// Random scenes for the differential tests. Scene `index` of a seed is the
// same on every machine and build: the generator draws from mt19937_64,
// whose output the C++ standard fixes, through its own conversions.
#pragma once

#include <cstdint>

#include "reference_scene.h"

namespace kurvo::differential {

reference::Scene GenerateScene(uint64_t seed, uint64_t index);

}  // namespace kurvo::differential
