// Host library records for tests. The layer caches a library record for the
// life of the process, so each record here is a static that outlives every
// test; tests vary its `size` or entries instead of replacing it.
#pragma once

#include <string>
#include <vector>

#include "fake_host.h"

namespace testlib {

struct DescriptionCalls {
  std::vector<int32_t> ids;
  std::vector<std::string> names;
  std::vector<KhResource*> resources;
  bool fail = false;
};
DescriptionCalls& description_calls();

KhDescriptionLib& Description();
KhSplineDataLib& Curves();
KhGradientLib& Gradients();

// Restores every record to full size and entries, and adds all of them to the
// current fake's registry.
void InstallAll();

}  // namespace testlib
