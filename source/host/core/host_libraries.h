// Libraries the host itself offers through the registry (type 28):
// descriptions, icons, gradients, spline curves and spline help.
#pragma once

#include "plugin_registry.h"

namespace kurvo::host {

// Adds every host library to `registry`; false when one could not be added.
bool installHostLibraries(PluginRegistry& registry);

}  // namespace kurvo::host
