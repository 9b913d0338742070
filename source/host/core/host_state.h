// What the table's C entries reach: the services of the one host session that
// is current. Entries that need it answer their failure value when no session
// is current; value families (strings, containers, ...) need none.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "console.h"
#include "description.h"
#include "plugin_registry.h"

namespace kurvo::host {

// Pointer state that tests set and user areas poll.
struct InputState {
  int32_t mouseX = 0;  // screen coordinates
  int32_t mouseY = 0;
  bool leftButton = false;
  bool available = true;  // false: every poll fails
};

struct IconCopy {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4
};

class HostState {
 public:
  Console console;
  PluginRegistry registry;
  InputState input;
  std::map<int32_t, Description> descriptions;  // by node type
  std::map<int32_t, IconCopy> icons;            // by icon ID

  // Problems users can cause (bad resource files), kept for the front end.
  void addDiagnostic(std::string text);
  std::vector<std::string> diagnostics() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> diagnostics_;
};

HostState* currentHost() noexcept;
void setCurrentHost(HostState* state) noexcept;

}  // namespace kurvo::host
