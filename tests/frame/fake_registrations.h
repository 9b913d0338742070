// Stand-ins for the module's four registrations: they record their calls and
// fail on request.
#pragma once

#include <string>
#include <vector>

namespace fakereg {
extern std::vector<std::string> calls;
extern std::string failing;  // name of the registration that answers false
}  // namespace fakereg
